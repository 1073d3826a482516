// TZipMaster's self-extracting conversions.
//
// ConvertSFX writes stub + 256-byte parameter block + the archive with every
// local header offset and the directory offset moved by the length of the
// two; ConvertZIP copies the archive part back with the offsets moved the
// other way, so a round trip gives the original bytes; Zip64 end records
// and Zip64 offsets are moved too. An archive whose directory offset was
// already wrong (a prefix whose offsets were never adjusted), or one whose
// offsets would pass 4 GiB, is copied unchanged: the readers find such an
// archive by the directory's size. The new file is written
// beside its target under a temporary name and put in place only when it is
// complete and its length adds up; the old file then goes (to the trash with
// htdAllowUndo).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <new>
#include <vector>

#include "engine/common/LittleEndian.h"
#include "engine/common/TempFile.h"
#include "engine/zip/ZipMstr_p.h"
#include "engine/zip/dll/common/SfxHeader.h"
#include "engine/zip/dll/common/ZipFormat.h"
#include "platform/Paths.h"
#include "platform/Platform.h"

namespace arkelin::engine::zip {

namespace fs = std::filesystem;

namespace {

// Failures inside a conversion, carrying the result code.
struct ConvertFailure {
  int code;
};

std::string UpperExt(const std::string& name) {
  const size_t slash = name.find_last_of("/\\");
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string e = name.substr(dot);
  for (char& c : e) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return e;
}

std::string WithExtension(const std::string& name, const std::string& ext) {
  const size_t slash = name.find_last_of('/');
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return name + ext;
  return name.substr(0, dot) + ext;
}

bool IsFile(const std::string& name) {
  std::error_code ec;
  return !name.empty() && fs::is_regular_file(platform::ToFsPath(name), ec);
}

// Copies `count` bytes of `in` from `pos` (advanced) to `out`.
bool CopyBytes(const dll::ArchiveFile& in, uint64_t& pos, uint64_t count, BesideFile& out) {
  std::vector<uint8_t> buf(static_cast<size_t>(std::min<uint64_t>(count, 64 * 1024)));
  while (count > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, buf.size()));
    if (!in.ReadAt(pos, buf.data(), n)) throw ConvertFailure{-3};
    if (!out.Write(buf.data(), n)) return false;
    pos += n;
    count -= n;
  }
  return true;
}

// Adds `delta` to the 64-bit local header offset in a central header's
// Zip64 extra field (whose values appear only for the 32-bit fields that
// read 0xFFFFFFFF: uncompressed size, compressed size, then the offset).
bool ShiftZip64Offset(const uint8_t* header, std::vector<uint8_t>& extra, int64_t delta) {
  size_t at = 0;
  while (at + 4 <= extra.size()) {
    const uint16_t tag = common::Le16(extra.data() + at);
    const size_t len = common::Le16(extra.data() + at + 2);
    if (at + 4 + len > extra.size()) return false;
    if (tag == dll::kExtraZip64) {
      size_t field = at + 4;
      if (common::Le32(header + 24) == 0xFFFFFFFFu) field += 8;
      if (common::Le32(header + 20) == 0xFFFFFFFFu) field += 8;
      if (field + 8 > at + 4 + len) return false;
      const uint64_t v = common::Le64(extra.data() + field);
      if (delta < 0 && v < static_cast<uint64_t>(-delta)) return false;
      common::PutLe64(extra.data() + field, v + static_cast<uint64_t>(delta));
      return true;
    }
    at += 4 + len;
  }
  return false;
}

