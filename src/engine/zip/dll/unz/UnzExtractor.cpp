// Extraction and testing of the selected entries, one after another.
#include "engine/zip/dll/unz/UnzExtractor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
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
#include "engine/zip/dll/unz/EntryDecoder.h"

namespace arkelin::engine::zip::dll {

namespace {

constexpr int64_t kProgressStep = 64 * 1024;
constexpr size_t kMaxLinkText = 4096;

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

// Decoded bytes go to the temporary file (or nowhere when testing), into
// the CRC and into the progress count.
class FileSink final : public OutputSink {
 public:
  FileSink(Run& run, ExtractRoot::File* file) : run_(run), file_(file) {}
  bool Write(const uint8_t* data, size_t n) override;
  uint32_t Crc() const { return crc_; }
  bool WriteFailed() const { return writeFailed_; }
  int Errno() const { return file_ ? file_->Error() : 0; }
  std::string* capture = nullptr;  // link text is collected instead of written

 private:
  Run& run_;
  ExtractRoot::File* file_;
  uint32_t crc_ = 0;
  bool writeFailed_ = false;
};

class Run {
 public:
  explicit Run(const UnzOptions& o) : o_(o) { password_ = o.password; }

  int32_t Execute();
  bool Progress(int64_t bytes);  // false when the caller asked to stop

 private:
  // Sends one callback; remembers a stop. `text` is cut to 511 bytes.
  int32_t Call(int32_t action, int32_t error, int64_t size, std::string_view text, char* answer = nullptr,
               size_t answerCap = 0);
  void Message(int32_t code, const std::string& text) { Call(kActionMessage, code, 0, text); }
  bool Selected(const CentralEntry& e) const;
  bool PathFor(const CentralEntry& e, std::vector<std::string>& parts);
  bool ExtractOne(size_t index, uint64_t dataOffset);
  bool PrepareKeys(const CentralEntry& e, const LocalHeader& lh, uint64_t& dataOffset, uint64_t& length,
                   EntryCrypt& crypt, bool& skip);
  // Decides whether what is at `parts` is replaced: 1 yes, 0 skip, -1 stop.
  int MayReplace(const OnDisk& there, const std::string& shown, int64_t entryTime);
  void FinishLinksAndFolders();
  int64_t EntryTime(const CentralEntry& e, const LocalHeader* lh) const;
  uint32_t FileMode(const CentralEntry& e) const;

