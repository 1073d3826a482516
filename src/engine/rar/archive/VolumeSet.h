// The files of a RAR archive: one volume, or a set of them named
// name.partN.rar (any width of N) or name.rar, name.r00, name.r01, ...
// Volumes are read with positioned 64-bit reads through a small buffer, never
// loaded whole, and only a few are open at a time. A volume that is not there
// when it is needed is asked for through a callback, which may name another
// file; a volume opened for the first time is announced through another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

namespace arkelin::engine::rar::archive {

class VolumeFile {
 public:
  // Opens the file for reading; null with errno's value in `error`.
  static std::unique_ptr<VolumeFile> Open(const std::string& path, int& error);
  ~VolumeFile();
  VolumeFile(const VolumeFile&) = delete;
  VolumeFile& operator=(const VolumeFile&) = delete;

  const std::string& Path() const { return path_; }
  uint64_t Size() const { return size_; }
  // Copies up to n bytes from `offset`: the count, 0 at the end of the file,
  // -1 after a read error. Small reads are served from a 64 KiB buffer.
  std::ptrdiff_t Read(uint64_t offset, uint8_t* buf, size_t n);
  // Exactly n bytes, or false.
  bool ReadExact(uint64_t offset, uint8_t* buf, size_t n);

 private:
  VolumeFile(int fd, uint64_t size, std::string path);
  int fd_;
  uint64_t size_;
  std::string path_;
  std::vector<uint8_t> cache_;
  uint64_t cacheOffset_ = 0;
  size_t cacheLen_ = 0;
};

// The volume after `name`: with new numbering the ".partN" number (or,
// failing that, the last number before the extension) counts up keeping its
// width (part9 -> part10, part0009 -> part0010); with the old scheme ".rar"
// and ".exe" go to ".r00", then ".r01" ... ".r99", ".s00". Empty when the
// name has no shape to count from.
std::string NextVolumeName(const std::string& name, bool newNumbering);
// The first volume of the set `name` would belong to by its shape
// (x.part3.rar -> x.part1.rar, x.r05 -> x.rar); `name` itself otherwise.
std::string FirstVolumeName(const std::string& name);

class VolumeSet {
 public:
  // The next volume `name` is missing: answer true to look again (after
  // changing `name` if the file is elsewhere), false to give up.
  using AskFn = std::function<bool(std::string& name)>;
  // A volume after the first was opened: answer false to stop.
  using NotifyFn = std::function<bool(const std::string& name)>;

  explicit VolumeSet(std::string first);

  AskFn ask;
  NotifyFn notify;
  bool newNumbering = false;  // set from the first volume's headers

  size_t Count() const { return names_.size(); }
  const std::string& Name(size_t i) const { return names_[i]; }
  // Volume i (below Count()), opened if needed; null with an ERAR_* code.
  VolumeFile* Get(size_t i, int& error);
  // Finds the volume after the last known one, asking for it when it is
  // missing; false with ERAR_EOPEN when it cannot be had or a handler said stop.
  bool Discover(int& error);
  // The same without asking: true only when the next volume is on disk.
  bool DiscoverIfPresent();

 private:
  std::vector<std::string> names_;
  struct Open {
    size_t index;
    std::unique_ptr<VolumeFile> file;
  };
  std::list<Open> open_;  // most recently used first
};

}  // namespace arkelin::engine::rar::archive
