#include "renderer/VideoSource.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "renderer/InputError.h"
#include "renderer/Process.h"
#include "renderer/RgbaImage.h"

namespace quillstreak::renderer {
namespace {

namespace fs = std::filesystem;

// "num/den" with both positive and within 32 bits; nothing otherwise.
bool ParseRate(const std::string& text, quillstreak::host::FrameRate& rate) {
  unsigned long long num = 0, den = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%llu/%llu%c", &num, &den, &tail) != 2) return false;
  if (num == 0 || den == 0 || num > 0xffffffffULL || den > 0xffffffffULL) return false;
  rate.num = static_cast<std::uint32_t>(num);
  rate.den = static_cast<std::uint32_t>(den);
  return true;
}

// Whether frames of this pixel format carry an alpha channel.
bool FormatHasAlpha(const std::string& format) {
  for (const char* prefix :
       {"yuva", "rgba", "bgra", "argb", "abgr", "gbrap", "ya", "ayuv", "vuya", "pal8"})
    if (format.rfind(prefix, 0) == 0) return true;
  return false;
}

// Runs a program to its end: what it wrote on standard output, its exit code and its errors.
int RunToEnd(const std::vector<std::string>& args, std::string& out, std::string& errors) {
  Process child(args, ProcessPipes{false, true});
  out = child.ReadAll();
  const int code = child.Wait();
  errors = child.Errors();
  return code;
}

/// What ffprobe says of the first video stream of `file` (`path` as the scene gives it), as
/// field=value pairs; throws InputError when ffprobe does not run or cannot read the file.
std::map<std::string, std::string> Probe(const VideoPrograms& programs, const fs::path& file,
                                         const std::string& path) {
  std::string report, errors;
  int code = 0;
  try {
    code = RunToEnd({programs.ffprobe, "-v", "error", "-select_streams", "v:0", "-count_packets",
                     "-show_entries",
                     "stream=codec_name,width,height,pix_fmt,r_frame_rate,avg_frame_rate,"
                     "nb_read_packets:stream_tags=alpha_mode",
                     "-of", "default=noprint_wrappers=1", file.string()},
                    report, errors);
  } catch (const ProcessError& e) {
    throw InputError("video layers need ffprobe, which comes with ffmpeg (\"" + programs.ffprobe +
                     "\" does not run: " + e.what() + ")");
  }
  if (code != 0) {
    const std::string line = LastLine(errors);
    throw InputError("ffmpeg cannot read \"" + path + "\"" + (line.empty() ? "" : ": " + line));
  }
  std::map<std::string, std::string> fields;
  std::istringstream in(report);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (const auto eq = line.find('='); eq != std::string::npos)
      fields[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return fields;
}

std::mutex programsMutex;
VideoPrograms programsInUse;

}  // namespace

void UseVideoPrograms(const VideoPrograms& programs) {
  const std::lock_guard<std::mutex> lock(programsMutex);
  programsInUse = programs;
}

VideoPrograms VideoProgramsInUse() {
  const std::lock_guard<std::mutex> lock(programsMutex);
  return programsInUse;
}

std::shared_ptr<VideoSource> VideoSource::Open(const std::string& path, const fs::path& baseDir,
                                               const VideoPrograms& programs) {
  std::shared_ptr<VideoSource> v(new VideoSource());
  v->path_ = path;
  v->file_ = baseDir / fs::path(path);
  v->programs_ = programs;
  std::error_code ec;
  if (!fs::is_regular_file(v->file_, ec))
    throw InputError("no video file \"" + v->file_.string() + "\"");

  std::map<std::string, std::string> fields = Probe(programs, v->file_, path);
  if (fields.count("width") == 0) throw InputError("\"" + path + "\" has no video stream");
  v->codec_ = fields["codec_name"];
  const long long width = std::atoll(fields["width"].c_str());
  const long long height = std::atoll(fields["height"].c_str());
  if (width <= 0 || height <= 0)
    throw InputError("\"" + path + "\": ffprobe gives no frame size (codec " + v->codec_ + ")");
  if (width > kMaxImageSide || height > kMaxImageSide) {
    throw InputError("\"" + path + "\" is " + std::to_string(width) + "x" + std::to_string(height) +
                     ", larger than the image size limit (" + std::to_string(kMaxImageSide) +
                     " pixels a side)");
  }
  v->width_ = static_cast<A_long>(width);
  v->height_ = static_cast<A_long>(height);
  const std::uint64_t frameBytes = static_cast<std::uint64_t>(width * height) * sizeof(PF_Pixel);
  v->keptLimit_ =
      static_cast<std::size_t>(std::clamp<std::uint64_t>(kKeptBytes / frameBytes, 1, kKept));
  v->ahead_ = std::min<std::int64_t>(kAhead, static_cast<std::int64_t>(v->keptLimit_) - 1);
  if (!ParseRate(fields["r_frame_rate"], v->rate_) &&
      !ParseRate(fields["avg_frame_rate"], v->rate_))
    throw InputError("\"" + path + "\": ffprobe gives no frame rate");
  v->frames_ = std::atoll(fields["nb_read_packets"].c_str());
  if (v->frames_ <= 0) throw InputError("\"" + path + "\" holds no frame");
  // VP8 and VP9 keep alpha in a stream of their own that only libvpx's decoders read.
  const bool alphaMode = fields["TAG:alpha_mode"] == "1";
  if (alphaMode && v->codec_ == "vp8") v->decoder_ = "libvpx";
  if (alphaMode && v->codec_ == "vp9") v->decoder_ = "libvpx-vp9";
  v->alpha_ = alphaMode || FormatHasAlpha(fields["pix_fmt"]);
  return v;
}

VideoSource::~VideoSource() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

std::int64_t VideoSource::decoderStarts() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return starts_;
}

std::size_t VideoSource::peakKept() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return peakKept_;
}

