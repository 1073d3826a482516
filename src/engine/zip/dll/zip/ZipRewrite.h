// What every rewrite of an existing archive shares (add, delete, a change
// of password): the old archive opened with its directory read completely,
// entries copied raw, the leading part (a self-extractor stub) kept, and the
// commit that ends the new file, reads its directory back, compares it with
// what was meant to be written and renames it over the old one. Until that
// rename the old archive is never touched.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/zip/dll/common/ArchiveFile.h"
#include "engine/zip/dll/common/CentralDirectory.h"
#include "engine/zip/dll/zip/ZipOutFile.h"
#include "engine/zip/dll/zip/ZipRecordWriter.h"
#include "engine/zip/dll/zip/ZipUpdateJob.h"

namespace arkelin::engine::zip::zipdll {

// Thrown when the callback asked to stop.
struct Cancelled {};
// Thrown when the old archive turns out unreadable half way.
struct BadArchive {
  std::string text;
};

std::string ErrText(int e);

// The existing archive, opened and its directory read.
struct OldArchive {
  dll::ArchiveFile file;
  dll::CentralDirectory dir;
  bool present = false;
  bool exists = false;
  struct stat st {};
  uint64_t prefixEnd = 0;
};

// Answers false after reporting why the archive cannot be used. A directory
// that cannot be read completely is never rewritten: writing it back would
// drop the entries that could not be read.
bool LoadOld(const std::string& path, OldArchive& old, Reporter& rep, bool mustExist, dll::CodePageRule rule);

// The central record of an existing entry as it stands, placed at `offset`
// (without its Zip64 block, which the writer adds where the sizes need it).
OutEntry KeptEntry(const dll::CentralEntry& e, uint64_t offset);

// Copies one existing entry (local header, data, descriptor) unchanged and
// answers its central record for the new place. Throws BadArchive.
OutEntry CopyOldEntry(const OldArchive& old, const dll::CentralEntry& e, OutFile& out);

// Copies whatever comes before the first local header.
void CopyPrefix(const OldArchive& old, OutFile& out);

// The mode the new file gets: the old archive's, or the default for a new one.
mode_t ModeFor(const OldArchive& old);

// Writes the central directory and the end records, checks the finished
// file against `central` and renames it over `archive`. Throws WriteError.
void CommitRewrite(OutFile& out, const std::string& archive, const OldArchive& old,
                   const std::vector<OutEntry>& central);

// A link to the archive stays a link: the archive it points to is the one
// rewritten (the rename would otherwise put a plain file in its place).
std::string ResolveArchive(const std::string& path);

// Runs `body`, which writes the new archive into `out` and commits it. A
// stop, a damaged old archive or a failed write leaves the archive as it was:
// the reason is reported, `undo` runs first (when given), and the answer is
// false.
template <typename Body, typename Undo>
bool GuardedRewrite(const std::string& archive, OutFile& out, Reporter& rep, Body&& body, Undo&& undo) {
  try {
    body();
    return true;
  } catch (const Cancelled&) {
    undo();
    out.Discard([&rep] { rep.KeepAlive(); });
  } catch (const BadArchive& b) {
    undo();
    rep.Message(kMsgBadArchive, archive + ": " + b.text + "; the archive is unchanged");
  } catch (const WriteError& w) {
    undo();
    rep.Message(kMsgWriteError, archive + ": write failed (" + ErrText(w.error) + "); the archive is unchanged");
  }
  return false;
}

template <typename Body>
bool GuardedRewrite(const std::string& archive, OutFile& out, Reporter& rep, Body&& body) {
  return GuardedRewrite(archive, out, rep, std::forward<Body>(body), [] {});
}

}  // namespace arkelin::engine::zip::zipdll
