#include "frame/HostServices.h"

namespace quillstreak {

PF_Err HostServices::AddParam(PF_ParamDef& def) {
  return CallHost(in_.inter.add_param, in_.effect_ref, PF_ParamIndex{-1}, &def);
}

PF_Err HostServices::CopyString(A_char* destination, const A_char* source) {
  if (in_.utils == nullptr || in_.utils->ansi.strcpy == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  in_.utils->ansi.strcpy(destination, source);
  return PF_Err_NONE;
}

PF_Err HostServices::CheckoutParam(PF_ParamIndex index, PF_ParamDef& def) {
  return CallHost(in_.inter.checkout_param, in_.effect_ref, index, in_.current_time, in_.time_step,
                  in_.time_scale, &def);
}

PF_Err HostServices::CheckinParam(PF_ParamDef& def) {
  return CallHost(in_.inter.checkin_param, in_.effect_ref, &def);
}

PF_Err HostServices::ClearWorld(PF_EffectWorld& world) {
  if (in_.utils == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  return CallHost(in_.utils->fill, in_.effect_ref, static_cast<const PF_Pixel*>(nullptr),
                  static_cast<const PF_Rect*>(nullptr), &world);
}

void PrepareHandleRelease(SuiteCache& suites) { suites.HandleSuite1(); }

PF_Err NewHandle(SuiteCache& suites, A_HandleSize size, PF_Handle& handle) {
  handle = nullptr;
  const PF_HandleSuite1& suite = suites.HandleSuite1();
  if (suite.host_new_handle == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  handle = suite.host_new_handle(size);
  return PF_Err_NONE;
}

PF_Err LockHandle(SuiteCache& suites, PF_Handle handle, void*& data) {
  data = nullptr;
  const PF_HandleSuite1& suite = suites.HandleSuite1();
  if (suite.host_lock_handle == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  data = suite.host_lock_handle(handle);
  return PF_Err_NONE;
}

void UnlockHandle(SuiteCache& suites, PF_Handle handle) {
  const PF_HandleSuite1& suite = suites.HandleSuite1();
  if (suite.host_unlock_handle != nullptr) {
    suite.host_unlock_handle(handle);
  }
}

void DisposeHandle(SuiteCache& suites, PF_Handle handle) {
  const PF_HandleSuite1& suite = suites.HandleSuite1();
  if (suite.host_dispose_handle != nullptr) {
    suite.host_dispose_handle(handle);
  }
}

}  // namespace quillstreak
