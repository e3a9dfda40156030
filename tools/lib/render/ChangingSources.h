// The frames a render reads of each layer whose source changes over time: checked before
// anything is written, and listed by the dry run.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "renderer/ParamCatalog.h"
#include "renderer/SceneFile.h"

namespace quillstreak::renderer {

/// The frames of one changing layer's source that a render may show.
struct SourceUse {
  std::int32_t layerId = 0;
  std::string layerName;
  std::shared_ptr<MediaSource> media;
  std::vector<std::int64_t> frames;  // source frame indices, ascending, each once
};

/// For each changing layer of `scenes` (a scene and its variants, which share their sources),
/// the frames rendering composition frames `frames` may show: a layer other than the effect's
/// at each frame's time, the effect's layer over each frame's shutter interval (the Shutter
/// Angle at that time; its trail copies lie there), each within the layer's in and out points.
std::vector<SourceUse> SourceFramesNeeded(const std::vector<const SceneFile*>& scenes,
                                          const std::vector<long>& frames,
                                          const ParamCatalog& catalog);

/// Checks every frame of `uses` (SourceUse::media->Check); throws InputError naming the scene,
/// the layer's source and the first frame that cannot be had.
void CheckSourceFrames(const SceneFile& scene, const std::vector<SourceUse>& uses);

}  // namespace quillstreak::renderer
