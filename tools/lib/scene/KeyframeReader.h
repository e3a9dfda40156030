// Reading the keyframed properties of a scene file: values or {"keyframes": [...]}, with their
// times in frames checked and warnings for keyframes out of order or past the composition's end.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "host/Composition.h"
#include "renderer/SceneFile.h"
#include "scene/JsonReader.h"

namespace quillstreak::renderer {

class KeyframeReader : public JsonReader {
 public:
  using JsonReader::JsonReader;

 protected:
  enum class VecKind { Point, Scale, Angle };

  quillstreak::host::Interp InterpOf(const json& j, const std::string& path) const;

  // A time in frames (`what`: "keyframe time", "start"...) as time units.
  std::int32_t FrameTime(const json& j, const std::string& path, const char* what) const;

  // The keyframes array of {"keyframes": [...]}; each entry passed to `each` with its path.
  // `holds`: the property always holds its value from one keyframe to the next (checkboxes).
  template <typename Each>
  void Keyframes(const json& j, const std::string& path, bool holds, Each each) const {
    ExpectObject(j, path, {"keyframes"});
    const std::string kpath = Key(path, "keyframes");
    const json& keys = Required(j, path, "keyframes");
    if (!keys.is_array()) Fail(kpath, "expected an array of keyframes");
    if (keys.empty()) Fail(kpath, "expected at least one keyframe");
    std::map<std::int32_t, std::size_t> items;  // by time
    std::vector<KeyPlace> places;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      const std::string ipath = Item(kpath, i);
      const json& key = keys[i];
      ExpectObject(key, ipath, {"time", "value", "interp"});
      const std::string tpath = Key(ipath, "time");
      const std::int32_t time = FrameTime(Required(key, ipath, "time"), tpath, "keyframe time");
      const std::string frames = FormatNumber(key["time"].get<double>());
      if (const auto [other, added] = items.emplace(time, i); !added) {
        Fail(tpath, frames + " is also the time of " + Item("keyframes", other->second) +
                        "; two keyframes of one property cannot share a time");
      }
      if (i > 0 && time < places.back().time) {
        Warn(tpath, frames + " comes before the time of the keyframe above it (" +
                        FormatNumber(places.back().time / static_cast<double>(kUnitsPerFrame)) +
                        "); keyframes are used in time order");
      }
      const quillstreak::host::Interp interp = key.contains("interp")
                                                   ? InterpOf(key["interp"], Key(ipath, "interp"))
                                                   : quillstreak::host::Interp::Linear;
      places.push_back({time, holds ? quillstreak::host::Interp::Hold : interp, tpath, frames});
      each(time, Required(key, ipath, "value"), Key(ipath, "value"), interp);
    }
    WarnPastTheEnd(places);
  }

  quillstreak::host::StreamValue VecValue(const json& j, const std::string& path,
                                          VecKind kind) const;
  quillstreak::host::Stream StreamOf(const json& j, const std::string& path, VecKind kind) const;
  /// Adds "FILE: PATH: message" to the warnings.
  void Warn(const std::string& path, const std::string& message) const;

  std::int32_t durationFrames_ = 0;
  mutable std::int64_t keyOffset_ = 0;  // the start of the layer whose keyframes are read
  mutable std::vector<std::string> warnings_;

 private:
  struct KeyPlace {
    std::int32_t time = 0;
    quillstreak::host::Interp interp = quillstreak::host::Interp::Linear;
    std::string path;    // of its time
    std::string frames;  // its time as given
  };

  // Keyframes past the end of the composition: none is ever a frame's own value (a keyframe at
  // the end is its last moment), but what they do to the frames before them depends on the
  // keyframe before each, in time order.
  void WarnPastTheEnd(std::vector<KeyPlace> places) const;
};

}  // namespace quillstreak::renderer
