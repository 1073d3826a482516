// The command records handed to the engine libraries and the callback
// record they pass back, in the engine's field order with native pointer
// widths (addresses and handles are pointer-sized; every other field keeps
// its 32-bit width, the recurse flag its 16). Flag fields hold -1 for true
// and 0 for false. Fields the component does not fill are reserved and 0.
//
// Two layouts per command: the short one for libraries reporting a version
// below 151 (zip) / 152 (unzip), with the file specification addresses inline,
// and the long one with an array of file specification records.
//
// Callback actions 1 to 6 are progress and messages; 7 and 8 are questions
// answered in the callback's result:
//   7  overwrite: text = the file that exists; answer 1 = overwrite,
//      0 = skip the file, -1 = stop.
//   8  password: text = the encrypted entry; the component writes the
//      password (zero-terminated) into text and answers 1, or answers 0 when
//      none is given (the entry is then skipped), -1 = stop.
// Unattended components answer 0 to both without asking.
//   9  keep alive: nothing to show, the library is still busy (removing a
//      large partial file after a stop); the answer is not read.
//
// Fields this engine adds where the records keep room (0 means the old
// behaviour, so a caller that leaves them 0 gets what it always got):
//   codePage    which stored names are taken as code page 437 (the values of
//               CodePageOpts), so the library finds entries by the same names
//               the component lists;
//   exactNames  the file specifications are full stored entry names, compared
//               exactly ("*" and "?" literal, case counts), as chosen from a
//               list; otherwise they are wildcard specifications;
//   extractDir  (unzip) the folder to extract into; none = the current folder;
//   aesStrength (zip) with encrypt: 0 traditional encryption, 1, 2 or 3 AES
//               with 128, 192 or 256-bit keys.
//   newPassword, changePassword (zip, long layout) with changePassword -1:
//               no files are added; every file entry of the archive is
//               encrypted again with newPassword (at most 80 characters)
//               in the kind aesStrength names, after the password field's
//               password opened all the entries that were encrypted.
#pragma once

#include <cstddef>
#include <cstdint>

namespace arkelin::engine::zip::dll {

inline constexpr int32_t kZipRecordVersion = 158;
inline constexpr int32_t kUnzipRecordVersion = 152;
inline constexpr int kFirstLongZipVersion = 151;
inline constexpr int kFirstLongUnzipVersion = 152;
inline constexpr int kShortLayoutSpecRoom = 4097;
inline constexpr int32_t kSeven = 7;   // fixed marker value at the end of each layout

enum CallbackAction : int32_t {
  kActionNewFile = 1,
  kActionUpdate = 2,
  kActionEndOfBatch = 3,
  kActionMessage = 4,
  kActionTotalFiles = 5,
  kActionTotalSize = 6,
  kActionOverwrite = 7,
  kActionPassword = 8,
  kActionKeepAlive = 9,
};

struct EngineCallbackData {
  void* handle;          // set by the library, not read
  void* caller;          // the component instance from the command record
  int64_t reserved8;     // set by the library, not read
  int32_t actionCode;
  int32_t errorCode;     // action 4
  int64_t fileSize;      // size or count (actions 1, 2, 5, 6)
  char text[512];        // zero-terminated or filling all 512 bytes
};

using EngineCallbackFn = int32_t (*)(EngineCallbackData*);

struct ZipFileSpec {
  const char* fileSpec;
  char reserved[100];
};

struct UnzipFileSpec {
  const char* fileSpec;
  char reserved[68];
};

// Fields common to both ZipCommand layouts, in the record's order.
struct ZipCommandHead {
  void* handle;              // owner window: none when unattended
  void* caller;              // the component instance
  int32_t version;           // 158
  EngineCallbackFn callback;
  int32_t traceEnabled;
  const char* password;      // at most 80 characters
  int32_t reserved24;
  int32_t encrypt;
  int32_t systemFiles;       // hidden and system files
  int32_t codePage;          // see above
  int32_t exactNames;        // see above
  int32_t noDirEntries;      // true unless separate folder entries are asked for
  int32_t reserved48;
  int32_t verbose;
  int32_t minusOne56;        // -1
  int32_t level;
  int32_t reserved64;
  int32_t aesStrength;       // see above
  int32_t junkDirNames;
  int16_t recurse;           // 0xFFFF when recursing
  int16_t reserved78;
  int32_t addFlag;           // -1 for Add, 0 for Delete
  int32_t forceDos;
  int32_t move;
  int32_t deleteEntries;     // -1 for Delete
  int32_t update;
  int32_t freshen;
  int32_t reserved104;
  int32_t keepArchiveTime;
  int32_t reserved112;
  int32_t reserved116;
  int32_t argc;              // number of file specifications
  const char* archiveName;
};

struct ZipCommandShort {
  ZipCommandHead head;
  int32_t seven;             // 7
  const char* fileSpecs[kShortLayoutSpecRoom];
};

struct ZipCommandLong {
  ZipCommandHead head;
  const char* tempDir;       // none when TempDir is empty
  int32_t reserved132;
  int32_t reserved136;
  ZipFileSpec* fileSpecs;    // one per specification
  const char* newPassword;   // see above
  int32_t changePassword;    // see above
  int32_t reserved156[14];
  int32_t seven;             // 7
};
// The two fields took the room of reserved ones: the marker stays in place.
static_assert(offsetof(ZipCommandLong, seven) == offsetof(ZipCommandLong, fileSpecs) + sizeof(void*) + 17 * 4);

struct UnzipCommandHead {
  void* handle;
  void* caller;
  int32_t version;           // 152
  EngineCallbackFn callback;
  int32_t traceEnabled;
  int32_t reserved20;
  const char* password;      // at most 80 characters
  int32_t test;
  int32_t codePage;          // see above
  int32_t exactNames;        // see above
  int32_t minusOne40;        // -1
  int32_t verbose;
  int32_t update;
  int32_t freshen;
  int32_t dirNames;
  int32_t overwrite;
  int32_t argc;
  const char* archiveName;
  const char* extractDir;    // see above
};

struct UnzipCommandShort {
  UnzipCommandHead head;
  int32_t seven;
  const char* fileSpecs[kShortLayoutSpecRoom];
};

struct UnzipCommandLong {
  UnzipCommandHead head;
  UnzipFileSpec* fileSpecs;
  int32_t reserved76[17];
  int32_t seven;
};

// Entry points, C linkage, exported by the libraries.
using ZipDllExecFn = int32_t (*)(ZipCommandHead*);
using UnzDllExecFn = int32_t (*)(UnzipCommandHead*);
using DllVersionFn = int32_t (*)();

}  // namespace arkelin::engine::zip::dll
