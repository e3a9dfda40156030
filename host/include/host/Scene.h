// What the host renders: the composition and the layer the effect is applied to.
#pragma once

#include <cstdint>

#include "host/Composition.h"

namespace quillstreak::host {

class Scene {
 public:
  /// One layer (id 1, "Layer 1", a 100x100 white rectangle) centred in a 640x360 composition
  /// at 2400 units per second, frames of 100 units.
  Scene();

  /// The composition; edit it between commands.
  Composition& comp() { return comp_; }
  const Composition& comp() const { return comp_; }

  /// The layer the effect is applied to (default: the first layer's id).
  void SetEffectLayer(std::int32_t layerId) { effectLayer_ = layerId; }
  std::int32_t effectLayer() const;

  /// A layer's transform at its own time value/scale (keyframe times count composition units
  /// of the layer's time).
  TransformValues TransformAt(const Layer& layer, std::int64_t value, std::uint32_t scale) const {
    return layer.transform.Evaluate(value, scale, comp_.timeScale);
  }

  /// The effect layer's own time at composition time `compTime` (composition units), within
  /// the range of A_long (Composition::LayerTime): in_data's current_time.
  A_long EffectLayerTime(A_long compTime) const;

 private:
  Composition comp_;
  std::int32_t effectLayer_ = 0;
};

}  // namespace quillstreak::host