// Copies the directory that starts at `pos` (the central headers, the Zip64
// end record and locator when present, the end record and the archive
// comment) with `delta` added to every stored offset: each header's local
// header offset (in its Zip64 extra field when the 32-bit field reads
// 0xFFFFFFFF), the directory offsets of the Zip64 end record and of the end
// record, the Zip64 end record's offset in the locator. The directory must
// follow the data directly and the end records the directory. `keepGoing`
// (optional) is asked before each header; `pos` ends after the comment.
// 0, 1 stopped, or -2.
int CopyCentralDirectory(const dll::ArchiveFile& in, uint64_t& pos, const dll::EndInfo& end, int64_t delta,
                         BesideFile& out, const std::function<bool()>& keepGoing = {}) {
  auto shift32 = [delta](uint8_t* field) {
    const uint32_t v = common::Le32(field);
    if (v == 0xFFFFFFFFu) return true;  // the value is in a Zip64 record
    const int64_t moved = static_cast<int64_t>(v) + delta;
    if (moved < 0 || moved >= 0xFFFFFFFF) return false;
    common::PutLe32(field, static_cast<uint32_t>(moved));
    return true;
  };
  auto copyRaw = [&](uint64_t count) {
    std::vector<uint8_t> buf(static_cast<size_t>(std::min<uint64_t>(count, 64 * 1024)));
    while (count > 0) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(count, buf.size()));
      if (!in.ReadAt(pos, buf.data(), n) || !out.Write(buf.data(), n)) return false;
      pos += n;
      count -= n;
    }
    return true;
  };
  std::vector<uint8_t> extra;
  for (uint64_t i = 0; i < end.entries; ++i) {
    if (keepGoing && !keepGoing()) return 1;
    uint8_t h[dll::kCentralHeaderSize];
    if (!in.ReadAt(pos, h, sizeof h) || common::Le32(h) != dll::kSigCentral) return -2;
    pos += sizeof h;
    const uint16_t nameLen = common::Le16(h + 28), extraLen = common::Le16(h + 30), commentLen = common::Le16(h + 32);
    std::vector<uint8_t> name(nameLen);
    extra.assign(extraLen, 0);
    if ((nameLen && !in.ReadAt(pos, name.data(), nameLen)) ||
        (extraLen && !in.ReadAt(pos + nameLen, extra.data(), extraLen)))
      return -2;
    pos += uint64_t{nameLen} + extraLen;
    if (common::Le32(h + 42) == 0xFFFFFFFFu ? !ShiftZip64Offset(h, extra, delta) : !shift32(h + 42)) return -2;
    if (!out.Write(h, sizeof h) || (nameLen && !out.Write(name.data(), nameLen)) ||
        (extraLen && !out.Write(extra.data(), extraLen)) || !copyRaw(commentLen))
      return -2;
  }
  if (end.zip64) {
    // The Zip64 end record (its length from its size field), anything up to
    // the locator unchanged, the locator.
    if (pos != end.zip64EndOffset) return -2;
    uint8_t head[dll::kZip64EndSize];
    if (!in.ReadAt(pos, head, sizeof head) || common::Le32(head) != dll::kSigZip64End) return -2;
    const uint64_t recordLen = 12 + common::Le64(head + 4);
    const uint64_t locator = end.offset - dll::kZip64LocatorSize;
    if (recordLen < sizeof head || locator < pos || recordLen > locator - pos) return -2;
    const uint64_t cd = common::Le64(head + 48);
    if (delta < 0 && cd < static_cast<uint64_t>(-delta)) return -2;
    common::PutLe64(head + 48, cd + static_cast<uint64_t>(delta));
    if (!out.Write(head, sizeof head)) return -2;
    pos += sizeof head;
    if (!copyRaw(locator - pos)) return -2;
    uint8_t loc[dll::kZip64LocatorSize];
    if (!in.ReadAt(pos, loc, sizeof loc) || common::Le32(loc) != dll::kSigZip64Locator) return -2;
    const uint64_t at = common::Le64(loc + 8);
    if (delta < 0 && at < static_cast<uint64_t>(-delta)) return -2;
    common::PutLe64(loc + 8, at + static_cast<uint64_t>(delta));
    if (!out.Write(loc, sizeof loc)) return -2;
    pos += sizeof loc;
  }
  uint8_t rec[dll::kEndRecordSize];
  if (pos != end.offset || !in.ReadAt(pos, rec, sizeof rec)) return -2;
  if (!shift32(rec + 16)) return -2;
  if (!out.Write(rec, sizeof rec)) return -2;
  pos += sizeof rec;
  if (!end.comment.empty() && !out.Write(end.comment.data(), end.comment.size())) return -2;
  pos += end.comment.size();
  return 0;
}

