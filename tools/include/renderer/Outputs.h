// What the renderer writes and the checks made before it writes anything: output folders,
// picture files written whole or not at all, and video files encoded by ffmpeg.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "renderer/Png.h"
#include "renderer/RgbaImage.h"

namespace quillstreak::renderer {

/// Checks that `dir` is a folder the renderer can write to, or one it can create (the nearest
/// folder above it that exists is writable). Throws InputError "`what` DIR: reason", with the
/// system's reason when the folder is not writable.
void CheckWritableFolder(const std::filesystem::path& dir, const std::string& what);

/// A temporary name beside `path` to write it under before it is renamed into place, so that an
/// interrupted render never leaves a partly written file under an output's name.
std::filesystem::path PartialName(const std::filesystem::path& path);
/// Removes what an interrupted render left beside the outputs: files named like PartialName of
/// one of `outputs` ("v.mp4.partial-1234-0"). Other files are left alone.
void RemoveLeftoverPartials(const std::vector<std::filesystem::path>& outputs);

/// Renames the written `partial` to `path` (removing it when that fails). Throws RenderError
/// naming `path`.
void PlaceWritten(const std::filesystem::path& partial, const std::filesystem::path& path);

/// Writes a PNG under a temporary name beside `path` and renames it into place. Throws
/// RenderError naming the file.
void WritePngWhole(const std::filesystem::path& path, const RgbaImage& image, bool opaque,
                   const std::vector<PngSettings>& tries);

/// A video container the renderer can encode, chosen by the file's extension.
struct VideoFormat {
  const char* extension;  // ".mp4"
  const char* muxer;      // ffmpeg's -f
  const char* encoding;   // ffmpeg's arguments after the input
};

/// The format for a file name, or null for an extension the renderer does not encode.
const VideoFormat* VideoFormatFor(const std::filesystem::path& path);
/// The extensions known, for messages: ".mp4, .mov, .mkv, .webm or .gif".
std::string VideoExtensions();

/// Whether `program -version` runs and succeeds.
bool ProgramRuns(const std::string& program);

/// ffmpeg encoding frames piped to it as raw RGBA. It writes a temporary file beside the target
/// and its messages to a log; Finish renames the file into place, and a writer destroyed before
/// that removes both, so a failed encode leaves nothing behind. Throws RenderError naming the
/// video and ffmpeg's last message.
class VideoWriter {
 public:
  VideoWriter(const std::string& ffmpeg, const std::filesystem::path& path,
              const VideoFormat& format, int width, int height, const std::string& rate);
  ~VideoWriter();
  VideoWriter(const VideoWriter&) = delete;
  VideoWriter& operator=(const VideoWriter&) = delete;

  void Write(const RgbaImage& image);
  void Finish();

 private:
  int Close();
  [[noreturn]] void Fail(const std::string& what);

  std::filesystem::path path_, partial_, log_;
  std::FILE* pipe_ = nullptr;
  int width_ = 0, height_ = 0;
};

}  // namespace quillstreak::renderer
