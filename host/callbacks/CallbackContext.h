// What the host's callbacks see of the host: its parts, and the one entry point through which
// every callback is journaled and consulted for injected faults.
//
// Each callback finds the context of the host whose command runs on its thread (WithContext),
// makes one Enter or Record (or Stub) with its arguments, returns the injected code when there is
// one, then does its work through the parts and returns through Done, which journals the result.
// While a command (or a frame's pre-render deleter) runs, its host's context is the current one
// of the thread (CurrentScope): callbacks without a context argument (the handle suite,
// AcquireSuite, ...) find their host that way.
#pragma once

#include <cstdint>
#include <string_view>
#include <type_traits>
#include <utility>

#include "host/Journal.h"
#include "hostapi/HostApi.h"

namespace quillstreak::host {

class Faults;
class FrameProtocol;
class HostRecords;
class RenderSettings;
class ParamStore;
class Accounts;
class Scene;

class CallbackContext {
 public:
  CallbackContext(HostRecords& records, Scene& scene, ParamStore& params, Accounts& accounts,
                  Journal& journal, Faults& faults, FrameProtocol& frames,
                  const RenderSettings& settings)
      : records_(records),
        scene_(scene),
        params_(params),
        accounts_(accounts),
        journal_(journal),
        faults_(faults),
        frames_(frames),
        settings_(settings) {}
  CallbackContext(const CallbackContext&) = delete;
  CallbackContext& operator=(const CallbackContext&) = delete;

  /// The context of the host whose command runs on this thread; null outside commands.
  static CallbackContext* Current();
  /// Makes a context the current one of this thread for its lifetime (the one before after).
  class CurrentScope {
   public:
    explicit CurrentScope(CallbackContext* context);
    ~CurrentScope();
    CurrentScope(const CurrentScope&) = delete;
    CurrentScope& operator=(const CurrentScope&) = delete;

   private:
    CallbackContext* previous_;
  };

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
  bool BadRef(PF_ProgPtr ref) const;

  Scene& scene() { return scene_; }
  ParamStore& params() { return params_; }
  Accounts& accounts() { return accounts_; }
  const Faults& faults() const { return faults_; }
  FrameProtocol& frames() { return frames_; }
  const RenderSettings& settings() const { return settings_; }

 private:
  A_long Call(Op op, CallArgs args, bool canFail);

  HostRecords& records_;
  Scene& scene_;
  ParamStore& params_;
  Accounts& accounts_;
  Journal& journal_;
  Faults& faults_;
  FrameProtocol& frames_;
  const RenderSettings& settings_;
};

/// The callback preamble: runs body(context) with the context of the host whose command runs on
/// this thread and returns its result, or returns `none` without running it when no command
/// runs (a callback called outside a command, or on another thread).
template <typename R, typename Body>
R WithContext(R none, Body&& body) {
  CallbackContext* c = CallbackContext::Current();
  return c != nullptr ? body(*c) : none;
}
/// The same for a callback without a result.
template <typename Body>
void WithContext(Body&& body) {
  if (CallbackContext* c = CallbackContext::Current()) body(*c);
}

}  // namespace quillstreak::host
