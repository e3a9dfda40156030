// qs-png-to-rgba IN.png OUT.rgba: writes a PNG's pixels as raw 8-bit straight RGBA bytes, rows
// top to bottom, no header. Used to regenerate the raw reference frame from the PNG one (the
// update-reference-frame build target, tests/tools/CMakeLists.txt).
#include <fstream>
#include <iostream>

#include "renderer/Png.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: qs-png-to-rgba IN.png OUT.rgba\n";
    return 2;
  }
  quillstreak::renderer::RgbaImage image;
  try {
    image = quillstreak::renderer::ReadPng(argv[1]);
  } catch (const quillstreak::renderer::PngError& e) {
    std::cerr << "qs-png-to-rgba: " << argv[1] << ": " << e.what() << "\n";
    return 1;
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(image.rgba.data()),
            static_cast<std::streamsize>(image.rgba.size()));
  out.close();
  if (!out) {
    std::cerr << "qs-png-to-rgba: cannot write " << argv[2] << "\n";
    return 1;
  }
  std::cout << argv[2] << ": " << image.width << "x" << image.height << ", " << image.rgba.size()
            << " bytes\n";
  return 0;
}
