// Values a host (or a damaged project) can hand the effect that no sane host would: non-finite
// and huge transforms, times at the ends of the 32-bit range, degenerate time scales and
// downsample factors, parameter values beyond their ranges, worlds smaller than asked, missing
// records. Every frame must end, within seconds, in an error or a sound result, with nothing
// left behind.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "robustness/Robustness.h"

namespace quillstreak::test {
namespace {

using quillstreak::PARAM_MOTION_SOURCE;
using quillstreak::PARAM_OPACITY;
using quillstreak::PARAM_SHUTTER_ANGLE;
using quillstreak::PARAM_TIME_THRESHOLD;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr A_long kMaxTime = std::numeric_limits<A_long>::max();
constexpr A_long kMinTime = std::numeric_limits<A_long>::min();

/// Stream reads after which the host refuses further ones. A frame that gets that far is
/// stepping through an unbounded window: it would keep the user's host busy for hours.
constexpr int kRunawayReads = 1000000;
constexpr A_long kRunawayCode = 0x7E57;

/// Runs `body` on a worker thread; a body that has not ended after `seconds` is a hang, and the
/// whole program stops (a stuck command cannot be cancelled).
template <typename Body>
void WithinSeconds(const std::string& what, int seconds, Body body) {
  auto done = std::async(std::launch::async, body);
  if (done.wait_for(std::chrono::seconds(seconds)) != std::future_status::ready) {
    std::fprintf(stderr, "HANG: %s did not end within %d s\n", what.c_str(), seconds);
    std::fflush(stderr);
    std::_Exit(3);
  }
  done.get();
}

/// One frame through the host with the runaway guard armed: pre-render, render, frame end.
quillstreak::host::FrameResult GuardedFrame(Host& host, A_long time) {
  host.faults().FailCall(Op::AEGP_GetLayerStreamValue, kRunawayReads, kRunawayCode);
  const quillstreak::host::FrameResult result = host.RenderFrame(time);
  host.faults().Clear();
  return result;
}

/// What every hostile frame must satisfy: it ended on its own (not at the runaway guard), the
/// times it asked the host for lie in the shutter window in ascending order, and nothing is
/// left behind.
void ExpectSoundFrame(const std::string& what, Host& host,
                      const quillstreak::host::FrameResult& result) {
  EXPECT_NE(result.err, kRunawayCode)
      << what << ": the motion search ran past " << kRunawayReads << " stream reads";
  EXPECT_NE(result.err, PF_Err_INTERNAL_STRUCT_DAMAGED) << what;
  const auto& checkouts = host.frames().layerCheckouts();
  for (std::size_t i = 0; i + 1 < checkouts.size(); ++i) {
    if (i + 2 < checkouts.size()) {
      EXPECT_LT(checkouts[i].time, checkouts[i + 1].time) << what << ": sample " << i;
    }
    EXPECT_LE(checkouts[i].time, host.settings().time()) << what << ": sample " << i;
  }
  EXPECT_TRUE(host.accounts().Clear()) << what << ": " << host.accounts().Describe();
}

std::unique_ptr<Host> MovingLayerHost() {
  auto host = quillstreak::test::NewHost();
  SlidingLayer(*host);
  return host;
}

TEST(HostileValues, NonFiniteAndHugeTransforms) {
  struct Case {
    const char* name;
    void (*set)(quillstreak::host::Layer&);
  };
  const Case cases[] = {
      {"NaN position",
       [](quillstreak::host::Layer& l) {
         l.transform.position.AddKeyframe(950, {kNaN, kNaN, kNaN, 0},
                                          quillstreak::host::Interp::Hold);
       }},
      {"infinite position",
       [](quillstreak::host::Layer& l) {
         l.transform.position.AddKeyframe(950, {kInf, -kInf, kInf, 0},
                                          quillstreak::host::Interp::Hold);
       }},
      {"huge position",
       [](quillstreak::host::Layer& l) {
         l.transform.position.AddKeyframe(950, {1e308, -1e308, 1e308, 0});
       }},
      {"NaN anchor point",
       [](quillstreak::host::Layer& l) {
         l.transform.anchor.SetConstant({kNaN, 0, 0, 0});
       }},
      {"infinite rotations",
       [](quillstreak::host::Layer& l) {
         l.transform.rotateZ.AddKeyframe(950, {kInf, 0, 0, 0}, quillstreak::host::Interp::Hold);
         l.transform.rotateX.SetConstant({kNaN, 0, 0, 0});
         l.transform.rotateY.SetConstant({-kInf, 0, 0, 0});
       }},
      {"scale of 0",
       [](quillstreak::host::Layer& l) {
         l.transform.scale.SetConstant({0, 0, 0, 0});
       }},
      {"scale reaching 0",
       [](quillstreak::host::Layer& l) {
         l.transform.scale.AddKeyframe(900, {100, 100, 100, 0});
         l.transform.scale.AddKeyframe(1000, {0, 0, 0, 0});
       }},
      {"NaN scale",
       [](quillstreak::host::Layer& l) {
         l.transform.scale.SetConstant({kNaN, kNaN, 0, 0});
       }},
      {"huge scale",
       [](quillstreak::host::Layer& l) {
         l.transform.scale.SetConstant({1e300, -1e300, 0, 0});
       }},
  };
  for (const Case& c : cases) {
    WithinSeconds(c.name, 60, [&c] {
      auto host = MovingLayerHost();
      c.set(*host->scene().comp().FindLayer(1));
      const quillstreak::host::FrameResult result = GuardedFrame(*host, kNow);
      EXPECT_EQ(result.err, PF_Err_NONE) << c.name << "\n" << host->journal().Text();
      ExpectSoundFrame(c.name, *host, result);
    });
  }
}

TEST(HostileValues, TimesAtTheEndsOfThe32BitRange) {
  struct Case {
    const char* name;
    A_long time;
    double shutter;
  };
  const Case cases[] = {
      {"latest time", kMaxTime, 360.0},
      {"one frame before the latest time", kMaxTime - 100, 720.0},
      {"earliest time", kMinTime, 360.0},
      {"earliest time, long shutter", kMinTime + 50, 3600.0},
      {"zero", 0, 360.0},
  };
  for (const Case& c : cases) {
    WithinSeconds(c.name, 60, [&c] {
      auto host = MovingLayerHost();
      host->params().SetFloat(PARAM_SHUTTER_ANGLE, c.shutter);
      host->params().SetFloat(PARAM_TIME_THRESHOLD, 1.0);
      const quillstreak::host::FrameResult result = GuardedFrame(*host, c.time);
      ExpectSoundFrame(c.name, *host, result);
      // The window never reaches before the earliest representable time.
      for (const auto& checkout : host->frames().layerCheckouts()) {
        EXPECT_GE(static_cast<std::int64_t>(checkout.time),
                  static_cast<std::int64_t>(c.time) -
                      static_cast<std::int64_t>(c.shutter / 360.0 * 100.0))
            << c.name;
      }
    });
  }
}

TEST(HostileValues, DegenerateTimeScaleAndFrameDuration) {
  struct Case {
    const char* name;
    A_u_long timeScale;
    A_long frameDuration;
  };
  const Case cases[] = {
      {"time scale 0", 0, 100},
      {"frame duration 0", 2400, 0},
      {"negative frame duration", 2400, -100},
      {"huge frame duration", 2400, kMaxTime},
      {"smallest frame duration", 2400, kMinTime},
  };
  for (const Case& c : cases) {
    WithinSeconds(c.name, 60, [&c] {
      auto host = MovingLayerHost();
      host->scene().comp().timeScale = c.timeScale;
      host->scene().comp().frameDuration = c.frameDuration;
      const quillstreak::host::FrameResult result = GuardedFrame(*host, kNow);
      ExpectSoundFrame(c.name, *host, result);
    });
  }
}

TEST(HostileValues, DownsampleFactors) {
  struct Case {
    const char* name;
    PF_RationalScale x, y;
  };
  const Case cases[] = {
      {"zero numerators", {0, 1}, {0, 1}},
      {"zero denominators", {1, 0}, {1, 0}},
      {"zero over zero", {0, 0}, {0, 0}},
      {"negative numerators", {-1, 2}, {-3, 1}},
      {"huge numerators", {kMaxTime, 1}, {kMaxTime, 1}},
      {"huge denominators", {1, 0xFFFFFFFFu}, {1, 0xFFFFFFFFu}},
      {"smallest numerator", {kMinTime, 1}, {1, 1}},
  };
  for (const Case& c : cases) {
    WithinSeconds(c.name, 60, [&c] {
      auto host = MovingLayerHost();
      host->settings().SetDownsample(c.x, c.y);
      const quillstreak::host::FrameResult result = GuardedFrame(*host, kNow);
      ExpectSoundFrame(c.name, *host, result);
    });
  }
}

TEST(HostileValues, SliderValuesAtAndBeyondTheirRanges) {
  struct Case {
    int index;
    double value;
  };
  const Case cases[] = {
      // Shutter Angle: valid 0 to 100000.
      {PARAM_SHUTTER_ANGLE, 0.0},
      {PARAM_SHUTTER_ANGLE, 100000.0},
      {PARAM_SHUTTER_ANGLE, -360.0},
      {PARAM_SHUTTER_ANGLE, 1e7},
      {PARAM_SHUTTER_ANGLE, 1e300},
      {PARAM_SHUTTER_ANGLE, kInf},
      {PARAM_SHUTTER_ANGLE, -kInf},
      {PARAM_SHUTTER_ANGLE, kNaN},
      // Time Threshold: valid 1 to 1024.
      {PARAM_TIME_THRESHOLD, 1.0},
      {PARAM_TIME_THRESHOLD, 1024.0},
      {PARAM_TIME_THRESHOLD, 0.0},
      {PARAM_TIME_THRESHOLD, 0.5},
      {PARAM_TIME_THRESHOLD, -20.0},
      {PARAM_TIME_THRESHOLD, 1e12},
      {PARAM_TIME_THRESHOLD, kInf},
      {PARAM_TIME_THRESHOLD, -kInf},
      {PARAM_TIME_THRESHOLD, kNaN},
      // Opacity: valid 0 to 100.
      {PARAM_OPACITY, 0.0},
      {PARAM_OPACITY, 100.0},
      {PARAM_OPACITY, -50.0},
      {PARAM_OPACITY, 250.0},
      {PARAM_OPACITY, kInf},
      {PARAM_OPACITY, kNaN},
  };
  for (const Case& c : cases) {
    const std::string what =
        "parameter " + std::to_string(c.index) + " = " + std::to_string(c.value);
    WithinSeconds(what, 60, [&c, &what] {
      auto host = MovingLayerHost();
      host->params().SetCheckbox(quillstreak::PARAM_RAMP_FILL_ENABLE, true);
      host->params().SetFloat(c.index, c.value);
      const quillstreak::host::FrameResult result = GuardedFrame(*host, kNow);
      ExpectSoundFrame(what, *host, result);
    });
  }
}

TEST(HostileValues, ShutterAngleAtItsValidMaximumWithTheFinestStepEnds) {
  // 100000 degrees of a 100-unit frame is 27777 units; at one unit per step every probe reads
  // the host. Slow, but bounded.
  WithinSeconds("Shutter Angle 100000, Time Threshold 1", 120, [] {
    auto host = MovingLayerHost();
    host->params().SetFloat(PARAM_SHUTTER_ANGLE, 100000.0);
    host->params().SetFloat(PARAM_TIME_THRESHOLD, 1.0);
    host->params().SetFloat(quillstreak::PARAM_MOTION_THRESHOLD, 20.0);
    const quillstreak::host::FrameResult result = GuardedFrame(*host, kNow);
    EXPECT_EQ(result.err, PF_Err_NONE);
    ExpectSoundFrame("maximum shutter", *host, result);
  });
}

TEST(HostileValues, MotionSourceThatIsNotThere) {
  auto host = quillstreak::test::NewHost();
  host->params().SetLayer(PARAM_MOTION_SOURCE, 77);  // no such layer
  const quillstreak::host::FrameResult result = GuardedFrame(*host, kNow);
  EXPECT_NE(result.preRenderErr, PF_Err_NONE);
  EXPECT_NE(result.err, kRunawayCode);
  EXPECT_TRUE(host->accounts().Clear()) << host->accounts().Describe();
}

// ---- worlds that the host hands over -------------------------------------------------------

/// Smart-render callbacks of our own: every checkout gives a world of the size the case asks
/// for, whatever the plan requested.
struct TinyWorlds {
  struct WorldShape {
    A_long width, height;
    bool noData;    // data null (with a zero size, as a host may give for "nothing")
    bool wideHint;  // extent_hint larger than the world
    A_long originX, originY;
  };
  WorldShape sample{};
  WorldShape current{};
  WorldShape output{};
  std::vector<std::unique_ptr<std::vector<PF_Pixel>>> buffers;
  std::vector<std::unique_ptr<PF_EffectWorld>> worlds;

