// Layers with their own time, through the built module and the substitute host: the times the
// effect receives for a layer that starts later, nothing outside a layer's in and out points, a
// Motion Source read in its own time, and sources that change over time (the frame each copy
// shows, the frames kept, a frame that cannot be had).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/FrameSource.h"
#include "params/ParamIndex.h"
#include "support/EffectHarness.h"

namespace {

using namespace quillstreak;
using quillstreak::host::FrameSource;
using quillstreak::host::Host;
using quillstreak::host::Layer;
using quillstreak::test::NewHost;
using quillstreak::test::Op;

// A 4x4 white square (anchor at its top-left) at x = its own time / 10 + `shift` / 10, in a
// 160x8 composition of 2400 units per second and 100 units per frame; every probe of the
// trail becomes a copy, `step` units apart.
std::unique_ptr<Host> SquareHost(double shutter, A_long step) {
  auto host = NewHost();
  host->scene().comp().width = 160;
  host->scene().comp().height = 8;
  Layer& layer = host->scene().comp().layers.front();
  layer.source.width = layer.source.height = 4;
  layer.transform = {};
  layer.transform.position.AddKeyframe(0, {0, 2, 0, 0});
  layer.transform.position.AddKeyframe(1600, {160, 2, 0, 0});
  host->params().SetFloat(PARAM_SHUTTER_ANGLE, shutter);
  host->params().SetFloat(PARAM_MOTION_THRESHOLD, 0.0);
  host->params().SetFloat(PARAM_TIME_THRESHOLD, step);
  return host;
}

std::vector<A_long> CheckoutTimes(const Host& host) {
  std::vector<A_long> times;
  for (const auto& c : host.journal().Args<Op::checkout_layer>()) times.push_back(c.what_time);
  return times;
}

TEST(LayerTime, ALayerThatStartsLaterGivesTheEffectItsOwnTimes) {
  // Starting 3 frames later with keyframes in its own time, the layer looks at frame 10 as the
  // layer that starts at 0 with its keyframes 3 frames later does.
  auto late = SquareHost(720, 50);
  late->scene().comp().layers.front().timing.start = 300;
  auto shifted = SquareHost(720, 50);
  shifted->scene().comp().layers.front().transform.position = {};
  shifted->scene().comp().layers.front().transform.position.AddKeyframe(300, {0, 2, 0, 0});
  shifted->scene().comp().layers.front().transform.position.AddKeyframe(1900, {160, 2, 0, 0});
  const auto a = late->RenderFrame(1000);
  const auto b = shifted->RenderFrame(1000);
  ASSERT_EQ(a.err, PF_Err_NONE);
  ASSERT_EQ(b.err, PF_Err_NONE);
  ASSERT_EQ(a.frame.bytes(), b.frame.bytes());
  EXPECT_EQ(std::memcmp(a.frame.def().data, b.frame.def().data, a.frame.bytes()), 0);

  // Its copies and the current frame at its times 500..700, the transforms read there.
  EXPECT_EQ(CheckoutTimes(*late), (std::vector<A_long>{500, 550, 600, 650, 700, 700}));
  EXPECT_EQ(late->records().in_data().current_time, 700);
  for (const auto& read : late->journal().Args<Op::AEGP_GetLayerStreamValue>()) {
    EXPECT_GE(read.time, 500);
    EXPECT_LE(read.time, 750);
    EXPECT_EQ(read.time_mode, AEGP_LTimeMode_LayerTime);
  }
}

TEST(LayerTime, OutsideItsInAndOutPointsALayerDrawsNothing) {
  auto host = SquareHost(720, 50);
  host->scene().comp().layers.front().timing = {0, 1000, 1500};
  // Before the in point and at the out point the effect does not run.
  for (const A_long now : {900, 1500}) {
    host->journal().Clear();
    const auto frame = host->RenderFrame(now);
    EXPECT_FALSE(frame.effectRan) << now;
    EXPECT_TRUE(host->journal().empty()) << now;
    EXPECT_EQ(frame.frame.at(now / 10 + 1, 3).red, 0) << now;  // the black background
    EXPECT_EQ(host->frames().outputWorld(), nullptr);
  }
  // After it, the copies from before it are empty: checkouts at 900 and 950 have no pixels.
  const auto frame = host->RenderFrame(1100);
  ASSERT_TRUE(frame.effectRan);
  ASSERT_EQ(frame.err, PF_Err_NONE);
  for (const auto& c : host->frames().layerCheckouts()) {
    const bool empty = c.resultRect.left >= c.resultRect.right;
    EXPECT_EQ(empty, c.time < 1000) << c.time;
  }
  EXPECT_EQ(frame.frame.at(91, 3).red, 0);     // where the copy of 900 would be
  EXPECT_EQ(frame.frame.at(101, 3).red, 255);  // the copy of 1000
  EXPECT_EQ(frame.frame.at(111, 3).red, 255);  // the current frame
}

TEST(LayerTime, AMotionSourceThatStartsLaterIsReadInItsOwnTime) {
  // The effect's layer stands still; the Motion Source (layer 2) starts 6 frames later and
  // moves during its own frames 6-12, frames 12-18 of the composition.
  auto host = SquareHost(360, 50);
  Layer& still = host->scene().comp().layers.front();
  still.transform.position = {};
  still.transform.position.SetConstant({10, 2, 0, 0});
  Layer source = still;
  source.id = 2;
  source.timing.start = 600;
  source.transform.position = {};
  source.transform.position.AddKeyframe(600, {0, 2, 0, 0});
  source.transform.position.AddKeyframe(1200, {60, 2, 0, 0});
  host->scene().comp().AddLayer(source);
  host->params().SetLayer(PARAM_MOTION_SOURCE, 2);
  host->params().SetFloat(PARAM_MOTION_THRESHOLD, 1.0);
  auto samples = [&](A_long now) {
    EXPECT_EQ(host->RenderFrame(now).err, PF_Err_NONE);
    return host->frames().layerCheckouts().size() - 1;
  };
  // At frame 10 the source is read at its own times 900..1050, where it moves: a trail, while
  // on screen it still stands. At frame 16 it moves on screen, but is read at 1500..1650 of
  // its own time, where it has stopped: no trail.
  EXPECT_GT(samples(1000), 0u);
  for (const auto& read : host->journal().Args<Op::AEGP_GetLayerStreamValue>()) {
    EXPECT_GE(read.time, 900);
    EXPECT_LE(read.time, 1050);
  }
  EXPECT_EQ(samples(1600), 0u);
}

// Frames of one solid colour that says their number, counting how often each is decoded.
class NumberedFrames : public FrameSource {
 public:
  NumberedFrames(A_long width, A_long height, std::int64_t count, int failing = -1)
      : width_(width), height_(height), count_(count), failing_(failing) {}
  static PF_Pixel Color(std::int64_t i) {
    return {255, static_cast<A_u_char>(20 * i + 5), static_cast<A_u_char>(200 - 20 * i), 7};
  }
  A_long width() const override { return width_; }
  A_long height() const override { return height_; }
  std::int64_t frameCount() const override { return count_; }
  quillstreak::host::FrameRate rate() const override { return {24, 1}; }
  std::vector<PF_Pixel> Decode(std::int64_t index) override {
    ++decoded;
    if (index == failing_) throw std::runtime_error("frame " + std::to_string(index) + " is bad");
    return std::vector<PF_Pixel>(static_cast<std::size_t>(width_) * height_, Color(index));
  }
  int decoded = 0;

