// TZipMaster's self-extracting conversions.
//
// ConvertSFX writes stub + 256-byte parameter block + the archive with every
// local header offset and the directory offset moved by the length of the
// two; ConvertZIP copies the archive part back with the offsets moved the
// other way, so a round trip gives the original bytes. An archive whose
// directory offset was already wrong (a prefix whose offsets were never
// adjusted), or one with Zip64 end records, is copied unchanged: the readers
// find such an archive by the directory's size. The new file is written
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
#include <new>

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

// Copies the central directory starting at `pos` with `delta` added to each
// header's local header offset, then the end record with `delta` added to
// the directory offset, then the archive comment. The directory must follow
// the data directly and the end record the directory. 0, or -2.
int CopyCentralDirectory(const dll::ArchiveFile& in, uint64_t& pos, const dll::EndInfo& end, int64_t delta,
                         BesideFile& out) {
  for (uint64_t i = 0; i < end.entries; ++i) {
    uint8_t h[dll::kCentralHeaderSize];
    if (!in.ReadAt(pos, h, sizeof h) || common::Le32(h) != dll::kSigCentral) return -2;
    common::PutLe32(h + 42, static_cast<uint32_t>(static_cast<int64_t>(common::Le32(h + 42)) + delta));
    if (!out.Write(h, sizeof h)) return -2;
    pos += sizeof h;
    const uint64_t rest = uint64_t{common::Le16(h + 28)} + common::Le16(h + 30) + common::Le16(h + 32);
    try {
      if (!CopyBytes(in, pos, rest, out)) return -2;
    } catch (const ConvertFailure&) {
      return -2;
    }
  }
  uint8_t rec[dll::kEndRecordSize];
  if (pos != end.offset || !in.ReadAt(pos, rec, sizeof rec)) return -2;
  common::PutLe32(rec + 16, static_cast<uint32_t>(static_cast<int64_t>(end.cdOffset) + delta));
  if (!out.Write(rec, sizeof rec)) return -2;
  pos += sizeof rec;
  if (!end.comment.empty() && !out.Write(end.comment.data(), end.comment.size())) return -2;
  pos += end.comment.size();
  return 0;
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
      const bool unchanged = offsetMismatch_ || end.zip64 || end.cdStart != end.cdOffset;
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
    const bool unchanged = offsetMismatch_ || end.zip64 || end.cdStart != end.cdOffset ||
                           end.cdOffset < static_cast<uint64_t>(start);
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
  if (!IsFile(target) || archiveStart_ < static_cast<int64_t>(dll::kSfxHeaderSize)) return -3;
  platform::BusyCursorScope busy(platform::Busy());
  dll::ArchiveFile stub, in;
  if (!stub.Open(platform::ToFsPath(stubFile).string()) || !in.Open(platform::ToFsPath(target).string())) return -3;
  // The archive's own parameter block, right before its data.
  const uint64_t start = static_cast<uint64_t>(archiveStart_);
  uint8_t block[dll::kSfxHeaderSize];
  dll::SfxHeader h;
  if (!in.ReadAt(start - sizeof block, block, sizeof block) || !dll::ParseSfxHeader(block, sizeof block, h)) return -3;
  dll::EndInfo end;
  if (!dll::FindEndRecord(in, end).Ok() || end.zip64 || !end.DirectoryHere() || end.cdStart < start) return -3;
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
  // change in the prefix's length (offsets stored without the prefix, as a
  // prefix added by a plain concatenation leaves them, stay as they are).
  const int64_t shift = end.cdStart == end.cdOffset ? delta : 0;
  if (r == 0) r = copy(in, start, end.cdStart - start);
  uint64_t pos = end.cdStart;
  for (uint64_t i = 0; r == 0 && i < end.entries; ++i) {
    if (keepGoing && !keepGoing()) {
      r = 1;
      break;
    }
    uint8_t c[dll::kCentralHeaderSize];
    if (!in.ReadAt(pos, c, sizeof c) || common::Le32(c) != dll::kSigCentral) {
      r = -3;
      break;
    }
    common::PutLe32(c + 42, static_cast<uint32_t>(static_cast<int64_t>(common::Le32(c + 42)) + shift));
    if (!out.Write(c, sizeof c)) r = -2;
    pos += sizeof c;
    const uint64_t rest = uint64_t{common::Le16(c + 28)} + common::Le16(c + 30) + common::Le16(c + 32);
    if (r == 0) r = copy(in, pos, rest);
    pos += rest;
  }
  if (r == 0) {
    uint8_t rec[dll::kEndRecordSize];
    if (pos != end.offset || !in.ReadAt(pos, rec, sizeof rec)) {
      r = -3;
    } else {
      common::PutLe32(rec + 16, static_cast<uint32_t>(static_cast<int64_t>(end.cdOffset) + shift));
      if (!out.Write(rec, sizeof rec)) r = -2;
      if (r == 0) r = copy(in, pos + sizeof rec, in.Size() - pos - sizeof rec);
    }
  }
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
