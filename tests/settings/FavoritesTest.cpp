// The favourites file: round trips (names with ";" and quotes included),
// lines written the plain way, line ends, the file made on first load, and
// a refused write that leaves the file as it was.
#include "settings/Favorites.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDate>
#include <QLocale>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/Paths.h"
#include "settings/IniFile.h"

using namespace arkelin::settings;
namespace fs = std::filesystem;

namespace {

class Favorites : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("arkelin-favorites-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    arkelin::platform::SetDataFolderOverride(dir_.string() + "/");
  }
  void TearDown() override {
    arkelin::platform::SetDataFolderOverride("");
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(dir_);
  }
  std::string File() const { return (dir_ / "Favorites.lst").string(); }
  std::string Read() const {
    std::ifstream in(File(), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  void Write(const std::string& text) const { std::ofstream(File(), std::ios::binary) << text; }
  fs::path dir_;
};

}  // namespace

TEST_F(Favorites, LivesInTheWriteFolderAndIsMadeEmptyOnFirstLoad) {
  EXPECT_EQ(TFavorites::DefaultPath(), File());
  TFavorites f;
  ASSERT_FALSE(fs::exists(File()));
  f.Load();
  EXPECT_TRUE(fs::exists(File()));
  EXPECT_EQ(Read(), "");
  EXPECT_EQ(f.Count(), 0);
}

TEST_F(Favorites, RoundTripKeepsEveryFieldEvenWithSemicolonsAndQuotes) {
  TFavorites f;
  f.Load();
  const std::vector<TFavorite> items = {
      {"/home/u/a.zip", "1/2/24", "1234"},
      {"/home/u/odd;name;.zip", "12/31/23", "5"},
      {"/home/u/\"quoted\" one.zip", "3/4/24", "0"},
      {"/home/u/;", "", "7"},
      {"\"/starts with a quote.zip", "1/1/24", "8"},
  };
  for (const auto& i : items) f.Append(i);
  f.Save();
  EXPECT_EQ(Read().substr(0, std::string("/home/u/a.zip;1/2/24;1234\r\n").size()), "/home/u/a.zip;1/2/24;1234\r\n");
  EXPECT_NE(Read().find("\"/home/u/odd;name;.zip\";12/31/23;5\r\n"), std::string::npos);
  TFavorites g;
  g.Load();
  EXPECT_EQ(g.Items(), items);
  // Every line still ends in CR LF and there is one per favourite.
  std::string text = Read();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 5);
}

TEST_F(Favorites, PlainLinesReadAsBeforeAndUnquotedSemicolonsKeepDateAndSize) {
  Write("/a/one.zip;01.02.24;100\r\n/a/two;parts.zip;02.02.24;200\n/a/three.zip\r/a/four.zip;03.02.24\r\n\r\n");
  TFavorites f;
  f.Load();
  ASSERT_EQ(f.Count(), 4);
  EXPECT_EQ(f.Items()[0], (TFavorite{"/a/one.zip", "01.02.24", "100"}));
  EXPECT_EQ(f.Items()[1], (TFavorite{"/a/two;parts.zip", "02.02.24", "200"}));
  EXPECT_EQ(f.Items()[2], (TFavorite{"/a/three.zip", "", ""}));
  EXPECT_EQ(f.Items()[3], (TFavorite{"/a/four.zip", "03.02.24", ""}));
  // Written back, the name with ";" is quoted and the others stay as they were.
  f.Save();
  EXPECT_EQ(Read(), "/a/one.zip;01.02.24;100\r\n\"/a/two;parts.zip\";02.02.24;200\r\n/a/three.zip;;\r\n"
                    "/a/four.zip;03.02.24;\r\n");
  // A quote that is never closed is no quoted field.
  EXPECT_EQ(TFavorites::DecodeLine("\"/x.zip;1/1/24;3"), (TFavorite{"\"/x.zip", "1/1/24", "3"}));
}

TEST_F(Favorites, DuplicatesAreFoundWithoutRegardToCase) {
  TFavorites f;
  f.Append({"/Data/A.ZIP", "d", "1"});
  f.Append({"/data/Äpfel.zip", "d", "1"});
  EXPECT_TRUE(f.Contains("/data/a.zip"));
  EXPECT_TRUE(f.Contains("/DATA/äPFEL.ZIP"));
  EXPECT_FALSE(f.Contains("/data/b.zip"));
  EXPECT_TRUE(f.Remove(0));
  EXPECT_FALSE(f.Remove(1));
  EXPECT_FALSE(f.Contains("/data/a.zip"));
  // Names that are not valid UTF-8 (Latin-1 bytes) are told apart by their
  // bytes, not all read as the same replacement characters.
  f.Append({"/data/caf\xe9.zip", "d", "1"});
  EXPECT_TRUE(f.Contains("/data/caf\xe9.zip"));
  EXPECT_FALSE(f.Contains("/data/caf\xe8.zip"));
}

TEST_F(Favorites, DescribeReadsDateAndSizeFromTheDisk) {
  const std::string zip = (dir_ / "x;y.zip").string();
  std::ofstream(zip, std::ios::binary) << std::string(321, 'z');
  TFavorite f;
  std::string why;
  ASSERT_TRUE(TFavorites::Describe(zip, f, why)) << why;
  EXPECT_EQ(f.Path, zip);
  EXPECT_EQ(f.Size, "321");
  EXPECT_EQ(f.Date, QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat).toStdString());
  EXPECT_FALSE(TFavorites::Describe((dir_ / "missing.zip").string(), f, why));
  EXPECT_NE(why.find("missing.zip"), std::string::npos);
  EXPECT_FALSE(TFavorites::Describe((dir_ / "two\nlines.zip").string(), f, why));
}

TEST_F(Favorites, ARefusedWriteThrowsAndLeavesTheFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  Write("/a/one.zip;d;1\r\n");
  TFavorites f;
  f.Load();
  f.Append({"/a/two.zip", "d", "2"});
  fs::permissions(dir_, fs::perms::owner_write, fs::perm_options::remove);
  try {
    f.Save();
    FAIL() << "the write should have been refused";
  } catch (const EIniWriteError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + File());
  }
  fs::permissions(dir_, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(Read(), "/a/one.zip;d;1\r\n");
  EXPECT_EQ(f.Count(), 2);  // the list keeps the new line until the next load
}
