// Test helpers for libzipdll: a temporary working folder per test, the
// library loaded with dlopen from the build's program folder, command
// records built as the component builds them (long layout), every callback
// recorded, and small wrappers to run the peer tools.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/zip/ZipCommands_p.h"
#include "engine/zip/ZipMstr.h"
#include "platform/FakePlatform.h"
#include "ShellRun.h"
#include "TestFiles.h"

namespace ziptest {

namespace dll = arkelin::engine::zip::dll;
namespace fs = std::filesystem;

struct Event {
  int action;
  int code;
  int64_t size;
  std::string text;
};

struct ZipOptions {
  std::string archive;
  std::vector<std::string> specs;
  std::string password;
  bool encrypt = false, hidden = true, dirEntries = false, dirNames = true, recurse = false;
  bool remove = false, forceDos = false, move = false, update = false, freshen = false;
  bool keepTime = false, verbose = false;
  int level = 6;
  int aes = 0;                 // with encrypt: 0 traditional, 1..3 AES-128/192/256
  bool changePassword = false; // encrypt every entry again with newPassword
  std::string newPassword;
  // Answers the callback; default 0. Sees the record (may write into text).
  std::function<int32_t(dll::EngineCallbackData&)> answer;
};

struct RunResult {
  int result = 0;
  std::vector<Event> events;
  bool HasMessageCode(int code) const {
    for (const auto& e : events)
      if (e.action == dll::kActionMessage && e.code == code) return true;
    return false;
  }
  std::string Messages() const {
    std::string s;
    for (const auto& e : events)
      if (e.action == dll::kActionMessage) s += std::to_string(e.code) + ": " + e.text + "\n";
    return s;
  }
  int Count(int action) const {
    int n = 0;
    for (const auto& e : events) n += e.action == action;
    return n;
  }
};

class ZipLib {
 public:
  static ZipLib& Get() {
    static ZipLib lib;
    return lib;
  }
  dll::ZipDllExecFn exec = nullptr;
  dll::DllVersionFn version = nullptr;

