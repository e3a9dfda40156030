#include "host/FrameSource.h"

#include <algorithm>
#include <atomic>
#include <limits>

namespace quillstreak::host {

namespace {

std::atomic<std::uint64_t> nextSerial{1};

}  // namespace

FrameSource::FrameSource() : serial_(nextSerial.fetch_add(1, std::memory_order_relaxed)) {}

std::int64_t FrameIndexAt(std::int64_t value, std::uint32_t scale, FrameRate rate,
                          std::int64_t frameCount, bool loop) {
  if (frameCount <= 0) return 0;
  if (scale == 0 || rate.den == 0) value = 0;
  // Layer times beyond 32 bits lie far outside any source; within them value * num stays below
  // 2^63 and scale * den below 2^64.
  value = std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                   std::numeric_limits<std::int32_t>::max());
  const std::int64_t n = value * static_cast<std::int64_t>(rate.num);
  const std::uint64_t d = std::max<std::uint64_t>(1, std::uint64_t{scale} * rate.den);
  std::int64_t index = 0;  // floor(n / d)
  if (n >= 0) {
    index = static_cast<std::int64_t>(static_cast<std::uint64_t>(n) / d);
  } else {
    const std::uint64_t m = 0 - static_cast<std::uint64_t>(n);
    index = -static_cast<std::int64_t>(m / d) - (m % d != 0 ? 1 : 0);
  }
  if (index < 0) return 0;
  if (index < frameCount) return index;
  return loop ? index % frameCount : frameCount - 1;
}

}  // namespace quillstreak::host
