// libarkunrar.so: our own library with the UnRAR programming interface
// (UnrarApi.h), over the archive layer in ../archive. It reads RAR 1.5 to 5
// archives, their volume sets and their encryption; RAR_TEST decodes and
// checks an entry and hands its data to the caller's callbacks, RAR_EXTRACT
// also writes it through DiskOutput (full folder names, existing files
// replaced, links made when the archive is closed). The callbacks of the
// documented interface are honoured: change of volume (asked for a missing
// one, told of each one opened), data processed, and password needed (asked
// for encrypted headers before anything is listed, and for encrypted data
// when no password was set).
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <cwchar>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/rar/UnrarApi.h"
#include "engine/rar/archive/DiskOutput.h"
#include "engine/rar/archive/RarNames.h"
#include "engine/rar/archive/RarReader.h"

namespace {

namespace ar = arkelin::engine::rar::archive;
namespace up = arkelin::engine::rar::unpack;

constexpr int64_t kFiletimeToUnix = 11644473600LL;
constexpr size_t kCallbackChunk = 1 << 20;
constexpr size_t kMaxLinkText = 4096;

struct Arc {
  unsigned mode = RAR_OM_LIST;
  std::unique_ptr<ar::RarReader> reader;
  bool haveHeader = false;  // a header was read and not yet processed
  ar::RarEntry entry;
  CHANGEVOLPROC vol = nullptr;
  PROCESSDATAPROC data = nullptr;
  UNRARCALLBACK cb = nullptr;
  RarLParam user = 0;
  std::map<std::string, std::unique_ptr<ar::DiskOutput>> outputs;  // by target folder
  size_t nextTag = 0;
  bool headerPasswordRefused = false;
};

void CopyNarrow(char* out, size_t cap, const std::string& s) {
  // Cut at a character boundary so the narrow name stays valid UTF-8.
  size_t n = std::min(s.size(), cap - 1);
  while (n > 0 && n < s.size() && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  std::memcpy(out, s.data(), n);
  out[n] = 0;
}

void FiletimeOf(const ar::FileTime& t, unsigned int& low, unsigned int& high) {
  if (!t.present) {
    low = high = 0;
    return;
  }
  const uint64_t ft = static_cast<uint64_t>(t.seconds + kFiletimeToUnix) * 10000000ull + t.nanos / 100;
  low = static_cast<unsigned>(ft);
  high = static_cast<unsigned>(ft >> 32);
}

// Asks through the callbacks for a missing volume; true to look again.
bool AskVolume(Arc& a, std::string& name) {
  bool retry = false, asked = false;
  if (a.cb) {
    std::vector<wchar_t> w(1024, 0);
    ar::Utf8ToWide(name, w.data(), w.size());
    const int r = a.cb(UCM_CHANGEVOLUMEW, a.user, reinterpret_cast<RarLParam>(w.data()), RAR_VOL_ASK);
    if (r == -1) return false;
    if (r == 1) {
      w.back() = 0;
      name = ar::WideToUtf8(w.data(), w.size());
      retry = asked = true;
    } else {
      std::vector<char> n(1025, 0);
      CopyNarrow(n.data(), 1024, name);
      const int r2 = a.cb(UCM_CHANGEVOLUME, a.user, reinterpret_cast<RarLParam>(n.data()), RAR_VOL_ASK);
      if (r2 == -1) return false;
      if (r2 == 1) {
        name.assign(n.data(), strnlen(n.data(), 1024));
        retry = asked = true;
      }
    }
  }
  if (a.vol) {
    std::vector<char> n(1025, 0);
    CopyNarrow(n.data(), 1024, name);
    if (a.vol(n.data(), RAR_VOL_ASK) == 0) return false;
    name.assign(n.data(), strnlen(n.data(), 1024));
    retry = asked = true;
  }
  return asked && retry;
}

bool NotifyVolume(Arc& a, const std::string& name) {
  std::vector<char> n(1025, 0);
  CopyNarrow(n.data(), 1024, name);
  if (a.cb) {
    std::vector<wchar_t> w(1024, 0);
    ar::Utf8ToWide(name, w.data(), w.size());
    if (a.cb(UCM_CHANGEVOLUMEW, a.user, reinterpret_cast<RarLParam>(w.data()), RAR_VOL_NOTIFY) == -1) return false;
    if (a.cb(UCM_CHANGEVOLUME, a.user, reinterpret_cast<RarLParam>(n.data()), RAR_VOL_NOTIFY) == -1) return false;
  }
  if (a.vol && a.vol(n.data(), RAR_VOL_NOTIFY) == 0) return false;
  return true;
}

// The password through the callback: the wide message first, the narrow one
// when the wide one brought nothing.
bool AskPasswordFromCallback(Arc& a, std::string& password) {
  if (!a.cb) return false;
  std::vector<wchar_t> w(128, 0);
  int r = a.cb(UCM_NEEDPASSWORDW, a.user, reinterpret_cast<RarLParam>(w.data()), static_cast<RarLParam>(w.size()));
  if (r == -1) return false;
  w.back() = 0;
  if (r == 1 && w[0] != 0) {
    password = ar::WideToUtf8(w.data(), w.size());
    ar::WipeMemory(w.data(), w.size() * sizeof(wchar_t));
    return true;
  }
  std::vector<char> n(128, 0);
  r = a.cb(UCM_NEEDPASSWORD, a.user, reinterpret_cast<RarLParam>(n.data()), static_cast<RarLParam>(n.size()));
  n.back() = 0;
  const bool ok = r == 1 && n[0] != 0;
  if (ok) password.assign(n.data(), strnlen(n.data(), n.size()));
  ar::WipeMemory(n.data(), n.size());
  return ok;
}

// Hands decoded data to the caller's callbacks, in pieces an int can count.
class CallbackSink : public up::UnpackedSink {
 public:
  CallbackSink(Arc& a, up::UnpackedSink* next) : a_(a), next_(next) {}
  bool Write(const uint8_t* data, size_t n) override {
    if (next_ && !next_->Write(data, n)) return false;
    while (n > 0) {
      const size_t take = std::min(n, kCallbackChunk);
      auto* p = const_cast<uint8_t*>(data);
      if (a_.cb && a_.cb(UCM_PROCESSDATA, a_.user, reinterpret_cast<RarLParam>(p), static_cast<RarLParam>(take)) == -1)
        return false;
      if (a_.data && a_.data(p, static_cast<int>(take)) == 0) return false;
      data += take;
      n -= take;
    }
    return true;
  }

 private:
  Arc& a_;
  up::UnpackedSink* next_;
};

class TextSink : public up::UnpackedSink {
 public:
  bool Write(const uint8_t* data, size_t n) override {
    if (text.size() + n > kMaxLinkText) return false;
    text.append(reinterpret_cast<const char*>(data), n);
    return true;
  }
  std::string text;
};

void FillHeader(const ar::RarEntry& e, RARHeaderDataEx* hd) {
  CopyNarrow(hd->ArcName, sizeof hd->ArcName, e.volumeName);
  ar::Utf8ToWide(e.volumeName, hd->ArcNameW, sizeof hd->ArcNameW / sizeof(wchar_t));
  CopyNarrow(hd->FileName, sizeof hd->FileName, e.name);
  ar::Utf8ToWide(e.name, hd->FileNameW, sizeof hd->FileNameW / sizeof(wchar_t));
  unsigned flags = 0;
  if (e.splitBefore) flags |= RHDF_SPLITBEFORE;
  if (e.splitAfter) flags |= RHDF_SPLITAFTER;
  if (e.Encrypted()) flags |= RHDF_ENCRYPTED;
  if (e.solid) flags |= RHDF_SOLID;
  if (e.isDirectory) flags |= RHDF_DIRECTORY;
  hd->Flags = flags;
  hd->PackSize = static_cast<unsigned>(e.packedSize);
  hd->PackSizeHigh = static_cast<unsigned>(e.packedSize >> 32);
  hd->UnpSize = static_cast<unsigned>(e.unpackedSize);
  hd->UnpSizeHigh = static_cast<unsigned>(e.unpackedSize >> 32);
  hd->HostOS = e.hostOS;
  hd->FileCRC = e.hasCrc ? e.crc : 0;
  hd->FileTime = e.dosTime;
  hd->UnpVer = e.unpackVersion;
  hd->Method = 0x30 + std::min(e.method, 5u);
  hd->FileAttr = e.attributes;
  if (e.format == ar::RarFormat::Rar5) {
    hd->DictSize = static_cast<unsigned>(std::min<uint64_t>(e.dictionarySize / 1024, UINT_MAX));
  } else {
    hd->DictSize = e.unpackVersion < 20 ? 64 : e.unpackVersion < 29 ? 1024 : 4096;
  }
  hd->HashType = e.hasBlake2 ? RAR_HASH_BLAKE2 : e.hasCrc ? RAR_HASH_CRC32 : RAR_HASH_NONE;
  if (e.hasBlake2) std::memcpy(hd->Hash, e.blake2.data(), 32);
  hd->RedirType = static_cast<unsigned>(e.redirection);
  if (hd->RedirName && hd->RedirNameSize > 0) ar::Utf8ToWide(e.redirTarget, hd->RedirName, hd->RedirNameSize);
  hd->DirTarget = e.redirToDirectory ? 1 : 0;
  FiletimeOf(e.mtime, hd->MtimeLow, hd->MtimeHigh);
  FiletimeOf(e.ctime, hd->CtimeLow, hd->CtimeHigh);
  FiletimeOf(e.atime, hd->AtimeLow, hd->AtimeHigh);
}

Arc* OpenCommon(const std::string& name, unsigned mode, UNRARCALLBACK cb, RarLParam user, unsigned& result,
                char* cmtBuf, unsigned cmtBufSize, unsigned& cmtSize, unsigned& cmtState, unsigned* flagsOut) {
  auto a = std::make_unique<Arc>();
  a->mode = mode;
  a->cb = cb;
  a->user = user;
  ar::ReaderOptions o;
  o.includeOrphanParts = mode == RAR_OM_LIST_INCSPLIT;
  Arc* raw = a.get();
  o.askPassword = [raw](std::string& pw, bool forHeaders) {
    // A request for the headers' password that was turned down is not
    // repeated in the same session (the walk would ask again at once).
    if (forHeaders && raw->headerPasswordRefused) return false;
    const bool ok = AskPasswordFromCallback(*raw, pw);
    if (forHeaders && !ok) raw->headerPasswordRefused = true;
    return ok;
  };
  o.askVolume = [raw](std::string& n) { return AskVolume(*raw, n); };
  o.notifyVolume = [raw](const std::string& n) { return NotifyVolume(*raw, n); };
  a->reader = std::make_unique<ar::RarReader>(std::move(o));
  cmtSize = 0;
  cmtState = 0;
  result = name.empty() ? ERAR_EOPEN : a->reader->Open(name);
  if (result != 0) return nullptr;
  const ar::ArchiveInfo info = a->reader->Info();
  if (info.commentState == 1 && cmtBuf && cmtBufSize > 0) {
    const size_t n = std::min<size_t>(info.comment.size(), cmtBufSize - 1);
    std::memcpy(cmtBuf, info.comment.data(), n);
    cmtBuf[n] = 0;
    cmtSize = static_cast<unsigned>(n + 1);
    cmtState = n < info.comment.size() ? ERAR_SMALL_BUF : 1;
  } else if (info.hasComment && cmtBuf) {
    cmtState = static_cast<unsigned>(info.commentState);
  }
  if (flagsOut) {
    unsigned f = 0;
    if (info.volume) f |= ROADF_VOLUME;
    if (info.hasComment) f |= ROADF_COMMENT;
    if (info.locked) f |= ROADF_LOCK;
    if (info.solid) f |= ROADF_SOLID;
    if (info.newNumbering) f |= ROADF_NEWNUMBERING;
    if (info.recovery) f |= ROADF_RECOVERY;
    if (info.encryptedHeaders) f |= ROADF_ENCHEADERS;
    if (info.firstVolume) f |= ROADF_FIRSTVOLUME;
    *flagsOut = f;
  }
  return a.release();
}

int Extract(Arc& a, const char* destPath, const char* destName) {
  ar::RarEntry e = a.entry;
  std::string root;
  if (destName && *destName) {
    // An explicit output path: its folder is the target, its last part the name.
    std::string full(destName);
    const size_t slash = full.rfind('/');
    root = slash == std::string::npos ? "." : full.substr(0, slash == 0 ? 1 : slash);
    e.name = slash == std::string::npos ? full : full.substr(slash + 1);
  } else {
    root = destPath && *destPath ? destPath : ".";
  }
  auto& out = a.outputs[root];
  if (!out) out = std::make_unique<ar::DiskOutput>(root, ar::OutputOptions{});
  if (!out->Ready()) {
    a.reader->Skip();
    return ERAR_ECREATE;
  }
  if (e.redirection != ar::Redirection::None) {
    std::string target = e.redirTarget;
    if (e.format == ar::RarFormat::Rar4) {
      // A RAR 4 link keeps its text as the entry's data.
      TextSink text;
      CallbackSink cs(a, &text);
      const int r = a.reader->Test(&cs);
      if (r != 0) return r;
      target = text.text;
    } else {
      const int r = a.reader->Test(nullptr);
      if (r != 0) return r;
    }
    const int q = out->Link(e, target, a.nextTag++);
    return q == ar::DiskOutput::kSkipped ? 0 : q;
  }
  int r = out->Begin(e);
  if (r == ar::DiskOutput::kSkipped) return a.reader->Skip();
  if (r != 0) {
    a.reader->Skip();
    return r;
  }
  if (e.isDirectory) return a.reader->Test(nullptr);
  CallbackSink cs(a, &out->Sink());
  r = a.reader->Test(&cs);
  if (r != 0) {
    out->Abort();
    return r;
  }
  return out->Commit(e);
}

}  // namespace

#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT RarHandle RAROpenArchive(RAROpenArchiveData* d) {
  if (!d) return nullptr;
  try {
    return OpenCommon(d->ArcName ? d->ArcName : "", d->OpenMode, nullptr, 0, d->OpenResult, d->CmtBuf, d->CmtBufSize,
                      d->CmtSize, d->CmtState, nullptr);
  } catch (...) {
    d->OpenResult = ERAR_NO_MEMORY;
    return nullptr;
  }
}

