// Scene files and parameter values: the shipped examples load, and each kind of bad input is
// rejected with one message naming the file and the JSON path.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <functional>

#include "host/Host.h"
#include "host/Module.h"
#include "renderer/InputError.h"
#include "renderer/Png.h"
#include "renderer/RenderSession.h"
#include "renderer/SceneFile.h"

namespace quillstreak::renderer {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// The parameter names as the built effect declares them.
const ParamCatalog& Catalog() {
  static const ParamCatalog catalog = [] {
    const quillstreak::host::Module module(quillstreak::host::DefaultModulePath());
    quillstreak::host::Host host(module);
    EXPECT_EQ(host.GlobalSetup(), PF_Err_NONE);
    EXPECT_EQ(host.ParamsSetup(), PF_Err_NONE);
    return ParamCatalog(host.params().declared());
  }();
  return catalog;
}

std::string Examples() { return QS_EXAMPLES_DIR; }

TEST(SceneExamples, EveryShippedSceneLoads) {
  for (const char* name : {"basic.json", "motion-source.json", "image-layer.json"}) {
    SCOPED_TRACE(name);
    EXPECT_NO_THROW(LoadSceneFile(Examples() + "/" + name, Catalog()));
  }
  EXPECT_NO_THROW(ParseScene(DemoSceneText(), "<demo>", "", Catalog()));
}

TEST(SceneExamples, BasicSceneMapsFramesToTimeUnits) {
  const SceneFile s = LoadSceneFile(Examples() + "/basic.json", Catalog());
  EXPECT_EQ(s.comp.width, 640);
  EXPECT_EQ(s.comp.timeScale, 2400u);  // 24 fps at 100 units per frame
  EXPECT_EQ(s.comp.frameDuration, 100);
  EXPECT_EQ(s.comp.duration, 2400);
  EXPECT_EQ(s.durationFrames, 24);
  EXPECT_EQ(s.effectLayer, 2);
  ASSERT_EQ(s.comp.layers.size(), 2u);
  const quillstreak::host::Layer& dot = s.comp.layers[1];
  EXPECT_EQ(dot.source.kind, quillstreak::host::LayerSource::Kind::Ellipse);
  // Anchor defaults to the source's centre.
  EXPECT_EQ(dot.transform.anchor.Evaluate(0, 2400, 2400)[0], 40.0);
  const auto& keys = dot.transform.position.keyframes();
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys[1].time, 1200);
  EXPECT_EQ(keys[1].interp, quillstreak::host::Interp::Eased);
  EXPECT_EQ(dot.transform.scale.keyframes()[0].interp, quillstreak::host::Interp::Hold);
  // The backdrop without a transform sits at the composition's centre.
  EXPECT_EQ(s.comp.layers[0].transform.position.Evaluate(0, 2400, 2400)[0], 320.0);
}

TEST(SceneExamples, MotionSourceAndImageLayers) {
  const SceneFile ms = LoadSceneFile(Examples() + "/motion-source.json", Catalog());
  const ParamSetting* source = nullptr;
  for (const auto& p : ms.params)
    if (p.name == "Motion Source") source = &p;
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(source->constant.layer, 1);

  const SceneFile img = LoadSceneFile(Examples() + "/image-layer.json", Catalog());
  const quillstreak::host::LayerSource& src = img.comp.layers[0].source;
  EXPECT_EQ(src.kind, quillstreak::host::LayerSource::Kind::Image);
  const RgbaImage png = ReadPng(Examples() + "/assets/quill.png");
  ASSERT_EQ(src.width, png.width);
  ASSERT_EQ(src.pixels.size(), static_cast<std::size_t>(png.width) * png.height);
  // Straight RGBA from the file becomes straight ARGB.
  const std::size_t mid = static_cast<std::size_t>(png.height / 2) * png.width + png.width / 2;
  EXPECT_EQ(src.pixels[mid].alpha, png.rgba[mid * 4 + 3]);
  EXPECT_EQ(src.pixels[mid].red, png.rgba[mid * 4 + 0]);
}

