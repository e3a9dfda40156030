// In-front transfer and fill: worked blend values, clipping and offsets.
#include <gtest/gtest.h>

#include <cstring>

#include "host/pixels/Pixels.h"

namespace quillstreak::host {
namespace {

bool Same(const PF_Pixel& a, const PF_Pixel& b) { return std::memcmp(&a, &b, 4) == 0; }

// One pixel blended over another at an opacity, and what it must give.
struct BlendCase {
  PF_Pixel src, dst;
  A_u_char opacity;
  PF_Pixel expected;
};

// Each case through a one-pixel transfer and through the per-pixel formula.
template <typename Transfer, typename Formula, std::size_t N>
void ExpectBlends(const BlendCase (&cases)[N], Transfer transfer, Formula formula) {
  for (const BlendCase& c : cases) {
    World s(1, 1), d(1, 1);
    s.at(0, 0) = c.src;
    d.at(0, 0) = c.dst;
    transfer(s.def(), PF_Rect{0, 0, 1, 1}, 0, 0, c.opacity, d.def(), 0u);
    const PF_Pixel r = d.at(0, 0);
    EXPECT_TRUE(Same(r, c.expected))
        << int(r.alpha) << " " << int(r.red) << " " << int(r.green) << " " << int(r.blue);
    EXPECT_TRUE(Same(formula(c.src, c.dst, c.opacity), c.expected));
  }
}

TEST(TransferInFront, BlendsStraightAlphaWithRounding) {
  // Straight "over": alpha = sa + div255(d.alpha * (255 - sa)), colour = the mean of the two
  // colours weighted by ws = 255 * sa and wd = d.alpha * (255 - sa), rounded to nearest.
  const BlendCase cases[] = {
      {{255, 10, 20, 30}, {200, 100, 100, 100}, 255, {255, 10, 20, 30}},  // opaque wins
      {{0, 0, 0, 0}, {200, 100, 90, 80}, 255, {200, 100, 90, 80}},        // transparent: no-op
      // Opaque destination: colour = div255(s * sa + d * (255 - sa)).
      // 64 * 128 + 255 * 127 = 40577 -> 159.1; 32 * 128 + 32385 = 36481 -> 143.1; 32385 -> 127.
      {{128, 64, 32, 0}, {255, 255, 255, 255}, 255, {255, 159, 143, 127}},
      {{1, 1, 0, 0}, {255, 100, 3, 2}, 255, {255, 100, 3, 2}},  // 25401 / 255 = 99.6 -> 100
      // A trail pixel at 50 % (alpha 127) over an opaque backdrop: 240 * 127 + 244 * 128 = 61712
      // -> 242.0, 160 * 127 + 241 * 128 = 51168 -> 200.7, 32 * 127 + 234 * 128 = 34016 -> 133.4.
      {{127, 240, 160, 32}, {255, 244, 241, 234}, 255, {255, 242, 201, 133}},
      // An edge pixel over a transparent pixel that a fill pass coloured: the colour of alpha 0
      // counts for nothing, the edge keeps its own.
      {{100, 0, 0, 255}, {0, 255, 0, 0}, 255, {100, 0, 0, 255}},
      // ... and a transparent pixel over it makes it transparent black (nothing over nothing).
      {{0, 9, 9, 9}, {0, 255, 0, 0}, 255, {0, 0, 0, 0}},
      // Both partly covered: ws = 32640, wd = 100 * 127 = 12700, sum 45340: alpha 177.8 -> 178,
      // red 6528000 / 45340 = 143.98 -> 144, green 1270000 / 45340 = 28.01 -> 28,
      // blue (1632000 + 3175000) / 45340 = 106.02 -> 106.
      {{128, 200, 0, 50}, {100, 0, 100, 250}, 255, {178, 144, 28, 106}},
      // Opacity scales the source alpha: div255(255 * 128) = 128, over nothing ...
      {{255, 255, 0, 100}, {0, 0, 0, 0}, 128, {128, 255, 0, 100}},
      // ... and over opaque: 255 * 128 -> 128, 40 * 127 = 5080 -> 19.9, 100 * 128 = 12800 -> 50.2.
      {{255, 255, 0, 100}, {255, 0, 40, 0}, 128, {255, 128, 20, 50}},
      {{255, 9, 9, 9}, {7, 7, 7, 7}, 0, {7, 7, 7, 7}},
      // A recoloured transparent pixel stays transparent in front ...
      {{0, 200, 200, 200}, {255, 100, 100, 100}, 255, {255, 100, 100, 100}},
      // ... and a faded one counts its whole colour at its coverage: 250 * 100 + 155 * 155 =
      // 49025 -> 192.3, 40 * 100 + 24025 = 28025 -> 109.9, 100 * 100 + 24025 = 34025 -> 133.4.
      {{100, 250, 40, 100}, {255, 155, 155, 155}, 255, {255, 192, 110, 133}},
      {{100, 250, 40, 100}, {0, 0, 0, 0}, 128, {50, 250, 40, 100}},  // 12800 / 255 = 50.2
  };
  ExpectBlends(cases, TransferInFront, StraightOver);
}

TEST(TransferInFrontPremul, AddsTheStoredColourToWhatIsLeftShowing) {
  // sa = div255(s.alpha * opacity), alpha = sa + div255(d.alpha * (255 - sa)),
  // colour = div255(s.c * opacity + d.c * (255 - sa)), clamped to 255.
  const BlendCase cases[] = {
      // Partly covered over opaque: red 200 * 255 / 255 = 200 (straight gives 100), green
      // (25500 + 50 * 127) = 31850 -> 124.9, blue 255 * 127 = 32385 -> 127.
      {{128, 200, 100, 0}, {255, 0, 50, 255}, 255, {255, 200, 125, 127}},
      // Over transparent both readings agree: the source as it is.
      {{128, 200, 100, 0}, {0, 0, 0, 0}, 255, {128, 200, 100, 0}},
      // Opacity 128: sa = 128; red 200 * 128 + 100 * 127 = 38300 -> 150.2, green 25500 -> 100,
      // blue 40 * 128 + 12700 = 17820 -> 69.9.
      {{255, 200, 100, 40}, {255, 100, 100, 100}, 128, {255, 150, 100, 70}},
      // Both partly covered: alpha 128 + div255(100 * 127 = 12700 -> 49.8) = 178, red 200,
      // green 12700 -> 50, blue 50 * 255 + 250 * 127 = 44500 -> 174.5 -> 175.
      {{128, 200, 0, 50}, {100, 0, 100, 250}, 255, {178, 200, 50, 175}},
      // A colour above its alpha over a bright pixel: 250 * 255 + 255 * 155 clamps to 255.
      {{100, 250, 0, 0}, {255, 255, 0, 0}, 255, {255, 255, 0, 0}},
  };
  ExpectBlends(cases, TransferInFrontPremul, PremulOver);
}

TEST(TransferInFront, ClipsAtEveryEdge) {
  struct Case {
    PF_Rect rect;
    A_long dx, dy;
  };
  const Case cases[] = {
      {{0, 0, 3, 3}, 1, 1},
      {{0, 0, 3, 3}, -1, -1},
      {{0, 0, 3, 3}, 3, 3},
      {{0, 0, 3, 3}, -2, 2},
      {{0, 0, 3, 3}, 2, -2},
      {{0, 0, 3, 3}, 5, 0},
      {{0, 0, 3, 3}, 0, -3},
      {{1, 0, 3, 2}, 0, 0},
      {{-1, -1, 5, 5}, 0, 0},
      {{2, 2, 1, 1}, 0, 0},
      {{0, 0, 3, 3}, -2147483647, 2147483647},
  };
  World src(3, 3);
  for (A_long y = 0; y < 3; ++y)
    for (A_long x = 0; x < 3; ++x)
      src.at(x, y) = {255, static_cast<A_u_char>(10 * x + y + 1), 0, 0};
  for (const Case& c : cases) {
    for (unsigned threads : {1u, 3u}) {
      World dst(5, 4);  // rowbytes 32: padding after each row
      TransferInFront(src.def(), c.rect, c.dx, c.dy, 255, dst.def(), threads);
      for (A_long y = 0; y < 4; ++y) {
        for (A_long x = 0; x < 5; ++x) {
          const long long sx = 0LL + x - c.dx + c.rect.left, sy = 0LL + y - c.dy + c.rect.top;
          const bool drawn = sx >= std::max(c.rect.left, 0) && sx < std::min(c.rect.right, 3) &&
                             sy >= std::max(c.rect.top, 0) && sy < std::min(c.rect.bottom, 3);
          const int expected = drawn ? static_cast<int>(10 * sx + sy + 1) : 0;
          ASSERT_EQ(dst.at(x, y).red, expected)
              << "rect " << c.rect.left << "," << c.rect.top << " at " << c.dx << "," << c.dy
              << " pixel " << x << "," << y;
        }
        const auto* pad = reinterpret_cast<const unsigned char*>(dst.row(y)) + 20;
        for (int b = 0; b < 12; ++b) ASSERT_EQ(pad[b], 0);
      }
    }
  }
}

TEST(TransferInFront, OverlappingSourceAndDestinationReadTheOriginal) {
  // Two rows, each moved one pixel right within its own row.
  World w(4, 2);
  for (A_long y = 0; y < 2; ++y)
    for (A_long x = 0; x < 4; ++x) w.at(x, y) = {255, static_cast<A_u_char>(10 * y + x + 1), 0, 0};
  TransferInFront(w.def(), {0, 0, 3, 2}, 1, 0, 255, w.def());
  const int expected[2][4] = {{1, 1, 2, 3}, {11, 11, 12, 13}};
  for (A_long y = 0; y < 2; ++y)
    for (A_long x = 0; x < 4; ++x) EXPECT_EQ(w.at(x, y).red, expected[y][x]) << x << "," << y;
}

TEST(TransferInFront, IgnoresUnusableWorlds) {
  World a(2, 2), empty;
  PF_EffectWorld broken = a.def();
  broken.data = nullptr;
  TransferInFront(broken, {0, 0, 2, 2}, 0, 0, 255, a.def());
  TransferInFront(a.def(), {0, 0, 2, 2}, 0, 0, 255, broken);
  TransferInFront(a.def(), {0, 0, 2, 2}, 0, 0, 255, empty.def());
  EXPECT_EQ(a.at(1, 1).alpha, 0);
}

TEST(FillWorld, FillsTheClippedRectangle) {
  struct Case {
    bool has_color, has_rect;
    PF_Rect rect;
    int filled;  // number of pixels that take the colour
  };
  const Case cases[] = {{true, false, {}, 20},           {false, false, {}, 20},
                        {true, true, {-2, -2, 2, 2}, 4}, {true, true, {4, 3, 9, 9}, 1},
                        {true, true, {3, 3, 1, 1}, 0},   {true, true, {1, 1, 1, 3}, 0}};
  const PF_Pixel color{200, 1, 2, 3};
  for (const Case& c : cases) {
    World w(5, 4);
    FillWorld(w.def(), nullptr, nullptr);
    for (A_long y = 0; y < 4; ++y)
      for (A_long x = 0; x < 5; ++x) w.at(x, y) = {9, 9, 9, 9};
    FillWorld(w.def(), c.has_color ? &color : nullptr, c.has_rect ? &c.rect : nullptr);
    const PF_Pixel painted = c.has_color ? color : PF_Pixel{0, 0, 0, 0};
    int count = 0;
    for (A_long y = 0; y < 4; ++y) {
      for (A_long x = 0; x < 5; ++x) {
        if (Same(w.at(x, y), painted))
          ++count;
        else
          EXPECT_TRUE(Same(w.at(x, y), PF_Pixel{9, 9, 9, 9}));
      }
      const auto* pad = reinterpret_cast<const unsigned char*>(w.row(y)) + 20;
      for (int b = 0; b < 12; ++b) ASSERT_EQ(pad[b], 0);
    }
    EXPECT_EQ(count, c.filled);
  }
  World empty(0, 3);
  FillWorld(empty.def(), &color, nullptr);  // no storage: nothing to do, no crash
}

}  // namespace
}  // namespace quillstreak::host
