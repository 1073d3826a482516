// TZipMaster's multi-volume sets: WriteSpan splits an archive into volumes,
// ReadSpan joins a set back into one archive.
//
// Volumes are numbered files side by side (name001.zip, name002.zip, ...)
// on fixed and network drives, and on removable media one file of the
// output's name per medium labelled "PKBACK# NNN". The set follows the
// application note: the first volume starts with the spanning marker, every
// central header names the volume of its local header with the offset in
// that volume, and the end record names the last volume and the volume
// where the directory starts. Headers are never split across volumes.
// ReadSpan also reads the standard split form name.z01, name.z02, ...,
// name.zip, whose parts may cut anywhere.
//
// Questions (insert a disk, overwrite a volume, not enough space) go
// through the platform dialogs; drive types, labels, free space and the
// format of a removable medium through the platform drives service. A
// failed or cancelled WriteSpan removes the volume files it wrote in this
// run; a joined archive is written beside its target and replaces nothing
// until it is complete.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>

#include "engine/common/LittleEndian.h"
#include "engine/common/TempFile.h"
#include "engine/zip/ZipMstr_p.h"
#include "engine/zip/dll/common/ZipFormat.h"
#include "platform/Paths.h"
#include "platform/Platform.h"

namespace arkelin::engine::zip {

namespace fs = std::filesystem;
using platform::DriveType;

namespace {

constexpr size_t kBlock = 8192;
constexpr uint8_t kMarker[4] = {0x50, 0x4B, 0x07, 0x08};

std::string Nnn(int volume) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%03d", (volume + 1001) % 1000);
  return buf;
}

std::string Ext(const std::string& name) {
  const size_t slash = name.find_last_of('/');
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return name.substr(dot);
}

// name + NNN before the extension: backup.zip, volume 0 -> backup001.zip.
std::string NumberedName(const std::string& name, int volume) {
  const std::string e = Ext(name);
  return name.substr(0, name.size() - e.size()) + Nnn(volume) + e;
}

// Volume files of the standard split form: part n (0-based) of `last`
// (name.zip) is name.z01 ... and the last part keeps .zip.
std::string StandardPartName(const std::string& last, int volume) {
  const std::string e = Ext(last);
  char z[16];  // room for any int
  std::snprintf(z, sizeof z, ".z%02d", volume + 1);
  return last.substr(0, last.size() - e.size()) + z;
}

bool SameNameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

int64_t FileMtime(const std::string& name) {
  struct stat st;
  return ::stat(platform::ToFsPath(name).c_str(), &st) == 0 ? static_cast<int64_t>(st.st_mtime) : -1;
}

void SetFdTime(int fd, int64_t t) {
  if (t < 0) return;
  struct timespec ts[2];
  ts[0].tv_sec = ts[1].tv_sec = static_cast<time_t>(t);
  ts[0].tv_nsec = ts[1].tv_nsec = 0;
  ::futimens(fd, ts);
}

// The 3-digit number before the extension (backup003.zip -> 3), or NN of a
// standard part (.z03 -> 3); 0 when there is none.
int PartNumber(const std::string& name) {
  const std::string e = Ext(name);
  if (e.size() == 4 && (e[1] == 'z' || e[1] == 'Z') && std::isdigit(static_cast<unsigned char>(e[2])) &&
      std::isdigit(static_cast<unsigned char>(e[3])))
    return (e[2] - '0') * 10 + (e[3] - '0');
  const std::string stem = name.substr(0, name.size() - e.size());
  if (stem.size() < 3) return 0;
  const std::string d = stem.substr(stem.size() - 3);
  if (!std::all_of(d.begin(), d.end(), [](char c) { return c >= '0' && c <= '9'; })) return 0;
  return std::stoi(d);
}

struct VolumeEntry {
  uint16_t startDisk = 0;
  uint64_t offset = 0;
  std::string name;
  uint32_t compressedSize = 0;
  bool used = false;
};

}  // namespace

// The state of one WriteSpan or ReadSpan.
struct TZipMaster::Span {
  explicit Span(TZipMaster& z) : z(z) {}
  ~Span() { CloseOutputVolume(); }

