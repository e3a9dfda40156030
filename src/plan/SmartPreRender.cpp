#include "plan/SmartPreRender.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "frame/HostServices.h"
#include "frame/Numeric.h"
#include "frame/SuiteCache.h"
#include "params/ParamIndex.h"
#include "plan/LockedPlan.h"
#include "plan/MotionSampling.h"
#include "plan/TrailPlan.h"

namespace quillstreak {
namespace {

constexpr double kDegreesToTurns = 0.002777777777777778;  // nearest double to 1/360
constexpr double kPercentToFactor = 0.01;

bool IsEmpty(const PF_LRect& r) { return r.left >= r.right || r.top >= r.bottom; }

/// The 24 parameter slots of one call, all checked back in when the call ends, also when an
/// exception passes.
class ParamSlots {
 public:
  explicit ParamSlots(HostServices& host) : host_(host) {
    std::memset(slots_.data(), 0, sizeof(PF_ParamDef) * slots_.size());
  }
  ~ParamSlots() {
    if (!checkedIn_) CheckinAll();
  }
  ParamSlots(const ParamSlots&) = delete;
  ParamSlots& operator=(const ParamSlots&) = delete;

  /// Checks out indices 0 to 23 at the current time, stopping at the first error.
  PF_Err CheckoutAll() {
    for (A_long index = PARAM_INPUT; index < PARAM_COUNT; ++index) {
      if (const PF_Err err = host_.CheckoutParam(index, slots_[static_cast<std::size_t>(index)])) {
        return err;
      }
    }
    return PF_Err_NONE;
  }

  /// Checks in every slot, checked out or not; returns the first error.
  PF_Err CheckinAll() {
    checkedIn_ = true;
    PF_Err first = PF_Err_NONE;
    for (PF_ParamDef& slot : slots_) {
      const PF_Err err = host_.CheckinParam(slot);
      if (first == PF_Err_NONE) first = err;
    }
    return first;
  }

  const PF_ParamDef& operator[](ParamIndex index) const {
    return slots_[static_cast<std::size_t>(index)];
  }

