// Motion sampling core, driven by made-up transform readers (no host).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "plan/SelectSampleTimes.h"

namespace quillstreak {
namespace {

LayerTransform Still() {
  LayerTransform t{};
  t.scale[0] = 100.0;
  t.scale[1] = 100.0;
  return t;
}

/// A plan with the sampling inputs set and an owned, empty sample list.
struct PlanFixture {
  TrailPlan plan{};
  SampleTimeList times;
  PlanFixture(double shutterTicks, A_long timeThreshold, double motionThreshold) {
    plan.shutterTicks = shutterTicks;
    plan.timeThreshold = timeThreshold;
    plan.motionThreshold = motionThreshold;
    plan.samplesScale = 1.0;
    plan.samplesRotation = 1.0;
    plan.sampleTimes = &times;
  }
};

constexpr PF_RationalScale kFull{1, 1};
constexpr PF_RationalScale kHalf{1, 2};

/// Position x: 0 up to 40, 10 from 41 to 80, 30 from 81 to 100, 35 after.
PF_Err SteppingX(A_long time, LayerTransform& out) {
  out = Still();
  out.position[0] = time <= 40 ? 0.0 : time <= 80 ? 10.0 : time <= 100 ? 30.0 : 35.0;
  return PF_Err_NONE;
}

TEST(SelectSampleTimes, WorkedExampleAtFullAndHalfResolution) {
  {
    PlanFixture f(100.0, 20, 1.0);
    ASSERT_EQ(SelectSampleTimes(f.plan, 100, kFull, kFull, SteppingX), PF_Err_NONE);
    EXPECT_EQ(f.times, (SampleTimeList{0, 60, 100}));
    EXPECT_EQ(f.plan.timeThreshold, 20);
  }
  {
    PlanFixture f(100.0, 20, 1.0);
    ASSERT_EQ(SelectSampleTimes(f.plan, 100, kHalf, kHalf, SteppingX), PF_Err_NONE);
    EXPECT_EQ(f.times, (SampleTimeList{0, 80}));
    EXPECT_EQ(f.plan.timeThreshold, 40);
  }
  {
    PlanFixture f(100.0, 20, 6.0);
    ASSERT_EQ(SelectSampleTimes(f.plan, 100, kHalf, kHalf, SteppingX), PF_Err_NONE);
    EXPECT_EQ(f.times, (SampleTimeList{0}));
    EXPECT_DOUBLE_EQ(f.plan.positionDeltaX, 17.5);  // last probe 120 against base 0
  }
}

TEST(SelectSampleTimes, ProbeTimesAndReadCounts) {
  struct Case {
    const char* name;
    A_long current;
    double shutter;
    A_long threshold;
    std::vector<A_long> reads;
  };
  const Case cases[] = {
      // The base at start, then one probe per step; the offset test admits offset == shutter.
      {"divisible window", 100, 100.0, 20, {0, 20, 40, 60, 80, 100, 120}},
      {"undivided window", 100, 90.0, 20, {10, 30, 50, 70, 90, 110}},
      {"empty window", 100, 0.0, 20, {100, 120}},
      {"negative window", 100, -5.0, 20, {105}},
  };
  for (const Case& c : cases) {
    PlanFixture f(c.shutter, c.threshold, 1.0);
    std::vector<A_long> reads;
    const PF_Err err =
        SelectSampleTimes(f.plan, c.current, kFull, kFull, [&](A_long time, LayerTransform& out) {
          reads.push_back(time);
          out = Still();
          return PF_Err_NONE;
        });
    EXPECT_EQ(err, PF_Err_NONE) << c.name;
    EXPECT_EQ(reads, c.reads) << c.name;
    EXPECT_TRUE(f.times.empty()) << c.name;
  }
}

TEST(SelectSampleTimes, ZeroThresholdAcceptsEveryProbeAndRereadsTheBase) {
  PlanFixture f(100.0, 20, 0.0);
  int reads = 0;
  ASSERT_EQ(SelectSampleTimes(f.plan, 100, kFull, kFull,
                              [&](A_long, LayerTransform& out) {
                                ++reads;
                                out = Still();
                                return PF_Err_NONE;
                              }),
            PF_Err_NONE);
  EXPECT_EQ(f.times, (SampleTimeList{0, 20, 40, 60, 80, 100}));
  EXPECT_EQ(reads, 1 + 6 + 6);  // first base, six probes, six new bases
}

TEST(SelectSampleTimes, EmptyWindowAppendsCurrentTimeOnlyWhenTheLayerMoves) {
  for (const double move : {0.5, 1.0}) {
    PlanFixture f(0.0, 20, 1.0);
    SelectSampleTimes(f.plan, 100, kFull, kFull, [&](A_long time, LayerTransform& out) {
      out = Still();
      out.position[1] = time > 100 ? move : 0.0;
      return PF_Err_NONE;
    });
    EXPECT_EQ(f.times, move >= 1.0 ? SampleTimeList{100} : SampleTimeList{}) << move;
  }
}

TEST(SelectSampleTimes, EachKindOfChangeIsWeighedAgainstTheThreshold) {
  struct Case {
    const char* name;
    void (*change)(LayerTransform&);
    double samplesScale, samplesRotation;
    PF_RationalScale ds;
    double threshold;
    bool accepted;
  };
  const Case cases[] = {
      {"z rotation 0.5 x 2 equals threshold", [](LayerTransform& t) { t.rotateZ = 0.5; }, 1.0, 2.0,
       kFull, 1.0, true},
      {"x rotation", [](LayerTransform& t) { t.rotateX = 3.0; }, 1.0, 1.0, kFull, 2.0, true},
      {"y rotation below", [](LayerTransform& t) { t.rotateY = 1.5; }, 1.0, 1.0, kFull, 2.0, false},
      {"rotation weight 0", [](LayerTransform& t) { t.rotateZ = 90.0; }, 1.0, 0.0, kFull, 1.0,
       false},
      {"scale 100 to 110", [](LayerTransform& t) { t.scale[0] = 110.0; }, 1.0, 1.0, kFull, 10.0,
       true},
      {"scale weight 0", [](LayerTransform& t) { t.scale[1] = 300.0; }, 0.0, 1.0, kFull, 1.0,
       false},
      {"position z counts with the x factor", [](LayerTransform& t) { t.position[2] = 4.0; }, 1.0,
       1.0, PF_RationalScale{1, 4}, 1.0, true},
      {"anchor z counts with the x factor", [](LayerTransform& t) { t.anchor[2] = 4.0; }, 1.0, 1.0,
       PF_RationalScale{1, 8}, 1.0, false},
      {"anchor y counts with the y factor", [](LayerTransform& t) { t.anchor[1] = 3.0; }, 1.0, 1.0,
       PF_RationalScale{1, 1}, 3.0, true},
  };
  for (const Case& c : cases) {
    PlanFixture f(20.0, 20, c.threshold);
    f.plan.samplesScale = c.samplesScale;
    f.plan.samplesRotation = c.samplesRotation;
    SelectSampleTimes(f.plan, 100, c.ds, kFull, [&](A_long time, LayerTransform& out) {
      out = Still();
      if (time > 80) c.change(out);
      return PF_Err_NONE;
    });
    EXPECT_EQ(!f.times.empty(), c.accepted) << c.name;
  }
  // Vertical position counts with the vertical factor: 3 px at half height is 1.5, below 2.
  PlanFixture f(20.0, 20, 2.0);
  SelectSampleTimes(f.plan, 100, kFull, PF_RationalScale{1, 2},
                    [](A_long time, LayerTransform& out) {
                      out = Still();
                      if (time > 80) out.position[1] = 3.0;
                      return PF_Err_NONE;
                    });
  EXPECT_TRUE(f.times.empty());
}

TEST(SelectSampleTimes, ScaleMotionIsComputedThroughTheFactors) {
  TrailPlan plan{};
  plan.samplesScale = 1.0;
  plan.samplesRotation = 1.0;
  LayerTransform base = Still();
  LayerTransform probe = Still();
  probe.scale[0] = 110.0;
  const double amount = MeasureMotion(plan, probe, base, 1.0, 1.0);
  EXPECT_EQ(amount, 10.000000000000009);
  EXPECT_EQ(plan.scaleMotion, 10.000000000000009);
  EXPECT_EQ(plan.scaleXAtProbe, 110.0 * 0.01);
  EXPECT_EQ(plan.scaleRatioX, 1.0 / 1.1);
  EXPECT_GT(plan.scaleDeltaX, 0.0);

  // A probe scale of zero makes the ratios infinite; nothing fails.
  probe.scale[0] = 0.0;
  MeasureMotion(plan, probe, base, 1.0, 1.0);
  EXPECT_TRUE(std::isinf(plan.scaleRatioX));
}

TEST(SelectSampleTimes, StepFollowsTheHorizontalDownsampleOnly) {
  struct Case {
    PF_RationalScale x, y;
    A_long threshold;
    A_long step;
  };
  const Case cases[] = {
      {{1, 3}, {1, 1}, 20, 60},
      {{1, 2}, {1, 4}, 20, 40},
      {{1, 1}, {1, 2}, 7, 7},
      // Not a usable factor: the step still advances by at least one unit.
      {{0, 1}, {1, 1}, 20, std::numeric_limits<A_long>::max()},
      {{1, 0}, {1, 1}, 20, 1},
      {{0, 0}, {1, 1}, 20, 1},
      {{-1, 2}, {1, 1}, 20, 1},
      {{4, 1}, {1, 1}, 2, 1},
      {{1, 1}, {1, 1}, 0, 1},
      {{1, 1}, {1, 1}, -30, 1},
      {{1, 0xFFFFFFFFu}, {1, 1}, 1 << 30, std::numeric_limits<A_long>::max()},
  };
  for (const Case& c : cases) {
    PlanFixture f(100.0, c.threshold, 1.0);
    ASSERT_EQ(SelectSampleTimes(f.plan, 100, c.x, c.y,
                                [](A_long, LayerTransform& out) {
                                  out = Still();
                                  return PF_Err_NONE;
                                }),
              PF_Err_NONE);
    EXPECT_EQ(f.plan.timeThreshold, c.step) << c.x.num << "/" << c.x.den;
  }
}

TEST(SelectSampleTimes, ReaderErrorStopsSampling) {
  for (const int failAt : {1, 2, 3, 4}) {
    PlanFixture f(100.0, 20, 0.0);
    int reads = 0;
    const PF_Err err =
        SelectSampleTimes(f.plan, 100, kFull, kFull, [&](A_long, LayerTransform& out) {
          out = Still();
          return ++reads == failAt ? PF_Err{7} : PF_Err_NONE;
        });
    EXPECT_EQ(err, 7) << failAt;
    EXPECT_EQ(reads, failAt);
  }
}

TEST(SelectSampleTimes, TimesNearTheLimitsOfThe32BitRangeEnd) {
  constexpr A_long kMax = std::numeric_limits<A_long>::max();
  constexpr A_long kMin = std::numeric_limits<A_long>::min();
  struct Case {
    A_long current;
    double shutter;
    A_long threshold;
  };
  const Case cases[] = {
      {kMax, 100.0, 20},
      {kMax - 5, 1000.0, 100},
      {kMin + 10, 5.0, 1},
      {0, 1e12, 1 << 28},
      {kMin, 1e12, 1 << 29},
      {kMax, -1e12, 1},
      {0, std::numeric_limits<double>::infinity(), 1 << 28},
      {0, std::numeric_limits<double>::quiet_NaN(), 1},
  };
  for (const Case& c : cases) {
    PlanFixture f(c.shutter, c.threshold, 0.0);
    std::int64_t probes = 0;
    ASSERT_EQ(SelectSampleTimes(f.plan, c.current, kFull, kFull,
                                [&](A_long, LayerTransform& out) {
                                  ++probes;
                                  out = Still();
                                  return PF_Err_NONE;
                                }),
              PF_Err_NONE);
    EXPECT_LT(probes, 200) << c.current << " " << c.shutter;
    for (std::size_t i = 1; i < f.times.size(); ++i) {
      EXPECT_LT(f.times[i - 1], f.times[i]);
    }
    for (const A_long t : f.times) {
      EXPECT_LE(t, c.current);
    }
  }
}

}  // namespace
}  // namespace quillstreak

namespace quillstreak {
namespace {

TEST(SelectSampleTimes, AWindowOfTooManyProbesIsRefusedBeforeAnyRead) {
  for (const double shutter : {static_cast<double>(kMaxProbes), 1e9, 2147483647.0}) {
    PlanFixture f(shutter, 1, 1.0);
    int reads = 0;
    EXPECT_EQ(SelectSampleTimes(f.plan, 0, kFull, kFull,
                                [&](A_long, LayerTransform& out) {
                                  ++reads;
                                  out = Still();
                                  return PF_Err_NONE;
                                }),
              PF_Err_OUT_OF_MEMORY)
        << shutter;
    EXPECT_EQ(reads, 0);
  }
  // Just below the limit it runs.
  PlanFixture f(static_cast<double>(kMaxProbes - 1) * 64.0, 64, 1.0);
  EXPECT_EQ(SelectSampleTimes(f.plan, 0, kFull, kFull,
                              [](A_long, LayerTransform& out) {
                                out = Still();
                                return PF_Err_NONE;
                              }),
            PF_Err_NONE);
}

}  // namespace
}  // namespace quillstreak
