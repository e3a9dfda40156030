#include "renderer/Scene.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>

#include "renderer/InputError.h"
#include "renderer/RgbaImage.h"
#include "renderer/Suggest.h"
#if QS_HAVE_PNG
#include "renderer/Png.h"
#endif
#include "host/Host.h"

namespace quillstreak::renderer {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

constexpr int kMaxCompSide = 8192;
constexpr int kMaxSourceSide = 8192;
constexpr double kMaxFps = 1000;
constexpr std::int32_t kMaxFrames = 100000;
// Keyframes may lie before or after the composition; times are kept within this many frames of
// zero so that they fit the host's 32-bit time values at any frame rate we accept.
constexpr double kMaxKeyFrame = 1000000;

// Reads one scene: every accessor checks the type and throws InputError naming the file and the
// JSON path of the value.
class Reader {
 public:
  Reader(std::string file, std::string baseDir, const ParamCatalog& catalog)
      : file_(std::move(file)), baseDir_(std::move(baseDir)), catalog_(catalog) {}

  Scene Read(const json& root);

 private:
  [[noreturn]] void Fail(const std::string& path, const std::string& message) const {
    throw InputError(file_ + ": " + (path.empty() ? std::string("(top level)") : path) + ": " +
                     message);
  }

  static std::string Key(const std::string& path, const std::string& key) {
    const bool plain = !key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
      return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
    if (!plain) return path + "[\"" + key + "\"]";
    return path.empty() ? key : path + "." + key;
  }
  static std::string Item(const std::string& path, std::size_t i) {
    return path + "[" + std::to_string(i) + "]";
  }

  void ExpectObject(const json& j, const std::string& path,
                    std::initializer_list<const char*> allowed) const {
    if (!j.is_object()) Fail(path, "expected an object");
    for (const auto& [key, value] : j.items()) {
      (void)value;
      bool known = false;
      for (const char* a : allowed) known = known || key == a;
      if (!known) {
        std::vector<std::string> names(allowed.begin(), allowed.end());
        std::string list;
        for (const char* a : allowed) list += std::string(list.empty() ? "" : ", ") + a;
        const std::string match = ClosestMatch(key, names);
        Fail(Key(path, key), "unknown field (" +
                                 (match.empty() ? "" : "did you mean \"" + match + "\"? ") +
                                 "expected one of: " + list + ")");
      }
    }
  }

  const json* Optional(const json& obj, const std::string& key) const {
    const auto it = obj.find(key);
    return it == obj.end() ? nullptr : &*it;
  }
  const json& Required(const json& obj, const std::string& path, const std::string& key) const {
    const auto it = obj.find(key);
    if (it == obj.end()) Fail(Key(path, key), "missing field");
    return *it;
  }

  double Number(const json& j, const std::string& path) const {
    if (!j.is_number()) Fail(path, "expected a number");
    const double v = j.get<double>();
    if (!std::isfinite(v)) Fail(path, "expected a finite number");
    return v;
  }
  double NumberIn(const json& j, const std::string& path, double lo, double hi) const {
    const double v = Number(j, path);
    if (v < lo || v > hi)
      Fail(path, FormatNumber(v) + " is out of range (" + FormatNumber(lo) + " to " +
                     FormatNumber(hi) + ")");
    return v;
  }
  std::int64_t Integer(const json& j, const std::string& path, std::int64_t lo,
                       std::int64_t hi) const {
    if (!j.is_number()) Fail(path, "expected an integer");
    const double v = j.get<double>();
    if (!std::isfinite(v) || v != std::floor(v)) Fail(path, "expected an integer");
    if (v < static_cast<double>(lo) || v > static_cast<double>(hi))
      Fail(path, FormatNumber(v) + " is out of range (" + std::to_string(lo) + " to " +
                     std::to_string(hi) + ")");
    return static_cast<std::int64_t>(v);
  }
  std::string String(const json& j, const std::string& path) const {
    if (!j.is_string()) Fail(path, "expected a string");
    return j.get<std::string>();
  }

