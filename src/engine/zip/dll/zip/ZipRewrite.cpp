// The shared rewrite steps of the zip library; see ZipRewrite.h.
#include "engine/zip/dll/zip/ZipRewrite.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace arkelin::engine::zip::zipdll {

std::string ErrText(int e) { return std::strerror(e); }

// Answers false after reporting why the archive cannot be used. A directory
// that cannot be read completely is never rewritten: writing it back would
// drop the entries that could not be read.
bool LoadOld(const std::string& path, OldArchive& old, Reporter& rep, bool mustExist, dll::CodePageRule rule) {
  if (stat(path.c_str(), &old.st) != 0) {
    if (errno == ENOENT && !mustExist) return true;
    rep.Message(kMsgBadArchive, path + ": " + ErrText(errno));
    return false;
  }
  old.exists = true;
  if (!S_ISREG(old.st.st_mode)) {
    rep.Message(kMsgBadArchive, path + ": not a regular file");
    return false;
  }
  if (!old.file.Open(path)) {
    rep.Message(kMsgBadArchive, path + ": " + ErrText(errno));
    return false;
  }
  if (old.file.Size() == 0 && !mustExist) return true;  // an empty file becomes a new archive
  const dll::ReadResult r = dll::ReadCentralDirectory(old.file, old.dir, rule);
  if (!r.Ok()) {
    rep.Message(kMsgBadArchive, path + ": " + (r.message.empty() ? "not a zip archive" : r.message) +
                                    "; the archive is damaged and left unchanged");
    return false;
  }
  for (const auto& e : old.dir.entries) {
    if (!e.problem.empty()) {
      rep.Message(kMsgBadArchive, path + ": entry " + e.name + ": " + e.problem + "; the archive is left unchanged");
      return false;
    }
  }
  old.present = true;
  old.prefixEnd = old.dir.FirstLocalOffset();
  return true;
}

// Copies one existing entry (local header, data, descriptor) unchanged and
// answers its central record for the new place.
OutEntry KeptEntry(const dll::CentralEntry& e, uint64_t offset) {
  OutEntry oe;
  oe.madeBy = e.versionMadeBy;
  oe.needed = e.versionNeeded;
  oe.flags = e.flags;
  oe.method = e.method;
  oe.dosTime = e.dosTime;
  oe.dosDate = e.dosDate;
  oe.crc = e.crc;
  oe.csize = e.compressedSize;
  oe.usize = e.uncompressedSize;
  oe.offset = offset;
  oe.internalAttr = e.internalAttr;
  oe.externalAttr = e.externalAttr;
  oe.name = e.rawName;
  oe.extra = StripExtraBlock(e.extra, kExtraZip64);
  oe.comment = e.comment;
  return oe;
}

OutEntry CopyOldEntry(const OldArchive& old, const dll::CentralEntry& e, OutFile& out) {
  dll::LocalHeader lh;
  const dll::ReadResult r = dll::ReadLocalHeader(old.file, e.localOffset, lh);
  if (!r.Ok()) throw BadArchive{e.name + ": " + r.message};
  uint64_t end = lh.dataOffset + e.compressedSize;
  if (end < lh.dataOffset || end > old.file.Size()) throw BadArchive{e.name + ": data runs past the end of the archive"};
  if (e.flags & kFlagDescriptor) end += dll::DescriptorSize(old.file, end, lh.zip64Extra, e.crc);
  OutEntry oe = KeptEntry(e, out.Position());
  std::string buf(static_cast<size_t>(std::min<uint64_t>(end - e.localOffset, 1 << 20)), '\0');
  for (uint64_t pos = e.localOffset; pos < end;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(end - pos, buf.size()));
    if (!old.file.ReadAt(pos, buf.data(), n)) throw BadArchive{e.name + ": cannot be read from the archive"};
    out.Write(buf.data(), n);
    pos += n;
  }
  return oe;
}

namespace {
void WriteCentralAndEnd(OutFile& out, const std::vector<OutEntry>& entries, const std::string& comment,
                        std::string& tail) {
  const uint64_t cdOffset = out.Position();
  for (const auto& e : entries) out.Write(BuildCentralHeader(e));
  const uint64_t cdSize = out.Position() - cdOffset;
  tail = BuildEnd(entries.size(), cdSize, cdOffset, comment);
  out.Write(tail);
}
}  // namespace

void CopyPrefix(const OldArchive& old, OutFile& out) {
  std::string buf(1 << 20, '\0');
  for (uint64_t pos = 0; pos < old.prefixEnd;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(old.prefixEnd - pos, buf.size()));
    if (!old.file.ReadAt(pos, buf.data(), n)) throw BadArchive{"the archive's leading part cannot be read"};
    out.Write(buf.data(), n);
    pos += n;
  }
}

mode_t ModeFor(const OldArchive& old) {
  return old.exists ? (old.st.st_mode & 07777) : static_cast<mode_t>(-1);
}

// Ends the new archive, reads its directory back and compares it with what
// was meant to be written, then puts it in place of the old one.
void CommitRewrite(OutFile& out, const std::string& archive, const OldArchive& old,
                   const std::vector<OutEntry>& central) {
  std::string tail;
  WriteCentralAndEnd(out, central, old.present ? old.dir.comment : std::string(), tail);
  out.Finish(tail);
  dll::ArchiveFile check;
  dll::CentralDirectory dir;
  if (!check.Open(out.TempPath()) || !dll::ReadCentralDirectory(check, dir).Ok() ||
      dir.entries.size() != central.size())
    throw WriteError{EIO};
  for (size_t i = 0; i < central.size(); ++i) {
    const auto& e = dir.entries[i];
    if (e.localOffset != central[i].offset || e.compressedSize != central[i].csize || e.crc != central[i].crc ||
        e.rawName != central[i].name)
      throw WriteError{EIO};
  }
  check.Close();
  out.Replace(archive, ModeFor(old), old.st.st_uid, old.st.st_gid);
}

// A link to the archive stays a link: the archive it points to is the one
// rewritten (the rename would otherwise put a plain file in its place).
std::string ResolveArchive(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return path;
  std::string out = real;
  free(real);
  return out;
}

}  // namespace arkelin::engine::zip::zipdll
