// Values set for the effect's parameters (constant or keyframed) and their description in words:
// what the dry run, the JSON reports and the contact sheet's caption say about a scene.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/Composition.h"
#include "renderer/ParamCatalog.h"

namespace quillstreak::renderer {

/// One keyframe of an effect parameter (time in composition time units).
struct ParamKey {
  std::int32_t time = 0;
  ParamValue value;
  quillstreak::host::Interp interp = quillstreak::host::Interp::Linear;
};

/// A value set for an effect parameter: constant (keys empty) or keyframed.
struct ParamSetting {
  int index = 0;
  ParamType type = ParamType::Float;
  std::string name;
  ParamValue constant;
  std::vector<ParamKey> keys;
};

/// A value as the renderer prints it: "50", "on", "#40C0FF", "layer 2", "none".
std::string ValueText(ParamType type, const ParamValue& value);

/// Whether a constant value is the parameter's default.
bool IsDefault(const ParamInfo& info, const ParamValue& value);

/// The settings that differ from the effect's defaults, one "Name value" text each, in the
/// effect's order ("Shutter Angle 1080", "Opacity 100 to 40 (keyframed)").
std::vector<std::string> DescribeSettings(const std::vector<ParamSetting>& settings,
                                          const ParamCatalog& catalog);

}  // namespace quillstreak::renderer
