// Video files as layer sources, made by ffmpeg at test time: frames decoded with their alpha at
// their own times, trail copies as an image sequence of the same frames shows them, the decoder
// held to a few frames and restarted on a seek, and bad input refused before anything is written.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "RenderCli.h"
#include "renderer/Png.h"
#include "renderer/Process.h"
#include "renderer/VideoSource.h"

namespace quillstreak::renderer::testing {
namespace {

class Video : public ScratchFolder {
 protected:
  Video() : ScratchFolder("qs_video_") {}
  void SetUp() override {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    ScratchFolder::SetUp();
  }
  // Encodes `frames` frames of a lavfi source `source` at 10 fps to `name` with `codec`.
  std::string Make(const std::string& name, const std::string& source, int frames,
                   const std::vector<std::string>& codec) const {
    std::vector<std::string> args = {"ffmpeg", "-v", "error", "-y",        "-f",
                                     "lavfi",  "-i", source,  "-frames:v", std::to_string(frames)};
    args.insert(args.end(), codec.begin(), codec.end());
    args.push_back(Path(name));
    Process ffmpeg(args);
    EXPECT_EQ(ffmpeg.Wait(), 0) << ffmpeg.Errors();
    return Path(name);
  }
  // 16x16, red 20 x the frame number, alpha 128 (exact in QuickTime Animation).
  std::string Ramp(const std::string& name, int frames, const std::vector<std::string>& codec) {
    return Make(name, "color=c=black:s=16x16:r=10,format=rgba,geq=r='20*N':g=0:b=0:a=128", frames,
                codec);
  }
  // A 32x32 composition of `duration` frames at 10 fps with the video `source` as its only layer,
  // at the top left (`layer`: more fields of it).
  std::string Scene(const std::string& source, const std::string& layer = "",
                    int duration = 10) const {
    return Write("scene.json", R"({"composition": {"width": 32, "height": 32, "fps": 10,
      "duration": )" + std::to_string(duration) +
                                   R"(}, "layers": [{"id": 1, "name": "Clip", "source": )" +
                                   source + R"(, "transform": {"anchor": [0, 0],
      "position": [0, 0]})" + layer +
                                   R"(}], "effect": {"params": {"Shutter Angle": 0}}})");
  }
  const std::uint8_t* PixelOf(RgbaImage& image, const std::string& file) const {
    image = ReadPng(Path(file));
    return image.pixel(8, 8);
  }
};

