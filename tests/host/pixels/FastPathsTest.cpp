// The fast paths of the pixel services give the same bytes as the plain formulas: four-pixel
// straight-alpha blending with its transparent and opaque shortcuts, layer rendering without
// rotation, and row work shared out on the worker pool (concurrent and nested calls).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "host/pixels/Pixels.h"

namespace quillstreak::host {
namespace {

// Straight-alpha "over" as the formula states it, in 64-bit arithmetic with an explicit
// rounding step: the coverage-weighted mean of the two colours, rounded to nearest (halves up).
PF_Pixel OverReference(PF_Pixel s, PF_Pixel d, unsigned opacity) {
  const std::uint64_t sa = Div255(s.alpha * opacity);
  const std::uint64_t ws = 255 * sa, wd = d.alpha * (255 - sa), w = ws + wd;
  if (w == 0) return {0, 0, 0, 0};
  auto mix = [&](std::uint64_t sc, std::uint64_t dc) {
    const std::uint64_t num = sc * ws + dc * wd;
    return static_cast<A_u_char>(num / w + (2 * (num % w) >= w ? 1 : 0));
  };
  return {static_cast<A_u_char>(Div255(static_cast<unsigned>(w))), mix(s.red, d.red),
          mix(s.green, d.green), mix(s.blue, d.blue)};
}

A_u_char Random(std::mt19937& rng) { return static_cast<A_u_char>(rng()); }

// A pixel of a given coverage class: 0 transparent (with some colour), 1 opaque, 2 partly
// covered, 3 anything.
PF_Pixel RandomPixel(std::mt19937& rng, unsigned kind) {
  PF_Pixel p{Random(rng), Random(rng), Random(rng), Random(rng)};
  if (kind == 0) p.alpha = 0;
  if (kind == 1) p.alpha = 255;
  if (kind == 2) p.alpha = static_cast<A_u_char>(1 + rng() % 254);
  return p;
}

TEST(TransferInFront, FastPathsMatchThePlainFormulaOnRandomWorlds) {
  // Each group of four pixels is of one class or of a class per pixel, in the source and in the
  // destination, so that every shortcut, their mixes within a group and the pixel-by-pixel path
  // are taken; widths that are not multiples of four leave a tail.
  std::mt19937 rng(7);
  auto fill = [&rng](World& w) {
    for (A_long y = 0; y < w.height(); ++y) {
      unsigned kind = 0;
      bool mixed = false;
      for (A_long x = 0; x < w.width(); ++x) {
        if (x % 4 == 0) kind = rng() % 4, mixed = rng() % 3 == 0;
        w.at(x, y) = RandomPixel(rng, mixed ? rng() % 4 : kind);
      }
    }
  };
  for (A_long width : {3, 4, 5, 8, 13, 64, 257}) {
    World src(width, 16), dst(width, 16);
    fill(src);
    fill(dst);
    for (unsigned opacity : {255u, 200u, 0u}) {
      World out = dst;
      TransferInFront(src.def(), {0, 0, width, 16}, 0, 0, static_cast<A_u_char>(opacity), out.def(),
                      2);
      for (A_long y = 0; y < 16; ++y) {
        for (A_long x = 0; x < width; ++x) {
          const PF_Pixel e = OverReference(src.at(x, y), dst.at(x, y), opacity);
          ASSERT_EQ(std::memcmp(&out.at(x, y), &e, 4), 0)
              << "width " << width << " opacity " << opacity << " at " << x << "," << y;
        }
      }
    }
  }
}

TEST(TransferInFront, EveryAlphaAndChannelPairMatchesTheFormula) {
  World src(256, 256), dst(256, 256);
  for (int sa = 0; sa < 256; sa += 5) {
    for (A_long y = 0; y < 256; ++y) {
      for (A_long x = 0; x < 256; ++x) {
        src.at(x, y) = {static_cast<A_u_char>(sa), static_cast<A_u_char>(x), 0,
                        static_cast<A_u_char>(y)};
        dst.at(x, y) = {static_cast<A_u_char>(y), static_cast<A_u_char>(x),
                        static_cast<A_u_char>(255 - x), static_cast<A_u_char>(y)};
      }
    }
    const World before = dst;
    TransferInFront(src.def(), {0, 0, 256, 256}, 0, 0, 255, dst.def(), 1);
    for (A_long y = 0; y < 256; ++y) {
      for (A_long x = 0; x < 256; ++x) {
        const PF_Pixel e = OverReference(src.at(x, y), before.at(x, y), 255);
        ASSERT_EQ(std::memcmp(&dst.at(x, y), &e, 4), 0) << sa << " " << x << "," << y;
        const PF_Pixel plain = StraightOver(src.at(x, y), before.at(x, y), 255);
        ASSERT_EQ(std::memcmp(&plain, &e, 4), 0) << sa << " " << x << "," << y;
      }
    }
  }
}

// Straightforward bilinear resampling as the rendering contract states it (no rotation): pixel
// centre -> source position -> four texels weighted by weight and alpha, colour divided by the
// summed alpha, rounded (straight ARGB; alpha 0 -> transparent black).
World RenderReference(const LayerSource& src, double px, double py, double ax, double ay,
                      double sx100, double sy100, double dsx, double dsy, A_long w, A_long h,
                      A_long ox, A_long oy) {
  World out(w, h, ox, oy);
  const double kx = sx100 / 100.0, ky = sy100 / 100.0;
  auto texel = [&](long long tx, long long ty, double wt, double acc[4]) {
    if (wt == 0.0 || tx < 0 || ty < 0 || tx >= src.width || ty >= src.height) return;
    double cov = 1.0;
    PF_Pixel p = src.color;
    if (src.kind == LayerSource::Kind::Image) {
      p = src.pixels[static_cast<std::size_t>(ty * src.width + tx)];
    }
    const double a = (src.kind == LayerSource::Kind::Image ? p.alpha * wt : 0.0);
    if (src.kind == LayerSource::Kind::Image) {
      acc[0] += a;
      acc[1] += p.red * a;
      acc[2] += p.green * a;
      acc[3] += p.blue * a;
    } else {
      acc[0] += wt * cov;
    }
  };
  auto to_byte = [](double v) -> A_u_char {
    if (!(v > 0.0)) return 0;
    if (v >= 255.0) return 255;
    return static_cast<A_u_char>(v + 0.5);
  };
  for (A_long j = 0; j < h; ++j) {
    for (A_long i = 0; i < w; ++i) {
      const double fx = (static_cast<double>(ox + i) + 0.5) * (1.0 / dsx) - px;
      const double fy = (static_cast<double>(oy + j) + 0.5) * (1.0 / dsy) - py;
      const double sx = ax + fx * (1.0 / kx), sy = ay + fy * (1.0 / ky);
      if (!(sx > -1.0 && sx < src.width + 1.0 && sy > -1.0 && sy < src.height + 1.0)) continue;
      const double ux = sx - 0.5, uy = sy - 0.5;
      const double fxl = std::floor(ux), fyl = std::floor(uy);
      const long long ix = static_cast<long long>(fxl), iy = static_cast<long long>(fyl);
      const double wx = ux - fxl, wy = uy - fyl;
      double acc[4] = {0, 0, 0, 0};
      texel(ix, iy, (1 - wx) * (1 - wy), acc);
      texel(ix + 1, iy, wx * (1 - wy), acc);
      texel(ix, iy + 1, (1 - wx) * wy, acc);
      texel(ix + 1, iy + 1, wx * wy, acc);
      PF_Pixel& o = out.at(i, j);
      if (src.kind == LayerSource::Kind::Image) {
        o = {to_byte(acc[0]), to_byte(acc[1] / acc[0]), to_byte(acc[2] / acc[0]),
             to_byte(acc[3] / acc[0])};
      } else {
        o = {to_byte(src.color.alpha * acc[0]), src.color.red, src.color.green, src.color.blue};
      }
      if (o.alpha == 0) o = {0, 0, 0, 0};
    }
  }
  return out;
}

TEST(RenderLayer, WithoutRotationMatchesPlainBilinearResampling) {
  LayerSource image;
  image.kind = LayerSource::Kind::Image;
  image.width = 9;
  image.height = 6;
  std::mt19937 rng(3);
  for (int i = 0; i < 54; ++i) {
    const A_u_char a = i % 5 == 0 ? 0 : (i % 3 == 0 ? 255 : static_cast<A_u_char>(rng()));
    image.pixels.push_back({a, static_cast<A_u_char>(rng()), static_cast<A_u_char>(rng()),
                            static_cast<A_u_char>(rng())});
  }
  LayerSource rect;
  rect.width = 7;
  rect.height = 5;
  rect.color = {200, 255, 128, 3};
  struct Case {
    double px, py, ax, ay, sx, sy, dsx, dsy;
    A_long ox, oy;
  };
  const Case cases[] = {
      {10, 8, 0, 0, 100, 100, 1, 1, 0, 0},       // integer placement: texel centres
      {10, 8, 4, 3, 100, 100, 1, 1, 3, 2},       // anchor and world origin
      {10.25, 8.5, 0, 0, 100, 100, 1, 1, 0, 0},  // fractional placement
      {-3, -2, 0, 0, 100, 100, 1, 1, -5, -5},    // partly outside the world
      {12, 9, 4.5, 3, 150, 50, 1, 1, 0, 0},      // scaled
      {12, 9, 4, 3, -100, 100, 1, 1, 0, 0},      // mirrored
      {20, 16, 0, 0, 100, 100, 0.5, 0.5, 0, 0},  // half resolution
      {21, 17, 2, 1, 200, 200, 1.0 / 3, 0.25, 1, 1},
  };
  for (const LayerSource* src : {&image, &rect}) {
    for (const Case& c : cases) {
      TransformValues xf;
      xf.position[0] = c.px, xf.position[1] = c.py;
      xf.anchor[0] = c.ax, xf.anchor[1] = c.ay;
      xf.scale[0] = c.sx, xf.scale[1] = c.sy;
      for (unsigned threads : {1u, 3u}) {
        World out(24, 20, c.ox, c.oy);
        RenderLayer(*src, xf, c.dsx, c.dsy, out, threads);
        const World e = RenderReference(*src, c.px, c.py, c.ax, c.ay, c.sx, c.sy, c.dsx, c.dsy, 24,
                                        20, c.ox, c.oy);
        for (A_long y = 0; y < 20; ++y) {
          for (A_long x = 0; x < 24; ++x) {
            ASSERT_EQ(std::memcmp(&out.at(x, y), &e.at(x, y), 4), 0)
                << (src == &image ? "image" : "rectangle") << " case px " << c.px << " sx " << c.sx
                << " ds " << c.dsx << " at " << x << "," << y;
          }
        }
      }
    }
  }
}

PF_Err Invert(void*, A_long, A_long, PF_Pixel* in, PF_Pixel* out) {
  *out = {static_cast<A_u_char>(255 - in->alpha), static_cast<A_u_char>(255 - in->red),
          static_cast<A_u_char>(255 - in->green), static_cast<A_u_char>(255 - in->blue)};
  return PF_Err_NONE;
}

TEST(Iterate8, ConcurrentCallersEachGetTheirOwnWholeResult) {
  std::vector<World> worlds;
  for (int k = 0; k < 6; ++k) worlds.emplace_back(97, 61);
  std::vector<std::thread> callers;
  std::vector<PF_Err> errs(worlds.size(), -1);
  for (std::size_t k = 0; k < worlds.size(); ++k) {
    callers.emplace_back([&, k] {
      for (int round = 0; round < 20; ++round) {  // an even count: back to the start
        errs[k] = Iterate8(nullptr, &worlds[k].def(), nullptr, nullptr, Invert, 0);
        if (errs[k] != PF_Err_NONE) return;
      }
      errs[k] = Iterate8(nullptr, &worlds[k].def(), nullptr, nullptr, Invert, 4);
    });
  }
  for (std::thread& t : callers) t.join();
  for (std::size_t k = 0; k < worlds.size(); ++k) {
    ASSERT_EQ(errs[k], PF_Err_NONE);
    for (A_long y = 0; y < 61; ++y) {
      for (A_long x = 0; x < 97; ++x) ASSERT_EQ(worlds[k].at(x, y).red, 255) << k;
    }
  }
}

// A kernel that runs a whole iterate of its own: the nested call must not wait for workers
// that are busy with the outer one.
struct Nested {
  World inner{33, 17};
};
PF_Err IterateInside(void* refcon, A_long x, A_long y, PF_Pixel*, PF_Pixel* out) {
  if (x == 0) {
    auto* n = static_cast<Nested*>(refcon) + y;
    if (PF_Err err = Iterate8(nullptr, &n->inner.def(), nullptr, nullptr, Invert, 0)) return err;
  }
  out->alpha = 1;
  return PF_Err_NONE;
}

TEST(Iterate8, NestedCallsFinish) {
  World outer(3, 40);
  std::vector<Nested> nested(40);
  ASSERT_EQ(Iterate8(nullptr, &outer.def(), nullptr, nested.data(), IterateInside, 0), PF_Err_NONE);
  for (const Nested& n : nested) EXPECT_EQ(n.inner.at(32, 16).blue, 255);
  EXPECT_EQ(outer.at(2, 39).alpha, 1);
}

}  // namespace
}  // namespace quillstreak::host