  PF_Pixel Color(const json& j, const std::string& path) const {
    if (j.is_string()) {
      const auto c = ParseColorText(j.get<std::string>());
      if (!c || j.get<std::string>().find('#') == std::string::npos)
        Fail(path, "expected a colour \"#RRGGBB\" or [r, g, b]");
      return *c;
    }
    if (j.is_array() && (j.size() == 3 || j.size() == 4)) {
      int v[4] = {0, 0, 0, 255};
      for (std::size_t i = 0; i < j.size(); ++i)
        v[i] = static_cast<int>(Integer(j[i], Item(path, i), 0, 255));
      return PF_Pixel{static_cast<A_u_char>(v[3]), static_cast<A_u_char>(v[0]),
                      static_cast<A_u_char>(v[1]), static_cast<A_u_char>(v[2])};
    }
    Fail(path, "expected a colour \"#RRGGBB\" or [r, g, b]");
  }

  quillstreak::host::Interp InterpOf(const json& j, const std::string& path) const {
    const std::string s = String(j, path);
    if (s == "linear") return quillstreak::host::Interp::Linear;
    if (s == "hold") return quillstreak::host::Interp::Hold;
    if (s == "eased") return quillstreak::host::Interp::Eased;
    Fail(path, "unknown interpolation \"" + s + "\" (expected linear, hold or eased)");
  }

  std::int32_t KeyTime(const json& j, const std::string& path) const {
    const double frames = Number(j, path);
    if (std::fabs(frames) > kMaxKeyFrame)
      Fail(path, "keyframe time out of range (-1000000 to 1000000 frames)");
    return static_cast<std::int32_t>(std::llround(frames * kUnitsPerFrame));
  }

  // The keyframes array of {"keyframes": [...]}; each entry passed to `each` with its path.
  template <typename Each>
  void Keyframes(const json& j, const std::string& path, Each each) const {
    ExpectObject(j, path, {"keyframes"});
    const std::string kpath = Key(path, "keyframes");
    const json& keys = Required(j, path, "keyframes");
    if (!keys.is_array()) Fail(kpath, "expected an array of keyframes");
    if (keys.empty()) Fail(kpath, "expected at least one keyframe");
    std::set<std::int32_t> times;
    std::int32_t previous = 0;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      const std::string ipath = Item(kpath, i);
      const json& key = keys[i];
      ExpectObject(key, ipath, {"time", "value", "interp"});
      const std::string tpath = Key(ipath, "time");
      const std::int32_t time = KeyTime(Required(key, ipath, "time"), tpath);
      if (!times.insert(time).second) Fail(tpath, "another keyframe has the same time");
      const std::string frames = FormatNumber(key["time"].get<double>());
      // A keyframe at the composition's end is its last moment; one after it never shows.
      if (time > static_cast<std::int64_t>(durationFrames_) * kUnitsPerFrame) {
        Warn(tpath, frames + " is past the end of the composition (" +
                        std::to_string(durationFrames_) + " frames), so it is never reached");
      }
      if (i > 0 && time < previous) {
        Warn(tpath, frames + " comes before the time of the keyframe above it (" +
                        FormatNumber(previous / static_cast<double>(kUnitsPerFrame)) +
                        "); keyframes are used in time order");
      }
      previous = time;
      const quillstreak::host::Interp interp = key.contains("interp")
                                                   ? InterpOf(key["interp"], Key(ipath, "interp"))
                                                   : quillstreak::host::Interp::Linear;
      each(time, Required(key, ipath, "value"), Key(ipath, "value"), interp);
    }
  }

  enum class VecKind { Point, Scale, Angle };

  quillstreak::host::StreamValue VecValue(const json& j, const std::string& path,
                                          VecKind kind) const {
    quillstreak::host::StreamValue v{};
    if (kind == VecKind::Angle) {
      v[0] = Number(j, path);
      return v;
    }
    if (kind == VecKind::Scale && j.is_number()) {
      const double s = Number(j, path);
      return {s, s, s, 0};
    }
    if (!j.is_array() || j.size() < 2 || j.size() > 3)
      Fail(path, kind == VecKind::Scale ? "expected a number or [x, y] in percent"
                                        : "expected [x, y] or [x, y, z]");
    for (std::size_t i = 0; i < j.size(); ++i) v[i] = Number(j[i], Item(path, i));
    if (kind == VecKind::Scale && j.size() == 2) v[2] = 100;
    return v;
  }