  TZipMaster& z;
  bool newDisk = false;
  int64_t freeOnVolume = 0;
  int64_t writtenOnVolume = 0;
  int64_t diskSize = -1;
  bool showProgress = false;
  int64_t sourceDate = -1;
  std::string outFileName;
  std::vector<VolumeEntry> entries;
  bool standard = false;  // writing the standard split form
  // Writing: the open volume and every volume file made in this run.
  int outFd = -1;
  std::vector<std::string> made;
  std::vector<std::string> madeFinal;  // final names of the standard form
  // Reading: the position in the current input volume.
  uint64_t inPos = 0;
  BesideFile* joined = nullptr;

  platform::IDrives& Drives() { return platform::Drives(); }

  // ---- questions -------------------------------------------------------------
  DriveType PromptForDisk() {
    platform::Pump().ProcessMessages();
    const DriveType type = Drives().TypeOf(z.drive_);
    platform::Button answer = platform::BtnOK;
    while ((answer == platform::BtnOK && !z.DiskPresent()) || newDisk) {
      if (!platform::IsChangeableMedium(type)) {
        newDisk = false;
        break;
      }
      if (z.Unattended) throw EZipMaster(11025, true);
      std::string text;
      platform::MsgKind kind = platform::MsgKind::None;
      if (z.currentDisk_ < 0) {
        text = ZipMessageText(11033);
        kind = platform::MsgKind::Error;
      } else if (z.writeBusy_) {
        int64_t size = diskSize;
        if (z.MaxVolumeSize > 0 && (size <= 0 || z.MaxVolumeSize < size)) size = z.MaxVolumeSize;
        z.lastDisk_ = z.currentDisk_;
        if (size > 0) {
          const int64_t e = (z.dataEnd_ + 4 + z.KeepFreeOnDisk1) / size;
          if (z.lastDisk_ < e) z.lastDisk_ = static_cast<int>(e);
          text = FormatZipMessage(11034, {std::to_string(z.currentDisk_ + 1), std::to_string(z.lastDisk_ + 1)});
        } else {
          text = FormatZipMessage(11046, {std::to_string(z.currentDisk_ + 1)});
        }
      } else {
        text = FormatZipMessage(11034, {std::to_string(z.currentDisk_ + 1), std::to_string(z.lastDisk_ + 1)});
      }
      text += FormatZipMessage(11035, {z.drive_});
      answer = platform::Dialogs().MessageBoxCaption(platform::ApplicationTitle(), text, kind,
                                                     platform::BtnOK | platform::BtnCancel);
      newDisk = false;
      if (answer == platform::BtnOK && platform::IsChangeableMedium(type)) diskSize = Drives().TotalSpace(z.drive_);
    }
    if (answer != platform::BtnOK) throw EZipMaster(11007, false);
    return type;
  }

  bool LabelsWork() { return Drives().LabelsSupported(z.drive_); }

  // ---- writing -----------------------------------------------------------------
  void CloseOutputVolume() {
    if (outFd < 0) return;
    SetFdTime(outFd, sourceDate);
    ::close(outFd);
    outFd = -1;
  }

  std::string VolumeFile(DriveType type) {
    if (platform::IsChangeableMedium(type)) return outFileName;
    return standard ? StandardPartName(outFileName, z.currentDisk_) : NumberedName(outFileName, z.currentDisk_);
  }

