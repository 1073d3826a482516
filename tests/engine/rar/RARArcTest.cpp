#include "engine/rar/RARArc.h"
#include "TestFiles.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using arkelin::engine::rar::TRAR;

namespace {

std::string Log() {
  void* h = dlopen(STANDIN_LIB, RTLD_NOW | RTLD_NOLOAD);
  if (!h) return "<not loaded>";
  auto fn = reinterpret_cast<const char* (*)()>(dlsym(h, "StandInLog"));
  std::string s = fn ? fn() : "<no log>";
  dlclose(h);
  return s;
}

void ClearLog() {
  void* h = dlopen(STANDIN_LIB, RTLD_NOW | RTLD_NOLOAD);
  if (!h) return;
  if (auto fn = reinterpret_cast<void (*)()>(dlsym(h, "StandInClearLog"))) fn();
  dlclose(h);
}

struct Recorder {
  std::vector<int> errors;
  std::vector<std::string> events;
  void Attach(TRAR& r) {
    r.OnError = [this](TRAR&, int e) { errors.push_back(e); };
    r.OnListFile = [this](TRAR&, const RARHeaderDataEx& h) { events.push_back(std::string("list ") + h.FileName); };
    r.OnExtracting = [this](TRAR&, const RARHeaderDataEx& h) { events.push_back(std::string("extracting ") + h.FileName); };
    r.OnExtract = [this](TRAR&, const RARHeaderDataEx& h, bool ok) {
      events.push_back(std::string("extracted ") + h.FileName + (ok ? " ok" : " failed"));
    };
    r.OnTesting = [this](TRAR&, const RARHeaderDataEx& h) { events.push_back(std::string("testing ") + h.FileName); };
    r.OnTested = [this](TRAR&, const RARHeaderDataEx& h, bool ok) {
      events.push_back(std::string("tested ") + h.FileName + (ok ? " ok" : " failed"));
    };
  }
};

}  // namespace

TEST(TRAR, MissingLibraryReportsCode50ForEveryOperation) {
  TRAR r("/nonexistent/libunrar-missing.so");
  EXPECT_FALSE(r.LoadedDLL());
  Recorder rec;
  rec.Attach(r);
  r.ArchiveName = "x.rar";
  r.ListFiles();
  EXPECT_FALSE(r.ExtractFiles());
  EXPECT_FALSE(r.TestFiles());
  EXPECT_EQ(rec.errors, (std::vector<int>{50, 50, 50}));
  EXPECT_TRUE(rec.events.empty());
  EXPECT_EQ(TRAR::ErrorText(50), "UNRAR.dll not found");
}

TEST(TRAR, LibraryLackingAFunctionIsNotUsed) {
  TRAR r(STANDIN_INCOMPLETE_LIB);
  EXPECT_FALSE(r.LoadedDLL());
  Recorder rec;
  rec.Attach(r);
  r.ArchiveName = "x.rar";
  r.ListFiles();
  EXPECT_EQ(rec.errors, (std::vector<int>{50}));
  EXPECT_TRUE(rec.events.empty());
}

TEST(TRAR, ListsEveryEntryInOrderWithTheArchiveComment) {
  TRAR r(STANDIN_LIB);
  ASSERT_TRUE(r.LoadedDLL());
  ClearLog();
  Recorder rec;
  rec.Attach(r);
  std::string comment;
  r.OnComment = [&](TRAR&, const arkelin::engine::rar::TComment& c) { comment = c.Text; };
  r.ArchiveName = "x.rar";
  r.ListFiles();
  EXPECT_TRUE(rec.errors.empty());
  EXPECT_EQ(rec.events, (std::vector<std::string>{"list a.txt", "list Dir\\B.TXT", "list bad.bin", "list secret.txt",
                                                  "list last.txt"}));
  EXPECT_EQ(comment, "hello note");
  EXPECT_NE(Log().find("mode 0;"), std::string::npos);
  EXPECT_NE(Log().find("close;"), std::string::npos);
}

