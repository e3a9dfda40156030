// Conversions to the host's signed 32-bit integer, shared by the host-free cores (motion
// sampling, the plan) and the host glue. Each saturates instead of overflowing, so no value a
// host or a parameter can hold makes a conversion undefined.
#pragma once

#include <cstdint>
#include <limits>

#include "hostapi/HostApi.h"

namespace quillstreak {

/// Saturating truncation toward zero of a double to a signed 32-bit value; NaN gives 0.
constexpr A_long TruncateToLong(double value) {
  if (!(value == value)) {
    return 0;
  }
  if (value >= 2147483647.0) {
    return std::numeric_limits<A_long>::max();
  }
  if (value <= -2147483648.0) {
    return std::numeric_limits<A_long>::min();
  }
  return static_cast<A_long>(value);
}

/// Whether a 64-bit value lies in the signed 32-bit range.
constexpr bool FitsLong(std::int64_t value) {
  return value >= std::numeric_limits<A_long>::min() && value <= std::numeric_limits<A_long>::max();
}

/// A 64-bit value clamped to the signed 32-bit range.
constexpr A_long SaturateToLong(std::int64_t value) {
  if (value > std::numeric_limits<A_long>::max()) return std::numeric_limits<A_long>::max();
  if (value < std::numeric_limits<A_long>::min()) return std::numeric_limits<A_long>::min();
  return static_cast<A_long>(value);
}

}  // namespace quillstreak
