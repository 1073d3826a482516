// Writing RAR entries into one target folder without ever leaving it and
// without damaging what is there. Names become relative paths through the
// shared entry-name rules; every folder is entered relative to an open
// descriptor of the one above with O_NOFOLLOW, so a link in the way stops the
// entry instead of being followed. A file is written to a temporary file
// beside its target and renamed over it only when the caller commits (after
// the checksums passed); Abort removes it and leaves the old file alone.
// Times and the permission bits (without set-user-ID, set-group-ID and
// sticky, and under the umask) go on through the open descriptor.
//
// Links, hard links and file copies are queued and made by Finish, after all
// files: a symbolic link is made only when its text, resolved from the link's
// own folder, stays below the target folder (the folder itself counts as
// outside) and passes through no link at all (already on disk or queued), so
// no order of entries can build a chain that leads out. After making them,
// each link is resolved again as the kernel would and removed if it leads
// outside anyway. Hard links and copies name another entry already written.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "engine/rar/archive/RarEntry.h"
#include "engine/rar/unpack/RarUnpack.h"

namespace arkelin::engine::rar::archive {

struct OutputOptions {
  bool dirNames = true;   // keep the entries' folders (else every file lands in the target folder)
  bool overwrite = true;  // replace existing files
  bool update = false;    // only files that are missing or older on disk
  bool freshen = false;   // only files that exist and are older on disk
};

class DiskOutput {
 public:
  // The target folder is made when missing.
  DiskOutput(std::string root, OutputOptions options);
  ~DiskOutput();
  DiskOutput(const DiskOutput&) = delete;
  DiskOutput& operator=(const DiskOutput&) = delete;

  static constexpr int kSkipped = -1;  // the options leave this entry alone

  // Prepares one entry: a folder is made at once; for a file a temporary
  // file is opened and Sink() takes its data. 0, kSkipped, or an ERAR_*
  // code with Message() saying why.
  int Begin(const RarEntry& e);
  unpack::UnpackedSink& Sink() { return sink_; }
  // Puts the file in place with the entry's times and mode.
  int Commit(const RarEntry& e);
  void Abort();

  // A link entry with its target text (symbolic links), or the name of the
  // entry it repeats (hard links, file copies); made by Finish. 0, kSkipped
  // or an ERAR_* code.
  int QueueLink(const RarEntry& e, const std::string& target);
  // Makes the queued links and sets the folders' times; reports each link
  // entry by name with 0 or an ERAR_* code. Answers how many were made.
  int Finish(const std::function<void(const std::string& name, int code, const std::string& why)>& report);

  const std::string& Message() const { return message_; }
  // The relative path an entry name becomes, or false with the reason.
  bool PathFor(const std::string& name, std::vector<std::string>& parts);

 private:
  struct FileSink : unpack::UnpackedSink {
    bool Write(const uint8_t* data, size_t n) override;
    int fd = -1;
    int error = 0;
  };
  struct Queued {
    RarEntry entry;
    std::vector<std::string> parts;
    std::string target;
  };
  int OpenFolder(const std::vector<std::string>& parts, size_t count, bool create);
  int OpenTemp(const RarEntry& e);
  int MayReplace(int dirFd, const std::string& leaf, const RarEntry& e, bool& exists);
  int MakeLink(const Queued& q, const std::set<std::string>& linkPaths, std::string& why);
  int MakeHardLinkOrCopy(const Queued& q, std::string& why);
  bool LinkWalkIsClean(const std::vector<std::string>& from, const std::string& target,
                       const std::set<std::string>& linkPaths, std::string& why);
  mode_t ModeFor(const RarEntry& e, bool directory) const;
  int Fail(int code, std::string message);

  std::string root_;
  OutputOptions options_;
  int rootFd_ = -1;
  int rootError_ = 0;
  mode_t umask_ = 022;
  FileSink sink_;
  int dirFd_ = -1;
  std::string tmpName_, leaf_;
  std::vector<Queued> queued_;
  std::set<std::string> written_;  // relative paths of files made by this output
  struct DirTime {
    std::vector<std::string> parts;
    FileTime mtime;
  };
  std::vector<DirTime> dirTimes_;
  std::string message_;
};

}  // namespace arkelin::engine::rar::archive
