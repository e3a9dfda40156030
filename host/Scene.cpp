#include "host/Scene.h"

#include <utility>

namespace quillstreak::host {

Scene::Scene() {
  Layer layer;
  layer.id = 1;
  layer.name = "Layer 1";
  layer.source.kind = LayerSource::Kind::Rectangle;
  layer.source.width = 100;
  layer.source.height = 100;
  layer.transform.anchor.SetConstant({50.0, 50.0, 0.0, 0.0});
  layer.transform.position.SetConstant({320.0, 180.0, 0.0, 0.0});
  comp_.layers.push_back(std::move(layer));
}

A_long Scene::EffectLayerTime(A_long compTime) const {
  const Layer* layer = comp_.FindLayer(effectLayer());
  if (layer == nullptr) return compTime;
  return static_cast<A_long>(comp_.LayerTime(*layer, compTime, comp_.timeScale));
}

std::int32_t Scene::effectLayer() const {
  if (effectLayer_ != 0) return effectLayer_;
  return comp_.layers.empty() ? 0 : comp_.layers.front().id;
}

}  // namespace quillstreak::host
