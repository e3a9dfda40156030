// The interaction callbacks of in_data: parameter checkouts and check-ins, add_param, abort and
// progress.
#include "CallbackContext.h"
#include "Callbacks.h"
#include "Stubs.h"
#include "host/Accounts.h"
#include "host/ParamStore.h"

namespace quillstreak::host::callbacks {

namespace {

using detail::kPfStubError;

PF_Err checkout_param(PF_ProgPtr ref, PF_ParamIndex index, A_long what_time, A_long time_step,
                      A_u_long time_scale, PF_ParamDef* param) {
  return WithContext<PF_Err>(PF_Err_BAD_CALLBACK_PARAM, [&](CallbackContext& c) -> PF_Err {
    if (A_long f = c.Enter<Op::checkout_param>({index, what_time, time_step, time_scale}))
      return c.Done(f);
    if (c.BadRef(ref) || param == nullptr) return c.Done(PF_Err_BAD_CALLBACK_PARAM);
    if (index < 0 || index >= c.params().count()) return c.Done(PF_Err_INVALID_INDEX);
    *param = c.params().At(index, what_time, time_scale);
    c.accounts().AddCheckout(param, index);
    return c.Done(PF_Err_NONE);
  });
}

PF_Err checkin_param(PF_ProgPtr ref, PF_ParamDef* param) {
  return WithContext<PF_Err>(PF_Err_BAD_CALLBACK_PARAM, [&](CallbackContext& c) -> PF_Err {
    // The index is found from the slot's address (the slot the definition was checked out into);
    // checking in a slot that holds no checkout is accepted. A check-in made to fail still checks
    // in: the effect gave the definition back.
    const A_long f = c.Enter<Op::checkin_param>({c.accounts().CheckoutIndex(param)});
    c.accounts().Checkin(param);
    if (f != 0) return c.Done(f);
    if (c.BadRef(ref) || param == nullptr) return c.Done(PF_Err_BAD_CALLBACK_PARAM);
    return c.Done(PF_Err_NONE);
  });
}

PF_Err add_param(PF_ProgPtr ref, PF_ParamIndex index, PF_ParamDefPtr def) {
  return WithContext<PF_Err>(PF_Err_BAD_CALLBACK_PARAM, [&](CallbackContext& c) -> PF_Err {
    if (A_long f = c.Enter<Op::add_param>(
            {index, def != nullptr ? def->param_type : -1, def != nullptr ? def->uu.id : -1}))
      return c.Done(f);
    if (c.BadRef(ref) || def == nullptr) return c.Done(PF_Err_BAD_CALLBACK_PARAM);
    return c.Done(c.params().Declare(index, *def));
  });
}

PF_Err abort_cb(PF_ProgPtr) {
  return WithContext<PF_Err>(PF_Err_BAD_CALLBACK_PARAM, [&](CallbackContext& c) -> PF_Err {
    if (A_long f = c.Enter<Op::abort>({})) return c.Done(f);
    return c.Done(PF_Err_NONE);
  });
}

PF_Err progress(PF_ProgPtr, A_long current, A_long total) {
  return WithContext<PF_Err>(PF_Err_BAD_CALLBACK_PARAM, [&](CallbackContext& c) -> PF_Err {
    if (A_long f = c.Enter<Op::progress>({current, total})) return c.Done(f);
    return c.Done(PF_Err_NONE);
  });
}

}  // namespace

void InstallInteraction(PF_InteractCallbacks& inter) {
  inter.checkout_param = checkout_param;
  inter.checkin_param = checkin_param;
  inter.add_param = add_param;
  inter.abort = abort_cb;
  inter.progress = progress;
  QS_STUB(inter, register_ui, kPfStubError);
  QS_STUB(inter, checkout_layer_audio, kPfStubError);
  QS_STUB(inter, checkin_layer_audio, kPfStubError);
  QS_STUB(inter, get_audio_data, kPfStubError);
  for (void*& slot : inter.reserved_str) slot = detail::ReservedStubAddress();
  for (void*& slot : inter.reserved) slot = detail::ReservedStubAddress();
}

}  // namespace quillstreak::host::callbacks
