// The effect's parameters as the host keeps them: the definitions parameter setup declared,
// the values set or keyframed per index, and the flags set on parameter streams.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "host/Composition.h"
#include "hostapi/HostApi.h"

namespace quillstreak::host {

class Scene;

class ParamStore {
 public:
  /// Indices 0 to kMaxParams - 1 can hold values; add_param takes at most kMaxParams.
  static constexpr int kMaxParams = 256;

  /// Keyframe times count units of scene.comp().timeScale; index 0 (the input layer) and a
  /// layer parameter that defaults to the effect's own layer name scene.effectLayer().
  explicit ParamStore(const Scene& scene) : scene_(scene) {}
  ParamStore(const ParamStore&) = delete;
  ParamStore& operator=(const ParamStore&) = delete;

  // ---- values: settable before or after parameter setup; std::out_of_range for an index
  // outside 0 to kMaxParams - 1.
  void SetFloat(int index, double value);
  void KeyFloat(int index, std::int32_t time, double value, Interp interp = Interp::Linear);
  void SetColor(int index, PF_Pixel color);
  void KeyColor(int index, std::int32_t time, PF_Pixel color, Interp interp = Interp::Linear);
  void SetCheckbox(int index, bool on);
  void KeyCheckbox(int index, std::int32_t time, bool on);  // always held
  /// A layer parameter (Motion Source): a layer id, 0 = none.
  void SetLayer(int index, std::int32_t layerId);
  /// Forgets the value set for an index (back to the declared default).
  void Reset(int index);
  /// Stores the values of the definitions (index 0 first) that the effect flagged
  /// PF_ChangeFlag_CHANGED_VALUE as new constant values: sliders, colours and checkboxes.
  void StoreChangedValues(const std::vector<PF_ParamDef>& defs);

  // ---- definitions ---------------------------------------------------------------------------
  /// The definitions received by add_param, in call order (the first is index 1).
  const std::vector<PF_ParamDef>& declared() const { return declared_; }
  /// add_param: appends the definition when index is -1 or the next index
  /// (PF_Err_INVALID_INDEX otherwise, PF_Err_OUT_OF_MEMORY past kMaxParams).
  PF_Err Declare(PF_ParamIndex index, const PF_ParamDef& def);
  /// Parameter setup starts over.
  void ClearDeclared() { declared_.clear(); }
  /// The number of parameters: the declared ones and the input layer; 24 before any is declared.
  int count() const;
  /// The type at an index: PF_Param_LAYER for 0, the declared type, else the type the value set
  /// there implies (PF_Param_NO_DATA when none).
  PF_ParamType TypeAt(int index) const;

  // ---- reading -------------------------------------------------------------------------------
  /// The definition checkout_param gives for an index at time value/scale: the declared one with
  /// the value at that time. std::out_of_range for an index outside 0 to count() - 1.
  PF_ParamDef At(int index, A_long time, A_u_long scale) const;
  /// Every parameter at a time in composition units, index 0 first.
  std::vector<PF_ParamDef> AllAt(A_long time) const;
  double FloatAt(int index, A_long time) const;  // time in composition units
  PF_Pixel ColorAt(int index, A_long time) const;
  bool CheckboxAt(int index, A_long time) const;
  /// The layer id a layer parameter names (0 = none); index 0 is the effect's own layer.
  std::int32_t LayerAt(int index) const;
  /// The value of parameter index's stream at time value/scale, as AEGP_GetNewStreamValue gives
  /// it: a layer parameter's layer id, a slider's or a checkbox's value in one_d, a colour's
  /// channels as fractions of 255; other types leave `val` as it is. ValT is AEGP_StreamVal or
  /// AEGP_StreamVal2.
  template <typename ValT>
  void StreamValueAt(int index, A_long time, A_u_long scale, ValT& val) const;

  // ---- stream flags (AEGP_SetDynamicStreamFlag) ---------------------------------------------
  /// Sets (set = true) or clears flag on the stream of parameter index.
  void SetDynamicFlag(int index, AEGP_DynStreamFlags flag, bool set);
  AEGP_DynStreamFlags DynamicFlags(int index) const;

 private:
  enum class Kind { Unset, Float, Color, Checkbox, Layer };
  struct Track {
    Kind kind = Kind::Unset;
    Stream stream;  // Float: x; Color: alpha, red, green, blue; Checkbox: x (held); Layer: x
  };
  Track& TrackAt(int index);
  Track& Keyed(int index, Kind kind);
  PF_ParamDef BaseDefinition(int index) const;

  const Scene& scene_;
  std::vector<PF_ParamDef> declared_;
  std::map<int, Track> tracks_;
  std::map<int, AEGP_DynStreamFlags> dynamicFlags_;
  PF_Pixel layerMarker_[4] = {};  // what a chosen layer parameter's data points at
};

template <typename ValT>
void ParamStore::StreamValueAt(int index, A_long time, A_u_long scale, ValT& val) const {
  const PF_ParamDef def = At(index, time, scale);
  switch (def.param_type) {
    case PF_Param_LAYER:
      val.layer_id = LayerAt(index);
      break;
    case PF_Param_FLOAT_SLIDER:
      val.one_d = def.u.fs_d.value;
      break;
    case PF_Param_CHECKBOX:
      val.one_d = def.u.bd.value;
      break;
    case PF_Param_COLOR:
      val.color.alphaF = def.u.cd.value.alpha / 255.0;
      val.color.redF = def.u.cd.value.red / 255.0;
      val.color.greenF = def.u.cd.value.green / 255.0;
      val.color.blueF = def.u.cd.value.blue / 255.0;
      break;
    default:
      break;
  }
}

}  // namespace quillstreak::host
