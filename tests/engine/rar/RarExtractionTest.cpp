// Extraction as the program does it (TRAR over our own library) on real and
// built archives: every fixture extracted and checked entry by entry, the
// extract options, the user's files kept when an entry fails, times and
// modes, counts, links of every kind, passwords for headers and data, and
// the generated link chains of the shared extraction rule.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "../common/LinkChains.h"
#include "RarBuilder.h"
#include "engine/rar/RARArc.h"
#include "TestFiles.h"
#include "UtcTestZone.h"

using arkelin::engine::rar::TRAR;
namespace fs = std::filesystem;

namespace {

const std::string kLib = std::string(ARKELIN_BIN_DIR) + "/libarkunrar.so";
std::string Fx(const std::string& name) { return std::string(ARKELIN_FIXTURES) + "/rar/" + name; }

template <class F>
void Guarded(F fn) {
  auto fut = std::async(std::launch::async, fn);
  if (fut.wait_for(std::chrono::seconds(120)) != std::future_status::ready) {
    std::fprintf(stderr, "extraction hung for 120 s\n");
    std::_Exit(3);
  }
  fut.get();
}

struct Outcome {
  std::vector<int> errors;
  std::vector<std::string> done, failed, asked, listed;
  std::map<std::string, std::pair<uint64_t, uint32_t>> sizes;  // listed size and CRC
  bool answer = false;
  int count = 0;
};

struct Options {
  std::vector<std::string> passwords;  // answers in order; the last one repeats
  bool dirNames = true, overwrite = true, update = false;
  std::set<std::string> files;
  std::vector<std::string> specs;
};

Options WithPassword(const std::string& pw, std::set<std::string> files = {}) {
  Options o;
  o.passwords = {pw};
  o.files = std::move(files);
  return o;
}

Outcome Extract(const std::string& archive, const std::string& dest, const Options& s = {}) {
  Outcome run;
  Guarded([&] {
    TRAR r(kLib);
    size_t next = 0;
    r.OnError = [&](TRAR&, int e) { run.errors.push_back(e); };
    r.OnExtract = [&](TRAR&, const RARHeaderDataEx& h, bool ok) {
      (ok ? run.done : run.failed).push_back(TRAR::EntryName(h));
    };
    r.OnReqPassword = [&](TRAR&, const RARHeaderDataEx& h, std::string& pw) {
      run.asked.push_back(TRAR::EntryName(h));
      if (!s.passwords.empty()) pw = s.passwords[std::min(next++, s.passwords.size() - 1)];
    };
    r.ArchiveName = archive;
    r.TargetDir = dest;
    r.ExtrOptions.DirNames = s.dirNames;
    r.ExtrOptions.OverWrite = s.overwrite;
    r.ExtrOptions.Update = s.update;
    r.FilesToExtract = s.files;
    r.SpecsToExtract = s.specs;
    run.answer = r.ExtractFiles();
    run.count = r.SuccessCount();
  });
  return run;
}

Outcome List(const std::string& archive, const std::vector<std::string>& passwords = {}) {
  Outcome run;
  Guarded([&] {
    TRAR r(kLib);
    size_t next = 0;
    r.OnError = [&](TRAR&, int e) { run.errors.push_back(e); };
    r.OnReqPassword = [&](TRAR&, const RARHeaderDataEx& h, std::string& pw) {
      run.asked.push_back(std::string("[") + TRAR::EntryName(h) + "]" +
                          (run.listed.empty() ? " before the listing" : " during the listing"));
      if (!passwords.empty()) pw = passwords[std::min(next++, passwords.size() - 1)];
    };
    r.OnListFile = [&](TRAR&, const RARHeaderDataEx& h) {
      run.listed.push_back(TRAR::EntryName(h));
      run.sizes[TRAR::EntryName(h)] = {(static_cast<uint64_t>(h.UnpSizeHigh) << 32) | h.UnpSize, h.FileCRC};
    };
    r.ArchiveName = archive;
    r.ListFiles();
  });
  return run;
}

uint32_t Crc(const std::string& s) {
  return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

std::string Path(std::string name) {
  for (char& c : name)
    if (c == '\\') c = '/';
  return name;
}

}  // namespace

// Every archive that holds sound data extracts completely, and each file
// has the size and CRC its header gives (where the CRC is not converted
// with the password, and not replaced by a BLAKE2sp hash).
TEST(TRARExtraction, EveryFixtureExtractsWithTheRecordedSizesAndChecksums) {
  struct Case {
    std::string fixture, password;
  };
  const std::vector<Case> cases = {
      {"la-test_read_format_rar.rar", ""},
      {"la-test_read_format_rar_compress_normal.rar", ""},
      {"la-test_read_format_rar_compress_best.rar", ""},
      {"la-test_read_format_rar_binary_data.rar", ""},
      {"la-test_read_format_rar_filter.rar", ""},
      {"la-test_read_format_rar_multi_lzss_blocks.rar", ""},
      {"la-test_read_format_rar3_lowdist_reset.rar", ""},
      {"la-test_read_format_rar_unicode.rar", ""},
      {"la-test_read_format_rar_windows.rar", ""},
      {"la-test_read_format_rar_sfx.exe", ""},
      {"la-test_read_format_rar_noeof.rar", ""},
      {"la-test_read_format_rar_unbound_staticdata.rar", ""},
      {"la-test_read_format_rar_encryption_data.rar", "12345678"},
      {"la-test_read_format_rar_encryption_header.rar", "12345678"},
      {"la-test_read_format_rar_encryption_partially.rar", "12345678"},
      {"la-test_read_format_rar4_encrypted_filenames.rar", "password"},
      {"la-test_read_format_rar4_solid_encrypted.rar", "password"},
      {"la-test_read_format_rar4_solid_encrypted_filenames.rar", "password"},
      {"la-test_read_format_rar_multivolume.part0002.rar", ""},
      {"la-test_rar_multivolume_single_file.part3.rar", ""},
      {"la-test_rar_multivolume_multiple_files.part1.rar", ""},
      {"la-test_rar_multivolume_uncompressed_files.part01.rar", ""},
      {"la-test_read_format_rar5_stored.rar", ""},
      {"la-test_read_format_rar5_stored_manyfiles.rar", ""},
      {"la-test_read_format_rar5_compressed.rar", ""},
      {"la-test_read_format_rar5_multiple_files_solid.rar", ""},
      {"la-test_read_format_rar5_solid.rar", ""},
      {"la-test_read_format_rar5_win32.rar", ""},
      {"la-test_read_format_rar5_arm.rar", ""},
      {"la-test_read_format_rar5_multiarchive_solid.part03.rar", ""},
      {"la-test_read_format_rar5_fileattr.rar", ""},
      {"la-test_read_format_rar5_extra_field_version.rar", ""},
      {"la-test_read_format_rar5_owner.rar", ""},
      {"la-test_read_format_rar5_sfx.exe", ""},
      {"la-test_read_format_rar5_solid_encrypted_filenames.rar", "password"},
      {"la-test_read_format_rar5_encrypted_filenames.rar", "password"},
      {"rf-rar15-comment.rar", ""},
      {"rf-rar202-comment-psw.rar", "password"},
      {"rf-rar3-solid.rar", ""},
      {"rf-rar3-old.r01", ""},
      {"rf-rar3-subdirs.rar", ""},
      {"rf-rar3-versions.rar", ""},
      {"rf-unicode.rar", ""},
      {"rf-seektest.rar", ""},
      {"rf-rar2-unix-owner.rar", ""},
      {"rf-rar5-crc.rar", ""},
      {"rf-rar5-solid-qo.rar", ""},
      {"rf-rar5-subdirs.rar", ""},
      {"rf-rar5-vols.part3.rar", ""},
      {"rf-rar5-hpsw.rar", "password"},
      {"rf-rar5-quick-open.rar", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fixture);
    TempFolder dir;
    const Outcome listed = List(Fx(c.fixture), {c.password});
    ASSERT_FALSE(listed.listed.empty());
    const Outcome run = Extract(Fx(c.fixture), dir.Path().string(), WithPassword(c.password));
    EXPECT_TRUE(run.answer);
    EXPECT_TRUE(run.errors.empty());
    EXPECT_TRUE(run.failed.empty());
    int files = 0;
    for (const auto& [name, sc] : listed.sizes) {
      const fs::path p = dir.Path() / Path(name);
      if (!fs::is_regular_file(fs::symlink_status(p))) continue;
      const std::string data = ReadAll(p);
      EXPECT_EQ(data.size(), sc.first) << name;
      if (sc.second != 0) {
        EXPECT_EQ(Crc(data), sc.second) << name;
      }
      ++files;
    }
    EXPECT_GT(files, 0);
    EXPECT_GE(run.count, files);
  }
}

TEST(TRARExtraction, OneEntryFromTheMiddleOfASolidGroup) {
  for (const auto& [fixture, name, crc] :
       {std::tuple<std::string, std::string, uint32_t>{"rf-rar3-solid.rar", "stest2.txt", 0xC5B7E6A2},
        {"la-test_read_format_rar5_solid.rar", "test3.bin", 0x9FB123D9},
        {"la-test_read_format_rar5_multiarchive_solid.part01.rar", "test4.bin", 0x10C43ED4},
        {"la-test_read_format_rar4_solid_encrypted.rar", "c.txt", 0x949A3D35}}) {
    TempFolder dir;
    Options s;
    s.files = {name};
    s.passwords = {"password"};
    const Outcome run = Extract(Fx(fixture), dir.Path().string(), s);
    EXPECT_TRUE(run.answer) << fixture;
    EXPECT_EQ(run.done, (std::vector<std::string>{name})) << fixture;
    EXPECT_EQ(run.count, 1) << fixture;
    EXPECT_EQ(Crc(ReadAll(dir.Path() / name)), crc) << fixture;
    size_t entries = 0;
    for (auto it = fs::recursive_directory_iterator(dir.Path()); it != fs::recursive_directory_iterator(); ++it)
      ++entries;
    EXPECT_EQ(entries, 1u) << fixture << ": only the chosen entry is written";
  }
}

TEST(TRARExtraction, OverwriteUpdateAndFolderNamesAreHonoured) {
  TempFolder dir;
  const std::string arc = Fx("la-test_read_format_rar.rar");
  fs::create_directories(dir.Path() / "testdir");
  rartest::Write(dir.File("test.txt"), "mine");
  rartest::Write(dir.File("testdir/test.txt"), "mine too");
  Options keep;
  keep.overwrite = false;
  Outcome run = Extract(arc, dir.Path().string(), keep);
  EXPECT_TRUE(run.answer);
  EXPECT_EQ(ReadAll(dir.Path() / "test.txt"), "mine");
  EXPECT_EQ(ReadAll(dir.Path() / "testdir/test.txt"), "mine too");
  EXPECT_EQ(run.count, 1);  // only the link was new
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir.Path() / "testlink")));

  // Update: the older file on disk is replaced, the newer one stays.
  struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  struct timespec future[2] = {{2000000000, 0}, {2000000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (dir.File("test.txt")).c_str(), old, 0), 0);
  ASSERT_EQ(utimensat(AT_FDCWD, (dir.File("testdir/test.txt")).c_str(), future, 0), 0);
  Options upd;
  upd.update = true;
  run = Extract(arc, dir.Path().string(), upd);
  EXPECT_EQ(ReadAll(dir.Path() / "test.txt"), "test text document\r\n");
  EXPECT_EQ(ReadAll(dir.Path() / "testdir/test.txt"), "mine too");

  // Without folder names every file lands in the target folder itself.
  TempFolder flat;
  Options junk;
  junk.dirNames = false;
  junk.files = {"testdir\\test.txt"};
  run = Extract(arc, flat.Path().string(), junk);
  EXPECT_TRUE(run.answer);
  EXPECT_EQ(ReadAll(flat.Path() / "test.txt"), "test text document\r\n");
  EXPECT_FALSE(fs::exists(flat.Path() / "testdir"));
}

