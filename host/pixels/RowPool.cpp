#include "RowPool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace quillstreak::host::detail {
namespace {

thread_local bool tInsideChunk = false;

// One RunChunks call. Lives on the caller's stack; workers reach it only through the queue,
// under the pool's mutex, and touch nothing but `remaining` after claiming their last chunk.
struct Job {
  void (*run)(void*, unsigned) = nullptr;
  void* context = nullptr;
  unsigned count = 0;
  unsigned next = 0;                   // next chunk to hand out (guarded by the pool's mutex)
  std::atomic<unsigned> remaining{0};  // chunks not finished yet
};

class Pool {
 public:
  Pool() {
    const unsigned hw = std::max(1u, std::thread::hardware_concurrency());
    const unsigned wanted = std::min(hw, 64u) - 1;
    for (unsigned k = 0; k < wanted; ++k) {
      try {
        std::thread(&Pool::WorkerLoop, this).detach();
        ++workers_;
      } catch (const std::system_error&) {
        break;  // fewer workers; callers do the rest themselves
      }
    }
  }

  unsigned workers() const { return workers_; }

  void Run(unsigned count, void (*run)(void*, unsigned), void* context) {
    Job job;
    job.run = run;
    job.context = context;
    job.count = count;
    job.next = 1;  // chunk 0 is the caller's
    job.remaining.store(count, std::memory_order_relaxed);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(&job);
    }
    if (count - 1 >= workers_) {
      work_.notify_all();
    } else {
      for (unsigned k = 1; k < count; ++k) work_.notify_one();
    }
    Execute(job, 0);
    // Help with the chunks nobody has taken yet.
    for (;;) {
      unsigned chunk;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (job.next >= job.count) break;
        chunk = job.next++;
        if (job.next >= job.count) Unqueue(&job);
      }
      Execute(job, chunk);
    }
    std::unique_lock<std::mutex> lock(mutex_);
    Unqueue(&job);  // when chunk 0 was the only one, nobody else has removed it
    done_.wait(lock, [&job] { return job.remaining.load(std::memory_order_acquire) == 0; });
  }

 private:
  void Execute(Job& job, unsigned chunk) {
    const bool outer = tInsideChunk;
    tInsideChunk = true;
    job.run(job.context, chunk);
    tInsideChunk = outer;
    if (job.remaining.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      // The caller may return as soon as it sees 0: `job` is not touched after this point.
      std::lock_guard<std::mutex> lock(mutex_);
      done_.notify_all();
    }
  }

  // Removes the job from the queue (mutex held).
  void Unqueue(Job* job) {
    const auto it = std::find(queue_.begin(), queue_.end(), job);
    if (it != queue_.end()) queue_.erase(it);
  }

  void WorkerLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      work_.wait(lock, [this] { return !queue_.empty(); });
      Job* job = queue_.front();
      const unsigned chunk = job->next++;
      if (job->next >= job->count) queue_.pop_front();
      lock.unlock();
      Execute(*job, chunk);
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable work_;
  std::condition_variable done_;
  std::deque<Job*> queue_;
  unsigned workers_ = 0;
};

// Never destroyed: the workers wait for work until the process ends, and a static destructor
// would have to join threads at exit (which can hang when the process ends from a DLL unload).
Pool& ThePool() {
  static Pool* pool = new Pool();
  return *pool;
}

}  // namespace

void RunChunks(unsigned count, void (*run)(void*, unsigned), void* context) {
  if (count == 0) return;
  if (count == 1 || tInsideChunk || ThePool().workers() == 0) {
    for (unsigned k = 0; k < count; ++k) run(context, k);
    return;
  }
  ThePool().Run(count, run, context);
}

unsigned PoolWorkers() { return ThePool().workers(); }

}  // namespace quillstreak::host::detail
