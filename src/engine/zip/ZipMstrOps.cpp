// TZipMaster's operations done by the engine libraries: loading them with
// dlopen/dlsym for one operation, building the command records (short or
// long layout by the library's version), the callback that turns library
// events into OnProgress/OnMessage and answers the overwrite and password
// questions through the platform dialogs, and the busy and cancel flags.
//
// The self-extracting conversions live in ZipSfx.cpp, the multi-volume
// sets in ZipSpan.cpp; Add and Extract call them for .exe names and sets.
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

#include "engine/zip/ZipCommands_p.h"
#include "engine/zip/ZipMstr.h"
#include "platform/Paths.h"
#include "platform/Platform.h"

namespace arkelin::engine::zip {

namespace fs = std::filesystem;

namespace {

int32_t Flag(bool b) { return b ? -1 : 0; }

std::string UpperExtension(const std::string& name) {
  size_t slash = name.find_last_of("/\\");
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string e = name.substr(dot);
  for (char& c : e) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return e;
}

bool FileExists(const std::string& name) {
  std::error_code ec;
  return !name.empty() && fs::is_regular_file(platform::ToFsPath(name), ec);
}

// One library loaded for one operation; unloaded when the scope ends (only
// when this scope loaded it).
struct Library {
  void* handle = nullptr;
  void* exec = nullptr;
  dll::DllVersionFn version = nullptr;
  ~Library() {
    if (handle) dlclose(handle);
  }
  bool Loaded() const { return handle && exec && version; }
};

struct LibraryNames {
  const char* file;
  const char* execName;
  const char* versionName;
  int loadedMsg, noExecMsg, noVersionMsg, notFoundMsg;
};

const LibraryNames kZipLib{kZipDllName, "ZipDllExec", "GetZipDllVersion", 10601, 10602, 10603, 10604};
const LibraryNames kUnzLib{kUnzDllName, "UnzDllExec", "GetUnzDllVersion", 10701, 10702, 10703, 10704};

// The callback the libraries call: finds the component in the record and
// never lets an exception cross back into the library.
int32_t EngineCallbackTrampoline(dll::EngineCallbackData* r) noexcept {
  if (!r || !r->caller) return -1;
  auto* self = static_cast<TZipMaster*>(r->caller);
  try {
    return self->HandleEngineCallback(r->actionCode, r->errorCode, r->fileSize, r->text, sizeof r->text);
  } catch (...) {
    return -1;
  }
}

// Text fields handed to the library; owned here, freed after the call.
struct RecordTexts {
  std::string password, archive, tempDir, extractDir;
  std::vector<std::string> specs;
};

}  // namespace

// Loads one library as the loading steps say; reports through ReportMessage.
static std::unique_ptr<Library> LoadLibrary(TZipMaster& zm, const LibraryNames& names) {
  auto lib = std::make_unique<Library>();
  std::string file = names.file;
  if (!zm.DLLDirectory().empty()) {
    std::string full = zm.DLLDirectory() + "/" + names.file;
    if (FileExists(full)) file = full;
  }
  lib->handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib->handle) {
    zm.ReportMessage(names.notFoundMsg, "");
    return lib;
  }
  if (zm.Trace) zm.ReportMessage(names.loadedMsg, "");
  lib->exec = dlsym(lib->handle, names.execName);
  lib->version = reinterpret_cast<dll::DllVersionFn>(dlsym(lib->handle, names.versionName));
  if (!lib->exec) zm.ReportMessage(names.noExecMsg, "");
  if (!lib->version) zm.ReportMessage(names.noVersionMsg, "");
  return lib;
}

static int QueryVersion(TZipMaster& zm, const LibraryNames& names) {
  // Quiet: a version query does not report a missing library.
  std::string file = names.file;
  if (!zm.DLLDirectory().empty() && FileExists(zm.DLLDirectory() + "/" + names.file))
    file = zm.DLLDirectory() + "/" + names.file;
  void* h = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) return 0;
  auto fn = reinterpret_cast<dll::DllVersionFn>(dlsym(h, names.versionName));
  int v = fn ? fn() : 0;
  dlclose(h);
  return v;
}

int TZipMaster::GetZipDllVersion() { return QueryVersion(*this, kZipLib); }
int TZipMaster::GetUnzDllVersion() { return QueryVersion(*this, kUnzLib); }

