// Smart pre-render and motion sampling through the built module and the substitute host.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "params/ParamIndex.h"
#include "plan/TrailPlan.h"
#include "support/EffectHarness.h"

namespace {

using namespace quillstreak;
using quillstreak::test::Call;
using quillstreak::test::NewHost;
using quillstreak::test::Op;
using quillstreak::test::Trace;
using Lines = std::vector<std::string>;

/// The plan pre-render attached to the frame (the handle's block, read as the host holds it).
const TrailPlan* AttachedPlan(const quillstreak::host::Host& host) {
  const auto handle = static_cast<PF_Handle>(host.frames().preRenderOutput().pre_render_data);
  return handle == nullptr ? nullptr : static_cast<const TrailPlan*>(*handle);
}

/// Layer 1 holds still, jumps right after 900 and again after 950, then holds still.
void TwoJumps(quillstreak::host::Host& host) {
  quillstreak::host::Layer& layer = *host.scene().comp().FindLayer(1);
  layer.transform.position.AddKeyframe(0, {320, 180, 0, 0}, quillstreak::host::Interp::Hold);
  layer.transform.position.AddKeyframe(901, {330, 180, 0, 0}, quillstreak::host::Interp::Hold);
  layer.transform.position.AddKeyframe(951, {340, 180, 0, 0}, quillstreak::host::Interp::Hold);
  host.params().SetFloat(PARAM_TIME_THRESHOLD, 50.0);
  host.params().SetFloat(PARAM_SHUTTER_ANGLE, 360.0);
  host.params().SetFloat(PARAM_OPACITY, 50.0);
  host.settings().SetTime(1000);
}

TEST(SmartPreRender, WorkedExampleMakesTheHostCallsInOrder) {
  auto host = NewHost();
  ASSERT_EQ(host->scene().comp().timeScale, 2400u);
  ASSERT_EQ(host->scene().comp().frameDuration, 100);
  TwoJumps(*host);
  ASSERT_EQ(host->frames().SmartPreRender(), PF_Err_NONE) << host->journal().Text();

  Lines expected;
  for (int i = 0; i < PARAM_COUNT; ++i) {
    expected.push_back(Call<Op::checkout_param>(
        {.index = i, .what_time = 1000, .time_step = 100, .time_scale = 2400}));
  }
  for (const auto& [id, time] : {std::pair{1, 900}, {2, 950}, {4, 1000}}) {
    expected.push_back(Call<Op::checkout_layer>(
        {.index = 0, .checkout_id = id, .what_time = time, .time_step = 100, .time_scale = 2400}));
  }
  expected.push_back(Call<Op::host_unlock_handle>({.handle = 1}));  // the plan's handle
  for (int i = 0; i < PARAM_COUNT; ++i) expected.push_back(Call<Op::checkin_param>({.index = i}));
  EXPECT_EQ(Trace(host->journal(), {Op::checkout_param, Op::checkin_param, Op::checkout_layer,
                                    Op::host_unlock_handle}),
            expected)
      << host->journal().Text();

  // The motion reads sit between the parameter checkouts and the layer checkouts: six streams
  // per read, for the first base, two probes that move, their re-read bases and a last probe.
  const std::vector<Op> ops = host->journal().Ops();
  std::size_t firstRead = ops.size(), lastRead = 0, lastParam = 0, firstLayer = ops.size();
  for (std::size_t i = 0; i < ops.size(); ++i) {
    if (ops[i] == Op::AEGP_GetLayerStreamValue) {
      firstRead = std::min(firstRead, i);
      lastRead = i;
    }
    if (ops[i] == Op::checkout_param) lastParam = i;
    if (ops[i] == Op::checkout_layer) firstLayer = std::min(firstLayer, i);
  }
  EXPECT_LT(lastParam, firstRead);
  EXPECT_LT(lastRead, firstLayer);
  const auto reads = host->journal().Args<Op::AEGP_GetLayerStreamValue>();
  ASSERT_EQ(reads.size(), 36u);
  const AEGP_LayerStream streamOrder[] = {1, 2, 0, 3, 9, 8};
  const A_long readTimes[] = {900, 950, 950, 1000, 1000, 1050};
  for (std::size_t i = 0; i < reads.size(); ++i) {
    EXPECT_EQ(reads[i].stream, streamOrder[i % 6]) << i;
    EXPECT_EQ(reads[i].time, readTimes[i / 6]) << i;
    EXPECT_EQ(reads[i].scale, 2400u) << i;
    // In layer time, with expressions applied.
    EXPECT_EQ(reads[i].time_mode, AEGP_LTimeMode_LayerTime) << i;
    EXPECT_EQ(reads[i].pre_expression, 0) << i;
  }

  const TrailPlan* plan = AttachedPlan(*host);
  ASSERT_NE(plan, nullptr);
  EXPECT_EQ(plan->shutterTicks, 100.0);
  EXPECT_EQ(plan->opacity, 0.5);
  EXPECT_EQ(plan->sampleCount, 2.0);
  ASSERT_NE(plan->sampleTimes, nullptr);
  EXPECT_EQ(*plan->sampleTimes, (SampleTimeList{900, 950}));
  EXPECT_EQ(plan->timeThreshold, 50);
  EXPECT_NE(host->frames().preRenderOutput().delete_pre_render_data_func, nullptr);

  // Between the commands only the plan's handle is held; the frame's end releases it.
  EXPECT_EQ(host->accounts().params, 0);
  EXPECT_EQ(host->accounts().handles, 1);
  host->frames().EndFrame();
  EXPECT_TRUE(host->accounts().Clear()) << host->accounts().Describe();
}

TEST(SmartPreRender, SnapshotConversions) {
  struct Case {
    const char* name;
    int index;
    double value;
    A_long frame;
    void (*check)(const TrailPlan&);
  };
  const Case cases[] = {
      {"opacity 40", PARAM_OPACITY, 40.0, 100,
       [](const TrailPlan& p) { EXPECT_EQ(p.opacity, 0.4); }},
      {"opacity 0", PARAM_OPACITY, 0.0, 100, [](const TrailPlan& p) { EXPECT_EQ(p.opacity, 0.0); }},
      {"shutter 180", PARAM_SHUTTER_ANGLE, 180.0, 100,
       [](const TrailPlan& p) { EXPECT_EQ(p.shutterTicks, 50.0); }},
      {"shutter 90 of 1001", PARAM_SHUTTER_ANGLE, 90.0, 1001,
       [](const TrailPlan& p) { EXPECT_EQ(p.shutterTicks, 250.0); }},
      {"shutter 360", PARAM_SHUTTER_ANGLE, 360.0, 1001,
       [](const TrailPlan& p) { EXPECT_EQ(p.shutterTicks, 1001.0); }},
      {"left slider carried", PARAM_LEFT, -12.5, 100,
       [](const TrailPlan& p) { EXPECT_EQ(p.leftValue, -12.5); }},
      {"bottom slider carried", PARAM_BOTTOM, 999.0, 100,
       [](const TrailPlan& p) { EXPECT_EQ(p.bottomValue, 999.0); }},
      {"samples rotation before scale", PARAM_SAMPLES_ROTATION, 2.5, 100,
       [](const TrailPlan& p) {
         EXPECT_EQ(p.samplesRotation, 2.5);
         EXPECT_EQ(p.samplesScale, 1.0);
       }},
  };
  for (const Case& c : cases) {
    auto host = NewHost();
    host->scene().comp().frameDuration = c.frame;
    host->params().SetFloat(c.index, c.value);
    host->settings().SetTime(4000);
    ASSERT_EQ(host->frames().SmartPreRender(), PF_Err_NONE) << c.name;
    const TrailPlan* plan = AttachedPlan(*host);
    ASSERT_NE(plan, nullptr) << c.name;
    c.check(*plan);
    host->frames().EndFrame();
    EXPECT_TRUE(host->accounts().Clear()) << c.name << host->accounts().Describe();
  }
}

TEST(SmartPreRender, EachTransformComponentAloneTriggersASample) {
  // A pose with every component off its default, so that a component read into the wrong slot
  // or a difference taken with the wrong sign shows; one component then jumps by 5 (pixels,
  // percent or degrees: five times the default threshold) after 950.
  using quillstreak::host::Stream;
  using quillstreak::host::TransformStreams;
  struct Case {
    const char* name;
    Stream TransformStreams::*stream;
    int component;  // -1: nothing moves
  };
  const Case cases[] = {
      {"still", &TransformStreams::position, -1},
      {"anchor x", &TransformStreams::anchor, 0},
      {"anchor y", &TransformStreams::anchor, 1},
      {"anchor z", &TransformStreams::anchor, 2},
      {"position x", &TransformStreams::position, 0},
      {"position y", &TransformStreams::position, 1},
      {"position z", &TransformStreams::position, 2},
      {"scale x", &TransformStreams::scale, 0},
      {"scale y", &TransformStreams::scale, 1},
      {"rotation z", &TransformStreams::rotateZ, 0},
      {"rotation y", &TransformStreams::rotateY, 0},
      {"rotation x", &TransformStreams::rotateX, 0},
  };
  for (const Case& c : cases) {
    auto host = NewHost();
    TransformStreams& xf = host->scene().comp().FindLayer(1)->transform;
    xf.anchor.SetConstant({50, 40, 7, 0});
    xf.position.SetConstant({320, 180, 11, 0});
    xf.scale.SetConstant({90, 120, 100, 0});
    xf.rotateZ.SetConstant({13, 0, 0, 0});
    xf.rotateY.SetConstant({17, 0, 0, 0});
    xf.rotateX.SetConstant({19, 0, 0, 0});
    if (c.component >= 0) {
      Stream& moving = xf.*c.stream;
      quillstreak::host::StreamValue v = moving.Evaluate(0, 1, 1);
      moving.AddKeyframe(0, v, quillstreak::host::Interp::Hold);
      v[static_cast<std::size_t>(c.component)] += 5.0;
      moving.AddKeyframe(951, v, quillstreak::host::Interp::Hold);
    }
    host->params().SetFloat(PARAM_TIME_THRESHOLD, 50.0);
    host->settings().SetTime(1000);
    ASSERT_EQ(host->frames().SmartPreRender(), PF_Err_NONE) << c.name;
    EXPECT_EQ(*AttachedPlan(*host)->sampleTimes,
              c.component < 0 ? SampleTimeList{} : SampleTimeList{900})
        << c.name;
    host->frames().EndFrame();
  }
}

TEST(SmartPreRender, TimeThresholdIsTruncatedBeforeSampling) {
  // 3.7 steps become 3 before sampling; at half resolution the probe step is then 6.
  auto host = NewHost();
  host->params().SetFloat(PARAM_TIME_THRESHOLD, 3.7);
  host->settings().SetDownsample({1, 2}, {1, 2});
  host->settings().SetTime(1000);
  ASSERT_EQ(host->frames().SmartPreRender(), PF_Err_NONE);
  EXPECT_EQ(AttachedPlan(*host)->timeThreshold, 6);
  host->frames().EndFrame();
}

TEST(SmartPreRender, StillLayerChecksOutOnlyTheCurrentFrameUnderId2) {
  auto host = NewHost();
  host->settings().SetTime(500);
  ASSERT_EQ(host->frames().SmartPreRender(), PF_Err_NONE);
  const auto& checkouts = host->frames().layerCheckouts();
  ASSERT_EQ(checkouts.size(), 1u);
  EXPECT_EQ(checkouts[0].id, 2);
  EXPECT_EQ(checkouts[0].time, 500);
  EXPECT_EQ(checkouts[0].request.channel_mask, PF_ChannelMask_ARGB);
  // From empty entry rectangles the output takes the checkout's rectangles exactly.
  const PF_LRect& r = host->frames().preRenderOutput().result_rect;
  EXPECT_EQ(r.left, checkouts[0].resultRect.left);
  EXPECT_EQ(r.top, checkouts[0].resultRect.top);
  EXPECT_EQ(r.right, checkouts[0].resultRect.right);
  EXPECT_EQ(r.bottom, checkouts[0].resultRect.bottom);
  EXPECT_EQ(AttachedPlan(*host)->sampleCount, 0.0);
  host->frames().EndFrame();
  EXPECT_TRUE(host->accounts().Clear()) << host->accounts().Describe();
}

TEST(SmartPreRender, OutputRectanglesGrowByEveryCheckout) {
  auto host = NewHost();
  TwoJumps(*host);
  host->settings().SetPreRenderEntryRects({0, 0, 0, 0}, {5, 5, 6, 6});
  ASSERT_EQ(host->frames().SmartPreRender(), PF_Err_NONE);
  PF_LRect expected{0, 0, 0, 0};
  bool first = true;
  for (const auto& c : host->frames().layerCheckouts()) {
    if (first) {
      expected = c.resultRect;
      first = false;
    } else {
      expected.left = std::min(expected.left, c.resultRect.left);
      expected.top = std::min(expected.top, c.resultRect.top);
      expected.right = std::max(expected.right, c.resultRect.right);
      expected.bottom = std::max(expected.bottom, c.resultRect.bottom);
    }
  }
  const PF_LRect& r = host->frames().preRenderOutput().result_rect;
  EXPECT_EQ(r.left, expected.left);
  EXPECT_EQ(r.right, expected.right);
  EXPECT_EQ(r.right - r.left, 120);  // 100 px wide, moved 20 px in two jumps
  const PF_LRect& m = host->frames().preRenderOutput().max_result_rect;
  EXPECT_EQ(m.left, 5);  // the entry rectangle was not empty, so it is part of the union
  EXPECT_EQ(m.top, 5);
  host->frames().EndFrame();
}

TEST(SmartPreRender, EdgeSlidersChangeNoRequestOrRectangle) {
  PF_LRect rects[2];
  for (int variant = 0; variant < 2; ++variant) {
    auto host = NewHost();
    TwoJumps(*host);
    if (variant == 1) {
      host->params().SetFloat(PARAM_LEFT, 300.0);
      host->params().SetFloat(PARAM_TOP, -700.0);
      host->params().SetFloat(PARAM_RIGHT, 1000.0);
      host->params().SetFloat(PARAM_BOTTOM, -1000.0);
    }
    ASSERT_EQ(host->frames().SmartPreRender(), PF_Err_NONE);
    rects[variant] = host->frames().preRenderOutput().result_rect;
    const PF_RenderRequest def = host->frames().DefaultOutputRequest();
    for (const auto& c : host->frames().layerCheckouts()) {
      EXPECT_EQ(c.request.rect.left, def.rect.left);
      EXPECT_EQ(c.request.rect.right, def.rect.right);
      EXPECT_EQ(c.request.rect.bottom, def.rect.bottom);
    }
    host->frames().EndFrame();
  }
  EXPECT_EQ(rects[0].left, rects[1].left);
  EXPECT_EQ(rects[0].top, rects[1].top);
  EXPECT_EQ(rects[0].right, rects[1].right);
  EXPECT_EQ(rects[0].bottom, rects[1].bottom);
}

TEST(SmartPreRender, FailuresStillCheckEverythingBackIn) {
  struct Case {
    const char* name;
    Op op;
    int nth;
    PF_Err expected;
    std::size_t paramCheckouts, layerCheckouts, reads;
    bool attached;
  };
  const Case cases[] = {
      {"parameter 5 fails", Op::checkout_param, 6, 777, 6, 0, 0, true},
      {"first stream read fails", Op::AEGP_GetLayerStreamValue, 1, 777, 24, 0, 1, true},
      {"a later read fails", Op::AEGP_GetLayerStreamValue, 14, 777, 24, 0, 14, true},
      {"own layer not found", Op::AEGP_GetEffectLayer, 1, 777, 24, 0, 0, true},
      {"first layer checkout fails", Op::checkout_layer, 1, 777, 24, 1, 36, true},
      {"current frame checkout fails", Op::checkout_layer, 3, 777, 24, 3, 36, true},
      {"handle allocation fails", Op::host_new_handle, 1, PF_Err_OUT_OF_MEMORY, 0, 0, 0, false},
      {"lock fails", Op::host_lock_handle, 1, PF_Err_OUT_OF_MEMORY, 0, 0, 0, false},
  };
  for (const Case& c : cases) {
    auto host = NewHost();
    TwoJumps(*host);
    host->faults().FailCall(c.op, c.nth, 777);
    EXPECT_EQ(host->frames().SmartPreRender(), c.expected) << c.name;
    EXPECT_EQ(host->journal().Count(Op::checkout_param), c.paramCheckouts) << c.name;
    EXPECT_EQ(host->journal().Count(Op::checkin_param), 24u) << c.name;
    EXPECT_EQ(host->journal().Count(Op::checkout_layer), c.layerCheckouts) << c.name;
    EXPECT_EQ(host->journal().Count(Op::AEGP_GetLayerStreamValue), c.reads) << c.name;
    EXPECT_EQ(host->frames().preRenderOutput().pre_render_data != nullptr, c.attached) << c.name;
    EXPECT_EQ(host->accounts().params, 0) << c.name;
    if (c.attached) {
      EXPECT_EQ(host->journal().Count(Op::host_unlock_handle), 1u) << c.name;
    }
    host->frames().EndFrame();
    EXPECT_TRUE(host->accounts().Clear()) << c.name << " " << host->accounts().Describe();
  }
}

TEST(SmartPreRender, CheckinErrorCountsOnlyWhenThereWasNone) {
  auto host = NewHost();
  host->faults().FailCall(Op::checkin_param, 3, 55);
  EXPECT_EQ(host->frames().SmartPreRender(), 55);
  EXPECT_EQ(host->journal().Count(Op::checkin_param), 24u);
  host->frames().EndFrame();

  auto second = NewHost();
  second->faults().FailCall(Op::checkout_param, 1, 66);
  second->faults().FailCall(Op::checkin_param, 1, 55);
  EXPECT_EQ(second->frames().SmartPreRender(), 66);
  second->frames().EndFrame();
}

TEST(SmartPreRender, MissingSuitesGive516WithNothingLeftBehind) {
  for (const char* suite : {"PF Handle Suite", "AEGP PF Interface Suite", "AEGP Stream Suite"}) {
    auto host = NewHost();
    TwoJumps(*host);
    host->faults().RefuseSuite(suite);
    EXPECT_EQ(host->frames().SmartPreRender(), PF_Err_BAD_CALLBACK_PARAM) << suite;
    if (std::string(suite) != "PF Handle Suite") {
      EXPECT_EQ(host->journal().Count(Op::checkin_param), 24u) << suite;
      EXPECT_EQ(host->journal().Count(Op::host_unlock_handle), 1u) << suite;
      EXPECT_EQ(host->journal().Count(Op::checkout_layer), 0u) << suite;
    } else {
      EXPECT_EQ(host->journal().Count(Op::checkout_param), 0u);
    }
    host->frames().EndFrame();
    EXPECT_TRUE(host->accounts().Clear()) << suite << " " << host->accounts().Describe();
  }
  auto host = NewHost();
  host->faults().SetNoBasicSuite();
  EXPECT_EQ(host->frames().SmartPreRender(), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_TRUE(host->journal().empty()) << host->journal().Text();
}

TEST(MotionSource, TheChosenLayerIsMeasuredInsteadOfTheEffectsOwn) {
  auto host = NewHost();
  quillstreak::host::Layer source;
  source.id = 7;
  source.name = "mover";
  source.source.width = 10;
  source.source.height = 10;
  source.transform.position.AddKeyframe(0, {0, 0, 0, 0});
  source.transform.position.AddKeyframe(2000, {200, 0, 0, 0});
  host->scene().comp().AddLayer(source);
  host->params().SetLayer(PARAM_MOTION_SOURCE, 7);
  host->settings().SetTime(1000);
  ASSERT_EQ(host->frames().SmartPreRender(), PF_Err_NONE) << host->journal().Text();
  // The effect's own layer is still; the source moves 2 px per 20 units.
  EXPECT_EQ(*AttachedPlan(*host)->sampleTimes, (SampleTimeList{900, 920, 940, 960, 980, 1000}));
  const Op lookupSteps[] = {Op::AEGP_GetNewEffectForEffect, Op::AEGP_GetNewEffectStreamByIndex,
                            Op::AEGP_GetNewStreamValue,     Op::AEGP_DisposeStreamValue,
                            Op::AEGP_GetEffectLayer,        Op::AEGP_GetLayerParentComp,
                            Op::AEGP_GetLayerFromLayerID,   Op::AEGP_DisposeStream,
                            Op::AEGP_DisposeEffect};
  std::vector<Op> lookup;
  for (const Op op : host->journal().Ops()) {
    if (std::find(std::begin(lookupSteps), std::end(lookupSteps), op) != std::end(lookupSteps))
      lookup.push_back(op);
  }
  EXPECT_EQ(lookup, std::vector<Op>(std::begin(lookupSteps), std::end(lookupSteps)));
  const auto stream = host->journal().Args<Op::AEGP_GetNewEffectStreamByIndex>();
  ASSERT_EQ(stream.size(), 1u);
  EXPECT_EQ(stream[0].index, PARAM_MOTION_SOURCE);
  // The choice is read at time 0 in layer time, before expressions.
  const auto choice = host->journal().Args<Op::AEGP_GetNewStreamValue>();
  ASSERT_EQ(choice.size(), 1u);
  EXPECT_EQ(choice[0].time, 0);
  EXPECT_EQ(choice[0].scale, 1u);
  EXPECT_EQ(choice[0].time_mode, AEGP_LTimeMode_LayerTime);
  EXPECT_EQ(choice[0].pre_expression, 1);
  host->frames().EndFrame();
  EXPECT_TRUE(host->accounts().Clear()) << host->accounts().Describe();
}

TEST(MotionSource, AnUnknownLayerFailsTheFrameWithTheHostsError) {
  auto host = NewHost();
  host->params().SetLayer(PARAM_MOTION_SOURCE, 42);  // no such layer
  host->settings().SetTime(1000);
  const PF_Err err = host->frames().SmartPreRender();
  EXPECT_NE(err, PF_Err_NONE);
  EXPECT_EQ(host->journal().Count(Op::AEGP_GetLayerStreamValue), 0u);
  EXPECT_EQ(host->journal().Count(Op::checkout_layer), 0u);
  EXPECT_EQ(host->journal().Count(Op::AEGP_DisposeStream), 1u);
  EXPECT_EQ(host->journal().Count(Op::AEGP_DisposeEffect), 1u);
  host->frames().EndFrame();
  EXPECT_TRUE(host->accounts().Clear()) << host->accounts().Describe();
}

TEST(MotionSource, EveryLookupStepFailingCleansUp) {
  const Op steps[] = {Op::AEGP_GetNewEffectForEffect, Op::AEGP_GetNewEffectStreamByIndex,
                      Op::AEGP_GetNewStreamValue,     Op::AEGP_DisposeStreamValue,
                      Op::AEGP_GetEffectLayer,        Op::AEGP_GetLayerParentComp,
                      Op::AEGP_GetLayerFromLayerID,   Op::AEGP_DisposeStream,
                      Op::AEGP_DisposeEffect};
  for (const Op step : steps) {
    auto host = NewHost();
    quillstreak::host::Layer source;
    source.id = 3;
    host->scene().comp().AddLayer(source);
    host->params().SetLayer(PARAM_MOTION_SOURCE, 3);
    host->faults().FailCall(step, 1, 31);
    EXPECT_EQ(host->frames().SmartPreRender(), 31) << quillstreak::host::NameOf(step);
    EXPECT_EQ(host->journal().Count(Op::checkout_layer), 0u) << quillstreak::host::NameOf(step);
    host->frames().EndFrame();
    EXPECT_TRUE(host->accounts().Clear())
        << quillstreak::host::NameOf(step) << " " << host->accounts().Describe();
  }
}

TEST(FrameEnd, APreRenderedFrameLeavesNothingRenderedOrNot) {
  for (const bool render : {false, true}) {
    auto host = NewHost();
    TwoJumps(*host);
    ASSERT_EQ(host->frames().SmartPreRender(), PF_Err_NONE);
    if (render) {
      EXPECT_EQ(host->frames().SmartRender(), PF_Err_NONE) << host->journal().Text();
      // Smart render destroyed the list and left the plan without one.
      EXPECT_EQ(AttachedPlan(*host)->sampleTimes, nullptr);
    }
    host->frames().EndFrame();
    EXPECT_TRUE(host->accounts().Clear()) << render << " " << host->accounts().Describe();
    EXPECT_EQ(host->journal().Count(Op::host_dispose_handle), 1u);
  }
}

}  // namespace
