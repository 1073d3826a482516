// Extraction and testing of the selected entries.
#include "engine/zip/dll/unz/UnzExtractor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <exception>
#include <new>
#include <unordered_map>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>

#include "engine/common/Crc32.h"
#include "engine/common/DosTime.h"
#include "engine/common/EntryPath.h"
#include "engine/common/ExtractRoot.h"
#include "engine/common/Saturate.h"
#include "engine/common/Wildcard.h"
#include "engine/zip/dll/common/ArchiveFile.h"
#include "engine/zip/dll/common/CentralDirectory.h"
#include "engine/zip/dll/common/ZipCrypto.h"
#include "engine/zip/dll/common/ZipFormat.h"
#include "engine/zip/dll/unz/DecodePool.h"
#include "engine/zip/dll/unz/EntryDecoder.h"

namespace arkelin::engine::zip::dll {

namespace {

constexpr int64_t kProgressStep = 64 * 1024;
constexpr size_t kWritePiece = 128 * 1024;
constexpr size_t kMaxLinkText = 4096;
// Entries whose stored bytes are at most this size are read by the calling
// thread with their header (one read serves many) and decoded from memory.
constexpr uint64_t kInMemoryLimit = 64 * 1024;
// Bounds of the work prepared ahead of the oldest unfinished entry: entries
// (each holds at most kInMemoryLimit bytes in memory, and when extracting
// two descriptors) and declared plus stored bytes (what a stop has to throw
// away, and a bound on the stored bytes held in memory).
constexpr size_t kMaxJobs = 128;
constexpr size_t kMaxTestJobs = 1024;
constexpr uint64_t kMaxAheadBytes = 64ull << 20;
// A chunk handed to a worker: this many entries or bytes at most; an entry
// past kBigEntry goes alone. The calling thread decodes a chunk itself
// rather than wait only up to kCallerChunk bytes, which takes it a few
// milliseconds at most: its events (and a stop) are not held up longer.
constexpr size_t kChunkJobs = 64;
constexpr uint64_t kChunkBytes = 512 * 1024;
constexpr uint64_t kBigEntry = 256 * 1024;
constexpr uint64_t kCallerChunk = 2 << 20;
// Free space is checked beforehand from this size on; a smaller file that
// does not fit fails on its write just the same.
constexpr uint64_t kSpaceCheckFrom = 1 << 20;

using common::ExtractRoot;
using common::JoinParts;
using common::OnDisk;

class Run;

// The decryption state of one entry: traditional keys or an AES cipher with
// the authentication code stored after the data.
struct EntryCrypt {
  std::unique_ptr<ZipCryptoKeys> keys;
  std::unique_ptr<AesCipher> aes;
  uint8_t code[kAesCodeSize] = {};
  bool Any() const { return keys || aes; }
};

struct Event {
  int32_t action;
  int32_t error;
  int64_t size;
  std::string text;
};

// One selected entry on its way: what the calling thread found out first
// (its events kept back while older entries are still running), what a
// worker needs to decode it, and what the decoding gave.
struct Job : PoolJob {
  enum class Next {
    kNothing,  // nothing to decode: its events are all
    kDecode,
    kAgain,    // needs a question: run again on the calling thread, in turn
    kWait,     // touches a name an unfinished entry writes: wait for it
    kStop,
  };
  enum KeyState { kKeysPending = 0, kKeysOk = 1, kKeysRefused = 2 };
  size_t index = 0;
  bool buffered = false;  // events go to `events` until the job's turn
  bool flushed = false;
  std::vector<Event> events;
  // The new-file event kept back, sent with `shown` as its text after the
  // first `newFileAt` events (most entries have no other).
  bool newFileKept = false;
  size_t newFileAt = 0;
  int64_t newFileSize = 0;
  Next next = Next::kNothing;

  std::vector<std::string> parts;
  std::string shown, key;
  bool isLink = false;
  int64_t entryTime = -1;
  uint16_t method = 0;
  uint64_t offset = 0, length = 0;
  uint64_t weight = 0;  // declared and stored size, against the bound ahead
  std::vector<uint8_t> data;  // the stored bytes, when read ahead
  bool inMemory = false;
  EntryCrypt crypt;
  // AES keys derived by the worker (the derivation is the costly part):
  // salt, verifier and code as stored, and the password to try.
  bool aesDeferred = false;
  std::string aesPassword;
  uint8_t aesStored[16 + kAesVerifierSize + kAesCodeSize] = {};
  ExtractRoot::File out;

