#include "renderer/PngFrameFormat.h"

#include <utility>

namespace quillstreak::renderer {
namespace {

// Runs `f`, a PngError passed on as a FrameFileError with the same message.
template <typename F>
auto Translated(F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const PngError& e) {
    throw FrameFileError(e.what());
  }
}

class PngEncoder final : public FrameEncoder {
 public:
  explicit PngEncoder(const std::vector<PngSettings>& tries) : tries_(tries) {}
  void Encode(int width, int height, bool alpha, const FrameRowSource& rows,
              const std::string& record) override {
    Translated([&] { EncodePngRows(width, height, alpha, tries_, rows, buffers_, record); });
  }
  void Write(const std::string& path) const override {
    Translated([&] { WritePngFile(path, buffers_.file); });
  }

 private:
  const std::vector<PngSettings>& tries_;
  PngBuffers buffers_;
};

class PngFrames final : public FrameFormat {
 public:
  explicit PngFrames(std::vector<PngSettings> tries) : tries_(std::move(tries)) {}
  const std::string& extension() const override { return extension_; }
  const std::string& name() const override { return name_; }
  std::unique_ptr<FrameEncoder> NewEncoder() const override {
    return std::make_unique<PngEncoder>(tries_);
  }
  void WritePicture(const std::string& path, const RgbaImage& image, bool opaque) const override {
    Translated([&] { WritePng(path, image, opaque, tries_); });
  }
  FrameFileInfo ReadInfo(const std::string& path) const override {
    const PngInfo info = Translated([&] { return ReadPngInfo(path); });
    return {info.width, info.height, info.alpha, info.record};
  }
  RgbaImage ReadWhole(const std::string& path) const override {
    try {
      return ReadPng(path, true);
    } catch (const PngError& e) {
      std::string why = e.what();
      constexpr char kDamaged[] = "damaged PNG file: ";
      if (why.rfind(kDamaged, 0) == 0) why.erase(0, sizeof kDamaged - 1);
      throw FrameFileError(why);
    }
  }

 private:
  std::vector<PngSettings> tries_;
  std::string extension_ = kPngExtension, name_ = "PNG";
};

}  // namespace

std::shared_ptr<const FrameFormat> PngFrameFormat(std::vector<PngSettings> tries) {
  return std::make_shared<PngFrames>(std::move(tries));
}

}  // namespace quillstreak::renderer
