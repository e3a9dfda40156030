// What the host's callbacks see of the host: its parts, and the one entry point through which
// every callback is journaled and consulted for injected faults.
//
// Each callback finds the context of the host whose command runs on its thread (Current), makes
// one Enter or Record (or Stub) with its arguments, returns the injected code when there is one,
// then does its work through the parts and returns through Done, which journals the result.
#pragma once

#include <cstdint>
#include <string_view>
#include <type_traits>
#include <utility>

#include "host/HostRecords.h"
#include "host/Journal.h"
#include "hostapi/HostApi.h"

namespace quillstreak::host {

class Faults;
class FrameDriver;
class ParamStore;
class Registries;
class Scene;
class WorldPool;

class CallbackContext {
 public:
  CallbackContext(HostRecords& records, Scene& scene, ParamStore& params, Registries& registries,
                  Journal& journal, Faults& faults, WorldPool& worlds, FrameDriver& frames)
      : records_(records),
        scene_(scene),
        params_(params),
        registries_(registries),
        journal_(journal),
        faults_(faults),
        worlds_(worlds),
        frames_(frames) {}
  CallbackContext(const CallbackContext&) = delete;
  CallbackContext& operator=(const CallbackContext&) = delete;

  /// The context of the host whose command runs on this thread; null outside commands.
  static CallbackContext* Current() { return HostRecords::CurrentContext(); }

  /// Journals a call of O and consults fault injection once: returns the code the call must
  /// fail with (0: none).
  template <Op O>
  A_long Enter(ArgsOf<O> args) {
    return Call(O, std::move(args), true);
  }
  /// Journals a call of O that has no result and so cannot fail (it is still counted).
  template <Op O>
  void Record(ArgsOf<O> args) {
    Call(O, std::move(args), false);
  }
  /// Journals a call of a slot the host does not implement, with `code` as its result unless a
  /// fault was injected.
  void Stub(std::string_view member, std::int64_t code);

  /// Journals the result of the latest call (a pointer as 0, or -1 when null) and returns it.
  template <typename R>
  R Done(R result) {
    if constexpr (std::is_pointer_v<R>)
      journal_.SetResult(result != nullptr ? 0 : -1);
    else
      journal_.SetResult(static_cast<std::int64_t>(result));
    return result;
  }
  /// Journals the result of the latest call.
  void Result(std::int64_t result) { journal_.SetResult(result); }

  /// Whether ref is not this host's effect_ref.
  bool BadRef(PF_ProgPtr ref) const { return ref != records_.effectRef(); }

  Scene& scene() { return scene_; }
  ParamStore& params() { return params_; }
  Registries& registries() { return registries_; }
  const Faults& faults() const { return faults_; }
  WorldPool& worlds() { return worlds_; }
  FrameDriver& frames() { return frames_; }
  unsigned threads() const;

 private:
  A_long Call(Op op, CallArgs args, bool canFail);

  HostRecords& records_;
  Scene& scene_;
  ParamStore& params_;
  Registries& registries_;
  Journal& journal_;
  Faults& faults_;
  WorldPool& worlds_;
  FrameDriver& frames_;
};

}  // namespace quillstreak::host