int TZipMaster::HandleEngineCallback(int action, int64_t errorCode, int64_t size, char* text, size_t capacity) {
  std::string t;
  if (text) t.assign(text, strnlen(text, capacity));
  int answer = 0;
  switch (action) {
    case dll::kActionNewFile:
      FireProgress(ProgrNewFile, ToBackslashes(t), size);
      break;
    case dll::kActionUpdate:
      FireProgress(ProgrUpdate, "", size);
      break;
    case dll::kActionEndOfBatch:
      FireProgress(ProgrEndOfBatch, "", 0);
      break;
    case dll::kActionMessage: {
      while (!t.empty() && static_cast<unsigned char>(t.back()) <= ' ') t.pop_back();
      t = ToBackslashes(t);
      lastMessage_ = t;
      if (errorCode != 0) {
        errCode_ = static_cast<int>(errorCode & 0xFF);
        fullErrCode_ = errorCode;
      }
      FireMessage(static_cast<int>(errorCode), t);
      break;
    }
    case dll::kActionTotalFiles:
      FireProgress(ProgrTotalFiles, "", size);
      break;
    case dll::kActionTotalSize:
      batchSize_ = size;
      FireProgress(ProgrTotalSize, "", size);
      break;
    case dll::kActionOverwrite:
      // Unattended: the safe answer, keep the existing file.
      if (!Unattended) {
        auto b = platform::Dialogs().MessageBox("The file " + ToBackslashes(t) + " already exists.\nOverwrite it?",
                                                platform::MsgKind::Confirm,
                                                platform::BtnYes | platform::BtnNo | platform::BtnCancel);
        answer = b == platform::BtnYes ? 1 : b == platform::BtnCancel ? -1 : 0;
      }
      break;
    case dll::kActionKeepAlive:  // only the pump below
      break;
    case dll::kActionPassword:
      if (!Unattended && text && capacity > 1) {
        auto pw = platform::Dialogs().InputBox("Password", "Enter the password for " + ToBackslashes(t), "", true);
        if (pw) {
          const size_t n = std::min(pw->size(), std::min<size_t>(capacity - 1, 80));
          std::memcpy(text, pw->data(), n);
          text[n] = '\0';
          answer = 1;
        }
      }
      break;
    default:
      break;
  }
  if (Cancel) answer = -1;
  platform::Pump().ProcessMessages();
  if (Cancel) answer = -1;
  return answer;
}

// Fills the fields both ZipCommand layouts share.
static void FillZipHead(TZipMaster& zm, dll::ZipCommandHead& h, RecordTexts& t, bool isDelete) {
  h.handle = nullptr;   // the libraries get no window on this platform; unattended gives none either
  h.caller = &zm;
  h.version = dll::kZipRecordVersion;
  h.callback = &EngineCallbackTrampoline;
  h.traceEnabled = Flag(zm.Trace);
  h.password = t.password.c_str();
  const AddOpts o = zm.AddOptions;
  h.encrypt = Flag(!isDelete && (o & AddEncrypt));
  h.aesStrength = h.encrypt ? (zm.AddAesBits == 128 ? 1 : zm.AddAesBits == 192 ? 2 : zm.AddAesBits == 256 ? 3 : 0) : 0;
  h.systemFiles = Flag(o & AddHiddenFiles);
  h.codePage = zm.NameRuleValue();
  h.exactNames = Flag(zm.ExactNames);
  h.noDirEntries = Flag(!(o & AddSeparateDirs));
  h.verbose = Flag(zm.Verbose || zm.Trace);
  h.minusOne56 = -1;
  h.level = zm.AddCompLevel;
  h.junkDirNames = Flag(!isDelete && !(o & AddDirNames));
  h.recurse = static_cast<int16_t>(!isDelete && (o & AddRecurseDirs) ? 0xFFFF : 0);
  h.addFlag = isDelete ? 0 : -1;
  h.forceDos = Flag(o & AddForceDOS);
  h.move = Flag(!isDelete && (o & AddMove));
  h.deleteEntries = isDelete ? -1 : 0;
  h.update = Flag(!isDelete && (o & AddUpdate));
  h.freshen = Flag(!isDelete && (o & AddFreshen) && !(o & AddUpdate));
  h.keepArchiveTime = Flag(o & AddZipTime);
  h.argc = static_cast<int32_t>(t.specs.size());
  h.archiveName = t.archive.c_str();
}