  DecodeResult result = DecodeResult::Ok;
  std::string detail, linkText;
  uint32_t crc = 0;
  bool writeFailed = false, authFailed = false, crcOk = false;
  // The temporary file is created, and readied for its rename, by whoever
  // decodes the entry; what went wrong there is told in turn.
  std::string fileFailure;
  bool createFailed = false, readyFailed = false;
  int writeErrno = 0;
  uint64_t reported = 0;  // bytes passed on as progress (calling thread)
};

// Decoded bytes go to the temporary file (or nowhere when testing), into
// the CRC and into the job's count; on the calling thread the count turns
// into progress events at once, on a worker the calling thread picks it up.
class JobSink final : public OutputSink {
 public:
  JobSink(Run& run, Job& job, bool direct) : run_(run), job_(job), direct_(direct) {}
  bool Write(const uint8_t* data, size_t n) override;
  std::string* capture = nullptr;  // link text is collected instead of written

 private:
  Run& run_;
  Job& job_;
  bool direct_;
  uint64_t total_ = 0;
};

class Run {
 public:
  explicit Run(const UnzOptions& o) : o_(o), window_(file_) { password_ = o.password; }

  int32_t Execute();
  // After `job` produced more bytes: false when the run stops.
  bool Advance(Job& job, bool direct, uint64_t before, uint64_t after);

 private:
  using Next = Job::Next;
  // Sends one callback; remembers a stop. `text` is cut to 511 bytes.
  int32_t Call(int32_t action, int32_t error, int64_t size, std::string_view text, char* answer = nullptr,
               size_t answerCap = 0);
  void Message(int32_t code, const std::string& text) { Call(kActionMessage, code, 0, text); }
  // An event of `job`: sent now, or kept until the job's turn.
  void Emit(Job& job, int32_t action, int32_t error, int64_t size, std::string text);
  void Msg(Job& job, int32_t code, std::string text) { Emit(job, kActionMessage, code, 0, std::move(text)); }
  void Stop() {
    stop_ = true;
    stopFlag_.store(true);
  }
  bool Progress(int64_t bytes);  // false when the caller asked to stop
  // Passes the job's decoded bytes on as progress, in steps of
  // kProgressStep counted from the entry's start (the rest too when
  // `final`), so the events do not depend on which thread decoded it.
  void ConsumeProgress(Job& job, bool final);
  bool Selected(const CentralEntry& e) const;
  bool PathFor(Job& job, const CentralEntry& e, std::vector<std::string>& parts);
  bool Conflicts(const std::vector<std::string>& parts) const;
  // The first steps of an entry, up to an open temporary file.
  Next Begin(Job& job, uint64_t dataOffset);
  enum class Keys { kOk, kSkip, kStop, kAgain };
  Keys PrepareKeys(Job& job, const CentralEntry& e, const LocalHeader& lh);
  // Decodes, on any thread.
  void Decode(Job& job, bool direct);
  // What the decoding gave: messages, the file put in place or dropped.
  void Finish(Job& job);
  // One entry from start to end on the calling thread; false on a stop.
  bool ExtractDirect(size_t index, uint64_t dataOffset);
  void ExtractAll(const std::vector<size_t>& chosen, const std::vector<uint64_t>& dataOffsets);
  // Decides whether what is at the name is replaced: 1 yes, 0 skip, -1
  // stop, 2 the caller must be asked and `job` keeps its events back.
  int MayReplace(Job* job, const OnDisk& there, const std::string& shown, int64_t entryTime);
  void FinishLinksAndFolders();
  int64_t EntryTime(const CentralEntry& e, const LocalHeader* lh) const;
  uint32_t FileMode(const CentralEntry& e) const;