  quillstreak::host::Stream StreamOf(const json& j, const std::string& path, VecKind kind) const {
    if (!j.is_object()) return quillstreak::host::Stream(VecValue(j, path, kind));
    quillstreak::host::Stream stream;
    Keyframes(j, path,
              [&](std::int32_t time, const json& value, const std::string& vpath,
                  quillstreak::host::Interp interp) {
                stream.AddKeyframe(time, VecValue(value, vpath, kind), interp);
              });
    return stream;
  }

  void ReadComposition(const json& j, Scene& scene) const;
  quillstreak::host::Layer ReadLayer(const json& j, const std::string& path, std::size_t position,
                                     const Scene& scene) const;
  void ReadSource(const json& j, const std::string& path,
                  quillstreak::host::LayerSource& source) const;
  void ReadEffect(const json& j, Scene& scene) const;
  ParamValue ParamValueOf(const ParamInfo& info, const json& j, const std::string& path,
                          const Scene& scene) const;

  void Warn(const std::string& path, const std::string& message) const {
    warnings_.push_back(file_ + ": " + path + ": " + message);
  }

  std::string file_;
  std::string baseDir_;
  const ParamCatalog& catalog_;
  std::int32_t durationFrames_ = 0;
  mutable std::vector<std::string> warnings_;
};

void Reader::ReadComposition(const json& j, Scene& scene) const {
  const std::string path = "composition";
  ExpectObject(j, path, {"width", "height", "fps", "duration", "background"});
  auto& comp = scene.comp;
  comp.width =
      static_cast<A_long>(Integer(Required(j, path, "width"), Key(path, "width"), 1, kMaxCompSide));
  comp.height = static_cast<A_long>(
      Integer(Required(j, path, "height"), Key(path, "height"), 1, kMaxCompSide));
  const std::string fpsPath = Key(path, "fps");
  const json& fpsValue = Required(j, path, "fps");
  FrameRate rate;
  if (fpsValue.is_string()) {
    const std::string text = fpsValue.get<std::string>();
    const auto parsed = ParseFrameRate(text);
    if (!parsed) {
      Fail(fpsPath,
           "expected a frame rate: a number (24, 23.976) or a fraction (\"30000/1001\"), "
           "not \"" +
               text + "\"");
    }
    rate = *parsed;
  } else {
    rate.fps = Number(fpsValue, fpsPath);
    rate.text = FormatNumber(rate.fps);
  }
  if (rate.fps < 0.01 || rate.fps > kMaxFps) {
    Fail(fpsPath, rate.text + " is out of range (0.01 to " + FormatNumber(kMaxFps) + ")");
  }
  scene.fps = rate.fps;
  scene.fpsText = rate.text;
  // One frame lasts kUnitsPerFrame units whatever the rate, so a rate that is not a whole number
  // of hundredths (23.976, 30000/1001) gets the nearest time scale: the effect measures times in
  // units, so the frames rendered are the same, and the video gets the exact rate.
  comp.timeScale = static_cast<A_u_long>(std::max(1LL, std::llround(rate.fps * kUnitsPerFrame)));
  comp.frameDuration = kUnitsPerFrame;
  scene.durationFrames = static_cast<std::int32_t>(
      Integer(Required(j, path, "duration"), Key(path, "duration"), 1, kMaxFrames));
  comp.duration = scene.durationFrames * kUnitsPerFrame;
  comp.background = PF_Pixel{255, 0, 0, 0};
  if (const json* bg = Optional(j, "background")) {
    comp.background = Color(*bg, Key(path, "background"));
    comp.background.alpha = 255;  // the background is opaque
  }
}

