// Encoding videos with ffmpeg (see VideoEncoder.h).
#include "render/VideoEncoder.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "platform/Interrupts.h"
#include "renderer/InputError.h"
#include "renderer/Process.h"
#include "text/Text.h"

namespace quillstreak::renderer {
namespace {

namespace fs = std::filesystem;

// The disk shares: a video's bytes for each byte of the frames' PNG files, 0.02 to 0.09 for H.264
// and VP9 and 0.2 to 0.35 for GIF with the examples and the demo at 640x360 to 1920x1080 (a video
// holds mostly the changes from one frame to the next).
constexpr VideoFormat kFormats[] = {
    {".mp4", "mp4",
     "-vf pad=ceil(iw/2)*2:ceil(ih/2)*2 -c:v libx264 -pix_fmt yuv420p -movflags +faststart", 0.05},
    {".mov", "mov", "-vf pad=ceil(iw/2)*2:ceil(ih/2)*2 -c:v libx264 -pix_fmt yuv420p", 0.05},
    {".mkv", "matroska", "-vf pad=ceil(iw/2)*2:ceil(ih/2)*2 -c:v libx264 -pix_fmt yuv420p", 0.05},
    {".webm", "webm",
     "-vf pad=ceil(iw/2)*2:ceil(ih/2)*2 -c:v libvpx-vp9 -pix_fmt yuv420p -b:v 0 -crf 32", 0.05},
    // A palette made from the frames themselves, rather than a generic one.
    {".gif", "gif", "-vf split[a][b];[a]palettegen=stats_mode=full[p];[b][p]paletteuse", 0.25},
};

// Waits for a child, ending the wait with Interrupted when a signal comes.
int WaitUnlessInterrupted(Process& child) {
  for (;;) {
    if (const std::optional<int> code = child.Poll()) return *code;
    if (const int signal = InterruptSignal()) throw Interrupted(signal);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// The last line a program wrote that says something, with `partial` (a temporary name it was
// given) said as `target`, the name the user knows.
std::string LastLine(const std::string& text, const fs::path& partial, const fs::path& target) {
  std::string last = quillstreak::renderer::LastLine(text);
  const std::string from = partial.string(), to = target.string();
  for (auto at = from.empty() ? std::string::npos : last.find(from); at != std::string::npos;
       at = last.find(from, at + to.size())) {
    last.replace(at, from.size(), to);
  }
  return last;
}

// A field of ffprobe's "key=value" lines, or empty.
std::string Field(const std::string& text, const std::string& key) {
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(key + "=", 0) != 0) continue;
    std::string value = line.substr(key.size() + 1);
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
    return value;
  }
  return {};
}

std::string Seconds(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", s);
  return text;
}

}  // namespace

const VideoFormat* VideoFormatFor(const fs::path& path) {
  const std::string ext = Lower(path.extension().string());
  for (const auto& f : kFormats)
    if (ext == f.extension) return &f;
  return nullptr;
}

std::string VideoExtensions() {
  std::string out;
  const std::size_t n = std::size(kFormats);
  for (std::size_t i = 0; i < n; ++i)
    out += std::string(i == 0 ? "" : i + 1 == n ? " or " : ", ") + kFormats[i].extension;
  return out;
}

bool ProgramRuns(const std::string& program) {
  try {
    return Process({program, "-version"}).Wait() == 0;
  } catch (const ProcessError&) {
    return false;
  }
}

std::string ProbeProgram(const std::string& ffmpeg) {
  const fs::path given(ffmpeg);
  std::string name = given.filename().string();
  const std::string lower = Lower(name);
  if (const auto at = lower.rfind("ffmpeg"); at != std::string::npos)
    name.replace(at, 6, "ffprobe");
  else
    name = "ffprobe" + given.extension().string();
  return given.has_parent_path() ? (given.parent_path() / name).string() : name;
}

VideoWriter::VideoWriter(const std::string& ffmpeg, const fs::path& path, const VideoFormat& format,
                         int width, int height, const std::string& rate, double fps, bool replace)
    : ffmpeg_(ffmpeg),
      partial_(path),
      width_(width),
      height_(height),
      fps_(fps),
      replace_(replace) {
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  std::vector<std::string> args = {ffmpeg, "-hide_banner", "-loglevel", "error", "-y", "-f"};
  args.insert(args.end(), {"rawvideo", "-pix_fmt", "rgba", "-s", size, "-r", rate, "-i", "-"});
  std::istringstream encoding(format.encoding);
  for (std::string word; encoding >> word;) args.push_back(word);
  args.insert(args.end(), {"-f", format.muxer, partial_.path().string()});
  try {
    encoder_ = std::make_unique<Process>(args, ProcessPipes{true, false});
  } catch (const ProcessError& e) {
    throw RenderError(path.string() + ": " + e.what());
  }
  child_ = std::make_unique<RegisteredChild>(encoder_->id());
}

VideoWriter::~VideoWriter() = default;

void VideoWriter::Fail(const std::string& what, const std::string& messages) {
  const std::string last = LastLine(messages, partial_.path(), partial_.target());
  throw RenderError(partial_.target().string() + ": " + what + (last.empty() ? "" : ": " + last));
}

void VideoWriter::Write(const RgbaImage& image) {
  if (image.width != width_ || image.height != height_) Fail("frames of different sizes", "");
  if (!encoder_->Write(image.rgba.data(), image.rgba.size())) {
    encoder_->CloseInput();
    const int code = WaitUnlessInterrupted(*encoder_);
    Fail("ffmpeg stopped reading the frames (exit status " + std::to_string(code) + ")",
         encoder_->Errors());
  }
  ++frames_;
}

void VideoWriter::Finish() {
  encoder_->CloseInput();
  const int code = WaitUnlessInterrupted(*encoder_);
  child_.reset();
  if (code != 0)
    Fail("ffmpeg failed (exit status " + std::to_string(code) + ")", encoder_->Errors());
  // With -loglevel error ffmpeg says nothing unless something went wrong, and it may still exit
  // with 0 (a trailer it could not write on a full disk).
  if (!LastLine(encoder_->Errors(), {}, {}).empty()) Fail("ffmpeg failed", encoder_->Errors());
  Verify();
  partial_.Place(replace_);
}

// The finished file read back: as many frames as were sent, lasting as long as they should.
void VideoWriter::Verify() {
  const std::string probe = ProbeProgram(ffmpeg_);
  std::string report, errors;
  int code = 0;
  try {
    Process reader({probe, "-v", "error", "-count_packets", "-select_streams", "v:0",
                    "-show_entries", "stream=nb_read_packets:format=duration", "-of",
                    "default=noprint_wrappers=1", partial_.path().string()},
                   ProcessPipes{false, true});
    const RegisteredChild child(reader.id());
    report = reader.ReadAll();
    code = WaitUnlessInterrupted(reader);
    errors = reader.Errors();
  } catch (const ProcessError& e) {
    throw RenderError(partial_.target().string() +
                      ": cannot check the finished video: " + e.what());
  }
  if (code != 0 || !LastLine(errors, {}, {}).empty())
    Fail("the finished video does not read back (" + probe + ")", errors);
  const std::string packets = Field(report, "nb_read_packets");
  if (packets != std::to_string(frames_)) {
    Fail("the finished video holds " + (packets.empty() ? "no" : packets) + " of the " +
             std::to_string(frames_) + " frames sent",
         "");
  }
  const double expected = static_cast<double>(frames_) / fps_;
  char* end = nullptr;
  const std::string text = Field(report, "duration");
  const double duration = std::strtod(text.c_str(), &end);
  if (text.empty() || end == text.c_str() || !std::isfinite(duration)) {
    Fail("the finished video has no duration", "");
  }
  // Containers round times (a GIF to hundredths, its last frame to at least a tenth).
  if (std::abs(duration - expected) > 1 / fps_ + 0.05) {
    Fail("the finished video lasts " + Seconds(duration) + ", not " + Seconds(expected), "");
  }
}

}  // namespace quillstreak::renderer
