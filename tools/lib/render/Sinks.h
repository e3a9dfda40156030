// Where rendered frames go besides their own files: the contact sheet, gathered and written at
// the end, and the video, opened on the first frame. A sink does nothing when the plan has no
// such output.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "render/Plan.h"
#include "render/VideoEncoder.h"
#include "renderer/RgbaImage.h"

namespace quillstreak::renderer {

class ContactSheetSink {
 public:
  explicit ContactSheetSink(const Plan& plan) : plan_(plan) {}
  bool wanted() const { return plan_.sheet.has_value(); }
  /// The label of frame `frame` of variant `run`: "frame 7", or the variant's values.
  std::string Label(std::size_t run, long frame) const;
  void Add(const RgbaImage& picture, std::string label);
  /// Writes the sheet, captioned with the scene and its settings. Throws RenderError.
  void Finish(const ParamCatalog& catalog);

 private:
  const Plan& plan_;
  std::vector<RgbaImage> cells_;
  std::vector<std::string> labels_;
};

class VideoSink {
 public:
  explicit VideoSink(const Plan& plan) : plan_(plan) {}
  bool wanted() const { return plan_.video.has_value(); }
  /// Sends a frame to ffmpeg, started at the first frame's size. Throws RenderError.
  void Add(const RgbaImage& picture);
  /// Puts the video in place. Throws RenderError.
  void Finish();

 private:
  const Plan& plan_;
  std::unique_ptr<VideoWriter> writer_;
};

/// The contact sheet's caption: the scene and the parameter values that differ from the defaults
/// and that every cell shares.
std::string Caption(const Plan& plan, const ParamCatalog& catalog);

}  // namespace quillstreak::renderer
