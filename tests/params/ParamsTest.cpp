// Parameter setup and the parameter UI commands, through the built module and the host.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "params/ParamIndex.h"
#include "support/EffectHarness.h"

namespace {

using quillstreak::test::Call;
using quillstreak::test::NewHost;
using quillstreak::test::Op;
using quillstreak::test::Trace;
using Lines = std::vector<std::string>;
using namespace quillstreak;

TEST(ParamsSetup, DeclaresTwentyThreeParametersInOrder) {
  auto host = NewHost(false);
  ASSERT_EQ(host->ParamsSetup(), PF_Err_NONE);
  EXPECT_EQ(host->records().out_data().num_params, 24);
  const auto& defs = host->params().declared();
  ASSERT_EQ(defs.size(), 23u);
  EXPECT_EQ(host->journal().Count(Op::add_param), 23u);
  EXPECT_EQ(host->journal().Count(Op::AcquireSuite), 0u);
  const A_long diskIds[] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                            19, 13, 14, 15, 16, 17, 18, 20, 21, 22, 23};
  for (std::size_t i = 0; i < defs.size(); ++i) {
    EXPECT_EQ(defs[i].uu.id, diskIds[i]) << "call " << i;
  }
  for (const auto& call : host->journal().Args<Op::add_param>()) {
    EXPECT_EQ(call.index, -1);  // appended
  }
  EXPECT_TRUE(host->accounts().Clear()) << host->accounts().Describe();
}

TEST(ParamsSetup, DefinitionsCarryTheExactBytes) {
  auto host = NewHost(false);
  ASSERT_EQ(host->ParamsSetup(), PF_Err_NONE);
  const auto& defs = host->params().declared();
  ASSERT_EQ(defs.size(), 23u);

  struct Expected {
    const char* name;
    A_long type;
    A_long flags;
  };
  const Expected expected[] = {
      {"Quality", 13, 0},
      {"Motion Threshold (px)", 10, 0},
      {"Time Threshold (steps)", 10, 0},
      {"", 14, 0},
      {"Shutter Angle", 10, 0},
      {"Motion Source", 0, 0},
      {"Fill Options", 13, 32},
      {"Enable Solid Fill", 4, 0},
      {"Color", 5, 0},
      {"Enable Ramp Fill", 4, 0},
      {"Start Color", 5, 0},
      {"End Color", 5, 0},
      {"", 15, 64},
      {"Opacity", 10, 0},
      {"", 14, 0},
      {"Utility", 13, 32},
      {"Samples Scale", 10, 0},
      {"Samples Rotation", 10, 0},
      {"", 14, 0},
      {"Left", 10, 0},
      {"Top", 10, 0},
      {"Right", 10, 0},
      {"Bottom", 10, 0},
  };
  for (std::size_t i = 0; i < defs.size(); ++i) {
    const PF_ParamDef& d = defs[i];
    EXPECT_EQ(d.param_type, expected[i].type) << i;
    EXPECT_EQ(d.flags, expected[i].flags) << i;
    EXPECT_EQ(std::string(d.name), expected[i].name) << i;
    EXPECT_EQ(d.ui_flags, 0) << "ui_flags " << i;
    EXPECT_EQ(d.ui_width, 0) << "ui_width " << i;
    EXPECT_EQ(d.ui_height, 0) << "ui_height " << i;
    EXPECT_EQ(d.unused, 0) << "unused " << i;
    // Every byte of the name after its NUL is zero.
    for (std::size_t b = std::strlen(expected[i].name); b < sizeof d.name; ++b) {
      EXPECT_EQ(d.name[b], 0) << i;
    }
  }

  struct Slider {
    std::size_t call;
    double value;
    float validMin, validMax, sliderMin, sliderMax;
    A_short precision, displayFlags;
  };
  const Slider sliders[] = {
      {1, 1.0, 0, 20, 0, 5, 2, 0},          {2, 20.0, 1, 1024, 0, 20, 0, 0},
      {4, 360.0, 0, 100000, 0, 3600, 2, 0}, {13, 100.0, 0, 100, 0, 100, 2, 1},
      {16, 1.0, 0, 5, 0, 5, 2, 0},          {17, 1.0, 0, 5, 0, 5, 2, 0},
      {19, 0.0, -1000, 1000, 0, 5, 2, 0},   {20, 0.0, -1000, 1000, 0, 5, 2, 0},
      {21, 0.0, -1000, 1000, 0, 5, 2, 0},   {22, 0.0, -1000, 1000, 0, 5, 2, 0},
  };
  for (const Slider& s : sliders) {
    const PF_FloatSliderDef& f = defs[s.call].u.fs_d;
    EXPECT_EQ(f.value, s.value) << s.call;
    EXPECT_EQ(f.phase, 0.0) << "phase " << s.call;
    for (const A_char c : f.value_desc) EXPECT_EQ(c, 0) << "value_desc";
    EXPECT_EQ(f.valid_min, s.validMin) << s.call;
    EXPECT_EQ(f.valid_max, s.validMax) << s.call;
    EXPECT_EQ(f.slider_min, s.sliderMin) << s.call;
    EXPECT_EQ(f.slider_max, s.sliderMax) << s.call;
    EXPECT_EQ(f.dephault, static_cast<float>(s.value)) << "dephault " << s.call;
    EXPECT_EQ(f.precision, s.precision) << s.call;
    EXPECT_EQ(f.display_flags, s.displayFlags) << s.call;
    EXPECT_EQ(f.fs_flags, 0u) << "fs_flags " << s.call;
    EXPECT_EQ(f.curve_tolerance, 0.05f) << "curve_tolerance " << s.call;
    EXPECT_EQ(f.useExponent, 0) << "useExponent " << s.call;
    EXPECT_EQ(f.exponent, 0.0f) << "exponent " << s.call;
  }

  // Colours: value and default, alpha red green blue.
  const std::pair<std::size_t, std::array<unsigned char, 4>> colors[] = {
      {8, {255, 128, 128, 128}}, {10, {255, 255, 255, 255}}, {11, {255, 0, 0, 0}}};
  for (const auto& [call, argb] : colors) {
    for (const PF_Pixel& p : {defs[call].u.cd.value, defs[call].u.cd.dephault})
      EXPECT_EQ((std::array<unsigned char, 4>{p.alpha, p.red, p.green, p.blue}), argb) << call;
  }
  // Checkboxes: off, default false, an empty label.
  for (const std::size_t call : {7u, 9u}) {
    const PF_CheckBoxDef& box = defs[call].u.bd;
    EXPECT_EQ(box.value, 0);
    EXPECT_EQ(box.dephault, 0);
    ASSERT_NE(box.u.nameptr, nullptr);
    EXPECT_STREQ(box.u.nameptr, "");
  }
  // The button: value 0 and its label text.
  EXPECT_EQ(defs[12].u.button_d.value, 0);
  ASSERT_NE(defs[12].u.button_d.u.namesptr, nullptr);
  EXPECT_STREQ(defs[12].u.button_d.u.namesptr, "Swap Colors");
  // The layer parameter defaults to no layer.
  EXPECT_EQ(defs[5].u.ld.dephault, 0);
  EXPECT_EQ(defs[5].u.ld.data, nullptr);
}

