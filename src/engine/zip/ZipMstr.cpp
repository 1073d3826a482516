// TZipMaster: properties, the message helpers and List, the directory reader.
//
// List follows the application note's layout: it finds the end of central
// directory record (fast path: the last 22 bytes; otherwise a backward scan
// of at most 65,557 bytes), takes the Zip64 locator and end record when the
// 16/32-bit fields are saturated, then reads the central headers one at a time
// (46 bytes, name, extra field, comment) in a single forward pass. Every
// offset and count is 64-bit and range-checked against the file; nothing is
// allocated from a declared size. The engine libraries' binding lives in
// ZipMstrOps.cpp.
#include "engine/zip/ZipMstr.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>

#include "engine/common/CodePage437.h"
#include "engine/zip/ZipRecords_p.h"
#include "platform/Paths.h"
#include "platform/Platform.h"

namespace arkelin::engine::zip {

namespace fs = std::filesystem;
using platform::ToFsPath;

// The input file of the component: a buffered stdio stream with 64-bit
// positions. Large buffer: the central directory is read in small pieces.
struct TZipMaster::Input {
  std::FILE* f = nullptr;
  std::vector<char> buffer;
  ~Input() { Close(); }
  bool Open(const std::string& name) {
    Close();
    f = std::fopen(name.c_str(), "rb");
    if (!f) return false;
    buffer.resize(1 << 18);
    std::setvbuf(f, buffer.data(), _IOFBF, buffer.size());
    return true;
  }
  void Close() {
    if (f) std::fclose(f);
    f = nullptr;
  }
  bool Seek(int64_t pos) { return f && pos >= 0 && fseeko(f, pos, SEEK_SET) == 0; }
  size_t Read(void* p, size_t n) { return f ? std::fread(p, 1, n, f) : 0; }
  int64_t Length() {
    if (!f) return -1;
    struct stat st {};
    if (fstat(fileno(f), &st) != 0) return -1;
    return st.st_size;
  }
};

namespace {

bool FileExists(const std::string& name) {
  std::error_code ec;
  return !name.empty() && fs::is_regular_file(ToFsPath(name), ec);
}

std::string ExtensionOf(const std::string& name) {
  size_t slash = name.find_last_of("/\\");
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return name.substr(dot);
}

std::string Nnn(int volume) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%03d", (volume + 1001) % 1000);
  return buf;
}

}  // namespace

TZipMaster::TZipMaster() : in_(std::make_unique<Input>()) {}
TZipMaster::~TZipMaster() = default;

void TZipMaster::SetZipFilename(const std::string& name) {
  zipFilename_ = name;
  List();
}

void TZipMaster::SetDLLDirectory(const std::string& folder) {
  dllDirectory_ = folder;
  if (!dllDirectory_.empty() && (dllDirectory_.back() == '\\' || dllDirectory_.back() == '/') &&
      dllDirectory_.size() > 1)
    dllDirectory_.pop_back();
}

void TZipMaster::SetPassword(const std::string& password) { Password = password.substr(0, 255); }

int TZipMaster::Count() const { return zipFilename_.empty() ? 0 : static_cast<int>(entries_.size()); }

int64_t TZipMaster::TotalUncompressed() const {
  int64_t t = 0;
  if (zipFilename_.empty()) return 0;
  for (const auto& e : entries_) t += static_cast<int64_t>(e.UncompressedSize64);
  return t;
}

int64_t TZipMaster::TotalCompressed() const {
  int64_t t = 0;
  if (zipFilename_.empty()) return 0;
  for (const auto& e : entries_) t += static_cast<int64_t>(e.CompressedSize64);
  return t;
}

std::string TZipMaster::AppendBackslash(const std::string& path) {
  if (!path.empty() && path.back() == '\\') return path;
  return path + "\\";
}

std::string TZipMaster::ToBackslashes(const std::string& name) {
  std::string s = name;
  std::replace(s.begin(), s.end(), '/', '\\');
  return s;
}

std::string TZipMaster::OemToAnsiName(const std::string& raw, int version, int host, uint16_t flags) const {
  // Bit 11: the writer declares UTF-8, which readers today expect to honour.
  if (flags & (1u << 11)) return common::Utf8OrCp437(raw);
  const bool convert = (CodePage == cpAuto && host == 0) || host == 6 || (host == 11 && version == 50) ||
                       CodePage == cpOEM;
  if (convert) return common::Cp437ToUtf8(raw);
  // Unchanged: on this platform names are UTF-8; bytes that are not are
  // shown through the OEM table rather than as invalid text.
  return common::Utf8OrCp437(raw);
}

