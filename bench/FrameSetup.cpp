// The frame cases' stage (FrameSetup.h).
#include "FrameSetup.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <utility>
#include <vector>

#include "params/ParamIndex.h"

namespace quillstreak::bench {

namespace {

// Turns the host's layer cache on or off (a no-op for a host without one).
template <typename H>
auto SetCache(H& host, bool on, int) -> decltype(host.settings().SetLayerCache(on), void()) {
  host.settings().SetLayerCache(on);
}
template <typename H>
void SetCache(H&, bool, long) {}

}  // namespace

quillstreak::host::Module& TheModule() {
  static quillstreak::host::Module module(quillstreak::host::DefaultModulePath());
  return module;
}

double RectBytes(const PF_LRect& r) {
  if (r.left >= r.right || r.top >= r.bottom) return 0;
  return 4.0 * (static_cast<double>(r.right) - r.left) * (static_cast<double>(r.bottom) - r.top);
}

// Straight ARGB picture: opaque with a soft alpha border and a colour gradient.
quillstreak::host::LayerSource ImageSource(A_long width, A_long height) {
  quillstreak::host::LayerSource src;
  src.kind = quillstreak::host::LayerSource::Kind::Image;
  src.width = width;
  src.height = height;
  src.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (A_long y = 0; y < height; ++y) {
    for (A_long x = 0; x < width; ++x) {
      const A_long edge = std::min(std::min(x, width - 1 - x), std::min(y, height - 1 - y));
      const auto a = static_cast<A_u_char>(edge >= 16 ? 255 : 16 * edge);
      src.pixels[static_cast<std::size_t>(y) * width + x] = PF_Pixel{
          a, static_cast<A_u_char>(x * 255 / width), static_cast<A_u_char>(y * 255 / height), 160};
    }
  }
  return src;
}

void SetUpSlidingLayer(Host& host) {
  quillstreak::host::Composition& comp = host.scene().comp();
  comp.width = 1920;
  comp.height = 1080;
  comp.timeScale = 2400;
  comp.frameDuration = kFrame;
  comp.duration = (kCycleFrames + 100) * kFrame + kFirstFrameTime;
  comp.layers.clear();
  quillstreak::host::Layer layer;
  layer.id = 1;
  layer.name = "Slide";
  layer.source = ImageSource(1280, 720);
  layer.transform.anchor.SetConstant({640.0, 360.0, 0.0, 0.0});
  // Back and forth between x = 640 and x = 1280, 2929 units per leg.
  for (std::int32_t k = 0; k * 2929 <= comp.duration + 2929; ++k) {
    layer.transform.position.AddKeyframe(k * 2929, {k % 2 == 0 ? 640.0 : 1280.0, 540.0, 0.0, 0.0});
  }
  comp.layers.push_back(std::move(layer));
  host.scene().SetEffectLayer(1);
}

// A host for the module, `setUpScene` (the composition and the effect's layer) done before
// global and parameter setup. Throws std::runtime_error when a setup command fails.
std::unique_ptr<Host> SetUpHost(const std::function<void(Host&)>& setUpScene) {
  auto host = std::make_unique<Host>(TheModule());
  if (setUpScene) setUpScene(*host);
  if (host->GlobalSetup() != PF_Err_NONE || host->ParamsSetup() != PF_Err_NONE) {
    throw std::runtime_error("setup failed");
  }
  return host;
}

std::unique_ptr<Host> MakeFrameHost(const FrameCase& c) {
  std::unique_ptr<Host> host = SetUpHost(SetUpSlidingLayer);
  using namespace quillstreak;
  host->settings().SetDownsample(PF_RationalScale{1, static_cast<A_u_long>(c.downsample)},
                                 PF_RationalScale{1, static_cast<A_u_long>(c.downsample)});
  host->params().SetFloat(PARAM_TIME_THRESHOLD, static_cast<double>(c.step) / c.downsample);
  const double window = c.samples == 0 ? 0.0 : (c.samples - 1) * static_cast<double>(c.step);
  // shutterTicks = trunc(frame * angle / 360): a hair above the exact angle survives truncation.
  host->params().SetFloat(PARAM_SHUTTER_ANGLE, window * 360.0 / kFrame + 0.001);
  host->params().SetFloat(PARAM_MOTION_THRESHOLD, c.samples == 0 ? 20.0 : 0.0);
  host->params().SetCheckbox(PARAM_RAMP_FILL_ENABLE, c.ramp);
  host->params().SetColor(PARAM_RAMP_START_COLOR, PF_Pixel{255, 255, 200, 0});
  host->params().SetColor(PARAM_RAMP_END_COLOR, PF_Pixel{255, 0, 40, 255});
  host->params().SetFloat(PARAM_OPACITY, 100.0);
  SetCache(*host, c.cache, 0);
  return host;
}

// One frame: pre-render, render, end. Returns the bytes the effect's passes moved, or < 0 on error.
double RenderOne(Host& host, A_long time, bool ramp, int expectSamples, std::string& error) {
  host.settings().SetTime(time);
  if (host.frames().SmartPreRender() != PF_Err_NONE) {
    error = "smart pre-render failed";
    return -1;
  }
  double bytes = RectBytes(host.frames().preRenderOutput().result_rect);  // the clear
  int samples = 0;
  for (const quillstreak::host::LayerCheckout& c : host.frames().layerCheckouts()) {
    const double b = RectBytes(c.resultRect);
    bytes += 3 * b;  // in-front transfer: source read, destination read and written
    if (c.id != static_cast<A_long>(host.frames().layerCheckouts().size()) + 1) {
      ++samples;
      if (ramp) bytes += 2 * b;  // repaint in place
    }
  }
  if (samples != expectSamples) {
    error =
        "expected " + std::to_string(expectSamples) + " samples, got " + std::to_string(samples);
    return -1;
  }
  if (const PF_Err err = host.frames().SmartRender(); err != PF_Err_NONE) {
    error = "smart render failed (" + std::to_string(err) + ")";
    return -1;
  }
  host.frames().EndFrame();
  return bytes;
}

}  // namespace quillstreak::bench