// Whether the directory of `end` can be copied with its offsets moved by
// `delta`: the stored offsets agree with the file (no prefix whose length
// they leave out), the directory lies in this file, and every offset stays
// below 4 GiB (all local headers lie before the directory), so that no
// 32-bit field needs the Zip64 form after the move. Other archives are
// copied unchanged; the readers find them by the directory's size.
bool CanShift(const dll::EndInfo& end, int64_t delta) {
  if (end.cdStart != end.cdOffset || !end.DirectoryHere()) return false;
  const int64_t moved = static_cast<int64_t>(end.cdOffset) + delta;
  return moved >= 0 && moved < 0xFFFFFFFF;
}

mode_t ModeFor(bool executable) {
  const mode_t mask = common::CurrentUmask();
  return (executable ? 0777 : 0666) & ~mask;
}

}  // namespace

namespace {
struct StubPlaces {
  std::string exeFolder;
  std::vector<std::string> systemFolders;
};
StubPlaces& TestStubPlaces() {
  static StubPlaces p;
  return p;
}
}  // namespace

void TZipMaster::SetStubPlacesForTests(const std::string& exeFolder, const std::vector<std::string>& systemFolders) {
  TestStubPlaces() = {exeFolder, systemFolders};
}

bool TZipMaster::FindStub() {
  if (IsFile(SFXPath)) return true;
  const StubPlaces& test = TestStubPlaces();
  std::vector<std::string> folders{""};
  for (const std::string& f : test.exeFolder.empty() ? platform::ProgramFileFolders()
                                                     : platform::ProgramFileFolders(test.exeFolder))
    folders.push_back(f);
  if (test.exeFolder.empty()) {
    folders.push_back("/usr/lib/arkelin/");
    folders.push_back("/usr/local/lib/arkelin/");
  } else {
    for (const std::string& f : test.systemFolders) folders.push_back(f.empty() || f.back() == '/' ? f : f + "/");
  }
  if (!dllDirectory_.empty()) folders.push_back(dllDirectory_.back() == '/' ? dllDirectory_ : dllDirectory_ + "/");
  const char* const names[] = {"ZipSFX.bin", "ru2001.bin"};
  for (const std::string& folder : folders)
    for (const char* n : names) {
      const std::string candidate = folder + n;
      if (IsFile(candidate)) {
        SFXPath = candidate;
        return true;
      }
    }
  return false;
}

int TZipMaster::ConvertSFX() { return ConvertSFXMode(false); }

