// The third-party fixtures: every one our engine can read extracts to the
// same file contents as 7z gives (passwords as the fixture notes list
// them); the others fail cleanly with a message naming what is missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "UnzTestUtil.h"

using namespace unztest;

namespace {

fs::path Fixture(const std::string& name) { return fs::path(ARKELIN_FIXTURES) / "zip" / name; }

// Every file as "relative path: bytes"; links are left out.
std::vector<std::string> Contents(const fs::path& root) {
  std::vector<std::string> v;
  for (const auto& [k, data] : Tree(root))
    if (data.rfind("->", 0) != 0) v.push_back(k + ": " + data);
  std::sort(v.begin(), v.end());
  return v;
}

struct Readable {
  const char* file;
  const char* password;
  int files;
  // 7z takes names without the UTF-8 flag as raw bytes and ignores the
  // Unicode path field, so for those fixtures only the bytes are compared.
  bool sameNamesAs7z = true;
};

// Contents without the names.
std::vector<std::string> Bytes(const fs::path& root) {
  std::vector<std::string> v;
  for (const auto& [k, data] : Tree(root))
    if (data.rfind("->", 0) != 0) v.push_back(data);
  std::sort(v.begin(), v.end());
  return v;
}

class UnzDllFixtures : public ::testing::TestWithParam<Readable> {
 protected:
  TempDir tmp_;
};

TEST_P(UnzDllFixtures, ExtractsTheSameContentsAs7z) {
  const Readable r = GetParam();
  ASSERT_TRUE(Library::Get().exec);
  Call c;
  c.archive = Fixture(r.file).string();
  c.password = r.password;
  EXPECT_EQ(c.Run(), r.files);
  EXPECT_TRUE(c.Errors().empty()) << c.AllErrors();
  fs::create_directories(tmp_ / "peer");
  ASSERT_EQ(Sh("cd " + Q(tmp_ / "peer") + " && 7z x -y -p" + Q(r.password) + " " + Q(Fixture(r.file))), 0);
  if (r.sameNamesAs7z) EXPECT_EQ(Contents(tmp_.Out()), Contents(tmp_ / "peer"));
  else EXPECT_EQ(Bytes(tmp_.Out()), Bytes(tmp_ / "peer"));

  Call t;
  t.archive = c.archive;
  t.password = r.password;
  t.test = true;
  EXPECT_EQ(t.Run(), r.files);
}

INSTANTIATE_TEST_SUITE_P(
    Readable, UnzDllFixtures,
    ::testing::Values(Readable{"lz-teststored.zip", "", 1}, Readable{"go-test.zip", "", 2},
                      Readable{"la-test_read_format_zip_bzip2.zipx", "", 1},
                      Readable{"la-test_read_format_zip_lzma.zipx", "", 1},
                      Readable{"la-test_read_format_zip_zstd.zipx", "", 1}, Readable{"lz-testfile-xz.zip", "", 1},
                      Readable{"la-test_read_format_zip_high_compression.zip", "", 1},
                      Readable{"go-zip64.zip", "", 1}, Readable{"la-test_read_format_zip_zip64a.zip", "", 1},
                      Readable{"lz-bigzero-zip.zip", "", 1},
                      Readable{"la-test_read_format_zip_7075_utf8_paths.zip", "", 4, false},
                      Readable{"la-test_read_format_zip_filename_utf8_jp.zip", "", 2},
                      Readable{"la-test_read_format_zip_filename_cp866.zip", "", 2, false}, Readable{"go-dd.zip", "", 1},
                      Readable{"go-go-with-datadesc-sig.zip", "", 2},
                      Readable{"la-test_read_format_zip_length_at_end.zip", "", 1},
                      Readable{"la-test_read_format_zip_traditional_encryption_data.zip", "12345678", 2},
                      Readable{"lz-encrypt.zip", "foo", 2}, Readable{"lz-testcomment.zip", "", 4},
                      Readable{"mz-large_cd_comment.zip", "", 1}, Readable{"la-test_read_format_zip_sfx", "", 2},
                      Readable{"gen-sfx-adjusted.exe", "", 1}, Readable{"go-test-trailing-junk.zip", "", 2},
                      Readable{"la-test_read_format_zip_jar.jar", "", 0}, Readable{"lz-testempty.zip", "", 0}),
    [](const ::testing::TestParamInfo<Readable>& i) {
      std::string n = i.param.file;
      for (char& ch : n)
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return n;
    });

class UnzDllFixtureFailures : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Library::Get().exec); }
  Call Test(const std::string& file, const std::string& password = "") {
    Call c;
    c.archive = Fixture(file).string();
    c.password = password;
    c.test = true;
    c.Run();
    return c;
  }
  TempDir tmp_;
};

TEST_F(UnzDllFixtureFailures, UnsupportedMethodsAndEncryptionAreNamed) {
  EXPECT_TRUE(Test("la-test_read_format_zip_ppmd8.zipx").HasError("PPMd"));
  Call strong = Test("la-test_read_format_zip_encryption_header.zip", "12345678");
  EXPECT_FALSE(strong.Errors().empty());
}

TEST_F(UnzDllFixtureFailures, DamagedArchivesFailCleanly) {
  Call broken;
  broken.archive = Fixture("lz-broken.zip").string();
  broken.test = true;
  const int32_t good = broken.Run();
  EXPECT_TRUE(broken.HasError("CRC")) << broken.AllErrors();
  Call all;
  all.archive = broken.archive;
  all.test = true;
  all.specs = {"*"};
  EXPECT_EQ(all.Run(), good);
  int files = 0;
  Call probe;
  probe.archive = broken.archive;
  probe.test = true;
  probe.Run();
  for (const auto& e : probe.Of(kActionNewFile)) (void)e, ++files;
  EXPECT_LT(good, files) << "damaged entries are not counted";

  for (const char* f : {"lz-testfile-truncated.zip", "la-test_read_format_zip_malformed1.zip", "go-test-badbase.zip",
                        "lz-multidisk.zip", "gen-split.zip"}) {
    SCOPED_TRACE(f);
    Call c = Test(f);
    EXPECT_FALSE(c.Errors().empty());
  }
  EXPECT_TRUE(Test("gen-split.zip").HasError("multi-volume"));
}

