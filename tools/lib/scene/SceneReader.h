// The scene file's reader, shared by the files of its schema: SceneSchema.cpp (the composition,
// layers, their timing and the effect) and SourceSchema.cpp (the layers' sources).
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "renderer/MediaSource.h"
#include "renderer/ParamCatalog.h"
#include "renderer/SceneFile.h"
#include "scene/KeyframeReader.h"

namespace quillstreak::renderer {

/// The highest frame rate a scene or an image sequence may give.
inline constexpr double kMaxFps = 1000;

// Reads one scene, collecting warnings for what loads but is probably not what was meant.
class SceneReader : public KeyframeReader {
 public:
  SceneReader(std::string file, std::string baseDir, const ParamCatalog& catalog)
      : KeyframeReader(std::move(file)), baseDir_(std::move(baseDir)), catalog_(catalog) {}

  SceneFile Read(const json& root);

 private:
  void ReadComposition(const json& j, SceneFile& scene) const;
  quillstreak::host::Layer ReadLayer(const json& j, const std::string& path, std::size_t position,
                                     const SceneFile& scene,
                                     std::shared_ptr<MediaSource>& media) const;
  void ReadTiming(const json& j, const std::string& path,
                  quillstreak::host::LayerTiming& timing) const;
  void ReadSource(const json& j, const std::string& path, const SceneFile& scene,
                  quillstreak::host::Layer& layer, std::shared_ptr<MediaSource>& media) const;
  std::shared_ptr<MediaSource> ReadSequence(const json& j, const std::string& path,
                                            const SceneFile& scene) const;
  std::shared_ptr<MediaSource> ReadVideo(const json& j, const std::string& path) const;
  void ReadEffect(const json& j, SceneFile& scene) const;
  ParamValue ParamValueOf(const ParamInfo& info, const json& j, const std::string& path,
                          const SceneFile& scene) const;

  // Where a relative image path was looked for, for the message of an image not found: the
  // scene's folder, or the current folder for a scene read from standard input.
  std::string LookedIn(const std::string& rel) const {
    namespace fs = std::filesystem;
    if (fs::path(rel).is_absolute()) return {};
    std::error_code ec;
    const fs::path folder =
        baseDir_.empty() ? fs::current_path(ec) : fs::absolute(baseDir_, ec).lexically_normal();
    const std::string where = ec ? baseDir_ : folder.string();
    if (file() != kStandardInput) return " (looked in the scene's folder, " + where + ")";
    return " (looked in the current folder, " + where +
           ": the image paths of a scene read from standard input are relative to it)";
  }

  std::string baseDir_;
  const ParamCatalog& catalog_;
};

}  // namespace quillstreak::renderer
