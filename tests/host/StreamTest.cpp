// Keyframe evaluation: interpolation kinds, exact boundaries and rational times.
#include <gtest/gtest.h>

#include "host/Composition.h"

namespace {

using quillstreak::host::Interp;
using quillstreak::host::Stream;

struct StreamCase {
  const char* name;
  Interp interp;
  std::int64_t value;  // evaluated at value / scale
  std::uint32_t scale;
  double expected;
};

// Keyframes at 100 (value 10) and 200 (value 30) in a time scale of 2400.
class StreamEval : public testing::TestWithParam<StreamCase> {};

TEST_P(StreamEval, EvaluatesBetweenTwoKeyframes) {
  const StreamCase& c = GetParam();
  Stream s;
  s.AddKeyframe(100, {10.0, 0, 0, 0}, c.interp);
  s.AddKeyframe(200, {30.0, 0, 0, 0}, c.interp);
  EXPECT_DOUBLE_EQ(s.Evaluate(c.value, c.scale, 2400)[0], c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StreamEval,
    testing::Values(StreamCase{"linear before first", Interp::Linear, 0, 2400, 10.0},
                    StreamCase{"linear at first", Interp::Linear, 100, 2400, 10.0},
                    StreamCase{"linear quarter", Interp::Linear, 125, 2400, 15.0},
                    StreamCase{"linear middle", Interp::Linear, 150, 2400, 20.0},
                    StreamCase{"linear just before last", Interp::Linear, 199, 2400, 29.8},
                    StreamCase{"linear at last", Interp::Linear, 200, 2400, 30.0},
                    StreamCase{"linear after last", Interp::Linear, 5000, 2400, 30.0},
                    // 1/16 s = 150 units of 2400: the middle, reached through another scale.
                    StreamCase{"linear other scale", Interp::Linear, 1, 16, 20.0},
                    // 1999/24000 s is 199.9 units: just before the last keyframe, not at it.
                    StreamCase{"linear finer scale", Interp::Linear, 1999, 24000, 29.98},
                    StreamCase{"hold middle", Interp::Hold, 150, 2400, 10.0},
                    StreamCase{"hold just before next", Interp::Hold, 1999, 24000, 10.0},
                    StreamCase{"hold at next", Interp::Hold, 200, 2400, 30.0},
                    StreamCase{"eased quarter", Interp::Eased, 125, 2400, 10.0 + 20.0 * 0.15625},
                    StreamCase{"eased middle", Interp::Eased, 150, 2400, 20.0},
                    StreamCase{"eased at last", Interp::Eased, 200, 2400, 30.0},
                    StreamCase{"negative time", Interp::Linear, -100, 2400, 10.0}),
    [](const testing::TestParamInfo<StreamCase>& info) {
      std::string n = info.param.name;
      for (char& ch : n)
        if (ch == ' ') ch = '_';
      return n;
    });

TEST(Stream, ConstantWithoutKeyframes) {
  Stream s({1.0, 2.0, 3.0, 0.0});
  EXPECT_EQ(s.Evaluate(123456, 2400, 2400), (quillstreak::host::StreamValue{1.0, 2.0, 3.0, 0.0}));
  EXPECT_FALSE(s.animated());
}

TEST(Stream, KeyframesSortAndReplaceAtEqualTime) {
  Stream s;
  s.AddKeyframe(200, {2.0, 0, 0, 0});
  s.AddKeyframe(100, {1.0, 0, 0, 0});
  s.AddKeyframe(200, {4.0, 0, 0, 0});
  ASSERT_EQ(s.keyframes().size(), 2u);
  EXPECT_EQ(s.keyframes()[0].time, 100);
  EXPECT_DOUBLE_EQ(s.Evaluate(150, 2400, 2400)[0], 2.5);
}

TEST(Stream, InterpolationFollowsTheOutgoingKeyframe) {
  Stream s;
  s.AddKeyframe(0, {0.0, 0, 0, 0}, Interp::Hold);
  s.AddKeyframe(100, {10.0, 0, 0, 0}, Interp::Linear);
  s.AddKeyframe(200, {20.0, 0, 0, 0});
  EXPECT_DOUBLE_EQ(s.Evaluate(50, 2400, 2400)[0], 0.0);
  EXPECT_DOUBLE_EQ(s.Evaluate(150, 2400, 2400)[0], 15.0);
}

TEST(Stream, ExtremeTimesDoNotOverflow) {
  Stream s;
  s.AddKeyframe(-2147483647 - 1, {0.0, 0, 0, 0});
  s.AddKeyframe(2147483647, {1.0, 0, 0, 0});
  const double mid = s.Evaluate(0, 4294967295u, 4294967295u)[0];
  EXPECT_NEAR(mid, 0.5, 1e-9);
  EXPECT_DOUBLE_EQ(s.Evaluate(2147483647, 1, 4294967295u)[0], 1.0);
}

TEST(Stream, ComponentsInterpolateIndependently) {
  Stream s;
  s.AddKeyframe(0, {0.0, 100.0, -4.0, 255.0});
  s.AddKeyframe(10, {10.0, 0.0, 4.0, 0.0});
  EXPECT_EQ(s.Evaluate(5, 1, 1), (quillstreak::host::StreamValue{5.0, 50.0, 0.0, 127.5}));
}

}  // namespace
