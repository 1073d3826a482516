// RAR entries onto disk: the RAR side of the shared extraction root
// (engine/common/ExtractRoot.h), which does all the creating and enforces
// the safety rules. Here: an entry's name to its path (the shared entry-name
// rule, folders kept or dropped), the extract options (overwrite, update,
// freshen), RAR attributes to a mode, RAR times, and the three kinds of RAR
// link: symbolic links and hard links go to the root, which makes them after
// every file; a RAR 5 file copy is made at once from the file it names, when
// that file was written by this extraction.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/common/ExtractRoot.h"
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
  // Opens (and makes, when missing) the target folder; Ready() says whether
  // that worked, Message() why not.
  DiskOutput(const std::string& root, OutputOptions options);
  bool Ready() const { return root_.IsOpen(); }

  static constexpr int kSkipped = -1;  // the options leave this entry alone

  // What the options make of an entry before anything is done: 0 go ahead,
  // kSkipped, or an ERAR_* code (a folder in the way, a name refused).
  int Decide(const RarEntry& e);
  // Prepares an entry: a folder is made at once; for a file a temporary
  // file is opened and Sink() takes its data. 0, kSkipped, or an ERAR_*
  // code with Message() saying why.
  int Begin(const RarEntry& e);
  unpack::UnpackedSink& Sink() { return sink_; }
  // Puts the file in place with the entry's time and mode.
  int Commit(const RarEntry& e);
  // Drops the file being written; the one that was there stays.
  void Abort(const std::function<void()>& keepAlive = nullptr);

  // A link entry: `target` is the link text (symbolic links) or the name of
  // the entry it repeats (hard links, file copies). Symbolic and hard links
  // are made by Finish; a copy now. 0, kSkipped or an ERAR_* code; `tag`
  // comes back from Finish.
  int Link(const RarEntry& e, const std::string& target, size_t tag);
  // Makes the recorded links and sets the folders' times; reports every
  // recorded link with 0 or an ERAR_* code and the reason. Answers how many
  // links were made.
  int Finish(const std::function<void(size_t tag, int code, const std::string& why)>& report);

  const std::string& Message() const { return message_; }
  // The path an entry name becomes, or false (Message() says why).
  bool PathFor(const std::string& name, std::vector<std::string>& parts);

 private:
  struct FileSink : unpack::UnpackedSink {
    bool Write(const uint8_t* data, size_t n) override { return file.Write(data, n); }
    common::ExtractRoot::File file;
  };
  int MayReplace(const std::vector<std::string>& parts, const RarEntry& e);
  int Fail(int code, std::string message);

  common::ExtractRoot root_;
  OutputOptions options_;
  FileSink sink_;
  std::map<std::string, bool> written_;  // files made by this output, by joined path
  struct Recorded {
    RarEntry entry;
    std::vector<std::string> parts;
  };
  std::map<size_t, Recorded> recorded_;
  std::string message_;
};

}  // namespace arkelin::engine::rar::archive
