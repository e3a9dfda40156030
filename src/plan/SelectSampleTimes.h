// The host-free core of motion sampling: which earlier times of the shutter interval get a
// trail copy.
#pragma once

#include <cstdint>
#include <functional>

#include "hostapi/HostApi.h"
#include "plan/TrailPlan.h"

namespace quillstreak {

/// Values of a layer's transform streams at one time, as the host delivers them.
struct LayerTransform {
  double position[3];
  double scale[2];  // percent
  double anchor[3];
  double rotateZ;
  double rotateY;
  double rotateX;
};

/// Probes one frame may make at most.
inline constexpr std::int64_t kMaxProbes = std::int64_t{1} << 20;

/// Gives the measured layer's transform at a time value, or a host error.
using TransformReader = std::function<PF_Err(A_long time, LayerTransform& out)>;

/// Steps through the window of `plan.shutterTicks` time units that ends at `currentTime`,
/// appending to `plan.sampleTimes` every base time whose change to a later probe reaches
/// `plan.motionThreshold`. Rewrites `plan.timeThreshold` with the probe step and the working
/// values with those of the last probe. Returns 0 or the first error of the reader.
///
/// The step is at least one time unit whatever the downsample factors, every double to 32-bit
/// conversion saturates, and no probe time leaves the signed 32-bit range, so it always ends.
/// A window that would take kMaxProbes probes or more is refused with PF_Err_OUT_OF_MEMORY
/// before anything is read (valid settings stay far below it: at most 278 probes per time unit
/// of the frame duration).
PF_Err SelectSampleTimes(TrailPlan& plan, A_long currentTime, PF_RationalScale downsampleX,
                         PF_RationalScale downsampleY, const TransformReader& read);

/// The motion measure of a probe against the base, written into the plan's working values.
/// Returns `motionAmount`.
double MeasureMotion(TrailPlan& plan, const LayerTransform& probe, const LayerTransform& base,
                     double dsx, double dsy);

/// A downsample factor as the double num / den (num signed, den unsigned).
double DownsampleFactor(PF_RationalScale scale);

}  // namespace quillstreak
