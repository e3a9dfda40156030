#include "plan/TrailPlan.h"

#include "frame/HostServices.h"
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
  try {
    // The master pointer of a handle leads to its block; the basic suite recorded there gives
    // the handle suite for the proper lock, unlock and dispose.
    const SPBasicSuite* basic = static_cast<const TrailPlan*>(*handle)->basicSuite;
    SuiteCache suites(basic);
    void* data = nullptr;
    if (LockHandle(suites, handle, data) == PF_Err_NONE && data != nullptr) {
      DestroySampleTimes(*static_cast<TrailPlan*>(data));
      UnlockHandle(suites, handle);
    }
    DisposeHandle(suites, handle);
  } catch (...) {
  }
}

}  // namespace quillstreak