void Reader::ReadSource(const json& j, const std::string& path,
                        quillstreak::host::LayerSource& source) const {
  if (!j.is_object()) Fail(path, "expected an object");
  const std::string type = String(Required(j, path, "type"), Key(path, "type"));
  if (type == "rectangle" || type == "ellipse") {
    ExpectObject(j, path, {"type", "width", "height", "color"});
    source.kind = type == "rectangle" ? quillstreak::host::LayerSource::Kind::Rectangle
                                      : quillstreak::host::LayerSource::Kind::Ellipse;
    source.width = static_cast<A_long>(
        Integer(Required(j, path, "width"), Key(path, "width"), 1, kMaxSourceSide));
    source.height = static_cast<A_long>(
        Integer(Required(j, path, "height"), Key(path, "height"), 1, kMaxSourceSide));
    source.color = PF_Pixel{255, 255, 255, 255};
    if (const json* c = Optional(j, "color")) source.color = Color(*c, Key(path, "color"));
    return;
  }
  if (type == "image") {
    ExpectObject(j, path, {"type", "path"});
    const std::string ppath = Key(path, "path");
    const std::string rel = String(Required(j, path, "path"), ppath);
    if (rel.empty()) Fail(ppath, "expected a file path");
    const fs::path full = baseDir_.empty() ? fs::path(rel) : fs::path(baseDir_) / fs::path(rel);
#if QS_HAVE_PNG
    RgbaImage image;
    try {
      image = ReadPng(full.string());
    } catch (const PngError& e) {
      Fail(ppath, "cannot read image \"" + full.string() + "\": " + e.what());
    }
#else
    // Builds without libpng (e.g. the Windows cross build) load every other kind of layer.
    Fail(ppath, "image layers need libpng, which this build lacks");
    RgbaImage image;
#endif
    source.kind = quillstreak::host::LayerSource::Kind::Image;
    source.width = image.width;
    source.height = image.height;
    source.pixels.resize(static_cast<std::size_t>(image.width) * image.height);
    for (std::size_t i = 0; i < source.pixels.size(); ++i) {
      const std::uint8_t* p = image.rgba.data() + i * 4;
      source.pixels[i] = PF_Pixel{p[3], p[0], p[1], p[2]};
    }
    return;
  }
  Fail(Key(path, "type"),
       "unknown source type \"" + type + "\" (expected rectangle, ellipse or image)");
}

quillstreak::host::Layer Reader::ReadLayer(const json& j, const std::string& path,
                                           std::size_t position, const Scene& scene) const {
  ExpectObject(j, path, {"id", "name", "source", "transform"});
  quillstreak::host::Layer layer;
  layer.id = static_cast<std::int32_t>(Integer(Required(j, path, "id"), Key(path, "id"), 1,
                                               std::numeric_limits<std::int32_t>::max()));
  layer.name = "Layer " + std::to_string(position + 1);
  if (const json* n = Optional(j, "name")) layer.name = String(*n, Key(path, "name"));
  ReadSource(Required(j, path, "source"), Key(path, "source"), layer.source);

  // Defaults: the source's centre as anchor, placed at the composition's centre.
  auto& xf = layer.transform;
  xf.anchor =
      quillstreak::host::Stream({layer.source.width / 2.0, layer.source.height / 2.0, 0, 0});
  xf.position = quillstreak::host::Stream({scene.comp.width / 2.0, scene.comp.height / 2.0, 0, 0});
  if (const json* t = Optional(j, "transform")) {
    const std::string tpath = Key(path, "transform");
    ExpectObject(*t, tpath, {"anchor", "position", "scale", "rotation", "rotationX", "rotationY"});
    if (const json* v = Optional(*t, "anchor"))
      xf.anchor = StreamOf(*v, Key(tpath, "anchor"), VecKind::Point);
    if (const json* v = Optional(*t, "position"))
      xf.position = StreamOf(*v, Key(tpath, "position"), VecKind::Point);
    if (const json* v = Optional(*t, "scale"))
      xf.scale = StreamOf(*v, Key(tpath, "scale"), VecKind::Scale);
    if (const json* v = Optional(*t, "rotation"))
      xf.rotateZ = StreamOf(*v, Key(tpath, "rotation"), VecKind::Angle);
    if (const json* v = Optional(*t, "rotationX"))
      xf.rotateX = StreamOf(*v, Key(tpath, "rotationX"), VecKind::Angle);
    if (const json* v = Optional(*t, "rotationY"))
      xf.rotateY = StreamOf(*v, Key(tpath, "rotationY"), VecKind::Angle);
  }
  return layer;
}

