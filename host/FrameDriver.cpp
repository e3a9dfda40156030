#include "host/FrameDriver.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include "host/HostRecords.h"
#include "host/LayerCache.h"
#include "host/ParamStore.h"
#include "host/Scene.h"
#include "host/WorldPool.h"

namespace quillstreak::host {

namespace {

bool EmptyRect(const PF_LRect& r) { return r.left >= r.right || r.top >= r.bottom; }

// Bytes of a world of that size, as World lays it out.
std::uint64_t WorldBytes(A_long width, A_long height) {
  return (static_cast<std::uint64_t>(std::max<A_long>(width, 0)) * 4 + 15) / 16 * 16 *
         static_cast<std::uint64_t>(std::max<A_long>(height, 0));
}

// The layers' source images, which count against the world budget.
std::uint64_t SourceImageBytes(const Scene& scene) {
  std::uint64_t bytes = 0;
  for (const Layer& layer : scene.comp().layers)
    bytes += layer.source.pixels.size() * sizeof(PF_Pixel);
  return bytes;
}

}  // namespace

A_long FrameDriver::FrameWidth() const {
  return HostRecords::Scaled(scene_.comp().width, records_.in_data().downsample_x);
}

A_long FrameDriver::FrameHeight() const {
  return HostRecords::Scaled(scene_.comp().height, records_.in_data().downsample_y);
}

PF_RenderRequest FrameDriver::DefaultOutputRequest() const {
  PF_RenderRequest req{};
  req.rect = PF_LRect{0, 0, FrameWidth(), FrameHeight()};
  req.field = records_.in_data().field;
  req.channel_mask = PF_ChannelMask_ARGB;
  req.preserve_rgb_of_zero_alpha = 0;
  return req;
}

void FrameDriver::SetPreRenderEntryRects(PF_LRect result, PF_LRect maxResult) {
  entryResult_ = result;
  entryMax_ = maxResult;
}

const World* FrameDriver::outputWorld() const { return worlds_.lastOutput(); }

// ---------------------------------------------------------------------------------------------
// Commands
// ---------------------------------------------------------------------------------------------
PF_Err FrameDriver::Send(PF_Cmd cmd, PF_ParamDef** params, PF_LayerDef* output, void* extra) {
  if (records_.busy())
    throw std::logic_error("quillstreak::host::Host: a command is already running");
  if (cmd == PF_Cmd_SMART_PRE_RENDER) {
    FinishFrame();
    checkouts_.clear();
    framePending_ = true;
    worlds_.DropLastOutput();
    worlds_.BeginFrame();
  }
  if (cmd == PF_Cmd_SMART_RENDER) worlds_.DropLastOutput();
  worlds_.SetImageBytes(SourceImageBytes(scene_));
  inPreRender_ = cmd == PF_Cmd_SMART_PRE_RENDER;
  inRender_ = cmd == PF_Cmd_SMART_RENDER;
  const PF_Err err = records_.Call(cmd, params, output, extra);
  inPreRender_ = false;
  inRender_ = false;
  if (cmd == PF_Cmd_SMART_PRE_RENDER && extra != nullptr) {
    const auto* pre = static_cast<const PF_PreRenderExtra*>(extra);
    if (pre->output != nullptr && pre->output != &preOut_) preOut_ = *pre->output;
  }
  pixelWorlds_.clear();
  worlds_.EndCommand();
  return err;
}

PF_Err FrameDriver::SmartPreRender() {
  FinishFrame();
  records_.SyncInData(scene_);
  preIn_ = PF_PreRenderInput{};
  preIn_.output_request = requestOverride_ ? *requestOverride_ : DefaultOutputRequest();
  preIn_.bitdepth = 8;
  preOut_ = PF_PreRenderOutput{};
  preOut_.result_rect = entryResult_;
  preOut_.max_result_rect = entryMax_;
  PF_PreRenderExtra extra{&preIn_, &preOut_, &records_.preRenderCallbacks()};
  return Send(PF_Cmd_SMART_PRE_RENDER, nullptr, nullptr, &extra);
}

PF_Err FrameDriver::SmartRender() {
  records_.SyncInData(scene_);
  renderIn_ = PF_SmartRenderInput{};
  renderIn_.output_request = preIn_.output_request;
  renderIn_.bitdepth = 8;
  renderIn_.pre_render_data = framePending_ ? preOut_.pre_render_data : nullptr;
  sourceFingerprints_.clear();  // sources may have been edited since the last render
  PF_SmartRenderExtra extra{&renderIn_, &records_.smartRenderCallbacks()};
  return Send(PF_Cmd_SMART_RENDER, nullptr, nullptr, &extra);
}

void FrameDriver::EndFrame() {
  if (records_.busy()) throw std::logic_error("quillstreak::host::Host: EndFrame during a command");
  FinishFrame();
}

void FrameDriver::FinishFrame() {
  if (!framePending_) return;
  framePending_ = false;
  // Forgotten before the deleter runs, so that the data cannot reach it twice: a later
  // pre-render that leaves no output record (or none at all) would otherwise end with it again.
  const PF_DeletePreRenderDataFunc deleter = preOut_.delete_pre_render_data_func;
  void* const data = preOut_.pre_render_data;
  preOut_.delete_pre_render_data_func = nullptr;
  preOut_.pre_render_data = nullptr;
  if (deleter != nullptr) records_.CallDeleter(deleter, data);
}

FrameResult FrameDriver::RenderFrame(A_long time) {
  FrameResult result;
  scene_.SetTime(time);
  result.preRenderErr = SmartPreRender();
  if (result.preRenderErr == PF_Err_NONE) result.renderErr = SmartRender();
  result.err = result.preRenderErr != PF_Err_NONE ? result.preRenderErr : result.renderErr;

  const A_long width = FrameWidth();
  const A_long height = FrameHeight();
  const double dsx = records_.dsx();
  const double dsy = records_.dsy();
  const std::int32_t effectLayer = scene_.effectLayer();
  const World* output = worlds_.lastOutput();
  // A frame without pixels is left empty: one with no width may still have 2^31 rows (at an
  // absurd downsample), which compositing would walk one by one.
  if (width <= 0 || height <= 0) {
    EndFrame();
    return result;
  }
  // The frame's pictures (the canvas, a layer's picture and the frame) count against the world
  // budget like any other world; a frame that does not fit gives PF_Err_OUT_OF_MEMORY and an
  // empty picture instead of exhausting the machine.
  try {
    if (!worlds_.MakeRoom(3 * WorldBytes(width, height))) throw std::bad_alloc();
    World canvas(width, height);
    for (const Layer& layer : scene_.comp().layers) {
      if (layer.id == effectLayer) {
        if (result.err == PF_Err_NONE && output != nullptr && output->width() > 0 &&
            output->height() > 0) {
          const PF_EffectWorld& out = output->def();
          TransferInFront(out, PF_Rect{0, 0, out.width, out.height}, out.origin_x, out.origin_y,
                          255, canvas.def(), threads_);
        }
        continue;
      }
      const TransformValues xf = scene_.TransformAt(layer, time, scene_.comp().timeScale);
      PF_LRect box = LayerBounds(layer.source, xf, dsx, dsy);
      box.left = std::max<A_long>(box.left, 0);
      box.top = std::max<A_long>(box.top, 0);
      box.right = std::min(box.right, width);
      box.bottom = std::min(box.bottom, height);
      if (EmptyRect(box)) continue;
      World picture(box.right - box.left, box.bottom - box.top, box.left, box.top);
      RenderLayer(layer.source, xf, dsx, dsy, picture, threads_);
      TransferInFront(picture.def(), PF_Rect{0, 0, picture.width(), picture.height()}, box.left,
                      box.top, 255, canvas.def(), threads_);
    }
    CompositeOverBackground(canvas, scene_.comp().background, result.frame);
  } catch (const std::length_error&) {
    if (result.err == PF_Err_NONE) result.err = PF_Err_OUT_OF_MEMORY;
    result.frame = World();
  } catch (const std::bad_alloc&) {
    if (result.err == PF_Err_NONE) result.err = PF_Err_OUT_OF_MEMORY;
    result.frame = World();
  }
  EndFrame();
  return result;
}

World FrameDriver::EffectLayerFrame() const {
  World canvas(FrameWidth(), FrameHeight());
  const World* output = worlds_.lastOutput();
  if (output != nullptr && output->width() > 0 && output->height() > 0) {
    const PF_EffectWorld& out = output->def();
    TransferInFront(out, PF_Rect{0, 0, out.width, out.height}, out.origin_x, out.origin_y, 255,
                    canvas.def(), threads_);
  }
  return canvas;
}

// ---------------------------------------------------------------------------------------------
// Layer checkouts
// ---------------------------------------------------------------------------------------------
const Layer* FrameDriver::LayerForCheckout(int index) const {
  if (index == 0) return scene_.comp().FindLayer(scene_.effectLayer());
  if (index < 0 || index >= params_.count()) return nullptr;
  if (params_.TypeAt(index) != PF_Param_LAYER) return nullptr;
  return scene_.comp().FindLayer(params_.LayerAt(index));
}

PF_Err FrameDriver::CheckoutLayer(PF_ParamIndex index, A_long id, const PF_RenderRequest& request,
                                  A_long time, A_long timeStep, A_u_long timeScale,
                                  PF_CheckoutResult& result) {
  if (timeScale == 0 || id < 0 || !inPreRender_) return PF_Err_BAD_CALLBACK_PARAM;
  for (const LayerCheckout& c : checkouts_)
    if (c.id == id) return PF_Err_BAD_CALLBACK_PARAM;
  // Index 0 is the input layer; any other index must be a layer parameter.
  if (index < 0 || index >= params_.count() ||
      (index != 0 && params_.TypeAt(index) != PF_Param_LAYER))
    return PF_Err_INVALID_INDEX;
  const Layer* layer = LayerForCheckout(index);
  PF_LRect box{0, 0, 0, 0};
  if (layer != nullptr) {
    box = LayerBounds(layer->source, scene_.TransformAt(*layer, time, timeScale), records_.dsx(),
                      records_.dsy());
  }
  result = PF_CheckoutResult{};
  result.result_rect = box;
  result.max_result_rect = box;
  result.par = PF_RationalScale{1, 1};
  result.ref_width = layer != nullptr ? layer->source.width : 0;
  result.ref_height = layer != nullptr ? layer->source.height : 0;
  LayerCheckout record;
  record.index = index;
  record.id = id;
  record.time = time;
  record.timeStep = timeStep;
  record.timeScale = timeScale;
  record.request = request;
  record.resultRect = box;
  record.maxResultRect = box;
  record.layerId = layer != nullptr ? layer->id : 0;
  checkouts_.push_back(record);
  return PF_Err_NONE;
}

PF_Err FrameDriver::CheckoutLayerPixels(A_long id, PF_EffectWorld*& pixels) {
  if (!inRender_) return PF_Err_BAD_CALLBACK_PARAM;
  auto it = std::find_if(checkouts_.begin(), checkouts_.end(),
                         [id](const LayerCheckout& c) { return c.id == id; });
  if (it == checkouts_.end()) return PF_Err_BAD_CALLBACK_PARAM;
  const PF_LRect& box = it->resultRect;
  if (EmptyRect(box)) return PF_Err_NONE;
  if (auto cached = pixelWorlds_.find(id); cached != pixelWorlds_.end()) {
    pixels = &cached->second->def();
    return PF_Err_NONE;
  }
  World* world = nullptr;
  const Layer* layer = scene_.comp().FindLayer(it->layerId);
  // A rendered checkout writes every pixel: its world need not be cleared first.
  if (const PF_Err err = worlds_.Allocate(static_cast<std::int64_t>(box.right) - box.left,
                                          static_cast<std::int64_t>(box.bottom) - box.top, box.left,
                                          box.top, world, layer == nullptr))
    return err;
  if (layer != nullptr) RenderCheckout(*layer, *it, *world);
  pixelWorlds_[id] = world;
  pixels = &world->def();
  return PF_Err_NONE;
}

PF_Err FrameDriver::CheckoutOutput(PF_EffectWorld*& output) {
  if (!inRender_) return PF_Err_BAD_CALLBACK_PARAM;
  World* world = worlds_.commandOutput();
  if (world == nullptr) {
    const PF_LRect& r = preOut_.result_rect;
    const bool empty = EmptyRect(r);
    if (const PF_Err err = worlds_.AllocateOutput(
            empty ? 0 : static_cast<std::int64_t>(r.right) - r.left,
            empty ? 0 : static_cast<std::int64_t>(r.bottom) - r.top, r.left, r.top, world))
      return err;
  }
  output = &world->def();
  return PF_Err_NONE;
}

// A checkout's pixels: copied from an earlier frame's rendering of the same layer, time,
// transform, source and downsample when the layer cache has one, else rendered (and cached).
void FrameDriver::RenderCheckout(const Layer& layer, const LayerCheckout& checkout, World& world) {
  const TransformValues xf = scene_.TransformAt(layer, checkout.time, checkout.timeScale);
  const double dsx = records_.dsx();
  const double dsy = records_.dsy();
  if (!worlds_.layerCacheOn()) {
    RenderLayer(layer.source, xf, dsx, dsy, world, threads_);
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
  key.dsx = dsx;
  key.dsy = dsy;
  key.transform = xf;
  key.box = PF_LRect{world.def().origin_x, world.def().origin_y,
                     world.def().origin_x + world.width(), world.def().origin_y + world.height()};
  key.source = fingerprint->second;
  if (worlds_.FromLayerCache(key, world)) return;
  RenderLayer(layer.source, xf, dsx, dsy, world, threads_);
  worlds_.ToLayerCache(key, world);
}

}  // namespace quillstreak::host