  const UnzOptions& o_;
  std::string password_;
  bool stop_ = false;
  std::atomic<bool> stopFlag_{false};  // stop_ for the workers
  ArchiveFile file_;
  ArchiveWindow window_;
  LocalHeader header_;  // the one Begin reads into, kept for its storage
  CentralDirectory dir_;
  ExtractRoot root_;
  DecodePool* pool_ = nullptr;
  std::unordered_map<std::string, int> inFlight_;  // names unfinished entries write
  int64_t pendingProgress_ = 0;
  int32_t good_ = 0;
};

bool JobSink::Write(const uint8_t* data, size_t n) {
  while (n > 0) {
    const size_t piece = std::min<size_t>(n, kWritePiece);
    job_.crc = common::Crc32(job_.crc, data, piece);
    if (capture) {
      if (capture->size() + piece > kMaxLinkText) return false;
      capture->append(reinterpret_cast<const char*>(data), piece);
    } else if (job_.out.IsOpen() && !job_.out.Write(data, piece)) {
      job_.writeFailed = true;
      job_.writeErrno = job_.out.Error();
      return false;
    }
    const uint64_t before = total_;
    total_ += piece;
    job_.produced.store(total_);
    if (!run_.Advance(job_, direct_, before, total_)) return false;
    data += piece;
    n -= piece;
  }
  return true;
}

bool Run::Advance(Job& job, bool direct, uint64_t before, uint64_t after) {
  if (direct) {
    ConsumeProgress(job, false);
    return !stop_;
  }
  if (pool_ && before / kProgressStep != after / kProgressStep) pool_->Touch(job);
  return !stopFlag_.load(std::memory_order_relaxed);
}

void Run::Emit(Job& job, int32_t action, int32_t error, int64_t size, std::string text) {
  if (job.buffered) job.events.push_back({action, error, size, std::move(text)});
  else Call(action, error, size, text);
}

int32_t Run::Call(int32_t action, int32_t error, int64_t size, std::string_view text, char* answer,
                  size_t answerCap) {
  if (!o_.callback) return 0;
  EngineCallbackData d;
  std::memset(&d, 0, sizeof d);
  d.handle = o_.handle;
  d.caller = o_.caller;
  d.actionCode = action;
  d.errorCode = error;
  d.fileSize = size;
  // Control bytes (a NUL or an escape sequence inside a name) are shown
  // escaped, so the text shown is the whole name and cannot steer a terminal.
  std::string shown;
  shown.reserve(text.size());
  for (char ch : text) {
    const auto u = static_cast<unsigned char>(ch);
    if (u < 0x20 || u == 0x7F) {
      static const char kHex[] = "0123456789ABCDEF";
      shown += "\\x";
      shown += kHex[u >> 4];
      shown += kHex[u & 15];
    } else {
      shown += ch;
    }
  }
  const size_t n = std::min(shown.size(), sizeof d.text - 1);
  std::memcpy(d.text, shown.data(), n);
  d.text[n] = '\0';
  const int32_t r = o_.callback(&d);
  if (answer && answerCap) {
    const size_t m = std::min(strnlen(d.text, sizeof d.text), answerCap - 1);
    std::memcpy(answer, d.text, m);
    answer[m] = '\0';
  }
  // The questions answer 0 and 1 in their normal course; -1 stops. Every
  // other action but keep-alive stops on any nonzero answer.
  if (action == kActionOverwrite || action == kActionPassword) {
    if (r < 0) Stop();
  } else if (r != 0 && action != kActionKeepAlive) {
    Stop();
  }
  return r;
}

bool Run::Progress(int64_t bytes) {
  pendingProgress_ += bytes;
  if (pendingProgress_ >= kProgressStep) {
    const int64_t n = pendingProgress_;
    pendingProgress_ = 0;
    Call(kActionUpdate, 0, n, "");
  }
  return !stop_;
}

void Run::ConsumeProgress(Job& job, bool final) {
  const uint64_t produced = job.produced.load();
  const uint64_t upto = final ? produced : produced - produced % kProgressStep;
  while (job.reported < upto && !stop_) {
    const uint64_t boundary = (job.reported / kProgressStep + 1) * kProgressStep;
    const uint64_t piece = std::min(boundary, upto) - job.reported;
    job.reported += piece;
    Progress(static_cast<int64_t>(piece));
  }
}

bool Run::Selected(const CentralEntry& e) const {
  if (o_.specs.empty()) return true;
  if (o_.exactNames) {
    // Rows chosen in a list: the whole stored name, nothing else.
    for (const std::string& spec : o_.specs)
      if (common::SameEntryName(spec, e.name)) return true;
    return false;
  }
  std::string name = e.name;
  std::replace(name.begin(), name.end(), '\\', '/');
  std::string trimmed = name;
  while (!trimmed.empty() && trimmed.back() == '/') trimmed.pop_back();
  const size_t slash = trimmed.rfind('/');
  const std::string_view leaf = slash == std::string::npos ? std::string_view(trimmed)
                                                           : std::string_view(trimmed).substr(slash + 1);
  for (std::string spec : o_.specs) {
    std::replace(spec.begin(), spec.end(), '\\', '/');
    if (spec.empty()) continue;
    if (spec == "*.*" || spec == "*") return true;
    if (spec.find('/') == std::string::npos) {
      // A bare name matches the file name in any folder.
      if (common::WildcardMatch(spec, leaf)) return true;
    } else {
      while (spec.size() > 1 && spec.back() == '/') spec.pop_back();
      if (common::WildcardMatch(spec, trimmed)) return true;
    }
  }
  return false;
}

bool Run::PathFor(Job& job, const CentralEntry& e, std::vector<std::string>& parts) {
  std::string reason;
  if (!common::SplitEntryName(e.name, parts, reason)) {
    Msg(job, kUnzErrUnsafe, e.name + ": refused, " + reason);
    return false;
  }
  if (!o_.dirNames) parts.erase(parts.begin(), parts.end() - 1);
  return true;
}

bool Run::Conflicts(const std::vector<std::string>& parts) const {
  if (inFlight_.empty()) return false;
  std::string key;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) key += '/';
    key += parts[i];
    if (inFlight_.count(key)) return true;
  }
  return false;
}

int64_t Run::EntryTime(const CentralEntry& e, const LocalHeader* lh) const {
  if (e.mtime != -1) return e.mtime;
  if (lh && lh->mtime != -1) return lh->mtime;
  return common::DosToUnix(e.dosTime, e.dosDate);
}

