#include "RowPool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace quillstreak::host::detail {
namespace {

thread_local bool tInsideChunk = false;

// One RunChunks call. Lives on the caller's stack. Workers find it in the queue and join it under
// the pool's mutex, claim chunks from `next` without the mutex, and leave under the mutex; the
// caller returns only once every worker that joined has left.
struct Job {
  void (*run)(void*, unsigned) = nullptr;
  void* context = nullptr;
  unsigned count = 0;
  unsigned seats = 0;             // workers that may still join (guarded by the pool's mutex)
  unsigned joined = 0;            // workers inside the job (guarded by the pool's mutex)
  std::atomic<unsigned> next{0};  // next chunk to claim
};

// Claims and runs chunks until none is left.
void Work(Job& job) {
  const bool outer = tInsideChunk;
  tInsideChunk = true;
  for (unsigned k = job.next.fetch_add(1, std::memory_order_relaxed); k < job.count;
       k = job.next.fetch_add(1, std::memory_order_relaxed)) {
    job.run(job.context, k);
  }
  tInsideChunk = outer;
}

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

  void Run(unsigned count, unsigned helpers, void (*run)(void*, unsigned), void* context) {
    Job job;
    job.run = run;
    job.context = context;
    job.count = count;
    job.seats = std::min({helpers, workers_, count - 1});
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(&job);
    }
    if (job.seats >= workers_) {
      work_.notify_all();
    } else {
      for (unsigned k = 0; k < job.seats; ++k) work_.notify_one();
    }
    Work(job);
    std::unique_lock<std::mutex> lock(mutex_);
    Unqueue(&job);  // no worker joins from now on
    done_.wait(lock, [&job] { return job.joined == 0; });
  }

 private:
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
      if (job->next.load(std::memory_order_relaxed) >= job->count) {
        queue_.pop_front();  // every chunk is claimed: nothing to join
        continue;
      }
      ++job->joined;
      if (--job->seats == 0) queue_.pop_front();
      lock.unlock();
      Work(*job);
      lock.lock();
      // The caller may return as soon as it sees 0: `job` is not touched after this point.
      if (--job->joined == 0) done_.notify_all();
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

void RunChunks(unsigned count, unsigned helpers, void (*run)(void*, unsigned), void* context) {
  if (count == 0) return;
  if (count == 1 || helpers == 0 || tInsideChunk || ThePool().workers() == 0) {
    for (unsigned k = 0; k < count; ++k) run(context, k);
    return;
  }
  ThePool().Run(count, helpers, run, context);
}

unsigned PoolWorkers() { return ThePool().workers(); }

}  // namespace quillstreak::host::detail
