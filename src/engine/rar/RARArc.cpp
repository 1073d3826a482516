// TRAR: binding the UnRAR-compatible library and walking an archive header by
// header with it. See RARArc.h.
#include "engine/rar/RARArc.h"

#include <dlfcn.h>

#include <cstring>
#include <filesystem>
#include <strings.h>

#include "platform/Paths.h"

namespace arkelin::engine::rar {

namespace {
constexpr unsigned int kCommentBufferSize = 65536;
TRAR* g_current = nullptr;  // the instance whose operation is running
}  // namespace

bool NoCaseLess::operator()(const std::string& a, const std::string& b) const {
  return strcasecmp(a.c_str(), b.c_str()) < 0;
}

struct TRAR::Api {
  RAROpenArchiveFn open = nullptr;
  RAROpenArchiveExFn openEx = nullptr;
  RARCloseArchiveFn close = nullptr;
  RARReadHeaderFn readHeader = nullptr;
  RARReadHeaderExFn readHeaderEx = nullptr;
  RARProcessFileFn processFile = nullptr;
  RARSetChangeVolProcFn setChangeVolProc = nullptr;
  RARSetProcessDataProcFn setProcessDataProc = nullptr;
  RARSetPasswordFn setPassword = nullptr;
};

TRAR::TRAR() {
  std::vector<std::string> candidates = {"libunrar.so", "libunrar.so.7", "libunrar.so.6", "libunrar.so.5"};
  std::string own = (std::filesystem::path(platform::ExecutableFolder()) / "libarkunrar.so").string();
  candidates.push_back(own);
  for (const auto& c : candidates) {
    Bind(c);
    if (loaded_) return;
  }
}

TRAR::TRAR(const std::string& libraryPath) { Bind(libraryPath); }

TRAR::~TRAR() {
  if (g_current == this) g_current = nullptr;
  delete api_;
  if (handle_) dlclose(handle_);
}

void TRAR::Bind(const std::string& path) {
  delete api_;
  api_ = nullptr;
  loaded_ = false;
  if (handle_) dlclose(handle_);
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) return;
  auto* a = new Api;
  auto sym = [&](const char* name) { return dlsym(handle_, name); };
  a->open = reinterpret_cast<RAROpenArchiveFn>(sym("RAROpenArchive"));
  a->openEx = reinterpret_cast<RAROpenArchiveExFn>(sym("RAROpenArchiveEx"));
  a->close = reinterpret_cast<RARCloseArchiveFn>(sym("RARCloseArchive"));
  a->readHeader = reinterpret_cast<RARReadHeaderFn>(sym("RARReadHeader"));
  a->readHeaderEx = reinterpret_cast<RARReadHeaderExFn>(sym("RARReadHeaderEx"));
  a->processFile = reinterpret_cast<RARProcessFileFn>(sym("RARProcessFile"));
  a->setChangeVolProc = reinterpret_cast<RARSetChangeVolProcFn>(sym("RARSetChangeVolProc"));
  a->setProcessDataProc = reinterpret_cast<RARSetProcessDataProcFn>(sym("RARSetProcessDataProc"));
  a->setPassword = reinterpret_cast<RARSetPasswordFn>(sym("RARSetPassword"));
  api_ = a;
  loaded_ = a->open && a->close && a->readHeader && a->processFile && a->setChangeVolProc &&
            a->setProcessDataProc && a->setPassword;
  if (loaded_) {
    libraryPath_ = path;
  } else {
    delete api_;
    api_ = nullptr;
    dlclose(handle_);
    handle_ = nullptr;
  }
}

void TRAR::FireError(int code) {
  if (OnError) OnError(*this, code);
}

int TRAR::ChangeVolTrampoline(char* arcName, int mode) noexcept {
  TRAR* self = g_current;
  if (!self || !self->OnVolumeChange) return 1;
  try {
    return self->OnVolumeChange(*self, arcName, mode);
  } catch (...) {
    return 0;
  }
}

int TRAR::ProcessDataTrampoline(unsigned char* addr, int size) noexcept {
  TRAR* self = g_current;
  if (!self) return 1;
  self->dataPosition_ += size;
  if (!self->OnProcessData) return 1;
  try {
    return self->OnProcessData(*self, addr, size, self->dataPosition_);
  } catch (...) {
    return 0;
  }
}

