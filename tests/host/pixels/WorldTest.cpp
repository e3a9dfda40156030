// World storage, rounding and background compositing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "host/pixels/Pixels.h"

namespace quillstreak::host {
namespace {

TEST(World, RowbytesPaddedTo16AndPixelsStartTransparent) {
  struct Case {
    A_long w, h;
    A_long rowbytes;
  };
  for (const Case& c : {Case{0, 0, 0}, Case{1, 2, 16}, Case{3, 1, 16}, Case{4, 3, 16},
                        Case{5, 2, 32}, Case{-3, 4, 0}, Case{7, -1, 32}}) {
    World w(c.w, c.h, 3, -2);
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
    EXPECT_EQ(w.def().rowbytes, c.rowbytes);
    EXPECT_EQ(w.bytes(), static_cast<std::size_t>(c.rowbytes) * w.height());
    EXPECT_EQ(w.def().data == nullptr, w.bytes() == 0);
    EXPECT_EQ(w.def().origin_x, 3);
    EXPECT_EQ(w.def().origin_y, -2);
    EXPECT_EQ(w.def().extent_hint.right, w.width());
    EXPECT_EQ(w.def().extent_hint.bottom, w.height());
    const auto* bytes = reinterpret_cast<const unsigned char*>(w.def().data);
    for (std::size_t i = 0; i < w.bytes(); ++i) ASSERT_EQ(bytes[i], 0);
  }
  EXPECT_THROW(World(0x7fffffff, 1), std::length_error);
  EXPECT_THROW(World(100000, 100000), std::length_error);
}

TEST(World, CopiesAreDeepAndMovesLeaveAnEmptyWorld) {
  World a(3, 2);
  a.at(2, 1) = {255, 1, 2, 3};
  World b(a);
  EXPECT_NE(b.def().data, a.def().data);
  b.at(2, 1).red = 9;
  EXPECT_EQ(a.at(2, 1).red, 1);
  a = b;
  EXPECT_EQ(a.at(2, 1).red, 9);
  EXPECT_NE(a.def().data, b.def().data);
  World c(std::move(a));
  EXPECT_EQ(c.at(2, 1).red, 9);
  EXPECT_EQ(a.width(), 0);
  EXPECT_EQ(a.def().data, nullptr);
  b = std::move(c);
  EXPECT_EQ(&b.at(0, 1), reinterpret_cast<PF_Pixel*>(
                             reinterpret_cast<unsigned char*>(b.def().data) + b.def().rowbytes));
}

TEST(PixelMath, Div255RoundsToNearestOverItsWholeRange) {
  for (unsigned v = 0; v <= 255u * 255u; ++v) {
    ASSERT_EQ(Div255(v), static_cast<unsigned>(std::floor(v / 255.0 + 0.5))) << v;
  }
}

TEST(PixelMath, CompositeOverBackgroundResizesAndBlends) {
  World p(3, 1, 4, 5);
  p.at(0, 0) = {128, 100, 50, 0};   // straight colour at half coverage
  p.at(1, 0) = {0, 255, 255, 255};  // alpha 0: its colour counts for nothing
  p.at(2, 0) = {255, 10, 20, 30};   // opaque: kept
  World out(7, 7);
  CompositeOverBackground(p, {255, 200, 200, 200}, out);
  ASSERT_EQ(out.width(), 3);
  ASSERT_EQ(out.height(), 1);
  EXPECT_EQ(out.def().origin_x, 4);
  // div255(c * 128 + 200 * 127): red 38200 / 255 = 149.8 -> 150, green 31800 / 255 = 124.7 ->
  // 125, blue 25400 / 255 = 99.6 -> 100.
  const PF_Pixel expected[] = {{255, 150, 125, 100}, {255, 200, 200, 200}, {255, 10, 20, 30}};
  for (A_long x = 0; x < 3; ++x) {
    EXPECT_EQ(std::memcmp(&out.at(x, 0), &expected[x], 4), 0) << x;
  }
}

}  // namespace
}  // namespace quillstreak::host