int TZipMaster::ConvertSFXMode(bool createMode) {
  if (!createMode && !IsFile(zipFilename_)) {
    ReportMessage(10102, "");
    return -9;
  }
  const size_t t = SFXCaption.size() + SFXDefaultDir.size() + SFXCommandLine.size();
  dll::SfxHeader h;
  h.caption = SFXCaption;
  h.defaultDir = SFXDefaultDir;
  h.commandLine = SFXCommandLine;
  h.options = static_cast<uint8_t>(((SFXOptions & SFXAskCmdLine) ? dll::kSfxAskCmdLine : 0) |
                                   ((SFXOptions & SFXAskFiles) ? dll::kSfxAskFiles : 0) |
                                   ((SFXOptions & SFXHideOverWriteBox) ? dll::kSfxHideOverwrite : 0) |
                                   (SFXOverWriteMode == OvrAlways ? dll::kSfxOverwriteAlways : 0) |
                                   (SFXOverWriteMode == OvrNever ? dll::kSfxOverwriteNever : 0) |
                                   ((SFXOptions & SFXCheckSize) ? 0 : dll::kSfxNoSizeCheck) |
                                   ((SFXOptions & SFXAutoRun) ? dll::kSfxAutoRun : 0));
  uint8_t block[dll::kSfxHeaderSize];
  if (t > dll::kSfxStringRoom || !dll::BuildSfxHeader(h, block)) {
    ReportMessage(10801, "\r\nSFXCaption + SFXDefaultDir + SFXCommandLine = " + std::to_string(t));
    return -9;
  }
  if (!FindStub()) {
    ReportMessage(10802, "");
    SFXPath.clear();
    return -9;
  }
  platform::BusyCursorScope busy(platform::Busy());
  std::string output;
  if (createMode) {
    output = zipFilename_;
  } else {
    if (UpperExt(zipFilename_) != ".ZIP") {
      ReportMessage(10803, "");
      return -9;
    }
    output = WithExtension(zipFilename_, ".exe");
  }
  int result = 0;
  int64_t s = -1, z = -1;
  BesideFile out;
  if (!out.Create(output)) return -1;
  try {
    dll::ArchiveFile stub;
    if (!stub.Open(platform::ToFsPath(SFXPath).string())) throw ConvertFailure{-3};
    uint64_t pos = 0;
    if (!CopyBytes(stub, pos, stub.Size(), out)) throw ConvertFailure{-2};
    s = static_cast<int64_t>(stub.Size());
    if (!out.Write(block, sizeof block)) throw ConvertFailure{-2};
    if (createMode) {
      uint8_t rec[dll::kEndRecordSize] = {};
      common::PutLe32(rec, dll::kSigEnd);
      common::PutLe32(rec + 16, static_cast<uint32_t>(s + 256));
      if (!out.Write(rec, sizeof rec)) throw ConvertFailure{-2};
    } else {
      inFileName_ = zipFilename_;
      try {
        LocateEndRecord(true);
      } catch (const EZipMaster&) {
        throw ConvertFailure{-3};
      }
      const dll::EndInfo& end = in_->end;
      uint64_t in = 0;
      const bool unchanged = offsetMismatch_ || !CanShift(end, s + 256);
      if (unchanged) {
        if (!CopyBytes(in_->file, in, in_->file.Size(), out)) throw ConvertFailure{-2};
        z = fileLength_;
      } else {
        if (!CopyBytes(in_->file, in, end.cdOffset, out)) throw ConvertFailure{-2};
        if (CopyCentralDirectory(in_->file, in, end, s + 256, out) != 0) throw ConvertFailure{-2};
        z = dataEnd_;
      }
    }
  } catch (const ConvertFailure& f) {
    result = f.code;
  } catch (const std::bad_alloc&) {
    result = -3;
  }
  in_->file.Close();
  const int64_t o = out.Length();
  if (createMode && result == 0) {
    if (!out.Commit(ModeFor(true))) result = -2;
    return result;
  }
  if (result == 0 && (s < 0 || z < 0 || o < 0 || s + z + 256 != o)) result = -9;
  if (result != 0) {
    out.Discard();
    return result;
  }
  if (IsFile(output)) RemoveFile(output, HowToDelete);
  if (!out.Commit(ModeFor(true))) return -2;
  RemoveFile(zipFilename_, HowToDelete);
  SetZipFilename(output);
  return 0;
}

int TZipMaster::ConvertZIP() {
  if (!IsFile(zipFilename_)) {
    ReportMessage(10901, "");
    return -3;
  }
  if (UpperExt(zipFilename_) != ".EXE") {
    ReportMessage(10902, "");
    return -3;
  }
  if (archiveStart_ == 0) {
    ReportMessage(10903, "");
    return -9;
  }
  platform::BusyCursorScope busy(platform::Busy());
  const std::string output = WithExtension(zipFilename_, ".zip");
  const int64_t start = archiveStart_;
  int result = -2;
  int64_t z = -1;
  BesideFile out;
  if (!out.Create(output)) return -1;
  try {
    inFileName_ = zipFilename_;
    try {
      LocateEndRecord(true);
    } catch (const EZipMaster&) {
      throw ConvertFailure{-3};
    }
    const dll::EndInfo& end = in_->end;
    uint64_t in = static_cast<uint64_t>(start);
    const bool unchanged = offsetMismatch_ || end.cdOffset < static_cast<uint64_t>(start) || !CanShift(end, -start);
    if (!unchanged) {
      if (CopyBytes(in_->file, in, end.cdOffset - static_cast<uint64_t>(start), out) &&
          CopyCentralDirectory(in_->file, in, end, -start, out) == 0)
        result = 0;
      z = dataEnd_;
    } else {
      if (CopyBytes(in_->file, in, in_->file.Size() - static_cast<uint64_t>(start), out)) result = 0;
      z = fileLength_;
    }
  } catch (const ConvertFailure& f) {
    result = f.code;
  } catch (const std::bad_alloc&) {
    result = -3;
  }
  in_->file.Close();
  const int64_t o = out.Length();
  if (result == 0 && (z < 0 || o < 0 || z - start != o)) result = -9;
  if (result != 0) {
    out.Discard();
    return result;
  }
  if (IsFile(output)) RemoveFile(output, HowToDelete);
  if (!out.Commit(ModeFor(false))) return -2;
  RemoveFile(zipFilename_, HowToDelete);
  SetZipFilename(output);
  return 0;
}

