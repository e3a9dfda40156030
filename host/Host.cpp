#include "host/Host.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <sstream>
#include <stdexcept>

#include "host/HostDetail.h"

namespace qshost {

namespace {

thread_local Host* t_current = nullptr;

// Fresh handle memory is filled with this byte so that an effect reading a field it never wrote
// sees a recognisable, non-zero value instead of a lucky zero.
constexpr unsigned char kHandleFill = 0xA5;
// Largest handle the host hands out; bigger requests get null, as when memory runs out.
constexpr A_HandleSize kMaxHandleSize = A_HandleSize{1} << 32;

bool EmptyRect(const PF_LRect& r) { return r.left >= r.right || r.top >= r.bottom; }

A_long ScaledSize(A_long size, const PF_RationalScale& ds) {
  if (ds.den == 0 || ds.num <= 0) return size;
  const double scaled = std::ceil(static_cast<double>(size) * ds.num / static_cast<double>(ds.den));
  // Absurd factors give absurd sizes, which the world budget then refuses.
  if (!(scaled < 2147483647.0)) return std::numeric_limits<A_long>::max();
  if (!(scaled > -2147483648.0)) return 0;
  return static_cast<A_long>(scaled);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Accounts
// ---------------------------------------------------------------------------------------------
bool Accounts::Clear() const {
  if (handles != 0 || params != 0 || streams != 0 || streamValues != 0 || effectRefs != 0)
    return false;
  for (const auto& [name, count] : suites)
    if (count != 0) return false;
  return true;
}

std::string Accounts::Describe() const {
  std::ostringstream os;
  os << "handles=" << handles << " params=" << params << " streams=" << streams
     << " streamValues=" << streamValues << " effectRefs=" << effectRefs << " suites={";
  bool first = true;
  for (const auto& [name, count] : suites) {
    if (count == 0) continue;
    os << (first ? "" : ", ") << name << ":" << count;
    first = false;
  }
  os << "}";
  return os.str();
}

// ---------------------------------------------------------------------------------------------
// Command scope: marks the host busy and makes it the current host of this thread.
// ---------------------------------------------------------------------------------------------
class Host::CommandScope {
 public:
  explicit CommandScope(Host& host) : host_(host), previous_(t_current) {
    if (host_.busy_) throw std::logic_error("qshost::Host: a command is already running");
    host_.busy_ = true;
    t_current = &host_;
  }
  ~CommandScope() {
    t_current = previous_;
    host_.busy_ = false;
  }
  CommandScope(const CommandScope&) = delete;
  CommandScope& operator=(const CommandScope&) = delete;

 private:
  Host& host_;
  Host* previous_;
};

Host* Host::Current() { return t_current; }

// ---------------------------------------------------------------------------------------------
// Construction
// ---------------------------------------------------------------------------------------------
Host::Host(PF_FilterProc entry) : entry_(entry), effectRefCell_(new char[64]()) {
  if (entry_ == nullptr) throw std::invalid_argument("qshost::Host: null entry point");
  detail::InstallCallbacks(in_.inter, utils_, basic_, preCb_, renderCb_);
  in_.utils = &utils_;
  in_.pica_basicP = &basic_;
  in_.effect_ref = reinterpret_cast<PF_ProgPtr>(effectRefCell_.get());
  in_.quality = PF_Quality_HI;
  in_.version = PF_SpecVersion{13, 28};
  in_.appl_id = 0x46585443;  // 'FXTC'
  in_.num_params = 1;
  in_.field = PF_Field_FRAME;
  in_.shutter_angle = 180 << 16;
  in_.downsample_x = PF_RationalScale{1, 1};
  in_.downsample_y = PF_RationalScale{1, 1};
  in_.pixel_aspect_ratio = PF_RationalScale{1, 1};

  Layer layer;
  layer.id = 1;
  layer.name = "Layer 1";
  layer.source.kind = LayerSource::Kind::Rectangle;
  layer.source.width = 100;
  layer.source.height = 100;
  layer.transform.anchor.SetConstant({50.0, 50.0, 0.0, 0.0});
  layer.transform.position.SetConstant({320.0, 180.0, 0.0, 0.0});
  comp_.layers.push_back(std::move(layer));
  SyncInData();
}

Host::~Host() {
  try {
    if (!busy_) FinishFrame();
  } catch (...) {
  }
}

void Host::SyncInData() {
  in_.current_time = time_;
  in_.time_step = timeStep_.value_or(comp_.frameDuration);
  in_.local_time_step = localTimeStep_.value_or(comp_.frameDuration);
  in_.total_time = comp_.duration;
  in_.time_scale = comp_.timeScale;
  in_.width = ScaledSize(comp_.width, in_.downsample_x);
  in_.height = ScaledSize(comp_.height, in_.downsample_y);
  in_.extent_hint = PF_Rect{0, 0, in_.width, in_.height};
}

std::int32_t Host::effectLayer() const {
  if (effectLayer_ != 0) return effectLayer_;
  return comp_.layers.empty() ? 0 : comp_.layers.front().id;
}

void Host::SetDownsample(PF_RationalScale x, PF_RationalScale y) {
  in_.downsample_x = x;
  in_.downsample_y = y;
}

double Host::dsx() const {
  return in_.downsample_x.den != 0
             ? static_cast<double>(in_.downsample_x.num) / in_.downsample_x.den
             : 1.0;
}

double Host::dsy() const {
  return in_.downsample_y.den != 0
             ? static_cast<double>(in_.downsample_y.num) / in_.downsample_y.den
             : 1.0;
}

// ---------------------------------------------------------------------------------------------
// Parameters
// ---------------------------------------------------------------------------------------------
int Host::NumParams() const {
  return declared_.empty() ? 24 : static_cast<int>(declared_.size()) + 1;
}

Host::ParamTrack& Host::Track(int index) {
  if (index < 0 || index >= static_cast<int>(kMaxParams))
    throw std::out_of_range("qshost::Host: parameter index " + std::to_string(index));
  return tracks_[index];
}

void Host::SetFloat(int index, double value) {
  ParamTrack& t = Track(index);
  t.kind = ParamKind::Float;
  t.stream.SetConstant({value, 0.0, 0.0, 0.0});
}

void Host::KeyFloat(int index, std::int32_t time, double value, Interp interp) {
  ParamTrack& t = Track(index);
  if (t.kind != ParamKind::Float || !t.stream.animated()) t.stream = Stream();
  t.kind = ParamKind::Float;
  t.stream.AddKeyframe(time, {value, 0.0, 0.0, 0.0}, interp);
}

void Host::SetColor(int index, PF_Pixel color) {
  ParamTrack& t = Track(index);
  t.kind = ParamKind::Color;
  t.stream.SetConstant({static_cast<double>(color.alpha), static_cast<double>(color.red),
                        static_cast<double>(color.green), static_cast<double>(color.blue)});
}

void Host::KeyColor(int index, std::int32_t time, PF_Pixel color, Interp interp) {
  ParamTrack& t = Track(index);
  if (t.kind != ParamKind::Color || !t.stream.animated()) t.stream = Stream();
  t.kind = ParamKind::Color;
  t.stream.AddKeyframe(time,
                       {static_cast<double>(color.alpha), static_cast<double>(color.red),
                        static_cast<double>(color.green), static_cast<double>(color.blue)},
                       interp);
}

void Host::SetCheckbox(int index, bool on) {
  ParamTrack& t = Track(index);
  t.kind = ParamKind::Checkbox;
  t.stream.SetConstant({on ? 1.0 : 0.0, 0.0, 0.0, 0.0});
}

void Host::KeyCheckbox(int index, std::int32_t time, bool on) {
  ParamTrack& t = Track(index);
  if (t.kind != ParamKind::Checkbox || !t.stream.animated()) t.stream = Stream();
  t.kind = ParamKind::Checkbox;
  t.stream.AddKeyframe(time, {on ? 1.0 : 0.0, 0.0, 0.0, 0.0}, Interp::Hold);
}

void Host::SetLayerParam(int index, std::int32_t layerId) {
  ParamTrack& t = Track(index);
  t.kind = ParamKind::Layer;
  t.stream.SetConstant({static_cast<double>(layerId), 0.0, 0.0, 0.0});
}

void Host::ResetParam(int index) { tracks_.erase(index); }

PF_ParamDef Host::BaseDefinition(int index) const {
  PF_ParamDef def{};
  if (index == 0) {
    def.param_type = PF_Param_LAYER;
    return def;
  }
  if (index >= 1 && index <= static_cast<int>(declared_.size())) return declared_[index - 1];
  auto it = tracks_.find(index);
  const ParamKind kind = it != tracks_.end() ? it->second.kind : ParamKind::Unset;
  switch (kind) {
    case ParamKind::Float:
      def.param_type = PF_Param_FLOAT_SLIDER;
      break;
    case ParamKind::Color:
      def.param_type = PF_Param_COLOR;
      break;
    case ParamKind::Checkbox:
      def.param_type = PF_Param_CHECKBOX;
      break;
    case ParamKind::Layer:
      def.param_type = PF_Param_LAYER;
      break;
    case ParamKind::Unset:
      def.param_type = PF_Param_NO_DATA;
      break;
  }
  return def;
}

std::int32_t Host::LayerParam(int index) const {
  if (index == 0) return effectLayer();
  auto it = tracks_.find(index);
  if (it != tracks_.end() && it->second.kind == ParamKind::Layer)
    return static_cast<std::int32_t>(it->second.stream.Evaluate(0, 1, 1)[0]);
  if (index >= 1 && index <= static_cast<int>(declared_.size()) &&
      declared_[index - 1].param_type == PF_Param_LAYER &&
      declared_[index - 1].u.ld.dephault == PF_LayerDefault_MYSELF)
    return effectLayer();
  return 0;
}

PF_ParamDef Host::ParamAt(int index, A_long time, A_u_long scale) const {
  if (index < 0 || index >= NumParams())
    throw std::out_of_range("qshost::Host: parameter index " + std::to_string(index));
  PF_ParamDef def = BaseDefinition(index);
  auto it = tracks_.find(index);
  const ParamTrack* track = it != tracks_.end() ? &it->second : nullptr;
  const bool set = track != nullptr && track->kind != ParamKind::Unset;
  const StreamValue v = set ? track->stream.Evaluate(time, scale, comp_.timeScale) : StreamValue{};
  auto channel = [](double c) {
    if (!(c > 0.0)) return static_cast<A_u_char>(0);
    if (c >= 255.0) return static_cast<A_u_char>(255);
    return static_cast<A_u_char>(std::lround(c));
  };
  switch (def.param_type) {
    case PF_Param_LAYER: {
      const A_long dephault = def.u.ld.dephault;
      def.u.ld = PF_LayerDef{};
      def.u.ld.dephault = dephault;
      if (LayerParam(index) != 0) {
        // The effect only tests data for null; it points at a host-owned pixel.
        def.u.ld.data = const_cast<PF_Pixel*>(layerMarker_);
        def.u.ld.width = 1;
        def.u.ld.height = 1;
        def.u.ld.rowbytes = 4;
        def.u.ld.extent_hint = PF_Rect{0, 0, 1, 1};
        def.u.ld.pix_aspect_ratio = PF_RationalScale{1, 1};
      }
      break;
    }
    case PF_Param_FLOAT_SLIDER:
      if (set) def.u.fs_d.value = v[0];
      break;
    case PF_Param_CHECKBOX:
      if (set) def.u.bd.value = v[0] != 0.0 ? 1 : 0;
      break;
    case PF_Param_COLOR:
      if (set)
        def.u.cd.value = PF_Pixel{channel(v[0]), channel(v[1]), channel(v[2]), channel(v[3])};
      break;
    default:
      break;
  }
  return def;
}

double Host::FloatAt(int index, A_long time) const {
  const PF_ParamDef def = ParamAt(index, time, comp_.timeScale);
  if (def.param_type == PF_Param_FLOAT_SLIDER) return def.u.fs_d.value;
  auto it = tracks_.find(index);
  return it != tracks_.end() ? it->second.stream.Evaluate(time, comp_.timeScale, comp_.timeScale)[0]
                             : 0.0;
}

PF_Pixel Host::ColorAt(int index, A_long time) const {
  return ParamAt(index, time, comp_.timeScale).u.cd.value;
}

bool Host::CheckboxAt(int index, A_long time) const {
  return ParamAt(index, time, comp_.timeScale).u.bd.value != 0;
}

AEGP_DynStreamFlags Host::DynamicFlags(int index) const {
  auto it = dynFlags_.find(index);
  return it != dynFlags_.end() ? it->second : 0;
}

std::vector<PF_ParamDef> Host::CurrentParams() const {
  std::vector<PF_ParamDef> defs;
  for (int i = 0; i < NumParams(); ++i) defs.push_back(ParamAt(i, time_, comp_.timeScale));
  return defs;
}

// ---------------------------------------------------------------------------------------------
// Journal and faults: every callback passes through Enter or Record once.
// ---------------------------------------------------------------------------------------------
A_long Host::Enter(Op op, CallArgs args) {
  const A_long code = faults_.Consult(op, true);
  journal_.Add(op, std::move(args), code);
  return code;
}

void Host::Record(Op op, CallArgs args) {
  faults_.Consult(op, false);
  journal_.Add(op, std::move(args), 0);
}

void Host::RecordStubCall(std::string_view member, std::int64_t code) {
  const A_long injected = Enter(Op::Stub, args::Stub{member});
  if (injected == 0) SetLastResult(code);
}

// ---------------------------------------------------------------------------------------------
// Handles: classic handles, a pointer to the host's pointer to the data block.
// ---------------------------------------------------------------------------------------------
PF_Handle Host::NewHandle(A_HandleSize size) {
  if (size > kMaxHandleSize) return nullptr;
  const std::size_t bytes = static_cast<std::size_t>(std::max<A_HandleSize>(size, 1));
  auto block = std::make_unique<HandleBlock>();
  block->storage.reset(new (std::nothrow) unsigned char[bytes]);
  if (!block->storage) return nullptr;
  std::memset(block->storage.get(), kHandleFill, bytes);
  block->master = block->storage.get();
  block->size = size;
  block->serial = ++handleSerial_;
  PF_Handle handle = &block->master;
  handles_[handle] = std::move(block);
  ++accounts_.handles;
  return handle;
}

Host::HandleBlock* Host::FindHandle(PF_Handle handle) {
  auto it = handles_.find(handle);
  return it != handles_.end() ? it->second.get() : nullptr;
}

std::int64_t Host::HandleId(PF_Handle handle) const {
  if (handle == nullptr) return 0;
  auto it = handles_.find(handle);
  return it != handles_.end() ? it->second->serial : -1;
}

bool Host::DisposeHandle(PF_Handle handle) {
  auto it = handles_.find(handle);
  if (it == handles_.end()) return false;
  handles_.erase(it);
  --accounts_.handles;
  return true;
}

bool Host::ResizeHandle(HandleBlock& block, A_HandleSize size) {
  if (size > kMaxHandleSize) return false;
  const std::size_t bytes = static_cast<std::size_t>(std::max<A_HandleSize>(size, 1));
  std::unique_ptr<unsigned char[]> storage(new (std::nothrow) unsigned char[bytes]);
  if (!storage) return false;
  const std::size_t keep = static_cast<std::size_t>(std::min(size, block.size));
  std::memset(storage.get(), kHandleFill, bytes);
  if (keep > 0) std::memcpy(storage.get(), block.storage.get(), keep);
  block.storage = std::move(storage);
  block.master = block.storage.get();
  block.size = size;
  return true;
}

// ---------------------------------------------------------------------------------------------
// AEGP objects: opaque handles owned by the host for its whole life, so a stale handle is
// recognised (and refused) rather than dereferenced.
// ---------------------------------------------------------------------------------------------
Host::AegpObject* Host::NewAegp(AegpKind kind, std::int32_t value) {
  auto obj = std::make_unique<AegpObject>();
  obj->self = obj.get();
  obj->kind = kind;
  obj->value = value;
  AegpObject* raw = obj.get();
  aegp_[raw] = std::move(obj);
  return raw;
}

Host::AegpObject* Host::FindAegp(const void* handle, AegpKind kind) const {
  auto it = aegp_.find(handle);
  if (it == aegp_.end() || it->second->kind != kind) return nullptr;
  return it->second.get();
}

Host::AegpObject* Host::LiveAegp(const void* handle, AegpKind kind) const {
  AegpObject* obj = FindAegp(handle, kind);
  return obj != nullptr && obj->live ? obj : nullptr;
}

void* Host::LayerHandle(std::int32_t layerId) {
  AegpObject*& obj = layerHandles_[layerId];
  if (obj == nullptr) obj = NewAegp(AegpKind::Layer, layerId);
  return obj;
}

void* Host::CompHandle() {
  if (compHandle_ == nullptr) compHandle_ = NewAegp(AegpKind::Comp, 0);
  return compHandle_;
}

// ---------------------------------------------------------------------------------------------
// Worlds
// ---------------------------------------------------------------------------------------------
PF_Err Host::NewWorld(std::int64_t width, std::int64_t height, A_long originX, A_long originY,
                      World*& world) {
  world = nullptr;
  if (width < 0 || height < 0) return PF_Err_BAD_CALLBACK_PARAM;
  constexpr std::int64_t kMaxSide = std::int64_t{1} << 30;
  if (width > kMaxSide || height > kMaxSide) return PF_Err_OUT_OF_MEMORY;
  const std::uint64_t rowbytes = (static_cast<std::uint64_t>(width) * 4 + 15) / 16 * 16;
  const std::uint64_t bytes = rowbytes * static_cast<std::uint64_t>(height);
  if (bytes > worldBudget_ || worldBytes_ > worldBudget_ - bytes) return PF_Err_OUT_OF_MEMORY;
  std::unique_ptr<World> made;
  try {
    made = std::make_unique<World>(static_cast<A_long>(width), static_cast<A_long>(height), originX,
                                   originY);
  } catch (const std::length_error&) {
    return PF_Err_OUT_OF_MEMORY;
  } catch (const std::bad_alloc&) {
    return PF_Err_OUT_OF_MEMORY;
  }
  worldBytes_ += made->bytes();
  world = made.get();
  commandWorlds_.push_back(std::move(made));
  return PF_Err_NONE;
}

void Host::ReleaseCommandWorlds() {
  for (std::unique_ptr<World>& w : commandWorlds_) {
    if (w.get() == outputWorld_) {
      if (lastOutput_) worldBytes_ -= lastOutput_->bytes();
      lastOutput_ = std::move(w);
      continue;
    }
    worldBytes_ -= w->bytes();
  }
  commandWorlds_.clear();
  pixelWorlds_.clear();
  outputWorld_ = nullptr;
}

const Layer* Host::LayerForCheckout(int index) const {
  if (index == 0) return comp_.FindLayer(effectLayer());
  if (index < 0 || index >= NumParams()) return nullptr;
  if (BaseDefinition(index).param_type != PF_Param_LAYER) return nullptr;
  return comp_.FindLayer(LayerParam(index));
}

TransformValues Host::LayerTransformAt(const Layer& layer, std::int64_t value,
                                       std::uint32_t scale) const {
  return layer.transform.Evaluate(value, scale, comp_.timeScale);
}

// ---------------------------------------------------------------------------------------------
// Commands
// ---------------------------------------------------------------------------------------------
PF_Err Host::Send(PF_Cmd cmd, PF_ParamDef** params, PF_LayerDef* output, void* extra) {
  if (busy_) throw std::logic_error("qshost::Host: a command is already running");
  if (cmd == PF_Cmd_SMART_PRE_RENDER) {
    FinishFrame();
    checkouts_.clear();
    framePending_ = true;
    if (lastOutput_) {
      worldBytes_ -= lastOutput_->bytes();
      lastOutput_.reset();
    }
  }
  if (cmd == PF_Cmd_SMART_RENDER && lastOutput_) {
    worldBytes_ -= lastOutput_->bytes();
    lastOutput_.reset();
  }
  inPreRender_ = cmd == PF_Cmd_SMART_PRE_RENDER;
  inRender_ = cmd == PF_Cmd_SMART_RENDER;
  PF_Err err = PF_Err_NONE;
  {
    CommandScope scope(*this);
    err = entry_(cmd, &in_, &out_, params, output, extra);
  }
  inPreRender_ = false;
  inRender_ = false;
  if (cmd == PF_Cmd_SMART_PRE_RENDER && extra != nullptr) {
    const auto* pre = static_cast<const PF_PreRenderExtra*>(extra);
    if (pre->output != nullptr && pre->output != &preOut_) preOut_ = *pre->output;
  }
  ReleaseCommandWorlds();
  return err;
}

PF_Err Host::GlobalSetup() {
  SyncInData();
  return Send(PF_Cmd_GLOBAL_SETUP, nullptr, nullptr, nullptr);
}

PF_Err Host::GlobalSetdown() {
  SyncInData();
  return Send(PF_Cmd_GLOBAL_SETDOWN, nullptr, nullptr, nullptr);
}

PF_Err Host::About() {
  SyncInData();
  return Send(PF_Cmd_ABOUT, nullptr, nullptr, nullptr);
}

PF_Err Host::ParamsSetup() {
  SyncInData();
  declared_.clear();
  in_.num_params = 1;
  const PF_Err err = Send(PF_Cmd_PARAMS_SETUP, nullptr, nullptr, nullptr);
  if (err == PF_Err_NONE) in_.num_params = out_.num_params;
  return err;
}

PF_Err Host::UserChangedParam(int index) {
  SyncInData();
  std::vector<PF_ParamDef> defs = CurrentParams();
  std::vector<PF_ParamDef*> list;
  for (PF_ParamDef& d : defs) {
    d.uu.change_flags = PF_ChangeFlag_NONE;  // the union holds the disk id until now
    list.push_back(&d);
  }
  PF_UserChangedParamExtra extra{index};
  const PF_Err err = Send(PF_Cmd_USER_CHANGED_PARAM, list.data(), nullptr, &extra);
  if (err != PF_Err_NONE) return err;
  for (int i = 0; i < static_cast<int>(defs.size()); ++i) {
    const PF_ParamDef& d = defs[static_cast<std::size_t>(i)];
    if ((d.uu.change_flags & PF_ChangeFlag_CHANGED_VALUE) == 0) continue;
    switch (d.param_type) {
      case PF_Param_FLOAT_SLIDER:
        SetFloat(i, d.u.fs_d.value);
        break;
      case PF_Param_COLOR:
        SetColor(i, d.u.cd.value);
        break;
      case PF_Param_CHECKBOX:
        SetCheckbox(i, d.u.bd.value != 0);
        break;
      default:
        break;
    }
  }
  return err;
}

PF_Err Host::UpdateParamsUI() {
  SyncInData();
  std::vector<PF_ParamDef> defs = CurrentParams();
  std::vector<PF_ParamDef*> list;
  for (PF_ParamDef& d : defs) list.push_back(&d);
  return Send(PF_Cmd_UPDATE_PARAMS_UI, list.data(), nullptr, nullptr);
}

PF_RenderRequest Host::DefaultOutputRequest() const {
  PF_RenderRequest req{};
  req.rect = PF_LRect{0, 0, ScaledSize(comp_.width, in_.downsample_x),
                      ScaledSize(comp_.height, in_.downsample_y)};
  req.field = in_.field;
  req.channel_mask = PF_ChannelMask_ARGB;
  req.preserve_rgb_of_zero_alpha = 0;
  return req;
}

void Host::SetPreRenderEntryRects(PF_LRect result, PF_LRect maxResult) {
  entryResult_ = result;
  entryMax_ = maxResult;
}

PF_Err Host::SmartPreRender() {
  FinishFrame();
  SyncInData();
  preIn_ = PF_PreRenderInput{};
  preIn_.output_request = requestOverride_ ? *requestOverride_ : DefaultOutputRequest();
  preIn_.bitdepth = 8;
  preOut_ = PF_PreRenderOutput{};
  preOut_.result_rect = entryResult_;
  preOut_.max_result_rect = entryMax_;
  PF_PreRenderExtra extra{&preIn_, &preOut_, &preCb_};
  return Send(PF_Cmd_SMART_PRE_RENDER, nullptr, nullptr, &extra);
}

PF_Err Host::SmartRender() {
  SyncInData();
  renderIn_ = PF_SmartRenderInput{};
  renderIn_.output_request = preIn_.output_request;
  renderIn_.bitdepth = 8;
  renderIn_.pre_render_data = framePending_ ? preOut_.pre_render_data : nullptr;
  sourceFingerprints_.clear();  // sources may have been edited since the last render
  PF_SmartRenderExtra extra{&renderIn_, &renderCb_};
  return Send(PF_Cmd_SMART_RENDER, nullptr, nullptr, &extra);
}

void Host::EndFrame() {
  if (busy_) throw std::logic_error("qshost::Host: EndFrame during a command");
  FinishFrame();
}

void Host::FinishFrame() {
  if (!framePending_) return;
  framePending_ = false;
  if (preOut_.delete_pre_render_data_func != nullptr) {
    CommandScope scope(*this);
    preOut_.delete_pre_render_data_func(preOut_.pre_render_data);
  }
}

FrameResult Host::RenderFrame(A_long time) {
  FrameResult result;
  SetTime(time);
  result.preRenderErr = SmartPreRender();
  if (result.preRenderErr == PF_Err_NONE) result.renderErr = SmartRender();
  result.err = result.preRenderErr != PF_Err_NONE ? result.preRenderErr : result.renderErr;

  const A_long width = ScaledSize(comp_.width, in_.downsample_x);
  const A_long height = ScaledSize(comp_.height, in_.downsample_y);
  // The frame itself counts against the world budget like any other world; a frame that does
  // not fit gives PF_Err_OUT_OF_MEMORY and an empty picture instead of exhausting the machine.
  const std::uint64_t frameBytes =
      (static_cast<std::uint64_t>(std::max<A_long>(width, 0)) * 4 + 15) / 16 * 16 *
      static_cast<std::uint64_t>(std::max<A_long>(height, 0));
  try {
    if (frameBytes > worldBudget_ - std::min(worldBudget_, worldBytes_)) throw std::bad_alloc();
    World canvas(width, height);
    for (const Layer& layer : comp_.layers) {
      if (layer.id == effectLayer()) {
        if (result.err == PF_Err_NONE && lastOutput_ && lastOutput_->width() > 0 &&
            lastOutput_->height() > 0) {
          const PF_EffectWorld& out = lastOutput_->def();
          TransferInFront(out, PF_Rect{0, 0, out.width, out.height}, out.origin_x, out.origin_y,
                          255, canvas.def(), threads_);
        }
        continue;
      }
      const TransformValues xf = LayerTransformAt(layer, time, comp_.timeScale);
      PF_LRect box = LayerBounds(layer.source, xf, dsx(), dsy());
      box.left = std::max<A_long>(box.left, 0);
      box.top = std::max<A_long>(box.top, 0);
      box.right = std::min(box.right, width);
      box.bottom = std::min(box.bottom, height);
      if (EmptyRect(box)) continue;
      World picture(box.right - box.left, box.bottom - box.top, box.left, box.top);
      RenderLayer(layer.source, xf, dsx(), dsy(), picture, threads_);
      TransferInFront(picture.def(), PF_Rect{0, 0, picture.width(), picture.height()}, box.left,
                      box.top, 255, canvas.def(), threads_);
    }
    CompositeOverBackground(canvas, comp_.background, result.frame);
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

}  // namespace qshost
