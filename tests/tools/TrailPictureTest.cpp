// The pictures the renderer makes, through its own path (scene text applied to the host, the
// frame rendered, composited over the background as FrameToRgba does), for what users see of
// straight-alpha compositing: fill does not touch a still layer, a faded trail is the straight
// blend of its colour and the background, a ramp trail has no bright seams where copies
// overlap, and the trail's transparent pixels show the background untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "host/Host.h"
#include "host/Module.h"
#include "renderer/FrameImage.h"
#include "renderer/ParamCatalog.h"
#include "renderer/RenderSession.h"
#include "renderer/SceneFile.h"

namespace quillstreak::renderer {
namespace {

/// One rendered frame: the picture and the effect's output world behind it.
struct Shot {
  RgbaImage picture;
  quillstreak::host::World output;
  std::size_t samples = 0;  // trail copies the effect asked for
};

/// Renders `frame` of a scene whose text holds "@PARAMS@" where the effect's parameters go.
Shot Render(const std::string& scene, const std::string& params, long frame) {
  static const quillstreak::host::Module module(quillstreak::host::DefaultModulePath());
  quillstreak::host::Host host(module);
  EXPECT_EQ(host.GlobalSetup(), PF_Err_NONE);
  EXPECT_EQ(host.ParamsSetup(), PF_Err_NONE);
  std::string text = scene;
  text.replace(text.find("@PARAMS@"), 8, params);
  const SceneFile parsed =
      ParseScene(text, "scene.json", "", ParamCatalog(host.params().declared()));
  SetUpScene(host, parsed);
  const quillstreak::host::FrameResult result =
      host.RenderFrame(static_cast<A_long>(frame * kUnitsPerFrame));
  EXPECT_EQ(result.err, PF_Err_NONE) << params;
  Shot shot;
  shot.picture = FrameToRgba(result.frame, parsed.comp.background);
  if (host.frames().outputWorld() != nullptr) shot.output = *host.frames().outputWorld();
  shot.samples =
      host.frames().layerCheckouts().empty() ? 0 : host.frames().layerCheckouts().size() - 1;
  return shot;
}

int Channel(const RgbaImage& p, int x, int y, int c) { return p.pixel(x, y)[c]; }
int Sum(const RgbaImage& p, int x, int y) {
  return Channel(p, x, y, 0) + Channel(p, x, y, 1) + Channel(p, x, y, 2);
}

// A still ellipse at a fractional position and the issue's blue rectangle turned 20 degrees:
// both have soft, partly covered edges.
constexpr char kStillDot[] = R"({
  "composition": {"width": 80, "height": 80, "fps": 10, "duration": 2, "background": "#101418"},
  "layers": [{"id": 1, "source": {"type": "ellipse", "width": 41, "height": 37, "color": "#FF8A3D"},
              "transform": {"position": [40.3, 39.6]}}],
  "effect": {"params": {"Shutter Angle": 0 @PARAMS@}}})";
constexpr char kStillTurned[] = R"({
  "composition": {"width": 200, "height": 160, "fps": 10, "duration": 2, "background": "#FFFFFF"},
  "layers": [{"id": 1, "source": {"type": "rectangle", "width": 100, "height": 60, "color": "#0000FF"},
              "transform": {"rotation": 20}}],
  "effect": {"params": {"Shutter Angle": 0 @PARAMS@}}})";