TEST(TRAR, StopInListFileEndsAfterThatEntryAndCanListAgain) {
  TRAR r(STANDIN_LIB);
  Recorder rec;
  rec.Attach(r);
  r.OnListFile = [&](TRAR& s, const RARHeaderDataEx& h) {
    rec.events.push_back(h.FileName);
    if (rec.events.size() == 2) s.Stop = true;
  };
  r.ArchiveName = "x.rar";
  ClearLog();
  r.ListFiles();
  EXPECT_EQ(rec.events.size(), 2u);
  EXPECT_FALSE(r.Stop);
  EXPECT_NE(Log().find("close;"), std::string::npos);
  rec.events.clear();
  r.ListFiles();
  EXPECT_EQ(rec.events.size(), 2u);  // stops again at the second, having started afresh
}

TEST(TRAR, OpenFailureIsReportedAndNothingListed) {
  TRAR r(STANDIN_LIB);
  Recorder rec;
  rec.Attach(r);
  r.ArchiveName = "missing.rar";
  r.ListFiles();
  EXPECT_EQ(rec.errors, (std::vector<int>{15}));
  EXPECT_TRUE(rec.events.empty());
  EXPECT_FALSE(r.ExtractFiles());
  EXPECT_EQ(rec.errors, (std::vector<int>{15, 15}));
}

TEST(TRAR, ExtractWithEmptyArchiveNameReports13WithoutTouchingTheLibrary) {
  TRAR r(STANDIN_LIB);
  Recorder rec;
  rec.Attach(r);
  ClearLog();
  EXPECT_FALSE(r.ExtractFiles());
  EXPECT_EQ(rec.errors, (std::vector<int>{13}));
  EXPECT_EQ(Log(), "");
}

TEST(TRAR, TheLibraryTestsEachEntryAndTRARWritesWhatItHandsOver) {
  TempFolder dir;
  TRAR r(STANDIN_LIB);
  Recorder rec;
  rec.Attach(r);
  r.ArchiveName = "x.rar";
  r.TargetDir = dir.Path().string();
  ClearLog();
  EXPECT_FALSE(r.ExtractFiles());
  EXPECT_EQ(rec.errors, (std::vector<int>{12, 22}));
  EXPECT_EQ(rec.events.back(), "extracted last.txt ok");
  EXPECT_NE(std::find(rec.events.begin(), rec.events.end(), "extracted bad.bin failed"), rec.events.end());
  // Nothing is extracted by the library itself: it tests, TRAR writes.
  EXPECT_EQ(Log().find("extract "), std::string::npos);
  EXPECT_NE(Log().find("test last.txt;"), std::string::npos);
  EXPECT_NE(Log().find("mode 1;"), std::string::npos);
  EXPECT_EQ(ReadAll(dir.File("a.txt")), "abcabc");
  EXPECT_EQ(ReadAll(dir.File("Dir/B.TXT")), "abcabc");
  // The damaged entry left nothing, the one without a password neither.
  EXPECT_FALSE(std::filesystem::exists(dir.File("bad.bin")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("secret.txt")));
  EXPECT_EQ(r.SuccessCount(), 3);
  for (const auto& e : std::filesystem::directory_iterator(dir.Path().string()))
    EXPECT_EQ(e.path().filename().string().find(".ark"), std::string::npos) << e.path();
}

TEST(TRAR, ADamagedEntryKeepsTheFileThatWasThere) {
  TempFolder dir;
  WriteAll(dir.File("bad.bin"), "the user's own file");
  TRAR r(STANDIN_LIB);
  Recorder rec;
  rec.Attach(r);
  r.ArchiveName = "x.rar";
  r.TargetDir = dir.Path().string();
  r.FilesToExtract = {"bad.bin"};
  EXPECT_FALSE(r.ExtractFiles());
  EXPECT_EQ(ReadAll(dir.File("bad.bin")), "the user's own file");
  EXPECT_EQ(r.SuccessCount(), 0);
}

