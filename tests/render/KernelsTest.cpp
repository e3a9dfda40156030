// Ramp colours and the two pixel kernels, on plain buffers.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "render/Kernels.h"
#include "render/TrailPasses.h"

namespace quillstreak {
namespace {

struct Rgb {
  int r, g, b;
};

std::vector<Rgb> Ramp(double n, Rgb start, Rgb end, std::size_t count) {
  TrailPlan plan{};
  plan.sampleCount = n;
  plan.rampStartColor = {77, static_cast<A_u_char>(start.r), static_cast<A_u_char>(start.g),
                         static_cast<A_u_char>(start.b)};
  plan.rampEndColor = {99, static_cast<A_u_char>(end.r), static_cast<A_u_char>(end.g),
                       static_cast<A_u_char>(end.b)};
  // One entry more than `count`, which the ramp must leave as it is.
  std::vector<PF_Pixel> colors(count + 1, PF_Pixel{0, 0, 0, 0});
  colors[count] = PF_Pixel{1, 2, 3, 4};
  BuildRampColors(plan, colors.data(), count);
  EXPECT_EQ(colors[count].red + colors[count].alpha, 3) << "nothing written past the list";
  colors.pop_back();
  std::vector<Rgb> out;
  for (const PF_Pixel& p : colors) {
    EXPECT_EQ(p.alpha, 0) << "alpha bytes stay 0";
    out.push_back({p.red, p.green, p.blue});
  }
  return out;
}

void ExpectRamp(const std::vector<Rgb>& got, const std::vector<Rgb>& want, const char* name) {
  ASSERT_EQ(got.size(), want.size()) << name;
  for (std::size_t k = 0; k < got.size(); ++k) {
    EXPECT_EQ(got[k].r, want[k].r) << name << " entry " << k;
    EXPECT_EQ(got[k].g, want[k].g) << name << " entry " << k;
    EXPECT_EQ(got[k].b, want[k].b) << name << " entry " << k;
  }
}

TEST(BuildRampColors, WorkedRows) {
  ExpectRamp(Ramp(1, {12, 34, 56}, {0, 0, 255}, 1), {{0, 0, 255}}, "n=1");
  ExpectRamp(Ramp(2, {255, 0, 0}, {0, 0, 255}, 2), {{0, 0, 255}, {127, 0, 127}}, "n=2");
  ExpectRamp(Ramp(3, {255, 255, 255}, {0, 0, 0}, 3), {{0, 0, 0}, {85, 85, 85}, {170, 170, 170}},
             "n=3");
  ExpectRamp(Ramp(4, {255, 0, 0}, {0, 0, 255}, 4),
             {{0, 0, 255}, {63, 0, 191}, {127, 0, 127}, {191, 0, 63}}, "n=4");
  ExpectRamp(Ramp(7, {200, 100, 50}, {10, 20, 30}, 7),
             {{10, 20, 30},
              {37, 31, 32},
              {64, 42, 35},
              {91, 54, 38},
              {118, 65, 41},
              {145, 77, 44},
              {172, 88, 47}},
             "n=7");
}

TEST(BuildRampColors, EdgeCases) {
  // No samples: nothing written.
  ExpectRamp(Ramp(0, {255, 255, 255}, {1, 2, 3}, 2), {{0, 0, 0}, {0, 0, 0}}, "n=0");
  ExpectRamp(Ramp(-3, {255, 255, 255}, {1, 2, 3}, 1), {{0, 0, 0}}, "n<0");
  ExpectRamp(Ramp(std::numeric_limits<double>::quiet_NaN(), {255, 255, 255}, {1, 2, 3}, 1),
             {{0, 0, 0}}, "n=NaN");
  // Equal colours: every entry is that colour.
  ExpectRamp(Ramp(3, {9, 8, 7}, {9, 8, 7}, 3), {{9, 8, 7}, {9, 8, 7}, {9, 8, 7}}, "equal");
  // A start channel below the end channel falls, truncated toward zero.
  ExpectRamp(Ramp(3, {0, 0, 0}, {100, 200, 10}, 3), {{100, 200, 10}, {66, 133, 6}, {33, 66, 3}},
             "falling");
  // Never more entries than the list holds, even for a count that is not whole.
  ExpectRamp(Ramp(2.5, {255, 255, 255}, {0, 0, 0}, 2), {{0, 0, 0}, {102, 102, 102}}, "n=2.5");
}

TEST(ColorFillKernel, ReplacesColourAndKeepsAlpha) {
  KernelRefcon refcon{{200, 10, 20, 30}, 0.0};
  const std::array<PF_Pixel, 3> inputs = {{{0, 255, 255, 255}, {128, 1, 2, 3}, {255, 0, 0, 0}}};
  for (const PF_Pixel& input : inputs) {
    PF_Pixel in = input;
    PF_Pixel out{1, 1, 1, 1};
    EXPECT_EQ(ColorFillKernel(&refcon, 0, 0, &in, &out), PF_Err_NONE);
    EXPECT_EQ(out.alpha, input.alpha);
    EXPECT_EQ(out.red, 10);
    EXPECT_EQ(out.green, 20);
    EXPECT_EQ(out.blue, 30);
  }
  // In place, as the compositor runs it.
  PF_Pixel pixel{0, 9, 9, 9};
  ColorFillKernel(&refcon, 5, 6, &pixel, &pixel);
  EXPECT_EQ(pixel.alpha, 0);
  EXPECT_EQ(pixel.red, 10);
}

TEST(OpacityKernel, ScalesAlphaOnly) {
  struct Case {
    A_u_char alpha;
    double opacity;
    A_u_char expected;
  };
  const Case cases[] = {
      {255, 0.5, 127},
      {200, 0.01, 2},
      {1, 0.99, 0},
      {255, 1.0, 255},
      {17, 1.0, 17},
      {255, 0.0, 0},
      {0, 1.0, 0},
      {128, 2.0, 255},
      {128, -1.0, 0},
      {200, 1e300, 255},
      {200, std::numeric_limits<double>::quiet_NaN(), 0},
      {200, std::numeric_limits<double>::infinity(), 255},
      {200, -std::numeric_limits<double>::infinity(), 0},
  };
  for (const Case& c : cases) {
    KernelRefcon refcon{{0, 0, 0, 0}, c.opacity};
    PF_Pixel pixel{c.alpha, 11, 22, 33};
    EXPECT_EQ(OpacityKernel(&refcon, 0, 0, &pixel, &pixel), PF_Err_NONE);
    EXPECT_EQ(pixel.alpha, c.expected) << int{c.alpha} << " x " << c.opacity;
    EXPECT_EQ(pixel.red, 11);
    EXPECT_EQ(pixel.green, 22);
    EXPECT_EQ(pixel.blue, 33);
  }
}

TEST(OpacityKernel, TruncatesEveryAlphaAndCopiesIntoAnotherPixel) {
  for (const double opacity : {0.0, 0.001, 0.3, 0.5, 0.999, 1.0}) {
    KernelRefcon refcon{{0, 0, 0, 0}, opacity};
    for (int alpha = 0; alpha < 256; ++alpha) {
      PF_Pixel in{static_cast<A_u_char>(alpha), 1, 2, 3};
      PF_Pixel out{9, 9, 9, 9};
      EXPECT_EQ(OpacityKernel(&refcon, 0, 0, &in, &out), PF_Err_NONE);
      EXPECT_EQ(out.alpha, static_cast<int>(alpha * opacity)) << alpha << " x " << opacity;
      EXPECT_EQ(out.red + out.green * 10 + out.blue * 100, 321);
      EXPECT_EQ(in.alpha, alpha);
    }
  }
}

TEST(Kernels, NullRefconLeavesThePixelAlone) {
  PF_Pixel pixel{100, 1, 2, 3};
  EXPECT_EQ(OpacityKernel(nullptr, 0, 0, &pixel, &pixel), PF_Err_NONE);
  EXPECT_EQ(ColorFillKernel(nullptr, 0, 0, &pixel, &pixel), PF_Err_NONE);
  EXPECT_EQ(pixel.alpha, 100);
  EXPECT_EQ(pixel.red, 1);
  EXPECT_EQ(pixel.green, 2);
  EXPECT_EQ(pixel.blue, 3);
}

TEST(TrailPasses, RampBeforeSolidAndOpacityOnlyWhenItChangesSomething) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    A_u_char ramp, solid;
    double opacity;
    bool rampPerCopy, solidFill, opacityPass;
  } cases[] = {
      {1, 1, 1.0, true, false, false},  // the ramp wins over the solid colour
      {0, 1, 0.5, false, true, true},
      {2, 1, 1.0, false, false, false},  // a checkbox byte other than 0 or 1 draws neither
      {0, 0, nan, false, false, true},   // NaN is not 1
      {0, 2, 0.999, false, false, true},
  };
  for (const auto& c : cases) {
    TrailPlan plan{};
    plan.rampFillEnabled = c.ramp;
    plan.solidFillEnabled = c.solid;
    plan.opacity = c.opacity;
    const TrailPasses passes = ChoosePasses(plan);
    EXPECT_EQ(passes.rampPerCopy, c.rampPerCopy) << int(c.ramp) << " " << int(c.solid);
    EXPECT_EQ(passes.solidFill, c.solidFill) << int(c.ramp) << " " << int(c.solid);
    EXPECT_EQ(passes.opacity, c.opacityPass) << c.opacity;
  }
}

}  // namespace
}  // namespace quillstreak
