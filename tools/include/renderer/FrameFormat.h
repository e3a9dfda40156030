// The file format of frame files: the one seam through which the renderer writes them, reads a
// kept one back and checks a file already there. The plan holds the format the options chose.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "renderer/RgbaImage.h"

namespace quillstreak::renderer {

/// A frame file that cannot be read or written; what() says why (without the path).
class FrameFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Fills `row` with row `y` of the picture (width * 3 bytes RGB, or width * 4 bytes RGBA).
using FrameRowSource = std::function<void(int y, std::uint8_t* row)>;

/// What the head of a frame file says: its size, whether it has an alpha channel, and the record
/// of the settings that produced it (empty when it has none).
struct FrameFileInfo {
  std::int64_t width = 0;
  std::int64_t height = 0;
  bool alpha = false;
  std::string record;
};

/// Encodes frames one after the other, keeping its memory from one to the next; one per thread.
class FrameEncoder {
 public:
  virtual ~FrameEncoder() = default;
  /// Encodes a width x height picture, RGB or with `alpha` RGBA, asking `rows` for each row,
  /// with `record` (when not empty) as its record. Throws FrameFileError.
  virtual void Encode(int width, int height, bool alpha, const FrameRowSource& rows,
                      const std::string& record) = 0;
  /// Writes what Encode made to `path`. Throws FrameFileError.
  virtual void Write(const std::string& path) const = 0;
};

class FrameFormat {
 public:
  virtual ~FrameFormat() = default;
  /// The files' extension, lower case with its dot.
  virtual const std::string& extension() const = 0;
  /// The format's name in messages.
  virtual const std::string& name() const = 0;
  virtual std::unique_ptr<FrameEncoder> NewEncoder() const = 0;
  /// Writes a picture whole (RGB with `opaque`), with the format's settings. Throws
  /// FrameFileError.
  virtual void WritePicture(const std::string& path, const RgbaImage& image, bool opaque) const = 0;
  /// Reads the head of a file (not its pixels). Throws FrameFileError when it is not a file of
  /// this format.
  virtual FrameFileInfo ReadInfo(const std::string& path) const = 0;
  /// Reads a file completely, every check made: a kept frame must be exactly as it was written.
  /// Throws FrameFileError saying what is damaged.
  virtual RgbaImage ReadWhole(const std::string& path) const = 0;
};

}  // namespace quillstreak::renderer
