// Our UnRAR-compatible library over the real archives in the fixtures, driven
// through TRAR exactly as the program drives it. Every operation runs under a
// watchdog: a hang fails the test instead of stalling the run.
#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "engine/rar/RARArc.h"
#include "RarBuilder.h"
#include "TestFiles.h"

using arkelin::engine::rar::TRAR;
namespace fs = std::filesystem;

namespace {

const std::string kLib = std::string(ARKELIN_BIN_DIR) + "/libarkunrar.so";
std::string Fx(const std::string& name) { return std::string(ARKELIN_FIXTURES) + "/rar/" + name; }

template <class F>
void Guarded(F fn) {
  auto fut = std::async(std::launch::async, fn);
  if (fut.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
    std::fprintf(stderr, "operation hung for 30 s\n");
    std::_Exit(3);  // the thread cannot be stopped; fail the whole executable
  }
  fut.get();
}

struct Outcome {
  std::vector<std::string> names;
  std::map<std::string, unsigned> crcs;
  std::map<std::string, unsigned long long> sizes;
  std::vector<int> errors;
  std::vector<std::string> failed;
  std::vector<std::string> volumes;
  std::string comment;
  std::vector<std::string> askedPassword;
};

void Attach(TRAR& r, Outcome& run) {
  r.OnError = [&](TRAR&, int e) { run.errors.push_back(e); };
  r.OnComment = [&](TRAR&, const arkelin::engine::rar::TComment& c) { run.comment = c.Text; };
  r.OnListFile = [&](TRAR&, const RARHeaderDataEx& h) {
    run.names.push_back(h.FileName);
    run.crcs[h.FileName] = h.FileCRC;
    run.sizes[h.FileName] = (static_cast<unsigned long long>(h.UnpSizeHigh) << 32) | h.UnpSize;
  };
  auto done = [&](TRAR&, const RARHeaderDataEx& h, bool ok) {
    if (!ok) run.failed.push_back(h.FileName);
  };
  r.OnExtract = done;
  r.OnTested = done;
  r.OnVolumeChange = [&](TRAR&, const char* name, int) {
    run.volumes.push_back(fs::path(name).filename().string());
    return 1;
  };
  r.OnReqPassword = [&](TRAR&, const RARHeaderDataEx& h, std::string&) { run.askedPassword.push_back(h.FileName); };
}

Outcome List(const std::string& fixture) {
  Outcome run;
  Guarded([&] {
    TRAR r(kLib);
    EXPECT_TRUE(r.LoadedDLL());
    Attach(r, run);
    r.ArchiveName = Fx(fixture);
    r.ListFiles();
  });
  return run;
}

Outcome TestArc(const std::string& fixture, bool* answer = nullptr) {
  Outcome run;
  Guarded([&] {
    TRAR r(kLib);
    Attach(r, run);
    r.ArchiveName = Fx(fixture);
    bool a = r.TestFiles();
    if (answer) *answer = a;
  });
  return run;
}

// Extracts the archive at `archive` into `target`.
Outcome Extract(const std::string& archive, const fs::path& target, bool* answer = nullptr) {
  Outcome run;
  Guarded([&] {
    TRAR r(kLib);
    Attach(r, run);
    r.ArchiveName = archive;
    r.TargetDir = target.string();
    const bool a = r.ExtractFiles();
    if (answer) *answer = a;
  });
  return run;
}

unsigned Crc(const std::string& s) {
  return static_cast<unsigned>(crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

}  // namespace

TEST(ArkUnrar, ListingsAgreeWithTheRecordedContents) {
  Outcome r4 = List("la-test_read_format_rar.rar");
  EXPECT_EQ(r4.names, (std::vector<std::string>{"test.txt", "testlink", "testdir\\test.txt", "testdir", "testemptydir"}));
  EXPECT_TRUE(r4.errors.empty());
  Outcome r5 = List("la-test_read_format_rar5_multiple_files_solid.rar");
  EXPECT_EQ(r5.names, (std::vector<std::string>{"test1.bin", "test2.bin", "test3.bin", "test4.bin"}));
  EXPECT_EQ(r5.sizes["test3.bin"], 4096u);
  Outcome enc = List("la-test_read_format_rar4_encrypted.rar");
  EXPECT_EQ(enc.names, (std::vector<std::string>{"a.txt", "b.txt", "c.txt", "d.txt"}));
}

TEST(ArkUnrar, UnicodeNamesOfBothFormats) {
  Outcome r4 = List("la-test_read_format_rar_unicode.rar");
  ASSERT_EQ(r4.names.size(), 6u);
  EXPECT_EQ(r4.names[1], "表だよ\\漢字長いファイル名long-filename-in-漢字.txt");
  EXPECT_EQ(r4.names[5], "abcdefghijklmnopqrsテスト.txt");
  Outcome r5 = List("la-test_read_format_rar5_unicode.rar");
  ASSERT_FALSE(r5.names.empty());
  EXPECT_EQ(r5.names[0], "👋🌎.txt");
}

TEST(ArkUnrar, ArchiveCommentIsReported) {
  EXPECT_EQ(List("rf-rar5-crc.rar").comment.rfind("RAR5 archive - crc", 0), 0u);
}

TEST(ArkUnrar, MultiVolumeSetsOpenFromAnyPartAndReportEachVolume) {
  for (const char* part : {"rf-rar5-vols.part1.rar", "rf-rar5-vols.part2.rar", "rf-rar5-vols.part3.rar"}) {
    Outcome run = List(part);
    EXPECT_EQ(run.names, (std::vector<std::string>{"vols\\bigfile.txt", "vols\\smallfile.txt"})) << part;
    EXPECT_EQ(run.sizes["vols\\bigfile.txt"], 205000u);
  }
  Outcome old = List("rf-rar3-old.rar");
  EXPECT_EQ(old.names, (std::vector<std::string>{"vols\\bigfile.txt", "vols\\smallfile.txt"}));
  Outcome four = List("la-test_read_format_rar_multivolume.part0003.rar");
  EXPECT_EQ(four.names.size(), 7u);
  EXPECT_FALSE(four.volumes.empty());  // the entries after the big file live in a later volume

  bool ok = false;
  Outcome t = TestArc("rf-rar5-vols.part2.rar", &ok);
  EXPECT_TRUE(ok);
  EXPECT_TRUE(t.failed.empty());
  EXPECT_TRUE(t.errors.empty());
}

TEST(ArkUnrar, ExtractedFilesMatchTheirListedSizesAndCrcs) {
  for (const char* fx : {"la-test_read_format_rar.rar", "rf-rar5-vols.part2.rar", "rf-rar3-old.rar",
                         "la-test_read_format_rar5_stored_manyfiles.rar", "la-test_read_format_rar_compress_normal.rar",
                         "la-test_read_format_rar5_compressed.rar", "rf-rar3-solid.rar"}) {
    Outcome listed = List(fx);
    TempFolder dir;
    bool ok = false;
    Outcome run = Extract(Fx(fx), dir.Path(), &ok);
    EXPECT_TRUE(ok) << fx;
    int files = 0;
    for (const auto& [name, crc] : listed.crcs) {
      std::string rel = name;
      for (auto& c : rel)
        if (c == '\\') c = '/';
      fs::path p = dir.Path() / rel;
      if (!fs::is_regular_file(fs::symlink_status(p))) continue;
      std::string data = ReadAll(p);
      EXPECT_EQ(data.size(), listed.sizes[name]) << name;
      EXPECT_EQ(Crc(data), crc) << name;
      ++files;
    }
    EXPECT_GT(files, 0) << fx;
  }
}

TEST(ArkUnrar, DamagedDataIsFoundByTestIncludingStoredEntries) {
  for (const char* fx : {"gen-rar4-datacrc.rar", "gen-rar5-datacrc.rar"}) {
    bool ok = true;
    Outcome run = TestArc(fx, &ok);
    EXPECT_FALSE(ok) << fx;
    ASSERT_FALSE(run.failed.empty()) << fx;
    EXPECT_EQ(run.errors.front(), 12) << fx;
  }
  // The undamaged original passes.
  bool ok = false;
  Outcome good = TestArc("la-test_read_format_rar.rar", &ok);
  EXPECT_TRUE(ok);
  EXPECT_TRUE(good.failed.empty());
  // A header that does not add up is refused when opening.
  Outcome hdr = List("gen-rar4-hdrcrc.rar");
  EXPECT_EQ(hdr.errors, (std::vector<int>{12}));
}

TEST(ArkUnrar, EncryptedEntriesAskForAPasswordThenFailWhileTheOthersExtract) {
  for (const char* fx : {"la-test_read_format_rar4_encrypted.rar", "la-test_read_format_rar5_encrypted.rar"}) {
    TempFolder dir;
    bool ok = true;
    Outcome run = Extract(Fx(fx), dir.Path(), &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(run.askedPassword, (std::vector<std::string>{"b.txt", "d.txt"})) << fx;
    EXPECT_EQ(run.failed, (std::vector<std::string>{"b.txt", "d.txt"})) << fx;
    EXPECT_EQ(run.errors, (std::vector<int>{22, 22})) << fx;
    EXPECT_TRUE(fs::exists(dir.Path() / "a.txt")) << fx;
    EXPECT_TRUE(fs::exists(dir.Path() / "c.txt")) << fx;
    EXPECT_FALSE(fs::exists(dir.Path() / "b.txt")) << fx;
  }
}

TEST(ArkUnrar, UnsupportedFeaturesSaySoInsteadOfCallingTheDataDamaged) {
  // A RAR 5 entry packed with a compression version no decoder knows.
  TempFolder dir;
  const std::string name = "future.bin";
  std::string arc = std::string("Rar!\x1a\x07\x01\x00", 8) + rartest::Block(std::string("\x01\x00\x00", 3));
  std::string file = std::string("\x02\x02\x03", 3) /* type, flags: data, size 3 */ + std::string("\x00\x03\x00", 3) +
                     std::string("\x85\x03\x00\x0a", 4) /* version 5, method 3; host; name length */ + "future.bin";
  arc += rartest::Block(file) + "abc" + rartest::Block(std::string("\x05\x00\x00", 3));
  const fs::path path = dir.Path() / name;
  std::ofstream(path.string() + ".rar", std::ios::binary) << arc;
  bool ok = true;
  Outcome run;
  Guarded([&] {
    TRAR r(kLib);
    Attach(r, run);
    r.ArchiveName = path.string() + ".rar";
    ok = r.TestFiles();
  });
  EXPECT_FALSE(ok);
  EXPECT_EQ(run.failed, (std::vector<std::string>{"future.bin"}));
  EXPECT_EQ(run.errors, (std::vector<int>{arkelin::engine::rar::kUnsupported}));
  // The text says what is wrong, and sends nobody off to install anything.
  const std::string text = TRAR::ErrorText(arkelin::engine::rar::kUnsupported);
  EXPECT_EQ(text.find("install"), std::string::npos);
  EXPECT_NE(text.find("not supported"), std::string::npos);
}

TEST(ArkUnrar, SymlinkTraversalWritesNothingOutsideTheDestination) {
  TempFolder outer;
  fs::path dest = outer.Path() / "dest";
  fs::create_directories(dest);
  Extract(Fx("rf-rar5-evil-symlink-traversal.rar"), dest);
  for (const auto& e : fs::recursive_directory_iterator(outer.Path())) {
    std::string rel = fs::relative(e.path(), outer.Path()).string();
    EXPECT_EQ(rel.rfind("dest", 0), 0u) << rel;
    EXPECT_FALSE(fs::is_symlink(e.symlink_status())) << rel;
  }
  EXPECT_FALSE(fs::exists(outer.Path().parent_path() / "pwned.txt"));
}

TEST(ArkUnrar, PlantedSymlinkInTheDestinationIsNotFollowed) {
  TempFolder outer;
  fs::path dest = outer.Path() / "dest";
  fs::path elsewhere = outer.Path() / "elsewhere";
  fs::create_directories(dest);
  fs::create_directories(elsewhere);
  fs::create_directory_symlink(elsewhere, dest / "testdir");
  Outcome run = Extract(Fx("la-test_read_format_rar.rar"), dest);
  EXPECT_TRUE(fs::is_empty(elsewhere));
  EXPECT_NE(std::find(run.errors.begin(), run.errors.end(), 16), run.errors.end());
  EXPECT_TRUE(fs::exists(dest / "test.txt"));
}

TEST(ArkUnrar, NoFixtureCrashesOrHangs) {
  for (const auto& e : fs::directory_iterator(std::string(ARKELIN_FIXTURES) + "/rar")) {
    std::string name = e.path().filename().string();
    Outcome listed = List(name);
    TestArc(name);
    SUCCEED() << name << ": " << listed.names.size() << " entries";
  }
  Outcome notRar = List("../README.md");
  EXPECT_EQ(notRar.errors, (std::vector<int>{13}));
  Outcome missing = List("no-such-file.rar");
  EXPECT_EQ(missing.errors, (std::vector<int>{15}));
}

TEST(ArkUnrar, SymlinksInsideTheDestinationAreMadeAndEscapingOnesRefused) {
  TempFolder dir;
  bool ok = false;
  Extract(Fx("la-test_read_format_rar5_symlink.rar"), dir.Path(), &ok);
  EXPECT_TRUE(ok);
  ASSERT_TRUE(fs::is_symlink(fs::symlink_status(dir.Path() / "symlink.txt")));
  EXPECT_EQ(fs::read_symlink(dir.Path() / "symlink.txt"), fs::path("file.txt"));
  EXPECT_EQ(ReadAll(dir.Path() / "symlink.txt"), ReadAll(dir.Path() / "file.txt"));

  TempFolder evil;
  Extract(Fx("rf-rar5-evil-symlink-traversal.rar"), evil.Path());
  EXPECT_FALSE(fs::is_symlink(fs::symlink_status(evil.Path() / "up")));
  EXPECT_TRUE(fs::exists(evil.Path() / "up" / "pwned.txt"));  // a plain folder inside the destination
}

TEST(ArkUnrar, GivenPasswordDecryptsAndAWrongOneIsCalledWrong) {
  for (const auto& [password, code] : {std::pair<std::string, int>{"password", 0}, {"passwore", 24}}) {
    Outcome run;
    bool ok = false;
    Guarded([&] {
      TRAR r(kLib);
      Attach(r, run);
      r.OnReqPassword = [&, pw = password](TRAR&, const RARHeaderDataEx&, std::string& out) { out = pw; };
      r.ArchiveName = Fx("rf-rar5-psw-blake.rar");
      r.FilesToTest = {"stest2.txt"};  // stored, encrypted, BLAKE2sp converted with the password
      ok = r.TestFiles();
    });
    EXPECT_EQ(ok, code == 0) << password;
    if (code == 0) {
      EXPECT_TRUE(run.errors.empty());
    } else {
      EXPECT_EQ(run.errors, (std::vector<int>{code})) << password;
    }
  }
}

TEST(ArkUnrar, DefaultSearchFindsOurLibraryBesideTheProgramWhenNoSystemOneExists) {
  TRAR r;
  ASSERT_TRUE(r.LoadedDLL());
  if (r.LibraryPath().find("libunrar") == std::string::npos) {
    EXPECT_EQ(fs::path(r.LibraryPath()).filename(), "libarkunrar.so");
  }
}

TEST(ArkUnrar, MissingVolumeIsAskedForAndTheAnswerDecides) {
  TempFolder dir;
  for (const char* p : {"rf-rar5-vols.part1.rar", "rf-rar5-vols.part3.rar"})
    fs::copy_file(Fx(p), dir.Path() / p);
  auto list = [&](bool supply) {
    Outcome run;
    std::vector<int> modes;
    Guarded([&] {
      TRAR r(kLib);
      Attach(r, run);
      r.OnVolumeChange = [&](TRAR&, const char* name, int mode) {
        modes.push_back(mode);
        run.volumes.push_back(fs::path(name).filename().string());
        if (mode == RAR_VOL_ASK && supply) {
          fs::copy_file(Fx("rf-rar5-vols.part2.rar"), dir.Path() / "rf-rar5-vols.part2.rar");
          return 1;
        }
        return mode == RAR_VOL_ASK ? 0 : 1;
      };
      r.ArchiveName = (dir.Path() / "rf-rar5-vols.part1.rar").string();
      r.ListFiles();
    });
    return std::make_pair(run, modes);
  };
  auto [refused, refusedModes] = list(false);
  ASSERT_FALSE(refusedModes.empty());
  EXPECT_EQ(refusedModes.front(), RAR_VOL_ASK);
  EXPECT_EQ(refused.volumes.front(), "rf-rar5-vols.part2.rar");
  EXPECT_EQ(refused.errors, (std::vector<int>{15}));

  auto [supplied, suppliedModes] = list(true);
  EXPECT_TRUE(supplied.errors.empty());
  EXPECT_EQ(supplied.names, (std::vector<std::string>{"vols\\bigfile.txt", "vols\\smallfile.txt"}));
}


TEST(ArkUnrar, DirectoryDeclaringDataIsRefusedAndTheNextEntryStillTests) {
  TempFolder dir;
  std::string crc(4, '\0');
  unsigned c = Crc("abc");
  for (int i = 0; i < 4; ++i) crc[i] = static_cast<char>((c >> (8 * i)) & 0xff);
  std::string arc = std::string("Rar!\x1a\x07\x01\x00", 8) + rartest::Block(std::string("\x01\x00\x00", 3)) +
                    rartest::Block(std::string("\x02\x02\x05\x01\x00\x10\x00\x00\x01" "d", 10)) + "xxxxx" +
                    rartest::Block(std::string("\x02\x02\x03\x04\x03\x20", 6) + crc + std::string("\x00\x00\x01" "f", 4)) +
                    "abc" + rartest::Block(std::string("\x05\x00\x00", 3));
  fs::path file = dir.Path() / "dirdata.rar";
  std::ofstream(file, std::ios::binary) << arc;
  Outcome listed;
  Guarded([&] {
    TRAR r(kLib);
    Attach(r, listed);
    r.ArchiveName = file.string();
    r.ListFiles();
  });
  EXPECT_TRUE(listed.errors.empty());
  EXPECT_EQ(listed.names, (std::vector<std::string>{"d", "f"}));
  EXPECT_EQ(listed.crcs["f"], c);

  Outcome tested;
  Guarded([&] {
    TRAR r(kLib);
    Attach(r, tested);
    r.ArchiveName = file.string();
    EXPECT_FALSE(r.TestFiles());
  });
  EXPECT_EQ(tested.failed, (std::vector<std::string>{"d"}));
  EXPECT_EQ(tested.errors, (std::vector<int>{12}));
}
