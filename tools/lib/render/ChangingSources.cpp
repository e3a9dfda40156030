#include "render/ChangingSources.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

#include "renderer/InputError.h"

namespace quillstreak::renderer {
namespace {

using quillstreak::host::Layer;

// The Shutter Angle of a scene at the effect layer's time `time` (its keyframes are in that
// time), as the scene and its overrides set it, else its default.
double ShutterAngleAt(const SceneFile& scene, const ParamCatalog& catalog, std::int64_t time) {
  const ParamInfo* info = catalog.Find("Shutter Angle");
  if (info == nullptr) return 0;
  for (const ParamSetting& p : scene.params) {
    if (p.index != info->index) continue;
    if (p.keys.empty()) return p.constant.number;
    quillstreak::host::Stream stream;
    for (const ParamKey& k : p.keys)
      stream.AddKeyframe(k.time, {k.value.number, 0, 0, 0}, k.interp);
    return stream.Evaluate(time, scene.comp.timeScale, scene.comp.timeScale)[0];
  }
  return info->def.u.fs_d.value;
}

// Adds the frames `layer` shows from its own time `from` to `to` (inclusive).
void AddFrames(const Layer& layer, std::uint32_t scale, std::int64_t from, std::int64_t to,
               std::set<std::int64_t>& frames) {
  const std::int64_t count = layer.frames->frameCount();
  // Unwrapped frame numbers (no end, no loop), then each as the layer shows it.
  const auto raw = [&](std::int64_t t) {
    return quillstreak::host::FrameIndexAt(t, scale, layer.frames->rate(),
                                           std::numeric_limits<std::int64_t>::max(), false);
  };
  std::int64_t first = raw(from), last = raw(to);
  if (!layer.loop) {  // past its end the layer holds its last frame
    first = std::min(first, count - 1);
    last = std::min(last, count - 1);
  } else if (last - first + 1 >= count) {
    first = 0;
    last = count - 1;
  }
  for (std::int64_t i = first; i <= last; ++i) frames.insert(i % count);
}

}  // namespace

std::vector<SourceUse> SourceFramesNeeded(const std::vector<const SceneFile*>& scenes,
                                          const std::vector<long>& frames,
                                          const ParamCatalog& catalog) {
  std::vector<SourceUse> uses;
  if (scenes.empty()) return uses;
  for (const SceneFile::ChangingLayer& c : scenes.front()->changing) {
    std::set<std::int64_t> shown;
    std::string name;
    for (const SceneFile* scene : scenes) {
      const quillstreak::host::Composition& comp = scene->comp;
      const Layer* layer = comp.FindLayer(c.layerId);
      if (layer == nullptr) continue;
      name = layer->name;
      const std::uint32_t scale = comp.timeScale;
      for (const long f : frames) {
        const std::int64_t time = static_cast<std::int64_t>(f) * kUnitsPerFrame;
        if (!comp.Active(*layer, time, scale)) continue;
        const std::int64_t now = comp.LayerTime(*layer, time, scale);
        std::int64_t from = now;
        if (c.layerId == scene->effectLayer) {
          // The trail reaches back by the shutter, not before the in point.
          const double angle = ShutterAngleAt(*scene, catalog, now);
          const double ticks = std::ceil(kUnitsPerFrame * std::clamp(angle, 0.0, 1e9) / 360.0);
          from = std::max(now - static_cast<std::int64_t>(ticks),
                          comp.LayerTime(*layer, layer->timing.inPoint, scale));
        }
        AddFrames(*layer, scale, from, now, shown);
      }
    }
    uses.push_back({c.layerId, name, c.media, {shown.begin(), shown.end()}});
  }
  return uses;
}

void CheckSourceFrames(const SceneFile& scene, const std::vector<SourceUse>& uses) {
  for (const SourceUse& use : uses) {
    try {
      use.media->Check(use.frames);
    } catch (const InputError& e) {
      std::string path;
      for (const auto& c : scene.changing)
        if (c.layerId == use.layerId) path = c.path;
      throw InputError(scene.file + ": " + path + ": " + e.what());
    }
  }
}

}  // namespace quillstreak::renderer
