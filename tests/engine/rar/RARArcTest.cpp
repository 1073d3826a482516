#include "engine/rar/RARArc.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
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

TEST(TRAR, CrcErrorAndMissingPasswordFailTheirEntryButTheOthersStillExtract) {
  TRAR r(STANDIN_LIB);
  Recorder rec;
  rec.Attach(r);
  r.ArchiveName = "x.rar";
  r.TargetDir = "/tmp/dest";
  ClearLog();
  EXPECT_FALSE(r.ExtractFiles());
  EXPECT_EQ(rec.errors, (std::vector<int>{12, 22}));
  EXPECT_EQ(rec.events.back(), "extracted last.txt ok");
  EXPECT_NE(std::find(rec.events.begin(), rec.events.end(), "extracted bad.bin failed"), rec.events.end());
  EXPECT_NE(Log().find("extract last.txt to /tmp/dest;"), std::string::npos);
  EXPECT_NE(Log().find("mode 1;"), std::string::npos);
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
  r.FilesToTest = {"SECRET.TXT", "a.txt"};
  ClearLog();
  EXPECT_TRUE(r.TestFiles());
  EXPECT_TRUE(rec.errors.empty());
  EXPECT_EQ(asked, (std::vector<std::string>{"secret.txt"}));
  EXPECT_EQ(rec.events, (std::vector<std::string>{"testing a.txt", "tested a.txt ok", "testing secret.txt",
                                                  "tested secret.txt ok"}));
  // Entries outside the list are skipped, and testing passes no folder.
  EXPECT_NE(Log().find("skip bad.bin;"), std::string::npos);
  EXPECT_NE(Log().find("test secret.txt;"), std::string::npos);
}

TEST(TRAR, WrongPasswordIsReportedAndTheWalkGoesOn) {
  TRAR r(STANDIN_LIB);
  Recorder rec;
  rec.Attach(r);
  r.OnReqPassword = [&](TRAR&, const RARHeaderDataEx&, std::string& pw) { pw = "nope"; };
  r.ArchiveName = "x.rar";
  r.FilesToTest = {"secret.txt", "last.txt"};
  EXPECT_FALSE(r.TestFiles());
  EXPECT_EQ(rec.errors, (std::vector<int>{24}));
  EXPECT_EQ(rec.events.back(), "tested last.txt ok");
}

TEST(TRAR, DataProgressAccumulatesPerEntryAndZeroCancels) {
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
  r.FilesToExtract = {"a.txt", "dir\\b.txt"};
  EXPECT_TRUE(r.ExtractFiles());
  EXPECT_EQ(positions, (std::vector<long long>{3, 6, 3, 6}));

  r.OnProcessData = [&](TRAR&, const unsigned char*, int, long long) { return 0; };
  EXPECT_FALSE(r.ExtractFiles());
  ASSERT_FALSE(rec.errors.empty());
  EXPECT_EQ(rec.errors.back(), 21);  // the library's own cancel code; the walk ends there
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
