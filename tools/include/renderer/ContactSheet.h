// Contact sheets: frames scaled down and laid out in a grid in one picture.
#pragma once

#include <cstdint>
#include <vector>

#include "renderer/RgbaImage.h"

namespace quillstreak::renderer {

/// Scales an image down to `width` pixels wide (height in proportion, at least 1) by averaging
/// the source pixels each target pixel covers (area weighted). An image that is already at most
/// `width` wide is returned unchanged.
RgbaImage ScaleDown(const RgbaImage& image, int width);

/// The cells in rows of `columns`, left to right and top to bottom, `gap` pixels apart and from
/// the edges, on an opaque `background` (r, g, b). Every cell is placed at the top-left of its
/// slot; slots are as large as the largest cell. Empty input gives an empty image.
RgbaImage LayOutContactSheet(const std::vector<RgbaImage>& cells, int columns, int gap,
                             const std::uint8_t background[3]);

}  // namespace quillstreak::renderer
