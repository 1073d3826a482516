// The address book file: order, duplicates in any capitalisation, the
// 101st address, entries without ">", and a write that fails half way.
#include "mail/AddressBook.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <QTemporaryDir>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include "TestFiles.h"

namespace arkelin::mail {
namespace {

class AddressBook : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(tmp_.isValid()); }
  std::string Book() const { return tmp_.path().toStdString() + "/EMHIST.TXT"; }
  QTemporaryDir tmp_;
};

TEST_F(AddressBook, NewestFirstWithCrLfAndDuplicatesInAnyCaseLeaveItAlone) {
  TAddressBook book(Book());
  EXPECT_TRUE(book.Load().empty());
  EXPECT_TRUE(book.Record(TAddressBook::MakeEntry("John Doe", "john@example.org")));
  EXPECT_TRUE(book.Record(TAddressBook::MakeEntry("Ann", "ann@example.org")));
  EXPECT_EQ(ReadAll(Book()), "<Ann>ann@example.org\r\n<John Doe>john@example.org\r\n");
  EXPECT_EQ(book.Load(), (std::vector<std::string>{"<Ann>ann@example.org", "<John Doe>john@example.org"}));

  const auto before = std::filesystem::last_write_time(Book());
  // The same address in other capitals does not move and is not added.
  EXPECT_FALSE(book.Record("<JOHN DOE>John@Example.ORG"));
  EXPECT_EQ(ReadAll(Book()), "<Ann>ann@example.org\r\n<John Doe>john@example.org\r\n");
  EXPECT_EQ(std::filesystem::last_write_time(Book()), before);
  // Folding touches ASCII letters only: these are other entries.
  EXPECT_TRUE(book.Record("<J\xc3\x96RG>j@x"));
  EXPECT_TRUE(book.Record("<j\xc3\xb6rg>j@x"));
  EXPECT_EQ(book.Load().size(), 4u);
}

TEST_F(AddressBook, TheHundredAndFirstAddressDropsOnlyTheOldest) {
  TAddressBook book(Book());
  for (int i = 1; i <= 100; ++i) book.Record("<n" + std::to_string(i) + ">a" + std::to_string(i) + "@x");
  ASSERT_EQ(book.Load().size(), 100u);
  EXPECT_EQ(book.Load().front(), "<n100>a100@x");
  EXPECT_EQ(book.Load().back(), "<n1>a1@x");
  book.Record("<n101>a101@x");
  const auto entries = book.Load();
  ASSERT_EQ(entries.size(), 100u);
  EXPECT_EQ(entries.front(), "<n101>a101@x");
  EXPECT_EQ(entries[1], "<n100>a100@x");
  EXPECT_EQ(entries.back(), "<n2>a2@x");
  // A book grown too long by hand is cut to the newest hundred.
  std::string text;
  for (int i = 0; i < 150; ++i) text += "<h" + std::to_string(i) + ">h@x\r\n";
  std::ofstream(Book(), std::ios::binary) << text;
  book.Record("<new>new@x");
  ASSERT_EQ(book.Load().size(), 100u);
  EXPECT_EQ(book.Load()[1], "<h0>h@x");
  EXPECT_EQ(book.Load().back(), "<h98>h@x");
}

TEST_F(AddressBook, LinesWithoutCrAndEmptyLinesLoad) {
  std::ofstream(Book(), std::ios::binary) << "<a>a@x\n\r\n<b>b@x\r\n\n<c>c@x";
  EXPECT_EQ(TAddressBook(Book()).Load(), (std::vector<std::string>{"<a>a@x", "<b>b@x", "<c>c@x"}));
  // Recording rewrites the book in its own form.
  TAddressBook(Book()).Record("<d>d@x");
  EXPECT_EQ(ReadAll(Book()), "<d>d@x\r\n<a>a@x\r\n<b>b@x\r\n<c>c@x\r\n");
}

TEST_F(AddressBook, EntriesSplitIntoNameAndAddress) {
  auto f = TAddressBook::Parse("<John Doe>john@example.org");
  EXPECT_EQ(f.name, "John Doe");
  EXPECT_EQ(f.email, "john@example.org");
  // Without ">" both fields get the whole entry, the name without its "<".
  f = TAddressBook::Parse("<jane@example.org");
  EXPECT_EQ(f.name, "jane@example.org");
  EXPECT_EQ(f.email, "<jane@example.org");
  f = TAddressBook::Parse("plain@example.org");
  EXPECT_EQ(f.name, "plain@example.org");
  EXPECT_EQ(f.email, "plain@example.org");
  // An empty address part also gives the whole entry.
  f = TAddressBook::Parse("<Nobody>");
  EXPECT_EQ(f.name, "Nobody");
  EXPECT_EQ(f.email, "<Nobody>");
  f = TAddressBook::Parse("<A>a@x>rest");
  EXPECT_EQ(f.email, "a@x");
  EXPECT_EQ(TAddressBook::MakeEntry("Two\r\nLines", "x@y\n"), "<Two  Lines>x@y ");
}

TEST_F(AddressBook, AFailedWriteLeavesTheOldBook) {
  TAddressBook book(Book());
  for (int i = 0; i < 5; ++i) book.Record("<n" + std::to_string(i) + ">a@x");
  const std::string before = ReadAll(Book());
  ASSERT_EQ(before.size(), 45u);
  // A disk that is full after 50 bytes (the limit holds for any user; the
  // signal is ignored so that the write fails instead).
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit tight = old;
  tight.rlim_cur = 50;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
  std::string error;
  try {
    book.Record("<a much longer name than the rest>somebody@example.org");
    error = "no error";
  } catch (const EAddressBookError& e) {
    error = e.what();
  }
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(error, "Unable to write to " + Book());
  EXPECT_EQ(ReadAll(Book()), before);
  // No temporary file is left beside it.
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(tmp_.path().toStdString())) {
    (void)e;
    ++files;
  }
  EXPECT_EQ(files, 1);
}

TEST_F(AddressBook, AFolderThatCannotHoldTheBookIsReported) {
  TAddressBook book(tmp_.path().toStdString() + "/missing/EMHIST.TXT");
  EXPECT_THROW(book.Record("<a>a@x"), EAddressBookError);
  EXPECT_TRUE(book.Load().empty());
}

}  // namespace
}  // namespace arkelin::mail