// Builds the record for the library's version and runs ZipDllExec.
static int RunZipDll(TZipMaster& zm, Library& lib, RecordTexts& t, bool isDelete) {
  const int version = lib.version();
  auto exec = reinterpret_cast<dll::ZipDllExecFn>(lib.exec);
  if (version < dll::kFirstLongZipVersion) {
    auto rec = std::make_unique<dll::ZipCommandShort>();
    std::memset(rec.get(), 0, sizeof *rec);
    FillZipHead(zm, rec->head, t, isDelete);
    rec->seven = dll::kSeven;
    const size_t n = std::min<size_t>(t.specs.size(), dll::kShortLayoutSpecRoom);
    for (size_t i = 0; i < n; ++i) rec->fileSpecs[i] = t.specs[i].c_str();
    rec->head.argc = static_cast<int32_t>(n);
    return exec(&rec->head);
  }
  auto rec = std::make_unique<dll::ZipCommandLong>();
  std::memset(rec.get(), 0, sizeof *rec);
  FillZipHead(zm, rec->head, t, isDelete);
  std::vector<dll::ZipFileSpec> specs(t.specs.size());
  for (size_t i = 0; i < specs.size(); ++i) {
    std::memset(&specs[i], 0, sizeof specs[i]);
    specs[i].fileSpec = t.specs[i].c_str();
  }
  rec->tempDir = zm.TempDir.empty() ? nullptr : t.tempDir.c_str();
  rec->fileSpecs = specs.empty() ? nullptr : specs.data();
  rec->seven = dll::kSeven;
  return exec(&rec->head);
}

static int RunUnzDll(TZipMaster& zm, Library& lib, RecordTexts& t) {
  const int version = lib.version();
  auto exec = reinterpret_cast<dll::UnzDllExecFn>(lib.exec);
  auto fillHead = [&](dll::UnzipCommandHead& h) {
    const ExtrOpts o = zm.ExtrOptions;
    h.handle = nullptr;
    h.caller = &zm;
    h.version = dll::kUnzipRecordVersion;
    h.callback = &EngineCallbackTrampoline;
    h.traceEnabled = Flag(zm.Trace);
    h.password = t.password.c_str();
    h.test = Flag(o & ExtrTest);
    h.minusOne40 = -1;
    h.verbose = Flag(zm.Verbose || zm.Trace);
    h.update = Flag(o & ExtrUpdate);
    h.freshen = Flag((o & ExtrFreshen) && !(o & ExtrUpdate));
    h.dirNames = Flag(o & ExtrDirNames);
    h.overwrite = Flag(o & ExtrOverWrite);
    h.codePage = zm.NameRuleValue();
    h.exactNames = Flag(zm.ExactNames);
    h.argc = static_cast<int32_t>(t.specs.size());
    h.archiveName = t.archive.c_str();
    h.extractDir = t.extractDir.empty() ? nullptr : t.extractDir.c_str();
  };
  if (version < dll::kFirstLongUnzipVersion) {
    auto rec = std::make_unique<dll::UnzipCommandShort>();
    std::memset(rec.get(), 0, sizeof *rec);
    fillHead(rec->head);
    rec->seven = dll::kSeven;
    const size_t n = std::min<size_t>(t.specs.size(), dll::kShortLayoutSpecRoom);
    for (size_t i = 0; i < n; ++i) rec->fileSpecs[i] = t.specs[i].c_str();
    rec->head.argc = static_cast<int32_t>(n);
    return exec(&rec->head);
  }
  auto rec = std::make_unique<dll::UnzipCommandLong>();
  std::memset(rec.get(), 0, sizeof *rec);
  fillHead(rec->head);
  std::vector<dll::UnzipFileSpec> specs(t.specs.size());
  for (size_t i = 0; i < specs.size(); ++i) {
    std::memset(&specs[i], 0, sizeof specs[i]);
    specs[i].fileSpec = t.specs[i].c_str();
  }
  rec->fileSpecs = specs.empty() ? nullptr : specs.data();
  rec->seven = dll::kSeven;
  return exec(&rec->head);
}