  PF_EffectWorld* Make(const WorldShape& s) {
    auto pixels = std::make_unique<std::vector<PF_Pixel>>(
        static_cast<std::size_t>(std::max<A_long>(s.width, 0)) *
            static_cast<std::size_t>(std::max<A_long>(s.height, 0)),
        PF_Pixel{255, 200, 100, 50});
    auto world = std::make_unique<PF_EffectWorld>();
    world->width = s.width;
    world->height = s.height;
    world->rowbytes = s.width * static_cast<A_long>(sizeof(PF_Pixel));
    world->data = s.noData || pixels->empty() ? nullptr : pixels->data();
    world->extent_hint =
        s.wideHint ? PF_Rect{-50, -50, 700, 400} : PF_Rect{0, 0, s.width, s.height};
    world->origin_x = s.originX;
    world->origin_y = s.originY;
    PF_EffectWorld* out = world.get();
    buffers.push_back(std::move(pixels));
    worlds.push_back(std::move(world));
    return out;
  }

  static TinyWorlds* self;
  static PF_Err CheckoutLayerPixels(PF_ProgPtr, A_long id, PF_EffectWorld** world) {
    // The current frame has the highest id of the frame; every other id is a sample.
    *world = self->Make(id >= self->currentId ? self->current : self->sample);
    return PF_Err_NONE;
  }
  static PF_Err CheckoutOutput(PF_ProgPtr, PF_EffectWorld** world) {
    *world = self->Make(self->output);
    return PF_Err_NONE;
  }
  static PF_Err CheckinLayerPixels(PF_ProgPtr, A_long) { return PF_Err_NONE; }
  A_long currentId = 0;
};
TinyWorlds* TinyWorlds::self = nullptr;

/// Pre-renders a moving layer with ramp fill, then renders it through callbacks that hand out
/// the given worlds instead of the ones the plan asked for.
void RenderWithWorlds(const std::string& name, const TinyWorlds::WorldShape& sample,
                      const TinyWorlds::WorldShape& current, const TinyWorlds::WorldShape& output) {
  WithinSeconds(name, 60, [&] {
    auto host = MovingLayerHost();
    host->params().SetCheckbox(quillstreak::PARAM_RAMP_FILL_ENABLE, true);
    host->params().SetFloat(PARAM_OPACITY, 50.0);
    host->settings().SetTime(kNow);
    ASSERT_EQ(host->frames().SmartPreRender(), PF_Err_NONE);
    TinyWorlds worlds;
    worlds.sample = sample;
    worlds.current = current;
    worlds.output = output;
    for (const auto& checkout : host->frames().layerCheckouts()) {
      worlds.currentId = std::max(worlds.currentId, checkout.id);
    }
    TinyWorlds::self = &worlds;

    PF_SmartRenderCallbacks cb{};
    cb.checkout_layer_pixels = TinyWorlds::CheckoutLayerPixels;
    cb.checkin_layer_pixels = TinyWorlds::CheckinLayerPixels;
    cb.checkout_output = TinyWorlds::CheckoutOutput;
    PF_SmartRenderInput input{};
    input.output_request = host->frames().preRenderInput().output_request;
    input.bitdepth = 8;
    input.pre_render_data = host->frames().preRenderOutput().pre_render_data;
    PF_SmartRenderExtra extra{&input, &cb};
    host->SyncInData();
    const PF_Err err = host->commands().Send(PF_Cmd_SMART_RENDER, nullptr, nullptr, &extra);
    TinyWorlds::self = nullptr;
    // The render went through the worlds it was given.
    EXPECT_GT(worlds.worlds.size(), 2u) << name;
    EXPECT_NE(err, PF_Err_INTERNAL_STRUCT_DAMAGED) << name << "\n" << host->journal().Text();
    host->frames().EndFrame();
    EXPECT_TRUE(host->accounts().Clear()) << name << ": " << host->accounts().Describe();
  });
}

TEST(HostileValues, WorldsSmallerThanAsked) {
  struct Case {
    const char* name;
    TinyWorlds::WorldShape sample, current, output;
  };
  const Case cases[] = {
      {"one-pixel worlds",
       {1, 1, false, false, 0, 0},
       {1, 1, false, false, 0, 0},
       {1, 1, false, false, 0, 0}},
      {"empty sample and current worlds",
       {0, 0, true, false, 0, 0},
       {0, 0, true, false, 0, 0},
       {4, 4, false, false, 0, 0}},
      {"empty output world",
       {8, 8, false, false, 0, 0},
       {8, 8, false, false, 0, 0},
       {0, 0, true, false, 0, 0}},
      {"extent hints wider than the worlds",
       {3, 2, false, true, 0, 0},
       {2, 3, false, true, 0, 0},
       {5, 5, false, true, 0, 0}},
  };
  for (const Case& c : cases) RenderWithWorlds(c.name, c.sample, c.current, c.output);
}

// ---- missing records -----------------------------------------------------------------------

TEST(HostileValues, MissingRecordsAreRefused) {
  auto host = quillstreak::test::NewHost();
  PF_UserChangedParamExtra swap{quillstreak::PARAM_SWAP_COLORS};
  PF_PreRenderInput preIn{};
  PF_PreRenderOutput preOut{};
  PF_PreRenderCallbacks preCb{};
  PF_SmartRenderInput renderIn{};
  PF_SmartRenderCallbacks renderCb{};
  PF_PreRenderExtra noOutput{&preIn, nullptr, &preCb};
  PF_PreRenderExtra noInput{nullptr, &preOut, &preCb};
  PF_PreRenderExtra noPreCallbacks{&preIn, &preOut, nullptr};
  PF_SmartRenderExtra noRenderInput{nullptr, &renderCb};
  PF_SmartRenderExtra noRenderCallbacks{&renderIn, nullptr};
  std::vector<PF_ParamDef*> nullParams(quillstreak::PARAM_COUNT, nullptr);

  struct Case {
    const char* name;
    PF_Cmd cmd;
    PF_ParamDef** params;
    void* extra;
  };
  const Case cases[] = {
      {"pre-render without extra", PF_Cmd_SMART_PRE_RENDER, nullptr, nullptr},
      {"pre-render without output", PF_Cmd_SMART_PRE_RENDER, nullptr, &noOutput},
      {"pre-render without input", PF_Cmd_SMART_PRE_RENDER, nullptr, &noInput},
      {"pre-render without callbacks", PF_Cmd_SMART_PRE_RENDER, nullptr, &noPreCallbacks},
      {"render without extra", PF_Cmd_SMART_RENDER, nullptr, nullptr},
      {"render without input", PF_Cmd_SMART_RENDER, nullptr, &noRenderInput},
      {"render without callbacks", PF_Cmd_SMART_RENDER, nullptr, &noRenderCallbacks},
      {"render without pre-render data", PF_Cmd_SMART_RENDER, nullptr, nullptr},
      {"swap colors without params", PF_Cmd_USER_CHANGED_PARAM, nullptr, &swap},
      {"swap colors with null definitions", PF_Cmd_USER_CHANGED_PARAM, nullParams.data(), &swap},
      {"swap colors without extra", PF_Cmd_USER_CHANGED_PARAM, nullParams.data(), nullptr},
  };
  for (const Case& c : cases) {
    void* extra = c.extra;
    PF_SmartRenderExtra withoutPlan{&renderIn, &renderCb};
    if (std::string(c.name) == "render without pre-render data") extra = &withoutPlan;
    host->SyncInData();
    const PF_Err err = host->commands().Send(c.cmd, c.params, nullptr, extra);
    EXPECT_NE(err, PF_Err_NONE) << c.name;
    EXPECT_NE(err, PF_Err_INTERNAL_STRUCT_DAMAGED) << c.name;
    EXPECT_TRUE(host->accounts().Clear()) << c.name << ": " << host->accounts().Describe();
  }

  // Without in_data no handled command can run; GLOBAL_SETDOWN and unhandled ones need nothing.
  const PF_FilterProc entry = host->records().entry();
  for (const PF_Cmd cmd :
       {PF_Cmd_ABOUT, PF_Cmd_GLOBAL_SETUP, PF_Cmd_PARAMS_SETUP, PF_Cmd_USER_CHANGED_PARAM,
        PF_Cmd_UPDATE_PARAMS_UI, PF_Cmd_SMART_PRE_RENDER, PF_Cmd_SMART_RENDER}) {
    EXPECT_EQ(entry(cmd, nullptr, nullptr, nullptr, nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM)
        << "command " << cmd;
  }
  EXPECT_EQ(entry(PF_Cmd_GLOBAL_SETDOWN, nullptr, nullptr, nullptr, nullptr, nullptr), PF_Err_NONE);
  EXPECT_EQ(entry(PF_Cmd_RENDER, nullptr, nullptr, nullptr, nullptr, nullptr), PF_Err_NONE);
}

// Last in the program: under the sanitizers a fault here stops the program.
TEST(HostileValues, WorldOriginsAtTheEndsOfTheRange) {
  // The offset of a world within the output is the difference of two origins: it must not
  // overflow when they lie at opposite ends of the 32-bit range.
  RenderWithWorlds("far origins", {4, 4, false, false, kMaxTime - 2, kMinTime + 2},
                   {4, 4, false, false, kMaxTime, kMinTime},
                   {4, 4, false, false, kMinTime, kMaxTime});
}

}  // namespace
}  // namespace quillstreak::test
