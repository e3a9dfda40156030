// The host operations the effect calls, each checked for a missing callback before it is
// called: a host that leaves a slot empty gets PF_Err_BAD_CALLBACK_PARAM, never a call through
// a null pointer.
#pragma once

#include "frame/SuiteCache.h"
#include "hostapi/HostApi.h"

namespace quillstreak {

/// Calls a host function that returns an error code, or reports a missing one.
template <typename Fn, typename... Args>
PF_Err CallHost(Fn fn, Args... args) {
  if (fn == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  return fn(args...);
}

/// Keeps the first error: a later one counts only when none came before.
inline void KeepFirst(PF_Err& err, PF_Err next) {
  if (err == PF_Err_NONE) err = next;
}

/// The callbacks reached through PF_InData.
class HostServices {
 public:
  explicit HostServices(PF_InData& in_data) : in_(in_data) {}

  PF_InData& in_data() { return in_; }

  PF_Err AddParam(PF_ParamDef& def);
  PF_Err CopyString(A_char* destination, const A_char* source);
  PF_Err CheckoutParam(PF_ParamIndex index, PF_ParamDef& def);
  PF_Err CheckinParam(PF_ParamDef& def);
  /// Sets every pixel of the world to transparent black.
  PF_Err ClearWorld(PF_EffectWorld& world);

 private:
  PF_InData& in_;
};

/// Acquires the handle suite up front, so that releasing a handle at clean-up cannot fail.
void PrepareHandleRelease(SuiteCache& suites);

/// The handle suite's calls, null-checked.
PF_Err NewHandle(SuiteCache& suites, A_HandleSize size, PF_Handle& handle);
PF_Err LockHandle(SuiteCache& suites, PF_Handle handle, void*& data);
void UnlockHandle(SuiteCache& suites, PF_Handle handle);
void DisposeHandle(SuiteCache& suites, PF_Handle handle);

}  // namespace quillstreak