void TZipMaster::FireDirUpdate() {
  if (OnDirUpdate) OnDirUpdate(*this);
}

void TZipMaster::FireMessage(int code, const std::string& text) {
  if (OnMessage) OnMessage(*this, code, text);
}

void TZipMaster::FireProgress(ProgressType type, const std::string& name, int64_t size) {
  if (OnProgress) OnProgress(*this, type, name, size);
}

void TZipMaster::ReportMessage(int number, const std::string& extra) {
  std::string text = ZipMessageText(number) + extra;
  lastMessage_ = text;
  errCode_ = number;
  if (!Unattended) platform::Dialogs().ShowMessage(text);
  FireMessage(0, text);
}

void TZipMaster::HandleZipError(const EZipMaster& e) {
  if (e.Display() && !Unattended) platform::Dialogs().ShowMessage(e.Message());
  errCode_ = e.MessageNumber();
  lastMessage_ = e.Message();
  FireMessage(0, e.Message());
}

bool TZipMaster::DiskPresent() {
  // No drive letters here: the drive is the root of the mount holding the
  // archive, and a volume is present when its statistics can be read.
  volumeName_.clear();
  auto& drives = platform::Drives();
  if (!drives.DiskPresent(drive_)) return false;
  volumeName_ = drives.VolumeLabel(drive_);
  return drives.TotalSpace(drive_) != -1;
}

int TZipMaster::RemoveFile(const std::string& name, DeleteOpts how) {
  std::error_code ec;
  if (!fs::exists(ToFsPath(name), ec)) return -1;
  if (how == htdAllowUndo) return platform::Files().MoveToTrash(name) ? 0 : -1;
  return fs::remove(ToFsPath(name), ec) ? 0 : -1;
}

std::string TZipMaster::VolumeFileName(int n) const {
  // Numbered files: the three characters before the extension carry the
  // volume number from 001. Sets written by other archivers name their
  // volumes .z01, .z02 ... with the last one keeping .zip; that form is taken
  // when the numbered file is not there.
  const std::string& base = baseVolumeName_;
  const std::string ext = ExtensionOf(base);
  const std::string stem = base.substr(0, base.size() - ext.size());
  std::string numbered = stem.size() >= 3 ? stem.substr(0, stem.size() - 3) + Nnn(n) + ext : stem + Nnn(n) + ext;
  if (FileExists(numbered)) return numbered;
  if (n == lastDisk_) return base;
  char z[8];
  std::snprintf(z, sizeof z, ".z%02d", (n + 1) % 100);
  std::string zform = stem + z;
  if (FileExists(zform)) return zform;
  return numbered;
}

void TZipMaster::OpenVolume(int n) {
  in_->Close();
  currentDisk_ = n;
  if (n < 0 || n > lastDisk_) throw EZipMaster(11001, true);
  inFileName_ = VolumeFileName(n);
  if (!in_->Open(inFileName_)) throw EZipMaster(11001, true);
}