TEST(TRARExtraction, SelectionsNameEntriesExactlyAndSpecificationsMatchLoosely) {
  TempFolder dir;
  std::vector<rartest::Rar5Entry> es(5);
  const char* names[] = {"Readme.txt", "README.TXT", "docs/readme.txt", "a?c.txt", "abc.txt"};
  for (int i = 0; i < 5; ++i) {
    es[i].name = names[i];
    es[i].data = std::string("content of ") + names[i];
  }
  rartest::Write(dir.File("sel.rar"), rartest::Archive(es));
  Options exact;
  exact.files = {"Readme.txt", "a?c.txt"};
  Outcome run = Extract(dir.File("sel.rar"), dir.File("out1"), exact);
  EXPECT_EQ(run.done, (std::vector<std::string>{"Readme.txt", "a?c.txt"}));
  EXPECT_FALSE(fs::exists(dir.Path() / "out1/README.TXT"));
  EXPECT_FALSE(fs::exists(dir.Path() / "out1/abc.txt"));
  // A root entry chosen with folders dropped gets its own content, not the
  // one of a same-named file in a folder.
  Options junked = exact;
  junked.files = {"docs\\readme.txt"};
  junked.dirNames = false;
  run = Extract(dir.File("sel.rar"), dir.File("out2"), junked);
  EXPECT_EQ(run.done, (std::vector<std::string>{"docs\\readme.txt"}));
  EXPECT_EQ(ReadAll(dir.Path() / "out2/readme.txt"), "content of docs/readme.txt");
  // A typed specification is a wildcard and ignores case.
  Options typed;
  typed.specs = {"readme.*"};
  run = Extract(dir.File("sel.rar"), dir.File("out3"), typed);
  EXPECT_EQ(run.done, (std::vector<std::string>{"Readme.txt", "README.TXT"}));
}