TEST(TRAR, ChosenRowsAreExactNamesAndTypedSpecificationsAreWildcards) {
  TempFolder dir;
  TRAR r(STANDIN_LIB);
  Recorder rec;
  rec.Attach(r);
  r.ArchiveName = "x.rar";
  r.TargetDir = dir.Path().string();
  // Case counts, and "/" stands for "\".
  r.FilesToExtract = {"A.TXT", "Dir/B.TXT", "last.tx?"};
  EXPECT_TRUE(r.ExtractFiles());
  EXPECT_EQ(rec.events, (std::vector<std::string>{"extracting Dir\\B.TXT", "extracted Dir\\B.TXT ok"}));
  rec.events.clear();
  r.FilesToExtract.clear();
  r.SpecsToExtract = {"?.TXT", "dir\\b.*", "last*"};
  r.ExtrOptions.DirNames = false;
  EXPECT_TRUE(r.ExtractFiles());
  EXPECT_EQ(rec.events, (std::vector<std::string>{"extracting a.txt", "extracted a.txt ok", "extracting Dir\\B.TXT",
                                                  "extracted Dir\\B.TXT ok", "extracting last.txt",
                                                  "extracted last.txt ok"}));
  EXPECT_TRUE(std::filesystem::exists(dir.File("B.TXT")));  // folders dropped
}

TEST(TRAR, ExistingFilesAreKeptUnlessOverwriteIsOn) {
  TempFolder dir;
  WriteAll(dir.File("a.txt"), "mine");
  TRAR r(STANDIN_LIB);
  Recorder rec;
  rec.Attach(r);
  r.ArchiveName = "x.rar";
  r.TargetDir = dir.Path().string();
  r.FilesToExtract = {"a.txt", "last.txt"};
  r.ExtrOptions.OverWrite = false;
  EXPECT_TRUE(r.ExtractFiles());
  EXPECT_EQ(ReadAll(dir.File("a.txt")), "mine");
  EXPECT_EQ(r.SuccessCount(), 1);  // last.txt only: the skipped file is not counted
  EXPECT_EQ(rec.events, (std::vector<std::string>{"extracting last.txt", "extracted last.txt ok"}));
  r.ExtrOptions.OverWrite = true;
  EXPECT_TRUE(r.ExtractFiles());
  EXPECT_EQ(ReadAll(dir.File("a.txt")), "abcabc");
  EXPECT_EQ(r.SuccessCount(), 2);
}

TEST(TRAR, PasswordFromTheHandlerIsGivenOnlyForEncryptedEntries) {
  TRAR r(STANDIN_LIB);
  Recorder rec;
  rec.Attach(r);
  std::vector<std::string> asked;
  r.OnReqPassword = [&](TRAR&, const RARHeaderDataEx& h, std::string& pw) {
    asked.push_back(h.FileName);
    pw = "pw";
  };
  r.ArchiveName = "x.rar";
  r.FilesToTest = {"secret.txt", "a.txt"};
  ClearLog();
  EXPECT_TRUE(r.TestFiles());
  EXPECT_TRUE(rec.errors.empty());
  EXPECT_EQ(asked, (std::vector<std::string>{"secret.txt"}));
  EXPECT_EQ(rec.events, (std::vector<std::string>{"testing a.txt", "tested a.txt ok", "testing secret.txt",
                                                  "tested secret.txt ok"}));
  EXPECT_NE(Log().find("skip bad.bin;"), std::string::npos);
  EXPECT_NE(Log().find("test secret.txt;"), std::string::npos);
  EXPECT_EQ(r.SuccessCount(), 2);
}

TEST(TRAR, WrongPasswordIsSaidAndAskedAgainUntilRightOrGivenUp) {
  TempFolder dir;
  for (const bool persist : {true, false}) {
    TRAR r(STANDIN_LIB);
    Recorder rec;
    rec.Attach(r);
    std::vector<std::string> answers = persist ? std::vector<std::string>{"nope", "pw"}
                                               : std::vector<std::string>{"nope", "nope"};
    size_t asked = 0;
    r.OnReqPassword = [&](TRAR&, const RARHeaderDataEx&, std::string& pw) {
      pw = asked < answers.size() ? answers[asked] : "";
      ++asked;
    };
    r.ArchiveName = "x.rar";
    r.TargetDir = dir.Path().string();
    r.FilesToExtract = {"secret.txt", "last.txt"};
    ClearLog();
    EXPECT_FALSE(r.ExtractFiles());  // the wrong password was an error, also when put right
    EXPECT_EQ(rec.errors, (std::vector<int>{24}));
    EXPECT_EQ(asked, 2u);
    EXPECT_EQ(rec.events.back(), "extracted last.txt ok");
    const bool written = std::filesystem::exists(dir.File("secret.txt"));
    EXPECT_EQ(written, persist);
    EXPECT_EQ(r.SuccessCount(), persist ? 2 : 1);
    if (persist) {
      EXPECT_NE(std::find(rec.events.begin(), rec.events.end(), "extracted secret.txt ok"), rec.events.end());
    } else {
      EXPECT_NE(std::find(rec.events.begin(), rec.events.end(), "extracted secret.txt failed"), rec.events.end());
    }
    std::filesystem::remove(dir.File("secret.txt"));
  }
}

