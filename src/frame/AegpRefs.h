// Owners of AEGP references: each disposes of its reference at scope end unless it was
// disposed of explicitly, so an exception never leaves one behind.
#pragma once

#include "frame/HostServices.h"
#include "frame/SuiteCache.h"

namespace quillstreak {

/// The plug-in id the effect passes to AEGP calls: an effect has none of its own.
inline constexpr AEGP_PluginID kPluginId = 0;

inline PF_Err DisposeEffectRef(SuiteCache& suites, AEGP_EffectRefH ref) {
  return CallHost(suites.EffectSuite2().AEGP_DisposeEffect, ref);
}

inline PF_Err DisposeStreamRef(SuiteCache& suites, AEGP_StreamRefH stream) {
  return CallHost(suites.StreamSuite2().AEGP_DisposeStream, stream);
}

/// Acquires the effect suite before a reference is had, so a refused suite never leaves one.
inline void PrepareEffectRefDisposal(SuiteCache& suites) { suites.EffectSuite2(); }

/// One reference of type Ref, disposed of with DisposeFn.
template <typename Ref, PF_Err (*DisposeFn)(SuiteCache&, Ref)>
class ScopedAegpRef {
 public:
  explicit ScopedAegpRef(SuiteCache& suites) : suites_(suites) {}
  ~ScopedAegpRef() {
    try {
      Dispose();
    } catch (...) {
    }
  }
  ScopedAegpRef(const ScopedAegpRef&) = delete;
  ScopedAegpRef& operator=(const ScopedAegpRef&) = delete;

  Ref* out() { return &ref_; }
  Ref get() const { return ref_; }

  /// Disposes of the reference, if one was obtained; returns the host's answer.
  PF_Err Dispose() {
    if (ref_ == nullptr) return PF_Err_NONE;
    const Ref ref = ref_;
    ref_ = nullptr;
    return DisposeFn(suites_, ref);
  }

 private:
  SuiteCache& suites_;
  Ref ref_ = nullptr;
};

/// An effect reference from AEGP_GetNewEffectForEffect.
using ScopedEffectRef = ScopedAegpRef<AEGP_EffectRefH, DisposeEffectRef>;
/// A stream reference, disposed of through "AEGP Stream Suite" 7.
using ScopedStream = ScopedAegpRef<AEGP_StreamRefH, DisposeStreamRef>;

}  // namespace quillstreak
