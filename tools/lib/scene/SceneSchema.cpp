// The scene file's schema: what each field holds, checked as it is read (see SceneFile.h and
// docs/renderer.md).
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <map>

#include "renderer/FrameImage.h"
#include "renderer/InputError.h"
#include "renderer/RgbaImage.h"
#include "renderer/SceneFile.h"
#include "scene/SceneReader.h"

namespace quillstreak::renderer {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

constexpr int kMaxCompSide = 8192;
constexpr std::int32_t kMaxFrames = 100000;

}  // namespace

void SceneReader::ReadComposition(const json& j, SceneFile& scene) const {
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

// "start", "in" and "out", in frames: where the layer's time 0 lies in the composition, and the
// composition frames it draws from and up to (not including).
void SceneReader::ReadTiming(const json& j, const std::string& path,
                             quillstreak::host::LayerTiming& timing) const {
  if (const json* v = Optional(j, "start"))
    timing.start = FrameTime(*v, Key(path, "start"), "start");
  if (const json* v = Optional(j, "in")) timing.inPoint = FrameTime(*v, Key(path, "in"), "in");
  if (const json* v = Optional(j, "out")) timing.outPoint = FrameTime(*v, Key(path, "out"), "out");
  if (timing.inPoint >= timing.outPoint) {
    Fail(Key(path, "in"), "in (" + FormatNumber(j["in"].get<double>()) +
                              ") must come before out (" + FormatNumber(j["out"].get<double>()) +
                              "): the layer draws from in up to, not including, out");
  }
}

quillstreak::host::Layer SceneReader::ReadLayer(const json& j, const std::string& path,
                                                std::size_t position, const SceneFile& scene,
                                                std::shared_ptr<MediaSource>& media) const {
  ExpectObject(j, path, {"id", "name", "source", "transform", "start", "in", "out"});
  quillstreak::host::Layer layer;
  layer.id = static_cast<std::int32_t>(Integer(Required(j, path, "id"), Key(path, "id"), 1,
                                               std::numeric_limits<std::int32_t>::max()));
  layer.name = "Layer " + std::to_string(position + 1);
  if (const json* n = Optional(j, "name")) layer.name = String(*n, Key(path, "name"));
  ReadSource(Required(j, path, "source"), Key(path, "source"), scene, layer, media);
  ReadTiming(j, path, layer.timing);
  keyOffset_ = layer.timing.start;

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
  keyOffset_ = 0;
  return layer;
}

ParamValue SceneReader::ParamValueOf(const ParamInfo& info, const json& j, const std::string& path,
                                     const SceneFile& scene) const {
  ParamValue value;
  switch (info.type) {
    case ParamType::Float:
      value.number = Number(j, path);
      break;
    case ParamType::Checkbox:
    case ParamType::Button:
      if (j.is_boolean()) {
        value.on = j.get<bool>();
      } else if (j.is_string()) {
        value = ParseParamText(info, j.get<std::string>(), file() + ": " + path);
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

void SceneReader::ReadEffect(const json& j, SceneFile& scene) const {
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
  // The effect's keyframes are in its layer's time.
  keyOffset_ = scene.comp.FindLayer(scene.effectLayer)->timing.start;
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
      if (info->type == ParamType::Button) Fail(vpath, "a button cannot be keyframed");
      Keyframes(
          value, vpath, info->type == ParamType::Checkbox,
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

SceneFile SceneReader::Read(const json& root) {
  ExpectObject(root, "", {"description", "composition", "layers", "effect"});
  SceneFile scene;
  scene.file = file();
  if (const json* d = Optional(root, "description")) String(*d, "description");
  ReadComposition(Required(root, "", "composition"), scene);
  durationFrames_ = scene.durationFrames;
  scene.comp.layers.clear();
  const json& layers = Required(root, "", "layers");
  if (!layers.is_array()) Fail("layers", "expected an array of layers");
  if (layers.empty()) Fail("layers", "expected at least one layer");
  // Layer ids first, so that a layer parameter may name any layer.
  for (std::size_t i = 0; i < layers.size(); ++i) {
    std::shared_ptr<MediaSource> media;
    quillstreak::host::Layer layer = ReadLayer(layers[i], Item("layers", i), i, scene, media);
    if (scene.comp.FindLayer(layer.id) != nullptr)
      Fail(Item("layers", i) + ".id", "another layer has the id " + std::to_string(layer.id));
    if (media) scene.changing.push_back({layer.id, Item("layers", i) + ".source", media});
    scene.comp.AddLayer(std::move(layer));
  }
  scene.effectLayer = scene.comp.layers.front().id;
  if (const json* e = Optional(root, "effect")) ReadEffect(*e, scene);
  scene.warnings = warnings_;
  return scene;
}

SceneFile ParseScene(const std::string& text, const std::string& file, const std::string& baseDir,
                     const ParamCatalog& catalog) {
  json root = ParseJsonText(text, file);
  SceneFile scene = SceneReader(file, baseDir, catalog).Read(root);
  if (root["effect"].is_object()) root["effect"].erase("params");
  scene.canonical = root.dump();
  return scene;
}

}  // namespace quillstreak::renderer
