// The frame protocol: layer checkouts and their boxes, pixels and output worlds, the world
// budget, the pre-render deleter, and the frame driver compositing a pass-through effect.
#include <gtest/gtest.h>

#include <vector>

#include "FakeEffect.h"
#include "params/ParamIndex.h"

namespace {

using quillstreak::test::Body;
using quillstreak::test::FakeHost;

PF_LRect Rect(A_long l, A_long t, A_long r, A_long b) { return PF_LRect{l, t, r, b}; }

bool Same(const PF_LRect& a, const PF_LRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Pre-render checks the input out under id 1 (and reports its box); render copies it into the
// output with transfer_rect in the given alpha mode. The deleter counts its calls.
int g_deleted = 0;
void CountDelete(void*) { ++g_deleted; }

void InstallPassThrough(PF_ModeFlags alphaMode = PF_MF_Alpha_PREMUL) {
  Body() = [alphaMode](PF_Cmd cmd, PF_InData* in, PF_OutData*, PF_ParamDef**, PF_LayerDef*,
                       void* extra) -> PF_Err {
    if (cmd == PF_Cmd_SMART_PRE_RENDER) {
      auto* pre = static_cast<PF_PreRenderExtra*>(extra);
      PF_CheckoutResult r{};
      if (PF_Err err = pre->cb->checkout_layer(in->effect_ref, 0, 1, &pre->input->output_request,
                                               in->current_time, in->time_step, in->time_scale, &r))
        return err;
      pre->output->result_rect = r.result_rect;
      pre->output->max_result_rect = r.max_result_rect;
      pre->output->delete_pre_render_data_func = CountDelete;
      return PF_Err_NONE;
    }
    if (cmd == PF_Cmd_SMART_RENDER) {
      auto* sr = static_cast<PF_SmartRenderExtra*>(extra);
      PF_EffectWorld* input = nullptr;
      PF_EffectWorld* output = nullptr;
      if (PF_Err err = sr->cb->checkout_layer_pixels(in->effect_ref, 1, &input)) return err;
      if (PF_Err err = sr->cb->checkout_output(in->effect_ref, &output)) return err;
      if (input == nullptr) return PF_Err_NONE;
      PF_CompositeMode mode{PF_Xfer_IN_FRONT, 0, 255, 0, 0};
      return in->utils->transfer_rect(
          in->effect_ref, in->quality, alphaMode, in->field, &input->extent_hint, input, &mode,
          nullptr, input->origin_x - output->origin_x, input->origin_y - output->origin_y, output);
    }
    return PF_Err_NONE;
  };
}

struct BoxCase {
  const char* name;
  PF_RationalScale ds;
  PF_LRect expected;
};

class CheckoutBox : public testing::TestWithParam<BoxCase> {};

TEST_P(CheckoutBox, IsTheLayerBoundsAtTheDownsample) {
  FakeHost f;
  InstallPassThrough();
  f.host.settings().SetDownsample(GetParam().ds, GetParam().ds);
  ASSERT_EQ(f.host.frames().SmartPreRender(), PF_Err_NONE);
  ASSERT_EQ(f.host.frames().layerCheckouts().size(), 1u);
  const quillstreak::host::LayerCheckout& c = f.host.frames().layerCheckouts()[0];
  EXPECT_TRUE(Same(c.resultRect, GetParam().expected))
      << c.resultRect.left << "," << c.resultRect.top << "," << c.resultRect.right << ","
      << c.resultRect.bottom;
  EXPECT_TRUE(Same(f.host.frames().preRenderOutput().result_rect, GetParam().expected));
  EXPECT_EQ(c.request.channel_mask, PF_ChannelMask_ARGB);
  EXPECT_EQ(c.request.rect.right, f.host.frames().DefaultOutputRequest().rect.right);
}

// The default layer: 100x100, anchor (50, 50), at (320, 180).
INSTANTIATE_TEST_SUITE_P(Cases, CheckoutBox,
                         testing::Values(BoxCase{"full", {1, 1}, Rect(270, 130, 370, 230)},
                                         BoxCase{"half", {1, 2}, Rect(135, 65, 185, 115)}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Frame, CheckoutLayerRejectsBadIdsAndArguments) {
  FakeHost f;
  PF_Err results[7] = {};
  Body() = [&](PF_Cmd cmd, PF_InData* in, PF_OutData*, PF_ParamDef**, PF_LayerDef*,
               void* extra) -> PF_Err {
    if (cmd != PF_Cmd_SMART_PRE_RENDER) return PF_Err_NONE;
    auto* pre = static_cast<PF_PreRenderExtra*>(extra);
    const PF_RenderRequest& req = pre->input->output_request;
    PF_CheckoutResult r{};
    auto checkout = pre->cb->checkout_layer;
    results[0] = checkout(in->effect_ref, 0, 3, &req, 0, 100, 2400, &r);
    results[1] = checkout(in->effect_ref, 0, 3, &req, 100, 100, 2400, &r);  // duplicate id
    results[2] = checkout(in->effect_ref, 0, -1, &req, 0, 100, 2400, &r);   // negative id
    results[3] = checkout(in->effect_ref, 0, 4, &req, 0, 100, 2400, nullptr);
    results[4] = checkout(in->effect_ref, 0, 5, nullptr, 0, 100, 2400, &r);
    results[5] = checkout(in->effect_ref, 0, 6, &req, 0, 100, 0, &r);  // no time scale
    results[6] = checkout(in->effect_ref, 0, 7, &req, 0, 1, 1, &r);    // whole seconds
    return PF_Err_NONE;
  };
  ASSERT_EQ(f.host.frames().SmartPreRender(), PF_Err_NONE);
  EXPECT_EQ(results[0], PF_Err_NONE);
  for (int i = 1; i < 6; ++i) EXPECT_NE(results[i], PF_Err_NONE) << i;
  EXPECT_EQ(results[6], PF_Err_NONE);
  EXPECT_EQ(f.host.frames().layerCheckouts().size(), 2u);
  EXPECT_EQ(
      quillstreak::test::Trace(f.host.journal(), {quillstreak::test::Op::checkout_layer})[1],
      quillstreak::test::Call<quillstreak::test::Op::checkout_layer>(
          {.index = 0, .checkout_id = 3, .what_time = 100, .time_step = 100, .time_scale = 2400}));
}

TEST(Frame, PixelsAndOutputWorlds) {
  FakeHost f;
  f.host.params().SetLayer(quillstreak::PARAM_MOTION_SOURCE, 0);
  PF_Err unknown = 0, none = 0, good = 0, out = 0;
  PF_EffectWorld* unknownWorld = nullptr;
  PF_EffectWorld* noneWorld = nullptr;
  PF_EffectWorld* goodWorld = nullptr;
  PF_EffectWorld* outWorld = nullptr;
  PF_EffectWorld goodCopy{};
  PF_EffectWorld outCopy{};
  int centreAlpha = -1;  // read while the world lives (the host frees it with the command)
  Body() = [&](PF_Cmd cmd, PF_InData* in, PF_OutData*, PF_ParamDef**, PF_LayerDef*,
               void* extra) -> PF_Err {
    if (cmd == PF_Cmd_SMART_PRE_RENDER) {
      auto* pre = static_cast<PF_PreRenderExtra*>(extra);
      PF_CheckoutResult r{};
      pre->cb->checkout_layer(in->effect_ref, 0, 1, &pre->input->output_request, 0, 100, 2400, &r);
      // Motion Source set to no layer: an empty box.
      pre->cb->checkout_layer(in->effect_ref, quillstreak::PARAM_MOTION_SOURCE, 2,
                              &pre->input->output_request, 0, 100, 2400, &r);
      return PF_Err_NONE;  // result_rect stays empty
    }
    if (cmd == PF_Cmd_SMART_RENDER) {
      auto* sr = static_cast<PF_SmartRenderExtra*>(extra);
      unknownWorld = &goodCopy;  // must be nulled
      unknown = sr->cb->checkout_layer_pixels(in->effect_ref, 9, &unknownWorld);
      none = sr->cb->checkout_layer_pixels(in->effect_ref, 2, &noneWorld);
      good = sr->cb->checkout_layer_pixels(in->effect_ref, 1, &goodWorld);
      if (goodWorld != nullptr) {
        goodCopy = *goodWorld;
        centreAlpha = goodWorld->data[50 * goodWorld->rowbytes / 4 + 50].alpha;
      }
      out = sr->cb->checkout_output(in->effect_ref, &outWorld);
      if (outWorld != nullptr) outCopy = *outWorld;
      EXPECT_EQ(sr->cb->checkout_layer_pixels(in->effect_ref, 1, nullptr),
                PF_Err_BAD_CALLBACK_PARAM);
      return sr->cb->checkin_layer_pixels(in->effect_ref, 1);
    }
    return PF_Err_NONE;
  };
  ASSERT_EQ(f.host.frames().SmartPreRender(), PF_Err_NONE);
  ASSERT_EQ(f.host.frames().SmartRender(), PF_Err_NONE);
  EXPECT_EQ(unknown, PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(unknownWorld, nullptr);
  EXPECT_EQ(none, PF_Err_NONE);
  EXPECT_EQ(noneWorld, nullptr);
  EXPECT_EQ(good, PF_Err_NONE);
  ASSERT_NE(goodWorld, nullptr);
  EXPECT_EQ(goodCopy.width, 100);
  EXPECT_EQ(goodCopy.height, 100);
  EXPECT_EQ(goodCopy.origin_x, 270);
  EXPECT_EQ(goodCopy.origin_y, 130);
  EXPECT_EQ(goodCopy.extent_hint.right, 100);
  EXPECT_EQ(centreAlpha, 255);  // inside the white rectangle
  EXPECT_EQ(out, PF_Err_NONE);
  ASSERT_NE(outWorld, nullptr);  // an empty result rectangle still gives a world
  EXPECT_EQ(outCopy.width, 0);
  EXPECT_EQ(outCopy.height, 0);
  EXPECT_EQ(f.host.worlds().bytesInUse(), 0u);  // only the kept (empty) output remains
  EXPECT_EQ(f.host.journal().Count(quillstreak::test::Op::checkin_layer_pixels), 1u);
}

TEST(Frame, WorldBudgetTurnsHugeCheckoutsIntoOutOfMemory) {
  FakeHost f;
  InstallPassThrough();
  f.host.scene().comp().layers[0].source.width = 20000;
  f.host.scene().comp().layers[0].source.height = 20000;
  f.host.settings().SetWorldBudget(64u << 20);
  ASSERT_EQ(f.host.frames().SmartPreRender(), PF_Err_NONE);
  EXPECT_EQ(f.host.frames().SmartRender(), PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(f.host.worlds().bytesInUse(), 0u);
}

TEST(Frame, AFrameBeyondTheBudgetIsOutOfMemoryNotACrash) {
  FakeHost f;
  InstallPassThrough();
  f.host.scene().comp().width = 30000;
  f.host.scene().comp().height = 30000;
  const quillstreak::host::FrameResult r = f.host.RenderFrame(0);
  EXPECT_EQ(r.err, PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(r.frame.width(), 0);
  ASSERT_NE(f.host.frames().outputWorld(),
            nullptr);  // only the effect's output (kept for inspection)
  EXPECT_EQ(f.host.worlds().bytesInUse(), f.host.frames().outputWorld()->bytes());
  // Compositing claims the room of its frame-sized worlds within the budget as well.
  f.host.scene().comp().width = f.host.scene().comp().height = 600;
  f.host.settings().SetWorldBudget(2 * quillstreak::host::World::BytesFor(600, 600));
  EXPECT_EQ(f.host.RenderFrame(0).err, PF_Err_OUT_OF_MEMORY);
}

TEST(Frame, AFrameWithoutColumnsIsLeftEmptyHoweverManyRows) {
  // A composition without width at an absurd vertical downsample: a frame of no bytes but 2^31
  // rows, which the composite used to walk row by row. It is left empty.
  FakeHost f;
  InstallPassThrough();
  f.host.scene().comp().width = 0;
  f.host.scene().comp().height = 16;
  f.host.settings().SetDownsample(PF_RationalScale{1, 1}, PF_RationalScale{715827882, 3});
  const quillstreak::host::FrameResult r = f.host.RenderFrame(0);
  EXPECT_EQ(r.err, PF_Err_NONE);
  EXPECT_EQ(r.frame.width(), 0);
  EXPECT_EQ(r.frame.height(), 0);
}

TEST(Frame, InDataFollowsTheCompositionAndTimeOverrides) {
  FakeHost f;
  A_long seen[4] = {};
  quillstreak::test::Body() = [&](PF_Cmd, PF_InData* in, PF_OutData*, PF_ParamDef**, PF_LayerDef*,
                                  void*) -> PF_Err {
    seen[0] = in->current_time;
    seen[1] = in->time_step;
    seen[2] = in->local_time_step;
    seen[3] = static_cast<A_long>(in->time_scale);
    return PF_Err_NONE;
  };
  f.host.scene().comp().timeScale = 30;
  f.host.scene().comp().frameDuration = 1;
  f.host.settings().SetTime(12);
  f.host.settings().SetTimeSteps(2, 3);
  ASSERT_EQ(f.host.frames().SmartPreRender(), PF_Err_NONE);
  EXPECT_EQ(seen[0], 12);
  EXPECT_EQ(seen[1], 2);
  EXPECT_EQ(seen[2], 3);
  EXPECT_EQ(seen[3], 30);
  f.host.settings().ClearTimeSteps();
  ASSERT_EQ(f.host.About(), PF_Err_NONE);
  EXPECT_EQ(seen[1], 1);
}

TEST(Frame, DeleterRunsOnceAtFrameEndNextPreRenderOrDestruction) {
  g_deleted = 0;
  {
    FakeHost f;
    InstallPassThrough();
    ASSERT_EQ(f.host.frames().SmartPreRender(), PF_Err_NONE);
    f.host.frames().EndFrame();
    f.host.frames().EndFrame();
    EXPECT_EQ(g_deleted, 1);
    ASSERT_EQ(f.host.frames().SmartPreRender(), PF_Err_NONE);
    ASSERT_EQ(f.host.frames().SmartPreRender(), PF_Err_NONE);  // ends the unrendered frame
    EXPECT_EQ(g_deleted, 2);
  }
  EXPECT_EQ(g_deleted, 3);
}

TEST(Frame, APreRenderWithoutItsRecordsDoesNotEndTheLastFrameAgain) {
  // A pre-render sent without its extra (or one that writes no output record) leaves the host
  // nothing new to delete; the last frame's data, deleted when that frame ended, must not be
  // handed to its deleter a second time.
  g_deleted = 0;
  FakeHost f;
  InstallPassThrough();
  const quillstreak::test::EffectBody passThrough = Body();
  Body() = [passThrough](PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef** params,
                         PF_LayerDef* output, void* extra) -> PF_Err {
    if (extra == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    return passThrough(cmd, in, out, params, output, extra);
  };
  ASSERT_EQ(f.host.frames().SmartPreRender(), PF_Err_NONE);
  ASSERT_EQ(f.host.frames().SmartRender(), PF_Err_NONE);
  f.host.frames().EndFrame();
  EXPECT_EQ(f.host.frames().preRenderOutput().delete_pre_render_data_func, nullptr);
  EXPECT_EQ(f.host.commands().Send(PF_Cmd_SMART_PRE_RENDER, nullptr, nullptr, nullptr),
            PF_Err_BAD_CALLBACK_PARAM);
  f.host.frames().EndFrame();
  EXPECT_EQ(g_deleted, 1);
}

TEST(Frame, RenderFrameCompositesLayersInOrderOverTheBackground) {
  // An opaque layer copied into a transparent output: the straight and premultiplied readings
  // agree there; any other mode is refused.
  for (const PF_ModeFlags mode :
       std::vector<PF_ModeFlags>{PF_MF_Alpha_PREMUL, PF_MF_Alpha_STRAIGHT, 7}) {
    SCOPED_TRACE(mode);
    FakeHost f;
    InstallPassThrough(mode);
    f.host.scene().comp().background = PF_Pixel{255, 0, 0, 255};
    quillstreak::host::Layer
        red;  // half-covered red, x 245 to 295: in front of the effect layer from 270
    red.id = 2;
    red.source.width = 50;
    red.source.height = 100;
    red.source.color = PF_Pixel{128, 255, 0, 0};
    red.transform.position.SetConstant({245.0, 130.0, 0.0, 0.0});
    f.host.scene().comp().AddLayer(red);
    g_deleted = 0;
    const quillstreak::host::FrameResult r = f.host.RenderFrame(0);
    EXPECT_EQ(g_deleted, 1);
    EXPECT_TRUE(f.host.accounts().Clear()) << f.host.accounts().Describe();
    if (mode == 7) {
      EXPECT_EQ(r.err, PF_Err_BAD_CALLBACK_PARAM);
      continue;
    }
    EXPECT_EQ(r.err, PF_Err_NONE);
    ASSERT_EQ(r.frame.width(), 640);
    ASSERT_EQ(r.frame.height(), 360);
    auto expectPixel = [&](A_long x, A_long y, PF_Pixel p) {
      const PF_Pixel& q = r.frame.at(x, y);
      EXPECT_TRUE(q.alpha == p.alpha && q.red == p.red && q.green == p.green && q.blue == p.blue)
          << x << "," << y << ": " << int(q.alpha) << " " << int(q.red) << " " << int(q.green)
          << " " << int(q.blue);
    };
    expectPixel(10, 10, PF_Pixel{255, 0, 0, 255});        // background
    expectPixel(350, 180, PF_Pixel{255, 255, 255, 255});  // effect layer (white)
    // Red at 128 over white: (255 * 128 + 255 * 127) / 255 = 255, (0 + 255 * 127) / 255 = 127;
    // over the blue background: 255 * 128 / 255 = 128 red, 255 * 127 / 255 = 127 blue.
    expectPixel(290, 180, PF_Pixel{255, 255, 127, 127});
    expectPixel(250, 180, PF_Pixel{255, 128, 0, 127});
    // The effect layer alone, frame-sized: its output where it was drawn, transparent elsewhere.
    const quillstreak::host::World layer = f.host.compositor().EffectLayerFrame();
    ASSERT_EQ(layer.width(), 640);
    ASSERT_EQ(layer.height(), 360);
    EXPECT_EQ(layer.at(350, 180).alpha, 255);
    EXPECT_EQ(layer.at(350, 180).blue, 255);
    EXPECT_EQ(layer.at(250, 180).alpha, 0);  // the red layer is not part of it
  }
}

TEST(Frame, PremultipliedTransfersOfStraightCopiesBrightenTheirSoftEdges) {
  // Two copies of a soft-edged ellipse, the second 30 px to the right of the first, drawn with
  // transfer_rect in the given alpha mode. Declared STRAIGHT, the second copy's edge over the first
  // keeps the layer's colour; declared PREMUL, the straight edge pixels are added to the colour
  // behind them and come out brighter. Elsewhere the two pictures are the same.
  auto render = [](PF_ModeFlags mode) {
    FakeHost f;
    quillstreak::host::Layer& layer = f.host.scene().comp().layers.front();
    layer.source.kind = quillstreak::host::LayerSource::Kind::Ellipse;
    layer.source.color = PF_Pixel{255, 200, 100, 50};
    Body() = [mode](PF_Cmd cmd, PF_InData* in, PF_OutData*, PF_ParamDef**, PF_LayerDef*,
                    void* extra) -> PF_Err {
      if (cmd == PF_Cmd_SMART_PRE_RENDER) {
        auto* pre = static_cast<PF_PreRenderExtra*>(extra);
        PF_CheckoutResult r{};
        if (PF_Err err =
                pre->cb->checkout_layer(in->effect_ref, 0, 1, &pre->input->output_request,
                                        in->current_time, in->time_step, in->time_scale, &r))
          return err;
        pre->output->result_rect = r.result_rect;
        pre->output->result_rect.right += 30;
        pre->output->max_result_rect = pre->output->result_rect;
        return PF_Err_NONE;
      }
      if (cmd != PF_Cmd_SMART_RENDER) return PF_Err_NONE;
      auto* sr = static_cast<PF_SmartRenderExtra*>(extra);
      PF_EffectWorld* input = nullptr;
      PF_EffectWorld* output = nullptr;
      if (PF_Err err = sr->cb->checkout_layer_pixels(in->effect_ref, 1, &input)) return err;
      if (PF_Err err = sr->cb->checkout_output(in->effect_ref, &output)) return err;
      PF_CompositeMode front{PF_Xfer_IN_FRONT, 0, 255, 0, 0};
      for (A_long shift : {0, 30}) {
        if (PF_Err err = in->utils->transfer_rect(in->effect_ref, in->quality, mode, in->field,
                                                  &input->extent_hint, input, &front, nullptr,
                                                  input->origin_x - output->origin_x + shift,
                                                  input->origin_y - output->origin_y, output))
          return err;
      }
      return PF_Err_NONE;
    };
    const quillstreak::host::FrameResult r = f.host.RenderFrame(0);
    EXPECT_EQ(r.err, PF_Err_NONE);
    return r.frame;
  };
  const quillstreak::host::World straight = render(PF_MF_Alpha_STRAIGHT);
  const quillstreak::host::World premul = render(PF_MF_Alpha_PREMUL);
  ASSERT_EQ(straight.width(), premul.width());
  int brighter = 0;
  for (A_long y = 0; y < straight.height(); ++y) {
    for (A_long x = 0; x < straight.width(); ++x) {
      const PF_Pixel& s = straight.at(x, y);
      const PF_Pixel& p = premul.at(x, y);
      ASSERT_TRUE(p.red >= s.red && p.green >= s.green && p.blue >= s.blue) << x << "," << y;
      if (p.green > s.green + 20) ++brighter;
    }
  }
  // Across the second copy's left edge in row 150 (x = 309.6), which lies over the first copy's
  // interior: straight, the layer's colour over itself is that colour; premultiplied, a light
  // contour.
  int contour = 0;
  for (A_long x = 300; x < 320; ++x) {
    EXPECT_EQ(straight.at(x, 150).green, 100) << x;
    if (premul.at(x, 150).green > 120) ++contour;
  }
  EXPECT_GT(contour, 0);
  EXPECT_GT(brighter, 10);
}

}  // namespace
