// The scene file's schema for layer sources: rectangles, ellipses, PNG images, image sequences
// and videos (see SceneReader.h and docs/renderer.md).
#include <filesystem>
#include <memory>
#include <string>

#include "renderer/FrameImage.h"
#include "renderer/InputError.h"
#include "renderer/RgbaImage.h"
#include "renderer/VideoSource.h"
#include "scene/SceneReader.h"
#if QS_HAVE_PNG
#include "renderer/Png.h"
#include "scene/SequenceSource.h"
#endif

namespace quillstreak::renderer {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

constexpr int kMaxSourceSide = 8192;

}  // namespace

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

}  // namespace quillstreak::renderer