bool TZipMaster::LocateEndRecord(uint8_t* eocd, bool raising) {
  archiveComment_.clear();
  if (!in_->Open(inFileName_)) {
    if (raising) throw EZipMaster(11001, true);
    ReportMessage(11002, "");
    return false;
  }
  int labelNumber = 0;
  if (volumeName_.rfind("PKBACK# ", 0) == 0 && volumeName_.size() >= 11) {
    const std::string digits = volumeName_.substr(8, 3);
    if (std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
      labelNumber = std::stoi(digits);
  }
  bool firstVolume = false;
  uint8_t sig[8];
  if (in_->Read(sig, 4) == 4 && common::Le32(sig) == kSigSpanMarker && in_->Read(sig + 4, 4) == 4 &&
      common::Le32(sig + 4) == kSigLocal) {
    firstVolume = true;
    multiVolume_ = true;
  }

  fileLength_ = in_->Length();
  if (fileLength_ < 0) throw EZipMaster(11008, true);
  dataEnd_ = fileLength_;
  // Fast path: an archive without a comment ends with its end record. The
  // comment length must then be 0, or the 22 bytes are part of a comment.
  if (fileLength_ >= kEocdSize && in_->Seek(fileLength_ - kEocdSize) &&
      in_->Read(eocd, kEocdSize) == kEocdSize && common::Le32(eocd) == kSigEocd && common::Le16(eocd + 20) == 0) {
    eocdPos_ = fileLength_ - kEocdSize;
    return true;
  }

  const int64_t w = std::min<int64_t>(kMaxCommentSize + kEocdSize, fileLength_);
  std::vector<uint8_t> tail(static_cast<size_t>(w));
  if (!in_->Seek(fileLength_ - w)) throw EZipMaster(11008, true);
  if (static_cast<int64_t>(in_->Read(tail.data(), tail.size())) != w) throw EZipMaster(11011, true);
  // Nearest hit to the end first; a hit whose comment would reach past the
  // end of the file is a "PK\5\6" inside a comment, unless no better one exists.
  int64_t found = -1, fallback = -1;
  for (int64_t i = w - kEocdSize; i >= 0; --i) {
    if (common::Le32(&tail[i]) != kSigEocd) continue;
    const int64_t e = i + kEocdSize + common::Le16(&tail[i + 20]);
    if (e <= w) { found = i; break; }
    if (fallback < 0) fallback = i;
  }
  if (found < 0) found = fallback;
  if (found < 0) {
    if (!raising) return false;
    if (!firstVolume && labelNumber != 0) throw EZipMaster(11038, labelNumber);
    if (!firstVolume) throw EZipMaster(11036, true);
    if (labelNumber == 1) throw EZipMaster(11037, true);
    throw EZipMaster(11045, true);
  }
  std::memcpy(eocd, &tail[found], kEocdSize);
  eocdPos_ = fileLength_ - w + found;
  const int64_t commentLength = common::Le16(&tail[found + 20]);
  const int64_t e = found + kEocdSize + commentLength;
  if (e != w) {
    dataEnd_ = fileLength_ + (e - w);
    const int64_t trailing = w - e;
    bool padding = trailing > 0 && trailing < 512 && fileLength_ % 512 == 0 &&
                   std::all_of(tail.begin() + e, tail.end(), [](uint8_t b) { return b == 0; });
    if (!padding) ReportMessage(10204, "");
  }
  if (commentLength != 0) {
    const int64_t from = found + kEocdSize;
    const int64_t to = std::min<int64_t>(from + commentLength, w);
    // The end record says nothing about the comment's character set: UTF-8
    // when it is valid UTF-8, the OEM set otherwise.
    archiveComment_ = common::Utf8OrCp437(std::string(tail.begin() + from, tail.begin() + to));
  }
  return true;
}

void TZipMaster::List() {
  entries_.clear();
  fileLength_ = 0;
  centralStart_ = 0;
  archiveStart_ = 0;
  archiveComment_.clear();
  multiVolume_ = false;
  offsetMismatch_ = false;
  if (!FileExists(zipFilename_)) {
    FireDirUpdate();
    return;
  }
  bool failed = true;
  {
    platform::BusyCursorScope busy(platform::Busy());
    try {
      ListInner();
      failed = false;
    } catch (const EZipMaster& e) {
      HandleZipError(e);
    } catch (const std::bad_alloc&) {
      ReportMessage(10103, "");
    } catch (...) {
      ReportMessage(10202, "");
    }
  }
  in_->Close();
  if (failed) {
    zipFilename_.clear();
    archiveStart_ = 0;
  } else {
    archiveStart_ += centralStart_ - recordedOffset_;
    if (archiveStart_ < 0) archiveStart_ = 0;
  }
  FireDirUpdate();
}

void TZipMaster::ListInner() {
  inFileName_ = zipFilename_;
  baseVolumeName_ = zipFilename_;
  drive_ = platform::Drives().DriveRoot(zipFilename_);
  if (!DiskPresent()) throw EZipMaster(11004, drive_);

  uint8_t eocd[kEocdSize];
  LocateEndRecord(eocd, true);
  EndRecord end = ParseEndRecord(eocd);
  lastDisk_ = static_cast<int>(end.thisDisk);
  if (lastDisk_ > 0) multiVolume_ = true;

  // Zip64: the locator sits right before the end record and names the Zip64
  // end record, whose 64-bit fields replace the saturated ones.
  int64_t directoryEnd = dataEnd_ - kEocdSize - end.commentLength;
  zip64_ = false;
  if (eocdPos_ >= kZip64LocatorSize) {
    uint8_t loc[kZip64LocatorSize];
    if (in_->Seek(eocdPos_ - kZip64LocatorSize) && in_->Read(loc, sizeof loc) == sizeof loc &&
        common::Le32(loc) == kSigZip64Locator) {
      const uint64_t recorded = common::Le64(loc + 8);
      uint8_t rec[kZip64EocdSize];
      int64_t at = -1;
      // The recorded position is relative to the archive start; a prefix
      // that was never adjusted shifts it, so also try right before the locator.
      const int64_t candidates[2] = {
          recorded <= static_cast<uint64_t>(fileLength_) ? static_cast<int64_t>(recorded) : -1,
          eocdPos_ - kZip64LocatorSize - kZip64EocdSize};
      for (int64_t c : candidates) {
        if (c >= 0 && in_->Seek(c) && in_->Read(rec, sizeof rec) == sizeof rec && common::Le32(rec) == kSigZip64Eocd) {
          at = c;
          break;
        }
      }
      if (at >= 0) {
        zip64_ = true;
        ApplyZip64EndRecord(rec, end);
        if (end.thisDisk == end.centralDisk) directoryEnd = at;
        lastDisk_ = static_cast<int>(std::min<uint64_t>(end.thisDisk, 65535));
        if (lastDisk_ > 0) multiVolume_ = true;
      }
    }
  }

  recordedOffset_ = static_cast<int64_t>(end.centralOffset);
  if (end.thisDisk == end.centralDisk) {
    centralStart_ = directoryEnd - static_cast<int64_t>(end.centralSize);
    currentDisk_ = static_cast<int>(end.thisDisk);
  } else {
    if (end.centralDisk > end.thisDisk) throw EZipMaster(10201, true);
    OpenVolume(static_cast<int>(end.centralDisk));
    dataEnd_ = in_->Length();
    centralStart_ = recordedOffset_;
  }
  archiveStart_ = dataEnd_ == kEocdSize ? 0 : dataEnd_;
  offsetMismatch_ = recordedOffset_ != centralStart_;
  if (offsetMismatch_) ReportMessage(10203, "");
  if (centralStart_ < 0 || !in_->Seek(centralStart_)) throw EZipMaster(10201, true);

  // Reserve only what the directory's size can hold, never the declared count.
  const uint64_t plausible = std::min<uint64_t>(end.totalEntries, end.centralSize / kCentralSize + 1);
  entries_.reserve(static_cast<size_t>(std::min<uint64_t>(plausible, 1u << 20)));
  uint8_t h[kCentralSize];
  std::string raw;
  std::vector<uint8_t> extra;
  for (uint64_t n = 0; n < end.totalEntries; ++n) {
    if (in_->Read(h, kCentralSize) != kCentralSize) {
      if (currentDisk_ >= lastDisk_) throw EZipMaster(11013, true);
      OpenVolume(currentDisk_ + 1);
      if (in_->Read(h, kCentralSize) != kCentralSize) throw EZipMaster(11013, true);
    }
    if (common::Le32(h) != kSigCentral) throw EZipMaster(11015, true);
    ZipDirEntry e;
    ParseCentralFixed(h, e);
    raw.resize(e.FileNameLength);
    if (in_->Read(raw.data(), raw.size()) != raw.size()) throw EZipMaster(11017, true);
    extra.resize(e.ExtraFieldLength);
    if (in_->Read(extra.data(), extra.size()) != extra.size()) throw EZipMaster(10201, true);
    ApplyExtraFields(extra.data(), extra.size(), raw, e);
    if (e.FileName.empty()) e.FileName = OemToAnsiName(raw, e.MadeByVersion, e.MadeByHost, e.Flags);
    e.FileName = ToBackslashes(e.FileName);
    if (e.FileCommentLength > 0) {
      raw.resize(e.FileCommentLength);
      if (in_->Read(raw.data(), raw.size()) != raw.size()) throw EZipMaster(11022, true);
      e.FileComment = OemToAnsiName(raw, e.MadeByVersion, e.MadeByHost, e.Flags);
    }
    if (static_cast<int64_t>(e.LocalHeaderOffset64) < archiveStart_ &&
        e.LocalHeaderOffset64 <= static_cast<uint64_t>(INT64_MAX))
      archiveStart_ = static_cast<int64_t>(e.LocalHeaderOffset64);
    entries_.push_back(std::move(e));
  }
  // Without entries the data starts where the directory does; taking the
  // end of the data instead would make an empty archive with a comment look
  // like a self-extractor prefix.
  if (entries_.empty()) archiveStart_ = std::min<int64_t>(archiveStart_, recordedOffset_);
  lastDisk_ = static_cast<int>(std::min<uint64_t>(end.thisDisk, 65535));
}

}  // namespace arkelin::engine::zip