TEST(TRARExtraction, AFailedEntryKeepsTheFileThatWasThere) {
  // A CRC error.
  TempFolder dir;
  rartest::Write(dir.File("test.txt"), "my own test.txt");
  Options one;
  one.files = {"test.txt"};
  Outcome run = Extract(Fx("gen-rar4-datacrc.rar"), dir.Path().string(), one);
  EXPECT_FALSE(run.answer);
  EXPECT_EQ(run.errors, (std::vector<int>{12}));
  EXPECT_EQ(ReadAll(dir.Path() / "test.txt"), "my own test.txt");
  EXPECT_EQ(run.count, 0);
  // A wrong password, known at once (RAR 5) or found by the decoder (RAR 4).
  for (const char* fixture : {"la-test_read_format_rar5_encrypted.rar", "la-test_read_format_rar4_encrypted.rar"}) {
    rartest::Write(dir.File("d.txt"), "my own d.txt");
    Options wrong;
    wrong.files = {"d.txt"};
    wrong.passwords = {"password"};
    run = Extract(Fx(fixture), dir.Path().string(), wrong);
    EXPECT_FALSE(run.answer) << fixture;
    EXPECT_EQ(run.failed, (std::vector<std::string>{"d.txt"})) << fixture;
    EXPECT_EQ(ReadAll(dir.Path() / "d.txt"), "my own d.txt") << fixture;
    EXPECT_EQ(run.asked.size(), 2u) << fixture << ": asked, told it was wrong, asked again";
  }
  const Outcome rar5 = Extract(Fx("la-test_read_format_rar5_encrypted.rar"), dir.Path().string(),
                           WithPassword("password", {"d.txt"}));
  EXPECT_EQ(rar5.errors, (std::vector<int>{24}));
  for (const auto& e : fs::directory_iterator(dir.Path()))
    EXPECT_EQ(e.path().filename().string().find(".ark"), std::string::npos) << "left behind: " << e.path();
}

