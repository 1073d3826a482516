// Turns the file specifications of an add command into the list of files
// and folders to store, with the name each one gets inside the archive.
// A specification is a file, a folder (its files; with recursion everything
// below it) or a pattern with * and ? in its last component ("*.*" means
// every file), matched without regard to case. Relative specifications are
// taken from the current folder. Names keep the folders as given (absolute
// ones lose their leading separator, "." and ".." steps are resolved and
// never lead above the start) or, when folder names are junked, only the file
// name. Symbolic links are followed: a link to a file is stored as that
// file, a link to a folder is walked like a folder (with recursion), under
// the link's name. A link back to a folder the walk is already inside of is
// a loop: left out with a message, as is every other file left out (broken
// links the pattern names, unreadable folders, devices, pipes and sockets,
// which are never read).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace arkelin::engine::zip::zipdll {

struct SourceItem {
  std::string diskPath;   // as the walk reached it, for opening
  std::string entryName;  // "/" separators, folders end in "/"
  bool isDir = false;
  uint64_t size = 0;
  int64_t mtime = 0;
  uint32_t mode = 0;      // st_mode
};

struct GatherOptions {
  bool recurse = false;
  bool dirNames = true;    // false: junk the folder names
  bool hidden = true;      // false: skip names starting with "."
  bool dirEntries = false; // store folder entries
  bool forceDos = false;   // 8.3 upper-case names
  // The archive being written, never added to itself.
  bool haveArchive = false;
  dev_t archiveDev = 0;
  ino_t archiveIno = 0;
};

struct GatherResult {
  std::vector<SourceItem> items;      // in walk order, names unique
  std::vector<std::string> unmatched; // specifications that found nothing
  std::vector<std::string> skipped;   // messages about files left out
  std::vector<std::string> folders;   // folders named or entered by recursion, parents first
};

GatherResult GatherSources(const std::vector<std::string>& specs, const GatherOptions& options);

// The stored name for a path as given: normalised, optionally only the last
// component, optionally 8.3 upper case. Empty when nothing is left.
std::string StoredName(const std::string& givenPath, bool dirNames, bool forceDos);

// One name component in 8.3 upper case: at most 8 characters, a dot and 3
// for the extension (taken after the last dot); characters that DOS names
// cannot hold become "_".
std::string DosComponent(const std::string& component);

}  // namespace arkelin::engine::zip::zipdll