std::vector<PF_Pixel> VideoSource::Decode(std::int64_t index) {
  index = std::clamp<std::int64_t>(index, 0, frames_ - 1);
  std::unique_lock<std::mutex> lock(mutex_);
  std::int64_t startedAt = -1;  // where this call started the decoder
  if (!thread_.joinable()) {
    restartAt_ = startedAt = index;
    thread_ = std::thread(&VideoSource::Run, this);
  }
  for (;;) {
    if (!kept_.empty() && index >= kept_.front().index && index <= kept_.back().index)
      return *kept_[static_cast<std::size_t>(index - kept_.front().index)].pixels;
    if (restartAt_ < 0) {
      if (!error_.empty()) throw std::runtime_error(error_);
      if (ended_ && index >= next_) {
        // The file holds fewer frames than ffprobe counted: its last one stays.
        if (!kept_.empty()) return *kept_.back().pixels;
        if (startedAt == index) {
          throw std::runtime_error("ffmpeg gives no frame " + std::to_string(index) + " of \"" +
                                   path_ + "\"");
        }
      }
      if (index < next_ || index >= next_ + kFar || (ended_ && index >= next_)) {
        restartAt_ = startedAt = index;
        kept_.clear();
      }
    }
    wanted_ = index;
    changed_.notify_all();
    const auto waiting = waiting_.insert(index);
    changed_.wait(lock);
    waiting_.erase(waiting);
  }
}

void VideoSource::Check(const std::vector<std::int64_t>& indices) const {
  if (indices.empty()) return;
  try {
    // The decoder starts where the render does; its frames stay for the render.
    const_cast<VideoSource*>(this)->Decode(indices.front());
  } catch (const std::runtime_error& e) {
    throw InputError(e.what());
  }
}