TEST_F(Video, FramesDecodeWithTheirAlphaAtTheirOwnTimes) {
  Ramp("ramp.mov", 6, {"-c:v", "qtrle", "-pix_fmt", "argb"});
  // Starting at frame 2: the first frame held before, the last after the end; looping.
  for (const bool loop : {false, true}) {
    SCOPED_TRACE(loop ? "loop" : "hold");
    const std::string scene = Scene(std::string(R"({"type": "video", "path": "ramp.mov")") +
                                        (loop ? R"(, "loop": true})" : "}"),
                                    R"(, "start": 2)");
    std::filesystem::remove_all(Path("out"));
    const Result r = Render({scene, "--out", Path("out"), "--alpha", "-q"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err.find("no alpha"), std::string::npos) << r.err;
    const int hold[] = {0, 0, 0, 1, 2, 3, 4, 5, 5, 5};
    const int looped[] = {0, 0, 0, 1, 2, 3, 4, 5, 0, 1};
    for (int f = 0; f < 10; ++f) {
      RgbaImage image;
      const std::uint8_t* px = PixelOf(image, "out/frame_000" + std::to_string(f) + ".png");
      EXPECT_EQ(px[0], 20 * (loop ? looped : hold)[f]) << "frame " << f;
      EXPECT_EQ(px[3], 128) << "frame " << f;
    }
  }
  const Result dry = Render({Scene(R"({"type": "video", "path": "ramp.mov"})", R"(, "start": 2)"),
                             "--frames", "5", "--set", "Shutter Angle=720", "--dry-run"});
  EXPECT_NE(dry.out.find("layer source   1 \"Clip\": ramp.mov, frames 1-3 (3)"), std::string::npos)
      << dry.out;

  // VP9 keeps its alpha in a stream of its own, which only libvpx decodes.
  Ramp("ramp.webm", 6, {"-c:v", "libvpx-vp9", "-pix_fmt", "yuva420p"});
  const Result r = Render({Scene(R"({"type": "video", "path": "ramp.webm"})"), "--frames", "3",
                           "--out", Path("webm"), "--alpha", "-q"});
  ASSERT_EQ(r.code, 0) << r.err;
  RgbaImage image;
  const std::uint8_t* px = PixelOf(image, "webm/frame_0003.png");
  EXPECT_NEAR(px[0], 60, 8);
  EXPECT_NEAR(px[3], 128, 4);
}

TEST_F(Video, TrailCopiesShowWhatTheSameFramesAsASequenceShow) {
  // examples/video.json is examples/sequence.json with the clock's frames in a video: each copy
  // shows the clock of its own moment, pixel for pixel.
  const std::string examples = QS_EXAMPLES_DIR;
  const Result seq =
      Render({examples + "/sequence.json", "--frames", "7-40x3", "--out", Path("seq"), "-q"});
  const Result vid = Render({examples + "/video.json", "--frames", "7-40x3", "--out", Path("vid"),
                             "--threads", "2", "-q"});
  ASSERT_EQ(seq.code, 0) << seq.err;
  ASSERT_EQ(vid.code, 0) << vid.err;
  for (int f = 7; f <= 40; f += 3) {
    const std::string name =
        "/frame_00" + std::string(f < 10 ? "0" : "") + std::to_string(f) + ".png";
    EXPECT_EQ(ReadPng(Path("seq" + name)).rgba, ReadPng(Path("vid" + name)).rgba) << name;
  }
}

TEST_F(Video, DecoderRunsAheadHoldsFewFramesAndRestartsOnASeek) {
  Ramp("long.mov", 40, {"-c:v", "qtrle", "-pix_fmt", "argb"});
  const auto video = VideoSource::Open("long.mov", dir_, VideoPrograms{});
  ASSERT_EQ(video->frameCount(), 40);
  EXPECT_EQ(video->rate().num / video->rate().den, 10u);
  const auto redOf = [&](std::int64_t i) { return static_cast<int>(video->Decode(i)[0].red); };
  for (int i = 0; i < 12; ++i) EXPECT_EQ(redOf(i), (20 * i) % 256) << i;
  EXPECT_EQ(redOf(9), 180);  // still held
  EXPECT_EQ(video->decoderStarts(), 1);
  EXPECT_EQ(redOf(2), 40);  // behind what is held: decoded again from there
  EXPECT_EQ(video->decoderStarts(), 2);
  EXPECT_EQ(redOf(38), (20 * 38) % 256);  // far ahead
  EXPECT_EQ(redOf(39), (20 * 39) % 256);
  EXPECT_EQ(video->decoderStarts(), 3);
  EXPECT_LE(video->peakKept(), VideoSource::kKept);

  // Two renders' threads asking in turn, as the hosts of --threads 2 do.
  const auto shared = VideoSource::Open("long.mov", dir_, VideoPrograms{});
  int wrong = 0;
  std::thread odd([&] {
    for (std::int64_t i = 1; i < 40; i += 2)
      if (shared->Decode(i)[0].red != (20 * i) % 256) ++wrong;
  });
  for (std::int64_t i = 0; i < 40; i += 2) EXPECT_EQ(shared->Decode(i)[0].red, (20 * i) % 256) << i;
  odd.join();
  EXPECT_EQ(wrong, 0);
}

TEST_F(Video, BadInputIsNamedAndNothingIsWritten) {
  Write("text.mov", "not a video\n");
  Make("wide.mov", "color=c=red:s=16400x2:r=10", 1, {"-c:v", "qtrle"});
  struct Case {
    std::string file, message;
  };
  const Case cases[] = {
      {"text.mov", "scene.json: layers[0].source.path: ffmpeg cannot read \"text.mov\": " +
                       Path("text.mov") + ": Invalid data found when processing input"},
      {"wide.mov",
       "layers[0].source.path: \"wide.mov\" is 16400x2, larger than the image size limit (16384 "
       "pixels a side)"},
      {"gone.mov", "layers[0].source.path: no video file \"" + Path("gone.mov") + "\""},
  };
  for (const Case& c : cases) {
    const Result r =
        Render({Scene(R"({"type": "video", "path": ")" + c.file + "\"}"), "--out", Path("out")});
    EXPECT_EQ(r.code, 2) << c.file;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(Path("out"))) << c.file;
  }

  // Without alpha: shown opaque, and said once.
  Make("opaque.mov", "color=c=red:s=16x16:r=10", 3, {"-c:v", "qtrle", "-pix_fmt", "rgb24"});
  const Result r = Render({Scene(R"({"type": "video", "path": "opaque.mov"})"), "--frames", "0-2",
                           "--out", Path("out"), "--alpha"});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string note = "\"opaque.mov\" has no alpha channel (qtrle): shown opaque";
  const std::size_t at = (r.err + r.out).find(note);
  EXPECT_NE(at, std::string::npos) << r.err;
  EXPECT_EQ((r.err + r.out).find(note, at + 1), std::string::npos) << r.err;
  RgbaImage image;
  EXPECT_EQ(PixelOf(image, "out/frame_0002.png")[3], 255);
}

}  // namespace
}  // namespace quillstreak::renderer::testing