  void WriteToVolume(const uint8_t* block, size_t length, int64_t minimum) {
    platform::Pump().ProcessMessages();
    if (z.Cancel) throw EZipMaster(11007, false);
    for (;;) {
      if (outFd < 0) {
        const DriveType type = PromptForDisk();
        const std::string name = VolumeFile(type);
        if (platform::IsChangeableMedium(type) && (z.AddOptions & AddDiskSpanErase)) {
          z.volumeName_ = "PKBACK# " + Nnn(z.currentDisk_);
          const int r = Drives().FormatVolume(z.drive_, z.volumeName_);
          if (r == -2) throw EZipMaster(11007, false);
          if (r == -1) throw EZipMaster(11007, true);
        }
        std::error_code ec;
        if (fs::exists(platform::ToFsPath(name), ec)) {
          int p = 1;
          if (z.volumeName_.size() >= 11) {
            const std::string d = z.volumeName_.substr(8, 3);
            if (std::all_of(d.begin(), d.end(), [](char c) { return c >= '0' && c <= '9'; })) p = std::stoi(d);
          }
          if (z.Unattended) throw EZipMaster(11025, true);
          const std::string text = FileMtime(name) == sourceDate && p - 1 < z.currentDisk_
                                       ? FormatZipMessage(11040, {std::to_string(p)})
                                       : FormatZipMessage(11039, {name});
          const platform::Button b = platform::Dialogs().MessageBoxCaption(
              "Confirm", text, platform::MsgKind::Warning,
              platform::BtnYes | platform::BtnNo | platform::BtnCancel);
          if (b == platform::BtnNo) {
            writtenOnVolume = 0;
            newDisk = true;
            continue;
          }
          if (b != platform::BtnYes) throw EZipMaster(11007, false);
        }
        outFd = ::open(platform::ToFsPath(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (outFd < 0) throw EZipMaster(11009, true);
        if (std::find(made.begin(), made.end(), name) == made.end()) made.push_back(name);
        const int64_t free = Drives().FreeSpace(z.drive_);
        freeOnVolume = free < 0 ? INT64_MAX : free;
        if (z.MaxVolumeSize > 0 && z.MaxVolumeSize < freeOnVolume) freeOnVolume = z.MaxVolumeSize;
        if (z.currentDisk_ == 0) freeOnVolume -= z.KeepFreeOnDisk1;
        if (z.MinFreeVolumeSize > freeOnVolume) {
          ::close(outFd);
          outFd = -1;
          ::unlink(platform::ToFsPath(name).c_str());
          made.erase(std::remove(made.begin(), made.end(), name), made.end());
          if (z.Unattended) throw EZipMaster(11025, true);
          const platform::Button b = platform::Dialogs().MessageBoxCaption(
              platform::ApplicationTitle(), ZipMessageText(11032), platform::MsgKind::Error,
              platform::BtnRetry | platform::BtnCancel);
          if (b != platform::BtnRetry) throw EZipMaster(11007, false);
          writtenOnVolume = 0;
          newDisk = true;
          continue;
        }
        if (platform::IsChangeableMedium(type)) {
          z.volumeName_ = "PKBACK# " + Nnn(z.currentDisk_);
          if (LabelsWork() && !Drives().SetVolumeLabel(z.drive_, z.volumeName_)) throw EZipMaster(11005, true);
        }
      }
      if (minimum > 0 && minimum > freeOnVolume) {
        // What belongs together does not fit here: it starts the next volume.
        if (writtenOnVolume == 0) throw EZipMaster(11010, true);
        CloseOutputVolume();
        writtenOnVolume = 0;
        newDisk = true;
        ++z.currentDisk_;
        continue;
      }
      const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(length), freeOnVolume));
      size_t done = 0;
      while (done < n) {
        const ssize_t w = ::write(outFd, block + done, n - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) throw EZipMaster(11010, true);
        done += static_cast<size_t>(w);
      }
      if (showProgress) z.FireProgress(ProgrUpdate, "", static_cast<int64_t>(n));
      writtenOnVolume += static_cast<int64_t>(n);
      freeOnVolume -= static_cast<int64_t>(n);
      if (n == length) return;
      if (n == 0 && writtenOnVolume == 0) throw EZipMaster(11010, true);
      CloseOutputVolume();
      freeOnVolume = 0;
      writtenOnVolume = 0;
      ++z.currentDisk_;
      newDisk = true;
      block += n;
      length -= n;
    }
  }

  void ReadInput(uint8_t* buf, size_t n, int error) {
    if (!z.in_->file.ReadAt(inPos, buf, n)) throw EZipMaster(error, true);
    inPos += n;
  }

  void CopyToVolumes(uint64_t length, int error) {
    uint8_t buf[kBlock];
    while (length > 0) {
      const size_t chunk = static_cast<size_t>(std::min<uint64_t>(length, kBlock));
      ReadInput(buf, chunk, error);
      WriteToVolume(buf, chunk, 0);
      length -= chunk;
    }
  }

