// The trail compositor through the built module and the substitute host: which worlds it asks
// for and in which order, what it draws into the output world, and what it leaves behind when a
// host call fails. Scenes are 4x4 squares on whole pixels, so every expected pixel is exact.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "params/ParamIndex.h"
#include "support/EffectHarness.h"
#include "support/Picture.h"
#include "support/Ramp.h"

namespace {

using namespace quillstreak;
using quillstreak::host::Host;
using quillstreak::host::Interp;
using quillstreak::test::Call;
using quillstreak::test::kRamp;
using quillstreak::test::kRampEnd;
using quillstreak::test::kRampStart;
using quillstreak::test::NewHost;
using quillstreak::test::Op;

constexpr A_long kNow = 1000;  // current time; the shutter window is 900..1000
constexpr A_long kSide = 4;    // the layer is a 4x4 rectangle, anchor at its top-left corner
constexpr PF_Pixel kSolid{255, 30, 60, 90};
constexpr PF_Pixel kOpaque{255, 200, 180, 160};
constexpr PF_Pixel kTranslucent{128, 200, 100, 50};
constexpr PF_Err kInjected = PF_Err_INVALID_INDEX;

struct Pos {
  A_long x = 0, y = 0;
};

/// One frame: where the layer is at each sample time and now, and how the trail is filled.
struct Scene {
  std::vector<Pos> samples;  // earliest first; empty = a still layer (no sample)
  Pos current{};
  int hidden = 0;  // 1-based sample whose layer is scaled to 0 % (no pixels); n + 1: the current
                   // frame; 0: none
  PF_Pixel color = kOpaque;  // straight colour of the layer
  bool ramp = false;
  bool solid = false;
  double opacity = 100.0;
  PF_LRect entry{0, 0, 0, 0};  // output rectangle the host offers before pre-render
};

/// Time step that makes a zero motion threshold accept exactly n probes (samples at
/// 900 + k * step, none of them at the current time).
A_long StepFor(std::size_t n) { return n <= 1 ? 150 : 100 / static_cast<A_long>(n - 1) - 1; }

A_long SampleTime(const Scene& s, std::size_t k) {
  return kNow - 100 + static_cast<A_long>(k) * StepFor(s.samples.size());
}

std::unique_ptr<Host> MakeHost(const Scene& s) {
  auto host = NewHost();
  host->scene().comp().width = 32;
  host->scene().comp().height = 8;
  quillstreak::host::Layer& layer = host->scene().comp().layers.front();
  layer.source = quillstreak::host::LayerSource{
      quillstreak::host::LayerSource::Kind::Rectangle, kSide, kSide, s.color, {}};
  layer.transform = quillstreak::host::TransformStreams{};
  auto& position = layer.transform.position;
  if (s.samples.empty()) {
    position.SetConstant({double(s.current.x), double(s.current.y), 0, 0});
  } else {
    for (std::size_t k = 0; k < s.samples.size(); ++k) {
      position.AddKeyframe(SampleTime(s, k), {double(s.samples[k].x), double(s.samples[k].y), 0, 0},
                           Interp::Hold);
    }
    position.AddKeyframe(kNow, {double(s.current.x), double(s.current.y), 0, 0}, Interp::Hold);
    host->params().SetFloat(PARAM_MOTION_THRESHOLD, 0.0);  // every probe becomes a sample
    host->params().SetFloat(PARAM_TIME_THRESHOLD, StepFor(s.samples.size()));
  }
  if (s.hidden > 0) {
    const auto k = static_cast<std::size_t>(s.hidden - 1);
    auto& scale = layer.transform.scale;
    scale.AddKeyframe(0, {100, 100, 100, 0}, Interp::Hold);
    if (k < s.samples.size()) {
      scale.AddKeyframe(SampleTime(s, k), {0, 0, 100, 0}, Interp::Hold);
      scale.AddKeyframe(SampleTime(s, k + 1), {100, 100, 100, 0}, Interp::Hold);
    } else if (s.samples.empty()) {
      scale.SetConstant({0, 0, 100, 0});  // a still layer that never has pixels
    } else {
      scale.AddKeyframe(kNow, {0, 0, 100, 0}, Interp::Hold);
    }
  }
  host->params().SetFloat(PARAM_SHUTTER_ANGLE, 360.0);
  host->params().SetCheckbox(PARAM_RAMP_FILL_ENABLE, s.ramp);
  host->params().SetCheckbox(PARAM_SOLID_FILL_ENABLE, s.solid);
  host->params().SetColor(PARAM_RAMP_START_COLOR, kRampStart);
  host->params().SetColor(PARAM_RAMP_END_COLOR, kRampEnd);
  host->params().SetColor(PARAM_SOLID_COLOR, kSolid);
  host->params().SetFloat(PARAM_OPACITY, s.opacity);
  host->settings().SetPreRenderEntryRects(s.entry, s.entry);
  host->settings().SetTime(kNow);
  return host;
}

/// The expected output world, painted the way the trail is built.
class Canvas : public quillstreak::test::Picture {
 public:
  Canvas(A_long left, A_long top, A_long right, A_long bottom)
      : Picture(left, top, right - left, bottom - top) {}

