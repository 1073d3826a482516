// Compression workers of the zip library; see ZipCompressPool.h.
#include "engine/zip/dll/zip/ZipCompressPool.h"

#include "engine/zip/dll/common/ZipCrypto.h"

#include <sys/random.h>
#include <random>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#include <libdeflate.h>
#include <zlib.h>

namespace arkelin::engine::zip::zipdll {

SourceFd::~SourceFd() {
  if (fd >= 0) ::close(fd);
}

namespace {

constexpr size_t kDictionary = 32768;

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
  t.crc = static_cast<uint32_t>(libdeflate_crc32(0, in.data(), in.size()));
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
  if (t.password) {
    dll::ZipCryptoKeys keys(*t.password);
    const auto h = EncryptionHeader(keys, static_cast<uint8_t>(t.crc >> 24));
    keys.Encrypt(reinterpret_cast<uint8_t*>(t.out.data()), t.out.size());
    t.out.insert(0, reinterpret_cast<const char*>(h.data()), h.size());
  }
}

void RunBlock(CompressTask& t) {
  const size_t dict = static_cast<size_t>(std::min<uint64_t>(t.offset, kDictionary));
  std::string in(dict + t.length, '\0');
  if ((t.error = ReadFully(t.file->fd, t.offset - dict, in.data(), in.size())) != 0) return;
  const auto* data = reinterpret_cast<const Bytef*>(in.data() + dict);
  t.crc = static_cast<uint32_t>(libdeflate_crc32(0, data, t.length));
  if (t.level == 0) {
    t.out = in.substr(dict);
    return;
  }
  z_stream z{};
  if (deflateInit2(&z, t.level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    t.error = ENOMEM;
    return;
  }
  if (dict > 0) deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(in.data()), static_cast<uInt>(dict));
  t.out.resize(deflateBound(&z, static_cast<uLong>(t.length)) + 64);
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = static_cast<uInt>(t.length);
  z.next_out = reinterpret_cast<Bytef*>(t.out.data());
  z.avail_out = static_cast<uInt>(t.out.size());
  // A sync flush ends the block on a byte boundary without the final bit, so
  // the next block's output can simply follow it.
  const int rc = deflate(&z, t.lastBlock ? Z_FINISH : Z_SYNC_FLUSH);
  const bool ok = t.lastBlock ? rc == Z_STREAM_END : (rc == Z_OK && z.avail_in == 0);
  t.out.resize(t.out.size() - z.avail_out);
  deflateEnd(&z);
  if (!ok) t.error = EIO;
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
  const unsigned n = std::thread::hardware_concurrency();
  return n >= 2 ? 2 : 1;
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