TEST_F(UnzDllFixtureFailures, PrefixWithoutAdjustedOffsetsIsFound) {
  // The stub before the archive shifts every offset; the reader finds the
  // shift (7z cannot open this one; unzip can).
  Call c = Test("go-test-prefix.zip");
  EXPECT_TRUE(c.Errors().empty()) << c.AllErrors();
  EXPECT_EQ(c.Of(kActionNewFile).size(), 2u);
  Call x;
  x.archive = Fixture("go-test-prefix.zip").string();
  EXPECT_EQ(x.Run(), 2) << x.AllErrors();
  fs::create_directories(tmp_ / "peer");
  Sh("cd " + Q(tmp_ / "peer") + " && unzip -qo " + Q(Fixture("go-test-prefix.zip")));  // warns about the prefix
  ASSERT_EQ(Tree(tmp_ / "peer").size(), 2u);
  EXPECT_EQ(Contents(tmp_.Out()), Contents(tmp_ / "peer"));
}

TEST_F(UnzDllFixtureFailures, UnicodePathFieldGivesTheNames) {
  Call x;
  x.archive = Fixture("la-test_read_format_zip_7075_utf8_paths.zip").string();
  EXPECT_EQ(x.Run(), 4);
  for (const char* n : {"File 1.txt", "File 2 - \xc3\xb6.txt", "File 3 - \xc3\xa4.txt", "File 4 - \xc3\xa5.txt"})
    EXPECT_TRUE(fs::exists(tmp_.Out() / n)) << n;
}

TEST_F(UnzDllFixtureFailures, EntryWithAWrongCrcIsReportedAndTheOthersExtract) {
  // Made with a wrong CRC for file2 on purpose; unzip -t agrees.
  Call x;
  x.archive = Fixture("la-test_read_format_zip.zip").string();
  x.dirNames = true;
  EXPECT_EQ(x.Run(), 1);
  EXPECT_TRUE(x.HasError("file2")) << x.AllErrors();
  EXPECT_TRUE(x.HasError("CRC")) << x.AllErrors();
  EXPECT_TRUE(fs::exists(tmp_.Out() / "file1"));
  EXPECT_FALSE(fs::exists(tmp_.Out() / "file2"));
  EXPECT_TRUE(fs::is_directory(tmp_.Out() / "dir"));
}

}  // namespace

namespace {

// Every fixture with bytes flipped at random places, tested and extracted:
// the library must neither crash nor hang nor write outside the target.
TEST(UnzDllMutations, DamagedCopiesOfTheFixturesFailCleanly) {
  ASSERT_TRUE(Library::Get().exec);
  TempDir tmp;
  std::mt19937 rng(20261209);
  int runs = 0;
  for (const auto& f : fs::directory_iterator(fs::path(ARKELIN_FIXTURES) / "zip")) {
    const std::string original = ReadAll(f.path());
    if (original.empty() || original.size() > 2000000) continue;
    for (int round = 0; round < 12; ++round) {
      std::string data = original;
      const int flips = 1 + static_cast<int>(rng() % 8);
      for (int k = 0; k < flips; ++k) {
        // Half the flips land in the last 1 KiB, where the directory is.
        const size_t span = (k % 2 && data.size() > 1024) ? 1024 : data.size();
        data[data.size() - 1 - rng() % span] = static_cast<char>(rng());
      }
      const fs::path p = tmp / "m.zip";
      WriteFile(p, data);
      for (bool test : {true, false}) {
        Call c;
        c.archive = p.string();
        c.test = test;
        c.overwrite = true;
        c.password = "12345678";
        const int32_t n = c.Run();
        EXPECT_GE(n, 0) << f.path().filename();
        ++runs;
      }
      tmp.ClearOut();
    }
    for (const auto& e : fs::directory_iterator(tmp.Path()))
      EXPECT_TRUE(e.path().filename() == "out" || e.path().filename() == "m.zip") << e.path();
  }
  EXPECT_GT(runs, 500);
}

// Callers built for libraries below version 152 pass the short layout,
// with the specification addresses inline; the library reads it by the
// version in the record.
TEST(UnzDllLayouts, ShortLayoutRecordsAreReadByTheirVersion) {
  ASSERT_TRUE(Library::Get().exec);
  TempDir tmp;
  ASSERT_EQ(Py(tmp.Path(), "import zipfile\nz=zipfile.ZipFile('" + (tmp / "s.zip").string() +
                               "','w')\nz.writestr('a/one.txt','1')\nz.writestr('two.txt','2')\nz.close()\n"),
            0);
  auto rec = std::make_unique<UnzipCommandShort>();
  std::memset(rec.get(), 0, sizeof *rec);
  const std::string archive = (tmp / "s.zip").string();
  rec->head.version = 150;
  rec->head.minusOne40 = -1;
  rec->head.dirNames = -1;
  rec->head.archiveName = archive.c_str();
  rec->head.password = "";
  rec->head.argc = 1;
  rec->seven = kSeven;
  rec->fileSpecs[0] = "ONE.TXT";
  EXPECT_EQ(Library::Get().exec(&rec->head), 1);
  EXPECT_EQ(ReadAll(tmp.Out() / "a/one.txt"), "1");
  EXPECT_FALSE(fs::exists(tmp.Out() / "two.txt"));
}

}  // namespace