void VideoSource::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] {
      return stopping_ || restartAt_ >= 0 ||
             (process_ && !ended_ && error_.empty() && next_ < frames_ && ReadOn());
    });
    if (stopping_) break;
    if (restartAt_ >= 0) {
      const std::int64_t at = restartAt_;
      restartAt_ = -1;
      next_ = at;
      kept_.clear();
      ended_ = false;
      error_.clear();
      ++starts_;
      lock.unlock();
      std::string failed;
      try {
        StartDecoder(at);
      } catch (const ProcessError& e) {
        failed = "video layers need ffmpeg (\"" + programs_.ffmpeg +
                 "\" does not run: " + e.what() + ")";
      }
      lock.lock();
      if (!failed.empty()) error_ = failed;
      changed_.notify_all();
      continue;
    }
    lock.unlock();
    bool end = false;
    std::shared_ptr<const std::vector<PF_Pixel>> pixels;
    std::string failed;
    try {
      pixels = std::make_shared<const std::vector<PF_Pixel>>(ReadFrame(end));
    } catch (const std::runtime_error& e) {
      failed = e.what();
    }
    lock.lock();
    if (restartAt_ >= 0) continue;  // a frame of the decoding that is being replaced
    if (!failed.empty()) {
      error_ = failed;
    } else if (end) {
      ended_ = true;
    } else {
      kept_.push_back({next_++, std::move(pixels)});
      while (kept_.size() > keptLimit_) kept_.pop_front();
      peakKept_ = std::max(peakKept_, kept_.size());
    }
    changed_.notify_all();
  }
  lock.unlock();
  process_.reset();
}

bool VideoSource::ReadOn() const {
  const bool waited = !waiting_.empty();
  // Never past a frame a caller waits for that would be dropped before it is taken.
  if (waited && kept_.size() >= keptLimit_ && kept_.front().index >= *waiting_.begin())
    return false;
  return next_ <= wanted_ + ahead_ || (waited && next_ <= *waiting_.rbegin());
}

void VideoSource::StartDecoder(std::int64_t at) {
  process_.reset();
  std::vector<std::string> args = {programs_.ffmpeg, "-hide_banner", "-v", "error", "-nostdin"};
  if (!decoder_.empty()) args.insert(args.end(), {"-c:v", decoder_});
  if (at > 0) {
    // Half a frame before the frame's time, so that rounding in the file's time base cannot
    // make the decoder start one frame late.
    char seconds[64];
    std::snprintf(seconds, sizeof seconds, "%.9f",
                  (static_cast<double>(at) - 0.5) * rate_.den / rate_.num);
    args.insert(args.end(), {"-ss", seconds});
  }
  args.insert(args.end(), {"-i", file_.string(), "-map", "0:v:0", "-an", "-sn", "-fps_mode",
                           "passthrough", "-f", "rawvideo", "-pix_fmt", "rgba", "-"});
  process_ = std::make_unique<Process>(args, ProcessPipes{false, true});
}

std::vector<PF_Pixel> VideoSource::ReadFrame(bool& end) {
  // The RGBA bytes go straight into the frame (four bytes a pixel either way), then each pixel
  // is turned to ARGB in place: no second frame-sized buffer.
  static_assert(sizeof(PF_Pixel) == 4);
  std::vector<PF_Pixel> out(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
  auto* bytes = reinterpret_cast<std::uint8_t*>(out.data());
  const std::size_t size = out.size() * 4;
  std::size_t got = 0;
  while (got < size) {
    const std::size_t n = process_->Read(bytes + got, size - got);
    if (n == 0) break;
    got += n;
  }
  if (got < size) {
    const int code = process_->Wait();
    const std::string line = LastLine(process_->Errors());
    if (code != 0 || got > 0) {
      throw std::runtime_error(
          "ffmpeg cannot decode \"" + path_ + "\"" +
          (line.empty() ? " (exit status " + std::to_string(code) + ")" : ": " + line));
    }
    end = true;
    return {};
  }
  for (PF_Pixel& px : out) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&px);
    px = PF_Pixel{p[3], p[0], p[1], p[2]};
  }
  return out;
}

}  // namespace quillstreak::renderer
