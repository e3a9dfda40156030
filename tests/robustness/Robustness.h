// Shared by the robustness suites: the commands the effect handles, the scenes they run on, and
// the rules that say how a command must end when the host fails one of its calls.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "params/ParamIndex.h"
#include "support/EffectHarness.h"

namespace quillstreak::test {

using quillstreak::host::Host;
using quillstreak::host::JournalEntry;
using quillstreak::host::Op;

/// The commands the effect answers, as the substitute host sends them.
enum class Command {
  GlobalSetup,
  About,
  ParamsSetup,
  SwapColors,
  UpdateParamsUI,
  PreRender,
  Render,
};

inline const char* CommandName(Command c) {
  switch (c) {
    case Command::GlobalSetup:
      return "global setup";
    case Command::About:
      return "about";
    case Command::ParamsSetup:
      return "parameter setup";
    case Command::SwapColors:
      return "swap colors";
    case Command::UpdateParamsUI:
      return "update parameters UI";
    case Command::PreRender:
      return "smart pre-render";
    case Command::Render:
      return "smart render";
  }
  return "?";
}

constexpr A_long kNow = 1000;

/// A still effect layer: no trail sample.
inline void StillScene(Host&) {}

/// The effect layer slides to the right through the whole shutter window: five samples.
inline void SlidingLayer(Host& host) {
  quillstreak::host::Layer& layer = *host.scene().comp().FindLayer(1);
  layer.transform.position.AddKeyframe(0, {100, 180, 0, 0});
  layer.transform.position.AddKeyframe(2000, {500, 180, 0, 0});
  host.params().SetFloat(quillstreak::PARAM_TIME_THRESHOLD, 20.0);
  host.params().SetFloat(quillstreak::PARAM_SHUTTER_ANGLE, 360.0);
}

inline void SamplesWithRampFill(Host& host) {
  SlidingLayer(host);
  host.params().SetCheckbox(quillstreak::PARAM_RAMP_FILL_ENABLE, true);
  host.params().SetFloat(quillstreak::PARAM_OPACITY, 50.0);
}

inline void SamplesWithSolidFill(Host& host) {
  SlidingLayer(host);
  host.params().SetCheckbox(quillstreak::PARAM_SOLID_FILL_ENABLE, true);
  host.params().SetFloat(quillstreak::PARAM_OPACITY, 60.0);
}

/// The effect layer holds still; layer 2, chosen as Motion Source, turns and grows.
inline void MotionSourceLayer(Host& host) {
  quillstreak::host::Layer second;
  second.id = 2;
  second.name = "Source";
  second.source.kind = quillstreak::host::LayerSource::Kind::Rectangle;
  second.source.width = 40;
  second.source.height = 40;
  second.transform.position.SetConstant({100.0, 100.0, 0.0, 0.0});
  second.transform.rotateZ.AddKeyframe(0, {0, 0, 0, 0});
  second.transform.rotateZ.AddKeyframe(2000, {400, 0, 0, 0});
  second.transform.scale.AddKeyframe(0, {100, 100, 100, 0});
  second.transform.scale.AddKeyframe(2000, {300, 300, 100, 0});
  host.scene().comp().AddLayer(std::move(second));
  host.params().SetLayer(quillstreak::PARAM_MOTION_SOURCE, 2);
  host.params().SetFloat(quillstreak::PARAM_TIME_THRESHOLD, 25.0);
  host.params().SetCheckbox(quillstreak::PARAM_RAMP_FILL_ENABLE, true);
  host.params().SetCheckbox(quillstreak::PARAM_SOLID_FILL_ENABLE, true);
}

struct Scenario {
  std::string name;
  Command command;
  std::function<void(Host&)> scene;
  bool trail = false;  // the frame has several trail samples
};

/// Every command with every scene it is swept over.
inline std::vector<Scenario> AllScenarios() {
  return {
      {"global setup", Command::GlobalSetup, StillScene},
      {"about", Command::About, StillScene},
      {"parameter setup", Command::ParamsSetup, StillScene},
      {"swap colors", Command::SwapColors, StillScene},
      {"update parameters UI", Command::UpdateParamsUI, StillScene},
      {"pre-render, still layer", Command::PreRender, StillScene},
      {"pre-render, samples with ramp fill", Command::PreRender, SamplesWithRampFill, true},
      {"pre-render, samples with solid fill", Command::PreRender, SamplesWithSolidFill, true},
      {"pre-render, motion source layer", Command::PreRender, MotionSourceLayer, true},
      {"render, still layer", Command::Render, StillScene},
      {"render, samples with ramp fill", Command::Render, SamplesWithRampFill, true},
      {"render, samples with solid fill", Command::Render, SamplesWithSolidFill, true},
      {"render, motion source layer", Command::Render, MotionSourceLayer, true},
  };
}

/// A host ready for the scenario's command: set up as far as the command needs, the scene
/// built, the frame pre-rendered for a render, and the journal empty.
inline std::unique_ptr<Host> Prepare(const Scenario& s) {
  const bool setUp = s.command != Command::GlobalSetup && s.command != Command::ParamsSetup;
  auto host = quillstreak::test::NewHost(setUp);
  if (s.command == Command::ParamsSetup) {
    EXPECT_EQ(host->GlobalSetup(), PF_Err_NONE);
  }
  s.scene(*host);
  host->settings().SetTime(kNow);
  if (s.command == Command::Render) {
    EXPECT_EQ(host->frames().SmartPreRender(), PF_Err_NONE) << s.name << "\n"
                                                            << host->journal().Text();
  }
  host->journal().Clear();
  return host;
}

inline PF_Err RunCommand(Host& host, Command c) {
  switch (c) {
    case Command::GlobalSetup:
      return host.GlobalSetup();
    case Command::About:
      return host.About();
    case Command::ParamsSetup:
      return host.ParamsSetup();
    case Command::SwapColors:
      return host.UserChangedParam(quillstreak::PARAM_SWAP_COLORS);
    case Command::UpdateParamsUI:
      return host.UpdateParamsUI();
    case Command::PreRender:
      return host.frames().SmartPreRender();
    case Command::Render:
      return host.frames().SmartRender();
  }
  return PF_Err_NONE;
}

/// Ends the frame (if any) with every fault and refusal lifted, as a healthy host would.
inline void EndFrame(Host& host) {
  host.faults().Clear();
  host.faults().SetNoBasicSuite(false);
  host.frames().EndFrame();
}

/// Host calls whose failure does not end the command: their result is not an error the effect
/// can act on (a release, the clear of the output, string copies into the effect's own buffers).
inline bool FailureIgnored(Op op) {
  static const std::set<Op> kIgnored = {Op::ReleaseSuite, Op::fill,    Op::ansi_strcpy,
                                        Op::ansi_sprintf, Op::sprintf, Op::strcpy};
  return kIgnored.count(op) != 0;
}

/// Calls that give a pointer and fail by giving none: the effect reports running out of memory.
inline bool FailsAsNull(Op op) { return op == Op::host_new_handle || op == Op::host_lock_handle; }

/// The calls that may follow a failure: clean-up only.
inline bool CleanupCall(const JournalEntry& e) {
  static const std::set<Op> kCleanup = {Op::checkin_param,       Op::host_unlock_handle,
                                        Op::host_dispose_handle, Op::AEGP_DisposeStream,
                                        Op::AEGP_DisposeEffect,  Op::ReleaseSuite};
  return kCleanup.count(e.op) != 0;
}

/// What a command must return when call `failed` (of the baseline journal) fails with `code`.
inline PF_Err ExpectedResult(const JournalEntry& failed, A_long code, PF_Err baseline) {
  if (failed.op == Op::AcquireSuite) return PF_Err_BAD_CALLBACK_PARAM;
  if (FailureIgnored(failed.op)) return baseline;
  if (FailsAsNull(failed.op)) return PF_Err_OUT_OF_MEMORY;
  return code;
}

}  // namespace quillstreak::test
