// Outputs the renderer vouches for: a frame kept by --skip-existing is read whole first, and
// rendered again when damaged.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "RenderCli.h"
#include "renderer/Renderer.h"

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
  std::string Read(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::string scene_;
};

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
