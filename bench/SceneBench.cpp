// Scenes through Host::RenderFrame as the renderer makes them: the renderer's own demo scene
// (when its scene library is built) and a scene like it at 1920x1080.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FrameSetup.h"
#include "params/ParamIndex.h"

#if QS_BENCH_DEMO_SCENE
#include "renderer/ParamCatalog.h"
#include "renderer/RenderSession.h"
#include "renderer/SceneFile.h"
#endif

namespace {

using namespace quillstreak::bench;

// Frames through Host::RenderFrame (pre-render, render, compositing over the background), as the
// renderer makes them, frames 0 to durationFrames - 1 cycled; x_realtime above 1 is faster than
// the scene's frame rate. The frame's conversion to a picture and the PNG file are not included.
void RenderScene(benchmark::State& state, Host& host, double fps, int frames) {
  std::int64_t frame = 0;
  double samples = 0;
  for (auto _ : state) {
    const A_long time = static_cast<A_long>(frame++ % frames) * kFrame;
    quillstreak::host::FrameResult result = host.RenderFrame(time);
    if (result.err != PF_Err_NONE) {
      state.SkipWithError("frame failed");
      break;
    }
    samples += static_cast<double>(host.frames().layerCheckouts().size()) - 1;
    benchmark::DoNotOptimize(result.frame.def().data);
  }
  const double done = static_cast<double>(state.iterations());
  state.counters["frames_per_s"] = benchmark::Counter(done, benchmark::Counter::kIsRate);
  state.counters["x_realtime"] = benchmark::Counter(done / fps, benchmark::Counter::kIsRate);
  state.counters["samples_per_frame"] = done > 0 ? samples / done : 0;
}

#if QS_BENCH_DEMO_SCENE
// Scales a stream's values (all components) by `factor`.
void ScaleStream(quillstreak::host::Stream& stream, double factor) {
  if (!stream.animated()) return;
  const std::vector<quillstreak::host::Keyframe> keys = stream.keyframes();
  for (quillstreak::host::Keyframe k : keys) {
    for (double& v : k.value) v *= factor;
    stream.AddKeyframe(k);
  }
}

// The renderer's built-in demo scene; scale 2 doubles the composition, the layers' sizes,
// positions and anchor points (the shipped demo is 960x540: scale 2 gives 1920x1080).
void BM_RendererDemo(benchmark::State& state) {
  const int scale = static_cast<int>(state.range(0));
  std::unique_ptr<Host> host;
  quillstreak::renderer::SceneFile scene;
  try {
    host = SetUpHost(nullptr);
    const quillstreak::renderer::ParamCatalog catalog(host->params().declared());
    scene = quillstreak::renderer::ParseScene(quillstreak::renderer::DemoSceneText(), "<demo>", "",
                                              catalog);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  scene.comp.width *= scale;
  scene.comp.height *= scale;
  for (quillstreak::host::Layer& layer : scene.comp.layers) {
    if (layer.source.kind !=
        quillstreak::host::LayerSource::Kind::Image) {  // images keep their pixels
      layer.source.width *= scale;
      layer.source.height *= scale;
    }
    const quillstreak::host::StreamValue anchor =
        layer.transform.anchor.Evaluate(0, scene.comp.timeScale, scene.comp.timeScale);
    if (!layer.transform.anchor.animated()) {
      layer.transform.anchor.SetConstant({anchor[0] * scale, anchor[1] * scale, anchor[2], 0});
    }
    ScaleStream(layer.transform.anchor, scale);
    const quillstreak::host::StreamValue position =
        layer.transform.position.Evaluate(0, scene.comp.timeScale, scene.comp.timeScale);
    if (!layer.transform.position.animated()) {
      layer.transform.position.SetConstant({position[0] * scale, position[1] * scale, 0, 0});
    }
    ScaleStream(layer.transform.position, scale);
  }
  quillstreak::renderer::SetUpScene(*host, scene);
  state.SetLabel(std::to_string(scene.comp.width) + "x" + std::to_string(scene.comp.height) + ", " +
                 std::to_string(static_cast<int>(scene.fps)) + " fps");
  RenderScene(state, *host, scene.fps, std::max(1, static_cast<int>(scene.durationFrames)));
}
BENCHMARK(BM_RendererDemo)
    ->ArgName("scale")
    ->Arg(2)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
#endif

// A scene like the renderer's demo, at 1920x1080 and 24 fps: a 360 px ellipse travelling on a
// curve while it turns and scales, ramp fill on, 48 frames.
void SetUpDemoLikeScene(Host& host) {
  quillstreak::host::Composition& comp = host.scene().comp();
  comp.width = 1920;
  comp.height = 1080;
  comp.timeScale = 2400;
  comp.frameDuration = kFrame;
  comp.duration = 48 * kFrame;
  comp.background = PF_Pixel{255, 24, 24, 32};
  comp.layers.clear();
  quillstreak::host::Layer shape;
  shape.id = 1;
  shape.name = "Shape";
  shape.source.kind = quillstreak::host::LayerSource::Kind::Ellipse;
  shape.source.width = 360;
  shape.source.height = 360;
  shape.source.color = PF_Pixel{255, 255, 255, 255};
  shape.transform.anchor.SetConstant({180.0, 180.0, 0.0, 0.0});
  shape.transform.position.AddKeyframe(0, {300.0, 800.0, 0.0, 0.0},
                                       quillstreak::host::Interp::Eased);
  shape.transform.position.AddKeyframe(1600, {960.0, 250.0, 0.0, 0.0},
                                       quillstreak::host::Interp::Eased);
  shape.transform.position.AddKeyframe(3200, {1620.0, 800.0, 0.0, 0.0},
                                       quillstreak::host::Interp::Eased);
  shape.transform.position.AddKeyframe(4700, {960.0, 540.0, 0.0, 0.0});
  shape.transform.rotateZ.AddKeyframe(0, {0.0, 0.0, 0.0, 0.0});
  shape.transform.rotateZ.AddKeyframe(4700, {360.0, 0.0, 0.0, 0.0});
  shape.transform.scale.AddKeyframe(0, {60.0, 60.0, 100.0, 0.0});
  shape.transform.scale.AddKeyframe(2400, {140.0, 140.0, 100.0, 0.0});
  shape.transform.scale.AddKeyframe(4700, {80.0, 80.0, 100.0, 0.0});
  comp.layers.push_back(std::move(shape));
  host.scene().SetEffectLayer(1);
}

void BM_DemoLikeScene1080p(benchmark::State& state) {
  std::unique_ptr<Host> host;
  try {
    host = SetUpHost(SetUpDemoLikeScene);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  using namespace quillstreak;
  host->params().SetFloat(PARAM_MOTION_THRESHOLD, 8.0);
  host->params().SetFloat(PARAM_SHUTTER_ANGLE, 1440.0);
  host->params().SetCheckbox(PARAM_RAMP_FILL_ENABLE, true);
  host->params().SetColor(PARAM_RAMP_START_COLOR, PF_Pixel{255, 30, 60, 255});
  host->params().SetColor(PARAM_RAMP_END_COLOR, PF_Pixel{255, 255, 160, 30});
  host->params().SetFloat(PARAM_OPACITY, 85.0);
  RenderScene(state, *host, 24.0, 48);
}
BENCHMARK(BM_DemoLikeScene1080p)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
