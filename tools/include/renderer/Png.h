// Reading and writing 8-bit PNG files (libpng).
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "renderer/RgbaImage.h"

namespace quillstreak::renderer {

/// A PNG file that cannot be read or written; what() says why (without the path).
class PngError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// The row filter written before compression.
enum class PngFilter { None, Sub, Up, Average, Paeth, Adaptive };
/// zlib's strategy: Default (matches and literals), Rle (runs of one byte only; fast) or
/// Filtered (tuned for filtered rows).
enum class PngStrategy { Default, Rle, Filtered };

/// How a PNG is compressed; every setting gives the same pixels.
struct PngSettings {
  int level = 1;  // zlib level, 0 (stored) to 9
  PngFilter filter = PngFilter::Up;
  PngStrategy strategy = PngStrategy::Rle;
};

/// The renderer's two choices: fast to write (the default), or the smallest files.
enum class PngCompression { Fast, Small };
/// The settings a file is encoded with for `compression`; with more than one, each is tried and
/// the file keeps the one with the fewest bytes.
std::vector<PngSettings> SettingsFor(PngCompression compression);

/// Fills `row` with row `y` of the picture (width * 3 bytes RGB, or width * 4 bytes RGBA).
using PngRowSource = std::function<void(int y, std::uint8_t* row)>;

/// Memory for writing PNG files, kept from one file to the next.
struct PngBuffers {
  std::vector<std::uint8_t> row, file, candidate;
};

/// Reads any PNG (palette, grey, 16-bit and interlaced files included) as 8-bit RGBA.
/// Throws PngError when the file cannot be opened, is not a PNG or is damaged, or is larger
/// than 16384 pixels on a side. With `strict`, every chunk's CRC must be right (libpng only warns
/// of a wrong one in an ancillary chunk) and what libpng lets pass as a benign error (extra image
/// data) is damage too: the check of a file that must be exactly as it was written.
RgbaImage ReadPng(const std::string& path, bool strict = false);

/// Writes an 8-bit RGB (or with `alpha`, RGBA) PNG of width x height pixels, asking `rows` for
/// each row in turn (once per setting tried), with `record` (when not empty) as the text of a
/// tEXt chunk named kPngRecordKey. Throws PngError when the file cannot be written.
void WritePngRows(const std::string& path, int width, int height, bool alpha,
                  const std::vector<PngSettings>& tries, const PngRowSource& rows,
                  PngBuffers& buffers, const std::string& record = std::string());
/// WritePngRows in two steps: the file's bytes encoded into `buffers.file`, then written.
void EncodePngRows(int width, int height, bool alpha, const std::vector<PngSettings>& tries,
                   const PngRowSource& rows, PngBuffers& buffers,
                   const std::string& record = std::string());
void WritePngFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

/// Writes an 8-bit RGBA PNG; with `opaque` the alpha channel is left out (RGB file).
/// Throws PngError when the file cannot be written.
void WritePng(const std::string& path, const RgbaImage& image, bool opaque,
              const std::vector<PngSettings>& tries = {PngSettings{}});

/// The PNG signature check on the first bytes of a file.
bool LooksLikePng(const std::string& path);

/// What the head of a PNG file says: its size, whether it has an alpha channel, and the text
/// the renderer records in the frames it writes (see PngRecordKey).
struct PngInfo {
  std::int64_t width = 0;
  std::int64_t height = 0;
  bool alpha = false;
  std::string record;
};

/// The tEXt keyword of the record the renderer writes into frame files.
inline constexpr char kPngRecordKey[] = "Quillstreak-Render";

/// Reads the head of a PNG file (not its pixels). Throws PngError when it is not a PNG file.
PngInfo ReadPngInfo(const std::string& path);

}  // namespace quillstreak::renderer
