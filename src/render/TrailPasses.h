// Which passes smart render draws the trail with, from the plan alone.
#pragma once

#include "plan/TrailPlan.h"

namespace quillstreak {

struct TrailPasses {
  bool rampPerCopy = false;  // each copy filled with its ramp colour
  bool solidFill = false;    // the whole trail filled with the solid colour
  bool opacity = false;      // the trail's alpha scaled by the plan's opacity
};

/// The ramp when its checkbox is on (1), the solid colour only when its checkbox is on and the
/// ramp's is off (0): any other checkbox byte draws neither. The opacity pass unless the opacity
/// is exactly 1, where it would leave every pixel as it is.
inline TrailPasses ChoosePasses(const TrailPlan& plan) {
  TrailPasses passes;
  passes.rampPerCopy = plan.rampFillEnabled == 1;
  passes.solidFill = plan.solidFillEnabled == 1 && plan.rampFillEnabled == 0;
  passes.opacity = plan.opacity != 1.0;
  return passes;
}

}  // namespace quillstreak