static RecordTexts TextsFor(TZipMaster& zm, const std::string& archive) {
  RecordTexts t;
  t.password = zm.Password.substr(0, 80);
  t.archive = archive;
  t.tempDir = zm.TempDir;
  t.specs = zm.FSpecArgs;
  return t;
}

// Clears the busy flag on every path, exceptions included.
struct FlagScope {
  bool& flag;
  bool& cancel;
  FlagScope(bool& f, bool& c) : flag(f), cancel(c) {
    flag = true;
    cancel = false;
  }
  ~FlagScope() {
    cancel = false;
    flag = false;
  }
};

void TZipMaster::Add() {
  successCount_ = 0;
  if (FSpecArgs.empty()) return ReportMessage(10301, "");
  if (zipFilename_.empty()) return ReportMessage(10102, "");
  if (Unattended && (AddOptions & AddEncrypt) && Password.empty()) return ReportMessage(10302, "");
  if (AddOptions & (AddDiskSpan | AddDiskSpanErase)) {
    if (AddOptions & (AddFreshen | AddUpdate)) return ReportMessage(10303, "");
    if (UpperExtension(zipFilename_) == ".EXE") return ReportMessage(11041, "");
  }
  const bool spanning = (AddOptions & (AddDiskSpan | AddDiskSpanErase)) != 0;
  if (writeBusy_) return;
  bool listAgain = false;
  {
    FlagScope busy(writeBusy_, Cancel);
    platform::BusyCursorScope cursor(platform::Busy());
    // A new self-extracting archive: the stub, its parameter block and an
    // empty archive first; the library then adds to it behind the stub.
    if (UpperExtension(zipFilename_) == ".EXE" && archiveStart_ == 0 && !FileExists(zipFilename_) &&
        ConvertSFXMode(true) != 0) {
      FSpecArgs.clear();
      return;
    }
    auto lib = LoadLibrary(*this, kZipLib);
    if (!lib->Loaded()) return;
    // Multiple volumes: the files go into a temporary archive first, which
    // is then split onto the volumes and removed.
    std::string archive = zipFilename_;
    if (spanning) {
      std::error_code ec;
      const std::string folder = TempDir.empty() ? fs::temp_directory_path(ec).string() : TempDir;
      archive = platform::Files().TempFileName(folder, "zip");
      if (archive.empty()) {
        FSpecArgs.clear();
        ReportMessage(11027, "");
        return;
      }
      fs::remove(platform::ToFsPath(archive), ec);
      archive += ".zip";
    }
    RecordTexts t = TextsFor(*this, archive);
    try {
      successCount_ = RunZipDll(*this, *lib, t, false);
    } catch (...) {
      successCount_ = 0;
      ReportMessage(10101, "");
    }
    FSpecArgs.clear();
    ExactNames = false;
    if (spanning) {
      if (successCount_ > 0 && WriteSpan(archive, zipFilename_) != 0) successCount_ = 0;
      writeBusy_ = true;
      std::error_code ec;
      fs::remove(platform::ToFsPath(archive), ec);
    } else {
      listAgain = successCount_ > 0;
    }
  }
  if (listAgain) List();
}

// The write flag and busy cursor are held around the command; a library
// that cannot be loaded leaves the file specifications for another try; a
// throw counts as nothing done; the archive is listed again when something
// changed.
template <class Run>
void TZipMaster::RewriteInPlace(Run run) {
  bool listAgain = false;
  {
    FlagScope busy(writeBusy_, Cancel);
    platform::BusyCursorScope cursor(platform::Busy());
    auto lib = LoadLibrary(*this, kZipLib);
    if (!lib->Loaded()) return;
    try {
      successCount_ = run(*lib);
    } catch (...) {
      successCount_ = 0;
      ReportMessage(10101, "");
    }
    FSpecArgs.clear();
    ExactNames = false;
    listAgain = successCount_ > 0;
  }
  if (listAgain) List();
}

void TZipMaster::Delete() {
  successCount_ = 0;
  if (FSpecArgs.empty()) return ReportMessage(10401, "");
  if (!FileExists(zipFilename_)) return ReportMessage(10102, "");
  if (writeBusy_) return;
  RewriteInPlace([this](Library& lib) {
    RecordTexts t = TextsFor(*this, zipFilename_);
    return RunZipDll(*this, lib, t, true);
  });
}

