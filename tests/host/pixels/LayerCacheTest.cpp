// The host's layer cache: frames are the same with it on and off, the effect's in-place repaint
// of a checked-out world never reaches the cached copy, edits to a layer between frames are
// rendered afresh, and the cache keeps the trail window within the world budget; the world
// pool's reused memory gives transparent worlds and gives way when the budget needs it.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

#include "host/Host.h"
#include "host/WorldPool.h"
#include "params/ParamIndex.h"
#include "support/EffectHarness.h"

namespace quillstreak::host {
namespace {

using quillstreak::test::EffectModule;

// An image layer sliding sideways by a fractional pixel step, sampled at every probe, with ramp
// fill on (the effect repaints each checked-out sample in place).
std::unique_ptr<Host> SlidingHost(bool cache) {
  auto host = std::make_unique<Host>(EffectModule());
  Composition& comp = host->scene().comp();
  comp.width = 96;
  comp.height = 40;
  comp.layers.clear();
  Layer layer;
  layer.id = 1;
  layer.source.kind = LayerSource::Kind::Image;
  layer.source.width = 30;
  layer.source.height = 20;
  for (int i = 0; i < 600; ++i) {
    layer.source.pixels.push_back({static_cast<A_u_char>(i % 7 == 0 ? 90 : 255),
                                   static_cast<A_u_char>(i * 3), static_cast<A_u_char>(i), 40});
  }
  layer.transform.anchor.SetConstant({15, 10, 0, 0});
  layer.transform.position.AddKeyframe(0, {10.0, 20.0, 0, 0});
  layer.transform.position.AddKeyframe(2400, {90.3, 21.7, 0, 0});
  comp.layers.push_back(layer);
  Layer still;
  still.id = 2;
  still.source.width = 8;
  still.source.height = 8;
  still.transform.position.SetConstant({5, 5, 0, 0});
  comp.layers.push_back(still);
  host->scene().SetEffectLayer(1);
  EXPECT_EQ(host->GlobalSetup(), PF_Err_NONE);
  EXPECT_EQ(host->ParamsSetup(), PF_Err_NONE);
  host->params().SetFloat(PARAM_TIME_THRESHOLD, 25);
  host->params().SetFloat(PARAM_SHUTTER_ANGLE,
                          720);  // 200 units: 9 samples, 5 of them seen by the frame before
  host->params().SetFloat(PARAM_MOTION_THRESHOLD, 0);
  host->params().SetCheckbox(PARAM_RAMP_FILL_ENABLE, true);
  host->params().SetFloat(PARAM_OPACITY, 70);
  host->settings().SetLayerCache(cache);
  return host;
}

bool SameFrame(const World& a, const World& b) {
  if (a.width() != b.width() || a.height() != b.height()) return false;
  for (A_long y = 0; y < a.height(); ++y) {
    if (std::memcmp(a.row(y), b.row(y), static_cast<std::size_t>(a.width()) * 4) != 0) {
      return false;
    }
  }
  return true;
}

TEST(LayerCache, ConsecutiveFramesMatchRenderingWithoutIt) {
  for (const PF_RationalScale ds : {PF_RationalScale{1, 1}, PF_RationalScale{1, 2}}) {
    auto cached = SlidingHost(true);
    auto plain = SlidingHost(false);
    cached->settings().SetDownsample(ds, ds);
    plain->settings().SetDownsample(ds, ds);
    // Forwards, a repeat of the same frame, then backwards over frames seen before.
    for (A_long time : {300, 400, 500, 600, 600, 500, 300}) {
      const FrameResult a = cached->RenderFrame(time);
      const FrameResult b = plain->RenderFrame(time);
      ASSERT_EQ(a.err, PF_Err_NONE);
      ASSERT_EQ(b.err, PF_Err_NONE);
      ASSERT_TRUE(SameFrame(a.frame, b.frame)) << "time " << time << " downsample " << ds.den;
    }
    EXPECT_GT(cached->worlds().layerCache().hits(), 0u);
    EXPECT_EQ(plain->worlds().layerCache().entries(), 0u);
  }
}

TEST(LayerCache, EditsBetweenFramesAreRenderedAfresh) {
  struct Edit {
    const char* name;
    std::function<void(Host&)> apply;
  };
  const Edit edits[] = {
      {"image pixel changed in place",
       [](Host& h) {
         h.scene().comp().FindLayer(1)->source.pixels[317] = {255, 1, 2, 3};
       }},
      {"image replaced by a rectangle",
       [](Host& h) { h.scene().comp().FindLayer(1)->source.kind = LayerSource::Kind::Rectangle; }},
      {"position keyframe moved",
       [](Host& h) {
         h.scene().comp().FindLayer(1)->transform.position.AddKeyframe(0, {12, 20, 0, 0});
       }},
      {"rotation added",
       [](Host& h) {
         h.scene().comp().FindLayer(1)->transform.rotateZ.SetConstant({7, 0, 0, 0});
       }},
      {"downsample changed",
       [](Host& h) {
         h.settings().SetDownsample({1, 2}, {1, 2});
       }},
  };
  for (const Edit& edit : edits) {
    auto cached = SlidingHost(true);
    auto plain = SlidingHost(false);
    ASSERT_EQ(cached->RenderFrame(400).err, PF_Err_NONE);
    edit.apply(*cached);
    edit.apply(*plain);
    const FrameResult a = cached->RenderFrame(400);
    const FrameResult b = plain->RenderFrame(400);
    ASSERT_EQ(a.err, PF_Err_NONE);
    EXPECT_TRUE(SameFrame(a.frame, b.frame)) << edit.name;
  }
}

TEST(LayerCache, KeepsTheTrailWindowWithinTheBudgetAndEmptiesWhenTurnedOff) {
  auto host = SlidingHost(true);
  // A sample world here is 31x21 or so: about 2.6 KB with the row padding and size class.
  const std::uint64_t budget = 60000;
  host->settings().SetWorldBudget(budget);
  for (A_long time = 300; time <= 1500; time += 100) {
    ASSERT_EQ(host->RenderFrame(time).err, PF_Err_NONE);
    EXPECT_LE(host->worlds().bytesHeld(), budget);
  }
  EXPECT_GT(host->worlds().layerCache().hits(), 0u);
  // A frame far away shares no layer time: the frame after it keeps only its renderings and
  // those of the frame before (9 samples and the current frame each, the still layer is not
  // checked out).
  host->settings().SetWorldBudget(WorldPool::kDefaultBudget);
  ASSERT_EQ(host->RenderFrame(2000).err, PF_Err_NONE);
  const std::uint64_t hits = host->worlds().layerCache().hits();
  ASSERT_EQ(host->RenderFrame(2100).err, PF_Err_NONE);
  EXPECT_GE(host->worlds().layerCache().hits() - hits, 5u);  // the samples 1900 to 2000
  const std::size_t window = host->worlds().layerCache().entries();
  ASSERT_EQ(host->RenderFrame(200).err, PF_Err_NONE);
  ASSERT_EQ(host->RenderFrame(100).err, PF_Err_NONE);
  EXPECT_EQ(host->worlds().layerCache().entries(), window);
  EXPECT_LE(window, 2u * 10u);
  host->settings().SetLayerCache(false);
  EXPECT_EQ(host->worlds().layerCache().entries(), 0u);
  EXPECT_EQ(host->worlds().layerCache().bytes(), 0u);
}

TEST(WorldPool, ReusedMemoryGivesTransparentWorldsWithinTheBudget) {
  WorldPool pool;
  World* w = nullptr;
  ASSERT_EQ(pool.Allocate(100, 50, 3, 4, w), PF_Err_NONE);
  const PF_Pixel* first = w->row(0);
  for (A_long y = 0; y < w->height(); ++y) std::memset(w->row(y), 0xAB, 400);
  pool.EndCommand();
  EXPECT_EQ(pool.bytesInUse(), 0u);
  EXPECT_GT(pool.idleBytes(), 0u);
  // A row narrower: the same size class, so the same memory, cleared.
  ASSERT_EQ(pool.Allocate(99, 50, 0, 0, w), PF_Err_NONE);
  EXPECT_EQ(w->row(0), first);
  EXPECT_EQ(w->def().origin_x, 0);
  for (A_long y = 0; y < w->height(); ++y) {
    for (A_long x = 0; x < w->width(); ++x) {
      const PF_Pixel p = w->at(x, y);
      ASSERT_TRUE(p.alpha == 0 && p.red == 0 && p.green == 0 && p.blue == 0) << x << "," << y;
    }
  }
  pool.EndCommand();
  // Idle storage and cache entries give way to a world that needs their room.
  LayerRenderKey key;
  World rendered(200, 100);
  pool.ToLayerCache(key, rendered);
  EXPECT_EQ(pool.layerCache().entries(), 1u);
  pool.SetBudget(200 * 100 * 4 + 1000);
  ASSERT_EQ(pool.Allocate(200, 100, 0, 0, w), PF_Err_NONE);
  EXPECT_LE(pool.bytesHeld(), pool.budget());
  EXPECT_EQ(pool.layerCache().entries(), 0u);
  // Past the budget: out of memory, and the world that was live still is; nothing else held.
  World* more = nullptr;
  EXPECT_EQ(pool.Allocate(200, 100, 0, 0, more), PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(more, nullptr);
  const std::uint64_t held = w->capacity();
  EXPECT_EQ(pool.bytesHeld(), held);
  pool.EndCommand();
  // Storage is kept through the next frame and freed when left idle through a whole one.
  pool.BeginFrame();
  EXPECT_EQ(pool.idleBytes(), held);
  pool.BeginFrame();
  EXPECT_EQ(pool.idleBytes(), 0u);
  EXPECT_EQ(pool.bytesHeld(), 0u);
}

TEST(WorldPool, AHugeLayerBeyondTheBudgetIsOutOfMemoryWithCacheAndPoolFull) {
  auto host = SlidingHost(true);
  for (A_long time = 300; time <= 600; time += 100) ASSERT_EQ(host->RenderFrame(time).err, 0);
  ASSERT_GT(host->worlds().layerCache().bytes() + host->worlds().idleBytes(), 0u);
  host->settings().SetWorldBudget(host->worlds().bytesHeld() + 20000);
  Layer* layer = host->scene().comp().FindLayer(1);
  layer->transform.scale.SetConstant({3000, 3000, 100, 0});  // about 900x600: 2.2 MB a sample
  EXPECT_EQ(host->RenderFrame(700).err, PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(host->worlds().bytesInUse(), 0u);
  EXPECT_LE(host->worlds().bytesHeld(), host->worlds().budget());
  // Back to its size, the layer renders again within the same budget.
  layer->transform.scale.SetConstant({100, 100, 100, 0});
  EXPECT_EQ(host->RenderFrame(800).err, PF_Err_NONE);
  EXPECT_LE(host->worlds().bytesHeld(), host->worlds().budget());
}

}  // namespace
}  // namespace quillstreak::host
