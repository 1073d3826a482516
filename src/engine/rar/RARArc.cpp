// TRAR: binding the UnRAR-compatible library, walking an archive header by
// header with it, and writing what it decodes. See RARArc.h.
#include "engine/rar/RARArc.h"

#include <dlfcn.h>

#include <cstring>
#include <filesystem>
#include <map>

#include "engine/common/DosTime.h"
#include "engine/common/EntryPath.h"
#include "engine/common/Wildcard.h"
#include "engine/rar/archive/DiskOutput.h"
#include "engine/rar/archive/RarCrypto.h"
#include "engine/rar/archive/RarNames.h"
#include "platform/Paths.h"
#include "platform/Platform.h"

namespace arkelin::engine::rar {

namespace {
constexpr unsigned int kCommentBufferSize = 65536;
constexpr size_t kRedirChars = 1024;
constexpr size_t kMaxLinkText = 4096;
constexpr int64_t kFiletimeToUnix = 11644473600LL;
TRAR* g_current = nullptr;  // the instance whose operation is running

void Wipe(std::string& s) {
  archive::WipeMemory(s.data(), s.size());
  s.clear();
}

// Names compare with "/" and "\" as the same separator.
std::string Normalized(std::string s) {
  for (char& c : s)
    if (c == '\\') c = '/';
  return s;
}

// What DiskOutput needs to know about an entry, from the library's record.
archive::RarEntry EntryFromHeader(const RARHeaderDataEx& h, const std::string& name) {
  archive::RarEntry e;
  e.name = name;
  e.hostOS = h.HostOS;
  e.attributes = h.FileAttr;
  e.isDirectory = (h.Flags & RHDF_DIRECTORY) != 0 ||
                  (h.HostOS == 3 ? (h.FileAttr & 0170000) == 0040000 : (h.HostOS <= 2 && (h.FileAttr & 0x10)));
  e.unpackedSize = (static_cast<uint64_t>(h.UnpSizeHigh) << 32) | h.UnpSize;
  const uint64_t ft = (static_cast<uint64_t>(h.MtimeHigh) << 32) | h.MtimeLow;
  if (ft) {
    e.mtime = {true, static_cast<int64_t>(ft / 10000000) - kFiletimeToUnix, static_cast<uint32_t>(ft % 10000000) * 100};
  } else {
    const int64_t t = common::DosToUnix(static_cast<uint16_t>(h.FileTime & 0xFFFF), static_cast<uint16_t>(h.FileTime >> 16));
    if (t >= 0) e.mtime = {true, t, 0};
  }
  if (h.RedirType >= 1 && h.RedirType <= 5) {
    e.redirection = static_cast<archive::Redirection>(h.RedirType);
    e.isDirectory = false;  // a link to a folder is still a link
    if (h.RedirName) e.redirTarget = archive::WideToUtf8(h.RedirName, kRedirChars);
  } else if (h.HostOS == 3 && (h.FileAttr & 0170000) == 0120000) {
    e.redirection = archive::Redirection::UnixSymlink;  // RAR 4: the text is the data
  }
  return e;
}

bool IsLink(const archive::RarEntry& e) { return e.redirection != archive::Redirection::None; }

// Codes that concern one entry only: the walk goes on with the next.
bool EntryOnly(int code) {
  return code == ERAR_ECREATE || code == ERAR_BAD_DATA || code == ERAR_MISSING_PASSWORD ||
         code == ERAR_BAD_PASSWORD || code == kUnsupported || code == ERAR_EREFERENCE || code == ERAR_LARGE_DICT;
}
}  // namespace

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

// The state of one operation, reached from the library's callbacks.
struct TRAR::Run {
  bool extract = false;
  archive::DiskOutput* out = nullptr;
  unpack::UnpackedSink* sink = nullptr;  // the file the entry's data goes to
  std::string* collect = nullptr;        // a RAR 4 link's text, read as its data
  bool writeFailed = false;
  bool inEntry = false;                   // the library is processing an entry
  bool entryAsked = false;                // OnReqPassword was asked for this entry
  const RARHeaderDataEx* header = nullptr;
  std::string headerPassword;             // the password of the encrypted headers
  bool headerPasswordGood = false;        // headers were read with it
  std::string pendingHeader;              // to give the library at its next request
  ~Run() {
    Wipe(headerPassword);
    Wipe(pendingHeader);
  }
};

TRAR::TRAR() {
  std::vector<std::string> candidates = {"libunrar.so", "libunrar.so.7", "libunrar.so.6", "libunrar.so.5"};
  std::string own = (std::filesystem::path(platform::ProgramFileFolder("libarkunrar.so")) / "libarkunrar.so").string();
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

void TRAR::FireError(int code, const std::string& detail) {
  errorDetail_ = detail;
  if (OnError) OnError(*this, code);
  errorDetail_.clear();
}

std::string TRAR::ErrorMessage(int code) const {
  const std::string text = ErrorText(code);
  return errorDetail_.empty() ? text : text + ": " + errorDetail_;
}

std::string TRAR::EntryName(const RARHeaderDataEx& h) {
  const size_t wide = wcsnlen(h.FileNameW, sizeof h.FileNameW / sizeof h.FileNameW[0]);
  if (wide > 0) return archive::WideToUtf8(h.FileNameW, wide);
  return std::string(h.FileName, strnlen(h.FileName, sizeof h.FileName));
}

bool TRAR::Selected(const std::string& name, bool extract) const {
  const auto& files = extract ? FilesToExtract : FilesToTest;
  const auto& specs = extract ? SpecsToExtract : SpecsToTest;
  if (files.empty() && specs.empty()) return true;
  for (const auto& f : files)
    if (common::SameEntryName(f, name)) return true;
  const std::string n = Normalized(name);
  for (const auto& s : specs)
    if (common::WildcardMatch(Normalized(s), n)) return true;
  return false;
}

// The library's data, on its way to the file being written (or to the
// collected link text) and to OnProcessData.
int TRAR::OnData(const unsigned char* addr, size_t size) {
  dataPosition_ += static_cast<long long>(size);
  if (run_) {
    if (run_->collect) {
      if (run_->collect->size() + size > kMaxLinkText) return 0;
      run_->collect->append(reinterpret_cast<const char*>(addr), size);
    }
    if (run_->sink && !run_->sink->Write(addr, size)) {
      run_->writeFailed = true;
      return 0;
    }
  }
  if (!(run_ && run_->extract) || !OnProcessData) return 1;
  return OnProcessData(*this, addr, static_cast<int>(size), dataPosition_) ? 1 : 0;
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
  if (!self || size < 0) return 1;
  try {
    return self->OnData(addr, static_cast<size_t>(size));
  } catch (...) {
    return 0;
  }
}

// The callback of the newer interface: volumes, data and passwords. The wide
// volume message is left to its narrow twin, which follows it.
int TRAR::CallbackTrampoline(unsigned int msg, RarLParam user, RarLParam p1, RarLParam p2) noexcept {
  auto* self = reinterpret_cast<TRAR*>(user);
  if (!self) return 0;
  try {
    switch (msg) {
      case UCM_CHANGEVOLUME: {
        if (!self->OnVolumeChange) return p2 == RAR_VOL_ASK ? -1 : 1;
        return self->OnVolumeChange(*self, reinterpret_cast<char*>(p1), static_cast<int>(p2)) ? 1 : -1;
      }
      case UCM_PROCESSDATA:
        return self->OnData(reinterpret_cast<unsigned char*>(p1), static_cast<size_t>(p2)) ? 1 : -1;
      case UCM_NEEDPASSWORD:
      case UCM_NEEDPASSWORDW: {
        Run* run = self->run_.get();
        if (!run || p2 <= 0) return -1;
        std::string pw;
        if (run->inEntry) {
          // The entry's own password was asked before it was processed; an
          // empty answer there is not asked again here.
          if (run->entryAsked || !self->OnReqPassword || !run->header) return -1;
          run->entryAsked = true;
          self->OnReqPassword(*self, *run->header, pw);
        } else if (!run->pendingHeader.empty()) {
          pw = run->pendingHeader;
          run->headerPassword = pw;
          Wipe(run->pendingHeader);
        } else if (run->headerPasswordGood) {
          pw = run->headerPassword;  // the same archive opened again
        } else {
          if (!self->OnReqPassword) return -1;
          RARHeaderDataEx h;
          std::memset(&h, 0, sizeof h);
          std::snprintf(h.ArcName, sizeof h.ArcName, "%s", self->ArchiveName.c_str());
          self->OnReqPassword(*self, h, pw);
          run->headerPassword = pw;
        }
        if (pw.empty()) return -1;
        if (msg == UCM_NEEDPASSWORDW) {
          archive::Utf8ToWide(pw, reinterpret_cast<wchar_t*>(p1), static_cast<size_t>(p2));
        } else {
          std::snprintf(reinterpret_cast<char*>(p1), static_cast<size_t>(p2), "%s", pw.c_str());
        }
        Wipe(pw);
        return 1;
      }
      default:
        return 0;
    }
  } catch (...) {
    return -1;
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
    d.Callback = &TRAR::CallbackTrampoline;
    d.UserData = reinterpret_cast<RarLParam>(this);
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
  if (h && result != 0) {
    api_->close(h);
    h = nullptr;
  }
  if (cmtSize > kCommentBufferSize - 1) cmtSize = kCommentBufferSize - 1;
  if (h && !api_->openEx) {
    // The older interface: callbacks without a user pointer.
    if (OnVolumeChange) api_->setChangeVolProc(h, &TRAR::ChangeVolTrampoline);
    api_->setProcessDataProc(h, &TRAR::ProcessDataTrampoline);
  }
  return h;
}

// The first header of an archive whose headers are encrypted needs the
// password: asked here (through the old interface, which has no password
// at open) and the header read again with it.
int TRAR::ReadFirstHeader(RarHandle h, RARHeaderDataEx& hd) {
  int r = ReadHeader(h, hd);
  if (r == ERAR_MISSING_PASSWORD && !api_->openEx && AskHeaderPassword(false)) {
    api_->setPassword(h, run_->pendingHeader.data());
    run_->headerPassword = run_->pendingHeader;
    Wipe(run_->pendingHeader);
    r = ReadHeader(h, hd);
  }
  return r;
}

int TRAR::ReadHeader(RarHandle h, RARHeaderDataEx& hd) {
  static thread_local std::vector<wchar_t> redir(kRedirChars + 1);
  std::memset(&hd, 0, sizeof hd);
  if (api_->readHeaderEx) {
    std::fill(redir.begin(), redir.end(), 0);
    hd.RedirName = redir.data();
    hd.RedirNameSize = kRedirChars;
    return api_->readHeaderEx(h, &hd);
  }
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

int TRAR::ProcessEntry(RarHandle h, int op) {
  run_->inEntry = true;
  const int p = api_->processFile(h, op, nullptr, nullptr);
  run_->inEntry = false;
  return p;
}

// After a wrong password for the encrypted headers: asks once more, with a
// record naming only the archive. False when the answer is empty or the one
// that just failed.
bool TRAR::AskHeaderPassword(bool again) {
  if (!OnReqPassword) return false;
  RARHeaderDataEx h;
  std::memset(&h, 0, sizeof h);
  std::snprintf(h.ArcName, sizeof h.ArcName, "%s", ArchiveName.c_str());
  std::string pw;
  OnReqPassword(*this, h, pw);
  if (pw.empty() || (again && pw == run_->headerPassword)) {
    Wipe(pw);
    return false;
  }
  run_->pendingHeader = pw;
  Wipe(pw);
  return true;
}

// Opens the archive again and walks to the entry at `index`, for another try
// with another password.
bool TRAR::Reopen(RarHandle& h, size_t index, RARHeaderDataEx& hd) {
  api_->close(h);
  std::vector<char> cmt;
  int result = 0;
  unsigned int cmtState = 0, cmtSize = 0;
  h = Open(RAR_OM_EXTRACT, cmt, result, cmtState, cmtSize);
  if (!h) {
    FireError(result);
    return false;
  }
  for (size_t i = 0;; ++i) {
    const int r = ReadHeader(h, hd);
    if (r != 0) {
      FireError(r);
      return false;
    }
    if (i == index) return true;
    if (ProcessEntry(h, RAR_SKIP) != 0) return false;
  }
}

void TRAR::ListFiles() {
  if (!loaded_) {
    FireError(kNoLibrary);
    return;
  }
  g_current = this;
  run_ = std::make_unique<Run>();
  bool commentShown = false;
  for (;;) {
    std::vector<char> cmt;
    int result = 0;
    unsigned int cmtState = 0, cmtSize = 0;
    RarHandle h = Open(RAR_OM_LIST, cmt, result, cmtState, cmtSize);
    if (result == ERAR_BAD_PASSWORD) {
      FireError(result);
      if (AskHeaderPassword(true)) continue;
      break;
    }
    if (result != 0 || !h) {
      FireError(result);
      break;
    }
    if (cmtState == 1 && OnComment && !commentShown) {
      OnComment(*this, TComment{cmtSize, std::string(cmt.data(), strnlen(cmt.data(), cmtSize))});
      commentShown = true;
    }
    RARHeaderDataEx hd;
    int r = ReadFirstHeader(h, hd);
    if (r == ERAR_BAD_PASSWORD) {
      api_->close(h);
      FireError(r);
      if (AskHeaderPassword(true)) continue;
      break;
    }
    if (r == 0) run_->headerPasswordGood = !run_->headerPassword.empty();
    bool stopped = false;
    while (r == 0) {
      if (OnListFile) OnListFile(*this, hd);
      if (Stop) {
        Stop = false;
        stopped = true;
        break;
      }
      if (hd.CmtState == 1 && OnComment) OnComment(*this, TComment{hd.CmtSize, std::string()});
      int p = ProcessEntry(h, RAR_SKIP);
      if (p != 0) {
        FireError(p);
        break;
      }
      r = ReadHeader(h, hd);
    }
    if (!stopped && r != 0 && r != ERAR_END_ARCHIVE) FireError(r);
    api_->close(h);
    break;
  }
  run_.reset();
  g_current = nullptr;
}

bool TRAR::ExtractFiles() { return Process(true); }
bool TRAR::TestFiles() { return Process(false); }

// Extraction and testing share one walk; they differ in the lists consulted,
// the events, and whether the data is written.
bool TRAR::Process(bool extract) {
  successCount_ = 0;
  if (!loaded_) {
    FireError(kNoLibrary);
    return false;
  }
  if (ArchiveName.empty()) {
    FireError(ERAR_BAD_ARCHIVE);
    return false;
  }
  std::unique_ptr<archive::DiskOutput> out;
  if (extract) {
    archive::OutputOptions o;
    o.dirNames = ExtrOptions.DirNames;
    o.overwrite = ExtrOptions.OverWrite;
    o.update = ExtrOptions.Update;
    o.freshen = ExtrOptions.Freshen;
    out = std::make_unique<archive::DiskOutput>(TargetDir.empty() ? "." : TargetDir, o);
    if (!out->Ready()) {
      // A folder that cannot be made or entered stops the command: nothing
      // lands anywhere else.
      FireError(ERAR_ECREATE, out->Message());
      return false;
    }
  }
  g_current = this;
  run_ = std::make_unique<Run>();
  run_->extract = extract;
  run_->out = out.get();
  bool answer = true;
  const auto keepAlive = [] { platform::Pump().ProcessMessages(); };

  RarHandle h = nullptr;
  RARHeaderDataEx hd;
  int r = 0;
  bool commentShown = false;
  for (;;) {
    std::vector<char> cmt;
    int result = 0;
    unsigned int cmtState = 0, cmtSize = 0;
    h = Open(RAR_OM_EXTRACT, cmt, result, cmtState, cmtSize);
    if (result == ERAR_BAD_PASSWORD) {
      FireError(result);
      answer = false;
      if (AskHeaderPassword(true)) continue;
      break;
    }
    if (result != 0 || !h) {
      FireError(result);
      answer = false;
      h = nullptr;
      break;
    }
    if (cmtState == 1 && OnComment && !commentShown) {
      OnComment(*this, TComment{cmtSize, std::string(cmt.data(), strnlen(cmt.data(), cmtSize))});
      commentShown = true;
    }
    r = ReadFirstHeader(h, hd);
    if (r == ERAR_BAD_PASSWORD) {
      api_->close(h);
      h = nullptr;
      FireError(r);
      answer = false;
      if (AskHeaderPassword(true)) {
        answer = true;
        continue;
      }
    }
    break;
  }
  if (!h) {
    run_.reset();
    g_current = nullptr;
    return false;
  }
  if (r == 0) run_->headerPasswordGood = !run_->headerPassword.empty();

  // Link entries are reported when Finish has made them (or not).
  std::map<size_t, std::unique_ptr<RARHeaderDataEx>> deferred;
  size_t index = 0, nextTag = 0;
  std::string tried;  // the password that failed for the current entry
  for (; r == 0; r = ReadHeader(h, hd), ++index) {
    const std::string name = EntryName(hd);
    if (Stop) {
      Stop = false;
      break;
    }
    if (!Selected(name, extract)) {
      const int p = ProcessEntry(h, RAR_SKIP);
      if (p != 0) {
        FireError(p);
        answer = false;
        break;
      }
      continue;
    }
    archive::RarEntry entry = EntryFromHeader(hd, name);
    if (extract && out->Decide(entry) == archive::DiskOutput::kSkipped) {
      // Left alone by the options (an existing file, an older one, ...).
      const int p = ProcessEntry(h, RAR_SKIP);
      if (p != 0) {
        FireError(p);
        answer = false;
        break;
      }
      continue;
    }
    if (extract && OnExtracting) OnExtracting(*this, hd);
    if (!extract && OnTesting) OnTesting(*this, hd);
    run_->header = &hd;
    run_->entryAsked = false;
    // The password for an encrypted entry: asked for each one, except that
    // the password that opened encrypted headers stands for the data too.
    std::string given;
    if ((hd.Flags & RHDF_ENCRYPTED) && OnReqPassword && !run_->headerPasswordGood) {
      OnReqPassword(*this, hd, given);
      run_->entryAsked = true;
      if (!given.empty()) api_->setPassword(h, given.data());
    }
    int p = 0;
    bool deferredLink = false, counted = false;
    for (;;) {
      dataPosition_ = 0;
      run_->writeFailed = false;
      if (!extract) {
        p = ProcessEntry(h, RAR_TEST);
        counted = p == 0 && !entry.isDirectory;
      } else if (entry.isDirectory) {
        p = out->Begin(entry);
        const int q = ProcessEntry(h, RAR_SKIP);
        if (p == 0) p = q;
      } else if (IsLink(entry)) {
        std::string text;
        const bool rar4Link = entry.redirTarget.empty() && entry.redirection == archive::Redirection::UnixSymlink;
        run_->collect = rar4Link ? &text : nullptr;
        p = ProcessEntry(h, RAR_TEST);
        run_->collect = nullptr;
        if (p == 0) {
          const size_t tag = nextTag++;
          p = out->Link(entry, rar4Link ? text : entry.redirTarget, tag);
          if (p == 0 && (entry.redirection == archive::Redirection::FileCopy)) {
            counted = true;
          } else if (p == 0) {
            deferred[tag] = std::make_unique<RARHeaderDataEx>(hd);
            deferredLink = true;
          }
          if (p == archive::DiskOutput::kSkipped) p = 0;
        }
        archive::WipeMemory(text.data(), text.size());
      } else {
        p = out->Begin(entry);
        if (p != 0) {
          ProcessEntry(h, RAR_SKIP);
        } else {
          run_->sink = &out->Sink();
          p = ProcessEntry(h, RAR_TEST);
          run_->sink = nullptr;
          if (run_->writeFailed) p = ERAR_EWRITE;
          if (p == 0) {
            p = out->Commit(entry);
          } else {
            out->Abort(keepAlive);
          }
          counted = p == 0;
        }
      }
      // A wrong password (or, where the format cannot tell, a checksum error
      // of an encrypted entry) is said, and the password asked again.
      const bool passwordTrouble =
          (hd.Flags & RHDF_ENCRYPTED) && (p == ERAR_BAD_PASSWORD || p == ERAR_BAD_DATA) && OnReqPassword;
      if (!passwordTrouble || Stop) break;
      FireError(p);
      answer = false;
      tried = given;
      Wipe(given);
      OnReqPassword(*this, hd, given);
      if (given.empty() || given == tried) {
        p = -1;  // given up; the failure was reported
        counted = false;
        break;
      }
      const RARHeaderDataEx saved = hd;
      if (!Reopen(h, index, hd)) {
        hd = saved;
        p = -1;
        break;
      }
      api_->setPassword(h, given.data());
      run_->header = &hd;
      run_->entryAsked = true;
      if (extract && OnExtracting) OnExtracting(*this, hd);
      if (!extract && OnTesting) OnTesting(*this, hd);
    }
    Wipe(given);
    Wipe(tried);
    run_->header = nullptr;
    if (!h) break;
    if (p == -1) {
      // Given up after a wrong password that was already reported.
      if (extract && OnExtract) OnExtract(*this, hd, false);
      if (!extract && OnTested) OnTested(*this, hd, false);
      continue;
    }
    if (counted) ++successCount_;
    if (!deferredLink) {
      if (extract && OnExtract) OnExtract(*this, hd, p == 0);
      if (!extract && OnTested) OnTested(*this, hd, p == 0);
    }
    if (p != 0) {
      answer = false;
      FireError(p);
      if (!EntryOnly(p)) break;
    }
  }
  if (r != 0 && r != ERAR_END_ARCHIVE) {
    FireError(r);
    answer = false;
  }
  if (h) api_->close(h);
  if (out) {
    out->Finish([&](size_t tag, int code, const std::string& why) {
      const auto it = deferred.find(tag);
      if (it == deferred.end()) return;
      if (code == 0) ++successCount_;
      if (OnExtract) OnExtract(*this, *it->second, code == 0);
      if (code != 0) {
        answer = false;
        FireError(code, why);
      }
    });
  }
  run_.reset();
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
    case 22: return "Password needed: the archive or the entry is encrypted and no password was given";
    case 23: return "The file this entry refers to was not found";
    case 24: return "Wrong password";
    case 25: return "The entry needs more memory to decode than this program allows";
    case 50: return "UNRAR.dll not found";
    case kUnsupported:
      return "This entry uses a RAR feature that is not supported (an unknown compression version, cipher or kind "
             "of entry)";
    default: return "Unknown error";
  }
}

}  // namespace arkelin::engine::rar
