// The pre-render and smart-render callbacks: layer checkouts, their pixels and the output world,
// each a thin adapter over the frame protocol.
#include "CallbackContext.h"
#include "Callbacks.h"
#include "Stubs.h"
#include "host/FrameProtocol.h"

namespace quillstreak::host::callbacks {

namespace {

using detail::kPfStubError;

PF_Err checkout_layer(PF_ProgPtr ref, PF_ParamIndex index, A_long id, const PF_RenderRequest* req,
                      A_long what_time, A_long time_step, A_u_long time_scale,
                      PF_CheckoutResult* result) {
  return WithContext<PF_Err>(PF_Err_BAD_CALLBACK_PARAM, [&](CallbackContext& c) -> PF_Err {
    if (A_long f = c.Enter<Op::checkout_layer>({index, id, what_time, time_step, time_scale}))
      return c.Done(f);
    if (c.BadRef(ref) || req == nullptr || result == nullptr)
      return c.Done(PF_Err_BAD_CALLBACK_PARAM);
    return c.Done(
        c.frames().CheckoutLayer(index, id, *req, what_time, time_step, time_scale, *result));
  });
}

PF_Err checkout_layer_pixels(PF_ProgPtr ref, A_long id, PF_EffectWorld** pixels) {
  return WithContext<PF_Err>(PF_Err_BAD_CALLBACK_PARAM, [&](CallbackContext& c) -> PF_Err {
    if (pixels != nullptr) *pixels = nullptr;
    if (A_long f = c.Enter<Op::checkout_layer_pixels>({id})) return c.Done(f);
    if (c.BadRef(ref) || pixels == nullptr) return c.Done(PF_Err_BAD_CALLBACK_PARAM);
    return c.Done(c.frames().CheckoutLayerPixels(id, *pixels));
  });
}

PF_Err checkin_layer_pixels(PF_ProgPtr ref, A_long id) {
  return WithContext<PF_Err>(PF_Err_BAD_CALLBACK_PARAM, [&](CallbackContext& c) -> PF_Err {
    if (A_long f = c.Enter<Op::checkin_layer_pixels>({id})) return c.Done(f);
    if (c.BadRef(ref)) return c.Done(PF_Err_BAD_CALLBACK_PARAM);
    return c.Done(PF_Err_NONE);
  });
}

PF_Err checkout_output(PF_ProgPtr ref, PF_EffectWorld** output) {
  return WithContext<PF_Err>(PF_Err_BAD_CALLBACK_PARAM, [&](CallbackContext& c) -> PF_Err {
    if (output != nullptr) *output = nullptr;
    if (A_long f = c.Enter<Op::checkout_output>({})) return c.Done(f);
    if (c.BadRef(ref) || output == nullptr) return c.Done(PF_Err_BAD_CALLBACK_PARAM);
    return c.Done(c.frames().CheckoutOutput(*output));
  });
}

}  // namespace

void InstallRender(PF_PreRenderCallbacks& pre, PF_SmartRenderCallbacks& smart) {
  pre.checkout_layer = checkout_layer;
  QS_STUB(pre, GuidMixInPtr, kPfStubError);
  smart.checkout_layer_pixels = checkout_layer_pixels;
  smart.checkin_layer_pixels = checkin_layer_pixels;
  smart.checkout_output = checkout_output;
}

}  // namespace quillstreak::host::callbacks
