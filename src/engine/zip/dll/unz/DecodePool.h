// The worker threads that decode entries while the calling thread keeps the
// order: the caller hands over chunks of jobs (a few small entries, or one
// large one) in archive order; each worker takes the oldest chunk waiting
// and runs its jobs one after another, marking each one done. The caller
// waits on one job at a time (the oldest not finished) and is woken when a
// chunk ends, or when the job it waits on reports progress; rather than
// wait it may run a small chunk itself.
//
// The pool knows nothing of entries: what a job means is the work function's
// business. The threads end when the pool is destroyed, after the chunks
// still waiting were run (the work function makes that quick after a stop).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace arkelin::engine::zip::dll {

struct PoolJob {
  std::atomic<bool> done{false};
  std::atomic<uint64_t> produced{0};  // decoded bytes so far
  std::atomic<int> keys{0};           // the work function's own use
};

class DecodePool {
 public:
  using Work = std::function<void(PoolJob&)>;
  DecodePool(int threads, Work work);
  ~DecodePool();
  DecodePool(const DecodePool&) = delete;
  DecodePool& operator=(const DecodePool&) = delete;

  // `small`: the chunk is quick to run (a few small entries), so the
  // caller may take it itself rather than wait.
  void Submit(std::vector<PoolJob*> chunk, bool small);
  // Runs the oldest waiting chunk on the calling thread when it is small;
  // false when there is none.
  bool RunSmallChunk();
  // Waits until `ready()` holds or `timeout` passes; `job` is the one the
  // caller waits on. `ready` is evaluated under the pool's lock.
  void WaitFor(PoolJob& job, const std::function<bool()>& ready, std::chrono::milliseconds timeout);
  // Worker side: wakes the caller if it waits on `job`.
  void Touch(PoolJob& job);

 private:
  void Loop();
  void WakeCaller();

  Work work_;
  std::mutex m_;
  std::condition_variable workCv_, doneCv_;
  struct Chunk {
    std::vector<PoolJob*> jobs;
    bool small = false;
  };
  void RunChunk(Chunk& chunk);
  std::deque<Chunk> chunks_;
  std::atomic<PoolJob*> waiting_{nullptr};
  int idle_ = 0;
  bool quit_ = false;
  std::vector<std::thread> threads_;
};

// How many worker threads a run uses: ARKELIN_UNZIP_THREADS when set (0:
// none, everything is decoded on the calling thread), else the processors
// this process may run on, at most 8. The calling thread helps with small
// chunks besides.
int DecodeThreads();

}  // namespace arkelin::engine::zip::dll