int TZipMaster::RebuildSFX(const std::string& stubFile, const std::function<bool()>& keepGoing) {
  const std::string target = zipFilename_;
  if (!IsFile(target)) return -3;
  if (archiveStart_ < static_cast<int64_t>(dll::kSfxHeaderSize)) return 2;
  platform::BusyCursorScope busy(platform::Busy());
  dll::ArchiveFile stub, in;
  if (!stub.Open(platform::ToFsPath(stubFile).string()) || !in.Open(platform::ToFsPath(target).string())) return -3;
  // The archive's own parameter block, right before its data.
  const uint64_t start = static_cast<uint64_t>(archiveStart_);
  uint8_t block[dll::kSfxHeaderSize];
  dll::SfxHeader h;
  if (!in.ReadAt(start - sizeof block, block, sizeof block)) return -3;
  // Another program's self-extractor (its prefix kept in place by Add) is
  // left as it is.
  if (!dll::ParseSfxHeader(block, sizeof block, h)) return 2;
  dll::EndInfo end;
  if (!dll::FindEndRecord(in, end).Ok() || !end.DirectoryHere() || end.cdStart < start) return -3;
  const int64_t delta = static_cast<int64_t>(stub.Size() + sizeof block) - static_cast<int64_t>(start);
  BesideFile out;
  if (!out.Create(target)) return -1;
  constexpr size_t kStep = 2048;
  std::vector<uint8_t> buf(kStep);
  // Copies [from, from + count) of `src` in blocks, asking between them.
  auto copy = [&](const dll::ArchiveFile& src, uint64_t from, uint64_t count) -> int {
    while (count > 0) {
      if (keepGoing && !keepGoing()) return 1;
      const size_t n = static_cast<size_t>(std::min<uint64_t>(count, kStep));
      if (!src.ReadAt(from, buf.data(), n)) return -3;
      if (!out.Write(buf.data(), n)) return -2;
      from += n;
      count -= n;
    }
    return 0;
  };
  int r = copy(stub, 0, stub.Size());
  if (r == 0 && !out.Write(block, sizeof block)) r = -2;
  // The data as it is; then the directory with every offset moved by the
  // change in the prefix's length. Offsets stored without the prefix (as a
  // plain concatenation leaves them) stay as they are, and so do offsets
  // that would pass 4 GiB: the readers find those archives by the
  // directory's size.
  if (r == 0) r = copy(in, start, end.cdStart - start);
  uint64_t pos = end.cdStart;
  if (r == 0 && delta != 0 && CanShift(end, delta)) r = CopyCentralDirectory(in, pos, end, delta, out, keepGoing);
  // Whatever follows (the directory unchanged, or bytes after the comment).
  if (r == 0 && pos <= in.Size()) r = copy(in, pos, in.Size() - pos);
  in.Close();
  if (r != 0) {
    out.Discard();
    return r;
  }
  if (!out.Commit(ModeFor(true))) return -2;
  SetZipFilename(target);
  return 0;
}

}  // namespace arkelin::engine::zip