uint32_t Run::FileMode(const CentralEntry& e) const {
  // The root keeps only the permission bits: setuid, setgid and sticky are
  // never restored, and the umask applies.
  const uint32_t unixMode = e.UnixMode();
  if (unixMode & 0777) return unixMode;
  return (e.externalAttr & 0x01) ? 0444 : 0666;
}

int Run::MayReplace(Job* job, const OnDisk& there, const std::string& shown, int64_t entryTime) {
  if (there.kind == OnDisk::kNone) return o_.freshen ? 0 : 1;
  if (there.kind == OnDisk::kFolder) {
    if (job) Msg(*job, kUnzErrCreate, shown + ": a folder of that name is in the way");
    else Message(kUnzErrCreate, shown + ": a folder of that name is in the way");
    return 0;
  }
  if (o_.update || o_.freshen) {
    // DOS times have two-second steps; a file that new or newer stays.
    if (entryTime >= 0 && there.mtime + 1 >= entryTime) return 0;
  }
  if (o_.overwrite) return 1;
  if (job && job->buffered) return 2;
  const int32_t a = Call(kActionOverwrite, 0, 0, shown);
  if (a < 0) return -1;
  return a == 1 ? 1 : 0;
}

Run::Keys Run::PrepareKeys(Job& job, const CentralEntry& e, const LocalHeader& lh) {
  if (!e.IsEncrypted()) {
    job.keys.store(Job::kKeysOk);
    return Keys::kOk;
  }
  const bool aes = e.IsAes();
  const size_t saltLen = aes ? AesSaltSize(e.aesStrength) : 0;
  const size_t head = aes ? saltLen + kAesVerifierSize : kCryptHeaderSize;
  const size_t tail = aes ? kAesCodeSize : 0;
  if (job.length < head + tail) {
    Msg(job, kUnzErrData, e.name + ": the encrypted data is too short");
    return Keys::kSkip;
  }
  uint8_t* stored = job.aesStored;
  if (!window_.ReadAt(job.offset, stored, head) ||
      (aes && !window_.ReadAt(job.offset + job.length - tail, stored + head, tail))) {
    Msg(job, kUnzErrArchive, e.name + ": the archive cannot be read");
    return Keys::kSkip;
  }
  auto accept = [&] {
    job.offset += head;
    job.length -= head + tail;
  };
  if (job.buffered) {
    // Questions are asked in turn only; an entry that needs one runs again.
    if (password_.empty()) return Keys::kAgain;
    if (aes) {
      job.aesDeferred = true;
      job.aesPassword = password_;
      accept();
      return Keys::kOk;
    }
  }
  // The local flags decide which check byte the writer used.
  const uint8_t check = CryptCheckByte(lh.flags | (e.flags & kFlagDescriptor), e.crc, e.dosTime);
  auto tryPassword = [&](const std::string& pw) {
    if (aes) {
      // The verifier rejects all but one in 65536 wrong passwords before any
      // data is decrypted; the code catches the rest.
      auto c = std::make_unique<AesCipher>();
      uint8_t verifier[kAesVerifierSize];
      if (!c->Init(pw, e.aesStrength, stored, verifier) || std::memcmp(verifier, stored + saltLen, 2) != 0)
        return false;
      job.crypt.aes = std::move(c);
      std::memcpy(job.crypt.code, stored + head, kAesCodeSize);
      return true;
    }
    auto k = std::make_unique<ZipCryptoKeys>(pw);
    uint8_t h[kCryptHeaderSize];
    std::memcpy(h, stored, sizeof h);
    if (!k->DecryptHeader(h, check)) return false;
    job.crypt.keys = std::move(k);
    return true;
  };
  if (!password_.empty() && tryPassword(password_)) {
    accept();
    job.keys.store(Job::kKeysOk);
    return Keys::kOk;
  }
  if (job.buffered) return Keys::kAgain;
  // Ask the caller, a few times at most, for this entry.
  const bool hadPassword = !password_.empty();
  for (int attempt = 0; attempt < 3; ++attempt) {
    char answer[512];
    const int32_t a = Call(kActionPassword, 0, 0, e.name, answer, sizeof answer);
    if (stop_) return Keys::kStop;
    if (a != 1) break;
    std::string pw(answer);
    if (pw.size() > 80) pw.resize(80);
    if (!pw.empty() && tryPassword(pw)) {
      password_ = pw;
      accept();
      job.keys.store(Job::kKeysOk);
      return Keys::kOk;
    }
    Message(kUnzErrPassword, e.name + ": wrong password");
  }
  Message(kUnzErrPassword, e.name + (hadPassword ? ": wrong password, skipped" : ": no password given, skipped"));
  return Keys::kSkip;
}

