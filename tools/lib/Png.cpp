#include "renderer/Png.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <system_error>

namespace quillstreak::renderer {
namespace {

constexpr png_uint_32 kMaxSide = 16384;

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f != nullptr) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr Open(const std::string& path, const char* mode) {
#if defined(_MSC_VER)
  std::FILE* f = nullptr;
  if (fopen_s(&f, path.c_str(), mode) != 0) f = nullptr;
  return FilePtr(f);
#else
  return FilePtr(std::fopen(path.c_str(), mode));
#endif
}

// libpng reports errors through a callback that must not return: the message is kept and the
// callback jumps back to the setjmp point of the reading or writing function.
struct ErrorState {
  std::string message;
  bool tooLarge = false;
};

void OnPngError(png_structp png, png_const_charp message) {
  auto* state = static_cast<ErrorState*>(png_get_error_ptr(png));
  if (state != nullptr) state->message = message != nullptr ? message : "unknown libpng error";
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// "write failed", with the system's reason when there is one ("No space left on device").
PngError WriteFailed(int error) {
  if (error == 0) return PngError("write failed");
  return PngError("write failed: " + std::generic_category().message(error));
}

int FilterBits(PngFilter filter) {
  switch (filter) {
    case PngFilter::None:
      return PNG_FILTER_NONE;
    case PngFilter::Sub:
      return PNG_FILTER_SUB;
    case PngFilter::Up:
      return PNG_FILTER_UP;
    case PngFilter::Average:
      return PNG_FILTER_AVG;
    case PngFilter::Paeth:
      return PNG_FILTER_PAETH;
    case PngFilter::Adaptive:
      return PNG_ALL_FILTERS;
  }
  return PNG_ALL_FILTERS;
}

int ZlibStrategy(PngStrategy strategy) {
  switch (strategy) {
    case PngStrategy::Default:
      return Z_DEFAULT_STRATEGY;
    case PngStrategy::Rle:
      return Z_RLE;
    case PngStrategy::Filtered:
      return Z_FILTERED;
  }
  return Z_DEFAULT_STRATEGY;
}

// libpng's output appended to a byte vector.
void AppendBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  try {
    out->insert(out->end(), data, data + length);
  } catch (const std::exception&) {
    png_error(png, "out of memory");
  }
}

void FlushNothing(png_structp) {}

// The whole file of a width x height picture with one setting, appended to `out`.
void Encode(int width, int height, bool alpha, const PngSettings& settings,
            const PngRowSource& rows, std::vector<std::uint8_t>& rowBuffer,
            std::vector<std::uint8_t>& out) {
  ErrorState state;
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, OnPngError, OnPngWarning);
  if (png == nullptr) throw PngError("out of memory");
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    throw PngError("out of memory");
  }
  png_bytep row = rowBuffer.data();
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw PngError("write failed: " + state.message);
  }
  png_set_write_fn(png, &out, AppendBytes, FlushNothing);
  png_set_compression_level(png, std::clamp(settings.level, 0, 9));
  png_set_compression_strategy(png, ZlibStrategy(settings.strategy));
  png_set_filter(png, PNG_FILTER_TYPE_BASE, FilterBits(settings.filter));
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    rows(y, row);
    png_write_row(png, row);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
}

}  // namespace

bool LooksLikePng(const std::string& path) {
  FilePtr file = Open(path, "rb");
  if (!file) return false;
  png_byte header[8] = {};
  if (std::fread(header, 1, sizeof header, file.get()) != sizeof header) return false;
  return png_sig_cmp(header, 0, sizeof header) == 0;
}

RgbaImage ReadPng(const std::string& path) {
  FilePtr file = Open(path, "rb");
  if (!file) throw PngError("cannot open the file");
  png_byte header[8] = {};
  if (std::fread(header, 1, sizeof header, file.get()) != sizeof header ||
      png_sig_cmp(header, 0, sizeof header) != 0) {
    throw PngError("not a PNG file");
  }

  ErrorState state;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, OnPngError, OnPngWarning);
  if (png == nullptr) throw PngError("out of memory");
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    throw PngError("out of memory");
  }

  // Everything touched after setjmp and read after a longjmp lives outside this frame's
  // registers: the result is heap storage reached through a pointer set before setjmp.
  auto result = std::make_unique<RgbaImage>();
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    throw PngError("damaged PNG file: " + state.message);
  }
  png_init_io(png, file.get());
  png_set_sig_bytes(png, sizeof header);
  png_set_user_limits(png, kMaxSide, kMaxSide);
  png_read_info(png, info);

  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
    state.tooLarge = true;
  } else {
    const int colorType = png_get_color_type(png, info);
    const int bitDepth = png_get_bit_depth(png, info);
    if (bitDepth == 16) png_set_strip_16(png);
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
      png_set_gray_to_rgb(png);
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS))
      png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<png_size_t>(width) * 4) {
      state.message = "unexpected pixel layout";
      png_longjmp(png, 1);
    }
    *result = RgbaImage(static_cast<int>(width), static_cast<int>(height));
    rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = result->pixel(0, static_cast<int>(y));
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
  }
  png_destroy_read_struct(&png, &info, nullptr);
  if (state.tooLarge) throw PngError("image size out of range (1 to 16384 pixels a side)");
  return std::move(*result);
}

std::vector<PngSettings> SettingsFor(PngCompression compression) {
  if (compression == PngCompression::Small) {
    return {{9, PngFilter::Adaptive, PngStrategy::Default},
            {9, PngFilter::None, PngStrategy::Default}};
  }
  return {PngSettings{}};
}

void WritePngRows(const std::string& path, int width, int height, bool alpha,
                  const std::vector<PngSettings>& tries, const PngRowSource& rows,
                  PngBuffers& buffers) {
  if (width <= 0 || height <= 0 || tries.empty()) throw PngError("empty or malformed image");
  buffers.row.resize(static_cast<std::size_t>(width) * (alpha ? 4 : 3));
  buffers.file.clear();
  for (const PngSettings& settings : tries) {
    buffers.candidate.clear();
    Encode(width, height, alpha, settings, rows, buffers.row, buffers.candidate);
    if (buffers.file.empty() || buffers.candidate.size() < buffers.file.size())
      std::swap(buffers.file, buffers.candidate);
  }
  FilePtr file = Open(path, "wb");
  if (!file) throw PngError("cannot create the file");
  errno = 0;
  if (std::fwrite(buffers.file.data(), 1, buffers.file.size(), file.get()) != buffers.file.size() ||
      std::fflush(file.get()) != 0) {
    throw WriteFailed(errno);
  }
  std::FILE* raw = file.release();
  if (std::fclose(raw) != 0) throw WriteFailed(errno);
}

void WritePng(const std::string& path, const RgbaImage& image, bool opaque,
              const std::vector<PngSettings>& tries) {
  if (image.width <= 0 || image.height <= 0 ||
      image.rgba.size() != static_cast<std::size_t>(image.width) * image.height * 4) {
    throw PngError("empty or malformed image");
  }
  PngBuffers buffers;
  WritePngRows(
      path, image.width, image.height, !opaque, tries,
      [&](int y, std::uint8_t* row) {
        const std::uint8_t* p = image.pixel(0, y);
        if (!opaque) {
          std::copy(p, p + static_cast<std::size_t>(image.width) * 4, row);
          return;
        }
        for (int x = 0; x < image.width; ++x, p += 4, row += 3) {
          row[0] = p[0];
          row[1] = p[1];
          row[2] = p[2];
        }
      },
      buffers);
}

}  // namespace quillstreak::renderer
