// Scene files: a composition, its layers with keyframed transforms, and the effect applied to
// one layer with parameter values by name. Loading checks everything and throws InputError with
// one message naming the file and the JSON path of the first problem. SceneFile is what the
// renderer read (the host has a scene of its own; RenderSession sets one up from the other).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/Composition.h"
#include "renderer/MediaSource.h"
#include "renderer/ParamCatalog.h"
#include "renderer/ParamSettings.h"

namespace quillstreak::renderer {

/// Frames count 100 time units each: a composition at F frames per second has the time scale
/// F * 100, so frame n starts at time n * 100 and keyframe times in frames map to whole units.
inline constexpr std::int32_t kUnitsPerFrame = 100;

struct SceneFile {
  std::string file;  // the name used in messages ("<demo>" for the built-in scene)
  /// The scene's JSON as read, in one canonical form, without the effect's parameter values
  /// (which are in `params`).
  std::string canonical;
  quillstreak::host::Composition comp;
  double fps = 24;
  std::string fpsText = "24";  // the rate as given, exactly ("23.976", "30000/1001")
  std::int32_t durationFrames = 0;
  std::int32_t effectLayer = 0;
  std::vector<ParamSetting> params;  // in the order given; at most one per index
  /// A layer whose source changes over time (its host layer's `frames`), as opened.
  struct ChangingLayer {
    std::int32_t layerId = 0;
    std::string path;  // the source's JSON path ("layers[1].source"), for messages
    std::shared_ptr<MediaSource> media;
  };
  std::vector<ChangingLayer> changing;  // in layer order
  /// Things that load but are probably not what was meant (keyframes past the end or out of
  /// order), each naming the file and the JSON path.
  std::vector<std::string> warnings;

  /// Replaces (or adds) the setting for a parameter.
  void Set(ParamSetting setting);
};

/// The name a scene read from standard input goes by in messages.
inline constexpr char kStandardInput[] = "<stdin>";

/// Parses scene text. `file` names the scene in messages; image and sequence paths are relative
/// to `baseDir` (empty = the current directory).
SceneFile ParseScene(const std::string& text, const std::string& file, const std::string& baseDir,
                     const ParamCatalog& catalog);

/// Reads and parses a scene file.
SceneFile LoadSceneFile(const std::string& path, const ParamCatalog& catalog);

/// A frame rate: its value and its exact text (what a video encoder is given).
struct FrameRate {
  double fps = 0;
  std::string text;
};

/// "24", "23.976" or "30000/1001" (a positive number or a fraction of two); nullopt otherwise.
std::optional<FrameRate> ParseFrameRate(std::string_view text);

/// The scene's layers for messages: 1 "Backdrop", 2 "Dot".
std::string LayerList(const SceneFile& scene);
/// "unknown layer id 5 (the scene's layers: ...)".
std::string UnknownLayerMessage(const SceneFile& scene, std::int64_t id);
/// "unknown parameter" with the closest name, or else with the list of names.
std::string UnknownParameterMessage(const ParamCatalog& catalog, std::string_view name);

/// The built-in demo scene (JSON text).
const std::string& DemoSceneText();

}  // namespace quillstreak::renderer
