// World storage, premultiplication helpers and background compositing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "host/pixels/Pixels.h"

namespace qshost {
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

TEST(PixelMath, UnpremultiplyRoundsAndClamps) {
  const PF_Pixel u = Unpremultiply({128, 128, 50, 1});
  EXPECT_EQ(u.red, 255);
  EXPECT_EQ(u.green, 100);
  EXPECT_EQ(u.blue, 2);                                  // 1 * 255 / 128 = 1.99
  const PF_Pixel over = Unpremultiply({10, 200, 0, 0});  // colour above alpha clamps
  EXPECT_EQ(over.red, 255);
}

TEST(PixelMath, CompositeOverBackgroundResizesAndBlends) {
  World p(2, 1, 4, 5);
  p.at(0, 0) = {128, 100, 50, 0};
  World out(7, 7);
  CompositeOverBackground(p, {255, 200, 200, 200}, out);
  ASSERT_EQ(out.width(), 2);
  ASSERT_EQ(out.height(), 1);
  EXPECT_EQ(out.def().origin_x, 4);
  // 200 * 127 / 255 = 99.6 -> 100
  const PF_Pixel a = out.at(0, 0), b = out.at(1, 0);
  EXPECT_EQ(a.alpha, 255);
  EXPECT_EQ(a.red, 200);
  EXPECT_EQ(a.green, 150);
  EXPECT_EQ(a.blue, 100);
  EXPECT_EQ(b.alpha, 255);
  EXPECT_EQ(b.red, 200);
}

}  // namespace
}  // namespace qshost
