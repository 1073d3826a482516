// Add and delete for the zip library; see ZipUpdateJob.h.
#include "engine/zip/dll/zip/ZipUpdateJob.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>

#include "engine/common/CodePage437.h"
#include "engine/common/DosTime.h"
#include "engine/common/EntryPath.h"
#include "engine/common/LittleEndian.h"
#include "engine/common/Wildcard.h"
#include "engine/zip/dll/common/ArchiveFile.h"
#include "engine/zip/dll/common/CentralDirectory.h"
#include "engine/zip/dll/common/ZipAes.h"
#include "engine/zip/dll/common/ZipCrypto.h"
#include "engine/zip/dll/zip/ZipCompressPool.h"
#include "engine/zip/dll/zip/ZipOutFile.h"
#include "engine/zip/dll/zip/ZipRecordWriter.h"
#include "engine/zip/dll/zip/ZipRewrite.h"
#include "engine/zip/dll/zip/ZipSources.h"

namespace arkelin::engine::zip::zipdll {

namespace {

// Files up to this size are read and deflated whole; larger ones block by
// block. Together with the window of bytes in
// flight this bounds the memory a run needs, whatever the entry sizes.
constexpr uint64_t kWholeLimit = 16ull << 20;
constexpr uint64_t kBlockSize = 4ull << 20;
constexpr uint64_t kWindow = 64ull << 20;
// Tasks in flight at most; each may hold an open file until it has run.
constexpr size_t kMaxTasks = 256;
constexpr uint64_t kProgressStep = 64ull << 10;
// A large file whose size comes near 4 GiB gets a Zip64 local header up
// front: deflate may grow incompressible data a little.
constexpr uint64_t kZip64Threshold = 0xF0000000ull;

bool IsAscii(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Central fields of a new entry, before sizes and CRC are known.
OutEntry NewEntryFor(const SourceItem& it) {
  OutEntry e;
  ToDosTime(it.mtime, e.dosTime, e.dosDate);
  e.name = it.entryName;
  // Bit 11 says "this name is UTF-8": only true for names that are. Other
  // bytes (a name from a file system in another character set) go in as
  // they are, without the flag.
  if (!IsAscii(e.name) && common::IsValidUtf8(e.name)) e.flags |= kFlagUtf8;
  e.externalAttr = (static_cast<uint32_t>(it.mode & 0xFFFF) << 16) | (it.isDir ? 0x10 : 0);
  if (!(it.mode & S_IWUSR)) e.externalAttr |= 0x01;
  e.extra = TimeExtra(it.mtime);
  e.needed = 10;
  e.method = kMethodStore;
  return e;
}

bool Progress(Reporter& rep, uint64_t bytes) {
  while (bytes > 0) {
    const uint64_t n = std::min(bytes, kProgressStep);
    if (!rep.Update(n)) return false;
    bytes -= n;
  }
  return true;
}


// One output position: an entry kept raw, or a new file (possibly in place
// of an existing entry, which is kept when the file turns out unreadable).
struct PlanItem {
  int oldIndex = -1;
  int newIndex = -1;
};

// Per new file: what opening it found and how it is cut into tasks.
struct NewState {
  bool opened = false;
  int openError = 0;
  uint64_t size = 0;
  bool streamed = false;
  uint64_t blocks = 0;
};

class AddWriter {
 public:
  AddWriter(const Command& cmd, Reporter& rep, const OldArchive& old, const std::vector<SourceItem>& items,
            const std::vector<PlanItem>& plan)
      : cmd_(cmd), rep_(rep), old_(old), items_(items), plan_(plan), states_(plan.size()),
        pool_(cmd.workers > 0 ? cmd.workers : DefaultWorkerCount()) {}

  // Writes everything into out; answers the indexes of the new files written.
  std::vector<int> Write(OutFile& out, std::vector<OutEntry>& central) {
    std::vector<int> written;
    if (old_.present) CopyPrefix(old_, out);
    for (size_t k = 0; k < plan_.size(); ++k) {
      Generate();
      const PlanItem& p = plan_[k];
      if (p.newIndex < 0) {
        central.push_back(CopyOldEntry(old_, old_.dir.entries[p.oldIndex], out));
        continue;
      }
      if (WriteNew(k, out, central)) {
        written.push_back(p.newIndex);
      } else if (p.oldIndex >= 0) {
        central.push_back(CopyOldEntry(old_, old_.dir.entries[p.oldIndex], out));
      }
    }
    return written;
  }

  void Abort() { pool_.Abort(); }

 private:
  // Opens files and queues their tasks ahead of the writer, up to the window.
  void Generate() {
    while (genPlan_ < plan_.size() &&
           ((inflightBytes_ < kWindow && inflight_.size() < kMaxTasks) || inflight_.empty())) {
      const PlanItem& p = plan_[genPlan_];
      if (p.newIndex < 0 || items_[p.newIndex].isDir) {
        ++genPlan_;
        continue;
      }
      NewState& ns = states_[genPlan_];
      if (!ns.opened) {
        ns.opened = true;
        const int fd = ::open(items_[p.newIndex].diskPath.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd < 0 || fstat(fd, &st) != 0) {
          ns.openError = errno;
          if (fd >= 0) ::close(fd);
          ++genPlan_;
          continue;
        }
        genFd_ = std::make_shared<SourceFd>(fd);
        ns.size = static_cast<uint64_t>(st.st_size);
        ns.streamed = ns.size > kWholeLimit;
        ns.blocks = ns.streamed ? (ns.size + kBlockSize - 1) / kBlockSize : 1;
        genBlock_ = 0;
      }
      auto t = std::make_shared<CompressTask>();
      t->file = genFd_;
      t->level = cmd_.level;
      if (ns.streamed) {
        t->offset = genBlock_ * kBlockSize;
        t->length = std::min(kBlockSize, ns.size - t->offset);
        t->lastBlock = genBlock_ + 1 == ns.blocks;
      } else {
        t->whole = true;
        t->length = ns.size;
        if (cmd_.encrypt) {
          t->password = &cmd_.password;
          t->aes = cmd_.aes;
        }
      }
      pool_.Submit(t);
      inflight_.push_back(t);
      inflightBytes_ += t->length;
      if (++genBlock_ >= ns.blocks) {
        ++genPlan_;
        genFd_.reset();
      }
    }
  }

  std::shared_ptr<CompressTask> Next() {
    if (inflight_.empty()) Generate();
    auto t = inflight_.front();
    inflight_.pop_front();
    pool_.Wait(*t);
    inflightBytes_ -= t->length;
    t->file.reset();
    Generate();
    return t;
  }

  bool WriteNew(size_t k, OutFile& out, std::vector<OutEntry>& central) {
    const SourceItem& it = items_[plan_[k].newIndex];
    if (!rep_.NewFile(it.entryName, it.size)) throw Cancelled{};
    OutEntry e = NewEntryFor(it);
    e.offset = out.Position();
    if (it.isDir) {
      out.Write(BuildLocalHeader(e, false, e.extra));
      central.push_back(e);
      return true;
    }
    const NewState& ns = states_[k];
    if (ns.openError) {
      rep_.Message(kMsgReadError, it.diskPath + ": " + ErrText(ns.openError));
      return false;
    }
    if (!ns.streamed) {
      auto t = Next();
      if (t->error) {
        rep_.Message(kMsgReadError, it.diskPath + ": " + ErrText(t->error));
        return false;
      }
      e.crc = t->crc;
      e.usize = t->length;
      e.csize = t->out.size();
      e.method = t->stored ? kMethodStore : kMethodDeflate;
      if (cmd_.encrypt) e.flags |= kFlagEncrypted;
      e.needed = (e.method == kMethodDeflate || cmd_.encrypt) ? 20 : 10;
      if (cmd_.encrypt && cmd_.aes) MarkAes(e, t->length);
      out.Write(BuildLocalHeader(e, false, e.extra));
      out.Write(t->out);
      central.push_back(e);
      if (cmd_.verbose) Verbose(e);
      if (!Progress(rep_, t->length)) throw Cancelled{};
      return true;
    }
    // A large file: header first, blocks as they come, sizes patched after.
    const bool zip64 = ns.size > kZip64Threshold;
    e.method = cmd_.level > 0 ? kMethodDeflate : kMethodStore;
    const bool aes = cmd_.encrypt && cmd_.aes;
    // Traditional encryption checks the password against the DOS time then,
    // so its sizes go into a descriptor; AES entries are patched in place.
    if (cmd_.encrypt) e.flags |= aes ? kFlagEncrypted : kFlagEncrypted | kFlagDescriptor;
    e.needed = (e.method == kMethodDeflate || cmd_.encrypt) ? 20 : 10;
    if (aes) MarkAes(e, ns.size);
    const uint64_t headerPos = out.Position();
    out.Write(BuildLocalHeader(e, zip64, e.extra));
    std::unique_ptr<dll::ZipCryptoKeys> keys;
    std::unique_ptr<dll::AesCipher> cipher;
    uint64_t csize = 0;
    if (aes) {
      uint8_t head[16 + dll::kAesVerifierSize];
      const size_t saltLen = dll::AesSaltSize(cmd_.aes);
      dll::AesRandom(head, saltLen);
      cipher = std::make_unique<dll::AesCipher>();
      if (!cipher->Init(cmd_.password, cmd_.aes, head, head + saltLen)) throw WriteError{EIO};
      out.Write(head, saltLen + dll::kAesVerifierSize);
      csize += saltLen + dll::kAesVerifierSize;
    } else if (cmd_.encrypt) {
      keys = std::make_unique<dll::ZipCryptoKeys>(cmd_.password);
      const auto h = EncryptionHeader(*keys, static_cast<uint8_t>(e.dosTime >> 8));
      out.Write(h.data(), h.size());
      csize += h.size();
    }
    uint32_t crc = 0;
    uint64_t usize = 0;
    int error = 0;
    for (uint64_t b = 0; b < ns.blocks; ++b) {
      auto t = Next();
      if (error) continue;  // drain the rest of this file's blocks
      if (t->error) {
        error = t->error;
        continue;
      }
      crc = static_cast<uint32_t>(crc32_combine(crc, t->crc, static_cast<z_off_t>(t->length)));
      if (keys) keys->Encrypt(reinterpret_cast<uint8_t*>(t->out.data()), t->out.size());
      if (cipher) cipher->Encrypt(reinterpret_cast<uint8_t*>(t->out.data()), t->out.size());
      out.Write(t->out);
      csize += t->out.size();
      usize += t->length;
      if (!Progress(rep_, t->length)) throw Cancelled{};
    }
    if (error) {
      out.Truncate(headerPos);
      rep_.Message(kMsgReadError, it.diskPath + ": " + ErrText(error));
      return false;
    }
    if (cipher) {
      uint8_t code[dll::kAesCodeSize];
      cipher->Code(code);
      out.Write(code, sizeof code);
      csize += sizeof code;
    }
    e.crc = crc;
    e.csize = csize;
    e.usize = usize;
    if (keys) {
      out.Write(BuildDescriptor(crc, csize, usize, zip64));
    } else {
      std::string patch;
      common::AppendLe32(patch, crc);
      if (zip64) {
        out.WriteAt(headerPos + kLocalCrcOffset, patch.data(), patch.size());
        patch.clear();
        common::AppendLe64(patch, usize);
        common::AppendLe64(patch, csize);
        out.WriteAt(headerPos + LocalZip64SizesOffset(e), patch.data(), patch.size());
      } else {
        if (csize >= 0xFFFFFFFFull) throw WriteError{EFBIG};  // the file grew past what its header allows
        common::AppendLe32(patch, static_cast<uint32_t>(csize));
        common::AppendLe32(patch, static_cast<uint32_t>(usize));
        out.WriteAt(headerPos + kLocalCrcOffset, patch.data(), patch.size());
      }
    }
    central.push_back(e);
    if (cmd_.verbose) Verbose(e);
    return true;
  }

  // Method 99 with the AES field naming the real method.
  void MarkAes(OutEntry& e, uint64_t size) {
    const uint16_t version = AesVersionFor(size);
    e.extra += dll::BuildAesExtra(version, cmd_.aes, e.method);
    e.method = kMethodAes;
    e.needed = 51;
    if (version == 2) e.crc = 0;
  }

  void Verbose(const OutEntry& e) {
    const int pct = e.usize ? static_cast<int>(100 - (e.csize * 100) / e.usize) : 0;
    rep_.Message(kMsgInfo, "adding: " + e.name + (e.method == kMethodStore ? " (stored " : " (deflated ") +
                               std::to_string(std::max(pct, 0)) + "%)");
  }

  const Command& cmd_;
  Reporter& rep_;
  const OldArchive& old_;
  const std::vector<SourceItem>& items_;
  const std::vector<PlanItem>& plan_;
  std::vector<NewState> states_;
  CompressPool pool_;
  std::deque<std::shared_ptr<CompressTask>> inflight_;
  uint64_t inflightBytes_ = 0;
  size_t genPlan_ = 0;
  uint64_t genBlock_ = 0;
  std::shared_ptr<SourceFd> genFd_;
};

void SetArchiveTime(const std::string& archive, const std::vector<OutEntry>& entries) {
  int64_t newest = -1;
  for (const auto& e : entries) newest = std::max<int64_t>(newest, common::DosToUnix(e.dosTime, e.dosDate));
  if (newest < 0) return;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(newest);
  times[1].tv_nsec = 0;
  utimensat(AT_FDCWD, archive.c_str(), times, 0);
}

// The 32-bit DOS stamp, comparable as a number.
uint32_t DosStamp(uint16_t time, uint16_t date) { return (static_cast<uint32_t>(date) << 16) | time; }


}  // namespace

bool Reporter::Send(int32_t action, int32_t code, uint64_t size, const std::string& text) {
  if (stopped_) return false;
  if (!fn_) return true;
  dll::EngineCallbackData d{};
  d.caller = caller_;
  d.actionCode = action;
  d.errorCode = code;
  d.fileSize = static_cast<int64_t>(size);
  const size_t n = std::min(text.size(), sizeof d.text - 1);
  std::memcpy(d.text, text.data(), n);
  d.text[n] = '\0';
  if (fn_(&d) != 0) stopped_ = true;
  return !stopped_;
}

void Reporter::KeepAlive() {
  if (!fn_) return;
  dll::EngineCallbackData d{};
  d.caller = caller_;
  d.actionCode = dll::kActionKeepAlive;
  fn_(&d);
}

int32_t Reporter::Ask(int32_t action, std::string& text) {
  if (stopped_) return -1;
  if (!fn_) return 0;
  dll::EngineCallbackData d{};
  d.caller = caller_;
  d.actionCode = action;
  const size_t n = std::min(text.size(), sizeof d.text - 1);
  std::memcpy(d.text, text.data(), n);
  d.text[n] = '\0';
  const int32_t answer = fn_(&d);
  if (answer < 0) stopped_ = true;
  text.assign(d.text, strnlen(d.text, sizeof d.text));
  return answer;
}


int32_t RunAdd(const Command& cmdIn, Reporter& rep) {
  Command cmd = cmdIn;
  cmd.archive = ResolveArchive(cmd.archive);
  if (cmd.encrypt && cmd.password.empty()) {
    std::string text = cmd.archive;
    const int32_t answer = rep.Ask(dll::kActionPassword, text);
    if (answer < 0) return 0;
    if (answer == 0 || text.empty()) {
      rep.Message(kMsgWarning, "No password given: nothing was added to " + cmd.archive);
      return 0;
    }
    cmd.password = text.substr(0, 80);
  }
  OldArchive old;
  if (!LoadOld(cmd.archive, old, rep, false, cmd.codePage)) return 0;

  GatherOptions go;
  go.recurse = cmd.recurse;
  go.dirNames = cmd.dirNames;
  go.hidden = cmd.hidden;
  go.dirEntries = cmd.dirEntries;
  go.forceDos = cmd.forceDos;
  if (old.exists) {
    go.haveArchive = true;
    go.archiveDev = old.st.st_dev;
    go.archiveIno = old.st.st_ino;
  }
  const GatherResult g = GatherSources(cmd.specs, go);
  for (const auto& s : g.unmatched)
    if (!rep.Message(kMsgWarning, "name not matched: " + s)) return 0;
  for (const auto& s : g.skipped)
    if (!rep.Message(kMsgWarning, s)) return 0;

  // Which files go in, and where.
  std::map<std::string, int> oldByName;
  if (old.present)
    for (size_t j = 0; j < old.dir.entries.size(); ++j) oldByName.emplace(old.dir.entries[j].rawName, static_cast<int>(j));
  const size_t oldCount = old.present ? old.dir.entries.size() : 0;
  std::vector<int> replacement(oldCount, -1);
  std::vector<int> appended;
  for (size_t i = 0; i < g.items.size(); ++i) {
    const SourceItem& it = g.items[i];
    auto found = oldByName.find(it.entryName);
    if (found != oldByName.end()) {
      if (cmd.update || cmd.freshen) {
        const auto& e = old.dir.entries[found->second];
        uint16_t t = 0, d = 0;
        ToDosTime(it.mtime, t, d);
        if (DosStamp(t, d) <= DosStamp(e.dosTime, e.dosDate)) continue;
      }
      replacement[found->second] = static_cast<int>(i);
    } else if (!cmd.freshen) {
      appended.push_back(static_cast<int>(i));
    }
  }
  std::vector<PlanItem> plan;
  uint64_t files = 0, bytes = 0;
  for (size_t j = 0; j < oldCount; ++j) plan.push_back({static_cast<int>(j), replacement[j]});
  for (int i : appended) plan.push_back({-1, i});
  for (const auto& p : plan) {
    if (p.newIndex < 0) continue;
    ++files;
    bytes += g.items[p.newIndex].size;
  }
  if (files == 0) {
    rep.Message(kMsgWarning, "Nothing to do: no files to add to " + cmd.archive);
    rep.EndOfBatch();
    return 0;
  }
  if (!rep.TotalFiles(files) || !rep.TotalSize(bytes)) return 0;

  OutFile out;
  if (!out.Create(cmd.archive)) {
    rep.Message(kMsgWriteError, cmd.archive + ": cannot create a temporary file beside it: " + ErrText(errno));
    return 0;
  }
  AddWriter writer(cmd, rep, old, g.items, plan);
  std::vector<OutEntry> central;
  std::vector<int> written;
  try {
    written = writer.Write(out, central);
    if (written.empty()) {
      rep.Message(kMsgWarning, "No file could be added; " + cmd.archive + " is unchanged");
      rep.EndOfBatch();
      return 0;
    }
    CommitRewrite(out, cmd.archive, old, central);
  } catch (const Cancelled&) {
    writer.Abort();
    out.Discard([&rep] { rep.KeepAlive(); });
    return 0;
  } catch (const BadArchive& b) {
    writer.Abort();
    rep.Message(kMsgBadArchive, cmd.archive + ": " + b.text + "; the archive is unchanged");
    return 0;
  } catch (const WriteError& w) {
    writer.Abort();
    rep.Message(kMsgWriteError, cmd.archive + ": write failed (" + ErrText(w.error) + "); the archive is unchanged");
    return 0;
  }
  if (cmd.move) {
    for (int i : written) {
      const SourceItem& it = g.items[i];
      if (!it.isDir && ::unlink(it.diskPath.c_str()) != 0)
        rep.Message(kMsgWarning, it.diskPath + ": not removed: " + ErrText(errno));
    }
    for (auto f = g.folders.rbegin(); f != g.folders.rend(); ++f) ::rmdir(f->c_str());  // only empty ones go
  }
  if (cmd.keepArchiveTime) SetArchiveTime(cmd.archive, central);
  rep.EndOfBatch();
  return static_cast<int32_t>(written.size());
}

int32_t RunDelete(const Command& cmdIn, Reporter& rep) {
  Command cmd = cmdIn;
  cmd.archive = ResolveArchive(cmd.archive);
  OldArchive old;
  if (!LoadOld(cmd.archive, old, rep, true, cmd.codePage)) return 0;
  std::vector<std::string> patterns;
  for (auto s : cmd.specs) {
    std::replace(s.begin(), s.end(), '\\', '/');
    if (!s.empty()) patterns.push_back(std::move(s));
  }
  std::vector<bool> gone(old.dir.entries.size(), false);
  uint64_t count = 0, bytes = 0;
  for (size_t j = 0; j < old.dir.entries.size(); ++j) {
    const auto& e = old.dir.entries[j];
    for (const auto& p : patterns) {
      const bool match = cmd.exactNames ? common::SameEntryName(p, e.name)
                                        : common::WildcardMatch(p, e.name) || common::WildcardMatch(p, e.rawName);
      if (match) {
        gone[j] = true;
        ++count;
        bytes += e.uncompressedSize;
        break;
      }
    }
  }
  if (count == 0) {
    rep.Message(kMsgWarning, "Nothing to delete: no entry of " + cmd.archive + " matches");
    rep.EndOfBatch();
    return 0;
  }
  if (!rep.TotalFiles(count) || !rep.TotalSize(bytes)) return 0;
  OutFile out;
  if (!out.Create(cmd.archive)) {
    rep.Message(kMsgWriteError, cmd.archive + ": cannot create a temporary file beside it: " + ErrText(errno));
    return 0;
  }
  std::vector<OutEntry> central;
  const bool done = GuardedRewrite(cmd.archive, out, rep, [&] {
    CopyPrefix(old, out);
    for (size_t j = 0; j < old.dir.entries.size(); ++j) {
      const auto& e = old.dir.entries[j];
      if (gone[j]) {
        if (!rep.NewFile(e.name, e.uncompressedSize)) throw Cancelled{};
        if (cmd.verbose) rep.Message(kMsgInfo, "deleting: " + e.name);
        continue;
      }
      central.push_back(CopyOldEntry(old, e, out));
    }
    CommitRewrite(out, cmd.archive, old, central);
  });
  if (!done) return 0;
  rep.EndOfBatch();
  return static_cast<int32_t>(count);
}

bool DecodeCommand(const dll::ZipCommandHead* head, Command& out, std::string& why) {
  if (!head) {
    why = "no command record";
    return false;
  }
  const auto* rec = reinterpret_cast<const dll::ZipCommandLong*>(head);
  if (rec->seven != dll::kSeven) {
    why = "the command record has not the expected layout";
    return false;
  }
  if (!head->archiveName || !*head->archiveName) {
    why = "no archive name";
    return false;
  }
  if (head->argc < 0 || (head->argc > 0 && !rec->fileSpecs)) {
    why = "bad file specification list";
    return false;
  }
  out.archive = head->archiveName;
  for (int32_t i = 0; i < head->argc; ++i)
    if (rec->fileSpecs[i].fileSpec) out.specs.emplace_back(rec->fileSpecs[i].fileSpec);
  if (head->password) out.password = std::string(head->password, strnlen(head->password, 80));
  out.remove = head->deleteEntries != 0;
  out.encrypt = !out.remove && head->encrypt != 0;
  if (out.encrypt && head->aesStrength >= 1 && head->aesStrength <= 3) out.aes = head->aesStrength;
  out.hidden = head->systemFiles != 0;
  out.dirEntries = head->noDirEntries == 0;
  out.dirNames = head->junkDirNames == 0;
  out.recurse = head->recurse != 0;
  out.forceDos = head->forceDos != 0;
  out.move = !out.remove && head->move != 0;
  out.update = !out.remove && head->update != 0;
  out.freshen = !out.remove && !out.update && head->freshen != 0;
  out.keepArchiveTime = head->keepArchiveTime != 0;
  out.verbose = head->verbose != 0 || head->traceEnabled != 0;
  out.exactNames = head->exactNames != 0;
  if (!out.remove && rec->changePassword != 0) {
    out.changePassword = true;
    out.encrypt = true;
    out.aes = head->aesStrength >= 1 && head->aesStrength <= 3 ? head->aesStrength : 0;
    if (rec->newPassword) out.newPassword = std::string(rec->newPassword, strnlen(rec->newPassword, 80));
  }
  if (dll::ValidRuleValue(head->codePage)) out.codePage = static_cast<dll::CodePageRule>(head->codePage);
  out.level = std::clamp(head->level, 0, 9);
  return true;
}

}  // namespace arkelin::engine::zip::zipdll
