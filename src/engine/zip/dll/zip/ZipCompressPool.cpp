// Compression workers of the zip library; see ZipCompressPool.h.
#include "engine/zip/dll/zip/ZipCompressPool.h"

#include "engine/common/Crc32.h"
#include "engine/common/Processors.h"
#include "engine/zip/dll/common/ZipAes.h"
#include "engine/zip/dll/common/ZipCrypto.h"

#include <sys/random.h>
#include <random>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>
#include <unistd.h>

#include <libdeflate.h>
#include <zlib.h>

namespace arkelin::engine::zip::zipdll {

SourceFd::~SourceFd() {
  if (fd >= 0) ::close(fd);
}

namespace {

// Reads exactly n bytes at offset; errno-style result (EIO for a file that
// became shorter).
int ReadFully(int fd, uint64_t offset, char* buf, size_t n) {
  size_t done = 0;
  while (done < n) {
    const ssize_t r = pread(fd, buf + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (r == 0) return EIO;
    done += static_cast<size_t>(r);
  }
  return 0;
}

// libdeflate compressors are not cheap to make; one per thread and level.
libdeflate_compressor* CompressorFor(int level) {
  struct Cache {
    libdeflate_compressor* c[13] = {};
    ~Cache() {
      for (auto* p : c)
        if (p) libdeflate_free_compressor(p);
    }
  };
  thread_local Cache cache;
  if (level < 1) level = 1;
  if (level > 12) level = 12;
  if (!cache.c[level]) cache.c[level] = libdeflate_alloc_compressor(level);
  return cache.c[level];
}

void RunWhole(CompressTask& t) {
  std::string in(t.length, '\0');
  t.error = ReadFully(t.file->fd, 0, in.data(), in.size());
  t.file.reset();  // the descriptor is not needed any more
  if (t.error) return;
  t.crc = common::Crc32(0, in.data(), in.size());
  t.stored = true;
  if (t.level > 0 && !in.empty()) {
    libdeflate_compressor* c = CompressorFor(t.level);
    if (!c) {
      t.error = ENOMEM;
      return;
    }
    std::string out(libdeflate_deflate_compress_bound(c, in.size()), '\0');
    const size_t n = libdeflate_deflate_compress(c, in.data(), in.size(), out.data(), out.size());
    // Deflate that does not shrink the data is not worth the reader's time.
    if (n > 0 && n < in.size()) {
      out.resize(n);
      t.out = std::move(out);
      t.stored = false;
    }
  }
  if (t.stored) t.out = std::move(in);
  if (t.password && t.aes) {
    if (!dll::AesEncryptWhole(*t.password, t.aes, t.out)) t.error = EIO;
  } else if (t.password) {
    dll::ZipCryptoKeys keys(*t.password);
    const auto h = EncryptionHeader(keys, static_cast<uint8_t>(t.crc >> 24));
    keys.Encrypt(reinterpret_cast<uint8_t*>(t.out.data()), t.out.size());
    t.out.insert(0, reinterpret_cast<const char*>(h.data()), h.size());
  }
}

}  // namespace

// Turns a complete raw deflate stream into one that another stream can
// follow: the final-block bit of its last block is cleared and the stream is
// padded to a byte boundary with empty blocks. libdeflate has no flush, so
// the block boundaries are found by inflating the stream with Z_BLOCK, which
// stops after every block and tells how many bits of the last byte it left.
bool MakeJoinable(std::string& s) {
  if (s.empty()) return false;
  auto* b = reinterpret_cast<unsigned char*>(s.data());
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  struct Ender {
    z_stream* z;
    ~Ender() { inflateEnd(z); }
  } ender{&z};
  // The first block header starts at bit 0; clear its final bit before
  // inflate reads it, the others as their headers come up.
  bool last = b[0] & 1;
  b[0] &= static_cast<unsigned char>(~1u);
  z.next_in = b;
  z.avail_in = static_cast<uInt>(s.size());
  std::vector<unsigned char> junk(1 << 16);
  for (;;) {
    z.next_out = junk.data();
    z.avail_out = static_cast<uInt>(junk.size());
    if (inflate(&z, Z_BLOCK) != Z_OK) return false;
    if (!(z.data_type & 128)) continue;  // output full inside a block
    if (last) break;
    const int unused = z.data_type & 7;
    if (unused != 0) {
      // The next header starts inside the last byte taken.
      const unsigned mask = 0x100u >> unused;
      last = z.next_in[-1] & mask;
      z.next_in[-1] &= static_cast<unsigned char>(~mask);
    } else {
      if (z.avail_in == 0) return false;
      last = z.next_in[0] & 1;
      z.next_in[0] &= static_cast<unsigned char>(~1u);
    }
  }
  if (z.avail_in != 0) return false;
  const int unused = z.data_type & 7;
  if (unused == 0) return true;
  // Fill the unused bits of the last byte with empty blocks: an empty stored
  // block for an odd count, one to three empty fixed blocks (10 bits each)
  // for an even one.
  unsigned char lastByte = static_cast<unsigned char>(s.back()) & static_cast<unsigned char>((0x100u >> unused) - 1);
  s.pop_back();
  if (unused & 1) {
    s.push_back(static_cast<char>(lastByte));
    if (unused == 1) s.push_back('\0');
    s.append("\0\0\xff\xff", 4);
    return true;
  }
  switch (unused) {
    case 6:
      s.push_back(static_cast<char>(lastByte | 0x08));
      lastByte = 0;
      [[fallthrough]];
    case 4:
      s.push_back(static_cast<char>(lastByte | 0x20));
      lastByte = 0;
      [[fallthrough]];
    default:  // 2
      s.push_back(static_cast<char>(lastByte | 0x80));
      s.push_back('\0');
  }
  return true;
}

namespace {

void RunBlock(CompressTask& t) {
  std::string in(t.length, '\0');
  if ((t.error = ReadFully(t.file->fd, t.offset, in.data(), in.size())) != 0) return;
  t.crc = common::Crc32(0, in.data(), in.size());
  if (t.level == 0) {
    t.out = std::move(in);
    return;
  }
  libdeflate_compressor* c = CompressorFor(t.level);
  if (!c) {
    t.error = ENOMEM;
    return;
  }
  std::string out(libdeflate_deflate_compress_bound(c, in.size()), '\0');
  const size_t n = libdeflate_deflate_compress(c, in.data(), in.size(), out.data(), out.size());
  out.resize(n);
  // Every block but the file's last must leave the stream open.
  if (n == 0 || (!t.lastBlock && !MakeJoinable(out))) {
    t.error = EIO;
    return;
  }
  t.out = std::move(out);
}

}  // namespace

std::array<uint8_t, 12> EncryptionHeader(dll::ZipCryptoKeys& keys, uint8_t check) {
  std::array<uint8_t, 12> h{};
  // Random bytes from the kernel; a seeded generator only if that fails, so
  // two entries never share a header.
  if (getrandom(h.data(), 11, 0) != 11) {
    std::random_device rd;
    for (int i = 0; i < 11; ++i) h[i] = static_cast<uint8_t>(rd());
  }
  h[11] = check;
  keys.Encrypt(h.data(), h.size());
  return h;
}

void CompressPool::Run(CompressTask& t) {
  try {
    if (t.whole)
      RunWhole(t);
    else
      RunBlock(t);
  } catch (const std::bad_alloc&) {
    t.error = ENOMEM;
  }
}

int DefaultWorkerCount() {
  return common::UsableProcessors() >= 2 ? 2 : 1;
}

CompressPool::CompressPool(int threads) {
  for (int i = 0; i < std::max(threads, 1); ++i) threads_.emplace_back([this] { Work(); });
}

CompressPool::~CompressPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    queue_.clear();
  }
  queued_.notify_all();
  for (auto& t : threads_) t.join();
}

void CompressPool::Submit(std::shared_ptr<CompressTask> task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(task));
  }
  queued_.notify_one();
}

void CompressPool::Wait(const CompressTask& task) {
  std::unique_lock<std::mutex> lock(mutex_);
  waitingFor_ = &task;
  finished_.wait(lock, [&] { return task.done; });
  waitingFor_ = nullptr;
}

void CompressPool::Abort() {
  std::unique_lock<std::mutex> lock(mutex_);
  queue_.clear();
  aborting_ = true;
  finished_.wait(lock, [&] { return running_ == 0; });
  aborting_ = false;
}

void CompressPool::Work() {
  for (;;) {
    std::shared_ptr<CompressTask> task;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      queued_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      task = std::move(queue_.front());
      queue_.pop_front();
      ++running_;
    }
    Run(*task);
    bool wake = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      task->done = true;
      --running_;
      // Only the task the writer waits for (or an abort) is worth a wake-up;
      // with many small files a wake-up per task costs more than the work.
      wake = waitingFor_ == task.get() || (aborting_ && running_ == 0);
    }
    if (wake) finished_.notify_all();
  }
}

}  // namespace arkelin::engine::zip::zipdll
