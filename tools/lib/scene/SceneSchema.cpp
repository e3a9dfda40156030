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
#include "scene/KeyframeReader.h"
#if QS_HAVE_PNG
#include "renderer/Png.h"
#include "scene/SequenceSource.h"
#endif
#include "renderer/VideoSource.h"

namespace quillstreak::renderer {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

constexpr int kMaxCompSide = 8192;
constexpr int kMaxSourceSide = 8192;
constexpr double kMaxFps = 1000;
constexpr std::int32_t kMaxFrames = 100000;

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

void SceneReader::ReadSource(const json& j, const std::string& path, const SceneFile& scene,
                             quillstreak::host::Layer& layer,
                             std::shared_ptr<MediaSource>& media) const {
  quillstreak::host::LayerSource& source = layer.source;
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
      Fail(ppath, "cannot read image \"" + full.string() + "\": " + e.what() + LookedIn(rel));
    }
#else
    // Builds without libpng (e.g. the Windows cross build) load every other kind of layer.
    Fail(ppath, "image layers need libpng, which this build lacks");
    RgbaImage image;
#endif
    source.kind = quillstreak::host::LayerSource::Kind::Image;
    source.width = image.width;
    source.height = image.height;
    source.pixels = ArgbPixels(image);
    return;
  }
  if (type == "sequence" || type == "video") {
    media = type == "video" ? ReadVideo(j, path) : ReadSequence(j, path, scene);
    // The frames' size; each time's pixels come from the source.
    source.kind = quillstreak::host::LayerSource::Kind::Image;
    source.width = media->width();
    source.height = media->height();
    layer.frames = media;
    layer.loop = false;
    if (const json* l = Optional(j, "loop")) {
      if (!l->is_boolean()) Fail(Key(path, "loop"), "expected true or false");
      layer.loop = l->get<bool>();
    }
    return;
  }
  Fail(Key(path, "type"), "unknown source type \"" + type +
                              "\" (expected rectangle, ellipse, image, sequence or video)");
}

// {"type": "sequence", "path": "walk/walk_%04d.png", "fps": 24, "first": 1, "loop": true}
std::shared_ptr<MediaSource> SceneReader::ReadSequence(
    const json& j, const std::string& path, [[maybe_unused]] const SceneFile& scene) const {
  ExpectObject(j, path, {"type", "path", "fps", "first", "loop"});
  const std::string ppath = Key(path, "path");
  const std::string pattern = String(Required(j, path, "path"), ppath);
  if (pattern.empty()) Fail(ppath, "expected the files' path, e.g. \"walk/walk_%04d.png\"");
#if QS_HAVE_PNG
  // A rate rounded to 1/100 frame per second, as the composition's time scale is, so that a
  // sequence at the composition's rate shows frame n at frame n.
  quillstreak::host::FrameRate rate{static_cast<std::uint32_t>(scene.comp.timeScale),
                                    static_cast<std::uint32_t>(kUnitsPerFrame)};
  if (const json* f = Optional(j, "fps")) {
    const std::string fpath = Key(path, "fps");
    const auto parsed = f->is_string() ? ParseFrameRate(f->get<std::string>())
                                       : std::optional<FrameRate>({Number(*f, fpath), ""});
    if (!parsed || parsed->fps < 0.01 || parsed->fps > kMaxFps)
      Fail(fpath, "expected a frame rate from 0.01 to 1000: a number (24, 23.976) or a fraction");
    rate.num = static_cast<std::uint32_t>(std::llround(parsed->fps * kUnitsPerFrame));
  }
  std::optional<std::int64_t> first;
  if (const json* f = Optional(j, "first"))
    first = Integer(*f, Key(path, "first"), 0, 999999999999999LL);
  try {
    return SequenceSource::Open(pattern, fs::path(baseDir_), first, rate);
  } catch (const InputError& e) {
    Fail(ppath, e.what());
  }
#else
  // Builds without libpng (e.g. the Windows cross build) load every other kind of layer.
  Fail(ppath, "sequence layers need libpng, which this build lacks");
#endif
}

// {"type": "video", "path": "clip.mov", "loop": true}: any file ffmpeg decodes, at its own rate.
std::shared_ptr<MediaSource> SceneReader::ReadVideo(const json& j, const std::string& path) const {
  ExpectObject(j, path, {"type", "path", "loop"});
  const std::string ppath = Key(path, "path");
  const std::string file = String(Required(j, path, "path"), ppath);
  if (file.empty()) Fail(ppath, "expected the video's file path");
  std::shared_ptr<VideoSource> video;
  try {
    video = VideoSource::Open(file, fs::path(baseDir_), VideoProgramsInUse());
  } catch (const InputError& e) {
    const std::string message = e.what();
    Fail(ppath, message + (message.rfind("no video file", 0) == 0 ? LookedIn(file) : ""));
  }
  if (!video->hasAlpha())
    Warn(ppath, "\"" + file + "\" has no alpha channel (" + video->codec() + "): shown opaque");
  return video;
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

}  // namespace

SceneFile ParseScene(const std::string& text, const std::string& file, const std::string& baseDir,
                     const ParamCatalog& catalog) {
  json root = ParseJsonText(text, file);
  SceneFile scene = SceneReader(file, baseDir, catalog).Read(root);
  if (root["effect"].is_object()) root["effect"].erase("params");
  scene.canonical = root.dump();
  return scene;
}

}  // namespace quillstreak::renderer
