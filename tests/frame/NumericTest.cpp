// Conversions to the host's 32-bit integer: truncation toward zero, saturation at both ends.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "frame/Numeric.h"

namespace quillstreak {
namespace {

constexpr A_long kMax = std::numeric_limits<A_long>::max();
constexpr A_long kMin = std::numeric_limits<A_long>::min();

TEST(Numeric, TruncateToLongTruncatesTowardZeroAndSaturates) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double value;
    A_long expected;
  } cases[] = {
      {3.7, 3},
      {-3.7, -3},
      {2147483646.9, 2147483646},
      {2147483647.0, kMax},
      {1e300, kMax},
      {inf, kMax},
      {-2147483647.9, -2147483647},
      {-2147483648.0, kMin},
      {-1e300, kMin},
      {-inf, kMin},
      {std::numeric_limits<double>::quiet_NaN(), 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TruncateToLong(c.value), c.expected) << c.value;
  }
}

TEST(Numeric, SixtyFourBitValuesFitOrSaturateAtTheRangeEnds) {
  const struct {
    std::int64_t value;
    bool fits;
    A_long saturated;
  } cases[] = {
      {0, true, 0},
      {kMax, true, kMax},
      {std::int64_t{kMax} + 1, false, kMax},
      {std::numeric_limits<std::int64_t>::max(), false, kMax},
      {kMin, true, kMin},
      {std::int64_t{kMin} - 1, false, kMin},
      {std::numeric_limits<std::int64_t>::min(), false, kMin},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FitsLong(c.value), c.fits) << c.value;
    EXPECT_EQ(SaturateToLong(c.value), c.saturated) << c.value;
  }
}

}  // namespace
}  // namespace quillstreak