TEST(SceneApply, ValuesReachTheHost) {
  const quillstreak::host::Module module(quillstreak::host::DefaultModulePath());
  quillstreak::host::Host host(module);
  ASSERT_EQ(host.GlobalSetup(), PF_Err_NONE);
  ASSERT_EQ(host.ParamsSetup(), PF_Err_NONE);
  const SceneFile s = LoadSceneFile(Examples() + "/basic.json", Catalog());
  SetUpScene(host, s);
  EXPECT_EQ(host.scene().comp().layers.size(), 2u);
  EXPECT_EQ(host.scene().effectLayer(), 2);
  const int opacity = Catalog().Find("Opacity")->index;
  EXPECT_DOUBLE_EQ(host.params().FloatAt(opacity, 0), 100.0);
  EXPECT_DOUBLE_EQ(host.params().FloatAt(opacity, 2300), 40.0);
  EXPECT_TRUE(host.params().CheckboxAt(Catalog().Find("Enable Solid Fill")->index, 0));
  const PF_Pixel c = host.params().ColorAt(Catalog().Find("Color")->index, 0);
  EXPECT_EQ(c.red, 0x40);
  EXPECT_EQ(c.green, 0xC0);
  EXPECT_EQ(c.blue, 0xFF);
  EXPECT_EQ(c.alpha, 255);
}

// ---- bad input ----------------------------------------------------------------------------------

json BaseScene() {
  return json::parse(R"({
    "composition": {"width": 64, "height": 48, "fps": 24, "duration": 8},
    "layers": [
      {"id": 1, "source": {"type": "rectangle", "width": 10, "height": 10},
       "transform": {"position": {"keyframes": [{"time": 0, "value": [5, 5]},
                                                {"time": 4, "value": [40, 30]}]}}},
      {"id": 2, "source": {"type": "ellipse", "width": 8, "height": 8}}
    ],
    "effect": {"layer": 1, "params": {"Opacity": 50}}
  })");
}

struct BadCase {
  const char* what;
  std::function<void(json&)> edit;
  const char* message;  // the whole message after "t.json: "
};

