#include "renderer/ContactSheet.h"

#include <algorithm>
#include <cmath>

namespace quillstreak::renderer {

RgbaImage ScaleDown(const RgbaImage& image, int width) {
  if (width <= 0 || image.width <= width || image.height <= 0) return image;
  const int height = std::max(
      1, static_cast<int>(std::lround(static_cast<double>(image.height) * width / image.width)));
  RgbaImage out(width, height);
  const double sx = static_cast<double>(image.width) / width;
  const double sy = static_cast<double>(image.height) / height;
  for (int y = 0; y < height; ++y) {
    const double y0 = y * sy, y1 = (y + 1) * sy;
    for (int x = 0; x < width; ++x) {
      const double x0 = x * sx, x1 = (x + 1) * sx;
      double sum[4] = {0, 0, 0, 0};
      double total = 0;
      for (int v = static_cast<int>(y0);
           v < std::min(image.height, static_cast<int>(std::ceil(y1))); ++v) {
        const double wy = std::min<double>(v + 1, y1) - std::max<double>(v, y0);
        if (wy <= 0) continue;
        for (int u = static_cast<int>(x0);
             u < std::min(image.width, static_cast<int>(std::ceil(x1))); ++u) {
          const double w = wy * (std::min<double>(u + 1, x1) - std::max<double>(u, x0));
          if (w <= 0) continue;
          const std::uint8_t* p = image.pixel(u, v);
          for (int c = 0; c < 4; ++c) sum[c] += w * p[c];
          total += w;
        }
      }
      std::uint8_t* q = out.pixel(x, y);
      for (int c = 0; c < 4; ++c)
        q[c] = static_cast<std::uint8_t>(
            std::clamp(std::lround(total > 0 ? sum[c] / total : 0.0), 0L, 255L));
    }
  }
  return out;
}

RgbaImage LayOutContactSheet(const std::vector<RgbaImage>& cells, int columns, int gap,
                             const std::uint8_t background[3]) {
  if (cells.empty()) return {};
  columns = std::max(1, std::min(columns, static_cast<int>(cells.size())));
  gap = std::max(0, gap);
  int cellW = 0, cellH = 0;
  for (const auto& c : cells) {
    cellW = std::max(cellW, c.width);
    cellH = std::max(cellH, c.height);
  }
  const int rows = (static_cast<int>(cells.size()) + columns - 1) / columns;
  RgbaImage sheet(columns * cellW + (columns + 1) * gap, rows * cellH + (rows + 1) * gap);
  for (int y = 0; y < sheet.height; ++y) {
    for (int x = 0; x < sheet.width; ++x) {
      std::uint8_t* p = sheet.pixel(x, y);
      p[0] = background[0];
      p[1] = background[1];
      p[2] = background[2];
      p[3] = 255;
    }
  }
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const int col = static_cast<int>(i) % columns;
    const int row = static_cast<int>(i) / columns;
    const int left = gap + col * (cellW + gap);
    const int top = gap + row * (cellH + gap);
    const RgbaImage& c = cells[i];
    for (int y = 0; y < c.height; ++y)
      std::copy(c.pixel(0, y), c.pixel(0, y) + static_cast<std::size_t>(c.width) * 4,
                sheet.pixel(left, top + y));
  }
  return sheet;
}

}  // namespace quillstreak::renderer
