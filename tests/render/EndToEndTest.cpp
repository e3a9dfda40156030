// Whole frames through the built module and the substitute host: a small layer stepping right by
// whole pixels on Hold keyframes, rendered frame after frame with the effect's default motion
// search, ramp fill and half opacity. Every expected pixel is worked out by hand from where the
// layer was at the sample times; the copies land on whole pixels, so the host's bilinear
// rendering is exact (at 200 % the outer rows and columns take 3/4 coverage), and the worlds are
// straight ARGB composited with straight-alpha "over".
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "params/ParamIndex.h"
#include "support/EffectHarness.h"
#include "support/Picture.h"
#include "support/Ramp.h"

namespace {

using namespace quillstreak;
using quillstreak::host::Interp;
using quillstreak::test::kRamp;
using quillstreak::test::kRampEnd;
using quillstreak::test::kRampStart;
using quillstreak::test::NewHost;
using quillstreak::test::Picture;

constexpr PF_Pixel kLayerColor{255, 200, 100, 40};  // opaque
constexpr PF_Pixel kBackground{255, 40, 80, 120};

/// One rendered frame and what the motion search should have found for it.
struct Frame {
  A_long time;
  std::vector<A_long> sampleTimes;  // checked out under ids 1..n, the current time under n + 2
  std::vector<A_long> sampleLeft;   // left edge of each copy, in output pixels
  A_long currentLeft;
};

struct Size {
  A_long w = 0, h = 0;
};

/// A layer moving right on Hold keyframes, rendered at a number of frames.
struct Movie {
  const char* name;
  std::vector<std::pair<A_long, double>> keys;  // position x at a time (Hold)
  double y = 0;                                 // position y
  Size source;                                  // source rectangle
  double scale = 100, rotation = 0;             // percent, degrees
  PF_RationalScale ds{1, 1};                    // downsample, both axes
  // Every copy's box in output pixels: its top and size; soft = outer rows and columns are 3/4
  // covered (a 200 % copy whose edge texels straddle the pixel centres).
  A_long top = 0;
  Size copy;
  bool soft = false;
  Size frame{32, 8};  // the composition at the downsample
  std::vector<Frame> frames;
};

/// Round-half-up of v * q / 16, the host's rounding of a coverage of q sixteenths.
A_u_char Cover(unsigned v, unsigned q) { return A_u_char((v * q * 2 + 16) / 32); }

/// Coverage in sixteenths of pixel (i, j) of a copy's box.
unsigned Coverage(const Movie& m, A_long i, A_long j) {
  if (!m.soft) return 16;
  const unsigned cx = (i == 0 || i == m.copy.w - 1) ? 12 : 16;
  const unsigned cy = (j == 0 || j == m.copy.h - 1) ? 12 : 16;
  return cx * cy / 16;
}

/// The effect's output for a frame: the copies earliest first, each in its ramp colour with its
/// own coverage as alpha, in front of the ones before it (straight-alpha over); the trail's alpha
/// halved (truncated); then the layer as it is now, in front.
Picture ExpectedOutput(const Movie& m, const Frame& f) {
  A_long left = f.currentLeft, right = f.currentLeft + m.copy.w;
  for (A_long l : f.sampleLeft) {
    left = std::min(left, l);
    right = std::max(right, l + m.copy.w);
  }
  Picture p(left, m.top, right - left, m.copy.h);
  const std::size_t n = f.sampleLeft.size();
  for (std::size_t k = 0; k < n; ++k) {
    for (A_long j = 0; j < m.copy.h; ++j) {
      for (A_long i = 0; i < m.copy.w; ++i) {
        PF_Pixel c = kRamp[n][k];
        c.alpha = Cover(255, Coverage(m, i, j));
        PF_Pixel& d = p.at(f.sampleLeft[k] + i, m.top + j);
        d = quillstreak::test::Over(c, d);
      }
    }
  }
  for (A_long y = p.top(); y < p.top() + p.height(); ++y) {
    for (A_long x = p.left(); x < p.left() + p.width(); ++x) p.at(x, y).alpha /= 2;
  }
  for (A_long j = 0; j < m.copy.h; ++j) {
    for (A_long i = 0; i < m.copy.w; ++i) {
      PF_Pixel c = kLayerColor;  // a straight colour keeps its value at any coverage
      c.alpha = Cover(255, Coverage(m, i, j));
      PF_Pixel& d = p.at(f.currentLeft + i, m.top + j);
      d = quillstreak::test::Over(c, d);
    }
  }
  return p;
}

/// The composited frame: the effect's output over the opaque background, colour = (c * a +
/// bg * (255 - a)) / 255 rounded to nearest. For example a first copy, (10, 250, 40) at alpha
/// 255 / 2 = 127, over (40, 80, 120): 6390 / 255 = 25.1, 41990 / 255 = 164.7, 20440 / 255 = 80.2
/// give (25, 165, 80).
Picture ExpectedFrame(const Movie& m, const Picture& out) {
  Picture frame(0, 0, m.frame.w, m.frame.h);
  for (A_long y = 0; y < m.frame.h; ++y) {
    for (A_long x = 0; x < m.frame.w; ++x) {
      PF_Pixel p{0, 0, 0, 0};
      if (x >= out.left() && x < out.left() + out.width() && y >= out.top() &&
          y < out.top() + out.height())
        p = out.at(x, y);
      frame.at(x, y) = quillstreak::test::Over(p, kBackground);
    }
  }
  return frame;
}

TEST(EndToEnd, TrailFramesMatchTheLayerHistory) {
  const Movie movies[] = {
      // Full resolution, threshold 1 px, steps of 20 over the 100-unit shutter.
      {.name = "4x4 square stepping right",
       .keys = {{0, 0}, {920, 2}, {960, 5}, {1000, 7}, {1060, 11}, {1100, 14}, {1200, 18}},
       .y = 2,
       .source = {4, 4},
       .top = 2,
       .copy = {4, 4},
       .frames =
           {
               {1000, {900, 920, 960}, {0, 2, 5}, 7},  // 5..9 overlaps the current frame at 7
               {1100, {1000, 1060}, {7, 11}, 14},
               {1200, {1100}, {14}, 18},  // a single copy takes the end colour
               {1300, {}, {}, 18},        // no motion in the window: the layer alone
           }},
      // A 4x2 source at 200 % turned 90 degrees clockwise: a 4x8 box left of the position.
      {.name = "rotated 90 degrees at 200 %",
       .keys = {{0, 4}, {940, 10}, {980, 16}},
       .source = {4, 2},
       .scale = 200,
       .rotation = 90,
       .copy = {4, 8},
       .soft = true,
       .frames = {{1000, {900, 940}, {0, 6}, 12}}},
      // Half resolution: the search steps by 40 and counts half the distance; a 4x4 square is
      // 2x2 at (x / 2, 1).
      {.name = "half resolution",
       .keys = {{0, 0}, {940, 4}, {1000, 8}},
       .y = 2,
       .source = {4, 4},
       .ds = {1, 2},
       .top = 1,
       .copy = {2, 2},
       .frame = {16, 4},
       .frames = {{1000, {900, 940}, {0, 2}, 4}}},
  };
  for (const Movie& m : movies) {
    SCOPED_TRACE(m.name);
    auto host = NewHost();
    host->scene().comp().width = 32;
    host->scene().comp().height = 8;
    host->scene().comp().background = kBackground;
    quillstreak::host::Layer& layer = host->scene().comp().layers.front();
    layer.source = quillstreak::host::LayerSource{
        quillstreak::host::LayerSource::Kind::Rectangle, m.source.w, m.source.h, kLayerColor, {}};
    layer.transform = quillstreak::host::TransformStreams{};
    layer.transform.scale.SetConstant({m.scale, m.scale, 100, 0});
    layer.transform.rotateZ.SetConstant({m.rotation, 0, 0, 0});
    for (const auto& [time, x] : m.keys) {
      layer.transform.position.AddKeyframe(time, {x, m.y, 0, 0}, Interp::Hold);
    }
    host->settings().SetDownsample(m.ds, m.ds);
    host->params().SetFloat(PARAM_MOTION_THRESHOLD, 1.0);
    host->params().SetFloat(PARAM_TIME_THRESHOLD, 20.0);
    host->params().SetFloat(PARAM_SHUTTER_ANGLE, 360.0);
    host->params().SetCheckbox(PARAM_RAMP_FILL_ENABLE, true);
    host->params().SetColor(PARAM_RAMP_START_COLOR, kRampStart);
    host->params().SetColor(PARAM_RAMP_END_COLOR, kRampEnd);
    host->params().SetFloat(PARAM_OPACITY, 50.0);

    for (const Frame& f : m.frames) {
      SCOPED_TRACE("frame at " + std::to_string(f.time));
      const quillstreak::host::FrameResult result = host->RenderFrame(f.time);
      ASSERT_EQ(result.err, PF_Err_NONE) << host->journal().Text();
      std::vector<std::pair<A_long, A_long>> checkouts, expected;
      for (const auto& c : host->frames().layerCheckouts()) checkouts.emplace_back(c.id, c.time);
      for (std::size_t k = 0; k < f.sampleTimes.size(); ++k) {
        expected.emplace_back(A_long(k + 1), f.sampleTimes[k]);
      }
      expected.emplace_back(A_long(f.sampleTimes.size() + 2), f.time);
      EXPECT_EQ(checkouts, expected);

      const Picture out = ExpectedOutput(m, f);
      out.ExpectEqual(host->frames().outputWorld(), "output");
      ExpectedFrame(m, out).ExpectEqual(&result.frame, "frame");
      EXPECT_TRUE(host->accounts().Clear()) << host->accounts().Describe();
    }
  }
}

}  // namespace
