// Owners of AEGP references: each disposes of its reference at scope end unless it was
// released explicitly, so an exception never leaves one behind.
#pragma once

#include "frame/HostServices.h"
#include "frame/SuiteCache.h"

namespace quillstreak {

/// An effect reference from AEGP_GetNewEffectForEffect.
class ScopedEffectRef {
 public:
  explicit ScopedEffectRef(SuiteCache& suites) : suites_(suites) {}
  ~ScopedEffectRef() {
    try {
      Dispose();
    } catch (...) {
    }
  }
  ScopedEffectRef(const ScopedEffectRef&) = delete;
  ScopedEffectRef& operator=(const ScopedEffectRef&) = delete;

  AEGP_EffectRefH* out() { return &ref_; }
  AEGP_EffectRefH get() const { return ref_; }

  /// Disposes of the reference, if one was obtained; returns the host's answer.
  PF_Err Dispose() {
    if (ref_ == nullptr) return PF_Err_NONE;
    const AEGP_EffectRefH ref = ref_;
    ref_ = nullptr;
    return CallHost(suites_.Effect().AEGP_DisposeEffect, ref);
  }

 private:
  SuiteCache& suites_;
  AEGP_EffectRefH ref_ = nullptr;
};

/// A stream reference, disposed of through "AEGP Stream Suite" 7.
class ScopedStream {
 public:
  explicit ScopedStream(SuiteCache& suites) : suites_(suites) {}
  ~ScopedStream() {
    try {
      Dispose();
    } catch (...) {
    }
  }
  ScopedStream(const ScopedStream&) = delete;
  ScopedStream& operator=(const ScopedStream&) = delete;

  AEGP_StreamRefH* out() { return &stream_; }
  AEGP_StreamRefH get() const { return stream_; }

  PF_Err Dispose() {
    if (stream_ == nullptr) return PF_Err_NONE;
    const AEGP_StreamRefH stream = stream_;
    stream_ = nullptr;
    return CallHost(suites_.Stream7().AEGP_DisposeStream, stream);
  }

 private:
  SuiteCache& suites_;
  AEGP_StreamRefH stream_ = nullptr;
};

}  // namespace quillstreak