Run::Next Run::Begin(Job& job, uint64_t dataOffset) {
  const CentralEntry& e = dir_.entries[job.index];
  if (!e.problem.empty()) {
    Msg(job, kUnzErrArchive, e.name + ": " + e.problem);
    return Next::kNothing;
  }
  if (e.extraDamaged) Msg(job, kUnzWarning, e.name + ": a damaged extra field was ignored");
  if (e.IsDirectory()) {
    // A folder holds no data of its own; an entry that claims some is
    // suspect, and its data is never written anywhere.
    if (e.compressedSize > 0 || e.uncompressedSize > 0)
      Msg(job, kUnzErrData, e.name + ": a folder entry that carries " +
                                std::to_string(std::max(e.compressedSize, e.uncompressedSize)) +
                                " bytes of data; the data is left out");
    if (o_.test || !o_.dirNames) return Next::kNothing;
    // "./" and the like name the target folder itself.
    if (e.name.find_first_not_of("./\\") == std::string::npos && e.name.find("..") == std::string::npos)
      return Next::kNothing;
    std::vector<std::string> parts;
    if (!PathFor(job, e, parts)) return Next::kNothing;
    if (job.buffered && Conflicts(parts)) return Next::kWait;
    std::string failure;
    if (!root_.MakeFolder(parts, EntryTime(e, nullptr), failure)) Msg(job, kUnzErrCreate, e.name + ": " + failure);
    return Next::kNothing;
  }

  LocalHeader& lh = header_;
  ReadResult lr = ReadLocalHeader(window_, e.localOffset, lh);
  if (!lr.Ok()) {
    Msg(job, kUnzErrArchive, e.name + ": " + lr.message);
    return Next::kNothing;
  }
  if (lh.rawName != e.rawName)
    Msg(job, kUnzWarning, e.name + ": the local header gives another name; the directory's name is used");
  if (e.flags & kFlagStrongEncryption) {
    Msg(job, kUnzErrUnsupported, e.name + ": strong encryption is not supported");
    return Next::kNothing;
  }
  if (e.IsAes() && (!e.IsEncrypted() || !e.aesVersion || !AesSaltSize(e.aesStrength))) {
    Msg(job, kUnzErrUnsupported, e.name + (e.aesVersion ? ": AES strength " + std::to_string(e.aesStrength) +
                                                              " is not supported"
                                                        : ": AES entry without a valid AES extra field"));
    return Next::kNothing;
  }
  job.method = e.RealMethod();
  if (!MethodSupported(job.method)) {
    Msg(job, kUnzErrUnsupported, e.name + ": " + UnsupportedMethodText(job.method));
    return Next::kNothing;
  }

  job.isLink = e.IsSymlink();
  if (!o_.test && !PathFor(job, e, job.parts)) return Next::kNothing;
  if (job.buffered && !o_.test && !job.isLink && Conflicts(job.parts)) return Next::kWait;
  job.shown = o_.test ? e.name : JoinParts(job.parts);

  if (job.buffered) {
    job.newFileKept = true;
    job.newFileAt = job.events.size();
    job.newFileSize = static_cast<int64_t>(e.uncompressedSize);
  } else {
    Call(kActionNewFile, 0, static_cast<int64_t>(e.uncompressedSize), job.shown);
  }
  if (stop_) return Next::kStop;

  job.offset = dataOffset;
  job.length = e.compressedSize;
  switch (PrepareKeys(job, e, lh)) {
    case Keys::kOk: break;
    case Keys::kSkip: return Next::kNothing;
    case Keys::kStop: return Next::kStop;
    case Keys::kAgain: return Next::kAgain;
  }

  if (!o_.test) job.entryTime = EntryTime(e, &lh);
  if (!o_.test && !job.isLink) {
    std::string failure;
    const int dirFd = root_.OpenFolder(job.parts, job.parts.size() - 1, failure);
    if (dirFd < 0) {
      Msg(job, kUnzErrCreate, job.shown + ": " + failure);
      return Next::kNothing;
    }
    const int r = MayReplace(&job, ExtractRoot::LookAt(dirFd, job.parts.back()), job.shown, job.entryTime);
    if (r == 2) return Next::kAgain;
    if (r < 0 || stop_) return Next::kStop;
    if (r == 0) return Next::kNothing;
    // The declared size is checked against the free space first; the
    // decoder still stops at that size if the data would run longer.
    struct statvfs vfs {};
    if (e.uncompressedSize >= kSpaceCheckFrom && ::fstatvfs(dirFd, &vfs) == 0 && vfs.f_bavail != 0 &&
        e.uncompressedSize / vfs.f_frsize >= static_cast<uint64_t>(vfs.f_bavail)) {
      Msg(job, kUnzErrCreate, job.shown + ": not enough free disk space for " + std::to_string(e.uncompressedSize) +
                                  " bytes");
      return Next::kNothing;
    }
    if (!root_.PrepareFile(job.parts, job.out, failure)) {
      Msg(job, kUnzErrCreate, job.shown + ": " + failure);
      return Next::kNothing;
    }
    job.key = JoinParts(job.parts);
  }
  if (job.length <= kInMemoryLimit) {
    // Small entries come with the read of their header.
    if (const uint8_t* p = window_.Get(job.offset, static_cast<size_t>(job.length))) {
      job.data.assign(p, p + job.length);
      job.inMemory = true;
    }
  }
  return Next::kDecode;
}

