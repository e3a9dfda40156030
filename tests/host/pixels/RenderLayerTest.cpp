// Layer bounds and layer rendering: exact placements, quarter turns, downsampling, degenerate
// input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "host/pixels/Pixels.h"

namespace quillstreak::host {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

LayerSource Image4x4() {
  LayerSource s;
  s.kind = LayerSource::Kind::Image;
  s.width = s.height = 4;
  for (int i = 0; i < 16; ++i) {
    s.pixels.push_back({static_cast<A_u_char>(i == 5 ? 128 : 255), static_cast<A_u_char>(i * 10),
                        static_cast<A_u_char>(255 - i), 7});
  }
  return s;
}

TransformValues Xf(double px, double py, double ax = 0, double ay = 0, double rot = 0) {
  TransformValues xf;
  xf.position[0] = px, xf.position[1] = py;
  xf.anchor[0] = ax, xf.anchor[1] = ay;
  xf.rotateZ = rot;
  return xf;
}

void ExpectPixel(const World& w, A_long x, A_long y, PF_Pixel e) {
  const PF_Pixel& p = w.at(x, y);
  EXPECT_TRUE(std::memcmp(&p, &e, 4) == 0)
      << "at " << x << "," << y << ": " << int(p.alpha) << " " << int(p.red) << " " << int(p.green)
      << " " << int(p.blue) << " expected " << int(e.alpha) << " " << int(e.red) << " "
      << int(e.green) << " " << int(e.blue);
}

TEST(LayerBounds, Boxes) {
  LayerSource r4;
  r4.width = r4.height = 4;
  LayerSource r42 = r4;
  r42.height = 2;
  auto with = [](TransformValues xf, auto edit) {
    edit(xf);
    return xf;
  };
  struct Case {
    const LayerSource* src;
    TransformValues xf;
    double dsx, dsy;
    PF_LRect expected;
  };
  const TransformValues id;
  const Case cases[] = {
      {&r4, id, 1, 1, {0, 0, 4, 4}},
      {&r4, Xf(10.5, 3.25), 1, 1, {10, 3, 15, 8}},
      {&r4, Xf(10, 10, 2, 2), 1, 1, {8, 8, 12, 12}},
      {&r4, with(id, [](auto& x) { x.scale[0] = 200; }), 1, 1, {0, 0, 8, 4}},
      {&r4, with(id, [](auto& x) { x.scale[0] = -100; }), 1, 1, {-4, 0, 0, 4}},
      {&r42, Xf(0, 0, 0, 0, 90), 1, 1, {-2, 0, 0, 4}},
      {&r4, with(id, [](auto& x) { x.rotateY = 60; }), 1, 1, {0, 0, 2, 4}},
      {&r4, with(id, [](auto& x) { x.rotateX = -60; }), 1, 1, {0, 0, 4, 2}},
      {&r4, Xf(0, 0, 2, 2, 45), 1, 1, {-3, -3, 3, 3}},
      // 0.2 - 0.4 * 3 comes out a hair below -1: still -1.
      {&r4,
       with(Xf(0.2, 0.2, 0.4, 0.4), [](auto& x) { x.scale[0] = x.scale[1] = 300; }),
       1,
       1,
       {-1, -1, 11, 11}},
      {&r4, Xf(4, 2), 0.5, 0.5, {2, 1, 4, 3}},
      {&r4, Xf(4, 2), 0.5, 0.25, {2, 0, 4, 2}},
      // Degenerate: zero scale, quarter turn about y, non-finite values, bad downsample, far away.
      {&r4, with(id, [](auto& x) { x.scale[1] = 0; }), 1, 1, {0, 0, 0, 0}},
      {&r4, with(id, [](auto& x) { x.rotateY = 90; }), 1, 1, {0, 0, 0, 0}},
      {&r4, with(id, [](auto& x) { x.anchor[0] = kNaN; }), 1, 1, {0, 0, 0, 0}},
      {&r4, with(id, [](auto& x) { x.position[1] = kInf; }), 1, 1, {0, 0, 0, 0}},
      {&r4, with(id, [](auto& x) { x.rotateY = -kInf; }), 1, 1, {0, 0, 0, 0}},
      {&r4, with(id, [](auto& x) { x.scale[0] = 1e300; }), 1, 1, {0, 0, 0, 0}},
      {&r4, Xf(40000, 0), 1, 1, {0, 0, 0, 0}},
      {&r4, id, 0, 1, {0, 0, 0, 0}},
      {&r4, id, 1, -1, {0, 0, 0, 0}},
      {&r4, id, kNaN, 1, {0, 0, 0, 0}},
      {&r4, Xf(1, 1), 1e9, 1e9, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    const PF_LRect b = LayerBounds(*c.src, c.xf, c.dsx, c.dsy);
    EXPECT_EQ(b.left, c.expected.left);
    EXPECT_EQ(b.top, c.expected.top);
    EXPECT_EQ(b.right, c.expected.right);
    EXPECT_EQ(b.bottom, c.expected.bottom);
  }
  LayerSource none;
  EXPECT_EQ(LayerBounds(none, id, 1, 1).right, 0);
}

TEST(RenderLayer, IntegerTranslationReproducesTheSource) {
  const LayerSource img = Image4x4();
  LayerSource rect;
  rect.width = rect.height = 4;
  rect.color = {128, 255, 100, 0};
  for (A_long origin : {0, 2}) {
    World out(10, 8, origin, origin - 1), shape(10, 8, origin, origin - 1);
    out.at(0, 0) = {9, 9, 9, 9};                  // stale content is cleared
    RenderLayer(img, Xf(7, 5, 2, 2), 1, 1, out);  // top-left at comp (5, 3)
    RenderLayer(rect, Xf(5, 3), 1, 1, shape, 2);
    for (A_long y = 0; y < 8; ++y) {
      for (A_long x = 0; x < 10; ++x) {
        const A_long sx = x + origin - 5, sy = y + origin - 1 - 3;
        const bool in = sx >= 0 && sx < 4 && sy >= 0 && sy < 4;
        ExpectPixel(out, x, y, in ? img.pixels[sy * 4 + sx] : PF_Pixel{});
        ExpectPixel(shape, x, y, in ? rect.color : PF_Pixel{});
      }
    }
  }
}

TEST(RenderLayer, QuarterTurnsAreExactAndClockwise) {
  const LayerSource img = Image4x4();
  for (double deg : {90.0, 180.0, -90.0, 450.0}) {
    World out(4, 4);
    RenderLayer(img, Xf(2, 2, 2, 2, deg), 1, 1, out);
    for (A_long j = 0; j < 4; ++j) {
      for (A_long i = 0; i < 4; ++i) {
        A_long sx = j, sy = 3 - i;  // clockwise: the top-left corner goes to the top-right
        if (deg == 180) sx = 3 - i, sy = 3 - j;
        if (deg == -90) sx = 3 - j, sy = i;
        ExpectPixel(out, i, j, img.pixels[sy * 4 + sx]);
      }
    }
  }
}

TEST(RenderLayer, ResampledEdgesKeepTheColourOfWhatCoversThem) {
  // Half a pixel between an opaque red texel and a transparent green one, and between a red
  // texel of alpha 100 and an opaque blue one: the colour is weighted by alpha, so the
  // transparent texel's colour does not show, and the result is stored straight.
  LayerSource s;
  s.kind = LayerSource::Kind::Image;
  s.width = 4, s.height = 1;
  s.pixels = {{0, 0, 255, 0}, {255, 200, 0, 0}, {100, 200, 0, 0}, {255, 0, 0, 250}};
  World out(5, 1);
  RenderLayer(s, Xf(0.5, 0), 1, 1, out);  // pixel i samples halfway between texels i-1 and i
  ExpectPixel(out, 0, 0, PF_Pixel{});
  ExpectPixel(out, 1, 0, PF_Pixel{128, 200, 0, 0});  // alpha 127.5 -> 128
  // alpha (255 + 100) / 2 = 177.5 -> 178; red 200 * 355 / 2 / 177.5 = 200
  ExpectPixel(out, 2, 0, PF_Pixel{178, 200, 0, 0});
  // alpha 177.5 -> 178; red 200 * 50 / 177.5 = 56.3 -> 56, blue 250 * 127.5 / 177.5 = 179.6 -> 180
  ExpectPixel(out, 3, 0, PF_Pixel{178, 56, 0, 180});
  ExpectPixel(out, 4, 0, PF_Pixel{128, 0, 0, 250});
}

TEST(RenderLayer, DownsampleHalvesTheBox) {
  LayerSource rect;
  rect.width = 8, rect.height = 6;
  World out(8, 6);
  RenderLayer(rect, Xf(4, 2), 0.5, 0.5, out);  // full-size box (4,2)-(12,8), half (2,1)-(6,4)
  for (A_long y = 0; y < 6; ++y)
    for (A_long x = 0; x < 8; ++x)
      EXPECT_EQ(out.at(x, y).alpha, (x >= 2 && x < 6 && y >= 1 && y < 4) ? 255 : 0)
          << x << "," << y;
}

TEST(RenderLayer, EllipseIsSymmetricAndAntiAliased) {
  LayerSource e;
  e.kind = LayerSource::Kind::Ellipse;
  e.width = 9, e.height = 7;
  World one(9, 7), three(9, 7);
  RenderLayer(e, {}, 1, 1, one, 1);
  RenderLayer(e, {}, 1, 1, three, 3);
  EXPECT_EQ(std::memcmp(one.def().data, three.def().data, one.bytes()), 0);
  EXPECT_EQ(one.at(4, 3).alpha, 255);
  EXPECT_EQ(one.at(0, 0).alpha, 0);
  bool partial = false;
  for (A_long y = 0; y < 7; ++y) {
    for (A_long x = 0; x < 9; ++x) {
      const A_u_char a = one.at(x, y).alpha;
      EXPECT_EQ(a, one.at(8 - x, y).alpha);
      EXPECT_EQ(a, one.at(x, 6 - y).alpha);
      EXPECT_EQ(one.at(x, y).red, a > 0 ? 255 : 0);  // white, straight; alpha 0 is all zero
      partial = partial || (a > 0 && a < 255);
    }
  }
  EXPECT_TRUE(partial);
}

TEST(RenderLayer, DegenerateInputLeavesTheWorldTransparent) {
  LayerSource rect;
  rect.width = rect.height = 4;
  LayerSource bad_image = Image4x4();
  bad_image.pixels.pop_back();
  LayerSource huge;
  huge.width = huge.height = 2000000000;
  TransformValues nan_xf;
  nan_xf.scale[0] = kNaN;
  TransformValues tiny;  // 2e9 px at 0.001% is 20000 px: drawn, quickly
  tiny.scale[0] = tiny.scale[1] = 0.001;
  World w(4, 4);
  for (auto [src, xf, ds] :
       {std::tuple{&rect, nan_xf, 1.0}, std::tuple{&rect, TransformValues{}, 0.0},
        std::tuple{&bad_image, TransformValues{}, 1.0},
        std::tuple{&huge, TransformValues{}, 1.0}}) {
    FillWorld(w.def(), &rect.color, nullptr);
    RenderLayer(*src, xf, ds, ds, w);
    for (A_long y = 0; y < 4; ++y)
      for (A_long x = 0; x < 4; ++x) ExpectPixel(w, x, y, PF_Pixel{});
  }
  RenderLayer(huge, tiny, 1, 1, w);
  EXPECT_EQ(w.at(3, 3).alpha, 255);
  World empty;
  RenderLayer(rect, {}, 1, 1, empty);
}

}  // namespace
}  // namespace quillstreak::host