RarHandle TRAR::Open(unsigned int mode, std::vector<char>& cmt, int& result, unsigned int& cmtState,
                     unsigned int& cmtSize) {
  cmt.assign(kCommentBufferSize, 0);
  std::string name = ArchiveName;
  RarHandle h = nullptr;
  if (api_->openEx) {
    RAROpenArchiveDataEx d;
    std::memset(&d, 0, sizeof d);
    d.ArcName = name.data();
    d.OpenMode = mode;
    d.CmtBuf = cmt.data();
    d.CmtBufSize = kCommentBufferSize - 1;
    h = api_->openEx(&d);
    result = static_cast<int>(d.OpenResult);
    cmtState = d.CmtState;
    cmtSize = d.CmtSize;
  } else {
    RAROpenArchiveData d;
    std::memset(&d, 0, sizeof d);
    d.ArcName = name.data();
    d.OpenMode = mode;
    d.CmtBuf = cmt.data();
    d.CmtBufSize = kCommentBufferSize - 1;
    h = api_->open(&d);
    result = static_cast<int>(d.OpenResult);
    cmtState = d.CmtState;
    cmtSize = d.CmtSize;
  }
  if (!h && result == 0) result = ERAR_EOPEN;  // a library that gives no handle but no reason
  if (cmtSize > kCommentBufferSize - 1) cmtSize = kCommentBufferSize - 1;
  return h;
}

int TRAR::ReadHeader(RarHandle h, RARHeaderDataEx& hd) {
  std::memset(&hd, 0, sizeof hd);
  if (api_->readHeaderEx) return api_->readHeaderEx(h, &hd);
  RARHeaderData old;
  std::memset(&old, 0, sizeof old);
  int r = api_->readHeader(h, &old);
  std::memcpy(hd.ArcName, old.ArcName, sizeof old.ArcName);
  std::memcpy(hd.FileName, old.FileName, sizeof old.FileName);
  hd.ArcName[sizeof old.ArcName - 1] = 0;
  hd.FileName[sizeof old.FileName - 1] = 0;
  hd.Flags = old.Flags;
  hd.PackSize = old.PackSize;
  hd.UnpSize = old.UnpSize;
  hd.HostOS = old.HostOS;
  hd.FileCRC = old.FileCRC;
  hd.FileTime = old.FileTime;
  hd.UnpVer = old.UnpVer;
  hd.Method = old.Method;
  hd.FileAttr = old.FileAttr;
  hd.CmtState = old.CmtState;
  return r;
}

void TRAR::ListFiles() {
  if (!loaded_) {
    FireError(kNoLibrary);
    return;
  }
  g_current = this;
  std::vector<char> cmt;
  int result = 0;
  unsigned int cmtState = 0, cmtSize = 0;
  RarHandle h = Open(RAR_OM_LIST, cmt, result, cmtState, cmtSize);
  if (result != 0 || !h) {
    FireError(result);
    if (h) api_->close(h);
    g_current = nullptr;
    return;
  }
  if (cmtState == 1 && OnComment) OnComment(*this, TComment{cmtSize, std::string(cmt.data(), strnlen(cmt.data(), cmtSize))});
  if (OnVolumeChange) api_->setChangeVolProc(h, &TRAR::ChangeVolTrampoline);
  RARHeaderDataEx hd;
  int r = ReadHeader(h, hd);
  while (r == 0) {
    if (OnListFile) OnListFile(*this, hd);
    if (Stop) {
      Stop = false;
      api_->close(h);
      g_current = nullptr;
      return;
    }
    int p = api_->processFile(h, RAR_SKIP, nullptr, nullptr);
    if (p != 0) {
      FireError(p);
      break;
    }
    r = ReadHeader(h, hd);
  }
  if (r != 0 && r != ERAR_END_ARCHIVE) FireError(r);
  api_->close(h);
  g_current = nullptr;
}

bool TRAR::ExtractFiles() { return Process(true); }
bool TRAR::TestFiles() { return Process(false); }

