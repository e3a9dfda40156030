// Video files encoded by ffmpeg, started without a shell, and checked before they are put in place.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "render/Outputs.h"
#include "renderer/RgbaImage.h"

namespace quillstreak::renderer {

class Process;
class RegisteredChild;

/// A video container the renderer can encode, chosen by the file's extension.
struct VideoFormat {
  const char* extension;  // ".mp4"
  const char* muxer;      // ffmpeg's -f
  const char* encoding;   // ffmpeg's arguments after the input, separated by spaces
  double diskShare;       // its size against the frames' PNG files, for the dry run's estimate
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