void Run::Decode(Job& job, bool direct) {
  const CentralEntry& e = dir_.entries[job.index];
  if (job.aesDeferred) {
    auto c = std::make_unique<AesCipher>();
    uint8_t verifier[kAesVerifierSize];
    const size_t saltLen = AesSaltSize(e.aesStrength);
    const bool ok = c->Init(job.aesPassword, e.aesStrength, job.aesStored, verifier) &&
                    std::memcmp(verifier, job.aesStored + saltLen, kAesVerifierSize) == 0;
    if (ok) {
      job.crypt.aes = std::move(c);
      std::memcpy(job.crypt.code, job.aesStored + saltLen + kAesVerifierSize, kAesCodeSize);
    }
    job.keys.store(ok ? Job::kKeysOk : Job::kKeysRefused);
    if (pool_) pool_->Touch(job);
    if (!ok) return;
  }
  if (!direct && stopFlag_.load()) {
    job.result = DecodeResult::Stopped;
    return;
  }
  if (job.out.Pending() && !job.out.Create(job.fileFailure)) {
    job.createFailed = true;
    return;
  }
  EntryInput in = job.inMemory ? EntryInput(job.data.data(), job.data.size(), job.crypt.keys.get(), job.crypt.aes.get())
                               : EntryInput(file_, job.offset, job.length, job.crypt.keys.get(), job.crypt.aes.get());
  JobSink sink(*this, job, direct);
  if (job.isLink && !o_.test) sink.capture = &job.linkText;
  DecodeResult r = DecodeEntry(job.method, e.flags, in, e.uncompressedSize, sink, job.detail);
  if (job.crypt.aes && r != DecodeResult::Stopped && r != DecodeResult::ReadError) {
    // The code covers every encrypted byte, also those a decoder left.
    uint8_t code[kAesCodeSize];
    if (!in.Drain()) {
      r = DecodeResult::ReadError;
    } else {
      job.crypt.aes->Code(code);
      job.authFailed = std::memcmp(code, job.crypt.code, kAesCodeSize) != 0;
    }
  }
  job.result = r;
  // AE-2 leaves the CRC out (it would tell about the plain data); the
  // authentication code stands for it.
  job.crcOk = (job.crypt.aes && e.aesVersion == 2) || job.crc == e.crc;
  if (r == DecodeResult::Ok && job.crcOk && !job.authFailed && job.out.IsOpen() &&
      !job.out.Ready(FileMode(e), job.entryTime, job.fileFailure))
    job.readyFailed = true;
}

void Run::Finish(Job& job) {
  const CentralEntry& e = dir_.entries[job.index];
  const std::string& shown = job.shown;
  const bool keys = job.crypt.Any();
  bool ok = false;
  if (job.createFailed) {
    Message(kUnzErrCreate, shown + ": " + job.fileFailure);
    return;
  }
  if (job.authFailed) {
    Message(kUnzErrCrc, shown + ": the AES authentication code does not match: the data is damaged or "
                                "was altered" + (o_.test ? "" : "; nothing is kept"));
  } else {
    switch (job.result) {
      case DecodeResult::Ok:
        if (!job.crcOk) {
          Message(kUnzErrCrc, shown + ": CRC error" + (keys ? " (wrong password?)" : ""));
        } else {
          ok = true;
        }
        break;
      case DecodeResult::Stopped:
        if (job.writeFailed)
          Message(kUnzErrCreate, shown + ": cannot write the file: " + std::strerror(job.writeErrno));
        else if (job.isLink && !o_.test && !stop_)
          Message(kUnzErrUnsafe, shown + ": the link text is too long, skipped");
        break;
      case DecodeResult::ReadError: Message(kUnzErrArchive, shown + ": the archive cannot be read"); break;
      case DecodeResult::DataError:
        Message(kUnzErrData, shown + ": " + job.detail + (keys ? " (wrong password?)" : ""));
        break;
      case DecodeResult::TooLong:
        Message(kUnzErrData, shown + ": the data is longer than the size the directory gives");
        break;
      case DecodeResult::TooShort:
        Message(kUnzErrData, shown + ": the data is shorter than the size the directory gives");
        break;
      case DecodeResult::Unsupported: Message(kUnzErrUnsupported, shown + ": " + job.detail); break;
    }
  }

  if (job.readyFailed) {
    Message(kUnzErrCreate, shown + ": " + job.fileFailure);
    ok = false;
  } else if (job.out.IsOpen()) {
    std::string failure;
    if (!ok) {
      job.out.Discard([this] { Call(kActionKeepAlive, 0, 0, ""); });
    } else if (!job.out.Commit(FileMode(e), job.entryTime, failure)) {
      Message(kUnzErrCreate, shown + ": " + failure);
      ok = false;
    }
  }
  if (ok) {
    if (job.isLink && !o_.test) {
      // Freshen only replaces what is there; the other questions are asked
      // when the link is made, after every file.
      if (!o_.freshen || root_.Look(job.parts).kind != OnDisk::kNone)
        root_.AddLink(job.parts, job.linkText, job.entryTime, job.index);
    } else {
      ++good_;
      if (o_.verbose) Message(kUnzInfo, (o_.test ? "tested OK: " : "extracted: ") + shown);
    }
  }
}

