#include "Bandwidth.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace quillstreak::bench {
namespace {

using Clock = std::chrono::steady_clock;

// Best time of `rounds` rounds of `reps` copies of `bytes` split over `threads` threads.
double BestCopySeconds(std::vector<unsigned char>& from, std::vector<unsigned char>& to,
                       unsigned threads, int reps, int rounds) {
  const std::size_t bytes = from.size();
  double best = 1e30;
  for (int round = 0; round < rounds; ++round) {
    const auto start = Clock::now();
    auto copy_part = [&](unsigned k) {
      const std::size_t begin = bytes * k / threads, end = bytes * (k + 1) / threads;
      for (int r = 0; r < reps; ++r) {
        std::memcpy(to.data() + begin, from.data() + begin, end - begin);
        benchmark::ClobberMemory();
      }
    };
    std::vector<std::thread> pool;
    for (unsigned k = 1; k < threads; ++k) pool.emplace_back(copy_part, k);
    copy_part(0);
    for (std::thread& t : pool) t.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count() / reps;
    best = std::min(best, seconds);
  }
  return best;
}

MemcpyBandwidth Measure() {
  MemcpyBandwidth bw;
  bw.cores = std::max(1u, std::thread::hardware_concurrency());
  bw.bufferBytes = kFrameBytes;
  std::vector<unsigned char> from(kFrameBytes), to(kFrameBytes);
  for (std::size_t i = 0; i < from.size(); ++i) from[i] = static_cast<unsigned char>(i * 7);
  std::memset(to.data(), 1, to.size());
  const double moved = 2.0 * static_cast<double>(kFrameBytes);
  bw.oneThread = moved / BestCopySeconds(from, to, 1, 20, 5);
  bw.allCores = moved / BestCopySeconds(from, to, bw.cores, 20, 5);
  std::fprintf(stderr,
               "memcpy bandwidth (read + write, %.1f MB buffers): one thread %.2f GB/s, "
               "%u cores %.2f GB/s\n",
               static_cast<double>(kFrameBytes) / 1e6, bw.oneThread / 1e9, bw.cores,
               bw.allCores / 1e9);
  return bw;
}

}  // namespace

const MemcpyBandwidth& Memcpy() {
  static const MemcpyBandwidth measured = Measure();
  return measured;
}

BoundCounter::BoundCounter(bool allCores) : allCores_(allCores) {
  (void)Memcpy();  // measured before the clock starts
  start_ = Clock::now();
}

void BoundCounter::Report(benchmark::State& state) const {
  const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
  const double bandwidth = allCores_ ? Memcpy().allCores : Memcpy().oneThread;
  const double iterations = static_cast<double>(state.iterations());
  if (bytes_ > 0 && iterations > 0) {
    state.counters["x_bandwidth_bound"] = benchmark::Counter(seconds / (bytes_ / bandwidth));
    state.counters["MB_moved"] = benchmark::Counter(bytes_ / iterations / 1e6);
  }
  if (pixels_ > 0) {
    state.counters["pixels_per_s"] = benchmark::Counter(pixels_, benchmark::Counter::kIsRate);
  }
}

}  // namespace quillstreak::bench
