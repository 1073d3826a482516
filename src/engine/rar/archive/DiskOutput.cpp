// RAR entries onto disk through the shared extraction root. See DiskOutput.h.
#include "engine/rar/archive/DiskOutput.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/common/EntryPath.h"
#include "engine/rar/UnrarApi.h"

namespace arkelin::engine::rar::archive {

namespace common = arkelin::engine::common;

namespace {

// The stored time to the part of a second that RAR 5 and the extended times
// of RAR 4 keep.
common::StoredTime TimeOf(const RarEntry& e) {
  return e.mtime.present ? common::StoredTime(e.mtime.seconds, e.mtime.nanos) : common::StoredTime();
}

// The stored mode of an entry as the root takes it: Unix permission bits as
// archived, or for Windows and DOS entries the read-only attribute.
uint32_t StoredMode(const RarEntry& e) {
  if (e.hostOS == 3 && (e.attributes & 0777)) return e.attributes & 0777;
  return (e.attributes & 0x01) ? 0444 : 0666;
}

}  // namespace

DiskOutput::DiskOutput(const std::string& root, OutputOptions options) : options_(options) {
  root_.Open(root, true, message_);
}

int DiskOutput::Fail(int code, std::string message) {
  message_ = std::move(message);
  return code;
}

bool DiskOutput::PathFor(const std::string& name, std::vector<std::string>& parts) {
  std::string reason;
  if (!common::SplitEntryName(name, parts, reason)) {
    message_ = name + ": " + reason;
    return false;
  }
  if (!options_.dirNames) parts = {parts.back()};
  return true;
}

int DiskOutput::MayReplace(const std::vector<std::string>& parts, const RarEntry& e) {
  const common::OnDisk there = root_.Look(parts);
  if (there.kind == common::OnDisk::kNone) return options_.freshen ? kSkipped : 0;
  if (there.kind == common::OnDisk::kFolder) return Fail(ERAR_ECREATE, e.name + ": a folder of that name is in the way");
  if (options_.update || options_.freshen) {
    // DOS stamps have two-second steps: a file as new or newer stays.
    if (e.mtime.present && there.mtime + 1 >= e.mtime.seconds) return kSkipped;
    return 0;
  }
  return options_.overwrite ? 0 : kSkipped;
}

int DiskOutput::Decide(const RarEntry& e) {
  if (!root_.IsOpen()) return Fail(ERAR_ECREATE, message_);
  std::vector<std::string> parts;
  if (!PathFor(e.name, parts)) return ERAR_ECREATE;
  if (e.isDirectory) return options_.dirNames ? 0 : kSkipped;
  return MayReplace(parts, e);
}

int DiskOutput::Begin(const RarEntry& e) {
  Abort();
  if (!root_.IsOpen()) return ERAR_ECREATE;
  std::vector<std::string> parts;
  if (!PathFor(e.name, parts)) return ERAR_ECREATE;
  if (e.isDirectory) {
    if (!options_.dirNames) return kSkipped;
    std::string failure;
    if (!root_.MakeFolder(parts, TimeOf(e), failure)) return Fail(ERAR_ECREATE, e.name + ": " + failure);
    return 0;
  }
  const int r = MayReplace(parts, e);
  if (r != 0) return r;
  std::string failure;
  if (!root_.BeginFile(parts, sink_.file, failure)) return Fail(ERAR_ECREATE, e.name + ": " + failure);
  return 0;
}

int DiskOutput::Commit(const RarEntry& e) {
  if (!sink_.file.IsOpen()) return 0;
  if (sink_.file.Error()) {
    const int err = sink_.file.Error();
    Abort();
    return Fail(ERAR_EWRITE, e.name + ": " + std::strerror(err));
  }
  std::string failure;
  if (!sink_.file.Commit(StoredMode(e), TimeOf(e), failure)) return Fail(ERAR_ECREATE, e.name + ": " + failure);
  std::vector<std::string> parts;
  if (PathFor(e.name, parts)) written_[common::JoinParts(parts)] = true;
  return 0;
}

void DiskOutput::Abort(const std::function<void()>& keepAlive) {
  if (sink_.file.IsOpen()) sink_.file.Discard(keepAlive);
}

int DiskOutput::Link(const RarEntry& e, const std::string& target, size_t tag) {
  if (!root_.IsOpen()) return ERAR_ECREATE;
  std::vector<std::string> parts;
  if (!PathFor(e.name, parts)) return ERAR_ECREATE;
  switch (e.redirection) {
    case Redirection::UnixSymlink:
    case Redirection::WindowsSymlink:
    case Redirection::Junction: {
      std::string text = target;
      if (e.redirection != Redirection::UnixSymlink) {
        // Windows keeps "\" in its links; an absolute one ("\??\C:\...")
        // stays absolute and the root refuses it.
        for (char& c : text)
          if (c == '\\') c = '/';
      }
      if (options_.freshen || options_.update || !options_.overwrite) {
        const int r = MayReplace(parts, e);
        if (r != 0) return r;
      }
      root_.AddLink(parts, text, TimeOf(e), tag);
      recorded_[tag] = {e, parts};
      return 0;
    }
    case Redirection::HardLink:
    case Redirection::FileCopy: {
      std::vector<std::string> src;
      std::string reason;
      if (!common::SplitEntryName(target, src, reason)) return Fail(ERAR_ECREATE, e.name + ": " + reason);
      if (!options_.dirNames) src = {src.back()};
      if (!written_.count(common::JoinParts(src)))
        return Fail(ERAR_EREFERENCE, e.name + ": the file it repeats (" + target + ") was not extracted");
      const int r = MayReplace(parts, e);
      if (r != 0) return r;
      if (e.redirection == Redirection::HardLink) {
        root_.AddHardLink(parts, src, TimeOf(e), tag);
        recorded_[tag] = {e, parts};
        return 0;
      }
      // A copy: the earlier file's bytes through a file of its own.
      std::string failure;
      const int dir = root_.OpenFolder(src, src.size() - 1, failure);
      const int in = dir < 0 ? -1 : ::openat(dir, src.back().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
      if (in < 0) return Fail(ERAR_EOPEN, e.name + ": " + (dir < 0 ? failure : std::strerror(errno)));
      int code = 0;
      if (!root_.BeginFile(parts, sink_.file, failure)) {
        code = Fail(ERAR_ECREATE, e.name + ": " + failure);
      } else {
        std::vector<uint8_t> buf(64 * 1024);
        for (;;) {
          const ssize_t n = ::read(in, buf.data(), buf.size());
          if (n < 0 && errno == EINTR) continue;
          if (n < 0) code = Fail(ERAR_EREAD, e.name + ": " + std::strerror(errno));
          if (n <= 0 || !sink_.file.Write(buf.data(), static_cast<size_t>(n))) break;
        }
        code = code ? (Abort(), code) : Commit(e);
      }
      ::close(in);
      return code;
    }
    case Redirection::None:
      break;
  }
  return Fail(ERAR_ARK_UNSUPPORTED, e.name + ": unknown kind of link");
}

int DiskOutput::Finish(const std::function<void(size_t tag, int code, const std::string& why)>& report) {
  const auto ask = [this](size_t tag, const std::vector<std::string>&, const common::OnDisk& existing) {
    const auto it = recorded_.find(tag);
    if (existing.kind == common::OnDisk::kFolder || it == recorded_.end()) return 0;
    if (options_.update || options_.freshen) {
      const RarEntry& e = it->second.entry;
      return e.mtime.present && existing.mtime + 1 >= e.mtime.seconds ? 0 : 1;
    }
    return options_.overwrite ? 1 : 0;
  };
  const common::ExtractRoot::FinishResult result = root_.Finish(ask);
  int made = 0;
  for (const auto& l : result.links) {
    if (l.created) ++made;
    if (report) report(l.tag, l.created ? 0 : ERAR_ECREATE, l.failure);
  }
  recorded_.clear();
  return made;
}

}  // namespace arkelin::engine::rar::archive
