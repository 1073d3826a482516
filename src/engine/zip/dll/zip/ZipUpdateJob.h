// What the zip library does with one command: add files to an archive (new
// or existing) or delete entries from one. Either way the result is written
// to a temporary file beside the archive and renamed over it only when it is
// complete and checked, so a failure, a full disk or a stop asked by the
// callback leaves the original byte for byte as it was. Entries that stay are
// copied raw (their compressed bytes are never touched), a self-extractor
// stub in front of the archive is kept, and every offset is written for the
// new file. New files are compressed on worker threads; every callback runs
// on the calling thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/zip/ZipCommands_p.h"
#include "engine/zip/dll/common/CentralDirectory.h"

namespace arkelin::engine::zip::zipdll {

// Error codes of the messages (callback action 4). 0 is information.
enum MessageCode : int32_t {
  kMsgInfo = 0,
  kMsgWarning = 1,        // a specification matched nothing, a file was left out
  kMsgReadError = 2,      // a file to add could not be read
  kMsgBadArchive = 3,     // the existing archive cannot be read
  kMsgWriteError = 4,     // the new archive could not be written (disk full...)
  kMsgBadCommand = 5,     // the command record is unusable
  kMsgNoMemory = 6,
  kMsgPassword = 7,       // the password given does not open an encrypted entry
};

// The command record decoded into plain values.
struct Command {
  std::string archive;
  std::vector<std::string> specs;
  std::string password;
  bool encrypt = false;
  int aes = 0;          // with encrypt: 0 traditional, 1..3 AES-128/192/256
  bool hidden = false;
  bool dirEntries = false;
  bool dirNames = true;
  bool recurse = false;
  bool remove = false;  // delete entries instead of adding files
  bool forceDos = false;
  bool move = false;
  bool update = false;
  bool freshen = false;
  bool keepArchiveTime = false;
  bool verbose = false;
  bool exactNames = false;  // delete: specs are full entry names, compared exactly
  // Encrypt every file entry again with newPassword (password opens the
  // encrypted ones); specs are not used.
  bool changePassword = false;
  std::string newPassword;
  dll::CodePageRule codePage = dll::CodePageRule::kAuto;
  int level = 6;
  int workers = 0;      // 0 = the default count
};

// Forwards progress and messages to the component's callback; remembers a
// stop answer so that nothing is reported after it.
class Reporter {
 public:
  Reporter(dll::EngineCallbackFn fn, void* caller) : fn_(fn), caller_(caller) {}
  // Each answers false once the callback asked to stop.
  bool NewFile(const std::string& name, uint64_t size) { return Send(dll::kActionNewFile, 0, size, name); }
  bool Update(uint64_t bytes) { return Send(dll::kActionUpdate, 0, bytes, {}); }
  bool EndOfBatch() { return Send(dll::kActionEndOfBatch, 0, 0, {}); }
  bool TotalFiles(uint64_t n) { return Send(dll::kActionTotalFiles, 0, n, {}); }
  bool TotalSize(uint64_t n) { return Send(dll::kActionTotalSize, 0, n, {}); }
  bool Message(int32_t code, const std::string& text) { return Send(dll::kActionMessage, code, 0, text); }
  // A question (action 7 or 8): text goes out and comes back with the
  // answer's text; the result is the callback's answer (-1 after a stop).
  int32_t Ask(int32_t action, std::string& text);
  bool Stopped() const { return stopped_; }
  // Still busy, nothing to show (action 9); also after a stop, its answer
  // is not read.
  void KeepAlive();

 private:
  bool Send(int32_t action, int32_t code, uint64_t size, const std::string& text);
  dll::EngineCallbackFn fn_;
  void* caller_;
  bool stopped_ = false;
};

// Both answer the number of files added (entries deleted); 0 when nothing
// was written.
int32_t RunAdd(const Command& cmd, Reporter& rep);
int32_t RunDelete(const Command& cmd, Reporter& rep);

// Decodes the long command record; false (with a reason) when it is unusable.
// The record's temporary-folder field is not used: the new archive is always
// written beside the old one, so that putting it in place is one atomic
// rename that cannot fail half-way across file systems.
bool DecodeCommand(const dll::ZipCommandHead* head, Command& out, std::string& why);

}  // namespace arkelin::engine::zip::zipdll
