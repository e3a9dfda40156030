// The scene rendered when no scene file is given: a shape that travels on a curve while it turns
// and grows, with the trail recoloured by a ramp. Kept small (960x540, 48 frames) so that it
// renders in seconds.
#include "renderer/SceneFile.h"

namespace quillstreak::renderer {

const std::string& DemoSceneText() {
  static const std::string text = R"json({
  "description": "Built-in demo: a shape on a curved path, turning and scaling, ramp-filled trail",
  "composition": {"width": 960, "height": 540, "fps": 24, "duration": 48, "background": "#14161C"},
  "layers": [
    {
      "id": 1,
      "name": "Quill",
      "source": {"type": "rectangle", "width": 120, "height": 72, "color": "#F2F2F2"},
      "transform": {
        "position": {"keyframes": [
          {"time": 0, "value": [130, 270]},
          {"time": 4, "value": [188, 173]},
          {"time": 8, "value": [247, 115]},
          {"time": 12, "value": [305, 122]},
          {"time": 16, "value": [363, 190]},
          {"time": 20, "value": [422, 291]},
          {"time": 24, "value": [480, 383]},
          {"time": 28, "value": [538, 429]},
          {"time": 32, "value": [597, 409]},
          {"time": 36, "value": [655, 331]},
          {"time": 40, "value": [713, 229]},
          {"time": 44, "value": [772, 143]},
          {"time": 48, "value": [830, 110]}
        ]},
        "rotation": {"keyframes": [
          {"time": 0, "value": 0, "interp": "eased"},
          {"time": 48, "value": 300}
        ]},
        "scale": {"keyframes": [
          {"time": 0, "value": 60, "interp": "eased"},
          {"time": 24, "value": 130, "interp": "eased"},
          {"time": 48, "value": 80}
        ]}
      }
    }
  ],
  "effect": {
    "layer": 1,
    "params": {
      "Motion Threshold": 8,
      "Shutter Angle": 1440,
      "Enable Ramp Fill": true,
      "Start Color": "#1E3CFF",
      "End Color": "#FFA01E",
      "Opacity": 85
    }
  }
}
)json";
  return text;
}

}  // namespace quillstreak::renderer
