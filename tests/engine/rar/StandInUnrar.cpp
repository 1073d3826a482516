// A scripted stand-in for an UnRAR-compatible library, for testing TRAR's
// walks without any RAR data. The "archive" always holds the same five
// entries; what each operation did is appended to a log the test reads back
// through StandInLog(). Built twice: complete, and without RARSetPassword
// (ARKELIN_STANDIN_INCOMPLETE) to stand for a library lacking a function.
#include <cstring>
#include <string>

#include "engine/rar/UnrarApi.h"

namespace {
struct Entry {
  const char* name;
  unsigned int flags;
  int result;  // what test/extract answers
};
const Entry kEntries[] = {
    {"a.txt", 0, 0},
    {"Dir\\B.TXT", 0, 0},
    {"bad.bin", 0, ERAR_BAD_DATA},
    {"secret.txt", RHDF_ENCRYPTED, 0},
    {"last.txt", 0, 0},
};
constexpr int kCount = 5;

struct Arc {
  int next = 0;
  std::string password;
  CHANGEVOLPROC vol = nullptr;
  PROCESSDATAPROC data = nullptr;
  bool listMode = false;
};
std::string g_log;
}  // namespace

extern "C" {

__attribute__((visibility("default"))) const char* StandInLog() { return g_log.c_str(); }
__attribute__((visibility("default"))) void StandInClearLog() { g_log.clear(); }

__attribute__((visibility("default"))) RarHandle RAROpenArchive(RAROpenArchiveData* d) {
  std::string name = d->ArcName ? d->ArcName : "";
  g_log += "open " + name + " mode " + std::to_string(d->OpenMode) + ";";
  if (name.find("missing") != std::string::npos) {
    d->OpenResult = ERAR_EOPEN;
    return nullptr;
  }
  d->OpenResult = 0;
  if (d->CmtBuf && d->CmtBufSize > 10) {
    std::strcpy(d->CmtBuf, "hello note");
    d->CmtSize = 10;
    d->CmtState = 1;
  }
  auto* a = new Arc;
  a->listMode = d->OpenMode == RAR_OM_LIST;
  return a;
}

__attribute__((visibility("default"))) int RARCloseArchive(RarHandle h) {
  g_log += "close;";
  delete static_cast<Arc*>(h);
  return 0;
}

__attribute__((visibility("default"))) int RARReadHeader(RarHandle h, RARHeaderData* hd) {
  auto* a = static_cast<Arc*>(h);
  if (a->next >= kCount) return ERAR_END_ARCHIVE;
  if (a->next == 3 && a->vol) {
    char vol[] = "part2.rar";
    if (a->vol(vol, RAR_VOL_NOTIFY) == 0) return ERAR_EOPEN;
  }
  const Entry& e = kEntries[a->next];
  std::strcpy(hd->FileName, e.name);
  std::strcpy(hd->ArcName, "x.rar");
  hd->Flags = e.flags;
  hd->UnpSize = 6;
  return 0;
}

__attribute__((visibility("default"))) int RARProcessFile(RarHandle h, int op, char* destPath, char* destName) {
  (void)destName;
  auto* a = static_cast<Arc*>(h);
  const Entry& e = kEntries[a->next++];
  if (a->listMode) op = RAR_SKIP;
  g_log += std::string(op == RAR_SKIP ? "skip " : op == RAR_TEST ? "test " : "extract ") + e.name;
  if (destPath) g_log += std::string(" to ") + destPath;
  g_log += ";";
  if (op == RAR_SKIP) return 0;
  if ((e.flags & RHDF_ENCRYPTED) && a->password != "pw") return a->password.empty() ? ERAR_MISSING_PASSWORD : ERAR_BAD_PASSWORD;
  if (a->data) {
    unsigned char block[3] = {'a', 'b', 'c'};
    if (a->data(block, 3) == 0 || a->data(block, 3) == 0) return ERAR_UNKNOWN;
  }
  return e.result;
}

__attribute__((visibility("default"))) void RARSetChangeVolProc(RarHandle h, CHANGEVOLPROC p) {
  static_cast<Arc*>(h)->vol = p;
}
__attribute__((visibility("default"))) void RARSetProcessDataProc(RarHandle h, PROCESSDATAPROC p) {
  static_cast<Arc*>(h)->data = p;
}
#ifndef ARKELIN_STANDIN_INCOMPLETE
__attribute__((visibility("default"))) void RARSetPassword(RarHandle h, char* pw) {
  static_cast<Arc*>(h)->password = pw ? pw : "";
  g_log += "password;";
}
#endif
}