bool Run::ExtractDirect(size_t index, uint64_t dataOffset) {
  Job job;
  job.index = index;
  const Next n = Begin(job, dataOffset);
  if (n == Next::kStop || stop_) return false;
  if (n != Next::kDecode) return true;
  Decode(job, true);
  ConsumeProgress(job, true);
  Finish(job);
  return !stop_;
}

void Run::ExtractAll(const std::vector<size_t>& chosen, const std::vector<uint64_t>& dataOffsets) {
  const int threads = DecodeThreads();
  if (threads <= 0 || chosen.size() < 2) {
    for (size_t i : chosen)
      if (!ExtractDirect(i, dataOffsets[i]) || stop_) break;
    return;
  }
  // The calling thread prepares the entries in order (names, questions
  // answered beforehand, temporary files), the workers decode them, and the
  // calling thread finishes them in order again: events, CRC verdicts and
  // the renames into place happen exactly as one entry after another would
  // have them. An entry that needs a question, or writes a name an
  // unfinished entry writes too, waits until the entries before it are done.
  std::deque<std::unique_ptr<Job>> queue;
  {
    DecodePool pool(threads, [this](PoolJob& pj) {
      Job& job = static_cast<Job&>(pj);
      // Nothing may leave a worker; the entry fails instead, in turn.
      try {
        Decode(job, false);
      } catch (const std::exception& ex) {
        job.result = DecodeResult::DataError;
        job.detail = dynamic_cast<const std::bad_alloc*>(&ex) ? "out of memory" : ex.what();
        job.readyFailed = false;
        job.keys.store(Job::kKeysOk);
      }
    });
    pool_ = &pool;
    std::vector<PoolJob*> chunk;
    uint64_t chunkBytes = 0, aheadBytes = 0;
    bool chunkSmall = true;
    auto submit = [&] {
      if (!chunk.empty()) pool.Submit(std::move(chunk), chunkSmall);
      chunkSmall = true;
      chunk.clear();
      chunkBytes = 0;
    };
    size_t next = 0;
    bool barrier = false;
    const size_t maxJobs = o_.test ? kMaxTestJobs : kMaxJobs;
    while (!stop_) {
      // Refilled a chunk at a time, so that workers get whole chunks.
      const bool refill = queue.size() + kChunkJobs <= maxJobs || queue.size() < 2;
      while (refill && !barrier && next < chosen.size() && queue.size() < maxJobs &&
             (queue.size() < 2 || aheadBytes < kMaxAheadBytes)) {
        auto job = std::make_unique<Job>();
        job->index = chosen[next];
        job->buffered = true;
        job->next = Begin(*job, dataOffsets[job->index]);
        if (job->next == Next::kWait) {
          job->out.Discard();
          barrier = true;
          break;
        }
        ++next;
        if (job->next == Next::kAgain) {
          job->out.Discard();
          barrier = true;
        } else if (job->next == Next::kDecode) {
          if (!job->key.empty()) ++inFlight_[job->key];
          const uint64_t weight = dir_.entries[job->index].uncompressedSize + job->length;
          job->weight = weight;
          aheadBytes += weight;
          if (weight >= kBigEntry) {
            submit();
            chunk.push_back(job.get());
            chunkSmall = weight <= kCallerChunk;
            submit();
          } else {
            chunk.push_back(job.get());
            chunkBytes += weight;
            if (chunk.size() >= kChunkJobs || chunkBytes >= kChunkBytes) submit();
          }
        }
        queue.push_back(std::move(job));
      }
      if (barrier || next >= chosen.size()) submit();
      if (queue.empty()) {
        if (!barrier && next >= chosen.size()) break;
        barrier = false;
        continue;
      }
      Job& h = *queue.front();
      // The oldest entry may still be in the chunk being filled.
      if (h.next == Next::kDecode && !h.done.load()) submit();
      if (h.next == Next::kDecode && h.keys.load() == Job::kKeysPending) {
        pool.WaitFor(h, [&h] { return h.keys.load() != Job::kKeysPending; }, std::chrono::milliseconds(20));
        continue;
      }
      if (h.next == Next::kAgain || h.keys.load() == Job::kKeysRefused) {
        // Its questions are asked now, in turn, and the entry runs here.
        if (h.next == Next::kDecode) {
          pool.WaitFor(h, [&h] { return h.done.load(); }, std::chrono::milliseconds(20));
          if (!h.done.load()) continue;
          h.out.Discard();
        }
        const bool go = ExtractDirect(h.index, dataOffsets[h.index]);
        if (!h.key.empty() && --inFlight_[h.key] == 0) inFlight_.erase(h.key);
        if (h.next == Next::kDecode) aheadBytes -= h.weight;
        queue.pop_front();
        if (!go) break;
        continue;
      }
      if (!h.flushed) {
        h.flushed = true;
        for (size_t i = 0; i <= h.events.size() && !stop_; ++i) {
          if (h.newFileKept && i == h.newFileAt) {
            Call(kActionNewFile, 0, h.newFileSize, h.shown);
            if (stop_) break;
          }
          if (i < h.events.size()) Call(h.events[i].action, h.events[i].error, h.events[i].size, h.events[i].text);
        }
        h.events.clear();
        if (stop_) break;
      }
      if (h.next == Next::kDecode) {
        ConsumeProgress(h, false);
        if (stop_) break;
        if (!h.done.load()) {
          // Rather than sleep, decode a few small entries further on.
          if (pool.RunSmallChunk()) continue;
          const uint64_t boundary = (h.reported / kProgressStep + 1) * kProgressStep;
          pool.WaitFor(h, [&h, boundary] { return h.done.load() || h.produced.load() >= boundary; },
                       std::chrono::milliseconds(20));
          continue;
        }
        ConsumeProgress(h, true);
        if (stop_) break;
        Finish(h);
        if (!h.key.empty() && --inFlight_[h.key] == 0) inFlight_.erase(h.key);
        aheadBytes -= h.weight;
      }
      queue.pop_front();
    }
    // After a stop the workers see the flag within one piece of output
    // and pass over what is left; the pool waits for them here.
  }
  pool_ = nullptr;
  inFlight_.clear();
  for (auto& job : queue)
    if (job->out.IsOpen()) job->out.Discard([this] { Call(kActionKeepAlive, 0, 0, ""); });
}

