// The host's use of the layer cache: rendering a layer checkout, or copying it from an earlier
// frame's rendering of the same layer, time, transform, source and downsample.
#include <new>

#include "host/Host.h"

namespace qshost {

void Host::SetLayerCache(bool on) {
  layerCacheOn_ = on;
  if (!on) layerCache_.Clear();
}

void Host::RenderCheckoutPixels(const Layer& layer, const LayerCheckout& checkout, World& world) {
  const TransformValues xf = LayerTransformAt(layer, checkout.time, checkout.timeScale);
  if (!layerCacheOn_) {
    RenderLayer(layer.source, xf, dsx(), dsy(), world, threads_);
    return;
  }
  auto fingerprint = sourceFingerprints_.find(layer.id);
  if (fingerprint == sourceFingerprints_.end()) {
    fingerprint =
        sourceFingerprints_.emplace(layer.id, LayerCache::SourceFingerprint(layer.source)).first;
  }
  LayerRenderKey key;
  key.layerId = layer.id;
  key.time = checkout.time;
  key.timeScale = checkout.timeScale;
  key.dsx = dsx();
  key.dsy = dsy();
  key.transform = xf;
  key.box = PF_LRect{world.def().origin_x, world.def().origin_y,
                     world.def().origin_x + world.width(), world.def().origin_y + world.height()};
  key.source = fingerprint->second;
  if (layerCache_.CopyTo(key, world)) return;
  RenderLayer(layer.source, xf, dsx(), dsy(), world, threads_);
  try {
    layerCache_.Store(key, world, worldBudget_ / 2);
  } catch (const std::bad_alloc&) {
    layerCache_.Clear();  // no room to keep it: the frame itself is complete
  }
}

}  // namespace qshost
