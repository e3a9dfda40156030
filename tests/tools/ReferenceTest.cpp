// examples/basic.json frame 5 rendered through the host the way quillstreak-render renders it
// (scene loaded, applied to a host, frame rendered at full resolution and composited over the
// background) against the committed raw reference tests/tools/reference/basic_frame_0005.rgba:
// straight RGBA bytes, rows top to bottom, the same picture as basic_frame_0005.png. This test
// needs no libpng, so it also runs in the Windows build (under Wine); where libpng exists it
// also checks that the raw and the PNG reference hold the same pixels, so they cannot drift
// apart. A few of the reference's pixels are checked against the compositing formula, worked out
// by hand. Regenerate both references together, only on purpose, after a deliberate change of
// the effect or the host, with the build target that renders them:
//   cmake --build --preset dev --target update-reference-frame
//
// Tolerance: none on Linux, where the reference was made. Windows programs use another C
// runtime's math library, whose sin/cos/pow/floor may round the last bit of a result
// differently; where such a bit decides the rounding of a pixel value, that value moves by one
// level. So under Windows every byte may differ by at most 1; anything more is a real fault.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "host/Host.h"
#include "host/Module.h"
#include "renderer/FrameImage.h"
#include "renderer/InputError.h"
#include "renderer/ParamCatalog.h"
#include "renderer/RenderSession.h"
#include "renderer/SceneFile.h"
#if QS_HAVE_PNG
#include "renderer/Png.h"
#endif

namespace quillstreak::renderer {
namespace {

#if defined(_WIN32)
constexpr int kTolerance = 1;  // levels per channel; see the comment at the top
#else
constexpr int kTolerance = 0;
#endif

constexpr long kReferenceFrame = 5;

std::string ReferencePath(const char* name) { return std::string(QS_REFERENCE_DIR) + "/" + name; }

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>());
}

TEST(ReferenceFrame, RenderMatchesTheRawReference) {
  quillstreak::host::Module module(quillstreak::host::DefaultModulePath());
  quillstreak::host::Host host(module);
  ASSERT_EQ(host.GlobalSetup(), PF_Err_NONE);
  ASSERT_EQ(host.ParamsSetup(), PF_Err_NONE);
  const ParamCatalog catalog(host.params().declared());
  const SceneFile scene = LoadSceneFile(std::string(QS_EXAMPLES_DIR) + "/basic.json", catalog);
  SetUpScene(host, scene);
  host.settings().SetDownsample({1, 1}, {1, 1});
  const quillstreak::host::FrameResult result =
      host.RenderFrame(static_cast<A_long>(kReferenceFrame * kUnitsPerFrame));
  ASSERT_EQ(result.err, PF_Err_NONE);
  const RgbaImage got = FrameToRgba(result.frame, scene.comp.background);
  ASSERT_EQ(got.width, scene.comp.width);
  ASSERT_EQ(got.height, scene.comp.height);

  const std::vector<std::uint8_t> want = ReadBytes(ReferencePath("basic_frame_0005.rgba"));
  ASSERT_EQ(want.size(), got.rgba.size())
      << "the raw reference does not hold a " << got.width << "x" << got.height << " picture";

  int maxDiff = 0;
  std::size_t differing = 0;
  std::size_t firstDiffering = want.size();
  for (std::size_t i = 0; i < want.size(); ++i) {
    const int d = std::abs(int{got.rgba[i]} - int{want[i]});
    if (d == 0) continue;
    if (differing++ == 0) firstDiffering = i;
    maxDiff = std::max(maxDiff, d);
  }
  ::testing::Test::RecordProperty("max_difference", maxDiff);
  ::testing::Test::RecordProperty("differing_bytes", static_cast<int>(differing));
  std::cout << "reference frame: max difference " << maxDiff << " level(s) in " << differing
            << " of " << want.size() << " bytes (tolerance " << kTolerance << ")\n";
  EXPECT_LE(maxDiff, kTolerance)
      << differing << " bytes differ, the first at pixel " << firstDiffering / 4 % got.width << ","
      << firstDiffering / 4 / got.width << " channel " << firstDiffering % 4
      << "; see the top of this file to regenerate the references after a deliberate change";
}

// basic.json at frame 5: the backdrop #1C2A38 over the background #101418, the dot #FF8A3D, and
// its trail solid-filled #40C0FF at Opacity 86.96 % (keyframed from 100 at frame 0 to 40 at frame
// 23), alpha 255 * 0.8696 = 221.7, truncated to 221. Over the opaque backdrop a fully covered
// trail pixel is (fill * 221 + backdrop * 34) / 255 rounded to nearest:
//   red (64 * 221 + 28 * 34) / 255 = 15096 / 255 = 59.2, green (192 * 221 + 42 * 34) / 255 =
//   43860 / 255 = 172.0, blue (255 * 221 + 56 * 34) / 255 = 58259 / 255 = 228.5 (228.47).
TEST(ReferenceFrame, ReferencePixelsFollowTheCompositingFormula) {
  const std::vector<std::uint8_t> ref = ReadBytes(ReferencePath("basic_frame_0005.rgba"));
  ASSERT_EQ(ref.size(), std::size_t{640} * 360 * 4);
  struct Case {
    const char* what;
    int x, y;
    std::uint8_t rgb[3];
  };
  const Case cases[] = {
      {"background", 5, 5, {0x10, 0x14, 0x18}},
      {"backdrop", 50, 50, {0x1C, 0x2A, 0x38}},
      {"the dot now, in front", 193, 197, {0xFF, 0x8A, 0x3D}},
      {"trail over the backdrop", 155, 221, {59, 172, 228}},
  };
  for (const Case& c : cases) {
    const std::uint8_t* p = ref.data() + (static_cast<std::size_t>(c.y) * 640 + c.x) * 4;
    EXPECT_TRUE(p[0] == c.rgb[0] && p[1] == c.rgb[1] && p[2] == c.rgb[2] && p[3] == 255)
        << c.what << ": " << int(p[0]) << " " << int(p[1]) << " " << int(p[2]);
  }
}

#if QS_HAVE_PNG
TEST(ReferenceFrame, RawReferenceHoldsThePngReferencePixels) {
  const RgbaImage png = ReadPng(ReferencePath("basic_frame_0005.png"));
  const std::vector<std::uint8_t> raw = ReadBytes(ReferencePath("basic_frame_0005.rgba"));
  ASSERT_EQ(raw.size(), png.rgba.size());
  EXPECT_TRUE(raw == png.rgba) << "the raw and PNG references differ; regenerate both together "
                                  "(see the top of this file)";
}
#endif

// An image layer is refused with a message, never a crash: with libpng an unreadable file is
// named, without it the scene says that this build cannot load images at all.
TEST(ReferenceFrame, ImageLayerErrorsAreReported) {
  const std::string text = R"({
    "composition": {"width": 16, "height": 16, "fps": 10, "duration": 2},
    "layers": [{"id": 1, "source": {"type": "image", "path": "no-such-picture.png"}}]
  })";
#if QS_HAVE_PNG
  const std::string expected = "cannot read image";
#else
  const std::string expected = "image layers need libpng, which this build lacks";
#endif
  try {
    ParseScene(text, "scene.json", "", ParamCatalog());
    FAIL() << "the image layer was accepted";
  } catch (const InputError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("scene.json"), std::string::npos) << message;
    EXPECT_NE(message.find("layers[0].source.path"), std::string::npos) << message;
    EXPECT_NE(message.find(expected), std::string::npos) << message;
  }
}

}  // namespace
}  // namespace quillstreak::renderer