  const UnzOptions& o_;
  std::string password_;
  bool stop_ = false;
  ArchiveFile file_;
  CentralDirectory dir_;
  ExtractRoot root_;
  int64_t pendingProgress_ = 0;
  int32_t good_ = 0;
};

bool FileSink::Write(const uint8_t* data, size_t n) {
  // Pieces of 64 KiB, so progress (and a stop answer) is seen at least that
  // often even when a decoder hands over a whole entry at once.
  while (n > 0) {
    const size_t piece = std::min<size_t>(n, kProgressStep);
    crc_ = common::Crc32(crc_, data, piece);
    if (capture) {
      if (capture->size() + piece > kMaxLinkText) return false;
      capture->append(reinterpret_cast<const char*>(data), piece);
    } else if (file_ && !file_->Write(data, piece)) {
      writeFailed_ = true;
      return false;
    }
    if (!run_.Progress(static_cast<int64_t>(piece))) return false;
    data += piece;
    n -= piece;
  }
  return true;
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
    if (r < 0) stop_ = true;
  } else if (r != 0 && action != kActionKeepAlive) {
    stop_ = true;
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

bool Run::PathFor(const CentralEntry& e, std::vector<std::string>& parts) {
  std::string reason;
  if (!common::SplitEntryName(e.name, parts, reason)) {
    Message(kUnzErrUnsafe, e.name + ": refused, " + reason);
    return false;
  }
  if (!o_.dirNames) parts.erase(parts.begin(), parts.end() - 1);
  return true;
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

int Run::MayReplace(const OnDisk& there, const std::string& shown, int64_t entryTime) {
  if (there.kind == OnDisk::kNone) return o_.freshen ? 0 : 1;
  if (there.kind == OnDisk::kFolder) {
    Message(kUnzErrCreate, shown + ": a folder of that name is in the way");
    return 0;
  }
  if (o_.update || o_.freshen) {
    // DOS times have two-second steps; a file that new or newer stays.
    if (entryTime >= 0 && there.mtime + 1 >= entryTime) return 0;
  }
  if (o_.overwrite) return 1;
  const int32_t a = Call(kActionOverwrite, 0, 0, shown);
  if (a < 0) return -1;
  return a == 1 ? 1 : 0;
}

bool Run::PrepareKeys(const CentralEntry& e, const LocalHeader& lh, uint64_t& dataOffset, uint64_t& length,
                      EntryCrypt& crypt, bool& skip) {
  skip = false;
  if (!e.IsEncrypted()) return true;
  const bool aes = e.IsAes();
  const size_t saltLen = aes ? AesSaltSize(e.aesStrength) : 0;
  const size_t head = aes ? saltLen + kAesVerifierSize : kCryptHeaderSize;
  const size_t tail = aes ? kAesCodeSize : 0;
  if (length < head + tail) {
    Message(kUnzErrData, e.name + ": the encrypted data is too short");
    skip = true;
    return true;
  }
  uint8_t stored[16 + kAesVerifierSize + kAesCodeSize];
  if (!file_.ReadAt(dataOffset, stored, head) ||
      (aes && !file_.ReadAt(dataOffset + length - tail, stored + head, tail))) {
    Message(kUnzErrArchive, e.name + ": the archive cannot be read");
    skip = true;
    return true;
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
      crypt.aes = std::move(c);
      std::memcpy(crypt.code, stored + head, kAesCodeSize);
      return true;
    }
    auto k = std::make_unique<ZipCryptoKeys>(pw);
    uint8_t h[kCryptHeaderSize];
    std::memcpy(h, stored, sizeof h);
    if (!k->DecryptHeader(h, check)) return false;
    crypt.keys = std::move(k);
    return true;
  };
  auto accept = [&] {
    dataOffset += head;
    length -= head + tail;
  };
  if (!password_.empty() && tryPassword(password_)) {
    accept();
    return true;
  }
  // Ask the caller, a few times at most, for this entry.
  const bool hadPassword = !password_.empty();
  for (int attempt = 0; attempt < 3; ++attempt) {
    char answer[512];
    const int32_t a = Call(kActionPassword, 0, 0, e.name, answer, sizeof answer);
    if (stop_) return false;
    if (a != 1) break;
    std::string pw(answer);
    if (pw.size() > 80) pw.resize(80);
    if (!pw.empty() && tryPassword(pw)) {
      password_ = pw;
      accept();
      return true;
    }
    Message(kUnzErrPassword, e.name + ": wrong password");
  }
  Message(kUnzErrPassword, e.name + (hadPassword ? ": wrong password, skipped" : ": no password given, skipped"));
  skip = true;
  return true;
}

bool Run::ExtractOne(size_t index, uint64_t dataOffset) {
  const CentralEntry& e = dir_.entries[index];
  if (!e.problem.empty()) {
    Message(kUnzErrArchive, e.name + ": " + e.problem);
    return true;
  }
  if (e.extraDamaged) Message(kUnzWarning, e.name + ": a damaged extra field was ignored");
  if (e.IsDirectory()) {
    // A folder holds no data of its own; an entry that claims some is
    // suspect, and its data is never written anywhere.
    if (e.compressedSize > 0 || e.uncompressedSize > 0)
      Message(kUnzErrData, e.name + ": a folder entry that carries " +
                               std::to_string(std::max(e.compressedSize, e.uncompressedSize)) +
                               " bytes of data; the data is left out");
    if (o_.test || !o_.dirNames) return true;
    // "./" and the like name the target folder itself.
    if (e.name.find_first_not_of("./\\") == std::string::npos && e.name.find("..") == std::string::npos)
      return true;
    std::vector<std::string> parts;
    if (!PathFor(e, parts)) return true;
    std::string failure;
    if (!root_.MakeFolder(parts, EntryTime(e, nullptr), failure)) Message(kUnzErrCreate, e.name + ": " + failure);
    return true;
  }

  LocalHeader lh;
  ReadResult lr = ReadLocalHeader(file_, e.localOffset, lh);
  if (!lr.Ok()) {
    Message(kUnzErrArchive, e.name + ": " + lr.message);
    return true;
  }
  if (lh.rawName != e.rawName)
    Message(kUnzWarning, e.name + ": the local header gives another name; the directory's name is used");
  if (e.flags & kFlagStrongEncryption) {
    Message(kUnzErrUnsupported, e.name + ": strong encryption is not supported");
    return true;
  }
  if (e.IsAes() && (!e.IsEncrypted() || !e.aesVersion || !AesSaltSize(e.aesStrength))) {
    Message(kUnzErrUnsupported, e.name + (e.aesVersion ? ": AES strength " + std::to_string(e.aesStrength) +
                                                             " is not supported"
                                                       : ": AES entry without a valid AES extra field"));
    return true;
  }
  const uint16_t method = e.RealMethod();
  if (!MethodSupported(method)) {
    Message(kUnzErrUnsupported, e.name + ": " + UnsupportedMethodText(method));
    return true;
  }

  std::vector<std::string> parts;
  const bool isLink = e.IsSymlink();
  if (!o_.test && !PathFor(e, parts)) return true;
  const std::string shown = o_.test ? e.name : JoinParts(parts);

  Call(kActionNewFile, 0, static_cast<int64_t>(e.uncompressedSize), shown);
  if (stop_) return false;

  uint64_t offset = dataOffset, length = e.compressedSize;
  EntryCrypt crypt;
  bool skip = false;
  if (!PrepareKeys(e, lh, offset, length, crypt, skip)) return false;
  if (skip) return true;

  const int64_t entryTime = EntryTime(e, &lh);
  ExtractRoot::File out;
  if (!o_.test && !isLink) {
    std::string failure;
    const int dirFd = root_.OpenFolder(parts, parts.size() - 1, failure);
    if (dirFd < 0) {
      Message(kUnzErrCreate, shown + ": " + failure);
      return true;
    }
    const int r = MayReplace(root_.Look(parts), shown, entryTime);
    if (r < 0 || stop_) return false;
    if (r == 0) return true;
    // The declared size is checked against the free space first; the
    // decoder still stops at that size if the data would run longer.
    struct statvfs vfs {};
    if (::fstatvfs(dirFd, &vfs) == 0 && vfs.f_bavail != 0 &&
        e.uncompressedSize / vfs.f_frsize >= static_cast<uint64_t>(vfs.f_bavail)) {
      Message(kUnzErrCreate, shown + ": not enough free disk space for " + std::to_string(e.uncompressedSize) +
                                 " bytes");
      return true;
    }
    if (!root_.BeginFile(parts, out, failure)) {
      Message(kUnzErrCreate, shown + ": " + failure);
      return true;
    }
  }

  EntryInput in(file_, offset, length, crypt.keys.get(), crypt.aes.get());
  FileSink sink(*this, out.IsOpen() ? &out : nullptr);
  std::string linkText;
  if (isLink && !o_.test) sink.capture = &linkText;
  std::string detail;
  DecodeResult r = DecodeEntry(method, e.flags, in, e.uncompressedSize, sink, detail);
  bool ok = false;
  const bool keys = crypt.Any();
  bool authFailed = false;
  if (crypt.aes && r != DecodeResult::Stopped && r != DecodeResult::ReadError) {
    // The code covers every encrypted byte, also those a decoder left.
    uint8_t code[kAesCodeSize];
    if (!in.Drain()) {
      r = DecodeResult::ReadError;
    } else {
      crypt.aes->Code(code);
      if (std::memcmp(code, crypt.code, kAesCodeSize) != 0) {
        Message(kUnzErrCrc, shown + ": the AES authentication code does not match: the data is damaged or "
                                    "was altered" + (o_.test ? "" : "; nothing is kept"));
        authFailed = true;
      }
    }
  }
  if (!authFailed) switch (r) {
    case DecodeResult::Ok:
      // AE-2 leaves the CRC out (it would tell about the plain data); the
      // authentication code stands for it.
      if (!(crypt.aes && e.aesVersion == 2) && sink.Crc() != e.crc) {
        Message(kUnzErrCrc, shown + ": CRC error" + (keys ? " (wrong password?)" : ""));
      } else {
        ok = true;
      }
      break;
    case DecodeResult::Stopped:
      if (sink.WriteFailed())
        Message(kUnzErrCreate, shown + ": cannot write the file: " + std::strerror(sink.Errno()));
      else if (sink.capture && !stop_)
        Message(kUnzErrUnsafe, shown + ": the link text is too long, skipped");
      break;
    case DecodeResult::ReadError: Message(kUnzErrArchive, shown + ": the archive cannot be read"); break;
    case DecodeResult::DataError:
      Message(kUnzErrData, shown + ": " + detail + (keys ? " (wrong password?)" : ""));
      break;
    case DecodeResult::TooLong:
      Message(kUnzErrData, shown + ": the data is longer than the size the directory gives");
      break;
    case DecodeResult::TooShort:
      Message(kUnzErrData, shown + ": the data is shorter than the size the directory gives");
      break;
    case DecodeResult::Unsupported: Message(kUnzErrUnsupported, shown + ": " + detail); break;
  }

  if (out.IsOpen()) {
    std::string failure;
    if (!ok) {
      out.Discard([this] { Call(kActionKeepAlive, 0, 0, ""); });
    } else if (!out.Commit(FileMode(e), entryTime, failure)) {
      Message(kUnzErrCreate, shown + ": " + failure);
      ok = false;
    }
  }
  if (ok) {
    if (isLink && !o_.test) {
      // Freshen only replaces what is there; the other questions are asked
      // when the link is made, after every file.
      if (!o_.freshen || root_.Look(parts).kind != OnDisk::kNone) root_.AddLink(parts, linkText, entryTime, index);
    } else {
      ++good_;
      if (o_.verbose) Message(kUnzInfo, (o_.test ? "tested OK: " : "extracted: ") + shown);
    }
  }
  return !stop_;
}

void Run::FinishLinksAndFolders() {
  const auto question = [this](size_t index, const std::vector<std::string>& parts, const OnDisk& there) {
    return MayReplace(there, JoinParts(parts), EntryTime(dir_.entries[index], nullptr));
  };
  const ExtractRoot::FinishResult r = root_.Finish(question);
  if (r.stopped) stop_ = true;
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
  for (size_t i : chosen) {
    if (!ExtractOne(i, ov.dataOffsets[i]) || stop_) break;
  }
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