ParamValue Reader::ParamValueOf(const ParamInfo& info, const json& j, const std::string& path,
                                const Scene& scene) const {
  ParamValue value;
  switch (info.type) {
    case ParamType::Float:
      value.number = Number(j, path);
      break;
    case ParamType::Checkbox:
      if (j.is_boolean()) {
        value.on = j.get<bool>();
      } else if (j.is_string()) {
        value = ParseParamText(info, j.get<std::string>(), file_ + ": " + path);
      } else {
        Fail(path, "expected true or false");
      }
      break;
    case ParamType::Color:
      value.color = Color(j, path);
      break;
    case ParamType::Layer:
      if (j.is_null() || (j.is_string() && j.get<std::string>() == "none")) {
        value.layer = 0;
      } else if (j.is_number()) {
        value.layer =
            static_cast<int>(Integer(j, path, 0, std::numeric_limits<std::int32_t>::max()));
        if (value.layer != 0 && scene.comp.FindLayer(value.layer) == nullptr)
          Fail(path, UnknownLayerMessage(scene, value.layer));
      } else {
        Fail(path, "expected a layer id or \"none\"");
      }
      break;
    default:
      Fail(path, "\"" + info.name + "\" takes no value");
  }
  if (const std::string why = CheckRange(info, value); !why.empty()) Fail(path, why);
  return value;
}

void Reader::ReadEffect(const json& j, Scene& scene) const {
  const std::string path = "effect";
  ExpectObject(j, path, {"layer", "params"});
  if (const json* l = Optional(j, "layer")) {
    const std::string lpath = Key(path, "layer");
    scene.effectLayer =
        static_cast<std::int32_t>(Integer(*l, lpath, 1, std::numeric_limits<std::int32_t>::max()));
    if (scene.comp.FindLayer(scene.effectLayer) == nullptr)
      Fail(lpath, UnknownLayerMessage(scene, scene.effectLayer));
  }
  const json* params = Optional(j, "params");
  if (params == nullptr) return;
  const std::string ppath = Key(path, "params");
  if (!params->is_object()) Fail(ppath, "expected an object of parameter values by name");
  for (const auto& [name, value] : params->items()) {
    const std::string vpath = ppath + "[\"" + name + "\"]";
    const ParamInfo* info = catalog_.Find(name);
    if (info == nullptr) Fail(vpath, UnknownParameterMessage(catalog_, name));
    ParamSetting setting;
    setting.index = info->index;
    setting.type = info->type;
    setting.name = info->name;
    if (value.is_object()) {
      if (info->type == ParamType::Layer) Fail(vpath, "a layer parameter cannot be keyframed");
      Keyframes(
          value, vpath,
          [&](std::int32_t time, const json& v, const std::string& kpath,
              quillstreak::host::Interp interp) {
            setting.keys.push_back(ParamKey{time, ParamValueOf(*info, v, kpath, scene), interp});
          });
      std::sort(setting.keys.begin(), setting.keys.end(),
                [](const ParamKey& a, const ParamKey& b) { return a.time < b.time; });
    } else {
      setting.constant = ParamValueOf(*info, value, vpath, scene);
    }
    for (const auto& existing : scene.params)
      if (existing.index == setting.index) Fail(vpath, "\"" + info->name + "\" is given twice");
    scene.params.push_back(std::move(setting));
  }
}

