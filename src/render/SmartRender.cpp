#include "render/SmartRender.h"

#include <cstdint>
#include <vector>

#include "frame/AegpRefs.h"
#include "frame/HostServices.h"
#include "frame/Numeric.h"
#include "frame/SuiteCache.h"
#include "plan/LockedPlan.h"
#include "plan/TrailPlan.h"
#include "render/Kernels.h"
#include "render/TrailPasses.h"

namespace quillstreak {
namespace {

/// The distance from one origin to another, saturated to 32 bits: worlds at opposite ends of
/// the range are far outside each other either way, and the host clips the transfer.
A_long Offset(A_long to, A_long from) {
  return SaturateToLong(static_cast<std::int64_t>(to) - from);
}

/// One render's state and the host calls it makes.
class TrailCompositor {
 public:
  TrailCompositor(PF_InData& in_data, PF_SmartRenderExtra& extra, SuiteCache& suites)
      : in_(in_data), cb_(*extra.cb), suites_(suites) {
    mode_.xfer = PF_Xfer_IN_FRONT;
    mode_.rand_seed = 0;
    mode_.opacity = 255;
    mode_.rgb_only = 0;
    mode_.opacitySu = 0;
  }

  PF_Err CheckoutLayer(A_long id, PF_EffectWorld*& world) {
    world = nullptr;
    return CallHost(cb_.checkout_layer_pixels, in_.effect_ref, id, &world);
  }

  PF_Err CheckoutOutput(PF_EffectWorld*& world) {
    world = nullptr;
    return CallHost(cb_.checkout_output, in_.effect_ref, &world);
  }

  /// Runs a kernel over every pixel of the world, which is both source and destination.
  PF_Err Iterate(PF_EffectWorld& world, PF_IteratePixel8Func kernel) {
    return CallHost(suites_.Iterate8Suite1().iterate, &in_, A_long{0}, world.height, &world,
                    static_cast<const PF_Rect*>(nullptr), static_cast<void*>(&refcon_), kernel,
                    &world);
  }

  /// Draws `source` in front of `output`, placed by the two worlds' origins. The worlds the host
  /// hands us hold straight ARGB, and the transfer says so: a host that took them for
  /// premultiplied would brighten every partly covered pixel that lands on the trail.
  PF_Err Transfer(const PF_EffectWorld& source, PF_EffectWorld& output) {
    return CallHost(suites_.WorldTransformSuite1().transfer_rect, in_.effect_ref, in_.quality,
                    PF_ModeFlags{PF_MF_Alpha_STRAIGHT}, in_.field, &source.extent_hint, &source,
                    static_cast<const PF_CompositeMode*>(&mode_),
                    static_cast<const PF_MaskWorld*>(nullptr),
                    Offset(source.origin_x, output.origin_x),
                    Offset(source.origin_y, output.origin_y), &output);
  }

  KernelRefcon& refcon() { return refcon_; }

 private:
  PF_InData& in_;
  PF_SmartRenderCallbacks& cb_;
  SuiteCache& suites_;
  PF_CompositeMode mode_{};
  KernelRefcon refcon_{};
};

}  // namespace

PF_Err SmartRender(PF_InData& in_data, PF_SmartRenderExtra& extra) {
  if (extra.input == nullptr || extra.cb == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  SuiteCache suites(in_data.pica_basicP);
  PrepareHandleRelease(suites);

  // Without the plan that pre-render should have made there is nothing to draw.
  const auto handle = static_cast<PF_Handle>(extra.input->pre_render_data);
  if (handle == nullptr) {
    return PF_Err_OUT_OF_MEMORY;
  }
  void* data = nullptr;
  if (const PF_Err err = LockHandle(suites, handle, data)) {
    return err;
  }
  if (data == nullptr) {
    return PF_Err_OUT_OF_MEMORY;
  }
  LockedPlan locked(suites, handle, *static_cast<TrailPlan*>(data),
                    LockedPlan::OnRelease::DestroySamples);
  const TrailPlan& plan = locked.plan();
  TrailCompositor compositor(in_data, extra, suites);

  PF_Err err = PF_Err_NONE;
  PF_EffectWorld* current = nullptr;
  PF_EffectWorld* output = nullptr;

  err = compositor.CheckoutLayer(CurrentFrameCheckoutId(plan.sampleCount), current);
  if (err == PF_Err_NONE) {
    err = compositor.CheckoutOutput(output);
  }
  if (output != nullptr) {
    if (in_data.utils == nullptr || in_data.utils->fill == nullptr) {
      KeepFirst(err, PF_Err_BAD_CALLBACK_PARAM);
    } else {
      // A clear that fails leaves the frame as the host gave it; the render goes on.
      HostServices(in_data).ClearWorld(*output);
    }
  }

  const A_long sampleCount = plan.sampleCount > 0.0 ? TruncateToLong(plan.sampleCount) : 0;
  std::vector<PF_Pixel> rampColors(static_cast<std::size_t>(sampleCount), PF_Pixel{0, 0, 0, 0});
  const TrailPasses passes = ChoosePasses(plan);
  if (passes.rampPerCopy) {
    BuildRampColors(plan, rampColors.data(), rampColors.size());
  }

  for (A_long i = 1; static_cast<double>(i) <= plan.sampleCount && i <= sampleCount; ++i) {
    if (err != PF_Err_NONE) {
      break;
    }
    PF_EffectWorld* sample = nullptr;
    err = compositor.CheckoutLayer(i, sample);
    if (passes.rampPerCopy) {
      compositor.refcon().fillColor = rampColors[static_cast<std::size_t>(i - 1)];
      if (sample != nullptr && err == PF_Err_NONE) {
        err = compositor.Iterate(*sample, ColorFillKernel);
      }
    }
    if (sample != nullptr && output != nullptr && err == PF_Err_NONE) {
      err = compositor.Transfer(*sample, *output);
    }
  }

  if (passes.solidFill) {
    compositor.refcon().fillColor = plan.solidColor;
    if (output != nullptr && err == PF_Err_NONE) {
      err = compositor.Iterate(*output, ColorFillKernel);
    }
  }
  if (output != nullptr) {
    compositor.refcon().opacity = plan.opacity;
    if (err == PF_Err_NONE && passes.opacity) {
      err = compositor.Iterate(*output, OpacityKernel);
    }
  }
  if (current != nullptr && output != nullptr && err == PF_Err_NONE) {
    err = compositor.Transfer(*current, *output);
  }

  locked.Release();
  return err;
}

}  // namespace quillstreak
