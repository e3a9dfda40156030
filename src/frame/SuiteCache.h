// Per-command cache of host suites: each suite is acquired on first use and released once when
// the cache goes out of scope, also when an exception passes.
#pragma once

#include <array>
#include <cstddef>

#include "hostapi/HostApi.h"

namespace quillstreak {

/// The suites the effect uses, each named for its table type and acquired under a host name and
/// a numeric version (NameOf).
enum class Suite : std::size_t {
  HandleSuite1,          // "PF Handle Suite" 2
  Iterate8Suite1,        // "PF Iterate8 Suite" 1
  WorldTransformSuite1,  // "PF World Transform Suite" 1
  ANSICallbacksSuite1,   // "PF ANSI Suite" 1
  PFInterfaceSuite1,     // "AEGP PF Interface Suite" 1
  StreamSuite2,          // "AEGP Stream Suite" 7
  StreamSuite4,          // "AEGP Stream Suite" 9
  DynamicStreamSuite2,   // "AEGP Dynamic Stream Suite" 2
  EffectSuite2,          // "AEGP Effect Suite" 2
  LayerSuite5,           // "AEGP Layer Suite" 11
  LayerSuite7,           // "AEGP Layer Suite" 13
  Count
};

struct SuiteName {
  const char* name;
  std::int32_t version;
};

/// Name and version under which a suite is acquired.
SuiteName NameOf(Suite suite);

/// Throws PF_Err_BAD_CALLBACK_PARAM when the host gave no basic suite, as SuiteCache does, before
/// anything is written.
void RequireBasicSuite(const SPBasicSuite* basic);

class SuiteCache {
 public:
  /// Throws PF_Err_BAD_CALLBACK_PARAM (as a PF_Err) when the host gave no basic suite.
  explicit SuiteCache(const SPBasicSuite* basic);
  ~SuiteCache();
  SuiteCache(const SuiteCache&) = delete;
  SuiteCache& operator=(const SuiteCache&) = delete;

  // One accessor per suite, named for the table type it returns.
  const PF_HandleSuite1& HandleSuite1() { return Get<PF_HandleSuite1>(Suite::HandleSuite1); }
  const PF_Iterate8Suite1& Iterate8Suite1() {
    return Get<PF_Iterate8Suite1>(Suite::Iterate8Suite1);
  }
  const PF_WorldTransformSuite1& WorldTransformSuite1() {
    return Get<PF_WorldTransformSuite1>(Suite::WorldTransformSuite1);
  }
  const PF_ANSICallbacksSuite1& ANSICallbacksSuite1() {
    return Get<PF_ANSICallbacksSuite1>(Suite::ANSICallbacksSuite1);
  }
  const AEGP_PFInterfaceSuite1& PFInterfaceSuite1() {
    return Get<AEGP_PFInterfaceSuite1>(Suite::PFInterfaceSuite1);
  }
  const AEGP_StreamSuite2& StreamSuite2() { return Get<AEGP_StreamSuite2>(Suite::StreamSuite2); }
  const AEGP_StreamSuite4& StreamSuite4() { return Get<AEGP_StreamSuite4>(Suite::StreamSuite4); }
  const AEGP_DynamicStreamSuite2& DynamicStreamSuite2() {
    return Get<AEGP_DynamicStreamSuite2>(Suite::DynamicStreamSuite2);
  }
  const AEGP_EffectSuite2& EffectSuite2() { return Get<AEGP_EffectSuite2>(Suite::EffectSuite2); }
  const AEGP_LayerSuite5& LayerSuite5() { return Get<AEGP_LayerSuite5>(Suite::LayerSuite5); }
  const AEGP_LayerSuite7& LayerSuite7() { return Get<AEGP_LayerSuite7>(Suite::LayerSuite7); }

  /// The suite's table, acquiring it if needed; throws PF_Err_BAD_CALLBACK_PARAM when the host
  /// refuses it or gives none.
  const void* Acquire(Suite suite);

 private:
  template <typename T>
  const T& Get(Suite suite) {
    return *static_cast<const T*>(Acquire(suite));
  }

  const SPBasicSuite* basic_;
  std::array<const void*, static_cast<std::size_t>(Suite::Count)> slots_{};
};

}  // namespace quillstreak
