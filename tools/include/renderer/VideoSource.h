// Video files as a layer source that changes over time: any file ffmpeg decodes, its size, rate,
// frame count and alpha read with ffprobe, its frames decoded by ffmpeg (run without a shell) to
// straight RGBA on a pipe, a few frames ahead on a thread of their own.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "renderer/MediaSource.h"

namespace quillstreak::renderer {

class Process;

/// The programs video layers run: ffmpeg and ffprobe (by default found on the PATH).
struct VideoPrograms {
  std::string ffmpeg = "ffmpeg";
  std::string ffprobe = "ffprobe";
};

/// The programs scenes read from now on run for their video layers (the renderer's --ffmpeg).
void UseVideoPrograms(const VideoPrograms& programs);
VideoPrograms VideoProgramsInUse();

/// The frames of a video file: frame i is the i-th frame the file holds, at the file's rate.
/// Frames are decoded when asked for; the decoder runs ahead of the last frame asked for by a
/// few frames, and at most kKept decoded frames are held, so a long video is never held whole.
/// A frame behind those held, or far ahead, starts the decoder again at that frame.
/// Safe to use from several threads.
class VideoSource final : public MediaSource {
 public:
  /// Frames decoded ahead of the latest asked for.
  static constexpr std::int64_t kAhead = 2;
  /// Decoded frames held at most (those asked for last and those decoded ahead).
  static constexpr std::size_t kKept = 5;
  /// ... and their bytes at most (an eighth of the host's default budget), though at least one
  /// frame: large frames are held fewer at a time, and decoded ahead less or not at all.
  static constexpr std::uint64_t kKeptBytes = std::uint64_t{256} << 20;
  /// A frame at most this far past the decoder's position is reached by decoding on; one further
  /// starts the decoder at it.
  static constexpr std::int64_t kFar = 24;

  /// Probes the video at `path`, as given in the scene, under `baseDir`. Throws InputError
  /// (without the scene's name) when ffprobe does not run, the file is not there, ffmpeg cannot
  /// read it (with ffprobe's own message), it has no video stream, or its frames are larger than
  /// the image size limit.
  static std::shared_ptr<VideoSource> Open(const std::string& path,
                                           const std::filesystem::path& baseDir,
                                           const VideoPrograms& programs);
  ~VideoSource() override;

  A_long width() const override { return width_; }
  A_long height() const override { return height_; }
  std::int64_t frameCount() const override { return frames_; }
  quillstreak::host::FrameRate rate() const override { return rate_; }
  /// The frame's straight ARGB pixels (opaque when the video has no alpha). Throws
  /// std::runtime_error with ffmpeg's message when it cannot be decoded.
  std::vector<PF_Pixel> Decode(std::int64_t index) override;

  std::string Describe() const override { return path_; }
  std::int64_t FrameNumber(std::int64_t index) const override { return index; }
  /// Decodes the first of `indices` (the decoder then runs on from it): InputError with ffmpeg's
  /// message when it cannot.
  void Check(const std::vector<std::int64_t>& indices) const override;

  /// Whether the frames have an alpha channel of their own (else they are opaque).
  bool hasAlpha() const { return alpha_; }
  /// The codec ffprobe names ("vp9", "prores", "qtrle").
  const std::string& codec() const { return codec_; }

  /// How many times ffmpeg was started to decode, and the most frames held at once.
  std::int64_t decoderStarts() const;
  std::size_t peakKept() const;

 private:
  VideoSource() = default;
  void Run();                                  // the decoding thread
  void StartDecoder(std::int64_t at);          // on the decoding thread
  std::vector<PF_Pixel> ReadFrame(bool& end);  // on the decoding thread
  bool ReadOn() const;  // whether to decode the next frame now (under the lock)

  struct Frame {
    std::int64_t index;
    std::shared_ptr<const std::vector<PF_Pixel>> pixels;
  };

  std::string path_;  // as the scene gives it
  std::filesystem::path file_;
  VideoPrograms programs_;
  std::string codec_, decoder_;  // decoder_: the one to ask for (VP8/VP9 with alpha), or empty
  A_long width_ = 0, height_ = 0;
  std::int64_t frames_ = 0;
  quillstreak::host::FrameRate rate_;
  bool alpha_ = false;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::thread thread_;
  std::unique_ptr<Process> process_;     // the decoder, used on the decoding thread only
  std::deque<Frame> kept_;               // ascending indices, consecutive
  std::int64_t next_ = 0;                // the index of the frame the decoder gives next
  std::int64_t wanted_ = 0;              // the latest frame asked for
  std::multiset<std::int64_t> waiting_;  // the frames callers wait for
  std::int64_t restartAt_ = -1;          // >= 0: start the decoder at this frame
  bool ended_ = false;                   // the decoder gave its last frame
  bool stopping_ = false;
  std::string error_;  // why the decoder failed
  std::int64_t starts_ = 0;
  std::size_t peakKept_ = 0;
  std::size_t keptLimit_ = kKept;  // kKept within kKeptBytes
  std::int64_t ahead_ = kAhead;    // kAhead within the limit
};

}  // namespace quillstreak::renderer