void TZipMaster::ChangePassword(const std::string& oldPassword, const std::string& newPassword, int aesBits) {
  successCount_ = 0;
  if (!FileExists(zipFilename_)) return ReportMessage(10102, "");
  if (writeBusy_) return;
  RewriteInPlace([&](Library& lib) {
    if (lib.version() < dll::kFirstLongZipVersion) {
      lastMessage_ = "The zip library is too old to change a password";
      FireMessage(1, lastMessage_);
      return 0;
    }
    RecordTexts t = TextsFor(*this, zipFilename_);
    t.password = oldPassword.substr(0, 80);
    t.specs.clear();
    const std::string fresh = newPassword.substr(0, 80);
    auto rec = std::make_unique<dll::ZipCommandLong>();
    std::memset(rec.get(), 0, sizeof *rec);
    const AddOpts savedOptions = AddOptions;
    const int savedBits = AddAesBits;
    AddOptions = AddEncrypt;
    AddAesBits = aesBits;
    FillZipHead(*this, rec->head, t, false);
    AddOptions = savedOptions;
    AddAesBits = savedBits;
    rec->newPassword = fresh.c_str();
    rec->changePassword = -1;
    rec->seven = dll::kSeven;
    return static_cast<int>(reinterpret_cast<dll::ZipDllExecFn>(lib.exec)(&rec->head));
  });
}

void TZipMaster::Extract() {
  successCount_ = 0;
  if (!FileExists(zipFilename_)) return ReportMessage(10102, "");
  if (readBusy_) return;
  // A filler password makes the library fail on encrypted entries instead
  // of asking; built at run time, never a literal in the program, and only
  // handed to the library: Password itself stays as the caller left it.
  std::string password = Password;
  if (Unattended && (AddOptions & AddEncrypt) && Password.empty()) {
    password = std::string(79, static_cast<char>('a' + 25));
    ReportMessage(10502, "");
  }
  FlagScope busy(readBusy_, Cancel);
  platform::BusyCursorScope cursor(platform::Busy());
  auto done = [this] {
    FSpecArgs.clear();
    ExactNames = false;
  };
  auto lib = LoadLibrary(*this, kUnzLib);
  if (!lib->Loaded()) return;  // FSpecArgs not consumed: the library was never called
  // A multi-volume set is joined into a temporary archive first, which is
  // extracted from and removed.
  std::string source = zipFilename_, joined;
  if (lastDisk_ != 0) {
    std::error_code ec;
    std::string folder = TempDir.empty() ? fs::temp_directory_path(ec).string() : TempDir;
    if (folder.empty() || folder.back() != '/') folder += '/';
    joined = folder;
    const int r = ReadSpan(zipFilename_, joined);
    readBusy_ = true;
    if (r != 0) {
      done();
      return;
    }
    source = joined;
  }
  struct RemoveJoined {
    const std::string& name;
    ~RemoveJoined() {
      std::error_code ec;
      if (!name.empty()) fs::remove(platform::ToFsPath(name), ec);
    }
  } removeJoined{joined};
  // The library writes into the base folder by its descriptor; the
  // process's current folder is never changed. A base folder that does not
  // exist is made; one that cannot be made, entered or written to stops the
  // command here, instead of sending the files anywhere else.
  std::error_code ec;
  std::string folder;
  if (!ExtrBaseDir.empty() && !(ExtrOptions & ExtrTest)) {
    const fs::path base = platform::ToFsPath(ExtrBaseDir);
    if (!fs::is_directory(base, ec)) fs::create_directories(base, ec);
    if (!fs::is_directory(base, ec)) {
      done();
      ReportMessage(11009, ": " + ExtrBaseDir);
      return;
    }
    if (::access(base.c_str(), W_OK | X_OK) != 0) {
      const int e = errno;
      done();
      ReportMessage(11009, ": " + ExtrBaseDir + ": " + std::strerror(e));
      return;
    }
    folder = base.string();
  }
  RecordTexts t = TextsFor(*this, source);
  t.password = password.substr(0, 80);
  t.extractDir = folder;
  try {
    successCount_ = RunUnzDll(*this, *lib, t);
  } catch (...) {
    successCount_ = 0;
    ReportMessage(10501, "");
  }
  done();
}

}  // namespace arkelin::engine::zip
