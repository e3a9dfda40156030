// The ramp colours the render suites fill trails with, and the colour of each copy worked out
// by hand for the sample counts they use.
#pragma once

#include <vector>

#include "hostapi/HostApi.h"

namespace quillstreak::test {

constexpr PF_Pixel kRampStart{255, 250, 10, 100};
constexpr PF_Pixel kRampEnd{255, 10, 250, 40};

/// kRamp[n][k]: the colour of copy k (earliest first) of n, from kRampEnd towards kRampStart:
/// E + k * (S - E) / n, each channel truncated. Only the colour channels count.
inline const std::vector<std::vector<PF_Pixel>> kRamp = {
    {},
    {{255, 10, 250, 40}},
    {{255, 10, 250, 40}, {255, 130, 130, 70}},
    {{255, 10, 250, 40}, {255, 90, 170, 60}, {255, 170, 90, 80}},
    {{255, 10, 250, 40}, {255, 70, 190, 55}, {255, 130, 130, 70}, {255, 190, 70, 85}},
    {{255, 10, 250, 40},
     {255, 58, 202, 52},
     {255, 106, 154, 64},
     {255, 154, 106, 76},
     {255, 202, 58, 88}},
};

}  // namespace quillstreak::test
