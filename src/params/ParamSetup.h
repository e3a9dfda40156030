// Declaration of the effect's parameters to the host.
#pragma once

#include <array>

#include "hostapi/HostApi.h"
#include "params/ParamIndex.h"

namespace quillstreak {

/// Float slider settings of one parameter.
struct SliderSpec {
  double value;  // the default
  float validMin, validMax, sliderMin, sliderMax;
  A_short precision;
  PF_ValueDisplayFlags displayFlags;
};

/// Everything declared for one parameter.
struct ParamSpec {
  ParamIndex index;
  A_long nameId;  // StringTable id of the name; -1 for none (group ends)
  PF_ParamType type;
  ParamDiskId diskId;
  PF_ParamFlags flags;
  SliderSpec slider;  // float sliders
  PF_Pixel color;     // colours (alpha, red, green, blue)
  A_long labelId;     // checkbox and button labels
};

/// Indices 1 to 23, in declaration order.
const std::array<ParamSpec, PARAM_COUNT - 1>& ParamSpecs();

/// Fills one definition from its entry (the name is copied by the caller through the host).
void DescribeParam(const ParamSpec& entry, PF_ParamDef& def);

/// Adds parameters 1 to 23 in index order, then sets num_params to 24; stops at the first error.
PF_Err ParamsSetup(PF_InData& in_data, PF_OutData& out_data);

}  // namespace quillstreak
