// A recording stand-in for the two engine libraries, for the binding tests.
// It writes every field of the command record it receives to the file named
// by RECDLL_OUT (key=value lines), reports the version in RECDLL_VERSION
// (default 150, an old library that takes the short layouts), and plays the
// callback script named by RECDLL_SCRIPT: "progress", "cancel", "ask", or
// nothing. The result is the number of specifications (or of callbacks made,
// for "cancel").
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "engine/zip/ZipCommands_p.h"

using namespace arkelin::engine::zip::dll;

namespace {

int Version() {
  const char* v = std::getenv("RECDLL_VERSION");
  return v ? std::atoi(v) : 150;
}

std::string Script() {
  const char* s = std::getenv("RECDLL_SCRIPT");
  return s ? s : "";
}

struct Out {
  FILE* f = nullptr;
  Out() {
    const char* p = std::getenv("RECDLL_OUT");
    if (p) f = std::fopen(p, "a");
  }
  ~Out() {
    if (f) std::fclose(f);
  }
  void Int(const char* k, long long v) {
    if (f) std::fprintf(f, "%s=%lld\n", k, v);
  }
  void Str(const char* k, const char* v) {
    if (f) std::fprintf(f, "%s=%s\n", k, v ? v : "(null)");
  }
};

bool AllZero(const void* p, size_t n) {
  const auto* b = static_cast<const unsigned char*>(p);
  for (size_t i = 0; i < n; ++i)
    if (b[i]) return false;
  return true;
}

int Call(EngineCallbackFn cb, void* caller, int action, int error, int64_t size, const char* text) {
  EngineCallbackData d;
  std::memset(&d, 0, sizeof d);
  d.caller = caller;
  d.actionCode = action;
  d.errorCode = error;
  d.fileSize = size;
  if (text) std::strncpy(d.text, text, sizeof d.text - 1);
  return cb(&d);
}

int PlayScript(EngineCallbackFn cb, void* caller, int argc, Out& out) {
  const std::string s = Script();
  if (s == "progress") {
    Call(cb, caller, kActionTotalFiles, 0, 2, nullptr);
    Call(cb, caller, kActionTotalSize, 0, 3000000000LL, nullptr);
    Call(cb, caller, kActionNewFile, 0, 10, "dir/a.txt");
    Call(cb, caller, kActionUpdate, 0, 10, nullptr);
    Call(cb, caller, kActionMessage, 0, 0, "plain note \t\r\n");
    Call(cb, caller, kActionMessage, 0x1234, 0, "bad CRC in dir/b.txt");
    Call(cb, caller, kActionEndOfBatch, 0, 0, nullptr);
    return argc;
  }
  if (s == "cancel") {
    int calls = 0;
    while (calls < 1000) {
      ++calls;
      if (Call(cb, caller, kActionUpdate, 0, 65536, nullptr) != 0) break;
    }
    out.Int("callbacks", calls);
    return calls;
  }
  if (s == "ask") {
    EngineCallbackData d;
    std::memset(&d, 0, sizeof d);
    d.caller = caller;
    d.actionCode = kActionOverwrite;
    std::strcpy(d.text, "dir/x.txt");
    out.Int("overwrite", cb(&d));
    std::memset(&d, 0, sizeof d);
    d.caller = caller;
    d.actionCode = kActionPassword;
    std::strcpy(d.text, "y.txt");
    out.Int("passwordAnswer", cb(&d));
    out.Str("passwordText", d.text);
    return argc;
  }
  return argc;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int32_t GetZipDllVersion() { return Version(); }
__attribute__((visibility("default"))) int32_t GetUnzDllVersion() { return Version(); }

__attribute__((visibility("default"))) int32_t ZipDllExec(ZipCommandHead* h) {
  Out out;
  out.Str("op", "zip");
  out.Int("handle", h->handle != nullptr);
  out.Int("version", h->version);
  out.Int("callback", h->callback != nullptr);
  out.Int("trace", h->traceEnabled);
  out.Str("password", h->password);
  out.Int("encrypt", h->encrypt);
  out.Int("aesStrength", h->aesStrength);
  out.Int("systemFiles", h->systemFiles);
  out.Int("noDirEntries", h->noDirEntries);
  out.Int("verbose", h->verbose);
  out.Int("minusOne", h->minusOne56);
  out.Int("level", h->level);
  out.Int("junkDirNames", h->junkDirNames);
  out.Int("recurse", static_cast<uint16_t>(h->recurse));
  out.Int("addFlag", h->addFlag);
  out.Int("forceDos", h->forceDos);
  out.Int("move", h->move);
  out.Int("delete", h->deleteEntries);
  out.Int("update", h->update);
  out.Int("freshen", h->freshen);
  out.Int("keepTime", h->keepArchiveTime);
  out.Int("argc", h->argc);
  out.Str("archive", h->archiveName);
  out.Int("codePage", h->codePage);
  out.Int("exactNames", h->exactNames);
  out.Int("reservedZero", h->reserved24 == 0 && h->reserved48 == 0 &&
                              h->reserved64 == 0 && h->reserved78 == 0 &&
                              h->reserved104 == 0 && h->reserved112 == 0 && h->reserved116 == 0);
  if (Version() < kFirstLongZipVersion) {
    auto* r = reinterpret_cast<ZipCommandShort*>(h);
    out.Str("layout", "short");
    out.Int("seven", r->seven);
    for (int i = 0; i < h->argc && i < kShortLayoutSpecRoom; ++i) out.Str(("spec" + std::to_string(i)).c_str(), r->fileSpecs[i]);
    out.Int("tailZero", AllZero(r->fileSpecs + h->argc, sizeof(r->fileSpecs) - h->argc * sizeof(char*)));
  } else {
    auto* r = reinterpret_cast<ZipCommandLong*>(h);
    out.Str("layout", "long");
    out.Int("seven", r->seven);
    out.Str("tempDir", r->tempDir);
    for (int i = 0; i < h->argc; ++i) {
      out.Str(("spec" + std::to_string(i)).c_str(), r->fileSpecs[i].fileSpec);
      out.Int(("specZero" + std::to_string(i)).c_str(), AllZero(r->fileSpecs[i].reserved, 100));
    }
    out.Int("changePassword", r->changePassword);
    if (r->newPassword) out.Str("newPassword", r->newPassword);
    out.Int("tailZero", AllZero(r->reserved156, sizeof r->reserved156));
  }
  return PlayScript(h->callback, h->caller, h->argc, out);
}

__attribute__((visibility("default"))) int32_t UnzDllExec(UnzipCommandHead* h) {
  Out out;
  out.Str("op", "unzip");
  out.Int("handle", h->handle != nullptr);
  out.Int("version", h->version);
  out.Int("trace", h->traceEnabled);
  out.Str("password", h->password);
  out.Int("test", h->test);
  out.Int("minusOne", h->minusOne40);
  out.Int("verbose", h->verbose);
  out.Int("update", h->update);
  out.Int("freshen", h->freshen);
  out.Int("dirNames", h->dirNames);
  out.Int("overwrite", h->overwrite);
  out.Int("codePage", h->codePage);
  out.Int("exactNames", h->exactNames);
  out.Int("argc", h->argc);
  out.Str("archive", h->archiveName);
  out.Str("extractDir", h->extractDir);
  char cwd[4096];
  out.Str("cwd", getcwd(cwd, sizeof cwd));
  if (Version() < kFirstLongUnzipVersion) {
    auto* r = reinterpret_cast<UnzipCommandShort*>(h);
    out.Str("layout", "short");
    out.Int("seven", r->seven);
    for (int i = 0; i < h->argc && i < kShortLayoutSpecRoom; ++i) out.Str(("spec" + std::to_string(i)).c_str(), r->fileSpecs[i]);
  } else {
    auto* r = reinterpret_cast<UnzipCommandLong*>(h);
    out.Str("layout", "long");
    out.Int("seven", r->seven);
    for (int i = 0; i < h->argc; ++i) out.Str(("spec" + std::to_string(i)).c_str(), r->fileSpecs[i].fileSpec);
  }
  return PlayScript(h->callback, h->caller, h->argc, out);
}

}  // extern "C"
