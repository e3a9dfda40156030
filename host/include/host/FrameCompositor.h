// The frame as the host shows it: the composition's layers composited over its background at
// the downsample, the effect layer through the effect's last output.
#pragma once

#include <string>

#include "host/pixels/World.h"
#include "hostapi/HostApi.h"

namespace quillstreak::host {

struct Layer;
class RenderSettings;
class Scene;
class WorldPool;

class FrameCompositor {
 public:
  FrameCompositor(const Scene& scene, const RenderSettings& settings, WorldPool& worlds)
      : scene_(scene), settings_(settings), worlds_(worlds) {}
  FrameCompositor(const FrameCompositor&) = delete;
  FrameCompositor& operator=(const FrameCompositor&) = delete;

  /// The frame at `time` into `frame`: the layers bottom to top onto a transparent canvas with
  /// TransferInFront (the effect layer as the last output, or not at all when `withOutput` is
  /// false or there is none), then the canvas over the background colour with
  /// CompositeOverBackground: straight-alpha "over" throughout. A frame without pixels is left
  /// empty. Its pictures (the canvas, a layer's picture and the frame) count against the world
  /// budget; when they do not fit, or memory runs out, gives PF_Err_OUT_OF_MEMORY and an empty
  /// frame. `time` is the composition's: each layer is drawn at its own time there, and not at
  /// all outside its in and out points. When a changing source's frame cannot be had, gives
  /// PF_Err_INTERNAL_STRUCT_DAMAGED, an empty frame and (when given) the reason in `problem`.
  PF_Err Composite(A_long time, bool withOutput, World& frame,
                   std::string* problem = nullptr) const;
  /// The last output placed on a transparent world the size of the frame (the composition at
  /// the downsample): the effect layer alone, as it goes into the frame.
  World EffectLayerFrame() const;

 private:
  // The last output in front of `canvas`, at its origin; nothing when there is none.
  void DrawOutput(World& canvas) const;
  // One layer other than the effect's, rendered at composition time `time` in front of
  // `canvas`.
  void DrawLayer(const Layer& layer, A_long time, World& canvas) const;

  const Scene& scene_;
  const RenderSettings& settings_;
  WorldPool& worlds_;
};

}  // namespace quillstreak::host
