#include "host/FrameCompositor.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include "host/RenderSettings.h"
#include "host/Scene.h"
#include "host/WorldPool.h"
#include "host/pixels/Pixels.h"

namespace quillstreak::host {

PF_Err FrameCompositor::Composite(A_long time, bool withOutput, World& frame,
                                  std::string* problem) const {
  const A_long width = settings_.FrameWidth(scene_.comp());
  const A_long height = settings_.FrameHeight(scene_.comp());
  // A frame without pixels is left empty: one with no width may still have 2^31 rows (at an
  // absurd downsample), which compositing would walk one by one.
  if (width <= 0 || height <= 0) return PF_Err_NONE;
  try {
    if (!worlds_.MakeRoom(3 * World::BytesFor(width, height))) throw std::bad_alloc();
    World canvas(width, height);
    for (const Layer& layer : scene_.comp().layers) {
      if (layer.id != scene_.effectLayer())
        DrawLayer(layer, time, canvas);
      else if (withOutput && scene_.comp().Active(layer, time, scene_.comp().timeScale))
        DrawOutput(canvas);
    }
    CompositeOverBackground(canvas, scene_.comp().background, frame);
  } catch (const std::length_error&) {
    frame = World();
    return PF_Err_OUT_OF_MEMORY;
  } catch (const std::bad_alloc&) {
    frame = World();
    return PF_Err_OUT_OF_MEMORY;
  } catch (const std::exception& e) {
    frame = World();
    if (problem != nullptr) *problem = e.what();
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
  return PF_Err_NONE;
}

World FrameCompositor::EffectLayerFrame() const {
  World canvas(settings_.FrameWidth(scene_.comp()), settings_.FrameHeight(scene_.comp()));
  DrawOutput(canvas);
  return canvas;
}

void FrameCompositor::DrawOutput(World& canvas) const {
  const World* output = worlds_.lastOutput();
  if (output == nullptr || output->width() <= 0 || output->height() <= 0) return;
  const PF_EffectWorld& out = output->def();
  TransferInFront(out, PF_Rect{0, 0, out.width, out.height}, out.origin_x, out.origin_y, 255,
                  canvas.def(), settings_.threads());
}

void FrameCompositor::DrawLayer(const Layer& layer, A_long time, World& canvas) const {
  const double dsx = settings_.dsx();
  const double dsy = settings_.dsy();
  const std::uint32_t scale = scene_.comp().timeScale;
  if (!scene_.comp().Active(layer, time, scale)) return;
  const std::int64_t layerTime = scene_.comp().LayerTime(layer, time, scale);
  const TransformValues xf = scene_.TransformAt(layer, layerTime, scale);
  PF_LRect box = LayerBounds(layer.source, xf, dsx, dsy);
  box.left = std::max<A_long>(box.left, 0);
  box.top = std::max<A_long>(box.top, 0);
  box.right = std::min(box.right, canvas.width());
  box.bottom = std::min(box.bottom, canvas.height());
  if (box.left >= box.right || box.top >= box.bottom) return;
  World picture(box.right - box.left, box.bottom - box.top, box.left, box.top);
  RenderLayer(*worlds_.LayerPicture(layer, layer.FrameAt(layerTime, scale)), xf, dsx, dsy, picture,
              settings_.threads());
  TransferInFront(picture.def(), PF_Rect{0, 0, picture.width(), picture.height()}, box.left,
                  box.top, 255, canvas.def(), settings_.threads());
}

}  // namespace quillstreak::host