TEST(TRAR, DataProgressAccumulatesPerEntryAndZeroCancels) {
  TempFolder dir;
  TRAR r(STANDIN_LIB);
  Recorder rec;
  rec.Attach(r);
  std::vector<long long> positions;
  r.OnProcessData = [&](TRAR&, const unsigned char*, int size, long long pos) {
    EXPECT_EQ(size, 3);
    positions.push_back(pos);
    return 1;
  };
  r.ArchiveName = "x.rar";
  r.TargetDir = dir.Path().string();
  r.FilesToExtract = {"a.txt", "Dir\\B.TXT"};
  EXPECT_TRUE(r.ExtractFiles());
  EXPECT_EQ(positions, (std::vector<long long>{3, 6, 3, 6}));

  std::filesystem::remove(dir.File("a.txt"));
  r.OnProcessData = [&](TRAR&, const unsigned char*, int, long long) { return 0; };
  EXPECT_FALSE(r.ExtractFiles());
  ASSERT_FALSE(rec.errors.empty());
  EXPECT_EQ(rec.errors.back(), 21);  // the library's own cancel code; the walk ends there
  EXPECT_FALSE(std::filesystem::exists(dir.File("a.txt")));  // nothing half written is left
}

TEST(TRAR, ATargetFolderThatCannotBeMadeStopsBeforeAnyEntry) {
  TempFolder dir;
  WriteAll(dir.File("file"), "x");
  TRAR r(STANDIN_LIB);
  Recorder rec;
  rec.Attach(r);
  r.ArchiveName = "x.rar";
  r.TargetDir = dir.File("file/sub");
  std::vector<std::string> messages;
  r.OnError = [&](TRAR& sender, int e) {
    rec.errors.push_back(e);
    messages.push_back(sender.ErrorMessage(e));
  };
  ClearLog();
  EXPECT_FALSE(r.ExtractFiles());
  EXPECT_EQ(rec.errors, (std::vector<int>{16}));
  EXPECT_TRUE(rec.events.empty());
  EXPECT_EQ(Log(), "");
  // The message names the folder and says why, not only the code's text.
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("File create error: ", 0), 0u) << messages[0];
  EXPECT_NE(messages[0].find(r.TargetDir), std::string::npos) << messages[0];
  EXPECT_NE(messages[0].find("Not a directory"), std::string::npos) << messages[0];
  // Outside an error the code's text stands alone.
  EXPECT_EQ(r.ErrorMessage(16), "File create error");
}

TEST(TRAR, VolumeChangeHandlerDecidesWhetherTheLibraryGoesOn) {
  TRAR r(STANDIN_LIB);
  Recorder rec;
  rec.Attach(r);
  std::vector<std::string> vols;
  r.OnVolumeChange = [&](TRAR&, const char* name, int mode) {
    vols.push_back(std::string(name) + " " + std::to_string(mode));
    return 0;
  };
  r.ArchiveName = "x.rar";
  r.ListFiles();
  EXPECT_EQ(vols, (std::vector<std::string>{"part2.rar 1"}));
  EXPECT_EQ(rec.events.size(), 3u);
  EXPECT_EQ(rec.errors, (std::vector<int>{15}));
}

TEST(TRAR, ErrorTextsCoverLibraryCodesAndUnknownOnes) {
  EXPECT_EQ(TRAR::ErrorText(12), "CRC error, data damaged");
  EXPECT_EQ(TRAR::ErrorText(13), "File is not valid RAR archive");
  for (int code : {21, 22, 23, 24}) {
    EXPECT_NE(TRAR::ErrorText(code), "Unknown error") << code;
  }
  EXPECT_EQ(TRAR::ErrorText(99), "Unknown error");
  EXPECT_EQ(TRAR::ErrorText(-1), "Unknown error");
}
