// The small statistics every benchmark program reports with: the median of per-iteration figures,
// and seconds on the steady clock.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace quillstreak::bench {

/// The median of `v` (the mean of the middle two for an even count); 0 for none.
inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n == 0 ? 0 : n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

/// Seconds from `start` to now, on the steady clock.
inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace quillstreak::bench
