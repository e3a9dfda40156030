#include "plan/SelectSampleTimes.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "frame/Numeric.h"

namespace quillstreak {
namespace {

constexpr double kPercent = 0.01;

/// The larger of two values, keeping the first when they compare equal or unordered.
double Larger(double a, double b) { return b > a ? b : a; }

}  // namespace

double DownsampleFactor(PF_RationalScale scale) {
  return static_cast<double>(scale.num) / static_cast<double>(scale.den);
}

double MeasureMotion(TrailPlan& plan, const LayerTransform& probe, const LayerTransform& base,
                     double dsx, double dsy) {
  // Rotation.
  plan.rotateXAtProbe = probe.rotateX;
  plan.rotateXAtBase = base.rotateX;
  plan.rotateXDelta = std::fabs(plan.rotateXAtProbe - plan.rotateXAtBase);
  plan.rotateYAtProbe = probe.rotateY;
  plan.rotateYAtBase = base.rotateY;
  plan.rotateYDelta = std::fabs(plan.rotateYAtProbe - plan.rotateYAtBase);
  plan.rotateZAtProbe = probe.rotateZ;
  plan.rotateZAtBase = base.rotateZ;
  plan.rotateZDelta = std::fabs(plan.rotateZAtProbe - plan.rotateZAtBase);
  plan.rotationMotion = plan.samplesRotation *
                        Larger(Larger(plan.rotateXDelta, plan.rotateYDelta), plan.rotateZDelta);

  // Scale, through the factors.
  plan.scaleXAtProbe = probe.scale[0] * kPercent;
  plan.scaleYAtProbe = probe.scale[1] * kPercent;
  plan.scaleXAtBase = base.scale[0] * kPercent;
  plan.scaleYAtBase = base.scale[1] * kPercent;
  plan.scaleRatioX = plan.scaleXAtBase / plan.scaleXAtProbe;
  plan.scaleRatioY = plan.scaleYAtBase / plan.scaleYAtProbe;
  plan.scaleDeltaX = plan.scaleXAtProbe - plan.scaleXAtBase;
  plan.scaleDeltaY = plan.scaleYAtProbe - plan.scaleYAtBase;
  plan.scaleMotion = (plan.samplesScale * 100.0) *
                     Larger(std::fabs(plan.scaleDeltaX), std::fabs(plan.scaleDeltaY));

  // Anchor point; z counts with the horizontal factor.
  plan.anchorDeltaX = std::fabs(probe.anchor[0] - base.anchor[0]) * dsx;
  plan.anchorDeltaY = std::fabs(probe.anchor[1] - base.anchor[1]) * dsy;
  plan.anchorDeltaZ = std::fabs(probe.anchor[2] - base.anchor[2]) * dsx;
  plan.anchorDeltaMax = Larger(Larger(plan.anchorDeltaX, plan.anchorDeltaY), plan.anchorDeltaZ);

  // Position, likewise.
  plan.positionDeltaX = std::fabs(probe.position[0] - base.position[0]) * dsx;
  plan.positionDeltaY = std::fabs(probe.position[1] - base.position[1]) * dsy;
  plan.positionDeltaZ = std::fabs(probe.position[2] - base.position[2]) * dsx;
  plan.positionDeltaMax =
      Larger(Larger(plan.positionDeltaX, plan.positionDeltaY), plan.positionDeltaZ);

  plan.motionAmount =
      Larger(Larger(Larger(std::fabs(plan.anchorDeltaMax), std::fabs(plan.positionDeltaMax)),
                    std::fabs(plan.scaleMotion)),
             plan.rotationMotion);
  return plan.motionAmount;
}

PF_Err SelectSampleTimes(TrailPlan& plan, A_long currentTime, PF_RationalScale downsampleX,
                         PF_RationalScale downsampleY, const TransformReader& read) {
  if (plan.sampleTimes == nullptr) {
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
  const double dsx = DownsampleFactor(downsampleX);
  const double dsy = DownsampleFactor(downsampleY);

  // At least one time unit per step, so that the loop always advances.
  A_long step = TruncateToLong(static_cast<double>(plan.timeThreshold) / dsx);
  if (step < 1) {
    step = 1;
  }
  plan.timeThreshold = step;

  const A_long start = TruncateToLong(static_cast<double>(currentTime) - plan.shutterTicks);
  // The window ends at the current time; when the start had to saturate, it is shorter than
  // shutterTicks.
  const double window = std::min(
      plan.shutterTicks, static_cast<double>(static_cast<std::int64_t>(currentTime) - start));
  std::int64_t base = start;
  std::int64_t probe = static_cast<std::int64_t>(start) + step;
  std::int64_t offset = 0;

  // A window of more probes than any usable setting needs would keep the host busy for hours:
  // such a frame fails at once instead.
  if (window >= 0.0 && window / static_cast<double>(step) >= static_cast<double>(kMaxProbes)) {
    return PF_Err_OUT_OF_MEMORY;
  }

  LayerTransform baseTransform{};
  LayerTransform probeTransform{};
  if (const PF_Err err = read(static_cast<A_long>(base), baseTransform)) {
    return err;
  }
  if (!(plan.shutterTicks >= 0.0)) {
    return PF_Err_NONE;
  }
  for (;;) {
    if (!FitsLong(probe)) {
      break;
    }
    if (const PF_Err err = read(static_cast<A_long>(probe), probeTransform)) {
      return err;
    }
    const double amount = MeasureMotion(plan, probeTransform, baseTransform, dsx, dsy);
    if (!(plan.motionThreshold > amount)) {
      plan.sampleTimes->push_back(static_cast<A_long>(base));
      base = probe;
      if (const PF_Err err = read(static_cast<A_long>(base), baseTransform)) {
        return err;
      }
    }
    probe += step;
    offset += step;
    if (static_cast<double>(offset) > window) {
      break;
    }
  }
  return PF_Err_NONE;
}

}  // namespace quillstreak
