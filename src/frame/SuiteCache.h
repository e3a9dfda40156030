// Per-command cache of host suites: each suite is acquired on first use and released once when
// the cache goes out of scope, also when an exception passes.
#pragma once

#include <array>
#include <cstddef>

#include "hostapi/HostApi.h"

namespace quillstreak {

/// The suites the effect uses, each a name and a numeric version.
enum class Suite : std::size_t {
  Handle,          // "PF Handle Suite" 2
  Iterate8,        // "PF Iterate8 Suite" 1
  WorldTransform,  // "PF World Transform Suite" 1
  Ansi,            // "PF ANSI Suite" 1
  PFInterface,     // "AEGP PF Interface Suite" 1
  Stream7,         // "AEGP Stream Suite" 7
  Stream9,         // "AEGP Stream Suite" 9
  DynamicStream,   // "AEGP Dynamic Stream Suite" 2
  Effect,          // "AEGP Effect Suite" 2
  Layer11,         // "AEGP Layer Suite" 11
  Layer13,         // "AEGP Layer Suite" 13
  Count
};

struct SuiteName {
  const char* name;
  std::int32_t version;
};

/// Name and version under which a suite is acquired.
SuiteName NameOf(Suite suite);

class SuiteCache {
 public:
  /// Throws PF_Err_BAD_CALLBACK_PARAM (as a PF_Err) when the host gave no basic suite.
  explicit SuiteCache(const SPBasicSuite* basic);
  ~SuiteCache();
  SuiteCache(const SuiteCache&) = delete;
  SuiteCache& operator=(const SuiteCache&) = delete;

  const PF_HandleSuite1& Handle() { return Get<PF_HandleSuite1>(Suite::Handle); }
  const PF_Iterate8Suite1& Iterate8() { return Get<PF_Iterate8Suite1>(Suite::Iterate8); }
  const PF_WorldTransformSuite1& WorldTransform() {
    return Get<PF_WorldTransformSuite1>(Suite::WorldTransform);
  }
  const PF_ANSICallbacksSuite1& Ansi() { return Get<PF_ANSICallbacksSuite1>(Suite::Ansi); }
  const AEGP_PFInterfaceSuite1& PFInterface() {
    return Get<AEGP_PFInterfaceSuite1>(Suite::PFInterface);
  }
  const AEGP_StreamSuite2& Stream7() { return Get<AEGP_StreamSuite2>(Suite::Stream7); }
  const AEGP_StreamSuite4& Stream9() { return Get<AEGP_StreamSuite4>(Suite::Stream9); }
  const AEGP_DynamicStreamSuite2& DynamicStream() {
    return Get<AEGP_DynamicStreamSuite2>(Suite::DynamicStream);
  }
  const AEGP_EffectSuite2& Effect() { return Get<AEGP_EffectSuite2>(Suite::Effect); }
  const AEGP_LayerSuite5& Layer11() { return Get<AEGP_LayerSuite5>(Suite::Layer11); }
  const AEGP_LayerSuite7& Layer13() { return Get<AEGP_LayerSuite7>(Suite::Layer13); }

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
