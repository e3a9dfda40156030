// The 8-bit iterate: coverage of the area, pixel addressing, sources and error order.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>

#include "host/pixels/Pixels.h"

namespace quillstreak::host {
namespace {

struct Probe {
  PF_EffectWorld* dst = nullptr;
  const PF_EffectWorld* src = nullptr;
  std::unique_ptr<std::atomic<int>[]> calls;
  std::atomic<int> bad_pointers{0};
  A_long fail_x = -1, fail_y = -1, fail2_y = -1;
};

PF_Pixel* At(const PF_EffectWorld* w, A_long x, A_long y) {
  return reinterpret_cast<PF_Pixel*>(reinterpret_cast<unsigned char*>(w->data) +
                                     static_cast<std::ptrdiff_t>(y) * w->rowbytes) +
         x;
}

PF_Err Count(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out) {
  auto* p = static_cast<Probe*>(refcon);
  if (out != At(p->dst, x, y) || in != At(p->src, x, y)) ++p->bad_pointers;
  ++p->calls[y * p->dst->width + x];
  *out = *in;
  out->alpha = 0xFF;
  if (x == p->fail_x && y == p->fail_y) return PF_Err_OUT_OF_MEMORY;
  if (x == p->fail_x && y == p->fail2_y) return PF_Err_INVALID_INDEX;
  return PF_Err_NONE;
}

TEST(Iterate8, CallsOncePerPixelOfTheClippedArea) {
  struct Case {
    bool whole;
    PF_Rect area;
    PF_Rect expected;  // the area after clipping
  };
  const Case cases[] = {
      {true, {}, {0, 0, 5, 37}},
      {false, {1, 2, 4, 30}, {1, 2, 4, 30}},
      {false, {-3, -3, 2, 4}, {0, 0, 2, 4}},
      {false, {3, 35, 99, 99}, {3, 35, 5, 37}},
      {false, {2, 2, 2, 9}, {0, 0, 0, 0}},
      {false, {4, 4, 1, 1}, {0, 0, 0, 0}},
      {false, {6, 0, 9, 9}, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    for (unsigned threads : {0u, 1u, 3u, 8u, 100u}) {
      for (bool separate_src : {false, true}) {
        World dst(5, 37), src(5, 37);  // width 5: rowbytes 32 leaves padding
        for (A_long y = 0; y < 37; ++y) src.at(y % 5, y) = {1, static_cast<A_u_char>(y), 0, 0};
        Probe p;
        p.dst = &dst.def();
        p.src = separate_src ? &src.def() : &dst.def();
        p.calls.reset(new std::atomic<int>[5 * 37]());
        SCOPED_TRACE(testing::Message() << "area " << c.area.left << "," << c.area.top
                                        << " threads " << threads << " src " << separate_src);
        ASSERT_EQ(Iterate8(separate_src ? &src.def() : nullptr, &dst.def(),
                           c.whole ? nullptr : &c.area, &p, Count, threads),
                  PF_Err_NONE);
        EXPECT_EQ(p.bad_pointers, 0);
        for (A_long y = 0; y < 37; ++y) {
          for (A_long x = 0; x < 5; ++x) {
            const bool inside = x >= c.expected.left && x < c.expected.right &&
                                y >= c.expected.top && y < c.expected.bottom;
            ASSERT_EQ(p.calls[y * 5 + x], inside ? 1 : 0) << x << "," << y;
            if (inside && separate_src) {
              ASSERT_EQ(dst.at(x, y).red, src.at(x, y).red);
            }
          }
        }
        const auto* bytes = reinterpret_cast<const unsigned char*>(dst.row(0));
        for (A_long y = 0; y < 37; ++y) {
          for (int b = 20; b < 32; ++b) ASSERT_EQ(bytes[y * 32 + b], 0) << "padding written";
        }
      }
    }
  }
}

TEST(Iterate8, ClipsToASmallerSource) {
  World dst(6, 6), src(3, 4);
  Probe p;
  p.dst = &dst.def();
  p.src = &src.def();
  p.calls.reset(new std::atomic<int>[36]());
  ASSERT_EQ(Iterate8(&src.def(), &dst.def(), nullptr, &p, Count, 2), PF_Err_NONE);
  int total = 0;
  for (int i = 0; i < 36; ++i) total += p.calls[i];
  EXPECT_EQ(total, 12);
  EXPECT_EQ(p.bad_pointers, 0);
}

TEST(Iterate8, ReturnsTheFirstErrorByRowOrder) {
  // Two failing pixels; in the large world they fall in different chunks, the later chunk
  // holding the error that comes first by row order.
  struct Case {
    A_long width, height, fail_y, fail2_y;
    PF_Err expected;
  };
  const Case cases[] = {{7, 40, 10, 35, PF_Err_OUT_OF_MEMORY},
                        {300, 400, 350, 120, PF_Err_INVALID_INDEX}};
  for (const Case& c : cases) {
    for (unsigned threads : {1u, 2u, 4u}) {
      World dst(c.width, c.height);
      Probe p;
      p.dst = &dst.def();
      p.src = p.dst;
      p.calls.reset(new std::atomic<int>[static_cast<std::size_t>(c.width * c.height)]());
      p.fail_x = 2, p.fail_y = c.fail_y, p.fail2_y = c.fail2_y;
      EXPECT_EQ(Iterate8(nullptr, &dst.def(), nullptr, &p, Count, threads), c.expected)
          << c.width << "x" << c.height << " threads " << threads;
      if (threads == 1) {  // a single thread stops right after the failing pixel
        int total = 0;
        for (int i = 0; i < c.width * c.height; ++i) total += p.calls[i];
        EXPECT_EQ(total, std::min(c.fail_y, c.fail2_y) * c.width + 3);
      }
    }
  }
}

TEST(Iterate8, RejectsMissingPiecesAndIgnoresEmptyWorlds) {
  World w(2, 2), empty(0, 0);
  Probe p;
  p.dst = &w.def();
  p.src = p.dst;
  p.calls.reset(new std::atomic<int>[4]());
  EXPECT_EQ(Iterate8(nullptr, nullptr, nullptr, &p, Count), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(Iterate8(nullptr, &w.def(), nullptr, &p, nullptr), PF_Err_BAD_CALLBACK_PARAM);
  PF_EffectWorld broken = w.def();
  broken.data = nullptr;
  EXPECT_EQ(Iterate8(nullptr, &broken, nullptr, &p, Count), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(Iterate8(&broken, &w.def(), nullptr, &p, Count), PF_Err_BAD_CALLBACK_PARAM);
  broken = w.def();
  broken.rowbytes = 4;  // narrower than a row
  EXPECT_EQ(Iterate8(nullptr, &broken, nullptr, &p, Count), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(Iterate8(nullptr, &empty.def(), nullptr, &p, Count), PF_Err_NONE);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(p.calls[i], 0);
}

}  // namespace
}  // namespace quillstreak::host