 private:
  ZipLib() {
    void* h = dlopen(ARKELIN_BIN_DIR "/libzipdll.so", RTLD_NOW | RTLD_LOCAL);
    if (!h) return;
    exec = reinterpret_cast<dll::ZipDllExecFn>(dlsym(h, "ZipDllExec"));
    version = reinterpret_cast<dll::DllVersionFn>(dlsym(h, "GetZipDllVersion"));
  }
};

struct CallbackContext {
  ZipOptions* options;
  RunResult* result;
};

inline int32_t RecordingCallback(dll::EngineCallbackData* d) {
  auto* ctx = static_cast<CallbackContext*>(d->caller);
  ctx->result->events.push_back({d->actionCode, d->errorCode, d->fileSize, std::string(d->text, strnlen(d->text, 512))});
  return ctx->options->answer ? ctx->options->answer(*d) : 0;
}

// Runs one command through the library the way the component fills it.
inline RunResult RunZip(ZipOptions o) {
  RunResult r;
  CallbackContext ctx{&o, &r};
  auto flag = [](bool b) { return b ? -1 : 0; };
  dll::ZipCommandLong rec;
  std::memset(&rec, 0, sizeof rec);
  auto& h = rec.head;
  h.caller = &ctx;
  h.version = dll::kZipRecordVersion;
  h.callback = &RecordingCallback;
  h.password = o.password.c_str();
  h.encrypt = flag(o.encrypt);
  h.systemFiles = flag(o.hidden);
  h.noDirEntries = flag(!o.dirEntries);
  h.verbose = flag(o.verbose);
  h.minusOne56 = -1;
  h.level = o.level;
  h.junkDirNames = flag(!o.dirNames);
  h.recurse = static_cast<int16_t>(o.recurse ? 0xFFFF : 0);
  h.addFlag = o.remove ? 0 : -1;
  h.forceDos = flag(o.forceDos);
  h.move = flag(o.move);
  h.deleteEntries = flag(o.remove);
  h.update = flag(o.update);
  h.freshen = flag(o.freshen);
  h.keepArchiveTime = flag(o.keepTime);
  h.aesStrength = o.aes;
  h.argc = static_cast<int32_t>(o.specs.size());
  h.archiveName = o.archive.c_str();
  std::vector<dll::ZipFileSpec> specs(o.specs.size());
  for (size_t i = 0; i < specs.size(); ++i) {
    std::memset(&specs[i], 0, sizeof specs[i]);
    specs[i].fileSpec = o.specs[i].c_str();
  }
  rec.fileSpecs = specs.data();
  rec.newPassword = o.newPassword.c_str();
  rec.changePassword = flag(o.changePassword);
  rec.seven = dll::kSeven;
  r.result = ZipLib::Get().exec(&rec.head);
  return r;
}

inline void WriteFile(const std::string& path, const std::string& data) {
  fs::create_directories(fs::path(path).parent_path().empty() ? fs::path(".") : fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << data;
}

inline std::string RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 g(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(g());
  return s;
}

// Text that deflates well but not trivially.
inline std::string Prose(size_t n, uint32_t seed) {
  static const char* words[] = {"archive ", "entry ", "folder ", "deflate ", "header ", "central ",
                                "directory ", "the ", "of ", "and ", "\n", "1234 ", "zip "};
  std::mt19937 g(seed);
  std::string s;
  while (s.size() < n) s += words[g() % 13];
  s.resize(n);
  return s;
}

// Exit status of a shell command (output discarded).
inline int Shell(const std::string& cmd) {
  const int rc = std::system((cmd + " >/dev/null 2>&1").c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// Standard output of a shell command.
inline std::string Capture(const std::string& cmd) { return RunShell(cmd + " 2>/dev/null").out; }

inline bool HaveTool(const char* name) { return Shell(std::string("command -v ") + name) == 0; }

// Runs a Python snippet with Debian's interpreter (which has zipfile);
// arguments follow as sys.argv[1:].
inline std::string Python(const std::string& code, const std::string& args = "") {
  const std::string script = "pyscript.py";
  WriteFile(script, code);
  return Capture("/usr/bin/python3 " + script + " " + args);
}

// Lines "name<TAB>sha256 of the raw stored bytes from the local header to
// the end of the data" for every entry, from Python's reading of offsets.
inline std::string RawEntryDigests(const std::string& archive) {
  return Python(R"(import sys, zipfile, hashlib, struct
z = zipfile.ZipFile(sys.argv[1])
f = open(sys.argv[1], 'rb')
for i in z.infolist():
    f.seek(i.header_offset)
    h = f.read(30)
    n, e = struct.unpack('<HH', h[26:30])
    f.seek(i.header_offset)
    raw = f.read(30 + n + e + i.compress_size)
    print(i.filename + '\t' + hashlib.sha256(raw).hexdigest())
)",
                "'" + archive + "'");
}

// Every entry's content as "name<TAB>sha256" from Python's zipfile (with a
// password when given), one per line, sorted.
inline std::string PythonContents(const std::string& archive, const std::string& password = "") {
  return Python(R"(import sys, zipfile, hashlib
z = zipfile.ZipFile(sys.argv[1])
if len(sys.argv) > 2: z.setpassword(sys.argv[2].encode())
bad = z.testzip()
if bad: print('BAD', bad)
for n in sorted(z.namelist()):
    print(n + '\t' + hashlib.sha256(z.read(n)).hexdigest())
)",
                "'" + archive + "'" + (password.empty() ? "" : " '" + password + "'"));
}

inline std::string Sha256(const std::string& data) {
  WriteFile("sha.bin", data);
  std::string out = Capture("sha256sum sha.bin");
  fs::remove("sha.bin");
  return out.substr(0, 64);
}

// Each test runs in a fresh folder that is removed afterwards.
class ZipDllTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = fs::current_path();
    char tmpl[] = "/tmp/zipdll-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    fs::current_path(dir_);
    ASSERT_NE(ZipLib::Get().exec, nullptr) << "libzipdll.so not loadable from " ARKELIN_BIN_DIR;
  }
  void TearDown() override {
    fs::current_path(saved_);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  // Files in the working folder whose names start like our temporary files.
  static int TempFilesIn(const std::string& folder) {
    int n = 0;
    for (const auto& e : fs::directory_iterator(folder))
      if (e.path().filename().string().rfind(".arkzip-", 0) == 0) ++n;
    return n;
  }
  fs::path saved_;
  std::string dir_;
};

// A TZipMaster on the built libraries, unattended, with its messages kept
// ("code text" a line) and the errors among them counted.
class ZipMasterTest : public ZipDllTest {
 protected:
  void SetUp() override {
    ZipDllTest::SetUp();
    zm_.Unattended = true;
    zm_.SetDLLDirectory(ARKELIN_BIN_DIR);
    zm_.OnMessage = [this](arkelin::engine::zip::TZipMaster&, int code, const std::string& m) {
      messages_ += std::to_string(code) + " " + m + "\n";
      if (code > 0) ++errors_;
    };
  }
  arkelin::platform::FakePlatformScope platform_;
  arkelin::engine::zip::TZipMaster zm_;
  std::string messages_;
  int errors_ = 0;
};

}  // namespace ziptest
