#include "host/ParamStore.h"

#include <cmath>
#include <stdexcept>
#include <string>

#include "host/Scene.h"

namespace quillstreak::host {

namespace {

StreamValue ColorValue(PF_Pixel c) {
  return {static_cast<double>(c.alpha), static_cast<double>(c.red), static_cast<double>(c.green),
          static_cast<double>(c.blue)};
}

A_u_char Channel(double c) {
  if (!(c > 0.0)) return 0;
  if (c >= 255.0) return 255;
  return static_cast<A_u_char>(std::lround(c));
}

}  // namespace

ParamStore::Track& ParamStore::TrackAt(int index) {
  if (index < 0 || index >= kMaxParams)
    throw std::out_of_range("quillstreak::host::ParamStore: parameter index " +
                            std::to_string(index));
  return tracks_[index];
}

// The track of an index ready for a keyframe of `kind`: keyframes of another kind, or a constant,
// are replaced.
ParamStore::Track& ParamStore::Keyed(int index, Kind kind) {
  Track& t = TrackAt(index);
  if (t.kind != kind || !t.stream.animated()) t.stream = Stream();
  t.kind = kind;
  return t;
}

void ParamStore::SetFloat(int index, double value) {
  Track& t = TrackAt(index);
  t.kind = Kind::Float;
  t.stream.SetConstant({value, 0.0, 0.0, 0.0});
}

void ParamStore::KeyFloat(int index, std::int32_t time, double value, Interp interp) {
  Keyed(index, Kind::Float).stream.AddKeyframe(time, {value, 0.0, 0.0, 0.0}, interp);
}

void ParamStore::SetColor(int index, PF_Pixel color) {
  Track& t = TrackAt(index);
  t.kind = Kind::Color;
  t.stream.SetConstant(ColorValue(color));
}

void ParamStore::KeyColor(int index, std::int32_t time, PF_Pixel color, Interp interp) {
  Keyed(index, Kind::Color).stream.AddKeyframe(time, ColorValue(color), interp);
}

void ParamStore::SetCheckbox(int index, bool on) {
  Track& t = TrackAt(index);
  t.kind = Kind::Checkbox;
  t.stream.SetConstant({on ? 1.0 : 0.0, 0.0, 0.0, 0.0});
}

void ParamStore::KeyCheckbox(int index, std::int32_t time, bool on) {
  Keyed(index, Kind::Checkbox)
      .stream.AddKeyframe(time, {on ? 1.0 : 0.0, 0.0, 0.0, 0.0}, Interp::Hold);
}

void ParamStore::SetLayer(int index, std::int32_t layerId) {
  Track& t = TrackAt(index);
  t.kind = Kind::Layer;
  t.stream.SetConstant({static_cast<double>(layerId), 0.0, 0.0, 0.0});
}

void ParamStore::Reset(int index) { tracks_.erase(index); }

void ParamStore::StoreChangedValues(const std::vector<PF_ParamDef>& defs) {
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
}

PF_Err ParamStore::Declare(PF_ParamIndex index, const PF_ParamDef& def) {
  const auto next = static_cast<PF_ParamIndex>(declared_.size() + 1);
  if (index != -1 && index != next) return PF_Err_INVALID_INDEX;
  if (declared_.size() >= static_cast<std::size_t>(kMaxParams)) return PF_Err_OUT_OF_MEMORY;
  declared_.push_back(def);
  return PF_Err_NONE;
}

int ParamStore::count() const {
  return declared_.empty() ? 24 : static_cast<int>(declared_.size()) + 1;
}

PF_ParamDef ParamStore::BaseDefinition(int index) const {
  PF_ParamDef def{};
  if (index == 0) {
    def.param_type = PF_Param_LAYER;
    return def;
  }
  if (index >= 1 && index <= static_cast<int>(declared_.size())) return declared_[index - 1];
  auto it = tracks_.find(index);
  switch (it != tracks_.end() ? it->second.kind : Kind::Unset) {
    case Kind::Float:
      def.param_type = PF_Param_FLOAT_SLIDER;
      break;
    case Kind::Color:
      def.param_type = PF_Param_COLOR;
      break;
    case Kind::Checkbox:
      def.param_type = PF_Param_CHECKBOX;
      break;
    case Kind::Layer:
      def.param_type = PF_Param_LAYER;
      break;
    case Kind::Unset:
      def.param_type = PF_Param_NO_DATA;
      break;
  }
  return def;
}

PF_ParamType ParamStore::TypeAt(int index) const { return BaseDefinition(index).param_type; }

std::int32_t ParamStore::LayerAt(int index) const {
  if (index == 0) return scene_.effectLayer();
  auto it = tracks_.find(index);
  if (it != tracks_.end() && it->second.kind == Kind::Layer)
    return static_cast<std::int32_t>(it->second.stream.Evaluate(0, 1, 1)[0]);
  if (index >= 1 && index <= static_cast<int>(declared_.size()) &&
      declared_[index - 1].param_type == PF_Param_LAYER &&
      declared_[index - 1].u.ld.dephault == PF_LayerDefault_MYSELF)
    return scene_.effectLayer();
  return 0;
}

PF_ParamDef ParamStore::At(int index, A_long time, A_u_long scale) const {
  if (index < 0 || index >= count())
    throw std::out_of_range("quillstreak::host::ParamStore: parameter index " +
                            std::to_string(index));
  PF_ParamDef def = BaseDefinition(index);
  auto it = tracks_.find(index);
  const Track* track = it != tracks_.end() ? &it->second : nullptr;
  const bool set = track != nullptr && track->kind != Kind::Unset;
  const StreamValue v =
      set ? track->stream.Evaluate(time, scale, scene_.comp().timeScale) : StreamValue{};
  switch (def.param_type) {
    case PF_Param_LAYER: {
      const A_long dephault = def.u.ld.dephault;
      def.u.ld = PF_LayerDef{};
      def.u.ld.dephault = dephault;
      if (LayerAt(index) != 0) {
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
        def.u.cd.value = PF_Pixel{Channel(v[0]), Channel(v[1]), Channel(v[2]), Channel(v[3])};
      break;
    default:
      break;
  }
  return def;
}

std::vector<PF_ParamDef> ParamStore::AllAt(A_long time) const {
  std::vector<PF_ParamDef> defs;
  for (int i = 0; i < count(); ++i) defs.push_back(At(i, time, scene_.comp().timeScale));
  return defs;
}

double ParamStore::FloatAt(int index, A_long time) const {
  const A_u_long scale = scene_.comp().timeScale;
  const PF_ParamDef def = At(index, time, scale);
  if (def.param_type == PF_Param_FLOAT_SLIDER) return def.u.fs_d.value;
  auto it = tracks_.find(index);
  return it != tracks_.end() ? it->second.stream.Evaluate(time, scale, scale)[0] : 0.0;
}

PF_Pixel ParamStore::ColorAt(int index, A_long time) const {
  return At(index, time, scene_.comp().timeScale).u.cd.value;
}

bool ParamStore::CheckboxAt(int index, A_long time) const {
  return At(index, time, scene_.comp().timeScale).u.bd.value != 0;
}

void ParamStore::SetDynamicFlag(int index, AEGP_DynStreamFlags flag, bool set) {
  AEGP_DynStreamFlags& flags = dynamicFlags_[index];
  flags = set ? (flags | flag) : (flags & ~flag);
}

AEGP_DynStreamFlags ParamStore::DynamicFlags(int index) const {
  auto it = dynamicFlags_.find(index);
  return it != dynamicFlags_.end() ? it->second : 0;
}

}  // namespace quillstreak::host
