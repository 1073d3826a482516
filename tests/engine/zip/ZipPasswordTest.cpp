// The password check an encrypted entry's header allows, over archives made
// by the peer tools: Info-ZIP zip (traditional encryption, with and without
// a data descriptor, and behind a prefix), 7z (AES-256) and the AES-128
// fixture of another tool's test suite.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/zip/ZipPassword.h"
#include "ZipTestUtil.h"

using namespace arkelin::engine::zip;
using arkelin::engine::zip::testing::WriteFile;

namespace {

class ZipPassword : public ::testing::Test {
 protected:
  TempFolder tmp_;
  std::string Src() {
    WriteFile(tmp_.File("a.txt"), std::string(5000, 'a') + "end");
    WriteFile(tmp_.File("plain.txt"), "not encrypted");
    return tmp_.Path().string();
  }
  static int Run(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()); }
};

// How many of 64 wrong passwords (`first`, the empty one, and 62 made from
// `first`) the entry's header refuses. A traditional header lets one wrong
// password in 256 through, and zip writes a fresh header every run, so a
// single wrong password would fail the test about once in 256 runs; 60 of
// 64 fails it about once in 100,000 (and always when nothing is refused).
int Refused(const std::string& zip, const std::string& entry, const std::string& first) {
  int refused = 0;
  for (int i = 0; i < 64; ++i) {
    const std::string pw = i == 0 ? first : i == 1 ? std::string() : first + std::to_string(i);
    refused += EntryPasswordFits(zip, entry, pw) == PasswordFit::Wrong;
  }
  return refused;
}

}  // namespace

TEST_F(ZipPassword, TraditionalHeaderAcceptsOnlyItsPassword) {
  const std::string dir = Src();
  const std::string zip = tmp_.File("t.zip");
  ASSERT_EQ(Run("cd '" + dir + "' && zip -q -P secret '" + zip + "' a.txt && zip -q '" + zip + "' plain.txt"), 0);
  EXPECT_EQ(EntryPasswordFits(zip, "a.txt", "secret"), PasswordFit::Right);
  EXPECT_GE(Refused(zip, "a.txt", "Secret"), 60);
  EXPECT_EQ(EntryPasswordFits(zip, "plain.txt", "secret"), PasswordFit::NotEncrypted);
  EXPECT_EQ(EntryPasswordFits(zip, "A.TXT", "secret"), PasswordFit::Unknown);  // names compare exactly
  EXPECT_EQ(EntryPasswordFits(tmp_.File("missing.zip"), "a.txt", "secret"), PasswordFit::Unknown);
  WriteFile(tmp_.File("junk.zip"), "this is not an archive at all");
  EXPECT_EQ(EntryPasswordFits(tmp_.File("junk.zip"), "a.txt", "secret"), PasswordFit::Unknown);
}

TEST_F(ZipPassword, DataDescriptorEntriesAndFolderNamesAndPrefixes) {
  const std::string dir = Src();
  // From a pipe: zip writes a data descriptor, and the check byte is the
  // time's. A folder name with "/" is found as "\" too.
  ASSERT_EQ(Run("mkdir -p '" + dir + "/sub' && cp '" + dir + "/a.txt' '" + dir + "/sub/b.txt'"), 0);
  const std::string zip = tmp_.File("d.zip");
  ASSERT_EQ(Run("cd '" + dir + "' && zip -q -P pw1 '" + zip + "' sub/b.txt"), 0);
  ASSERT_EQ(Run("cd '" + dir + "' && cat a.txt | zip -q -P pw2 '" + tmp_.File("pipe.zip") + "' -"), 0);
  EXPECT_EQ(EntryPasswordFits(zip, "sub\\b.txt", "pw1"), PasswordFit::Right);
  EXPECT_GE(Refused(zip, "sub/b.txt", "pw2"), 60);
  EXPECT_EQ(EntryPasswordFits(tmp_.File("pipe.zip"), "-", "pw2"), PasswordFit::Right);
  EXPECT_GE(Refused(tmp_.File("pipe.zip"), "-", "pw1"), 60);
  // Behind a stub, as a self-extracting program is: offsets are corrected.
  const std::string shifted = tmp_.File("shifted.zip");
  WriteFile(shifted, std::string(777, '\x7f') + ReadAll(zip));
  EXPECT_EQ(EntryPasswordFits(shifted, "sub/b.txt", "pw1"), PasswordFit::Right);
  EXPECT_GE(Refused(shifted, "sub/b.txt", "nope"), 60);
}

TEST_F(ZipPassword, AesVerifierDecides) {
  const std::string dir = Src();
  const std::string zip = tmp_.File("aes.zip");
  ASSERT_EQ(Run("cd '" + dir + "' && 7z a -tzip -mem=AES256 -pbetter '" + zip + "' a.txt"), 0);
  EXPECT_EQ(EntryPasswordFits(zip, "a.txt", "better"), PasswordFit::Right);
  EXPECT_EQ(EntryPasswordFits(zip, "a.txt", "worse"), PasswordFit::Wrong);
  const std::string fixture = std::string(ARKELIN_FIXTURES) + "/zip/la-test_read_format_zip_winzip_aes128.zip";
  const std::string other = std::string(ARKELIN_FIXTURES) + "/zip/la-test_read_format_zip_winzip_aes256.zip";
  for (const std::string& f : {fixture, other}) {
    // The fixture's first entry, whatever it is called: list it by the reader.
    std::string first;
    ASSERT_EQ(Run("test -f '" + f + "'"), 0) << f;
    FILE* p = ::popen(("/usr/bin/python3 -c \"import zipfile;print(zipfile.ZipFile('" + f +
                       "').infolist()[0].filename)\"").c_str(), "r");
    ASSERT_NE(p, nullptr);
    char line[512] = {};
    if (std::fgets(line, sizeof line, p)) first = line;
    ::pclose(p);
    while (!first.empty() && (first.back() == '\n' || first.back() == '\r')) first.pop_back();
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(EntryPasswordFits(f, first, "password"), PasswordFit::Right) << f;
    EXPECT_EQ(EntryPasswordFits(f, first, "passwort"), PasswordFit::Wrong) << f;
  }
}
