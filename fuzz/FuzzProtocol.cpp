// Fuzzes the command protocol: the built module, loaded by path, driven through the substitute
// host with a sequence of steps decoded from the input (ProtocolCodec.h): commands in any order,
// raw commands without their records, parameter values in and out of range and not finite,
// times, time scales and downsample factors, scene edits between commands, output requests, and
// host faults armed at a decoded call, suites refused and the basic suite withheld.
//
// After every step: the command's result is 0, one the effect gives of its own accord (out of
// memory, a missing suite), one the host's calls return, or a code armed as a fault; nothing of
// the host's is held but the pending frame's plan; a pre-render asks for its samples in
// ascending time, none after the current time. After every frame end, and at the end of the
// input, the effect holds nothing at all (a plan whose deleter the host refused a suite stays
// with the host, and is tolerated while a fault is armed). Crashes and memory misuse are the
// sanitizers' part. QS_FUZZ_VERBOSE=1 keeps the host's journal and prints it with a failure.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "ProtocolRun.h"

namespace quillstreak::fuzz {

const quillstreak::host::Module* gModule = nullptr;

void Fail(const Host& host, const std::string& what) {
  std::fprintf(stderr, "fuzz_protocol: %s\n%s\n", what.c_str(), host.journal().Text().c_str());
  std::abort();
}

namespace {

/// Codes the host's own calls return on failure (its suites' refusals excepted: the effect
/// reports those as PF_Err_BAD_CALLBACK_PARAM).
bool HostCode(PF_Err err) {
  switch (err) {
    case PF_Err_OUT_OF_MEMORY:
    case PF_Err_INVALID_INDEX:
    case PF_Err_INVALID_CALLBACK:
    case PF_Err_BAD_CALLBACK_PARAM:
    case A_Err_GENERIC:
    case A_Err_PARAMETER:
      return true;
    default:
      return false;
  }
}

}  // namespace

Run::Run() : host_(gModule->entry()) {
  // The journal costs a fifth of the time; QS_FUZZ_VERBOSE=1 keeps it, to print with a failure.
  host_.journal().SetEnabled(std::getenv("QS_FUZZ_VERBOSE") != nullptr);
  host_.settings().SetThreads(1);
  host_.settings().SetWorldBudget(kWorldBudget);
  // A smaller stage than the host's default, so that frames are quick to draw.
  auto& comp = host_.scene().comp();
  comp.width = 96;
  comp.height = 54;
  quillstreak::host::Layer& layer = comp.layers.front();
  layer.source.width = 16;
  layer.source.height = 16;
  layer.transform.anchor.SetConstant({8.0, 8.0, 0.0, 0.0});
  layer.transform.position.SetConstant({48.0, 27.0, 0.0, 0.0});
  ArmGuard();
}

void Run::Go(ProtocolReader& in) {
  for (int steps = 0; steps < kMaxSteps && !in.done() && !spent_; ++steps) {
    try {
      Apply(in);
    } catch (const std::exception& e) {
      Fail(host_, std::string("the host threw: ") + e.what());
    }
    host_.journal().Clear();
  }
  // The input ends as a healthy host would end it.
  host_.faults().Clear();
  host_.faults().SetNoBasicSuite(false);
  FrameEnd();
}

void Run::ArmGuard() {
  host_.faults().FailCall(Op::AEGP_GetLayerStreamValue, kReadBudget, kGuardCode);
}

void Run::CheckResult(const char* command, PF_Err err) {
  if (err == kGuardCode) {
    spent_ = true;
    return;
  }
  if (err == PF_Err_NONE || HostCode(err) || armedCodes_.count(err) != 0) return;
  Fail(host_, std::string(command) + " returned " + std::to_string(err) +
                  ", which neither the host nor the effect gives");
}

void Run::Orphaned(const char* what, std::int64_t extra) {
  if (extra <= 0) return;
  if (!faultsArmed_) Fail(host_, std::string(what) + ": the plan's handle was not given back");
  orphans_ += extra;
}

void Run::CheckHeld(const char* command) {
  quillstreak::host::Accounts::Summary held = host_.accounts();
  const std::int64_t plans = PlanPending() ? 1 : 0;
  if (planBefore_ && held.handles == orphans_ + plans + 1) Orphaned(command, 1);
  if (held.handles != orphans_ + plans)
    Fail(host_, std::string("after ") + command + ": " + std::to_string(held.handles) +
                    " handles held, " + std::to_string(orphans_ + plans) + " expected");
  held.handles = 0;
  if (!held.Clear()) Fail(host_, std::string("after ") + command + ": " + held.Describe());
}

void Run::CheckCheckouts() {
  const auto& checkouts = host_.frames().layerCheckouts();
  const A_long now = host_.records().in_data().current_time;
  for (std::size_t i = 0; i < checkouts.size(); ++i) {
    if (checkouts[i].time > now) Fail(host_, "a sample after the current time");
    if (i + 2 < checkouts.size() && checkouts[i].time >= checkouts[i + 1].time)
      Fail(host_, "samples out of order");
  }
}

void Run::CheckEnded(const char* what) {
  quillstreak::host::Accounts::Summary held = host_.accounts();
  Orphaned(what, held.handles - orphans_);
  held.handles -= orphans_;
  if (!held.Clear()) Fail(host_, std::string(what) + ": " + held.Describe());
}

void Run::FrameEnd() {
  host_.frames().EndFrame();
  CheckEnded("frame end");
}

void Run::Command(const char* name, PF_Err err) {
  CheckResult(name, err);
  CheckHeld(name);
}
}  // namespace quillstreak::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Loaded before the first input, so that libFuzzer counts the module's coverage from the start.
  static const quillstreak::host::Module module(quillstreak::host::DefaultModulePath());
  quillstreak::fuzz::gModule = &module;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quillstreak::fuzz::ProtocolReader in(data, size);
  quillstreak::fuzz::Run run;
  run.Go(in);
  return 0;
}