TEST(SceneErrors, EachProblemIsNamedByItsPath) {
  const std::vector<BadCase> cases = {
      {"missing composition", [](json& j) { j.erase("composition"); },
       "composition: missing field"},
      {"width as text", [](json& j) { j["composition"]["width"] = "64"; },
       "composition.width: expected an integer"},
      {"fractional width", [](json& j) { j["composition"]["width"] = 64.5; },
       "composition.width: expected an integer"},
      {"frame rate as a malformed fraction", [](json& j) { j["composition"]["fps"] = "30000/"; },
       "composition.fps: expected a frame rate: a number (24, 23.976) or a fraction "
       "(\"30000/1001\"), not \"30000/\""},
      {"zero duration", [](json& j) { j["composition"]["duration"] = 0; },
       "composition.duration: 0 is out of range (1 to 100000)"},
      {"no layers", [](json& j) { j["layers"] = json::array(); },
       "layers: expected at least one layer"},
      {"duplicate layer id", [](json& j) { j["layers"][1]["id"] = 1; },
       "layers[1].id: another layer has the id 1"},
      {"unknown source type", [](json& j) { j["layers"][1]["source"]["type"] = "star"; },
       "layers[1].source.type: unknown source type \"star\" (expected rectangle, ellipse, "
       "image, sequence or video)"},
      {"mistyped field",
       [](json& j) {
         j["layers"][0]["transform"]["postion"] = json::array({1, 2});
       },
       "layers[0].transform.postion: unknown field (did you mean \"position\"? expected one of: "
       "anchor, position, scale, rotation, rotationX, rotationY)"},
      {"keyframe time as text",
       [](json& j) { j["layers"][0]["transform"]["position"]["keyframes"][1]["time"] = "4"; },
       "layers[0].transform.position.keyframes[1].time: expected a number"},
      {"two keyframes at one time",
       [](json& j) { j["layers"][0]["transform"]["position"]["keyframes"][1]["time"] = 0; },
       "layers[0].transform.position.keyframes[1].time: 0 is also the time of keyframes[0]; two "
       "keyframes of one property cannot share a time"},
      {"unknown interpolation",
       [](json& j) {
         j["layers"][0]["transform"]["position"]["keyframes"][0]["interp"] = "bezier";
       },
       "layers[0].transform.position.keyframes[0].interp: unknown interpolation \"bezier\" "
       "(expected linear, hold or eased)"},
      {"short position",
       [](json& j) { j["layers"][1]["transform"]["position"] = json::array({1}); },
       "layers[1].transform.position: expected [x, y] or [x, y, z]"},
      {"unknown effect layer", [](json& j) { j["effect"]["layer"] = 4; },
       "effect.layer: unknown layer id 4 (the scene's layers: 1 \"Layer 1\", 2 \"Layer 2\")"},
      {"out of range", [](json& j) { j["effect"]["params"]["Opacity"] = 150; },
       "effect.params[\"Opacity\"]: 150 is outside the valid range of \"Opacity\" (0 to 100)"},
      {"keyframe out of range",
       [](json& j) {
         j["effect"]["params"]["Opacity"] =
             json::parse(R"({"keyframes": [{"time": 0, "value": 10}, {"time": 2, "value": -5}]})");
       },
       "effect.params[\"Opacity\"].keyframes[1].value: -5 is outside the valid range of "
       "\"Opacity\" (0 to 100)"},
      {"unknown motion source", [](json& j) { j["effect"]["params"]["Motion Source"] = 9; },
       "effect.params[\"Motion Source\"]: unknown layer id 9 (the scene's layers: 1 \"Layer 1\", "
       "2 \"Layer 2\")"},
      {"keyframed layer parameter",
       [](json& j) {
         j["effect"]["params"]["Motion Source"] =
             json::parse(R"({"keyframes": [{"time": 0, "value": 2}]})");
       },
       "effect.params[\"Motion Source\"]: a layer parameter cannot be keyframed"},
      {"malformed colour", [](json& j) { j["effect"]["params"]["Color"] = "#12345"; },
       "effect.params[\"Color\"]: expected a colour \"#RRGGBB\" or [r, g, b]"},
      {"colour channel too large",
       [](json& j) {
         j["effect"]["params"]["Color"] = json::array({1, 2, 300});
       },
       "effect.params[\"Color\"][2]: 300 is out of range (0 to 255)"},
      {"checkbox as number", [](json& j) { j["effect"]["params"]["Enable Solid Fill"] = 2; },
       "effect.params[\"Enable Solid Fill\"]: expected true or false"},
      {"one parameter twice", [](json& j) { j["effect"]["params"]["opacity"] = 20; },
       "effect.params[\"opacity\"]: \"Opacity\" is given twice"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    json j = BaseScene();
    c.edit(j);
    try {
      ParseScene(j.dump(), "t.json", "", Catalog());
      ADD_FAILURE() << "accepted";
    } catch (const InputError& e) {
      EXPECT_EQ(std::string(e.what()), std::string("t.json: ") + c.message);
    }
  }
}

TEST(SceneErrors, AKeyGivenTwiceInOneObjectIsRefusedWithBothLines) {
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {R"({"composition": {"width": 64, "height": 48, "fps": 24, "duration": 4},
  "layers": [{"id": 1, "source": {"type": "ellipse", "width": 8, "height": 8}}],
  "effect": {"params": {
    "Opacity": {"keyframes": [{"time": 0, "value": 100}, {"time": 3, "value": 20}]},
    "Shutter Angle": 720,
    "Opacity": 30}}})",
       "t.json: effect.params.Opacity: \"Opacity\" is given twice in one object, on lines 4 "
       "and 6 (remove one)"},
      {R"({"composition": {"width": 64, "height": 48, "fps": 24, "duration": 4},
  "layers": [{"id": 1, "source": {"type": "ellipse", "width": 8, "height": 8,
                                  "color": "#FF0000", "color": "#00FF00"}}]})",
       "t.json: layers[0].source.color: \"color\" is given twice in one object, on lines 3 and 3 "
       "(remove one)"},
  };
  for (const auto& c : cases) {
    try {
      ParseScene(c.text, "t.json", "", Catalog());
      ADD_FAILURE() << "accepted";
    } catch (const InputError& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
}

TEST(SceneErrors, UnknownParameterListsTheKnownOnes) {
  json j = BaseScene();
  j["effect"]["params"]["Opacityy"] = 5;
  try {
    ParseScene(j.dump(), "t.json", "", Catalog());
    FAIL() << "accepted";
  } catch (const InputError& e) {
    const std::string m = e.what();
    EXPECT_EQ(m.rfind("t.json: effect.params[\"Opacityy\"]: unknown parameter", 0), 0u) << m;
    EXPECT_NE(m.find("\"Start Color\""), std::string::npos) << m;
  }
}

TEST(SceneErrors, SyntaxErrorNamesTheLine) {
  try {
    ParseScene("{\n  \"composition\": {\n    \"width\": 64,,\n", "t.json", "", Catalog());
    FAIL() << "accepted";
  } catch (const InputError& e) {
    const std::string m = e.what();
    EXPECT_EQ(m.rfind("t.json: line 3, column 17: a comma with no item before it", 0), 0u) << m;
  }
}

TEST(SceneErrors, ImageSourcesMustBeReadablePngFiles) {
  const fs::path dir = fs::temp_directory_path() / "qs_scene_image_test";
  fs::create_directories(dir);
  { std::ofstream(dir / "fake.png") << "not a png"; }
  struct Case {
    const char* path;
    const char* cause;
  };
  for (const Case& c : {Case{"fake.png", "not a PNG file"}, Case{"missing.png", "cannot open"}}) {
    SCOPED_TRACE(c.path);
    json j = BaseScene();
    j["layers"][1]["source"] = {{"type", "image"}, {"path", c.path}};
    try {
      ParseScene(j.dump(), "t.json", dir.string(), Catalog());
      ADD_FAILURE() << "accepted";
    } catch (const InputError& e) {
      const std::string m = e.what();
      EXPECT_EQ(m.rfind("t.json: layers[1].source.path: cannot read image", 0), 0u) << m;
      EXPECT_NE(m.find(c.cause), std::string::npos) << m;
    }
  }
  fs::remove_all(dir);
}

// ---- parameter values as text -------------------------------------------------------------------

TEST(ParamText, NamesMatchExactlyThenLooselyAndOnlySettableOnes) {
  const ParamCatalog& cat = Catalog();
  ASSERT_NE(cat.Find("Opacity"), nullptr);
  EXPECT_EQ(cat.Find("opacity"), cat.Find("Opacity"));
  EXPECT_EQ(cat.Find("Motion Threshold"), cat.Find("Motion Threshold (px)"));
  EXPECT_EQ(cat.Find("Quality"), nullptr);  // a group, not a value
  EXPECT_EQ(cat.Find(""), nullptr);         // group ends and the button have no name
  EXPECT_EQ(cat.Find("Opacit"), nullptr);
}

TEST(ParamText, ValuesParseByTypeAndAreRangeChecked) {
  const ParamCatalog& cat = Catalog();
  const ParamInfo& opacity = *cat.Find("Opacity");
  const ParamInfo& ramp = *cat.Find("Enable Ramp Fill");
  const ParamInfo& start = *cat.Find("Start Color");
  const ParamInfo& source = *cat.Find("Motion Source");

  EXPECT_EQ(ParseParamText(opacity, " 50 ", "x").number, 50.0);
  EXPECT_EQ(ParseParamText(opacity, "+0.5", "x").number, 0.5);
  EXPECT_EQ(ParseParamText(opacity, "100", "x").number, 100.0);
  for (const char* on : {"on", "1", "true", "TRUE", "yes"})
    EXPECT_TRUE(ParseParamText(ramp, on, "x").on) << on;
  for (const char* off : {"off", "0", "false", "no"})
    EXPECT_FALSE(ParseParamText(ramp, off, "x").on) << off;
  const PF_Pixel hex = ParseParamText(start, "#FF8000", "x").color;
  EXPECT_EQ((std::array<int, 4>{hex.alpha, hex.red, hex.green, hex.blue}),
            (std::array<int, 4>{255, 255, 128, 0}));
  const PF_Pixel rgb = ParseParamText(start, "1, 2,3", "x").color;
  EXPECT_EQ((std::array<int, 4>{rgb.alpha, rgb.red, rgb.green, rgb.blue}),
            (std::array<int, 4>{255, 1, 2, 3}));
  EXPECT_EQ(ParseParamText(source, "none", "x").layer, 0);
  EXPECT_EQ(ParseParamText(source, "3", "x").layer, 3);

  struct Bad {
    const ParamInfo* param;
    const char* text;
  };
  for (const Bad& b :
       {Bad{&opacity, "100.5"}, Bad{&opacity, "-1"}, Bad{&opacity, "nan"}, Bad{&opacity, "inf"},
        Bad{&opacity, "5%%"}, Bad{&opacity, ""}, Bad{&ramp, "maybe"}, Bad{&start, "#FF80"},
        Bad{&start, "1,2"}, Bad{&start, "1,2,256"}, Bad{&start, "1,2,3,4,5"}, Bad{&start, "red"},
        Bad{&source, "-1"}, Bad{&source, "two"}}) {
    EXPECT_THROW(ParseParamText(*b.param, b.text, "x"), InputError)
        << b.param->name << "=" << b.text;
  }
}

}  // namespace
}  // namespace quillstreak::renderer
