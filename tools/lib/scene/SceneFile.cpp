#include "renderer/SceneFile.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "renderer/InputError.h"

namespace quillstreak::renderer {

namespace fs = std::filesystem;

std::optional<FrameRate> ParseFrameRate(std::string_view text) {
  auto number = [](std::string_view t) -> std::optional<double> {
    if (t.empty()) return std::nullopt;
    double v = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (ec != std::errc() || end != t.data() + t.size() || !std::isfinite(v) || v <= 0)
      return std::nullopt;
    return v;
  };
  const auto slash = text.find('/');
  if (slash == std::string_view::npos) {
    const auto v = number(text);
    if (!v) return std::nullopt;
    return FrameRate{*v, FormatNumber(*v)};
  }
  const auto num = number(text.substr(0, slash));
  const auto den = number(text.substr(slash + 1));
  if (!num || !den) return std::nullopt;
  return FrameRate{*num / *den, std::string(text)};
}

std::string LayerList(const SceneFile& scene) {
  std::string out;
  for (const auto& layer : scene.comp.layers) {
    if (!out.empty()) out += ", ";
    out += std::to_string(layer.id) + " \"" + layer.name + "\"";
  }
  return out;
}

std::string UnknownLayerMessage(const SceneFile& scene, std::int64_t id) {
  return "unknown layer id " + std::to_string(id) + " (the scene's layers: " + LayerList(scene) +
         ")";
}

std::string UnknownParameterMessage(const ParamCatalog& catalog, std::string_view name) {
  const std::string match = catalog.Suggest(name);
  return "unknown parameter (" + (match.empty() ? "" : "did you mean \"" + match + "\"? ") +
         "the effect's parameters: " + catalog.SettableNames() + ")";
}

void SceneFile::Set(ParamSetting setting) {
  for (auto& p : params) {
    if (p.index == setting.index) {
      p = std::move(setting);
      return;
    }
  }
  params.push_back(std::move(setting));
}

SceneFile LoadSceneFile(const std::string& path, const ParamCatalog& catalog) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) throw InputError(path + ": is a folder, not a scene file");
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    const int why = errno != 0 ? errno : fs::exists(path, ec) ? 0 : ENOENT;
    throw InputError(path + ": cannot open the scene file" +
                     (why != 0 ? ": " + std::generic_category().message(why) : std::string()));
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw InputError(path + ": cannot read the scene file");
  const std::string baseDir = fs::path(path).parent_path().string();
  return ParseScene(text.str(), path, baseDir, catalog);
}

}  // namespace quillstreak::renderer