  void Write() {
    const dll::EndInfo& end = z.in_->end;
    if (end.zip64 || end.disk != 0) throw EZipMaster(11024, true).Append("(Zip64 archives and sets cannot be split)");
    if (end.entries > z.in_->file.Size() / dll::kCentralHeaderSize) throw EZipMaster(11013, true);
    entries.resize(static_cast<size_t>(end.entries));
    inPos = 0;
    WriteToVolume(kMarker, 4, 0);
    showProgress = true;
    z.FireProgress(ProgrTotalFiles, "", static_cast<int64_t>(entries.size()));
    z.FireProgress(ProgrTotalSize, "", z.dataEnd_);
    for (size_t i = 0; i < entries.size(); ++i) {
      uint8_t h[dll::kLocalHeaderSize];
      ReadInput(h, sizeof h, 11012);
      if (common::Le32(h) != dll::kSigLocal) throw EZipMaster(11014, true);
      const uint16_t flags = common::Le16(h + 6);
      const uint32_t csize = common::Le32(h + 18);
      const uint16_t nameLen = common::Le16(h + 26), extraLen = common::Le16(h + 28);
      std::string name(nameLen, '\0');
      ReadInput(reinterpret_cast<uint8_t*>(name.data()), nameLen, 11016);
      entries[i].name = name;
      const std::string shown = ToBackslashes(z.OemToAnsiName(name, 20, 0, flags));
      z.FireMessage(0, ZipMessageText(10105) + shown);
      z.FireProgress(ProgrNewFile, shown,
                     30 + nameLen + extraLen + static_cast<int64_t>(csize) + ((flags & 8) ? 16 : 0));
      WriteToVolume(h, sizeof h, 30 + nameLen + extraLen);
      entries[i].startDisk = static_cast<uint16_t>(z.currentDisk_);
      entries[i].offset = static_cast<uint64_t>(writtenOnVolume - 30);
      WriteToVolume(reinterpret_cast<const uint8_t*>(name.data()), nameLen, 0);
      CopyToVolumes(extraLen, 11018);
      CopyToVolumes(csize, 11021);
      if (flags & 8) CopyToVolumes(16, 11020);
    }
    z.FireMessage(0, ZipMessageText(10105) + "Central directory");
    inPos = end.cdStart;
    z.FireProgress(ProgrNewFile, "Central directory",
                   static_cast<int64_t>(end.cdSize) + 22 + static_cast<int64_t>(end.comment.size()));
    int cdVolume = z.currentDisk_;
    uint64_t cdOffset = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
      uint8_t h[dll::kCentralHeaderSize];
      ReadInput(h, sizeof h, 11013);
      if (common::Le32(h) != dll::kSigCentral) throw EZipMaster(11015, true);
      const uint16_t nameLen = common::Le16(h + 28), extraLen = common::Le16(h + 30), commentLen = common::Le16(h + 32);
      std::string name(nameLen, '\0');
      ReadInput(reinterpret_cast<uint8_t*>(name.data()), nameLen, 11017);
      VolumeEntry* ve = Find(name, i);
      if (!ve) throw EZipMaster(11026, true);
      common::PutLe16(h + 34, ve->startDisk);
      common::PutLe32(h + 42, static_cast<uint32_t>(ve->offset));
      WriteToVolume(h, sizeof h, 46 + nameLen + extraLen + commentLen);
      if (i == 0) {
        cdVolume = z.currentDisk_;
        cdOffset = static_cast<uint64_t>(writtenOnVolume - 46);
      }
      WriteToVolume(reinterpret_cast<const uint8_t*>(name.data()), nameLen, 0);
      CopyToVolumes(extraLen, 11019);
      CopyToVolumes(commentLen, 11022);
    }
    uint8_t rec[dll::kEndRecordSize];
    inPos = end.offset;
    ReadInput(rec, sizeof rec, 11008);
    if (entries.empty()) {
      cdVolume = z.currentDisk_;
      cdOffset = static_cast<uint64_t>(writtenOnVolume);
    }
    common::PutLe16(rec + 6, static_cast<uint16_t>(cdVolume));
    common::PutLe32(rec + 16, static_cast<uint32_t>(cdOffset));
    // The end record goes with its comment; the disk number is the volume
    // it lands on.
    const uint16_t commentLen = common::Le16(rec + 20);
    const int64_t need = 22 + commentLen;
    if (need > freeOnVolume && writtenOnVolume > 0) {
      CloseOutputVolume();
      writtenOnVolume = 0;
      newDisk = true;
      ++z.currentDisk_;
      WriteToVolume(rec, 0, 0);  // opens the next volume
    }
    common::PutLe16(rec + 4, static_cast<uint16_t>(z.currentDisk_));
    WriteToVolume(rec, sizeof rec, need);
    CopyToVolumes(std::min<uint64_t>(commentLen, z.in_->file.Size() - inPos), 11023);
    showProgress = false;
  }

  VolumeEntry* Find(const std::string& name, size_t hint) {
    if (hint < entries.size() && !entries[hint].used && SameNameNoCase(entries[hint].name, name)) {
      entries[hint].used = true;
      return &entries[hint];
    }
    for (auto& e : entries)
      if (!e.used && SameNameNoCase(e.name, name)) {
        e.used = true;
        return &e;
      }
    return nullptr;
  }

  // Renames numbered standard parts: the last one becomes name.zip.
  void FinishStandardNames() {
    if (!standard || made.empty()) return;
    const std::string last = made.back();
    std::error_code ec;
    fs::rename(platform::ToFsPath(last), platform::ToFsPath(outFileName), ec);
    if (ec) throw EZipMaster(11009, true);
    made.back() = outFileName;
  }

  void RemoveMade() {
    CloseOutputVolume();
    for (const std::string& m : made) ::unlink(platform::ToFsPath(m).c_str());
    made.clear();
  }

  // ---- reading ------------------------------------------------------------------
  bool IsExpectedVolume(DriveType type) {
    if (!platform::IsChangeableMedium(type) || !LabelsWork()) {
      if (!platform::IsChangeableMedium(type)) z.inFileName_ = z.VolumeFileName(z.currentDisk_);
      return true;
    }
    return z.volumeName_ == "PKBACK# " + Nnn(z.currentDisk_);
  }

  void OpenVolume(int n) {
    z.in_->file.Close();
    z.currentDisk_ = n;
    for (;;) {
      DriveType type;
      do {
        newDisk = true;
        type = PromptForDisk();
      } while (!IsExpectedVolume(type));
      if (z.in_->file.Open(platform::ToFsPath(z.inFileName_).string())) break;
      if (!platform::IsChangeableMedium(type)) throw EZipMaster(11001, true);
      z.ReportMessage(11001, "");
    }
    inPos = 0;
  }

  // Reads n bytes, going on to the next volumes when the current one ends.
  void ReadAcross(uint8_t* buf, size_t n, int error) {
    while (n > 0) {
      const uint64_t size = z.in_->file.Size();
      const size_t here = static_cast<size_t>(std::min<uint64_t>(n, size > inPos ? size - inPos : 0));
      if (here > 0) {
        if (!z.in_->file.ReadAt(inPos, buf, here)) throw EZipMaster(error, true);
        inPos += here;
        buf += here;
        n -= here;
      }
      if (n == 0) break;
      if (z.currentDisk_ >= z.lastDisk_) throw EZipMaster(error, true);
      OpenVolume(z.currentDisk_ + 1);
    }
  }

  void WriteJoined(const uint8_t* block, size_t n, int error) {
    if (!joined->Write(block, n)) throw EZipMaster(error, true);
    if (showProgress) z.FireProgress(ProgrUpdate, "", static_cast<int64_t>(n));
  }

  void CopyFromVolumes(uint64_t length, int error) {
    uint8_t buf[kBlock];
    while (length > 0) {
      platform::Pump().ProcessMessages();
      if (z.Cancel) throw EZipMaster(11007, false);
      const size_t chunk = static_cast<size_t>(std::min<uint64_t>(length, kBlock));
      ReadAcross(buf, chunk, error);
      WriteJoined(buf, chunk, error);
      length -= chunk;
    }
  }

  void Read() {
    // The last volume: the one holding the end record.
    DriveType type = DriveType::Removable;
    for (;;) {
      if (!platform::IsChangeableMedium(type)) {
        const int p = PartNumber(z.inFileName_);
        if (p == 1) throw EZipMaster(11037, true);
        throw EZipMaster(11038, p);
      }
      type = PromptForDisk();
      newDisk = true;
      if (z.LocateEndRecord(false)) break;
    }
    newDisk = false;
    sourceDate = FileMtime(z.inFileName_);
    const dll::EndInfo end = z.in_->end;
    z.lastDisk_ = static_cast<int>(std::min<uint64_t>(end.disk, 65535));
    z.baseVolumeName_ = z.inFileName_;
    z.currentDisk_ = z.lastDisk_;
    if (end.cdDisk != end.disk) OpenVolume(static_cast<int>(end.cdDisk));
    if (end.cdOffset > z.in_->file.Size()) throw EZipMaster(11008, true);
    inPos = end.cdOffset;
    if (end.entries > 0xFFFF * 1024ull) throw EZipMaster(11013, true);
    entries.resize(static_cast<size_t>(end.entries));
    int64_t total = 0;
    for (auto& ve : entries) {
      uint8_t h[dll::kCentralHeaderSize];
      ReadAcross(h, sizeof h, 11013);
      if (common::Le32(h) != dll::kSigCentral) throw EZipMaster(11015, true);
      const uint16_t nameLen = common::Le16(h + 28), extraLen = common::Le16(h + 30), commentLen = common::Le16(h + 32);
      ve.name.resize(nameLen);
      ReadAcross(reinterpret_cast<uint8_t*>(ve.name.data()), nameLen, 11017);
      ve.compressedSize = common::Le32(h + 20);
      total += nameLen + static_cast<int64_t>(ve.compressedSize) + extraLen + commentLen;
      SkipAcross(uint64_t{extraLen} + commentLen, 11008);
    }
    OpenVolume(0);
    showProgress = true;
    z.FireProgress(ProgrTotalFiles, "", static_cast<int64_t>(entries.size()));
    z.FireProgress(ProgrTotalSize, "", total);
    uint8_t marker[4];
    if (z.in_->file.Size() < 4 || !z.in_->file.ReadAt(0, marker, 4) || std::memcmp(marker, kMarker, 4) != 0)
      throw EZipMaster(11031, true);
    inPos = 4;
    for (size_t i = 0; i < entries.size(); ++i) {
      uint8_t h[dll::kLocalHeaderSize];
      ReadAcross(h, sizeof h, 11012);
      if (common::Le32(h) != dll::kSigLocal) throw EZipMaster(11014, true);
      const uint16_t flags = common::Le16(h + 6);
      const uint16_t nameLen = common::Le16(h + 26), extraLen = common::Le16(h + 28);
      std::string name(nameLen, '\0');
      ReadAcross(reinterpret_cast<uint8_t*>(name.data()), nameLen, 11016);
      VolumeEntry* ve = Find(name, i);
      if (!ve) throw EZipMaster(11026, true);
      ve->startDisk = 0;
      ve->offset = joined->Written();
      const uint32_t csize = common::Le32(h + 18) != 0 ? common::Le32(h + 18) : ve->compressedSize;
      const std::string shown = ToBackslashes(z.OemToAnsiName(name, 20, 0, flags));
      z.FireMessage(0, ZipMessageText(10105) + shown);
      z.FireProgress(ProgrNewFile, shown, 30 + nameLen + extraLen + static_cast<int64_t>(csize) + ((flags & 8) ? 16 : 0));
      std::string block(reinterpret_cast<const char*>(h), sizeof h);
      block += name;
      WriteJoined(reinterpret_cast<const uint8_t*>(block.data()), block.size(), 11028);
      CopyFromVolumes(extraLen, 11018);
      CopyFromVolumes(csize, 11021);
      if (flags & 8) CopyFromVolumes(16, 11020);
    }
    for (auto& ve : entries) ve.used = false;
    showProgress = false;
    uint64_t cdOffset = joined->Written();
    for (size_t i = 0; i < entries.size(); ++i) {
      uint8_t h[dll::kCentralHeaderSize];
      ReadAcross(h, sizeof h, 11013);
      if (common::Le32(h) != dll::kSigCentral) throw EZipMaster(11015, true);
      const uint16_t nameLen = common::Le16(h + 28), extraLen = common::Le16(h + 30), commentLen = common::Le16(h + 32);
      std::string name(nameLen, '\0');
      ReadAcross(reinterpret_cast<uint8_t*>(name.data()), nameLen, 11017);
      if (i == 0) cdOffset = joined->Written();
      VolumeEntry* ve = Find(name, i);
      if (!ve) throw EZipMaster(11026, true);
      common::PutLe32(h + 42, static_cast<uint32_t>(ve->offset));
      common::PutLe16(h + 34, 0);
      std::string block(reinterpret_cast<const char*>(h), sizeof h);
      block += name;
      WriteJoined(reinterpret_cast<const uint8_t*>(block.data()), block.size(), 11029);
      CopyFromVolumes(extraLen, 11019);
      CopyFromVolumes(commentLen, 11022);
    }
    // The end record: on the last volume at its own offset.
    if (z.currentDisk_ != z.lastDisk_) OpenVolume(z.lastDisk_);
    inPos = end.offset;
    uint8_t rec[dll::kEndRecordSize];
    ReadAcross(rec, sizeof rec, 11008);
    common::PutLe16(rec + 4, 0);
    common::PutLe16(rec + 6, 0);
    // One volume now: the entries on it are all the entries.
    common::PutLe16(rec + 8, common::Le16(rec + 10));
    common::PutLe32(rec + 16, static_cast<uint32_t>(cdOffset));
    WriteJoined(rec, sizeof rec, 11030);
    const uint16_t commentLen = common::Le16(rec + 20);
    const uint64_t present = std::min<uint64_t>(commentLen, z.in_->file.Size() - inPos);
    if (present != commentLen) common::PutLe16(rec + 20, static_cast<uint16_t>(present));
    CopyFromVolumes(present, 11023);
  }

  void SkipAcross(uint64_t n, int error) {
    uint8_t buf[kBlock];
    while (n > 0) {
      const size_t chunk = static_cast<size_t>(std::min<uint64_t>(n, kBlock));
      ReadAcross(buf, chunk, error);
      n -= chunk;
    }
  }
};

