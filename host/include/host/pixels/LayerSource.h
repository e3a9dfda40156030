// What a layer is drawn from and where: its source picture and its transform at one time, as
// the layer rendering of the pixel services takes them.
#pragma once

#include <vector>

#include "hostapi/HostApi.h"

namespace quillstreak::host {

/// Layer transform values at one time, as the host's transform streams give them.
struct TransformValues {
  double anchor[3] = {0, 0, 0};                  // source pixels
  double position[3] = {0, 0, 0};                // composition pixels (z ignored when drawing)
  double scale[3] = {100, 100, 100};             // percent
  double rotateZ = 0, rotateY = 0, rotateX = 0;  // degrees, positive = clockwise on screen
};

/// A layer's source picture in source pixels.
struct LayerSource {
  enum class Kind { Rectangle, Ellipse, Image };
  Kind kind = Kind::Rectangle;
  A_long width = 0, height = 0;
  PF_Pixel color{255, 255, 255, 255};  // shapes: straight ARGB colour
  std::vector<PF_Pixel> pixels;        // Image: width*height straight ARGB, row-major
};

}  // namespace quillstreak::host
