#include "host/FrameProtocol.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include "host/HostRecords.h"
#include "host/LayerCache.h"
#include "host/ParamStore.h"
#include "host/RenderSettings.h"
#include "host/Scene.h"
#include "host/WorldPool.h"
#include "host/pixels/Pixels.h"

namespace quillstreak::host {

namespace {

bool EmptyRect(const PF_LRect& r) { return r.left >= r.right || r.top >= r.bottom; }

}  // namespace

FrameProtocol::FrameProtocol(CommandRunner& runner, HostRecords& records, const Scene& scene,
                             const ParamStore& params, const RenderSettings& settings,
                             WorldPool& worlds)
    : runner_(runner),
      records_(records),
      scene_(scene),
      params_(params),
      settings_(settings),
      worlds_(worlds) {
  runner_.SetHooks(this);
}

PF_RenderRequest FrameProtocol::DefaultOutputRequest() const {
  PF_RenderRequest req{};
  req.rect =
      PF_LRect{0, 0, settings_.FrameWidth(scene_.comp()), settings_.FrameHeight(scene_.comp())};
  req.field = records_.in_data().field;
  req.channel_mask = PF_ChannelMask_ARGB;
  req.preserve_rgb_of_zero_alpha = 0;
  return req;
}

const World* FrameProtocol::outputWorld() const { return worlds_.lastOutput(); }

// ---------------------------------------------------------------------------------------------
// Commands
// ---------------------------------------------------------------------------------------------
void FrameProtocol::BeforeCommand(PF_Cmd cmd) {
  if (cmd == PF_Cmd_SMART_PRE_RENDER) {
    FinishFrame();
    checkouts_.clear();
    framePending_ = true;
    worlds_.DropLastOutput();
    worlds_.BeginFrame();
  }
  if (cmd == PF_Cmd_SMART_RENDER) worlds_.DropLastOutput();
  inPreRender_ = cmd == PF_Cmd_SMART_PRE_RENDER;
  inRender_ = cmd == PF_Cmd_SMART_RENDER;
}

void FrameProtocol::AfterCommand(PF_Cmd cmd, void* extra) {
  inPreRender_ = false;
  inRender_ = false;
  if (cmd == PF_Cmd_SMART_PRE_RENDER && extra != nullptr) {
    const auto* pre = static_cast<const PF_PreRenderExtra*>(extra);
    if (pre->output != nullptr && pre->output != &preOut_) preOut_ = *pre->output;
  }
  pixelWorlds_.clear();
}

PF_Err FrameProtocol::SmartPreRender() {
  FinishFrame();
  sourceError_.clear();
  records_.SyncInData(scene_, settings_);
  preIn_ = PF_PreRenderInput{};
  const std::optional<PF_RenderRequest>& request = settings_.outputRequest();
  preIn_.output_request = request ? *request : DefaultOutputRequest();
  preIn_.bitdepth = 8;
  preOut_ = PF_PreRenderOutput{};
  preOut_.result_rect = settings_.entryResultRect();
  preOut_.max_result_rect = settings_.entryMaxResultRect();
  PF_PreRenderExtra extra{&preIn_, &preOut_, &records_.preRenderCallbacks()};
  return runner_.Send(PF_Cmd_SMART_PRE_RENDER, nullptr, nullptr, &extra);
}

PF_Err FrameProtocol::SmartRender() {
  records_.SyncInData(scene_, settings_);
  renderIn_ = PF_SmartRenderInput{};
  renderIn_.output_request = preIn_.output_request;
  renderIn_.bitdepth = 8;
  renderIn_.pre_render_data = framePending_ ? preOut_.pre_render_data : nullptr;
  sourceFingerprints_.clear();  // sources may have been edited since the last render
  sourceError_.clear();
  PF_SmartRenderExtra extra{&renderIn_, &records_.smartRenderCallbacks()};
  return runner_.Send(PF_Cmd_SMART_RENDER, nullptr, nullptr, &extra);
}

void FrameProtocol::EndFrame() {
  if (runner_.busy()) throw std::logic_error("quillstreak::host::Host: EndFrame during a command");
  FinishFrame();
}

void FrameProtocol::SkipFrame() {
  EndFrame();
  checkouts_.clear();
  worlds_.DropLastOutput();
}

void FrameProtocol::FinishFrame() {
  if (!framePending_) return;
  framePending_ = false;
  // Forgotten before the deleter runs, so that the data cannot reach it twice: a later
  // pre-render that leaves no output record (or none at all) would otherwise end with it again.
  const PF_DeletePreRenderDataFunc deleter = preOut_.delete_pre_render_data_func;
  void* const data = preOut_.pre_render_data;
  preOut_.delete_pre_render_data_func = nullptr;
  preOut_.pre_render_data = nullptr;
  if (deleter != nullptr) runner_.CallDeleter(deleter, data);
}

// ---------------------------------------------------------------------------------------------
// Layer checkouts
// ---------------------------------------------------------------------------------------------
const Layer* FrameProtocol::LayerForCheckout(int index) const {
  if (index == 0) return scene_.comp().FindLayer(scene_.effectLayer());
  if (index < 0 || index >= params_.count()) return nullptr;
  if (params_.TypeAt(index) != PF_Param_LAYER) return nullptr;
  return scene_.comp().FindLayer(params_.LayerAt(index));
}

PF_Err FrameProtocol::CheckoutLayer(PF_ParamIndex index, A_long id, const PF_RenderRequest& request,
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
  LayerCheckout record;
  PF_LRect box{0, 0, 0, 0};
  if (layer != nullptr) {
    // The time is the effect layer's; the layer is drawn at the same composition time, in its
    // own time, and not at all outside its in and out points.
    const Layer* effectLayer = scene_.comp().FindLayer(scene_.effectLayer());
    const std::int64_t compTime =
        effectLayer != nullptr ? scene_.comp().CompTime(*effectLayer, time, timeScale) : time;
    record.layerTime = scene_.comp().LayerTime(*layer, compTime, timeScale);
    if (scene_.comp().Active(*layer, compTime, timeScale)) {
      box = LayerBounds(layer->source, scene_.TransformAt(*layer, record.layerTime, timeScale),
                        settings_.dsx(), settings_.dsy());
    }
  }
  result = PF_CheckoutResult{};
  result.result_rect = box;
  result.max_result_rect = box;
  result.par = PF_RationalScale{1, 1};
  result.ref_width = layer != nullptr ? layer->source.width : 0;
  result.ref_height = layer != nullptr ? layer->source.height : 0;
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

PF_Err FrameProtocol::CheckoutLayerPixels(A_long id, PF_EffectWorld*& pixels) {
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
  if (layer != nullptr) {
    try {
      RenderCheckout(*layer, *it, *world);
    } catch (const std::bad_alloc&) {
      return PF_Err_OUT_OF_MEMORY;
    } catch (const std::exception& e) {
      sourceError_ = e.what();
      return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
  }
  pixelWorlds_[id] = world;
  pixels = &world->def();
  return PF_Err_NONE;
}

PF_Err FrameProtocol::CheckoutOutput(PF_EffectWorld*& output) {
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
void FrameProtocol::RenderCheckout(const Layer& layer, const LayerCheckout& checkout,
                                   World& world) {
  const TransformValues xf = scene_.TransformAt(layer, checkout.layerTime, checkout.timeScale);
  const std::int64_t frame = layer.FrameAt(checkout.layerTime, checkout.timeScale);
  const double dsx = settings_.dsx();
  const double dsy = settings_.dsy();
  // A changing source's frame is decoded only when no rendering of it is cached.
  auto render = [&] {
    RenderLayer(*worlds_.LayerPicture(layer, frame), xf, dsx, dsy, world, settings_.threads());
  };
  if (!worlds_.layerCacheOn()) {
    render();
    return;
  }
  auto fingerprint = [&]() -> std::uint64_t {
    if (layer.frames) return LayerCache::FrameFingerprint(layer.frames->serial(), frame);
    auto found = sourceFingerprints_.find(layer.id);
    if (found == sourceFingerprints_.end())
      found =
          sourceFingerprints_.emplace(layer.id, LayerCache::SourceFingerprint(layer.source)).first;
    return found->second;
  };
  LayerRenderKey key;
  key.layerId = layer.id;
  key.time = checkout.layerTime;
  key.timeScale = checkout.timeScale;
  key.dsx = dsx;
  key.dsy = dsy;
  key.transform = xf;
  key.box = PF_LRect{world.def().origin_x, world.def().origin_y,
                     world.def().origin_x + world.width(), world.def().origin_y + world.height()};
  key.source = fingerprint();
  if (worlds_.FromLayerCache(key, world)) return;
  render();
  worlds_.ToLayerCache(key, world);
}

}  // namespace quillstreak::host
