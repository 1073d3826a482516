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
#include "engine/common/LittleEndian.h"
#include "engine/common/Saturate.h"
#include "engine/zip/dll/common/CentralDirectory.h"
#include "engine/zip/dll/common/ZipFormat.h"
#include "engine/zip/ZipMstr_p.h"
#include "platform/Paths.h"
#include "platform/Platform.h"

namespace arkelin::engine::zip {

namespace fs = std::filesystem;
using platform::ToFsPath;

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
  for (const auto& e : entries_) t = common::AddClamped(t, e.UncompressedSize64);
  return t;
}

int64_t TZipMaster::TotalCompressed() const {
  int64_t t = 0;
  if (zipFilename_.empty()) return 0;
  for (const auto& e : entries_) t = common::AddClamped(t, e.CompressedSize64);
  return t;
}

std::string TZipMaster::AppendBackslash(const std::string& path) {
  if (!path.empty() && path.back() == '\\') return path;
  return path + "\\";
}

std::string TZipMaster::ToBackslashes(std::string name) {
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

std::string TZipMaster::OemToAnsiName(const std::string& raw, int version, int host, uint16_t flags) const {
  return dll::DecodeStoredText(raw, static_cast<uint16_t>((host << 8) | (version & 0xFF)), flags,
                               static_cast<dll::CodePageRule>(NameRuleValue()));
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
  in_->file.Close();
  currentDisk_ = n;
  if (n < 0 || n > lastDisk_) throw EZipMaster(11001, true);
  inFileName_ = VolumeFileName(n);
  if (!in_->file.Open(ToFsPath(inFileName_).string())) throw EZipMaster(11001, true);
}

bool TZipMaster::LocateEndRecord(bool raising) {
  archiveComment_.clear();
  if (!in_->file.Open(ToFsPath(inFileName_).string())) {
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
  if (in_->file.ReadAt(0, sig, 8) && common::Le32(sig) == dll::kSigDescriptor && common::Le32(sig + 4) == dll::kSigLocal) {
    firstVolume = true;
    multiVolume_ = true;
  }
  fileLength_ = static_cast<int64_t>(in_->file.Size());
  dataEnd_ = fileLength_;
  const dll::ReadResult r = dll::FindEndRecord(in_->file, in_->end);
  if (!r.Ok()) {
    if (!raising) return false;
    switch (r.error) {
      case dll::DirError::kNoEndRecord:
        if (!firstVolume && labelNumber != 0) throw EZipMaster(11038, labelNumber);
        if (!firstVolume) throw EZipMaster(11036, true);
        if (labelNumber == 1) throw EZipMaster(11037, true);
        throw EZipMaster(11045, true);
      case dll::DirError::kCentralTooLarge: throw EZipMaster(10201, true);
      case dll::DirError::kCentralNotFound: throw EZipMaster(11015, true);
      case dll::DirError::kIo: throw EZipMaster(11008, true);
      default: throw EZipMaster(11011, true).Append(": " + r.message);
    }
  }
  dataEnd_ = static_cast<int64_t>(in_->end.dataEnd);
  if (dataEnd_ != fileLength_) {
    const int64_t trailing = fileLength_ - dataEnd_;
    bool padding = trailing > 0 && trailing < 512 && fileLength_ % 512 == 0;
    for (int64_t at = dataEnd_; padding && at < fileLength_; at += 64) {
      uint8_t buf[64];
      const size_t n = static_cast<size_t>(std::min<int64_t>(64, fileLength_ - at));
      padding = in_->file.ReadAt(static_cast<uint64_t>(at), buf, n) &&
                std::all_of(buf, buf + n, [](uint8_t b) { return b == 0; });
    }
    if (!padding) ReportMessage(10204, "");
  }
  // The end record says nothing about the comment's character set: UTF-8
  // when it is valid UTF-8, the OEM set otherwise.
  if (!in_->end.comment.empty()) archiveComment_ = common::Utf8OrCp437(in_->end.comment);
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
  in_->file.Close();
  if (failed) {
    zipFilename_.clear();
    archiveStart_ = 0;
  } else {
    // Locates the data of a self-extracting file whose offsets were never
    // adjusted; offsets from the file are 64-bit and unchecked, so the sum
    // is made without overflowing.
    int64_t delta = 0, start = 0;
    const bool fits = recordedOffset_ <= static_cast<uint64_t>(INT64_MAX) &&
                      !__builtin_sub_overflow(centralStart_, static_cast<int64_t>(recordedOffset_), &delta) &&
                      !__builtin_add_overflow(archiveStart_, delta, &start);
    archiveStart_ = fits && start > 0 ? start : 0;
  }
  FireDirUpdate();
}

void TZipMaster::ListInner() {
  inFileName_ = zipFilename_;
  baseVolumeName_ = zipFilename_;
  drive_ = platform::Drives().DriveRoot(zipFilename_);
  if (!DiskPresent()) throw EZipMaster(11004, drive_);

  LocateEndRecord(true);
  lastDisk_ = static_cast<int>(std::min<uint64_t>(in_->end.disk, 65535));
  if (lastDisk_ > 0) multiVolume_ = true;
  zip64_ = in_->end.zip64;
  recordedOffset_ = in_->end.cdOffset;

  dll::CentralSpan span;
  if (in_->end.DirectoryHere()) {
    centralStart_ = static_cast<int64_t>(in_->end.cdStart);
    currentDisk_ = lastDisk_;
    span.file = &in_->file;
    span.pos = in_->end.cdStart;
    span.end = in_->end.cdEnd;
  } else {
    if (in_->end.cdDisk > in_->end.disk) throw EZipMaster(10201, true);
    // The directory starts on an earlier volume and runs on towards the
    // last one, which ends where its end records begin.
    const uint64_t lastEnd = in_->end.cdEnd;
    OpenVolume(static_cast<int>(in_->end.cdDisk));
    dataEnd_ = static_cast<int64_t>(in_->file.Size());
    centralStart_ = recordedOffset_ <= static_cast<uint64_t>(INT64_MAX) ? static_cast<int64_t>(recordedOffset_) : -1;
    span.file = &in_->file;
    span.pos = recordedOffset_;
    span.end = in_->file.Size();
    span.nextVolume = [this, lastEnd](const dll::ArchiveFile*& file, uint64_t& end) {
      if (currentDisk_ >= lastDisk_) return false;
      OpenVolume(currentDisk_ + 1);
      file = &in_->file;
      end = currentDisk_ == lastDisk_ ? std::min(lastEnd, in_->file.Size()) : in_->file.Size();
      return true;
    };
  }
  archiveStart_ = dataEnd_ == static_cast<int64_t>(dll::kEndRecordSize) ? 0 : dataEnd_;
  offsetMismatch_ = centralStart_ < 0 || recordedOffset_ != static_cast<uint64_t>(centralStart_);
  if (offsetMismatch_) ReportMessage(10203, "");
  if (centralStart_ < 0 || static_cast<uint64_t>(centralStart_) > span.end) throw EZipMaster(10201, true);

  std::vector<dll::CentralEntry> read;
  const dll::ReadResult r =
      dll::ReadCentralEntries(span, in_->end.entries, 0, 0, static_cast<dll::CodePageRule>(NameRuleValue()), read);
  if (!r.Ok()) {
    switch (r.error) {
      case dll::DirError::kHeaderCut: throw EZipMaster(11013, true);
      case dll::DirError::kBadSignature: throw EZipMaster(11015, true);
      case dll::DirError::kNameCut: throw EZipMaster(11017, true);
      case dll::DirError::kExtraCut: throw EZipMaster(10201, true);
      case dll::DirError::kCommentCut: throw EZipMaster(11022, true);
      case dll::DirError::kIo: throw EZipMaster(11013, true);
      default: throw EZipMaster(11013, true).Append(": " + r.message);
    }
  }
  entries_.reserve(read.size());
  for (dll::CentralEntry& c : read) {
    ZipDirEntry e;
    e.MadeByVersion = static_cast<uint8_t>(c.versionMadeBy & 0xFF);
    e.MadeByHost = static_cast<uint8_t>(c.versionMadeBy >> 8);
    e.NeededVersion = c.versionNeeded;
    e.Flags = c.flags;
    e.Method = c.method;
    e.DateTime = (static_cast<uint32_t>(c.dosDate) << 16) | c.dosTime;
    e.CRC32 = c.crc;
    e.CompressedSize = c.headerCompressed;
    e.UncompressedSize = c.headerUncompressed;
    e.FileNameLength = static_cast<uint16_t>(c.rawName.size());
    e.ExtraFieldLength = static_cast<uint16_t>(c.extra.size());
    e.FileCommentLength = static_cast<uint16_t>(c.comment.size());
    e.StartDisk = c.headerDisk;
    e.InternalAttributes = c.internalAttr;
    e.ExternalAttributes = c.externalAttr;
    e.LocalHeaderOffset = c.headerOffset;
    e.FileName = ToBackslashes(std::move(c.name));
    if (!c.unicodeComment.empty()) e.FileComment = std::move(c.unicodeComment);
    else if (!c.comment.empty()) e.FileComment = OemToAnsiName(c.comment, e.MadeByVersion, e.MadeByHost, c.flags);
    e.CompressedSize64 = c.compressedSize;
    e.UncompressedSize64 = c.uncompressedSize;
    e.LocalHeaderOffset64 = c.storedOffset;
    e.StartDisk32 = c.diskStart;
    if (e.LocalHeaderOffset64 <= static_cast<uint64_t>(INT64_MAX) &&
        static_cast<int64_t>(e.LocalHeaderOffset64) < archiveStart_)
      archiveStart_ = static_cast<int64_t>(e.LocalHeaderOffset64);
    entries_.push_back(std::move(e));
  }
  // Without entries the data starts where the directory does; taking the
  // end of the data instead would make an empty archive with a comment look
  // like a self-extractor prefix.
  if (entries_.empty() && recordedOffset_ < static_cast<uint64_t>(archiveStart_))
    archiveStart_ = static_cast<int64_t>(recordedOffset_);
  lastDisk_ = static_cast<int>(std::min<uint64_t>(in_->end.disk, 65535));
}

}  // namespace arkelin::engine::zip