 private:
  A_long width_, height_;
  std::int64_t count_;
  int failing_;
};

std::shared_ptr<NumberedFrames> Frames(Layer& layer, A_long width, A_long height,
                                       std::int64_t count, int failing = -1) {
  auto frames = std::make_shared<NumberedFrames>(width, height, count, failing);
  layer.frames = frames;
  layer.source.kind = quillstreak::host::LayerSource::Kind::Image;
  layer.source.width = width;
  layer.source.height = height;
  return frames;
}

TEST(ChangingSource, EachCopyShowsTheFrameOfItsOwnTime) {
  // Four frames, looping, at 24 fps in a 24 fps composition; the layer starts 2 frames late,
  // so at frame 10 its copies show its frames 5, 6 and 7, which loop to 1, 2 and 3, and the
  // current frame its frame 8, that is 0.
  auto host = SquareHost(1080, 100);
  Layer& layer = host->scene().comp().layers.front();
  Frames(layer, 4, 4, 4);
  layer.loop = true;
  layer.timing.start = 200;
  ASSERT_EQ(host->RenderFrame(1000).err, PF_Err_NONE);
  const auto& checkouts = host->frames().layerCheckouts();
  ASSERT_GE(checkouts.size(), 4u);
  const quillstreak::host::World& out = *host->frames().outputWorld();
  for (const auto& c : checkouts) {
    const A_long x = static_cast<A_long>(c.layerTime) / 10 + 1 - out.def().origin_x;
    const PF_Pixel want = NumberedFrames::Color((c.layerTime / 100) % 4);
    EXPECT_EQ(out.at(x, 3 - out.def().origin_y).red, want.red) << c.layerTime;
    EXPECT_EQ(out.at(x, 3 - out.def().origin_y).green, want.green) << c.layerTime;
  }
}

TEST(ChangingSource, FrameIndexIsTheFloorOfTimeTimesRateHeldOrLooped) {
  struct Case {
    std::int64_t value;
    std::uint32_t scale;
    quillstreak::host::FrameRate rate;
    bool loop;
    std::int64_t frame;
  };
  const Case cases[] = {
      {0, 2400, {24, 1}, false, 0},          {99, 2400, {24, 1}, false, 0},
      {100, 2400, {24, 1}, false, 1},        {250, 2400, {12, 1}, false, 1},
      {-1, 2400, {24, 1}, false, 0},         {-500, 2400, {24, 1}, true, 0},
      {1000, 2400, {24, 1}, false, 9},       {1000, 2400, {24, 1}, true, 0},
      {1199, 2400, {24, 1}, true, 1},        {999, 2398, {2398, 100}, false, 9},
      {1001, 3000, {30000, 1001}, false, 9}, {500, 0, {24, 1}, false, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(quillstreak::host::FrameIndexAt(c.value, c.scale, c.rate, 10, c.loop), c.frame)
        << c.value << "/" << c.scale << " at " << c.rate.num << "/" << c.rate.den
        << (c.loop ? " looped" : "");
  }
}

TEST(ChangingSource, ALongSourceIsNeverHeldWhole) {
  // Ten seconds of 1080p (2 GB of pixels), scaled down to a few pixels, with a trail of
  // three frames: each frame is decoded about once, and at most the limit is kept.
  auto host = SquareHost(1080, 20);
  Layer& layer = host->scene().comp().layers.front();
  auto frames = Frames(layer, 1920, 1080, 240);
  layer.transform.scale.SetConstant({0.25, 0.25, 100, 0});
  std::uint64_t peak = 0;
  for (A_long f = 0; f < 48; ++f) {
    ASSERT_EQ(host->RenderFrame(f * 100).err, PF_Err_NONE) << f;
    peak = std::max(peak, host->worlds().bytesHeld());
  }
  const std::uint64_t frameBytes = 1920u * 1080u * 4u;
  EXPECT_LE(host->worlds().sourceFrames().frames(), quillstreak::host::SourceFrames::kLimit);
  EXPECT_LE(peak, (quillstreak::host::SourceFrames::kLimit + 1) * frameBytes);
  EXPECT_LE(frames->decoded, 48 + 4);
}

TEST(LayerTiming, ALayerIsActiveFromItsInPointToBeforeItsOutPointInEveryTimeScale) {
  quillstreak::host::Composition comp;
  comp.timeScale = 2400;
  Layer layer;
  layer.timing.inPoint = 200;
  layer.timing.outPoint = 1000;
  for (const std::uint32_t scale : {2400u, 24u}) {
    const std::int64_t perFrame = scale / 24;
    EXPECT_FALSE(comp.Active(layer, 2 * perFrame - 1, scale)) << scale;
    EXPECT_TRUE(comp.Active(layer, 2 * perFrame, scale)) << scale;
    EXPECT_TRUE(comp.Active(layer, 10 * perFrame - 1, scale)) << scale;
    EXPECT_FALSE(comp.Active(layer, 10 * perFrame, scale)) << scale;
  }
}

TEST(ChangingSource, KeptFramesAllGiveWayToAWorldThatNeedsTheirRoom) {
  // Four kept frames of 16 KiB under a budget with room for one more frame: a world of three
  // frames' bytes needs two of them dropped, then the room is there.
  quillstreak::host::WorldPool pool;
  Layer layer;
  Frames(layer, 64, 64, 10);
  for (std::int64_t f = 0; f < 4; ++f) ASSERT_NE(pool.LayerPicture(layer, f), nullptr);
  const std::uint64_t frameBytes = 64 * 64 * sizeof(PF_Pixel);
  ASSERT_EQ(pool.sourceFrames().bytes(), 4 * frameBytes);
  pool.SetBudget(pool.bytesHeld() + frameBytes);
  EXPECT_TRUE(pool.MakeRoom(3 * frameBytes));
  EXPECT_EQ(pool.sourceFrames().frames(), 2u);
}

TEST(ChangingSource, AFrameThatCannotBeHadFailsTheFrameWithItsReason) {
  // As the effect's input (checked out) and as another layer (composited).
  for (const bool effectLayer : {true, false}) {
    auto host = SquareHost(0, 50);
    Layer& layer = host->scene().comp().layers.front();
    Frames(layer, 4, 4, 10, 3);
    if (!effectLayer) {
      Layer other = layer;
      other.id = 2;
      other.frames = nullptr;
      other.source.kind = quillstreak::host::LayerSource::Kind::Rectangle;
      host->scene().comp().AddLayer(other);
      host->scene().SetEffectLayer(2);
    }
    EXPECT_EQ(host->RenderFrame(200).err, PF_Err_NONE);
    const auto frame = host->RenderFrame(300);
    EXPECT_EQ(frame.err, PF_Err_INTERNAL_STRUCT_DAMAGED) << effectLayer;
    EXPECT_EQ(frame.sourceError, "frame 3 is bad") << effectLayer;
    EXPECT_EQ(host->RenderFrame(400).sourceError, "") << effectLayer;
  }
}

}  // namespace