int TZipMaster::WriteSpan(const std::string& inFile, const std::string& outFile) {
  return WriteSpanForm(inFile, outFile, false);
}

int TZipMaster::WriteSpanForm(const std::string& inFile, const std::string& outFile, bool standardForm) {
  int result = 0;
  writeBusy_ = true;
  Span s(*this);
  s.standard = standardForm;
  drive_ = platform::Drives().DriveRoot(outFile);
  currentDisk_ = 0;
  s.newDisk = true;
  inFileName_ = inFile;
  s.outFileName = outFile;
  platform::BusyCursorScope busy(platform::Busy());
  if (Verbose) FireMessage(0, "Now creating spanning chunks from " + inFile + " to " + outFile);
  try {
    std::error_code ec;
    if (!fs::is_regular_file(platform::ToFsPath(inFile), ec)) throw EZipMaster(11001, true);
    LocateEndRecord(true);
    s.sourceDate = FileMtime(inFile);
    s.Write();
    s.CloseOutputVolume();
    s.FinishStandardNames();
  } catch (const EZipMaster& e) {
    HandleZipError(e);
    result = -7;
  } catch (const std::bad_alloc&) {
    ReportMessage(10103, "");
    result = -8;
  } catch (...) {
    ReportMessage(11024, "");
    result = -9;
  }
  FireProgress(ProgrEndOfBatch, "", 0);
  s.CloseOutputVolume();
  if (result != 0) s.RemoveMade();
  in_->file.Close();
  writeBusy_ = false;
  Cancel = false;
  return result;
}