TEST(TRARExtraction, TheRightPasswordAfterAWrongOneExtractsTheEntry) {
  TempFolder dir;
  Options s;
  s.files = {"d.txt"};
  s.passwords = {"password", "password2"};
  const Outcome run = Extract(Fx("la-test_read_format_rar5_encrypted.rar"), dir.Path().string(), s);
  EXPECT_EQ(run.errors, (std::vector<int>{24}));
  EXPECT_EQ(run.done, (std::vector<std::string>{"d.txt"}));
  EXPECT_EQ(ReadAll(dir.Path() / "d.txt"), "This is from d.txt");
  EXPECT_EQ(run.count, 1);
}

TEST(TRARExtraction, TimesAndModesAreRestoredWithoutSpecialBits) {
  TempFolder dir;
  Outcome run = Extract(Fx("la-test_read_format_rar.rar"), dir.Path().string());
  struct stat st {};
  ASSERT_EQ(stat((dir.File("test.txt")).c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1309100026);  // 2011-06-26 14:53:46, stored as a DOS time
  run = Extract(Fx("la-test_read_format_rar5_stored.rar"), dir.Path().string());
  ASSERT_EQ(stat((dir.File("helloworld.txt")).c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1537937022);  // a RAR 5 time record
  // Unix modes: read-only stays read-only, set-user-ID and sticky go.
  std::vector<rartest::Rar5Entry> es(3);
  es[0].name = "ro.txt";
  es[0].mode = 0100444;
  es[1].name = "suid.sh";
  es[1].mode = 0106755;
  es[2].name = "sticky";
  es[2].mode = 0101777;
  for (auto& e : es) e.data = "x";
  rartest::Write(dir.File("modes.rar"), rartest::Archive(es));
  const mode_t um = ::umask(022);
  ::umask(um);
  run = Extract(dir.File("modes.rar"), dir.File("m"));
  EXPECT_TRUE(run.answer);
  ASSERT_EQ(stat((dir.File("m/ro.txt")).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0444 & ~um);
  ASSERT_EQ(stat((dir.File("m/suid.sh")).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755 & ~um);
  ASSERT_EQ(stat((dir.File("m/sticky")).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0777 & ~um);
  EXPECT_EQ(st.st_mtime, 1600000000);
}

TEST(TRARExtraction, TimesKeepThePartOfASecondTheArchiveStores) {
  TempFolder dir;
  std::vector<rartest::Rar5Entry> es(4);
  es[0].name = "unix-ns.txt";  // Unix time with nanoseconds
  es[0].mtime = 1600000000;
  es[0].mtimeNanos = 123456789;
  es[1].name = "windows.txt";  // 100 ns steps: 2020-09-13 12:26:40.9876543
  es[1].windowsTime = (1600000000ull + 11644473600ull) * 10000000ull + 9876543;
  es[2].name = "folder";
  es[2].directory = true;
  es[2].mtimeNanos = 500000000;
  es[3].name = "folder/in.txt";
  es[3].mtimeNanos = 200;
  for (auto& e : es)
    if (!e.directory) e.data = "x";
  rartest::Write(dir.File("times.rar"), rartest::Archive(es));
  const Outcome run = Extract(dir.File("times.rar"), dir.File("out"));
  EXPECT_TRUE(run.answer);
  const auto Mtime = [&](const char* rel) {
    struct stat st {};
    EXPECT_EQ(stat((dir.File(rel)).c_str(), &st), 0) << rel;
    return st.st_mtim;
  };
  EXPECT_EQ(Mtime("out/unix-ns.txt").tv_sec, 1600000000);
  // The library's records carry Windows times: 100 ns steps.
  EXPECT_EQ(Mtime("out/unix-ns.txt").tv_nsec, 123456700);
  EXPECT_EQ(Mtime("out/windows.txt").tv_sec, 1600000000);
  EXPECT_EQ(Mtime("out/windows.txt").tv_nsec, 987654300);
  EXPECT_EQ(Mtime("out/folder").tv_nsec, 500000000);
  EXPECT_EQ(Mtime("out/folder/in.txt").tv_nsec, 200);
  // RAR 4 extended times: the DOS stamp and three bytes of 100 ns steps.
  Options justOne;
  justOne.files = {"test.txt"};
  const Outcome four = Extract(Fx("la-test_read_format_rar_windows.rar"), dir.File("four"), justOne);
  EXPECT_EQ(four.done, (std::vector<std::string>{"test.txt"}));
  EXPECT_EQ(Mtime("four/test.txt").tv_nsec, 77857900);
}

TEST(TRARExtraction, CountsOnlyWhatWasReallyWritten) {
  TempFolder dir;
  // Three files (one a link) and two folders.
  Outcome run = Extract(Fx("la-test_read_format_rar.rar"), dir.Path().string());
  EXPECT_EQ(run.count, 3);
  // Nothing new the second time without overwriting.
  Options keep;
  keep.overwrite = false;
  run = Extract(Fx("la-test_read_format_rar.rar"), dir.Path().string(), keep);
  EXPECT_EQ(run.count, 0);
  // Two plain files; the encrypted ones have no password.
  TempFolder enc;
  run = Extract(Fx("la-test_read_format_rar5_encrypted.rar"), enc.Path().string());
  EXPECT_EQ(run.count, 2);
  EXPECT_EQ(run.failed, (std::vector<std::string>{"b.txt", "d.txt"}));
}

TEST(TRARExtraction, LinksOfEveryKind) {
  TempFolder dir;
  Outcome run = Extract(Fx("la-test_read_format_rar5_symlink.rar"), dir.Path().string());
  EXPECT_TRUE(run.answer);
  EXPECT_EQ(fs::read_symlink(dir.Path() / "symlink.txt"), "file.txt");
  EXPECT_EQ(fs::read_symlink(dir.Path() / "dirlink"), "dir");
  // RAR 4 keeps a Unix link's text as its data.
  run = Extract(Fx("la-test_read_format_rar.rar"), dir.File("r4"));
  EXPECT_EQ(fs::read_symlink(dir.Path() / "r4/testlink"), "test.txt");
  // Hard links share the file; copies repeat it.
  run = Extract(Fx("rf-rar5-hlink.rar"), dir.File("hard"));
  EXPECT_TRUE(run.answer);
  struct stat a {}, b {};
  ASSERT_EQ(stat((dir.File("hard/stest1.txt")).c_str(), &a), 0);
  ASSERT_EQ(stat((dir.File("hard/stest2.txt")).c_str(), &b), 0);
  EXPECT_EQ(a.st_ino, b.st_ino);
  EXPECT_EQ(run.count, 3);
  run = Extract(Fx("rf-rar5-dups.rar"), dir.File("copies"));
  EXPECT_TRUE(run.answer);
  EXPECT_EQ(run.count, 9);
  EXPECT_EQ(ReadAll(dir.Path() / "copies/stest9.txt"), ReadAll(dir.Path() / "copies/stest1.txt"));
  ASSERT_EQ(stat((dir.File("copies/stest9.txt")).c_str(), &b), 0);
  ASSERT_EQ(stat((dir.File("copies/stest1.txt")).c_str(), &a), 0);
  EXPECT_NE(a.st_ino, b.st_ino);
  // A copy or hard link of an entry that is not extracted has nothing to repeat.
  Options only;
  only.files = {"stest2.txt"};
  run = Extract(Fx("rf-rar5-hlink.rar"), dir.File("alone"), only);
  EXPECT_FALSE(run.answer);
  EXPECT_EQ(run.errors, (std::vector<int>{ERAR_EREFERENCE}));
  EXPECT_FALSE(fs::exists(dir.Path() / "alone/stest2.txt"));
}

TEST(TRARExtraction, LinksLeadingOutAreRefusedAndReportedAndNothingIsWrittenThroughThem) {
  TempFolder outer;
  const fs::path dest = outer.Path() / "dest";
  Outcome run = Extract(Fx("rf-rar5-evil-symlink-traversal.rar"), dest.string());
  EXPECT_FALSE(run.answer);
  EXPECT_EQ(run.failed, (std::vector<std::string>{"up"}));
  EXPECT_EQ(run.errors, (std::vector<int>{16}));
  EXPECT_FALSE(fs::exists(outer.Path() / "pwned.txt"));
  EXPECT_FALSE(fs::is_symlink(fs::symlink_status(dest / "up")));
  // A link planted in the target folder beforehand is not written through.
  const fs::path elsewhere = outer.Path() / "elsewhere";
  fs::create_directories(elsewhere);
  fs::create_directories(outer.Path() / "d2");
  fs::create_directory_symlink(elsewhere, outer.Path() / "d2/testdir");
  run = Extract(Fx("la-test_read_format_rar.rar"), (outer.Path() / "d2").string());
  EXPECT_TRUE(fs::is_empty(elsewhere));
  EXPECT_NE(std::find(run.errors.begin(), run.errors.end(), 16), run.errors.end());
  EXPECT_TRUE(fs::exists(outer.Path() / "d2/test.txt"));
  // Absolute and Windows links are not made.
  run = Extract(Fx("rf-rar5-symlink-win.rar"), (outer.Path() / "win").string());
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(outer.Path() / "win/links/file_link")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(outer.Path() / "win/links/dir_junction")));
}

// The shared rule, driven through RAR archives built here: generated link
// chains in every order and depth; after each extraction no link resolves
// outside the target folder (realpath), links naming a real folder beside
// them are made, and the reversed archive leaves the same links.
TEST(TRARExtraction, LinkChainsNeverLeadOutWhateverTheirOrder) {
  TempFolder tmp;
  const fs::path root = linkchains::MakeWorld(tmp.Path());
  std::mt19937 rng(20261210);
  int created = 0;
  for (int trial = 0; trial < 60; ++trial) {
    const auto links = linkchains::Generate(rng);
    std::vector<std::string> first;
    for (int pass = 0; pass < 2; ++pass) {
      auto ordered = links;
      if (pass) std::reverse(ordered.begin(), ordered.end());
      std::vector<rartest::Rar5Entry> es;
      for (const auto& l : ordered) {
        rartest::Rar5Entry e;
        e.name = l.path;
        e.redirType = 1;
        e.redirTarget = l.text;
        e.mode = 0120777;
        es.push_back(e);
      }
      const std::string arc = (tmp.Path() / ("chain" + std::to_string(pass) + ".rar")).string();
      rartest::Write(arc, rartest::Archive(es));
      linkchains::ResetTarget(root);
      const Outcome run = Extract(arc, root.string());
      std::string trace;
      for (const auto& l : ordered) trace += l.path + " -> " + l.text + "\n";
      SCOPED_TRACE("trial " + std::to_string(trial) + " pass " + std::to_string(pass) + "\n" + trace);
      EXPECT_EQ(linkchains::EscapingLinks(root), std::vector<std::string>{});
      for (const auto& l : ordered)
        if (l.plainlySafe) {
          EXPECT_TRUE(fs::is_symlink(fs::symlink_status(root / l.path))) << l.path;
        }
      const auto onDisk = linkchains::LinksBelow(root);
      EXPECT_EQ(static_cast<size_t>(run.count), onDisk.size());
      if (pass == 0) {
        first = onDisk;
        created += static_cast<int>(onDisk.size());
      } else {
        EXPECT_EQ(onDisk, first) << "the order of the entries changed the outcome";
      }
    }
    if (::testing::Test::HasFailure()) break;
  }
  EXPECT_GT(created, 50);
}

TEST(TRARExtraction, EncryptedHeadersAskBeforeTheListingAndAgainAfterAWrongAnswer) {
  for (const auto& [fixture, password] : {std::pair<std::string, std::string>{"rf-rar5-hpsw.rar", "password"},
                                          {"la-test_read_format_rar_encryption_header.rar", "12345678"}}) {
    SCOPED_TRACE(fixture);
    // Right away.
    Outcome run = List(Fx(fixture), {password});
    EXPECT_EQ(run.asked, (std::vector<std::string>{"[] before the listing"}));
    EXPECT_EQ(run.listed.size(), 2u);
    EXPECT_TRUE(run.errors.empty());
    // Wrong, told so, asked again, right.
    run = List(Fx(fixture), {"nope", password});
    EXPECT_EQ(run.errors, (std::vector<int>{24}));
    EXPECT_EQ(run.asked.size(), 2u);
    EXPECT_EQ(run.listed.size(), 2u);
    // Cancelled: nothing listed, said once why.
    run = List(Fx(fixture), {""});
    EXPECT_EQ(run.asked.size(), 1u);
    EXPECT_TRUE(run.listed.empty());
    EXPECT_EQ(run.errors, (std::vector<int>{22}));
    // Extracting asks for the headers only: that password opens the data too.
    TempFolder dir;
    const Outcome ex = Extract(Fx(fixture), dir.Path().string(), WithPassword(password));
    EXPECT_EQ(ex.asked.size(), 1u);
    EXPECT_TRUE(ex.answer);
    EXPECT_EQ(ex.count, 2);
  }
}
