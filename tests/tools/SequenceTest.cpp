// Image sequences and layer timing in scene files, through the whole renderer: the frame each
// rendered frame shows, the frames the dry run lists, and bad input refused before anything is
// written.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "RenderCli.h"
#include "renderer/Png.h"

namespace quillstreak::renderer::testing {
namespace {

// Frames walk/walk_0001.png ... walk_0006.png: 8x8, solid, red 40 x their number.
class Sequence : public ScratchFolder {
 protected:
  Sequence() : ScratchFolder("qs_sequence_") {}
  void SetUp() override {
    ScratchFolder::SetUp();
    std::filesystem::create_directories(dir_ / "walk");
    for (int n = 1; n <= 6; ++n) Draw(n, 8, 8);
  }
  void Draw(int n, int width, int height) const {
    RgbaImage image(width, height);
    for (int i = 0; i < width * height; ++i) {
      image.rgba[static_cast<std::size_t>(i) * 4] = static_cast<std::uint8_t>(40 * n);
      image.rgba[static_cast<std::size_t>(i) * 4 + 3] = 255;
    }
    WritePng(Path("walk/walk_000" + std::to_string(n) + ".png"), image, false);
  }
  // A 16x16 composition of 10 frames with the sequence as layer 1 (`layer`: more fields of
  // it), its files named by `path`.
  std::string Scene(const std::string& layer,
                    const std::string& path = "walk/walk_%04d.png") const {
    return Write("scene.json", R"({"composition": {"width": 16, "height": 16, "fps": 10,
      "duration": 10}, "layers": [{"id": 1, "name": "Walk", "source": {"type": "sequence",
      "path": ")" + path + R"(", "first": 1}, "transform": {"anchor": [0, 0],
      "position": [4, 4]})" + layer +
                                   R"(}], "effect": {"params": {"Shutter Angle": 0}}})");
  }
  int RedAt(long frame) const {
    const RgbaImage image = ReadPng(Path("out/frame_000" + std::to_string(frame) + ".png"));
    return image.pixel(8, 8)[0];
  }
};

TEST_F(Sequence, EachFrameShowsTheFileOfItsLayerTimeAndTheDryRunListsThem) {
  // Starting at frame 2 and drawn from frame 3: nothing before, then files 2, 3, ..., and the
  // last one held after the end.
  const std::string scene = Scene(R"(, "start": 2, "in": 3)", "walk/walk_####.png");
  const Result r = Render({scene, "--out", Path("out"), "-q"});
  ASSERT_EQ(r.code, 0) << r.err;
  const int want[] = {0, 0, 0, 80, 120, 160, 200, 240, 240, 240};
  for (long f = 0; f < 10; ++f) EXPECT_EQ(RedAt(f), want[f]) << "frame " << f;

  // A trail of two frames at frame 6 reaches back to frame 4: files 3 to 5; the in point cuts
  // it at frame 5 (file 4).
  const Result dry = Render({scene, "--frames", "6", "--set", "Shutter Angle=720", "--dry-run"});
  EXPECT_NE(dry.out.find("layer source   1 \"Walk\": walk/walk_####.png, frames 3-5 (3)"),
            std::string::npos)
      << dry.out;
  const Result cut = Render({Scene(R"(, "start": 2, "in": 5)"), "--frames", "6", "--set",
                             "Shutter Angle=720", "--dry-run", "--json"});
  EXPECT_NE(cut.out.find(R"("sources":[{"frames":[4,5],"layer":1,"name":"Walk")"),
            std::string::npos)
      << cut.out;
}

TEST_F(Sequence, BadInputIsNamedAndNothingIsWritten) {
  struct Case {
    std::string layer;
    std::string frames;
    std::string message;
  };
  Draw(5, 8, 6);
  std::filesystem::remove(dir_ / "walk/walk_0003.png");
  const Case cases[] = {
      {"", "0-9",
       "scene.json: layers[0].source: \"walk/walk_0003.png\" is missing, and the render needs "
       "it (the sequence \"walk/walk_%04d.png\" has files 1 to 6)"},
      {"", "3-9",
       "scene.json: layers[0].source: \"walk/walk_0005.png\" is 8x6, the sequence's frames "
       "8x8 (as \"walk/walk_0001.png\")"},
      {R"(, "in": 6, "out": 2)", "0-9", "layers[0].in: in (6) must come before out (2)"},
  };
  for (const Case& c : cases) {
    const Result r = Render({Scene(c.layer), "--frames", c.frames, "--out", Path("out")});
    EXPECT_EQ(r.code, 2) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(Path("out"))) << c.message;
  }
  // Frames the render does not show may be missing or of another size.
  EXPECT_EQ(Render({Scene(""), "--frames", "0-1", "--out", Path("out"), "-q"}).code, 0);

  const std::string noNumber =
      Write("flat.json", R"({"composition": {"width": 8, "height": 8, "fps": 10, "duration": 2},
      "layers": [{"id": 1, "source": {"type": "sequence", "path": "walk/walk.png"}}]})");
  const Result r = Render({noNumber, "--dry-run"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("layers[0].source.path: \"walk/walk.png\" has no frame number"),
            std::string::npos)
      << r.err;
}

}  // namespace
}  // namespace quillstreak::renderer::testing