Scene Reader::Read(const json& root) {
  ExpectObject(root, "", {"description", "composition", "layers", "effect"});
  Scene scene;
  scene.file = file_;
  if (const json* d = Optional(root, "description")) String(*d, "description");
  ReadComposition(Required(root, "", "composition"), scene);
  durationFrames_ = scene.durationFrames;
  scene.comp.layers.clear();
  const json& layers = Required(root, "", "layers");
  if (!layers.is_array()) Fail("layers", "expected an array of layers");
  if (layers.empty()) Fail("layers", "expected at least one layer");
  // Layer ids first, so that a layer parameter may name any layer.
  for (std::size_t i = 0; i < layers.size(); ++i) {
    quillstreak::host::Layer layer = ReadLayer(layers[i], Item("layers", i), i, scene);
    if (scene.comp.FindLayer(layer.id) != nullptr)
      Fail(Item("layers", i) + ".id", "another layer has the id " + std::to_string(layer.id));
    scene.comp.AddLayer(std::move(layer));
  }
  scene.effectLayer = scene.comp.layers.front().id;
  if (const json* e = Optional(root, "effect")) ReadEffect(*e, scene);
  scene.warnings = warnings_;
  return scene;
}

// A JSON syntax error in plain words: the line and column of the character where reading
// stopped (`byte`, 1-based as the parser counts it), and what is most likely wrong there.
std::string SyntaxMessage(const std::string& text, std::size_t byte, const std::string& what) {
  const std::size_t at = std::min(byte > 0 ? byte - 1 : 0, text.size());
  std::size_t line = 1, column = 1;
  for (std::size_t i = 0; i < at; ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  char before = '\0';
  for (std::size_t i = at; i > 0; --i) {
    if (!std::isspace(static_cast<unsigned char>(text[i - 1]))) {
      before = text[i - 1];
      break;
    }
  }
  const char c = at < text.size() ? text[at] : '\0';
  std::string reason;
  if (at >= text.size()) {
    reason = "the text ends before the JSON is complete (is a closing } or ] missing?)";
  } else if (c == '/' || c == '#') {
    reason = "comments are not allowed in JSON";
  } else if ((c == '}' || c == ']') && before == ',') {
    reason = std::string("a comma before the closing ") + c +
             ": JSON allows no comma after the last item";
  } else if (c == ',' && (before == ',' || before == '[' || before == '{')) {
    reason = "a comma with no item before it";
  } else if (c == '\'') {
    reason = "text and field names need double quotes (\"), not single quotes";
  } else if (what.find("control character") != std::string::npos) {
    reason = "a tab or line break inside quotes (write it as \\t or \\n)";
  } else if (what.find("object key") != std::string::npos) {
    reason = "expected a field name in double quotes";
  } else if (std::isprint(static_cast<unsigned char>(c))) {
    reason = std::string("unexpected '") + c +
             "' (is a comma missing before it? JSON allows no comments and no trailing commas)";
  } else {
    reason = "unexpected character (JSON allows no comments and no trailing commas)";
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + reason;
}

}  // namespace

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

std::string LayerList(const Scene& scene) {
  std::string out;
  for (const auto& layer : scene.comp.layers) {
    if (!out.empty()) out += ", ";
    out += std::to_string(layer.id) + " \"" + layer.name + "\"";
  }
  return out;
}

std::string UnknownLayerMessage(const Scene& scene, std::int64_t id) {
  return "unknown layer id " + std::to_string(id) + " (the scene's layers: " + LayerList(scene) +
         ")";
}

std::string UnknownParameterMessage(const ParamCatalog& catalog, std::string_view name) {
  const std::string match = catalog.Suggest(name);
  return "unknown parameter (" + (match.empty() ? "" : "did you mean \"" + match + "\"? ") +
         "the effect's parameters: " + catalog.SettableNames() + ")";
}

std::vector<std::string> DescribeSettings(const Scene& scene, const ParamCatalog& catalog) {
  auto text = [](const ParamSetting& p, const ParamValue& v) -> std::string {
    switch (p.type) {
      case ParamType::Float:
        return FormatNumber(v.number);
      case ParamType::Checkbox:
        return v.on ? "on" : "off";
      case ParamType::Color: {
        char buf[16];
        std::snprintf(buf, sizeof buf, "#%02X%02X%02X", v.color.red, v.color.green, v.color.blue);
        return buf;
      }
      case ParamType::Layer:
        return v.layer == 0 ? "none" : "layer " + std::to_string(v.layer);
      default:
        return {};
    }
  };
  std::vector<std::string> out;
  for (const auto& info : catalog.params()) {
    const ParamSetting* p = nullptr;
    for (const auto& s : scene.params)
      if (s.index == info.index) p = &s;
    if (p == nullptr) continue;
    if (!p->keys.empty()) {
      out.push_back(p->name + " " + text(*p, p->keys.front().value) + " to " +
                    text(*p, p->keys.back().value) + " (keyframed)");
      continue;
    }
    const ParamValue& v = p->constant;
    const PF_ParamDef& def = info.def;
    bool isDefault = false;
    switch (p->type) {
      case ParamType::Float:
        isDefault = v.number == def.u.fs_d.value;
        break;
      case ParamType::Checkbox:
        isDefault = v.on == (def.u.bd.dephault != 0);
        break;
      case ParamType::Color: {
        const PF_Pixel& d = def.u.cd.dephault;
        isDefault = v.color.red == d.red && v.color.green == d.green && v.color.blue == d.blue &&
                    v.color.alpha == d.alpha;
        break;
      }
      case ParamType::Layer:
        isDefault = v.layer == def.u.ld.dephault;
        break;
      default:
        break;
    }
    if (!isDefault) out.push_back(p->name + " " + text(*p, v));
  }
  return out;
}

void Scene::Set(ParamSetting setting) {
  for (auto& p : params) {
    if (p.index == setting.index) {
      p = std::move(setting);
      return;
    }
  }
  params.push_back(std::move(setting));
}

void Scene::ApplyTo(quillstreak::host::Host& host) const {
  host.scene().comp() = comp;
  host.SyncInData();
  host.scene().SetEffectLayer(effectLayer);
  for (const auto& p : params) {
    host.params().Reset(p.index);
    switch (p.type) {
      case ParamType::Float:
        if (p.keys.empty()) host.params().SetFloat(p.index, p.constant.number);
        for (const auto& k : p.keys)
          host.params().KeyFloat(p.index, k.time, k.value.number, k.interp);
        break;
      case ParamType::Checkbox:
        if (p.keys.empty()) host.params().SetCheckbox(p.index, p.constant.on);
        for (const auto& k : p.keys) host.params().KeyCheckbox(p.index, k.time, k.value.on);
        break;
      case ParamType::Color:
        if (p.keys.empty()) host.params().SetColor(p.index, p.constant.color);
        for (const auto& k : p.keys)
          host.params().KeyColor(p.index, k.time, k.value.color, k.interp);
        break;
      case ParamType::Layer:
        host.params().SetLayer(p.index, p.constant.layer);
        break;
      default:
        break;
    }
  }
}

Scene ParseScene(const std::string& text, const std::string& file, const std::string& baseDir,
                 const ParamCatalog& catalog) {
  json root;
  try {
    root = json::parse(text);
  } catch (const json::parse_error& e) {
    throw InputError(file + ": " + SyntaxMessage(text, e.byte, e.what()));
  } catch (const json::out_of_range&) {
    throw InputError(file + ": a number too large for a double-precision value");
  } catch (const json::exception& e) {
    throw InputError(file + ": not valid JSON (" + std::string(e.what()) + ")");
  }
  return Reader(file, baseDir, catalog).Read(root);
}

Scene LoadSceneFile(const std::string& path, const ParamCatalog& catalog) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) throw InputError(path + ": is a folder, not a scene file");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError(path + ": cannot open the scene file");
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw InputError(path + ": cannot read the scene file");
  const std::string baseDir = fs::path(path).parent_path().string();
  return ParseScene(text.str(), path, baseDir, catalog);
}

}  // namespace quillstreak::renderer
