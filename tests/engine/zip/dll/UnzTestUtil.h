// Helpers for the libunzdll tests: the library loaded with dlopen from the
// build's bin folder and driven with real long-layout command records, a
// callback that records every event and answers questions from a script,
// a temporary folder per test, and shell access to the peer tools.
#pragma once

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/zip/ZipCommands_p.h"
#include "TestFiles.h"

namespace unztest {

namespace fs = std::filesystem;
using namespace arkelin::engine::zip::dll;

struct Event {
  int action;
  int error;
  int64_t size;
  std::string text;
};

// The library, loaded once for the whole test program.
struct Library {
  void* handle = nullptr;
  UnzDllExecFn exec = nullptr;
  DllVersionFn version = nullptr;
  static Library& Get() {
    static Library lib;
    if (!lib.handle) {
      lib.handle = dlopen((std::string(ARKELIN_BIN_DIR) + "/libunzdll.so").c_str(), RTLD_NOW | RTLD_LOCAL);
      if (lib.handle) {
        lib.exec = reinterpret_cast<UnzDllExecFn>(dlsym(lib.handle, "UnzDllExec"));
        lib.version = reinterpret_cast<DllVersionFn>(dlsym(lib.handle, "GetUnzDllVersion"));
      }
    }
    return lib;
  }
};

// One call of UnzDllExec with its options, the recorded events and the
// scripted answers.
struct Call {
  std::string archive;
  std::string password;
  std::vector<std::string> specs;
  bool test = false, update = false, freshen = false, dirNames = true, overwrite = false;
  int32_t codePage = 0;                    // the record's code page field
  int overwriteAnswer = 0;                 // action 7
  std::vector<std::string> passwordAnswers;  // action 8, one per question; then 0
  std::function<int(const Event&)> stopWhen;  // nonzero answer stops the run
  std::vector<Event> events;
  size_t passwordsGiven = 0;

  int32_t Run() {
    Library& lib = Library::Get();
    if (!lib.exec) return -1000;
    UnzipCommandLong rec;
    std::memset(&rec, 0, sizeof rec);
    UnzipCommandHead& h = rec.head;
    h.caller = this;
    h.version = kUnzipRecordVersion;
    h.callback = &Callback;
    h.password = password.c_str();
    h.test = test ? -1 : 0;
    h.codePage = codePage;
    h.minusOne40 = -1;
    h.update = update ? -1 : 0;
    h.freshen = freshen ? -1 : 0;
    h.dirNames = dirNames ? -1 : 0;
    h.overwrite = overwrite ? -1 : 0;
    h.argc = static_cast<int32_t>(specs.size());
    h.archiveName = archive.c_str();
    std::vector<UnzipFileSpec> fs(specs.size());
    for (size_t i = 0; i < specs.size(); ++i) {
      std::memset(&fs[i], 0, sizeof fs[i]);
      fs[i].fileSpec = specs[i].c_str();
    }
    rec.fileSpecs = fs.empty() ? nullptr : fs.data();
    rec.seven = kSeven;
    return lib.exec(&h);
  }

  static int32_t Callback(EngineCallbackData* d) {
    auto* self = static_cast<Call*>(d->caller);
    Event e{d->actionCode, d->errorCode, d->fileSize, std::string(d->text, strnlen(d->text, sizeof d->text))};
    self->events.push_back(e);
    if (d->actionCode == kActionOverwrite) return self->overwriteAnswer;
    if (d->actionCode == kActionPassword) {
      if (self->passwordsGiven >= self->passwordAnswers.size()) return 0;
      const std::string& pw = self->passwordAnswers[self->passwordsGiven++];
      std::snprintf(d->text, sizeof d->text, "%s", pw.c_str());
      return 1;
    }
    return self->stopWhen ? self->stopWhen(e) : 0;
  }

  std::vector<Event> Of(int action) const {
    std::vector<Event> r;
    for (const auto& e : events)
      if (e.action == action) r.push_back(e);
    return r;
  }
  // Messages with a nonzero code.
  std::vector<std::string> Errors() const {
    std::vector<std::string> r;
    for (const auto& e : events)
      if (e.action == kActionMessage && e.error > 1) r.push_back(e.text);
    return r;
  }
  bool HasError(const std::string& part) const {
    for (const auto& t : Errors())
      if (t.find(part) != std::string::npos) return true;
    return false;
  }
  std::string AllErrors() const {
    std::string s;
    for (const auto& t : Errors()) s += t + "\n";
    return s;
  }
};

// A temporary folder made the current folder for the test (the library
// extracts relative to it); the previous folder comes back afterwards.
class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    path_ = fs::temp_directory_path() / ("unzdll-test-" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(path_ / "out");
    saved_ = fs::current_path();
    fs::current_path(path_ / "out");
  }
  ~TempDir() {
    std::error_code ec;
    fs::current_path(saved_, ec);
    fs::remove_all(path_, ec);
  }
  fs::path operator/(const std::string& s) const { return path_ / s; }
  const fs::path& Path() const { return path_; }
  fs::path Out() const { return path_ / "out"; }
  // Empties out/ but keeps the folder itself, which is the current folder.
  void ClearOut() const {
    for (const auto& e : fs::directory_iterator(Out())) fs::remove_all(e.path());
  }

 private:
  fs::path path_, saved_;
};

inline std::string Q(const fs::path& p) {
  std::string s = p.string(), r = "'";
  for (char c : s) {
    if (c == '\'') r += "'\\''";
    else r += c;
  }
  return r + "'";
}

inline int Sh(const std::string& cmd) {
  const int r = std::system((cmd + " >/dev/null 2>&1").c_str());
  return WIFEXITED(r) ? WEXITSTATUS(r) : -1;
}

// Runs a Python script with Debian's interpreter (which has zipfile, lzma, bz2).
inline int Py(const fs::path& dir, const std::string& script) {
  const fs::path f = dir / "gen.py";
  std::ofstream(f) << script;
  return Sh("/usr/bin/python3 " + Q(f));
}

inline void WriteFile(const fs::path& p, const std::string& data) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << data;
}

// Relative path -> contents of every regular file below `root` (links
// listed with "->" and their text).
inline std::map<std::string, std::string> Tree(const fs::path& root) {
  std::map<std::string, std::string> m;
  if (!fs::exists(root)) return m;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const auto rel = fs::relative(it->path(), root).string();
    if (it->is_symlink()) m[rel] = "->" + fs::read_symlink(it->path()).string();
    else if (it->is_regular_file()) m[rel] = ReadAll(it->path());
  }
  return m;
}

// A mixed tree of test files: text, binary noise, an empty file, a file in
// a nested folder, a name with spaces and a non-ASCII name.
inline void MakeSourceTree(const fs::path& root, size_t bigSize = 300000) {
  std::mt19937 rng(7);
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i) + " of some compressible text\n";
  std::string noise(bigSize, '\0');
  for (auto& c : noise) c = static_cast<char>(rng());
  WriteFile(root / "text.txt", text);
  WriteFile(root / "noise.bin", noise);
  WriteFile(root / "empty.dat", "");
  WriteFile(root / "sub/deeper/inner.txt", text.substr(0, 5000));
  WriteFile(root / "sub/with space.txt", "spaced\n");
  WriteFile(root / "sub/gr\xC3\xBC\xC3\x9F" "e.txt", "non-ascii name\n");
}

}  // namespace unztest
