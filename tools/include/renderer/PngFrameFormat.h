// Frame files as PNG files: the frame format of the renderer.
#pragma once

#include <memory>
#include <vector>

#include "renderer/FrameFormat.h"
#include "renderer/Png.h"

namespace quillstreak::renderer {

/// The extension of PNG files.
inline constexpr char kPngExtension[] = ".png";

/// PNG frame files encoded with `tries` as WritePngRows does, each file recording its settings in
/// a tEXt chunk (kPngRecordKey).
std::shared_ptr<const FrameFormat> PngFrameFormat(std::vector<PngSettings> tries);

}  // namespace quillstreak::renderer
