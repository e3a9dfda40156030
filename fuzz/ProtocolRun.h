// One input's run of fuzz_protocol: the host, what the checks know of it, and the steps decoded
// from the input (FuzzProtocol.cpp has the checks, ProtocolSteps.cpp the steps).
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "ProtocolCodec.h"
#include "host/Host.h"
#include "host/Module.h"

namespace quillstreak::fuzz {

using quillstreak::host::Host;
using quillstreak::host::Op;

/// Stream reads an input may make in all. A frame whose shutter window needs more stops there
/// (with kGuardCode), and so does the input: executions must stay short.
constexpr int kReadBudget = 2000;
constexpr A_long kGuardCode = 0x7E57;
/// Steps taken from one input at most.
constexpr int kMaxSteps = 40;
/// World bytes the host hands out at once.
constexpr std::uint64_t kWorldBudget = std::uint64_t{256} << 10;
constexpr int kMaxLayers = 6;

/// The module under test, loaded once before the first input.
extern const quillstreak::host::Module* gModule;

/// Prints `what` and the host's journal, and aborts: the input is saved as a finding.
[[noreturn]] void Fail(const Host& host, const std::string& what);

/// One input's run: the host, what the checks know of it, and the steps.
class Run {
 public:
  Run();

  void Go(ProtocolReader& in);

 private:
  /// The stream reads from now on stop at kReadBudget.
  void ArmGuard();

  // ---- checks --------------------------------------------------------------------------------
  /// A command's result: 0, the effect's own out-of-memory or missing-suite code, a code the
  /// host's calls return, or a code armed as a fault.
  void CheckResult(const char* command, PF_Err err);

  /// The plan of the pending frame, if any.
  bool PlanPending() const { return host_.frames().preRenderOutput().pre_render_data != nullptr; }

  /// A frame's end may leave the plan's handle behind only when the host refused its deleter
  /// something (an armed fault or a refused suite): the plan's handle stays with the host then.
  void Orphaned(const char* what, std::int64_t extra);

  /// Between commands the effect holds nothing but the pending frame's plan. A pre-render ends
  /// the pending frame first.
  void CheckHeld(const char* command);

  /// The samples a pre-render asked for: ascending, and none after the current time.
  void CheckCheckouts();

  /// After a frame's end the effect holds nothing.
  void CheckEnded(const char* what);

  /// Ends the pending frame, if any, and checks that the effect holds nothing.
  void FrameEnd();

  /// Checks a command's result and what the effect holds after it.
  void Command(const char* name, PF_Err err);

  // ---- steps (ProtocolSteps.cpp) ------------------------------------------------------------
  /// Reads one step and applies it. Each family of steps has its own function, which returns
  /// false for a step not its own.
  void Apply(ProtocolReader& in);

  /// Commands sent to the effect, checked as they return.
  bool ApplyCommand(Step step, ProtocolReader& in);

  /// Render settings: time, time steps, downsample, output requests.
  bool ApplySetting(Step step, ProtocolReader& in);

  /// Parameter values, constant or keyframed.
  bool ApplyParam(Step step, ProtocolReader& in);

  /// Layers and the composition.
  bool ApplyScene(Step step, ProtocolReader& in);

  /// Host faults armed or cleared.
  bool ApplyFault(Step step, ProtocolReader& in);

  /// Notes a fault armed with `code`: the effect may return it from now on.
  void Armed(A_long code);

  Host host_;
  std::set<A_long> armedCodes_;  // codes armed as faults, ever
  bool faultsArmed_ = false;     // a fault or refusal may be pending
  bool spent_ = false;           // the read budget is used up
  bool planBefore_ = false;      // a frame's plan was pending when the step began
  std::int64_t orphans_ = 0;     // plan handles the host kept the deleter from giving back
};

}  // namespace quillstreak::fuzz
