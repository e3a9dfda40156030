// The fast paths of the pixel services give the bytes of the plain formulas: four-pixel
// straight-alpha blending with its shortcuts, four-pixel premultiplied blending, layer rendering
// in single precision (against the double-precision formula, and vector against portable code),
// and row work shared out on the worker pool (concurrent and nested calls).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "PixelsCommon.h"
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

// Premultiplied "over" on the stored values, in 64-bit arithmetic: s.c * o + d.c * (1 - sa),
// rounded to nearest and clamped to 255.
PF_Pixel PremulReference(PF_Pixel s, PF_Pixel d, unsigned opacity) {
  auto div255 = [](std::uint64_t v) { return v / 255 + (2 * (v % 255) >= 255 ? 1 : 0); };
  const std::uint64_t sa = div255(s.alpha * opacity), keep = 255 - sa;
  auto mix = [&](std::uint64_t sc, std::uint64_t dc) {
    return static_cast<A_u_char>(std::min<std::uint64_t>(255, div255(sc * opacity + dc * keep)));
  };
  return {static_cast<A_u_char>(sa + div255(d.alpha * keep)), mix(s.red, d.red),
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
    for (unsigned opacity : {255u, 200u, 128u, 1u, 0u}) {
      World out = dst, premul = dst;
      const auto o = static_cast<A_u_char>(opacity);
      TransferInFront(src.def(), {0, 0, width, 16}, 0, 0, o, out.def(), 2);
      TransferInFrontPremul(src.def(), {0, 0, width, 16}, 0, 0, o, premul.def(), 2);
      for (A_long y = 0; y < 16; ++y) {
        for (A_long x = 0; x < width; ++x) {
          const PF_Pixel e = OverReference(src.at(x, y), dst.at(x, y), opacity);
          ASSERT_EQ(std::memcmp(&out.at(x, y), &e, 4), 0)
              << "width " << width << " opacity " << opacity << " at " << x << "," << y;
          const PF_Pixel p = PremulReference(src.at(x, y), dst.at(x, y), opacity);
          ASSERT_EQ(std::memcmp(&premul.at(x, y), &p, 4), 0)
              << "premultiplied: width " << width << " opacity " << opacity << " at " << x << ","
              << y;
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

// Bilinear resampling as the rendering contract states it, in double precision: pixel centre ->
// source position through the inverse transform -> four texels weighted by weight and alpha,
// colour divided by the summed alpha, rounded (straight ARGB; alpha 0 -> transparent black).
// Shapes: the colour's alpha times the summed coverage (1 inside a rectangle).
World RenderReference(const LayerSource& src, const TransformValues& xf, double dsx, double dsy,
                      A_long w, A_long h, A_long ox, A_long oy) {
  World out(w, h, ox, oy);
  double turn = std::fmod(xf.rotateZ, 360.0);
  if (turn < 0) turn += 360.0;
  const double rad = turn * (3.14159265358979323846 / 180.0);
  const double c = turn == 0 ? 1.0 : std::cos(rad), s = turn == 0 ? 0.0 : std::sin(rad);
  const double kx = xf.scale[0] / 100.0, ky = xf.scale[1] / 100.0;
  const bool image = src.kind == LayerSource::Kind::Image;
  auto texel = [&](long long tx, long long ty, double wt, double acc[4]) {
    if (tx < 0 || ty < 0 || tx >= src.width || ty >= src.height) return;
    const PF_Pixel p =
        image ? src.pixels[static_cast<std::size_t>(ty * src.width + tx)] : src.color;
    const double a = image ? p.alpha * wt : wt;
    acc[0] += a;
    acc[1] += p.red * a;
    acc[2] += p.green * a;
    acc[3] += p.blue * a;
  };
  auto to_byte = [](double v) -> A_u_char {
    if (!(v > 0.0)) return 0;
    if (v >= 255.0) return 255;
    return static_cast<A_u_char>(v + 0.5);
  };
  for (A_long j = 0; j < h; ++j) {
    for (A_long i = 0; i < w; ++i) {
      const double fx = (static_cast<double>(ox + i) + 0.5) * (1.0 / dsx) - xf.position[0];
      const double fy = (static_cast<double>(oy + j) + 0.5) * (1.0 / dsy) - xf.position[1];
      const double sx = xf.anchor[0] + (c * fx + s * fy) * (1.0 / kx);
      const double sy = xf.anchor[1] + (c * fy - s * fx) * (1.0 / ky);
      if (!(sx > -1.0 && sx < src.width + 1.0 && sy > -1.0 && sy < src.height + 1.0)) continue;
      const double ux = sx - 0.5, uy = sy - 0.5;
      const long long ix = static_cast<long long>(std::floor(ux));
      const long long iy = static_cast<long long>(std::floor(uy));
      const double wx = ux - std::floor(ux), wy = uy - std::floor(uy);
      double acc[4] = {0, 0, 0, 0};
      texel(ix, iy, (1 - wx) * (1 - wy), acc);
      texel(ix + 1, iy, wx * (1 - wy), acc);
      texel(ix, iy + 1, (1 - wx) * wy, acc);
      texel(ix + 1, iy + 1, wx * wy, acc);
      PF_Pixel& o = out.at(i, j);
      if (image) {
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

LayerSource RandomImage(std::mt19937& rng, A_long w, A_long h) {
  LayerSource image;
  image.kind = LayerSource::Kind::Image;
  image.width = w;
  image.height = h;
  for (A_long i = 0; i < w * h; ++i) {
    // Transparent, opaque and partly covered texels, some of alpha 1 or 2 (where the colour
    // divides by a small sum).
    const unsigned kind = rng() % 6;
    const A_u_char a = kind == 0   ? 0
                       : kind == 1 ? 255
                       : kind == 2 ? static_cast<A_u_char>(1 + rng() % 2)
                                   : static_cast<A_u_char>(rng());
    image.pixels.push_back({a, static_cast<A_u_char>(rng()), static_cast<A_u_char>(rng()),
                            static_cast<A_u_char>(rng())});
  }
  return image;
}

struct LayerCase {
  double px, py, ax, ay, sx, sy, rot, dsx, dsy;
  A_long ox, oy;
  TransformValues Xf() const {
    TransformValues xf;
    xf.position[0] = px, xf.position[1] = py;
    xf.anchor[0] = ax, xf.anchor[1] = ay;
    xf.scale[0] = sx, xf.scale[1] = sy;
    xf.rotateZ = rot;
    return xf;
  }
};

// Transforms that take every path: texel copies, translations (columns a texel apart with one
// weight, edges and all), scaled, mirrored, rotated, downsampled, partly outside the world.
std::vector<LayerCase> LayerCases(std::mt19937& rng) {
  std::vector<LayerCase> cases = {
      {20, 16, 0, 0, 100, 100, 0, 1, 1, 0, 0},            // integer placement: texel centres
      {20, 16, 4, 3, 100, 100, 0, 1, 1, 3, 2},            // anchor and world origin
      {20.25, 16.5, 0, 0, 100, 100, 0, 1, 1, 0, 0},       // fractional placement
      {17, 9.7, 0, 0, 100, 150, 0, 1, 1, 0, 0},           // columns a texel apart, rows scaled
      {-3, -2, 0, 0, 100, 100, 0, 1, 1, -5, -5},          // partly outside the world
      {22, 19, 4.5, 3, 150, 50, 0, 1, 1, 0, 0},           // scaled
      {22, 19, 4, 3, -100, 100, 0, 1, 1, 0, 0},           // mirrored
      {40, 32, 0, 0, 100, 100, 0, 0.5, 0.5, 0, 0},        // half resolution
      {41, 37, 2, 1, 200, 200, 0, 1.0 / 3, 0.25, 1, 1},   // downsampled unevenly
      {24, 20, 20, 15, 100, 100, 90, 1, 1, 0, 0},         // quarter turn: texel centres
      {24, 20, 20.5, 15, 100, 100, 10, 1, 1, 0, 0},       // rotated
      {24.3, 19.1, 20, 15, 130, 80, -33.3, 1, 1, 0, 0},   // rotated and scaled
      {48, 40, 20, 15, 100, -100, 200, 0.5, 0.5, -2, 3},  // mirrored, rotated, half res
      {20.5, 16.5, 20, 15, 1e-6, 1e-6, 30, 1, 1, 0, 0}};  // a texel's worth of picture
  std::uniform_real_distribution<double> pos(-10, 60), unit(0, 1);
  for (int k = 0; k < 24; ++k) {
    const double scale = 40 + 260 * unit(rng);
    const double ds = k % 3 == 0 ? 0.5 : 1.0;
    const double rot = k % 4 == 0 ? 0.0 : 360 * unit(rng);
    cases.push_back({pos(rng), pos(rng), 40 * unit(rng), 30 * unit(rng),
                     k % 5 == 0 ? -scale : scale, scale * (0.5 + unit(rng)), rot, ds, ds,
                     static_cast<A_long>(rng() % 7) - 3, static_cast<A_long>(rng() % 7) - 3});
  }
  return cases;
}

TEST(RenderLayer, ImagesAreWithinOneLevelOfTheDoublePrecisionFormula) {
  // Exact where every pixel centre is a texel centre (cases 0, 1 and 9) and for shapes (drawn in
  // double precision); elsewhere a byte may differ by one level where the formula lands on or
  // within a hair of a half, which is rare: a systematic rounding error would show as many
  // differences.
  std::mt19937 rng(3);
  const LayerSource image = RandomImage(rng, 40, 30);
  LayerSource rect_source;
  rect_source.width = 37;
  rect_source.height = 25;
  rect_source.color = {200, 255, 128, 3};
  const LayerSource& rect = rect_source;
  long long compared = 0, differing = 0;
  const std::vector<LayerCase> cases = LayerCases(rng);
  for (const LayerCase& c : cases) {
    const std::size_t k = static_cast<std::size_t>(&c - cases.data());
    const bool whole = k == 0 || k == 1 || k == 9;
    for (const LayerSource* src : {&image, &rect}) {
      World out(56, 44, c.ox, c.oy);
      RenderLayer(*src, c.Xf(), c.dsx, c.dsy, out, 3);
      const World e = RenderReference(*src, c.Xf(), c.dsx, c.dsy, 56, 44, c.ox, c.oy);
      for (A_long y = 0; y < 44; ++y) {
        for (A_long x = 0; x < 56; ++x) {
          const auto* got = reinterpret_cast<const A_u_char*>(&out.at(x, y));
          const auto* want = reinterpret_cast<const A_u_char*>(&e.at(x, y));
          // Where one alpha is 0 and the other 1, the colours differ as they may: the colour of
          // a transparent pixel counts for nothing (it is stored as black).
          const bool both_covered = got[0] != 0 && want[0] != 0;
          for (int ch = 0; ch < (both_covered ? 4 : 1); ++ch) {
            const int d = std::abs(int{got[ch]} - int{want[ch]});
            ASSERT_LE(d, (whole || src == &rect) ? 0 : 1)
                << (src == &image ? "image" : "rectangle") << " case " << k << " at " << x << ","
                << y << " channel " << ch;
            compared += want[0] != 0 ? 1 : 0;
            differing += d;
          }
        }
      }
    }
  }
  EXPECT_LT(differing * 200, compared) << differing << " of " << compared << " bytes differ";
}

TEST(RenderLayer, RowsOfEveryWidthRemainderMatchTheFormula) {
  // The row paths work four pixels at a time and finish a row pixel by pixel: images whose
  // width leaves each remainder, placed on texel centres (copies), a fraction off them (columns
  // a texel apart) and scaled, in vector and portable code. Transparent texels carry colour.
  const LayerCase placements[] = {{12, 9, 0, 0, 100, 100, 0, 1, 1, 0, 0},
                                  {12.25, 9.5, 0, 0, 100, 100, 0, 1, 1, 0, 0},
                                  {12, 9, 0, 0, 150, 100, 0, 1, 1, 0, 0}};
  std::mt19937 rng(5);
  for (A_long width = 1; width <= 9; ++width) {
    const LayerSource image = RandomImage(rng, width, 5);
    for (const LayerCase& c : placements) {
      const bool whole = &c == &placements[0];
      const World e = RenderReference(image, c.Xf(), 1, 1, 32, 16, 0, 0);
      for (const auto code : {detail::PixelCode::Vector, detail::PixelCode::Portable}) {
        World out(32, 16);
        detail::RenderLayerWith(code, image, c.Xf(), 1, 1, out, 1);
        for (A_long y = 0; y < 16; ++y) {
          for (A_long x = 0; x < 32; ++x) {
            const auto* got = reinterpret_cast<const A_u_char*>(&out.at(x, y));
            const auto* want = reinterpret_cast<const A_u_char*>(&e.at(x, y));
            // Colour where both are covered (a transparent pixel's colour counts for nothing).
            const int channels = whole || (got[0] != 0 && want[0] != 0) ? 4 : 1;
            for (int ch = 0; ch < channels; ++ch)
              ASSERT_LE(std::abs(int{got[ch]} - int{want[ch]}), whole ? 0 : 1)
                  << "width " << width << " x offset " << c.px << " scale " << c.sx << " at " << x
                  << "," << y << " channel " << ch;
          }
        }
      }
    }
  }
}

TEST(RenderLayer, VectorAndPortableCodeGiveTheSameBytes) {
  std::mt19937 rng(11);
  const LayerSource image = RandomImage(rng, 45, 33);
  for (const LayerCase& c : LayerCases(rng)) {
    World vec(61, 47, c.ox, c.oy), port(61, 47, c.ox, c.oy);
    for (unsigned threads : {1u, 2u}) {
      detail::RenderLayerWith(detail::PixelCode::Vector, image, c.Xf(), c.dsx, c.dsy, vec, threads);
      detail::RenderLayerWith(detail::PixelCode::Portable, image, c.Xf(), c.dsx, c.dsy, port, 1);
      ASSERT_EQ(std::memcmp(vec.def().data, port.def().data, vec.bytes()), 0)
          << "position " << c.px << "," << c.py << " rotation " << c.rot << " scale " << c.sx;
    }
  }
}

PF_Err Invert(void*, A_long, A_long, PF_Pixel* in, PF_Pixel* out) {
  *out = {static_cast<A_u_char>(255 - in->alpha), static_cast<A_u_char>(255 - in->red),
          static_cast<A_u_char>(255 - in->green), static_cast<A_u_char>(255 - in->blue)};
  return PF_Err_NONE;
}

TEST(ParallelRows, SeveralThreadsShareChunksOfTheRowsOneThreadTakesThemWhole) {
  for (const unsigned threads : {1u, 2u, 4u}) {
    std::vector<std::atomic<int>> seen(1000);
    std::atomic<int> chunks{0};
    detail::ParallelRows(1000, 100, threads, [&](unsigned, std::int64_t begin, std::int64_t end) {
      for (std::int64_t r = begin; r < end; ++r) ++seen[static_cast<std::size_t>(r)];
      ++chunks;
    });
    for (const auto& n : seen) ASSERT_EQ(n, 1) << threads;
    EXPECT_EQ(chunks > 1, threads > 1) << threads;
  }
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