  /// A kSide square of straight colour p drawn in front (straight-alpha over) at comp (x, y).
  void Square(Pos pos, PF_Pixel p) {
    for (A_long y = pos.y; y < pos.y + kSide; ++y) {
      for (A_long x = pos.x; x < pos.x + kSide; ++x)
        at(x, y) = quillstreak::test::Over(p, at(x, y));
    }
  }
  void Recolor(PF_Pixel c) {
    for (PF_Pixel& p : pixels()) p = {p.alpha, c.red, c.green, c.blue};
  }
  void Fade(unsigned percent) {
    for (PF_Pixel& p : pixels()) p.alpha = A_u_char(p.alpha * percent / 100);
  }
};

/// The output world the scene should give, with the sample copies 1..`drawnUpTo` (all when
/// negative) and the passes and the current frame only when `finished`.
Canvas ExpectedOutput(const Scene& s, int drawnUpTo = -1, bool finished = true) {
  PF_LRect box = s.entry;
  auto grow = [&box](Pos p) {
    const PF_LRect r{p.x, p.y, p.x + kSide, p.y + kSide};
    if (box.left >= box.right || box.top >= box.bottom) {
      box = r;
    } else {
      box = {std::min(box.left, r.left), std::min(box.top, r.top), std::max(box.right, r.right),
             std::max(box.bottom, r.bottom)};
    }
  };
  for (std::size_t k = 0; k < s.samples.size(); ++k) {
    if (int(k) + 1 != s.hidden) grow(s.samples[k]);
  }
  const bool currentShown = s.hidden != int(s.samples.size()) + 1;
  if (currentShown) grow(s.current);
  Canvas c(box.left, box.top, box.right, box.bottom);
  const std::size_t n = s.samples.size();
  for (std::size_t k = 0; k < n; ++k) {
    if (drawnUpTo >= 0 && int(k) >= drawnUpTo) break;
    if (int(k) + 1 == s.hidden) continue;
    PF_Pixel p = s.color;
    if (s.ramp) p = {p.alpha, kRamp[n][k].red, kRamp[n][k].green, kRamp[n][k].blue};
    c.Square(s.samples[k], p);
  }
  if (!finished) return c;
  if (s.solid && !s.ramp) c.Recolor(kSolid);
  c.Fade(unsigned(s.opacity));
  // The current frame over the trail: where the trail is transparent (recoloured or not) the
  // current frame's own pixels come out unchanged.
  if (currentShown) c.Square(s.current, s.color);
  return c;
}

/// The host calls that make up the render.
std::vector<std::string> Trace(const Host& host) {
  return quillstreak::test::Trace(
      host.journal(), {Op::host_lock_handle, Op::host_unlock_handle, Op::checkout_layer_pixels,
                       Op::checkout_output, Op::fill, Op::iterate, Op::transfer_rect});
}

// The plan's handle, the first one the host made.
const std::string kLock = Call<Op::host_lock_handle>({.handle = 1});
const std::string kUnlock = Call<Op::host_unlock_handle>({.handle = 1});
const std::string kOutput = Call<Op::checkout_output>();
// The clear: transparent black over the whole world.
const std::string kClear = Call<Op::fill>({.color = false, .rect = std::nullopt});

std::string Id(A_long id) { return Call<Op::checkout_layer_pixels>({.checkout_id = id}); }
// iterate: progress 0..height, a source world, no area, source and destination the same world.
std::string IterateOver(A_long height) {
  return Call<Op::iterate>({.progress_base = 0,
                            .progress_final = height,
                            .src = true,
                            .area = std::nullopt,
                            .in_place = true});
}
// transfer_rect: the frame's quality and field, straight alpha (the worlds the host hands the
// effect are straight), the whole 4x4 source at its offset from the output's origin, in front
// at full strength, no mask.
std::string TransferAt(A_long dx, A_long dy, PF_Quality quality = PF_Quality_HI,
                       PF_Field field = PF_Field_FRAME) {
  return Call<Op::transfer_rect>({.quality = quality,
                                  .m_flags = PF_MF_Alpha_STRAIGHT,
                                  .field = field,
                                  .src_rect = PF_Rect{0, 0, kSide, kSide},
                                  .dest_x = dx,
                                  .dest_y = dy,
                                  .xfer = PF_Xfer_IN_FRONT,
                                  .opacity = 255,
                                  .mask = false});
}

/// The calls of a render that runs to its end.
std::vector<std::string> FullTrace(const Scene& s, const PF_EffectWorld& out) {
  const auto n = static_cast<A_long>(s.samples.size());
  std::vector<std::string> t = {kLock, Id(n + 2), kOutput, kClear};
  for (A_long k = 1; k <= n; ++k) {
    t.push_back(Id(k));
    if (k == s.hidden) continue;
    if (s.ramp) t.push_back(IterateOver(kSide));
    const Pos p = s.samples[std::size_t(k - 1)];
    t.push_back(TransferAt(p.x - out.origin_x, p.y - out.origin_y));
  }
  if (s.solid && !s.ramp) t.push_back(IterateOver(out.height));
  if (s.opacity != 100.0) t.push_back(IterateOver(out.height));
  if (s.hidden != n + 1) {
    t.push_back(TransferAt(s.current.x - out.origin_x, s.current.y - out.origin_y));
  }
  t.push_back(kUnlock);
  return t;
}

struct RenderCase {
  const char* name;
  Scene scene;
};

TEST(Compositor, DrawsTheTrailAndTheCurrentFrame) {
  const PF_LRect wide{0, 0, 16, 8};
  const RenderCase cases[] = {
      {"still layer: the current frame alone", {{}, {6, 2}, 0, kOpaque, false, false, 100.0, wide}},
      // The passes colour the cleared pixels; a translucent current frame in front of them keeps
      // its own colour and alpha.
      {"still layer: solid and opacity passes over cleared pixels",
       {{}, {6, 2}, 0, kTranslucent, false, true, 50.0, wide}},
      {"one sample takes the end colour, current frame in front",
       {{{2, 2}}, {4, 2}, 0, kOpaque, true, false, 100.0}},
      {"ramp and solid both on: ramp colours, no solid pass",
       {{{0, 1}, {3, 2}, {6, 3}}, {12, 2}, 0, kOpaque, true, true, 100.0}},
      {"solid without ramp keeps each copy's alpha",
       {{{0, 2}, {2, 2}}, {5, 2}, 0, kTranslucent, false, true, 100.0}},
      {"opacity 0 clears the trail's alpha and keeps its colours",
       {{{0, 2}, {4, 2}}, {6, 2}, 0, kOpaque, false, false, 0.0}},
      {"five overlapping ramp copies at half opacity",
       {{{0, 2}, {2, 2}, {4, 2}, {6, 2}, {8, 2}}, {14, 2}, 0, kOpaque, true, false, 50.0}},
      {"third of five copies has no pixels: later colours unshifted",
       {{{0, 2}, {4, 2}, {8, 2}, {12, 2}, {16, 2}}, {22, 2}, 3, kOpaque, true, false, 100.0}},
      {"nothing to draw: an empty output still gets its passes",
       {{}, {6, 2}, 1, kOpaque, false, true, 50.0}},
      {"current frame has no pixels: the trail alone",
       {{{0, 2}, {3, 2}}, {9, 2}, 3, kOpaque, true, false, 50.0}},
  };
  for (const RenderCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto host = MakeHost(c.scene);
    ASSERT_EQ(host->frames().SmartPreRender(), PF_Err_NONE) << host->journal().Text();
    ASSERT_EQ(host->frames().layerCheckouts().size(), c.scene.samples.size() + 1);
    host->journal().Clear();
    EXPECT_EQ(host->frames().SmartRender(), PF_Err_NONE) << host->journal().Text();
    ASSERT_NE(host->frames().outputWorld(), nullptr);
    EXPECT_EQ(Trace(*host), FullTrace(c.scene, host->frames().outputWorld()->def()));
    ExpectedOutput(c.scene).ExpectEqual(host->frames().outputWorld());
    // Each suite is acquired once per render and released with it.
    std::multiset<std::string> acquired;
    for (const auto& e : host->journal().Args<Op::AcquireSuite>()) acquired.insert(e.name);
    for (const auto& name : acquired) EXPECT_EQ(acquired.count(name), 1u) << name;
    EXPECT_EQ(host->journal().Count(Op::ReleaseSuite), acquired.size());
    host->frames().EndFrame();
    EXPECT_TRUE(host->accounts().Clear()) << host->accounts().Describe();
  }
}

TEST(Compositor, CurrentFrameIsCheckedOutFirstAndIdAfterTheSamplesIsNeverUsed) {
  const Scene s{{{0, 2}, {4, 2}, {8, 2}}, {12, 2}};
  auto host = MakeHost(s);
  ASSERT_EQ(host->frames().SmartPreRender(), PF_Err_NONE);
  host->journal().Clear();
  ASSERT_EQ(host->frames().SmartRender(), PF_Err_NONE);
  EXPECT_EQ(
      quillstreak::test::Trace(host->journal(), {Op::checkout_layer_pixels, Op::checkout_output}),
      (std::vector<std::string>{Id(5), kOutput, Id(1), Id(2), Id(3)}));
  host->frames().EndFrame();
  EXPECT_TRUE(host->accounts().Clear()) << host->accounts().Describe();
}

TEST(Compositor, TransferPlacesEachWorldByItsOriginAndPassesTheFrameSettings) {
  // Partly off the left and top edges: the output's origin is negative and differs from the
  // samples' origins.
  const Scene s{{{-2, -1}, {1, -3}}, {4, 0}};
  auto host = MakeHost(s);
  ASSERT_EQ(host->frames().SmartPreRender(), PF_Err_NONE);
  host->records().in_data().quality = PF_Quality_LO;
  host->records().in_data().field = PF_Field_UPPER;
  host->journal().Clear();
  ASSERT_EQ(host->frames().SmartRender(), PF_Err_NONE) << host->journal().Text();
  ASSERT_NE(host->frames().outputWorld(), nullptr);
  EXPECT_EQ(host->frames().outputWorld()->def().origin_x, -2);
  EXPECT_EQ(host->frames().outputWorld()->def().origin_y, -3);
  const std::vector<std::string> expected = {
      TransferAt(0, 2, PF_Quality_LO, PF_Field_UPPER),  // sample 1 at (-2, -1)
      TransferAt(3, 0, PF_Quality_LO, PF_Field_UPPER),  // sample 2 at (1, -3)
      TransferAt(6, 3, PF_Quality_LO, PF_Field_UPPER),  // current frame at (4, 0)
  };
  EXPECT_EQ(quillstreak::test::Trace(host->journal(), {Op::transfer_rect}), expected);
  ExpectedOutput(s).ExpectEqual(host->frames().outputWorld());
  host->frames().EndFrame();
  EXPECT_TRUE(host->accounts().Clear()) << host->accounts().Describe();
}

struct FailureCase {
  const char* name;
  std::optional<Op> op;  // fault: the n-th call of op fails with kInjected ...
  int nth;
  const char* suite;  // ... or this suite is refused (the render then ends with 516)
  PF_Err err;
  std::vector<std::string> trace;  // the render's calls (output origin 0,0: dest = position)
  int drawn;                       // sample copies in the output world; -1: no output world at all
  bool finished = false;           // the passes and the current frame ran as well
};

TEST(Compositor, FirstErrorStopsDrawingButThePlanIsReleased) {
  // Three opaque copies with ramp fill at half opacity; the output starts at (0, 2).
  const Scene s{{{0, 2}, {4, 2}, {8, 2}}, {14, 2}, 0, kOpaque, true, false, 50.0};
  const std::string lock = kLock, unlock = kUnlock;
  const std::string out = kOutput, fill = kClear, it = IterateOver(kSide);
  const FailureCase cases[] = {
      {"current frame checkout fails",
       Op::checkout_layer_pixels,
       1,
       nullptr,
       kInjected,
       {lock, Id(5), unlock},
       -1},
      {"output checkout fails",
       Op::checkout_output,
       1,
       nullptr,
       kInjected,
       {lock, Id(5), out, unlock},
       -1},
      {"second sample's checkout fails",
       Op::checkout_layer_pixels,
       3,
       nullptr,
       kInjected,
       {lock, Id(5), out, fill, Id(1), it, TransferAt(0, 0), Id(2), unlock},
       1},
      {"first transfer fails",
       Op::transfer_rect,
       1,
       nullptr,
       kInjected,
       {lock, Id(5), out, fill, Id(1), it, TransferAt(0, 0), unlock},
       0},
      {"opacity pass fails",
       Op::iterate,
       4,
       nullptr,
       kInjected,
       {lock, Id(5), out, fill, Id(1), it, TransferAt(0, 0), Id(2), it, TransferAt(4, 0), Id(3), it,
        TransferAt(8, 0), IterateOver(kSide), unlock},
       3},
      {"a failed clear is ignored",
       Op::fill,
       1,
       nullptr,
       PF_Err_NONE,
       {lock, Id(5), out, fill, Id(1), it, TransferAt(0, 0), Id(2), it, TransferAt(4, 0), Id(3), it,
        TransferAt(8, 0), IterateOver(kSide), TransferAt(14, 0), unlock},
       3,
       true},
      {"transform suite refused",
       std::nullopt,
       0,
       "PF World Transform Suite",
       PF_Err_BAD_CALLBACK_PARAM,
       {lock, Id(5), out, fill, Id(1), it, unlock},
       0},
      {"iterate suite refused",
       std::nullopt,
       0,
       "PF Iterate8 Suite",
       PF_Err_BAD_CALLBACK_PARAM,
       {lock, Id(5), out, fill, Id(1), unlock},
       0},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto host = MakeHost(s);
    ASSERT_EQ(host->frames().SmartPreRender(), PF_Err_NONE);
    host->journal().Clear();
    if (c.op) host->faults().FailCall(*c.op, c.nth, kInjected);
    if (c.suite != nullptr) host->faults().RefuseSuite(c.suite);
    EXPECT_EQ(host->frames().SmartRender(), c.err);
    EXPECT_EQ(Trace(*host), c.trace) << host->journal().Text();
    if (c.drawn < 0) {
      EXPECT_EQ(host->frames().outputWorld(), nullptr);
    } else {
      ExpectedOutput(s, c.drawn, c.finished).ExpectEqual(host->frames().outputWorld());
    }
    host->faults().Clear();
    host->frames().EndFrame();
    EXPECT_TRUE(host->accounts().Clear()) << host->accounts().Describe();
  }
}

TEST(Compositor, AMissingFillCallbackIsReportedAndNothingIsDrawn) {
  auto host = MakeHost(Scene{{{0, 2}}, {4, 2}});
  ASSERT_EQ(host->frames().SmartPreRender(), PF_Err_NONE);
  host->journal().Clear();
  host->records().utils().fill = nullptr;
  EXPECT_EQ(host->frames().SmartRender(), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(host->journal().Count(Op::transfer_rect), 0u) << host->journal().Text();
  host->frames().EndFrame();
  EXPECT_TRUE(host->accounts().Clear()) << host->accounts().Describe();
}

// Checkout callbacks that only count, for a render the host's own callbacks never see.
int g_checkouts = 0;
PF_Err CountLayerCheckout(PF_ProgPtr, A_long, PF_EffectWorld** world) {
  ++g_checkouts;
  *world = nullptr;
  return PF_Err_NONE;
}
PF_Err CountCheckin(PF_ProgPtr, A_long) { return PF_Err_NONE; }
PF_Err CountOutputCheckout(PF_ProgPtr, PF_EffectWorld** world) {
  ++g_checkouts;
  *world = nullptr;
  return PF_Err_NONE;
}

TEST(Compositor, WithoutAPlanNothingIsCheckedOut) {
  auto host = MakeHost(Scene{{{0, 2}}, {4, 2}});
  host->SyncInData();
  PF_SmartRenderInput input{};
  input.bitdepth = 8;
  input.pre_render_data = nullptr;
  PF_SmartRenderCallbacks cb{CountLayerCheckout, CountCheckin, CountOutputCheckout};
  PF_SmartRenderExtra extra{&input, &cb};
  g_checkouts = 0;
  EXPECT_EQ(host->commands().Send(PF_Cmd_SMART_RENDER, nullptr, nullptr, &extra),
            PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(g_checkouts, 0);
  EXPECT_TRUE(host->accounts().Clear()) << host->accounts().Describe();

  // A plan whose handle cannot be locked is no plan either; the frame's end still frees it.
  ASSERT_EQ(host->frames().SmartPreRender(), PF_Err_NONE);
  host->journal().Clear();
  host->faults().FailCall(Op::host_lock_handle, 1, kInjected);
  EXPECT_EQ(host->frames().SmartRender(), PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(host->journal().Count(Op::checkout_layer_pixels), 0u) << host->journal().Text();
  EXPECT_EQ(host->journal().Count(Op::checkout_output), 0u);
  EXPECT_EQ(host->journal().Count(Op::host_unlock_handle), 0u);
  host->faults().Clear();
  host->frames().EndFrame();
  EXPECT_TRUE(host->accounts().Clear()) << host->accounts().Describe();
}

}  // namespace
