// What the renderer writes and the checks made before it writes anything: output folders,
// picture files written whole or not at all, and video files encoded by ffmpeg and checked.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "renderer/Png.h"
#include "renderer/RgbaImage.h"

namespace quillstreak::renderer {

class Process;
class RegisteredChild;
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

/// Writes a PNG under a temporary name beside `path` and renames it into place (replacing a file
/// there only with `replace`). Throws RenderError naming the file.
void WritePngWhole(const std::filesystem::path& path, const RgbaImage& image, bool opaque,
                   const std::vector<PngSettings>& tries, bool replace);

/// A video container the renderer can encode, chosen by the file's extension.
struct VideoFormat {
  const char* extension;  // ".mp4"
  const char* muxer;      // ffmpeg's -f
  const char* encoding;   // ffmpeg's arguments after the input, separated by spaces
};

/// The format for a file name, or null for an extension the renderer does not encode.
const VideoFormat* VideoFormatFor(const std::filesystem::path& path);
/// The extensions known, for messages: ".mp4, .mov, .mkv, .webm or .gif".
std::string VideoExtensions();

/// Whether `program -version` runs and succeeds.
bool ProgramRuns(const std::string& program);
/// The ffprobe that comes with `ffmpeg`: beside it, named as it is with "ffmpeg" replaced by
/// "ffprobe" ("ffprobe" for "ffmpeg", "/opt/x/ffprobe-6" for "/opt/x/ffmpeg-6").
std::string ProbeProgram(const std::string& ffmpeg);

/// ffmpeg encoding frames piped to it as raw RGBA, started without a shell. It writes a
/// temporary file beside the target; Finish checks what ffmpeg said and how it ended, reads the
/// finished file back with ffprobe (its frame count and duration must be those sent) and only
/// then renames it into place. A writer destroyed before that ends ffmpeg and removes the file, so
/// a failed encode leaves nothing behind and an older file under the name untouched. Throws
/// RenderError naming the video and ffmpeg's (or ffprobe's) own last message; Finish throws
/// Interrupted when a signal comes while it waits.
class VideoWriter {
 public:
  /// `rate` is ffmpeg's -r ("24", "10/2"), `fps` its value; `replace` as PartialFile::Place.
  VideoWriter(const std::string& ffmpeg, const std::filesystem::path& path,
              const VideoFormat& format, int width, int height, const std::string& rate, double fps,
              bool replace);
  ~VideoWriter();
  VideoWriter(const VideoWriter&) = delete;
  VideoWriter& operator=(const VideoWriter&) = delete;

  void Write(const RgbaImage& image);
  void Finish();

 private:
  [[noreturn]] void Fail(const std::string& what, const std::string& messages);
  void Verify();

  std::string ffmpeg_;
  PartialFile partial_;
  std::unique_ptr<Process> encoder_;
  std::unique_ptr<RegisteredChild> child_;
  int width_ = 0, height_ = 0;
  double fps_ = 0;
  long frames_ = 0;
  bool replace_ = false;
};

}  // namespace quillstreak::renderer