EXPORT RarHandle RAROpenArchiveEx(RAROpenArchiveDataEx* d) {
  if (!d) return nullptr;
  try {
    std::string name;
    if (d->ArcName) {
      name = d->ArcName;
    } else if (d->ArcNameW) {
      name = ar::WideToUtf8(d->ArcNameW, 4096);
    }
    unsigned flags = 0;
    Arc* a = OpenCommon(name, d->OpenMode, d->Callback, d->UserData, d->OpenResult, d->CmtBuf, d->CmtBufSize,
                        d->CmtSize, d->CmtState, &flags);
    d->Flags = flags;
    return a;
  } catch (...) {
    d->OpenResult = ERAR_NO_MEMORY;
    return nullptr;
  }
}

EXPORT int RARCloseArchive(RarHandle h) {
  auto* a = static_cast<Arc*>(h);
  if (!a) return ERAR_ECLOSE;
  try {
    for (auto& [root, out] : a->outputs) out->Finish(nullptr);
  } catch (...) {
  }
  delete a;
  return 0;
}

EXPORT int RARReadHeaderEx(RarHandle h, RARHeaderDataEx* hd) {
  auto* a = static_cast<Arc*>(h);
  if (!a || !hd) return ERAR_UNKNOWN;
  try {
    // The caller's buffer for the link target is kept; everything else is ours.
    wchar_t* redirName = hd->RedirName;
    const unsigned redirSize = hd->RedirNameSize;
    std::memset(hd, 0, sizeof *hd);
    hd->RedirName = redirName;
    hd->RedirNameSize = redirSize;
    if (a->haveHeader) a->reader->Skip();
    const int r = a->reader->Next(a->entry);
    a->haveHeader = r == 0;
    if (r == 0) FillHeader(a->entry, hd);
    return r;
  } catch (...) {
    return ERAR_NO_MEMORY;
  }
}

