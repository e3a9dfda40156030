// Plan record helpers: checkout ids, rectangle growth, the sample list's release.
#include <gtest/gtest.h>

#include "plan/SmartPreRender.h"
#include "plan/TrailPlan.h"

namespace quillstreak {
namespace {

TEST(TrailPlan, CurrentFrameIsCheckoutIdCountPlusTwo) {
  EXPECT_EQ(CurrentFrameCheckoutId(0.0), 2);
  EXPECT_EQ(CurrentFrameCheckoutId(2.0), 4);
  EXPECT_EQ(CurrentFrameCheckoutId(3.0), 5);
  EXPECT_EQ(CurrentFrameCheckoutId(1e300), 2147483647);
}

TEST(TrailPlan, DestroyingTheSampleListLeavesThePlanWithoutOne) {
  TrailPlan plan{};
  plan.sampleTimes = new SampleTimeList{1, 2, 3};
  DestroySampleTimes(plan);
  EXPECT_EQ(plan.sampleTimes, nullptr);
  DestroySampleTimes(plan);  // a second time is harmless
  EXPECT_EQ(plan.sampleTimes, nullptr);
}

TEST(GrowRect, FollowsTheEmptyAndUnionRules) {
  struct Case {
    const char* name;
    PF_LRect into;
    std::vector<PF_LRect> by;
    PF_LRect expected;
  };
  const Case cases[] = {
      {"empty takes the first, then the union",
       {0, 0, 0, 0},
       {{10, 10, 50, 50}, {30, 5, 80, 40}},
       {10, 5, 80, 50}},
      {"an empty checkout changes nothing", {10, 10, 50, 50}, {{60, 60, 60, 90}}, {10, 10, 50, 50}},
      {"nor does one without rows", {10, 10, 50, 50}, {{60, 60, 90, 60}}, {10, 10, 50, 50}},
      {"an entry without rows is replaced", {10, 30, 50, 30}, {{60, 60, 90, 70}}, {60, 60, 90, 70}},
      {"empty over empty is copied, then replaced whole",
       {0, 0, 0, 0},
       {{20, 20, 20, 40}, {1, 2, 3, 4}},
       {1, 2, 3, 4}},
      {"an inverted entry counts as empty", {50, 50, 10, 10}, {{0, 0, 5, 5}}, {0, 0, 5, 5}},
      {"negative coordinates", {-10, -10, 0, 0}, {{-20, 5, -15, 30}}, {-20, -10, 0, 30}},
  };
  for (const Case& c : cases) {
    PF_LRect r = c.into;
    for (const PF_LRect& by : c.by) GrowRect(r, by);
    EXPECT_EQ(r.left, c.expected.left) << c.name;
    EXPECT_EQ(r.top, c.expected.top) << c.name;
    EXPECT_EQ(r.right, c.expected.right) << c.name;
    EXPECT_EQ(r.bottom, c.expected.bottom) << c.name;
  }
}

}  // namespace
}  // namespace quillstreak
