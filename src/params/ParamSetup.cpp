#include "params/ParamSetup.h"

#include <cstring>

#include "frame/HostServices.h"
#include "frame/StringTable.h"

namespace quillstreak {
namespace {

constexpr float kCurveTolerance = 0.05f;
constexpr SliderSpec kNoSlider{};
constexpr PF_Pixel kNoColor{};

constexpr ParamSpec Group(ParamIndex index, A_long nameId, ParamDiskId diskId,
                          PF_ParamFlags flags) {
  return {index, nameId, PF_Param_GROUP_START, diskId, flags, kNoSlider, kNoColor, STR_NONE};
}
constexpr ParamSpec GroupEnd(ParamIndex index, ParamDiskId diskId) {
  return {index, -1, PF_Param_GROUP_END, diskId, 0, kNoSlider, kNoColor, STR_NONE};
}
constexpr ParamSpec Slider(ParamIndex index, A_long nameId, ParamDiskId diskId, SliderSpec s) {
  return {index, nameId, PF_Param_FLOAT_SLIDER, diskId, 0, s, kNoColor, STR_NONE};
}
constexpr ParamSpec Checkbox(ParamIndex index, A_long nameId, ParamDiskId diskId, A_long label) {
  return {index, nameId, PF_Param_CHECKBOX, diskId, 0, kNoSlider, kNoColor, label};
}
constexpr ParamSpec Color(ParamIndex index, A_long nameId, ParamDiskId diskId, PF_Pixel color) {
  return {index, nameId, PF_Param_COLOR, diskId, 0, kNoSlider, color, STR_NONE};
}

constexpr SliderSpec kEdgeSlider{0.0, -1000.0f, 1000.0f, 0.0f, 5.0f, 2, PF_ValueDisplayFlag_NONE};

constexpr std::array<ParamSpec, PARAM_COUNT - 1> kEntries = {{
    Group(PARAM_QUALITY_GROUP, STR_QUALITY_GROUP, DISK_ID_QUALITY_GROUP, 0),
    Slider(PARAM_MOTION_THRESHOLD, STR_MOTION_THRESHOLD, DISK_ID_MOTION_THRESHOLD,
           {1.0, 0.0f, 20.0f, 0.0f, 5.0f, 2, PF_ValueDisplayFlag_NONE}),
    Slider(PARAM_TIME_THRESHOLD, STR_TIME_THRESHOLD, DISK_ID_TIME_THRESHOLD,
           {20.0, 1.0f, 1024.0f, 0.0f, 20.0f, 0, PF_ValueDisplayFlag_NONE}),
    GroupEnd(PARAM_QUALITY_GROUP_END, DISK_ID_QUALITY_GROUP_END),
    Slider(PARAM_SHUTTER_ANGLE, STR_SHUTTER_ANGLE, DISK_ID_SHUTTER_ANGLE,
           {360.0, 0.0f, 100000.0f, 0.0f, 3600.0f, 2, PF_ValueDisplayFlag_NONE}),
    {PARAM_MOTION_SOURCE, STR_MOTION_SOURCE, PF_Param_LAYER, DISK_ID_MOTION_SOURCE, 0, kNoSlider,
     kNoColor, STR_NONE},
    Group(PARAM_FILL_GROUP, STR_FILL_GROUP, DISK_ID_FILL_GROUP, PF_ParamFlag_START_COLLAPSED),
    Checkbox(PARAM_SOLID_FILL_ENABLE, STR_SOLID_FILL_ENABLE, DISK_ID_SOLID_FILL_ENABLE,
             STR_SOLID_FILL_LABEL),
    Color(PARAM_SOLID_COLOR, STR_SOLID_COLOR, DISK_ID_SOLID_COLOR, {255, 128, 128, 128}),
    Checkbox(PARAM_RAMP_FILL_ENABLE, STR_RAMP_FILL_ENABLE, DISK_ID_RAMP_FILL_ENABLE,
             STR_RAMP_FILL_LABEL),
    Color(PARAM_RAMP_START_COLOR, STR_RAMP_START_COLOR, DISK_ID_RAMP_START_COLOR,
          {255, 255, 255, 255}),
    Color(PARAM_RAMP_END_COLOR, STR_RAMP_END_COLOR, DISK_ID_RAMP_END_COLOR, {255, 0, 0, 0}),
    {PARAM_SWAP_COLORS, STR_SWAP_COLORS_NAME, PF_Param_BUTTON, DISK_ID_SWAP_COLORS,
     PF_ParamFlag_SUPERVISE, kNoSlider, kNoColor, STR_SWAP_COLORS_BUTTON},
    Slider(PARAM_OPACITY, STR_OPACITY, DISK_ID_OPACITY,
           {100.0, 0.0f, 100.0f, 0.0f, 100.0f, 2, PF_ValueDisplayFlag_PERCENT}),
    GroupEnd(PARAM_FILL_GROUP_END, DISK_ID_FILL_GROUP_END),
    Group(PARAM_UTILITY_GROUP, STR_UTILITY_GROUP, DISK_ID_UTILITY_GROUP,
          PF_ParamFlag_START_COLLAPSED),
    Slider(PARAM_SAMPLES_SCALE, STR_SAMPLES_SCALE, DISK_ID_SAMPLES_SCALE,
           {1.0, 0.0f, 5.0f, 0.0f, 5.0f, 2, PF_ValueDisplayFlag_NONE}),
    Slider(PARAM_SAMPLES_ROTATION, STR_SAMPLES_ROTATION, DISK_ID_SAMPLES_ROTATION,
           {1.0, 0.0f, 5.0f, 0.0f, 5.0f, 2, PF_ValueDisplayFlag_NONE}),
    GroupEnd(PARAM_UTILITY_GROUP_END, DISK_ID_UTILITY_GROUP_END),
    Slider(PARAM_LEFT, STR_LEFT, DISK_ID_LEFT, kEdgeSlider),
    Slider(PARAM_TOP, STR_TOP, DISK_ID_TOP, kEdgeSlider),
    Slider(PARAM_RIGHT, STR_RIGHT, DISK_ID_RIGHT, kEdgeSlider),
    Slider(PARAM_BOTTOM, STR_BOTTOM, DISK_ID_BOTTOM, kEdgeSlider),
}};

static_assert([] {
  for (std::size_t i = 0; i < kEntries.size(); ++i) {
    if (kEntries[i].index != static_cast<A_long>(i + 1)) return false;
  }
  return true;
}());

}  // namespace

const std::array<ParamSpec, PARAM_COUNT - 1>& ParamSpecs() { return kEntries; }

void DescribeParam(const ParamSpec& entry, PF_ParamDef& def) {
  def.param_type = entry.type;
  def.flags = entry.flags;
  def.uu.id = entry.diskId;
  switch (entry.type) {
    case PF_Param_FLOAT_SLIDER:
      def.u.fs_d.value = entry.slider.value;
      def.u.fs_d.dephault = static_cast<PF_FpShort>(entry.slider.value);
      def.u.fs_d.valid_min = entry.slider.validMin;
      def.u.fs_d.valid_max = entry.slider.validMax;
      def.u.fs_d.slider_min = entry.slider.sliderMin;
      def.u.fs_d.slider_max = entry.slider.sliderMax;
      def.u.fs_d.precision = entry.slider.precision;
      def.u.fs_d.display_flags = entry.slider.displayFlags;
      def.u.fs_d.curve_tolerance = kCurveTolerance;
      break;
    case PF_Param_CHECKBOX:
      def.u.bd.value = 0;
      def.u.bd.dephault = 0;
      def.u.bd.u.nameptr = GetString(entry.labelId);
      break;
    case PF_Param_COLOR:
      def.u.cd.value = entry.color;
      def.u.cd.dephault = entry.color;
      break;
    case PF_Param_LAYER:
      def.u.ld.dephault = PF_LayerDefault_NONE;
      break;
    case PF_Param_BUTTON:
      def.u.button_d.u.namesptr = GetString(entry.labelId);
      break;
    default:
      break;
  }
}

PF_Err ParamsSetup(PF_InData& in_data, PF_OutData& out_data) {
  HostServices host(in_data);
  for (const ParamSpec& entry : kEntries) {
    PF_ParamDef def;
    std::memset(&def, 0, sizeof(def));
    if (const PF_Err err =
            host.CopyString(def.name, GetString(entry.nameId < 0 ? STR_NONE : entry.nameId))) {
      return err;
    }
    DescribeParam(entry, def);
    if (const PF_Err err = host.AddParam(def)) {
      return err;
    }
  }
  out_data.num_params = PARAM_COUNT;
  return PF_Err_NONE;
}

}  // namespace quillstreak