// Extraction and testing share one walk; they differ in the list consulted,
// the events, the operation and whether a folder and data callback are used.
bool TRAR::Process(bool extract) {
  if (!loaded_) {
    FireError(kNoLibrary);
    return false;
  }
  if (ArchiveName.empty()) {
    FireError(ERAR_BAD_ARCHIVE);
    return false;
  }
  bool answer = true;
  const auto& wanted = extract ? FilesToExtract : FilesToTest;
  g_current = this;
  std::vector<char> cmt;
  int result = 0;
  unsigned int cmtState = 0, cmtSize = 0;
  RarHandle h = Open(RAR_OM_EXTRACT, cmt, result, cmtState, cmtSize);
  if (result != 0 || !h) {
    if (h) api_->close(h);
    FireError(result);
    g_current = nullptr;
    return false;
  }
  std::string dest = TargetDir;
  char* destPath = (extract && !dest.empty()) ? dest.data() : nullptr;
  if (cmtState == 1 && OnComment) OnComment(*this, TComment{cmtSize, std::string(cmt.data(), strnlen(cmt.data(), cmtSize))});
  if (OnVolumeChange) api_->setChangeVolProc(h, &TRAR::ChangeVolTrampoline);
  if (extract && OnProcessData) api_->setProcessDataProc(h, &TRAR::ProcessDataTrampoline);

  // Testing opens in extract mode too: in list mode every operation is a skip.
  RARHeaderDataEx hd;
  int r = ReadHeader(h, hd);
  while (r == 0) {
    std::string name(hd.FileName, strnlen(hd.FileName, sizeof hd.FileName));
    if (Stop) {
      Stop = false;
      break;
    }
    if (!wanted.empty() && wanted.find(name) == wanted.end()) {
      int p = api_->processFile(h, RAR_SKIP, destPath, nullptr);
      if (p != 0) {
        FireError(p);
        answer = false;
        break;
      }
      r = ReadHeader(h, hd);
      continue;
    }
    if (extract && OnExtracting) OnExtracting(*this, hd);
    if (!extract && OnTesting) OnTesting(*this, hd);
    dataPosition_ = 0;
    if ((hd.Flags & RHDF_ENCRYPTED) && OnReqPassword) {
      std::string password;
      OnReqPassword(*this, hd, password);
      if (!password.empty()) api_->setPassword(h, password.data());
    }
    int p = api_->processFile(h, extract ? RAR_EXTRACT : RAR_TEST, destPath, nullptr);
    if (extract && OnExtract) OnExtract(*this, hd, p == 0);
    if (!extract && OnTested) OnTested(*this, hd, p == 0);
    if (p != 0) {
      answer = false;
      FireError(p);
      // Bad data, a file that could not be made and a missing or wrong
      // password concern one entry only; the next entries still go.
      if (p != ERAR_ECREATE && p != ERAR_BAD_DATA && p != ERAR_MISSING_PASSWORD && p != ERAR_BAD_PASSWORD &&
          p != kUnsupported) break;
    }
    r = ReadHeader(h, hd);
  }
  if (r != 0 && r != ERAR_END_ARCHIVE) {
    FireError(r);
    answer = false;
  }
  api_->close(h);
  g_current = nullptr;
  return answer;
}

std::string TRAR::ErrorText(int code) {
  switch (code) {
    case 10: return "End of archive";
    case 11: return "Not enough memory to initialize data structures";
    case 12: return "CRC error, data damaged";
    case 13: return "File is not valid RAR archive";
    case 14: return "Unknown comment format";
    case 15: return "File open error";
    case 16: return "File create error";
    case 17: return "File close error";
    case 18: return "Read error";
    case 19: return "Write error";
    case 20: return "Buffer is too small for comment";
    case 21: return "Unknown error in the RAR library";
    case 22: return "Password needed: the entry is encrypted and no password was given";
    case 23: return "The file this entry refers to was not found";
    case 24: return "Wrong password";
    case 50: return "UNRAR.dll not found";
    case 25: return "The entry needs more memory to decode than this program allows";
    case kUnsupported:
      return "This entry uses a RAR feature that is not supported (an unknown compression version, cipher or kind "
             "of entry)";
    default: return "Unknown error";
  }
}

}  // namespace arkelin::engine::rar