 private:
  HostServices& host_;
  std::array<PF_ParamDef, PARAM_COUNT> slots_;
  bool checkedIn_ = false;
};

void FillPlan(const PF_InData& in_data, const ParamSlots& slots, TrailPlan& plan) {
  plan.motionThreshold = slots[PARAM_MOTION_THRESHOLD].u.fs_d.value;
  plan.timeThreshold = TruncateToLong(slots[PARAM_TIME_THRESHOLD].u.fs_d.value);
  plan.shutterTicks = static_cast<double>(
      TruncateToLong(static_cast<double>(in_data.local_time_step) *
                     (slots[PARAM_SHUTTER_ANGLE].u.fs_d.value * kDegreesToTurns)));
  plan.motionSourceLayer = slots[PARAM_MOTION_SOURCE].u.ld;
  plan.solidFillEnabled = static_cast<A_u_char>(slots[PARAM_SOLID_FILL_ENABLE].u.bd.value & 0xFF);
  plan.solidColor = slots[PARAM_SOLID_COLOR].u.cd.value;
  plan.rampFillEnabled = static_cast<A_u_char>(slots[PARAM_RAMP_FILL_ENABLE].u.bd.value & 0xFF);
  plan.rampStartColor = slots[PARAM_RAMP_START_COLOR].u.cd.value;
  plan.rampEndColor = slots[PARAM_RAMP_END_COLOR].u.cd.value;
  plan.opacity = slots[PARAM_OPACITY].u.fs_d.value * kPercentToFactor;
  plan.samplesRotation = slots[PARAM_SAMPLES_ROTATION].u.fs_d.value;
  plan.samplesScale = slots[PARAM_SAMPLES_SCALE].u.fs_d.value;
  plan.leftValue = slots[PARAM_LEFT].u.fs_d.value;
  plan.topValue = slots[PARAM_TOP].u.fs_d.value;
  plan.rightValue = slots[PARAM_RIGHT].u.fs_d.value;
  plan.bottomValue = slots[PARAM_BOTTOM].u.fs_d.value;
}

}  // namespace

void GrowRect(PF_LRect& into, const PF_LRect& by) {
  if (IsEmpty(into)) {
    into = by;
  } else if (!IsEmpty(by)) {
    into.left = std::min(into.left, by.left);
    into.top = std::min(into.top, by.top);
    into.right = std::max(into.right, by.right);
    into.bottom = std::max(into.bottom, by.bottom);
  }
}

PF_Err SmartPreRender(PF_InData& in_data, PF_PreRenderExtra& extra) {
  if (extra.input == nullptr || extra.output == nullptr || extra.cb == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  PF_PreRenderOutput& output = *extra.output;
  PF_RenderRequest request = extra.input->output_request;
  request.channel_mask = PF_ChannelMask_ARGB;

  SuiteCache suites(in_data.pica_basicP);
  PrepareHandleRelease(suites);
  HostServices host(in_data);

  PF_Err err = PF_Err_NONE;
  PF_Handle handle = nullptr;
  KeepFirst(err, NewHandle(suites, sizeof(TrailPlan), handle));
  ParamSlots slots(host);

  void* data = nullptr;
  if (err == PF_Err_NONE && handle == nullptr) {
    err = PF_Err_OUT_OF_MEMORY;
  }
  if (err == PF_Err_NONE) {
    err = LockHandle(suites, handle, data);
    if (err == PF_Err_NONE && data == nullptr) {
      err = PF_Err_OUT_OF_MEMORY;
    }
    if (err != PF_Err_NONE) {
      // Nobody else will ever see this handle.
      DisposeHandle(suites, handle);
      handle = nullptr;
    }
  }

  if (err == PF_Err_NONE) {
    LockedPlan locked(suites, handle, *static_cast<TrailPlan*>(data),
                      LockedPlan::OnRelease::KeepSamples);
    TrailPlan& plan = locked.plan();
    plan = TrailPlan{};
    plan.basicSuite = in_data.pica_basicP;
    output.pre_render_data = handle;
    output.delete_pre_render_data_func = DeleteTrailPlan;
    plan.sampleTimes = new SampleTimeList();

    err = slots.CheckoutAll();
    FillPlan(in_data, slots, plan);
    if (err == PF_Err_NONE) {
      try {
        err = SampleMotion(in_data, plan);
      } catch (PF_Err raised) {
        // A missing suite ends sampling; the plan is still unlocked and the parameters checked in.
        err = raised;
      }
    }
    plan.sampleCount = static_cast<double>(plan.sampleTimes->size());

    // The samples under ids 1 to n, then the current frame under its own id: each checkout's
    // rectangles grow the output's.
    const A_long checkouts = TruncateToLong(plan.sampleCount) + 1;
    for (A_long k = 1; err == PF_Err_NONE && k <= checkouts; ++k) {
      const bool currentFrame = k == checkouts;
      const A_long id = currentFrame ? CurrentFrameCheckoutId(plan.sampleCount) : k;
      const A_long time = currentFrame ? in_data.current_time
                                       : (*plan.sampleTimes)[static_cast<std::size_t>(k - 1)];
      PF_CheckoutResult result;
      std::memset(&result, 0, sizeof(result));
      err = CallHost(extra.cb->checkout_layer, in_data.effect_ref, PF_ParamIndex{PARAM_INPUT}, id,
                     static_cast<const PF_RenderRequest*>(&request), time, in_data.time_step,
                     in_data.time_scale, &result);
      if (err == PF_Err_NONE) {
        GrowRect(output.result_rect, result.result_rect);
        GrowRect(output.max_result_rect, result.max_result_rect);
      }
    }
    locked.Release();
  }

  KeepFirst(err, slots.CheckinAll());
  return err;
}

}  // namespace quillstreak