TEST(TrailPicture, FillLeavesAStillLayerAsItIs) {
  struct Case {
    const char* scene;
    const char* fill;
  };
  const Case cases[] = {
      {kStillDot, R"(, "Enable Solid Fill": true, "Color": "#40C0FF")"},
      {kStillDot, R"(, "Enable Ramp Fill": true, "Start Color": "#40C0FF", "Opacity": 30)"},
      {kStillTurned, R"(, "Enable Solid Fill": true, "Color": "#FF0000")"},
      {kStillTurned, R"(, "Enable Solid Fill": true, "Color": "#FF0000", "Opacity": 0)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fill);
    const Shot plain = Render(c.scene, "", 0);
    const Shot filled = Render(c.scene, c.fill, 0);
    ASSERT_EQ(filled.samples, 0u);
    // The edge is soft: some pixels are neither the background nor the layer's colour.
    const RgbaImage& p = plain.picture;
    int soft = 0;
    for (int y = 0; y < p.height; ++y) {
      for (int x = 0; x < p.width; ++x) {
        soft += Sum(p, x, y) != Sum(p, 0, 0) && Sum(p, x, y) != Sum(p, p.width / 2, p.height / 2);
      }
    }
    EXPECT_GT(soft, 20);
    std::size_t differing = 0;
    for (std::size_t i = 0; i < p.rgba.size(); ++i)
      differing += p.rgba[i] != filled.picture.rgba[i];
    EXPECT_EQ(differing, 0u);
  }
}

// A 40x40 square moving right by 26.7 pixels a frame along y = 60: at frame 9 the copies cover
// x 153 to 260 (the current frame 260 to 300), rows 40 to 80.
constexpr char kSlidingSquare[] = R"({
  "composition": {"width": 320, "height": 120, "fps": 10, "duration": 10, "background": "@BG@"},
  "layers": [{"id": 1, "source": {"type": "rectangle", "width": 40, "height": 40, "color": "@COLOR@"},
              "transform": {"position": {"keyframes": [{"time": 0, "value": [40, 60]},
                                                       {"time": 9, "value": [280, 60]}]}}}],
  "effect": {"params": {"Shutter Angle": 1440, "Opacity": 60 @PARAMS@}}})";

std::string With(std::string text, const std::string& key, const std::string& value) {
  text.replace(text.find(key), key.size(), value);
  return text;
}

TEST(TrailPicture, FadedTrailIsTheStraightBlendOfItsColourAndTheBackground) {
  struct Case {
    const char* layer;
    const char* background;
    const char* params;
    int trail[3];  // the trail's colour
    int bg[3];
  };
  const Case cases[] = {
      {"#3060C0",
       "#F4F1EA",
       R"(, "Enable Solid Fill": true, "Color": "#F0A020")",
       {240, 160, 32},
       {244, 241, 234}},
      {"#FF8000", "#000000", "", {255, 128, 0}, {0, 0, 0}},  // the layer's own colour
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.layer);
    const Shot shot =
        Render(With(With(kSlidingSquare, "@BG@", c.background), "@COLOR@", c.layer), c.params, 9);
    // Opacity 60 % of alpha 255: trail alpha 153, so (c * 153 + bg * 102) / 255; for example
    // (240 * 153 + 244 * 102) / 255 = 241.6 and (255 * 153, 128 * 153) / 255 = 153, 76.8.
    for (int y = 45; y <= 75; ++y) {
      for (int x = 190; x <= 250; ++x) {
        for (int ch = 0; ch < 3; ++ch) {
          const double blend = (c.trail[ch] * 153.0 + c.bg[ch] * 102.0) / 255.0;
          ASSERT_LE(std::abs(Channel(shot.picture, x, y, ch) - blend), 1.0)
              << "pixel " << x << "," << y << " channel " << ch;
        }
      }
    }
  }
}

// A white ellipse moving right along y = 80, its trail ramp-filled; at frame 9 the current
// frame starts at x 335.
constexpr char kSlidingDot[] = R"({
  "composition": {"width": 400, "height": 160, "fps": 10, "duration": 10, "background": "@BG@"},
  "layers": [{"id": 1, "source": {"type": "ellipse", "width": 50, "height": 50, "color": "#FFFFFF"},
              "transform": {"position": {"keyframes": [{"time": 0, "value": [40, 80]},
                                                       {"time": 9, "value": [360, 80]}]}}}],
  "effect": {"params": {"Shutter Angle": 2000, "Motion Threshold": 6 @PARAMS@}}})";

TEST(TrailPicture, RampTrailHasNoBrightSeamsWhereCopiesOverlap) {
  struct Case {
    const char* background;
    const char* params;
    int start[3], end[3];
  };
  const Case cases[] = {
      {"#000000",
       R"(, "Enable Ramp Fill": true, "Start Color": "#FF0000", "End Color": "#0000FF")",
       {255, 0, 0},
       {0, 0, 255}},
      // The demo's colours at its opacity over its background.
      {"#14161C",
       R"(, "Enable Ramp Fill": true, "Start Color": "#1E3CFF", "End Color": "#FFA01E", "Opacity": 85)",
       {30, 60, 255},
       {255, 160, 30}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.params);
    const Shot shot = Render(With(kSlidingDot, "@BG@", c.background), c.params, 9);
    ASSERT_GT(shot.samples, 10u);
    // From one copy to the next the ramp moves each channel by (start - end) / n: in the sum of
    // the channels at most the sum of those steps, plus one level of rounding per channel.
    int step = 3;
    for (int ch = 0; ch < 3; ++ch) {
      step += static_cast<int>(
          std::abs(c.start[ch] - c.end[ch]) / static_cast<double>(shot.samples) + 1);
    }
    // Rows where the copies overlap to full cover (within 15 pixels of the path), left of the
    // current frame.
    for (int y = 65; y <= 95; ++y) {
      for (int x = 1; x < 332; ++x) {
        const int excess = Sum(shot.picture, x, y) -
                           std::max(Sum(shot.picture, x - 1, y), Sum(shot.picture, x + 1, y));
        ASSERT_LE(excess, step) << "pixel " << x << "," << y << " with " << shot.samples
                                << " copies";
      }
    }
  }
}

TEST(TrailPicture, TransparentPixelsOfTheTrailShowTheBackgroundExactly) {
  // Solid fill colours every pixel of the trail, the transparent ones too; those must not show.
  const Shot shot = Render(With(kSlidingDot, "@BG@", "#2A3440"),
                           R"(, "Enable Solid Fill": true, "Color": "#FFE000", "Opacity": 80)", 9);
  const quillstreak::host::World& out = shot.output;
  ASSERT_GT(out.width(), 0);
  int coloured = 0;
  for (int y = 0; y < shot.picture.height; ++y) {
    for (int x = 0; x < shot.picture.width; ++x) {
      const A_long ox = x - out.def().origin_x, oy = y - out.def().origin_y;
      const bool inside = ox >= 0 && oy >= 0 && ox < out.width() && oy < out.height();
      if (inside && out.at(ox, oy).alpha != 0) continue;
      coloured += inside && out.at(ox, oy).red != 0;
      const std::uint8_t* p = shot.picture.pixel(x, y);
      ASSERT_TRUE(p[0] == 0x2A && p[1] == 0x34 && p[2] == 0x40)
          << "pixel " << x << "," << y << ": " << int(p[0]) << " " << int(p[1]) << " " << int(p[2]);
    }
  }
  EXPECT_GT(coloured, 0);  // the fill did reach transparent pixels of the output
}

}  // namespace
}  // namespace quillstreak::renderer
