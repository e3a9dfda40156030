// Scene files: a composition, its layers with keyframed transforms, and the effect applied to
// one layer with parameter values by name. Loading checks everything and throws InputError with
// one message naming the file and the JSON path of the first problem.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ParamCatalog.h"
#include "host/Composition.h"

namespace qshost {
class Host;
}

namespace qsrender {

/// Frames count 100 time units each: a composition at F frames per second has the time scale
/// F * 100, so frame n starts at time n * 100 and keyframe times in frames map to whole units.
inline constexpr std::int32_t kUnitsPerFrame = 100;

/// One keyframe of an effect parameter (time in composition time units).
struct ParamKey {
  std::int32_t time = 0;
  ParamValue value;
  qshost::Interp interp = qshost::Interp::Linear;
};

/// A value set for an effect parameter: constant (keys empty) or keyframed.
struct ParamSetting {
  int index = 0;
  ParamType type = ParamType::Float;
  std::string name;
  ParamValue constant;
  std::vector<ParamKey> keys;
};

struct Scene {
  std::string file;  // the name used in messages ("<demo>" for the built-in scene)
  qshost::Composition comp;
  double fps = 24;
  std::int32_t durationFrames = 0;
  std::int32_t effectLayer = 0;
  std::vector<ParamSetting> params;  // in the order given; at most one per index

  /// Replaces (or adds) the setting for a parameter.
  void Set(ParamSetting setting);
  /// Sets the composition, the effect layer and the parameter values on a host.
  void ApplyTo(qshost::Host& host) const;
};

/// Parses scene text. `file` names the scene in messages; image paths are relative to
/// `baseDir` (empty = the current directory).
Scene ParseScene(const std::string& text, const std::string& file, const std::string& baseDir,
                 const ParamCatalog& catalog);

/// Reads and parses a scene file.
Scene LoadSceneFile(const std::string& path, const ParamCatalog& catalog);

/// The built-in demo scene (JSON text).
const std::string& DemoSceneText();

}  // namespace qsrender
