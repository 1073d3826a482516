// The extract and test run behind UnzDllExec: selects entries by the file
// specifications, decodes each one, checks its CRC and, unless testing,
// writes it below the target folder through an ExtractRoot (engine/common):
// every file goes to a temporary file in its folder and is renamed into
// place only when complete and correct, so a failure or a stop never
// leaves a partial file; folders are walked one component at a time
// without following links; symbolic link entries are made after every
// other entry, and only those that resolve inside the target whatever the
// order of the entries.
//
// Entries are decoded by worker threads (DecodePool.h; a large entry on one
// while the small ones after it go on on the others), but everything the
// caller sees happens on the calling thread and in archive order, exactly
// as if the entries ran one after another: events and messages (an entry's
// are held back until the entries before it are finished), questions, CRC
// and authentication verdicts, the renames into place. Progress is counted
// in 64 KiB steps of each entry, so even its events are the same. A
// nonzero answer stops the run at once; the workers see the stop within
// one piece of output and what they prepared is thrown away. Memory: at
// most 128 entries (1024 when testing) and 64 MiB of declared plus stored
// size are prepared ahead, small entries holding their stored data (up to
// 64 KiB each) in memory, so at most 64 MiB of it; each decoding
// thread has its buffers (at most 16.5 MiB, for deflate entries inflated
// in one piece) and the decoder's own state (LZMA/XZ dictionaries capped
// at 768 MiB, Zstandard windows at 128 MiB).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/zip/ZipCommands_p.h"
#include "engine/zip/dll/common/CentralDirectory.h"

namespace arkelin::engine::zip::dll {

// Error codes sent with action 4 (0 = information).
enum UnzError : int32_t {
  kUnzInfo = 0,
  kUnzWarning = 1,
  kUnzErrArchive = 2,      // the archive cannot be opened or read
  kUnzErrCreate = 3,       // a file or folder cannot be created
  kUnzErrCrc = 4,          // CRC mismatch
  kUnzErrPassword = 5,     // wrong or missing password
  kUnzErrUnsupported = 6,  // method or encryption not supported
  kUnzErrUnsafe = 7,       // a name or link that would leave the target
  kUnzErrOverlap = 8,      // entries share bytes
  kUnzErrData = 9,         // damaged data or sizes that do not match
};

struct UnzOptions {
  std::string archive;
  std::string password;
  std::vector<std::string> specs;
  bool test = false;
  bool update = false;
  bool freshen = false;
  bool dirNames = false;
  bool overwrite = false;
  bool verbose = false;
  bool exactNames = false;   // specs are full entry names, compared exactly
  CodePageRule codePage = CodePageRule::kAuto;
  std::string targetDir;     // empty: the current folder
  EngineCallbackFn callback = nullptr;
  void* caller = nullptr;
  void* handle = nullptr;
};

// Runs the whole operation; answers the number of files extracted or
// tested successfully.
int32_t RunUnzip(const UnzOptions& options);

}  // namespace arkelin::engine::zip::dll
