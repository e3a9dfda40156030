// What the host renders and when: the composition, the layer the effect is applied to, and the
// time and time steps of the next commands.
#pragma once

#include <cstdint>
#include <optional>

#include "host/Composition.h"
#include "hostapi/HostApi.h"

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

  /// current_time (composition time = layer time) of the next commands.
  void SetTime(A_long time) { time_ = time; }
  A_long time() const { return time_; }
  /// time_step and local_time_step of the next commands (default: comp().frameDuration).
  void SetTimeSteps(A_long timeStep, A_long localTimeStep);
  void ClearTimeSteps();
  A_long timeStep() const { return timeStep_.value_or(comp_.frameDuration); }
  A_long localTimeStep() const { return localTimeStep_.value_or(comp_.frameDuration); }

  /// A layer's transform at time value/scale (keyframe times count composition units; layers
  /// have no time offset or stretch, so layer time and composition time coincide).
  TransformValues TransformAt(const Layer& layer, std::int64_t value, std::uint32_t scale) const {
    return layer.transform.Evaluate(value, scale, comp_.timeScale);
  }

 private:
  Composition comp_;
  std::int32_t effectLayer_ = 0;
  A_long time_ = 0;
  std::optional<A_long> timeStep_;
  std::optional<A_long> localTimeStep_;
};

}  // namespace quillstreak::host