void Run::FinishLinksAndFolders() {
  const auto question = [this](size_t index, const std::vector<std::string>& parts, const OnDisk& there) {
    return MayReplace(nullptr, there, JoinParts(parts), EntryTime(dir_.entries[index], nullptr));
  };
  const ExtractRoot::FinishResult r = root_.Finish(question);
  if (r.stopped) Stop();
  for (const auto& l : r.links) {
    const std::string shown = JoinParts(l.parts);
    if (l.created) {
      ++good_;
      if (o_.verbose) Message(kUnzInfo, "extracted: " + shown);
    } else if (!l.failure.empty()) {
      Message(kUnzErrUnsafe, shown + ": " + l.failure + ", skipped");
    }
  }
}

int32_t Run::Execute() {
  if (!file_.Open(o_.archive)) {
    Message(kUnzErrArchive, o_.archive + ": cannot open the archive: " + std::strerror(errno));
    return 0;
  }
  const ReadResult rr = ReadCentralDirectory(file_, dir_, o_.codePage);
  if (!rr.Ok()) {
    Message(kUnzErrArchive, o_.archive + ": " + rr.message);
    return 0;
  }
  // Entries that share bytes are how the worst compression bombs are built;
  // such an archive is refused as a whole.
  const OverlapReport ov = FindOverlaps(file_, dir_);
  if (!ov.overlaps.empty()) {
    const auto& [a, b] = ov.overlaps.front();
    const std::string what = a == b ? dir_.entries[a].name + " and the central directory"
                                    : dir_.entries[a].name + " and " + dir_.entries[b].name;
    Message(kUnzErrOverlap, o_.archive + ": overlapping entries (" + what + "); nothing is " +
                                (o_.test ? "tested" : "extracted"));
    return 0;
  }

  std::vector<size_t> chosen;
  int64_t files = 0, bytes = 0;
  for (size_t i = 0; i < dir_.entries.size(); ++i) {
    if (!Selected(dir_.entries[i])) continue;
    chosen.push_back(i);
    if (!dir_.entries[i].IsDirectory()) {
      ++files;
      bytes = common::AddClamped(bytes, dir_.entries[i].uncompressedSize);
    }
  }
  Call(kActionTotalFiles, 0, files, "");
  if (!stop_) Call(kActionTotalSize, 0, bytes, "");
  if (stop_) return good_;

  if (!o_.test) {
    std::string failure;
    if (!root_.Open(o_.targetDir.empty() ? "." : o_.targetDir, false, failure)) {
      Message(kUnzErrCreate, failure);
      return 0;
    }
  }
  ExtractAll(chosen, ov.dataOffsets);
  if (!stop_ && !o_.test) FinishLinksAndFolders();
  if (!stop_ && pendingProgress_ > 0) Call(kActionUpdate, 0, pendingProgress_, "");
  if (!stop_) Call(kActionEndOfBatch, 0, 0, "");
  return good_;
}

}  // namespace

int32_t RunUnzip(const UnzOptions& options) {
  Run run(options);
  return run.Execute();
}

}  // namespace arkelin::engine::zip::dll
