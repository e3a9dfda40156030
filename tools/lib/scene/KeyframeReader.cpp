// Keyframed properties of a scene file (see KeyframeReader.h).
#include "scene/KeyframeReader.h"

#include <algorithm>
#include <cmath>

namespace quillstreak::renderer {
namespace {

// Keyframes may lie before or after the composition; times are kept within this many frames of
// zero so that they fit the host's 32-bit time values at any frame rate we accept.
constexpr double kMaxKeyFrame = 1000000;

}  // namespace

quillstreak::host::Interp KeyframeReader::InterpOf(const json& j, const std::string& path) const {
  const std::string s = String(j, path);
  if (s == "linear") return quillstreak::host::Interp::Linear;
  if (s == "hold") return quillstreak::host::Interp::Hold;
  if (s == "eased") return quillstreak::host::Interp::Eased;
  Fail(path, "unknown interpolation \"" + s + "\" (expected linear, hold or eased)");
}

// A time in frames (`what`: "keyframe time", "start"...) as time units.
std::int32_t KeyframeReader::FrameTime(const json& j, const std::string& path,
                                       const char* what) const {
  const double frames = Number(j, path);
  if (std::fabs(frames) > kMaxKeyFrame)
    Fail(path, std::string(what) + " out of range (-1000000 to 1000000 frames)");
  return static_cast<std::int32_t>(std::llround(frames * kUnitsPerFrame));
}

// Keyframes past the end of the composition: none is ever a frame's own value (a keyframe at
// the end is its last moment), but what they do to the frames before them depends on the
// keyframe before each, in time order.
void KeyframeReader::WarnPastTheEnd(std::vector<KeyPlace> places) const {
  std::stable_sort(places.begin(), places.end(),
                   [](const KeyPlace& a, const KeyPlace& b) { return a.time < b.time; });
  // Keyframe times are the layer's own; the composition's end is in its time.
  const std::int64_t end = static_cast<std::int64_t>(durationFrames_) * kUnitsPerFrame - keyOffset_;
  for (std::size_t i = 0; i < places.size(); ++i) {
    if (places[i].time <= end) continue;
    std::string effect;
    if (i == 0)
      effect = "as the first keyframe, its value holds over every frame";
    else if (places[i - 1].time > end)
      effect = "no frame is changed by it, as the keyframe before it lies past the end too";
    else if (places[i - 1].interp == quillstreak::host::Interp::Hold)
      effect = "no frame is changed by it, as the keyframe before it holds its value";
    else
      effect = "the frames before it are still interpolated towards it";
    Warn(places[i].path, places[i].frames + " lies past the end of the composition (" +
                             std::to_string(durationFrames_) + " frames, 0-" +
                             std::to_string(durationFrames_ - 1) + "); " + effect);
  }
}

quillstreak::host::StreamValue KeyframeReader::VecValue(const json& j, const std::string& path,
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

quillstreak::host::Stream KeyframeReader::StreamOf(const json& j, const std::string& path,
                                                   VecKind kind) const {
  if (!j.is_object()) return quillstreak::host::Stream(VecValue(j, path, kind));
  quillstreak::host::Stream stream;
  Keyframes(j, path, false,
            [&](std::int32_t time, const json& value, const std::string& vpath,
                quillstreak::host::Interp interp) {
              stream.AddKeyframe(time, VecValue(value, vpath, kind), interp);
            });
  return stream;
}

void KeyframeReader::Warn(const std::string& path, const std::string& message) const {
  warnings_.push_back(file() + ": " + path + ": " + message);
}

}  // namespace quillstreak::renderer
