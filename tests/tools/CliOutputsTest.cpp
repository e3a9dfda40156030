// Outputs the renderer vouches for: a video is put under its name only when ffmpeg ended well and
// the file reads back with every frame, never over a file that appeared meanwhile; a frame kept
// by --skip-existing is read whole first, and rendered again when damaged.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "RenderCli.h"
#include "renderer/Renderer.h"

#if !defined(_WIN32)
#include <sys/resource.h>

#include <csignal>
#endif

namespace quillstreak::renderer {
namespace {

namespace fs = std::filesystem;
using testing::kScene;
using testing::Render;
using testing::Result;

class Outputs : public testing::ScratchFolder {
 protected:
  Outputs() : ScratchFolder("qs_cli_outputs_") {}
  void SetUp() override {
    ScratchFolder::SetUp();
    scene_ = Write("scene.json", kScene);
  }
  std::string scene_;
};

TEST_F(Outputs, AVideoTakesItsNameOnlyWhenItIsComplete) {
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

TEST_F(Outputs, ADamagedFrameIsRenderedAgainOnResume) {
  ASSERT_EQ(Render({scene_, "--out", Path("out"), "--frames", "0-3", "-q"}).code, kExitOk);
  const std::string one = Read("out/frame_0001.png"), two = Read("out/frame_0002.png");
  Write("out/frame_0001.png", one.substr(0, one.size() / 2));  // cut short
  std::string flipped = two;
  flipped[flipped.size() - 20] ^= 0x10;  // a byte of the image data: its chunk's CRC is wrong
  Write("out/frame_0002.png", flipped);
  const Result r = Render({scene_, "--out", Path("out"), "--skip-existing"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  const std::string out = (fs::path(Path("out")) / "frame_").string();
  EXPECT_NE(r.err.find("warning: " + out +
                       "0001.png is damaged (the file ends early): rendering "
                       "it again"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find(out + "0002.png is damaged ("), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("Rendered 4 frames"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("kept 2 existing"), std::string::npos) << r.out;
  EXPECT_EQ(Read("out/frame_0001.png"), one);
  EXPECT_EQ(Read("out/frame_0002.png"), two);
}

}  // namespace
}  // namespace quillstreak::renderer
