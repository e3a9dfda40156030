// The fuzz targets' doubles: mostly ordinary values, but NaN, infinities and any bit pattern too.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <limits>

namespace quillstreak::fuzz {

/// One of the cases 0 to `lastCase`, as the input picks it: 0 NaN, 1 an infinity of either sign,
/// 2 any double, and from 3 on `ordinary(k)`, the caller's ordinary values for case k.
template <typename Ordinary>
double HostileDouble(FuzzedDataProvider& in, int lastCase, Ordinary&& ordinary) {
  const int k = in.ConsumeIntegralInRange<int>(0, lastCase);
  switch (k) {
    case 0:
      return std::numeric_limits<double>::quiet_NaN();
    case 1:
      return in.ConsumeBool() ? std::numeric_limits<double>::infinity()
                              : -std::numeric_limits<double>::infinity();
    case 2:
      return in.ConsumeFloatingPoint<double>();
    default:
      return ordinary(k);
  }
}

}  // namespace quillstreak::fuzz
