// What the renderer writes and the checks made before it writes anything: output folders, and
// files written whole or not at all (videos: VideoEncoder.h).
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "renderer/FrameFormat.h"
#include "renderer/RgbaImage.h"

namespace quillstreak::renderer {

class RegisteredPartial;

/// Checks that `dir` is a folder the renderer can write to, or one it can create (the nearest
/// folder above it that exists is writable). Throws InputError "`what` DIR: reason", with the
/// system's reason when the folder is not writable.
void CheckWritableFolder(const std::filesystem::path& dir, const std::string& what);

/// A file written under a temporary name beside its target ("v.mp4.partial-1234-0") and then
/// renamed into place, so that an output's name never holds a partly written file. The temporary
/// file is removed when this is destroyed unplaced, and by a second interrupt (see Interrupts.h).
class PartialFile {
 public:
  explicit PartialFile(std::filesystem::path target);
  ~PartialFile();
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  const std::filesystem::path& path() const { return partial_; }
  const std::filesystem::path& target() const { return target_; }
  /// Renames the file to its target. Without `replace` a file already there (one that appeared
  /// after the checks made before the render) is left as it is, and this fails. Throws
  /// RenderError naming the target; the temporary file is then removed.
  void Place(bool replace);

 private:
  std::filesystem::path target_, partial_;
  std::unique_ptr<RegisteredPartial> registered_;
  bool placed_ = false;
};

/// Removes what an interrupted render left beside the outputs: files named like the temporary
/// name of one of `outputs` ("v.mp4.partial-1234-0"). Other files are left alone.
void RemoveLeftoverPartials(const std::vector<std::filesystem::path>& outputs);

/// Writes a picture in `format` under a temporary name beside `path` and renames it into place
/// (replacing a file there only with `replace`). Throws RenderError naming the file.
void WritePictureWhole(const std::filesystem::path& path, const RgbaImage& image, bool opaque,
                       const FrameFormat& format, bool replace);

}  // namespace quillstreak::renderer
