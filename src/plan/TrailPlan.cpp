#include "plan/TrailPlan.h"

#include "frame/HostServices.h"
#include "frame/Numeric.h"
#include "frame/SuiteCache.h"

namespace quillstreak {

A_long CurrentFrameCheckoutId(double sampleCount) { return TruncateToLong(sampleCount + 2.0); }

void DestroySampleTimes(TrailPlan& plan) {
  delete plan.sampleTimes;
  plan.sampleTimes = nullptr;
}

extern "C" void DeleteTrailPlan(void* pre_render_data) {
  const auto handle = static_cast<PF_Handle>(pre_render_data);
  if (handle == nullptr || *handle == nullptr) {
    return;
  }
  // The master pointer of a handle leads to its block: the sample list is destroyed through it,
  // so that no host failure below can leave the list behind.
  TrailPlan& plan = *static_cast<TrailPlan*>(*handle);
  const SPBasicSuite* basic = plan.basicSuite;
  DestroySampleTimes(plan);
  try {
    SuiteCache suites(basic);
    DisposeHandle(suites, handle);
  } catch (...) {
  }
}

}  // namespace quillstreak
