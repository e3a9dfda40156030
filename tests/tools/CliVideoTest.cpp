// Videos through ffmpeg: frames encoded and read back, the checks before anything is
// written, rates of stepped and fractional frames, a failing or missing ffmpeg, a video put under
// its name only when complete (never over a file that appeared meanwhile), and resuming.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "RenderCli.h"
#include "renderer/InputError.h"
#include "renderer/ParamCatalog.h"
#include "renderer/Renderer.h"
#include "renderer/SceneFile.h"

#if !defined(_WIN32)
#include <sys/resource.h>
#include <csignal>
#endif

namespace quillstreak::renderer {
namespace {

namespace fs = std::filesystem;

using testing::HaveFfmpeg;
using testing::kScene;
using testing::kSmallScene;
using testing::Render;
using testing::Result;

class RendererVideo : public testing::SceneFolder {
 protected:
  RendererVideo() : SceneFolder("qs_cli_video_") {}
};

TEST_F(RendererVideo, VideoWithoutFfmpegStopsBeforeWriting) {
#if defined(_WIN32)
  const bool haveFfmpeg = std::system("ffmpeg -version >NUL 2>&1") == 0;
#else
  const bool haveFfmpeg = std::system("ffmpeg -version >/dev/null 2>&1") == 0;
#endif
  if (haveFfmpeg) GTEST_SKIP() << "ffmpeg is installed";
  const std::string scene = Write("small.json", kSmallScene);
  const Result r = Render({scene, "--out", Path("out"), "--video", Path("v.mp4")});
  EXPECT_EQ(r.code, kExitBadInput);
  EXPECT_EQ(r.err.rfind("quillstreak-render: --video needs ffmpeg", 0), 0u) << r.err;
  EXPECT_FALSE(fs::exists(Path("out")));
  EXPECT_FALSE(fs::exists(Path("v.mp4")));
}

TEST_F(RendererVideo, VideoWithFfmpegEncodesTheFrames) {
#if defined(_WIN32)
  const bool haveFfmpeg = std::system("ffmpeg -version >NUL 2>&1") == 0;
#else
  const bool haveFfmpeg = std::system("ffmpeg -version >/dev/null 2>&1") == 0;
#endif
  if (!haveFfmpeg) GTEST_SKIP() << "ffmpeg is not installed";
  const std::string scene = Write("small.json", kSmallScene);
  const Result r =
      Render({scene, "--frames", "0-2", "--out", Path("out"), "--video", Path("v.mp4"), "-q"});
  EXPECT_EQ(r.code, kExitOk) << r.err;
  ASSERT_TRUE(fs::exists(Path("v.mp4")));
  EXPECT_GT(fs::file_size(Path("v.mp4")), 0u);
  EXPECT_TRUE(fs::exists(Path("out/frame_0002.png")));
}

TEST_F(RendererVideo, FailingFfmpegLeavesNoVideoAndSaysWhy) {
#if defined(_WIN32)
  GTEST_SKIP() << "uses a shell script";
#else
  const std::string fake = Program("fake-ffmpeg",
                                   "[ \"$1\" = -version ] && exit 0\n"
                                   "cat >/dev/null; echo 'no encoder here' >&2; exit 1\n");
  Program("fake-ffprobe", "exit 0\n");  // the ffprobe beside it
  const Result r = Render(
      {scene_, "--out", Path("out"), "--video", Path("v.mp4"), "--ffmpeg", fake, "--video-only"});
  EXPECT_EQ(r.code, kExitRenderFailed);
  EXPECT_NE(r.err.find(Path("v.mp4") + ": ffmpeg failed (exit status 1): no encoder here"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(Files(), (std::vector<std::string>{"fake-ffmpeg", "fake-ffprobe", "scene.json"}));
#endif
}

TEST_F(RendererVideo, GifAndVideoOnlyAtAFractionalRate) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  std::string text = kScene;
  text.replace(text.find("\"fps\": 10"), 9, "\"fps\": \"30000/1001\"");
  const std::string scene = Write("ntsc.json", text);
  const Result r =
      Render({scene, "--out", Path("out"), "--video", Path("clip/v.gif"), "--video-only", "-q"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(Files(), (std::vector<std::string>{"clip/v.gif", "ntsc.json", "scene.json"}));
  std::ifstream gif(Path("clip/v.gif"), std::ios::binary);
  char magic[6] = {};
  gif.read(magic, 6);
  EXPECT_EQ(std::string(magic, 6), "GIF89a");
}

TEST_F(RendererVideo, AVideoOfSteppedFramesPlaysAtTheSteppedRate) {
#if defined(_WIN32)
  GTEST_SKIP() << "uses a shell script";
#else
  if (!testing::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  // Records its arguments and runs ffmpeg.
  const std::string fake =
      Program("ffmpeg", "echo \"$@\" >> \"$(dirname \"$0\")/args\"; exec ffmpeg \"$@\"\n");
  Program("ffprobe", "exec ffprobe \"$@\"\n");
  ASSERT_EQ(Render({scene_, "--frames", "0-4x2", "--video", Path("a.mp4"), "--video-only",
                    "--ffmpeg", fake, "-q"})
                .code,
            kExitOk);
  const Result uneven = Render(
      {scene_, "--frames", "0,1,3", "--video", Path("b.mp4"), "--video-only", "--ffmpeg", fake});
  ASSERT_EQ(uneven.code, kExitOk) << uneven.err;
  EXPECT_NE(uneven.err.find("warning: the frames are not evenly spaced"), std::string::npos)
      << uneven.err;
  std::ifstream in(Path("args"));
  std::vector<std::string> encodes;  // the renders' commands, after their checks (-version)
  for (std::string line; std::getline(in, line);)
    if (line != "-version") encodes.push_back(line);
  ASSERT_EQ(encodes.size(), 2u);
  EXPECT_NE(encodes[0].find("-r 10/2 "), std::string::npos) << encodes[0];
  EXPECT_NE(encodes[1].find("-r 10 "), std::string::npos) << encodes[1];
#endif
}

TEST_F(RendererVideo, ResumingAVideoReEncodesItAndRemovesWhatAKilledRenderLeft) {
  if (!testing::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const std::vector<std::string> video = {"--video", Path("out/v.mp4"), "-q"};
  std::vector<std::string> first = {scene_, "--out", Path("out"), "--frames", "0-2"};
  first.insert(first.end(), video.begin(), video.end());
  const Result made = Render(first);
  ASSERT_EQ(made.code, kExitOk) << made.err;
  // What a render killed while encoding leaves, and a file that is not the renderer's.
  Write("out/v.mp4.partial-4242-0", "half a video");
  Write("out/frame_0004.png.partial-4242-3", "half a frame");
  Write("out/notes.partial-1-1", "mine");
  std::vector<std::string> resume = {scene_, "--out", Path("out"), "--skip-existing",
                                     "--overwrite"};
  resume.insert(resume.end(), video.begin(), video.end());
  const Result r = Render(resume);
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(Files(), (std::vector<std::string>{
                         "out/frame_0000.png", "out/frame_0001.png", "out/frame_0002.png",
                         "out/frame_0003.png", "out/frame_0004.png", "out/frame_0005.png",
                         "out/notes.partial-1-1", "out/v.mp4", "scene.json"}));
}

TEST_F(RendererVideo, AVideoTakesItsNameOnlyWhenItIsComplete) {
#if defined(_WIN32)
  GTEST_SKIP() << "POSIX file size limit and shell scripts";
#else
  if (!testing::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  // ffmpeg that writes only the first three frames, and says nothing.
  Program("short-ffmpeg",
          "n=$#; i=0; for a; do i=$((i+1)); [ $i -eq $n ] && set -- \"$@\" -frames:v 3; "
          "set -- \"$@\" \"$a\"; done; shift $n; exec ffmpeg \"$@\"\n");
  Program("short-ffprobe", "exec ffprobe \"$@\"\n");
  // ffmpeg while someone else writes a file under the video's name.
  Program("racing-ffmpeg",
          "for a; do last=$a; done; [ \"$1\" = -version ] || echo theirs > \"${last%.partial-*}\"; "
          "exec ffmpeg \"$@\"\n");
  Program("racing-ffprobe", "exec ffprobe \"$@\"\n");
  const struct {
    const char* what;
    std::string video;
    std::vector<std::string> args;
    std::size_t fileLimit;  // bytes a process may write to one file (0: no limit)
    std::string message;    // after "quillstreak-render: VIDEO: "
    std::string left;       // the file under the video's name afterwards
  } cases[] = {
      // ffmpeg exits with 0 from some full disks, and a GIF just ends early.
      {"mp4 on a full disk", "v.mp4", {"--overwrite"}, 1024, "ffmpeg failed", "older"},
      {"gif on a full disk", "v.gif", {"--overwrite"}, 1024, "ffmpeg failed", "older"},
      {"frames missing",
       "v.mkv",
       {"--overwrite", "--ffmpeg", Path("short-ffmpeg")},
       0,
       "the finished video holds 3 of the 6 frames sent",
       "older"},
      {"a file appeared",
       "w.mp4",
       {"--ffmpeg", Path("racing-ffmpeg")},
       0,
       "appeared while this render was writing it, and is left as it is",
       "theirs\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.left == "older") Write(c.video, "older");
    std::vector<std::string> args = {scene_, "--video", Path(c.video), "--video-only", "-q"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    if (c.fileLimit > 0) limited.rlim_cur = c.fileLimit;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const Result r = Render(args);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(r.code, kExitRenderFailed) << r.err;
    EXPECT_EQ(r.err.rfind("quillstreak-render: " + Path(c.video) + ": " + c.message, 0), 0u)
        << r.err;
    if (c.fileLimit > 0) {
      EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
    }
    EXPECT_EQ(Read(c.video), c.left);
    for (const std::string& f : Files()) EXPECT_EQ(f.find(".partial-"), std::string::npos) << f;
  }
#endif
}

}  // namespace
}  // namespace quillstreak::renderer
