// The decoding threads; see DecodePool.h.
#include "engine/zip/dll/unz/DecodePool.h"

#include <cstdlib>

#include "engine/common/Processors.h"

namespace arkelin::engine::zip::dll {

DecodePool::DecodePool(int threads, Work work) : work_(std::move(work)) {
  for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { Loop(); });
}

DecodePool::~DecodePool() {
  {
    std::lock_guard<std::mutex> lk(m_);
    quit_ = true;
  }
  workCv_.notify_all();
  for (auto& t : threads_) t.join();
}

void DecodePool::Submit(std::vector<PoolJob*> chunk, bool small) {
  if (chunk.empty()) return;
  bool wake = false;
  {
    std::lock_guard<std::mutex> lk(m_);
    chunks_.push_back({std::move(chunk), small});
    wake = idle_ > 0;
  }
  if (wake) workCv_.notify_one();
}

void DecodePool::WaitFor(PoolJob& job, const std::function<bool()>& ready, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lk(m_);
  waiting_.store(&job);
  doneCv_.wait_for(lk, timeout, ready);
  waiting_.store(nullptr);
}

void DecodePool::WakeCaller() {
  // Under the lock: the caller either has not checked its condition yet
  // (and will see what changed) or is asleep and gets the signal.
  std::lock_guard<std::mutex> lk(m_);
  doneCv_.notify_all();
}

void DecodePool::Touch(PoolJob& job) {
  if (waiting_.load() == &job) WakeCaller();
}

bool DecodePool::RunSmallChunk() {
  Chunk chunk;
  {
    std::lock_guard<std::mutex> lk(m_);
    if (chunks_.empty() || !chunks_.front().small) return false;
    chunk = std::move(chunks_.front());
    chunks_.pop_front();
  }
  RunChunk(chunk);
  return true;
}

void DecodePool::RunChunk(Chunk& chunk) {
  for (PoolJob* job : chunk.jobs) {
    work_(*job);
    job->done.store(true);
  }
  // Once per chunk, not per job: a caller that keeps up with many tiny
  // entries would otherwise be woken for every one of them.
  if (waiting_.load() != nullptr) WakeCaller();
}

void DecodePool::Loop() {
  for (;;) {
    Chunk chunk;
    {
      std::unique_lock<std::mutex> lk(m_);
      ++idle_;
      workCv_.wait(lk, [this] { return quit_ || !chunks_.empty(); });
      --idle_;
      if (chunks_.empty()) return;  // quit_ and nothing left
      chunk = std::move(chunks_.front());
      chunks_.pop_front();
    }
    RunChunk(chunk);
  }
}

int DecodeThreads() {
  if (const char* v = std::getenv("ARKELIN_UNZIP_THREADS")) {
    const int n = std::atoi(v);
    if (n >= 0) return n > 64 ? 64 : n;
  }
  const int n = common::UsableProcessors();
  return n > 8 ? 8 : n;
}

}  // namespace arkelin::engine::zip::dll
