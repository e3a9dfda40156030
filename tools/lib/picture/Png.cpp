#include "renderer/Png.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>

namespace quillstreak::renderer {
namespace {

constexpr auto kMaxSide = static_cast<png_uint_32>(kMaxImageSide);

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

// libpng's reads from the file, saying so when it ends early (libpng's own says "Read Error").
void ReadBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* file = static_cast<std::FILE*>(png_get_io_ptr(png));
  if (std::fread(data, 1, length, file) != length)
    png_error(png, std::feof(file) ? "the file ends early" : "read error");
}

std::uint32_t BigEndian(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

// Walks the chunks of a PNG file positioned after its signature, up to the image data: the size
// and colour type from IHDR and the text of the tEXt chunk named `key`. False when the file
// ends or holds no IHDR first.
bool ReadChunksBeforeImage(std::FILE* file, PngInfo& info, const char* key) {
  bool header = false;
  for (int chunk = 0; chunk < 64; ++chunk) {
    unsigned char head[8];
    if (std::fread(head, 1, 8, file) != 8) return false;
    const std::uint32_t length = BigEndian(head);
    const std::string type(reinterpret_cast<const char*>(head + 4), 4);
    if (type == "IDAT" || type == "IEND") return header;
    if (length > (1u << 20)) return false;
    std::string data(length, '\0');
    if (length > 0 && std::fread(data.data(), 1, length, file) != length) return false;
    if (chunk == 0 && (type != "IHDR" || length != 13)) return false;
    if (type == "IHDR") {
      const auto* p = reinterpret_cast<const unsigned char*>(data.data());
      info.width = static_cast<std::int64_t>(BigEndian(p));
      info.height = static_cast<std::int64_t>(BigEndian(p + 4));
      info.alpha = (p[9] & PNG_COLOR_MASK_ALPHA) != 0;
      header = true;
    } else if (type == "tEXt" &&
               data.compare(0, std::strlen(key) + 1, std::string(key) + '\0') == 0) {
      info.record = data.substr(std::strlen(key) + 1);
    }
    if (std::fseek(file, 4, SEEK_CUR) != 0) return false;  // the CRC
  }
  return header;
}

// Asks libpng for any PNG as 8-bit RGBA rows: palettes, grey, 16 bits, transparency and
// interlacing converted.
void ReadAsRgba(png_structp png, png_infop info) {
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
}

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
            const PngRowSource& rows, const std::string& record,
            std::vector<std::uint8_t>& rowBuffer, std::vector<std::uint8_t>& out) {
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
  std::string key = kPngRecordKey, text = record;
  png_text chunk{};
  chunk.compression = PNG_TEXT_COMPRESSION_NONE;
  chunk.key = key.data();
  chunk.text = text.data();
  chunk.text_length = text.size();
  if (!record.empty()) png_set_text(png, info, &chunk, 1);
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

PngInfo ReadPngInfo(const std::string& path) {
  FilePtr file = Open(path, "rb");
  if (!file) throw PngError("cannot open the file");
  png_byte header[8] = {};
  PngInfo info;
  if (std::fread(header, 1, sizeof header, file.get()) != sizeof header ||
      png_sig_cmp(header, 0, sizeof header) != 0 ||
      !ReadChunksBeforeImage(file.get(), info, kPngRecordKey)) {
    throw PngError("not a PNG file");
  }
  return info;
}

namespace {

// Checks the signature and the size of the PNG file `file` and leaves it after the signature
// (`kSignatureBytes`): libpng would call a picture over the size limit damaged.
constexpr std::size_t kSignatureBytes = 8;
void CheckSignatureAndSize(std::FILE* file) {
  png_byte header[kSignatureBytes] = {};
  if (std::fread(header, 1, sizeof header, file) != sizeof header ||
      png_sig_cmp(header, 0, sizeof header) != 0) {
    throw PngError("not a PNG file");
  }
  PngInfo size;
  if (ReadChunksBeforeImage(file, size, "") &&
      (size.width < 1 || size.height < 1 || size.width > kMaxSide || size.height > kMaxSide)) {
    throw PngError("image size out of range (1 to 16384 pixels a side)");
  }
  if (std::fseek(file, sizeof header, SEEK_SET) != 0) throw PngError("cannot read the file");
}

}  // namespace

RgbaImage ReadPng(const std::string& path, bool strict) {
  FilePtr file = Open(path, "rb");
  if (!file) throw PngError("cannot open the file");
  CheckSignatureAndSize(file.get());

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
  png_set_read_fn(png, file.get(), ReadBytes);
  png_set_sig_bytes(png, kSignatureBytes);
  if (strict) {
    png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
    png_set_benign_errors(png, 0);
  }
  png_set_user_limits(png, kMaxSide, kMaxSide);
  png_read_info(png, info);

  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
    state.tooLarge = true;
  } else {
    ReadAsRgba(png, info);
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

void EncodePngRows(int width, int height, bool alpha, const std::vector<PngSettings>& tries,
                   const PngRowSource& rows, PngBuffers& buffers, const std::string& record) {
  if (width <= 0 || height <= 0 || tries.empty()) throw PngError("empty or malformed image");
  buffers.row.resize(static_cast<std::size_t>(width) * (alpha ? 4 : 3));
  buffers.file.clear();
  for (const PngSettings& settings : tries) {
    buffers.candidate.clear();
    Encode(width, height, alpha, settings, rows, record, buffers.row, buffers.candidate);
    if (buffers.file.empty() || buffers.candidate.size() < buffers.file.size())
      std::swap(buffers.file, buffers.candidate);
  }
}

void WritePngFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  FilePtr file = Open(path, "wb");
  if (!file) throw PngError("cannot create the file");
  errno = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size() ||
      std::fflush(file.get()) != 0) {
    throw WriteFailed(errno);
  }
  std::FILE* raw = file.release();
  if (std::fclose(raw) != 0) throw WriteFailed(errno);
}

void WritePngRows(const std::string& path, int width, int height, bool alpha,
                  const std::vector<PngSettings>& tries, const PngRowSource& rows,
                  PngBuffers& buffers, const std::string& record) {
  EncodePngRows(width, height, alpha, tries, rows, buffers, record);
  WritePngFile(path, buffers.file);
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
