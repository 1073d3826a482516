// The compression workers of the zip library. Work comes as tasks, each one
// piece of one file: a whole small or medium file (read, CRC, deflated in one
// call with libdeflate, stored instead when deflate does not shrink it, and
// encrypted when asked), or one block of a large file (deflated on its own
// with libdeflate; every block but the last is then made joinable, so the
// blocks of a file form one valid deflate stream). Tasks run on a small pool
// of threads; the writer waits for them in file order. The pool never calls
// back into the caller: progress stays on the writer's thread.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace arkelin::engine::zip::dll {
class ZipCryptoKeys;
}

namespace arkelin::engine::zip::zipdll {

// An open source file shared by the tasks of its blocks; closed with the
// last of them.
struct SourceFd {
  explicit SourceFd(int f) : fd(f) {}
  ~SourceFd();
  SourceFd(const SourceFd&) = delete;
  SourceFd& operator=(const SourceFd&) = delete;
  int fd;
};

struct CompressTask {
  // Input.
  std::shared_ptr<SourceFd> file;
  uint64_t offset = 0;
  uint64_t length = 0;
  bool whole = false;        // the whole file in this one task
  bool lastBlock = false;    // the last block of a large file
  int level = 6;             // 0 = store
  const std::string* password = nullptr;  // whole tasks only: encrypt
  int aes = 0;               // with a password: 0 traditional, 1..3 AES strength

  // Output, valid once done.
  std::string out;
  uint32_t crc = 0;
  bool stored = false;       // whole tasks: kept stored
  int error = 0;             // errno; EIO for a short read
  bool done = false;
};

class CompressPool {
 public:
  explicit CompressPool(int threads);
  ~CompressPool();
  CompressPool(const CompressPool&) = delete;
  CompressPool& operator=(const CompressPool&) = delete;

  void Submit(std::shared_ptr<CompressTask> task);
  // Blocks until the task is done.
  void Wait(const CompressTask& task);
  // Drops the queued tasks and waits for the running ones.
  void Abort();

  // Runs one task on the calling thread (also what the workers do).
  static void Run(CompressTask& task);

 private:
  void Work();

  std::mutex mutex_;
  std::condition_variable queued_;
  std::condition_variable finished_;
  std::deque<std::shared_ptr<CompressTask>> queue_;
  int running_ = 0;
  bool stopping_ = false;
  bool aborting_ = false;
  const CompressTask* waitingFor_ = nullptr;  // the task Wait() blocks on
  std::vector<std::thread> threads_;
};

// The 12-byte traditional encryption header (11 random bytes, then the
// check byte), encrypted with the fresh keys, which it advances.
std::array<uint8_t, 12> EncryptionHeader(dll::ZipCryptoKeys& keys, uint8_t check);

// Clears the final-block bit of a complete raw deflate stream and pads it to
// a byte boundary with empty blocks, so that another stream can follow it
// directly. False when the stream does not inflate cleanly.
bool MakeJoinable(std::string& stream);

// How many workers to start: the processors the machine offers, at most 2
// (the library shares the machine with the program's interface thread).
int DefaultWorkerCount();

}  // namespace arkelin::engine::zip::zipdll
