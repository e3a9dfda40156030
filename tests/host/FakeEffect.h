// A stand-in effect for host tests: the entry point runs whatever the test installs, inside a
// real host command (so every callback sees the host as current).
#pragma once

#include <functional>

#include "host/Host.h"
#include "support/Trace.h"

namespace quillstreak::test {

using EffectBody = std::function<PF_Err(PF_Cmd cmd, PF_InData* in, PF_OutData* out,
                                        PF_ParamDef** params, PF_LayerDef* output, void* extra)>;

inline EffectBody& Body() {
  static EffectBody body;
  return body;
}

inline PF_Err FakeEntry(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef** params,
                        PF_LayerDef* output, void* extra) {
  return Body() ? Body()(cmd, in, out, params, output, extra) : PF_Err_NONE;
}

/// A host over the fake effect; the body is reset for each test.
struct FakeHost {
  FakeHost() { Body() = nullptr; }
  ~FakeHost() { Body() = nullptr; }
  quillstreak::host::Host host{&FakeEntry};

  /// Runs fn inside one command (PF_Cmd_COMPLETELY_GENERAL) and returns its result.
  PF_Err Run(const std::function<PF_Err(PF_InData&)>& fn) {
    Body() = [&](PF_Cmd, PF_InData* in, PF_OutData*, PF_ParamDef**, PF_LayerDef*, void*) {
      return fn(*in);
    };
    const PF_Err err = host.commands().Send(PF_Cmd_COMPLETELY_GENERAL, nullptr, nullptr, nullptr);
    Body() = nullptr;
    return err;
  }
};

/// Acquires a suite through the basic suite; null when refused.
template <typename Suite>
const Suite* Acquire(PF_InData& in, const char* name, std::int32_t version) {
  const void* suite = nullptr;
  if (in.pica_basicP->AcquireSuite(name, version, &suite) != kSPNoError) return nullptr;
  return static_cast<const Suite*>(suite);
}

}  // namespace quillstreak::test