EXPORT int RARReadHeader(RarHandle h, RARHeaderData* hd) {
  if (!h || !hd) return ERAR_UNKNOWN;
  auto ex = std::make_unique<RARHeaderDataEx>();
  std::memset(ex.get(), 0, sizeof *ex);
  const int r = RARReadHeaderEx(h, ex.get());
  std::memset(hd, 0, sizeof *hd);
  if (r != 0) return r;
  CopyNarrow(hd->ArcName, sizeof hd->ArcName, ex->ArcName);
  CopyNarrow(hd->FileName, sizeof hd->FileName, ex->FileName);
  hd->Flags = ex->Flags;
  hd->PackSize = ex->PackSize;
  hd->UnpSize = ex->UnpSize;
  hd->HostOS = ex->HostOS;
  hd->FileCRC = ex->FileCRC;
  hd->FileTime = ex->FileTime;
  hd->UnpVer = ex->UnpVer;
  hd->Method = ex->Method;
  hd->FileAttr = ex->FileAttr;
  return 0;
}

EXPORT int RARProcessFile(RarHandle h, int op, char* destPath, char* destName) {
  auto* a = static_cast<Arc*>(h);
  if (!a) return ERAR_UNKNOWN;
  try {
    if (!a->haveHeader) {
      // Processing without a header read first: read it now, as the walk would.
      if (a->reader->Next(a->entry) != 0) return ERAR_END_ARCHIVE;
    }
    a->haveHeader = false;
    if (a->mode != RAR_OM_EXTRACT || op == RAR_SKIP) return a->reader->Skip();
    if (op == RAR_TEST) {
      CallbackSink cs(*a, nullptr);
      return a->reader->Test(&cs);
    }
    if (op == RAR_EXTRACT) return Extract(*a, destPath, destName);
    return ERAR_UNKNOWN;
  } catch (...) {
    return ERAR_NO_MEMORY;
  }
}

EXPORT int RARProcessFileW(RarHandle h, int op, wchar_t* destPath, wchar_t* destName) {
  std::string p = destPath ? ar::WideToUtf8(destPath, 4096) : "";
  std::string n = destName ? ar::WideToUtf8(destName, 4096) : "";
  return RARProcessFile(h, op, destPath ? p.data() : nullptr, destName ? n.data() : nullptr);
}

EXPORT void RARSetCallback(RarHandle h, UNRARCALLBACK cb, RarLParam user) {
  if (!h) return;
  static_cast<Arc*>(h)->cb = cb;
  static_cast<Arc*>(h)->user = user;
}
EXPORT void RARSetChangeVolProc(RarHandle h, CHANGEVOLPROC p) {
  if (h) static_cast<Arc*>(h)->vol = p;
}
EXPORT void RARSetProcessDataProc(RarHandle h, PROCESSDATAPROC p) {
  if (h) static_cast<Arc*>(h)->data = p;
}
EXPORT void RARSetPassword(RarHandle h, char* pw) {
  if (!h) return;
  static_cast<Arc*>(h)->reader->SetPassword(pw ? pw : "");
  static_cast<Arc*>(h)->headerPasswordRefused = false;
}
EXPORT int RARGetDllVersion() { return 8; }