int TZipMaster::ReadSpan(const std::string& inFile, std::string& outFile) {
  int result = 0;
  readBusy_ = true;
  Span s(*this);
  drive_ = platform::Drives().DriveRoot(inFile);
  currentDisk_ = -1;
  inFileName_ = inFile;
  platform::BusyCursorScope busy(platform::Busy());
  BesideFile out;
  std::string target;
  try {
    std::error_code ec;
    const bool folder = outFile.empty() || outFile.back() == '/' || outFile.back() == '\\' ||
                        fs::is_directory(platform::ToFsPath(outFile), ec);
    if (folder) {
      std::string dir = outFile.empty() ? "." : outFile;
      if (dir.back() == '\\') dir.back() = '/';
      const std::string t = platform::Files().TempFileName(dir, "zip");
      if (t.empty()) throw EZipMaster(11027, true);
      fs::remove(platform::ToFsPath(t), ec);
      target = t;
    } else {
      target = outFile;
    }
    const std::string e = Ext(target);
    target = target.substr(0, target.size() - e.size()) + ".zip";
    if (!out.Create(target)) throw EZipMaster(11009, true);
    s.joined = &out;
    s.Read();
  } catch (const EZipMaster& e) {
    HandleZipError(e);
    result = -7;
  } catch (const std::bad_alloc&) {
    ReportMessage(10103, "");
    result = -8;
  } catch (...) {
    ReportMessage(11024, "");
    result = -9;
  }
  FireProgress(ProgrEndOfBatch, "", 0);
  in_->file.Close();
  if (result == 0) {
    out.SetTime(s.sourceDate);
    std::error_code ec;
    if (fs::exists(platform::ToFsPath(target), ec)) RemoveFile(target, HowToDelete);
    if (!out.Commit(0666 & ~common::CurrentUmask())) {
      ReportMessage(11009, "");
      result = -7;
    }
  }
  if (result == 0) {
    outFile = target;
  } else {
    out.Discard();
    outFile.clear();
  }
  readBusy_ = false;
  Cancel = false;
  return result;
}

}  // namespace arkelin::engine::zip