TEST(ParamsSetup, StopsAtAFailingCallWithItsCode) {
  auto host = NewHost(false);
  host->records().out_data().num_params = 5;
  host->faults().FailCall(Op::add_param, 5, 1234);
  EXPECT_EQ(host->ParamsSetup(), 1234);
  EXPECT_EQ(host->journal().Count(Op::add_param), 5u);
  EXPECT_EQ(host->records().out_data().num_params, 5);
  EXPECT_TRUE(host->accounts().Clear()) << host->accounts().Describe();
}

TEST(ParamsSetup, MissingCallbacksGive516WithoutACall) {
  {
    auto host = NewHost(false);
    host->records().in_data().inter.add_param = nullptr;
    EXPECT_EQ(host->commands().Send(PF_Cmd_PARAMS_SETUP, nullptr, nullptr, nullptr),
              PF_Err_BAD_CALLBACK_PARAM);
  }
  {
    auto host = NewHost(false);
    host->records().utils().ansi.strcpy = nullptr;
    EXPECT_EQ(host->commands().Send(PF_Cmd_PARAMS_SETUP, nullptr, nullptr, nullptr),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(host->journal().Count(Op::add_param), 0u);
  }
  {
    auto host = NewHost(false);
    host->records().in_data().utils = nullptr;
    EXPECT_EQ(host->commands().Send(PF_Cmd_PARAMS_SETUP, nullptr, nullptr, nullptr),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(host->journal().Count(Op::add_param), 0u);
  }
  {
    // Parameter setup acquires no suite, so it works without a basic suite.
    auto host = NewHost(false);
    host->faults().SetNoBasicSuite();
    EXPECT_EQ(host->ParamsSetup(), PF_Err_NONE);
  }
}

TEST(SwapColors, ExchangesTheRampColoursWholeAndFlagsThem) {
  auto host = NewHost();
  EXPECT_EQ(host->UserChangedParam(PARAM_SWAP_COLORS), PF_Err_NONE);
  PF_Pixel start = host->params().ColorAt(PARAM_RAMP_START_COLOR, 0);
  PF_Pixel end = host->params().ColorAt(PARAM_RAMP_END_COLOR, 0);
  EXPECT_EQ((std::array<int, 4>{start.alpha, start.red, start.green, start.blue}),
            (std::array<int, 4>{255, 0, 0, 0}));
  EXPECT_EQ((std::array<int, 4>{end.alpha, end.red, end.green, end.blue}),
            (std::array<int, 4>{255, 255, 255, 255}));
  EXPECT_EQ(host->UserChangedParam(PARAM_SWAP_COLORS), PF_Err_NONE);
  start = host->params().ColorAt(PARAM_RAMP_START_COLOR, 0);
  EXPECT_EQ(start.red, 255);

  host->params().SetColor(PARAM_RAMP_START_COLOR, {10, 1, 2, 3});
  host->params().SetColor(PARAM_RAMP_END_COLOR, {200, 4, 5, 6});
  EXPECT_EQ(host->UserChangedParam(PARAM_SWAP_COLORS), PF_Err_NONE);
  start = host->params().ColorAt(PARAM_RAMP_START_COLOR, 0);
  end = host->params().ColorAt(PARAM_RAMP_END_COLOR, 0);
  EXPECT_EQ((std::array<int, 4>{start.alpha, start.red, start.green, start.blue}),
            (std::array<int, 4>{200, 4, 5, 6}));
  EXPECT_EQ((std::array<int, 4>{end.alpha, end.red, end.green, end.blue}),
            (std::array<int, 4>{10, 1, 2, 3}));
  EXPECT_TRUE(host->journal().empty()) << host->journal().Text();
}

TEST(SwapColors, DirectCallSetsChangeFlagsAndKeepsDefaults) {
  PF_ParamDef defs[PARAM_COUNT];
  std::memset(defs, 0, sizeof(defs));
  PF_ParamDef* params[PARAM_COUNT];
  for (int i = 0; i < PARAM_COUNT; ++i) {
    params[i] = &defs[i];
    defs[i].uu.change_flags = 0x70;
  }
  defs[PARAM_RAMP_START_COLOR].u.cd = {{1, 2, 3, 4}, {5, 6, 7, 8}};
  defs[PARAM_RAMP_END_COLOR].u.cd = {{9, 10, 11, 12}, {13, 14, 15, 16}};
  const PF_FilterProc entry = quillstreak::test::EffectModule().entry();

  for (const A_long other : {0, 11, 12, 14, 23, 24, -1}) {
    PF_UserChangedParamExtra extra{other};
    EXPECT_EQ(entry(PF_Cmd_USER_CHANGED_PARAM, nullptr, nullptr, params, nullptr, &extra), 0);
    EXPECT_EQ(defs[PARAM_RAMP_START_COLOR].u.cd.value.alpha, 1) << other;
    EXPECT_EQ(defs[PARAM_RAMP_START_COLOR].uu.change_flags, 0x70) << other;
  }
  PF_UserChangedParamExtra extra{PARAM_SWAP_COLORS};
  EXPECT_EQ(entry(PF_Cmd_USER_CHANGED_PARAM, nullptr, nullptr, params, nullptr, &extra), 0);
  EXPECT_EQ(defs[PARAM_RAMP_START_COLOR].u.cd.value.alpha, 9);
  EXPECT_EQ(defs[PARAM_RAMP_START_COLOR].u.cd.value.blue, 12);
  EXPECT_EQ(defs[PARAM_RAMP_END_COLOR].u.cd.value.red, 2);
  EXPECT_EQ(defs[PARAM_RAMP_START_COLOR].u.cd.dephault.alpha, 5);
  EXPECT_EQ(defs[PARAM_RAMP_END_COLOR].u.cd.dephault.alpha, 13);
  EXPECT_EQ(defs[PARAM_RAMP_START_COLOR].uu.change_flags, 1);
  EXPECT_EQ(defs[PARAM_RAMP_END_COLOR].uu.change_flags, 1);
  EXPECT_EQ(defs[PARAM_OPACITY].uu.change_flags, 0x70);
}

TEST(UpdateParamsUI, HidesTheFourUngroupedSliders) {
  auto host = NewHost();
  ASSERT_EQ(host->UpdateParamsUI(), PF_Err_NONE);
  for (int index = 0; index < PARAM_COUNT; ++index) {
    const bool hidden = index >= PARAM_LEFT;
    EXPECT_EQ(host->params().DynamicFlags(index), hidden ? AEGP_DynStreamFlag_HIDDEN : 0u) << index;
  }
  // The effect reference, the four streams, the four flags (hidden, not undoable), then the
  // effect reference disposed first and the four streams in order.
  Lines expected{Call<Op::AEGP_GetNewEffectForEffect>({.plugin = 0})};
  for (int i = PARAM_LEFT; i <= PARAM_BOTTOM; ++i)
    expected.push_back(Call<Op::AEGP_GetNewEffectStreamByIndex>({.plugin = 0, .index = i}));
  for (int i = PARAM_LEFT; i <= PARAM_BOTTOM; ++i) {
    expected.push_back(Call<Op::AEGP_SetDynamicStreamFlag>(
        {.param = i, .flag = AEGP_DynStreamFlag_HIDDEN, .undoable = 0, .set = 1}));
  }
  expected.push_back(Call<Op::AEGP_DisposeEffect>());
  for (int i = PARAM_LEFT; i <= PARAM_BOTTOM; ++i)
    expected.push_back(Call<Op::AEGP_DisposeStream>({.param = i}));
  EXPECT_EQ(Trace(host->journal(), {Op::AEGP_GetEffectLayer, Op::AEGP_GetNewEffectForEffect,
                                    Op::AEGP_GetNewEffectStreamByIndex, Op::AEGP_GetNewStreamValue,
                                    Op::AEGP_DisposeStreamValue, Op::AEGP_DisposeStream,
                                    Op::AEGP_DisposeEffect, Op::AEGP_GetLayerStreamValue,
                                    Op::AEGP_GetLayerParentComp, Op::AEGP_GetLayerFromLayerID,
                                    Op::AEGP_GetLayerID, Op::AEGP_SetDynamicStreamFlag}),
            expected);
  EXPECT_TRUE(host->accounts().Clear()) << host->accounts().Describe();
}

TEST(UpdateParamsUI, FailuresStopTheRequestsAndCleanUp) {
  struct Case {
    const char* name;
    Op op;
    int nth;
    std::size_t streams, flagsSet, disposedStreams, disposedEffects;
    std::vector<int> hidden;
  };
  const Case cases[] = {
      {"no effect reference", Op::AEGP_GetNewEffectForEffect, 1, 0, 0, 0, 0, {}},
      {"no Top stream", Op::AEGP_GetNewEffectStreamByIndex, 2, 2, 0, 1, 1, {}},
      {"hiding Right fails", Op::AEGP_SetDynamicStreamFlag, 3, 4, 3, 4, 1, {PARAM_LEFT, PARAM_TOP}},
  };
  for (const Case& c : cases) {
    auto host = NewHost();
    host->faults().FailCall(c.op, c.nth, 4321);
    EXPECT_EQ(host->UpdateParamsUI(), 4321) << c.name;
    EXPECT_EQ(host->journal().Count(Op::AEGP_GetNewEffectStreamByIndex), c.streams) << c.name;
    EXPECT_EQ(host->journal().Count(Op::AEGP_SetDynamicStreamFlag), c.flagsSet) << c.name;
    EXPECT_EQ(host->journal().Count(Op::AEGP_DisposeStream), c.disposedStreams) << c.name;
    EXPECT_EQ(host->journal().Count(Op::AEGP_DisposeEffect), c.disposedEffects) << c.name;
    for (int index = PARAM_LEFT; index <= PARAM_BOTTOM; ++index) {
      const bool hidden = std::find(c.hidden.begin(), c.hidden.end(), index) != c.hidden.end();
      EXPECT_EQ(host->params().DynamicFlags(index), hidden ? AEGP_DynStreamFlag_HIDDEN : 0u)
          << c.name << " " << index;
    }
    EXPECT_TRUE(host->accounts().Clear()) << c.name << host->accounts().Describe();
  }
}

TEST(UpdateParamsUI, DisposalErrorCountsOnlyWithoutAnEarlierOne) {
  auto host = NewHost();
  host->faults().FailCall(Op::AEGP_DisposeStream, 2, 99);
  EXPECT_EQ(host->UpdateParamsUI(), 99);
  EXPECT_EQ(host->journal().Count(Op::AEGP_DisposeStream), 4u);

  auto second = NewHost();
  second->faults().FailCall(Op::AEGP_SetDynamicStreamFlag, 1, 5);
  second->faults().FailCall(Op::AEGP_DisposeEffect, 1, 6);
  EXPECT_EQ(second->UpdateParamsUI(), 5);
}

TEST(UpdateParamsUI, MissingSuiteOrBasicSuiteGives516) {
  for (const char* suite : {"AEGP PF Interface Suite", "AEGP Stream Suite",
                            "AEGP Dynamic Stream Suite", "AEGP Effect Suite"}) {
    auto host = NewHost();
    host->faults().RefuseSuite(suite);
    EXPECT_EQ(host->UpdateParamsUI(), PF_Err_BAD_CALLBACK_PARAM) << suite;
    EXPECT_TRUE(host->accounts().Clear()) << suite << " " << host->accounts().Describe();
  }
  auto host = NewHost();
  host->faults().SetNoBasicSuite();
  EXPECT_EQ(host->UpdateParamsUI(), PF_Err_BAD_CALLBACK_PARAM);
}

}  // namespace
