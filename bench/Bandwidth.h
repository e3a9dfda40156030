// The physical limit every benchmark is compared with: memcpy bandwidth, measured once per run on
// buffers the size of a 1920x1080 8-bit frame, on one thread and on all cores.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>

namespace quillstreak::bench {

/// Bytes per second that memcpy moves, counting both the bytes read and the bytes written
/// (a memcpy of n bytes moves 2n).
struct MemcpyBandwidth {
  double oneThread = 0;
  double allCores = 0;
  unsigned cores = 1;
  std::uint64_t bufferBytes = 0;  // size of each of the two buffers copied between
};

/// Measured on first use (a few hundred milliseconds) and printed to stderr once.
const MemcpyBandwidth& Memcpy();

/// Bytes of one 1920x1080 8-bit ARGB frame.
inline constexpr std::uint64_t kFrameBytes = std::uint64_t{1920} * 1080 * 4;

/// Accumulates, over a benchmark's iterations, what the case moved, and turns it into counters:
///   x_bandwidth_bound  wall time / (bytes moved / memcpy bandwidth): 1.0 = as fast as memcpy
///   pixels_per_s       pixels processed per second (when pixels were counted)
///   MB_moved           bytes moved per iteration, in 10^6 bytes
/// Every case runs with UseRealTime(): the work is spread over the host's worker threads.
/// The wall time counts from construction to Report, so construct it right before the loop.
class BoundCounter {
 public:
  explicit BoundCounter(bool allCores);
  /// One iteration moved `bytes` (read + written) and processed `pixels`.
  void Add(double bytes, double pixels) {
    bytes_ += bytes;
    pixels_ += pixels;
  }
  /// Sets the counters on the state (call once after the loop).
  void Report(benchmark::State& state) const;

 private:
  bool allCores_;
  std::chrono::steady_clock::time_point start_;
  double bytes_ = 0;
  double pixels_ = 0;
};

}  // namespace quillstreak::bench
