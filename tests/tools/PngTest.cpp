// PNG files, contact sheets and the conversion of rendered frames to opaque pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "renderer/ContactSheet.h"
#include "renderer/FrameImage.h"
#include "renderer/FrameWriter.h"
#include "renderer/InputError.h"
#include "renderer/Png.h"
#include "renderer/PngFrameFormat.h"
#include "renderer/Renderer.h"

namespace quillstreak::renderer {
namespace {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() : path_(fs::temp_directory_path() / ("qs_png_test_" + std::to_string(counter_++))) {
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempDir() { fs::remove_all(path_); }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  static inline int counter_ = 0;
  fs::path path_;
};

// A picture whose every byte differs from its neighbours (odd size: no row padding hides bugs).
RgbaImage Pattern(int w, int h) {
  RgbaImage img(w, h);
  for (std::size_t i = 0; i < img.rgba.size(); ++i)
    img.rgba[i] = static_cast<std::uint8_t>(i * 37 + i / 7);
  return img;
}

TEST(Png, RoundTripKeepsEveryByte) {
  TempDir dir;
  const RgbaImage rgba = Pattern(13, 7);
  WritePng(dir / "a.png", rgba, false);
  const RgbaImage back = ReadPng(dir / "a.png");
  EXPECT_EQ(back.width, 13);
  EXPECT_EQ(back.height, 7);
  EXPECT_EQ(back.rgba, rgba.rgba);

  // Opaque files drop the alpha channel and read back with alpha 255.
  WritePng(dir / "b.png", rgba, true);
  const RgbaImage opaque = ReadPng(dir / "b.png");
  ASSERT_EQ(opaque.rgba.size(), rgba.rgba.size());
  for (std::size_t i = 0; i < rgba.rgba.size(); ++i)
    ASSERT_EQ(opaque.rgba[i], i % 4 == 3 ? 255 : rgba.rgba[i]) << i;
  EXPECT_TRUE(LooksLikePng(dir / "b.png"));
}

TEST(Png, UnreadableFilesAreReportedNotReadAsPictures) {
  TempDir dir;
  { std::ofstream(dir / "text.png") << "hello, this is not a picture"; }
  WritePng(dir / "good.png", Pattern(40, 30), false);
  {
    // A real PNG cut short: the header is fine, the pixel data is not there.
    std::ifstream in(dir / "good.png", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream(dir / "cut.png", std::ios::binary) << bytes.substr(0, bytes.size() / 2);
  }
  struct Case {
    std::string file;
    std::string cause;
  };
  for (const Case& c : {Case{"missing.png", "cannot open"}, Case{"text.png", "not a PNG file"},
                        Case{"cut.png", "damaged PNG file"}}) {
    SCOPED_TRACE(c.file);
    try {
      ReadPng(dir / c.file);
      ADD_FAILURE() << "read";
    } catch (const PngError& e) {
      EXPECT_NE(std::string(e.what()).find(c.cause), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(WritePng(dir / "nofolder/x.png", Pattern(2, 2), true), PngError);
  EXPECT_THROW(WritePng(dir / "empty.png", RgbaImage(), true), PngError);
}

TEST(Png, EverySettingReadsBackTheSamePixels) {
  TempDir dir;
  const RgbaImage rgba = Pattern(13, 7);
  for (int level : {0, 1, 9})
    for (PngFilter filter : {PngFilter::None, PngFilter::Sub, PngFilter::Up, PngFilter::Average,
                             PngFilter::Paeth, PngFilter::Adaptive})
      for (PngStrategy strategy : {PngStrategy::Default, PngStrategy::Rle, PngStrategy::Filtered}) {
        SCOPED_TRACE(::testing::Message() << level << " " << static_cast<int>(filter) << " "
                                          << static_cast<int>(strategy));
        WritePng(dir / "s.png", rgba, false, {PngSettings{level, filter, strategy}});
        ASSERT_EQ(ReadPng(dir / "s.png").rgba, rgba.rgba);
      }
  // Several settings: the file keeps the smallest.
  const std::vector<PngSettings> tries = SettingsFor(PngCompression::Small);
  ASSERT_GT(tries.size(), 1u);
  WritePng(dir / "best.png", rgba, false, tries);
  EXPECT_EQ(ReadPng(dir / "best.png").rgba, rgba.rgba);
  for (const PngSettings& one : tries) {
    WritePng(dir / "one.png", rgba, false, {one});
    EXPECT_LE(fs::file_size(dir / "best.png"), fs::file_size(dir / "one.png"));
  }
}

// A frame with every alpha and colours that differ from pixel to pixel, odd-sized.
quillstreak::host::World StraightFrame() {
  quillstreak::host::World frame(37, 11);
  for (A_long y = 0; y < frame.height(); ++y)
    for (A_long x = 0; x < frame.width(); ++x) {
      const int i = y * frame.width() + x;
      frame.at(x, y) = PF_Pixel{static_cast<A_u_char>(i % 256), static_cast<A_u_char>(i * 7),
                                static_cast<A_u_char>(i * 13 + 5), static_cast<A_u_char>(i * 29)};
    }
  return frame;
}

TEST(FrameWriter, FilesHoldTheFrameOverTheBackgroundOrStraightForEveryCompression) {
  TempDir dir;
  const quillstreak::host::World frame = StraightFrame();
  const PF_Pixel background{255, 20, 40, 60};
  quillstreak::host::World over;
  quillstreak::host::CompositeOverBackground(frame, background, over);
  for (PngCompression compression : {PngCompression::Fast, PngCompression::Small}) {
    FrameWriter writer(2, PngFrameFormat(SettingsFor(compression)));
    for (int i = 0; i < 6; ++i) {
      writer.Write(dir / ("f" + std::to_string(i) + ".png"), frame, i % 2 == 1, background, true);
    }
    writer.Finish();
    for (int i = 0; i < 6; ++i) {
      SCOPED_TRACE(::testing::Message() << static_cast<int>(compression) << " frame " << i);
      const RgbaImage got = ReadPng(dir / ("f" + std::to_string(i) + ".png"));
      const quillstreak::host::World& want = i % 2 == 1 ? frame : over;
      ASSERT_EQ(got.width, want.width());
      ASSERT_EQ(got.height, want.height());
      for (A_long y = 0; y < want.height(); ++y)
        for (A_long x = 0; x < want.width(); ++x) {
          const PF_Pixel p = want.at(x, y);
          const std::uint8_t* q = got.pixel(x, y);
          ASSERT_EQ((std::vector<int>{q[0], q[1], q[2], q[3]}),
                    (std::vector<int>{p.red, p.green, p.blue, p.alpha}))
              << x << "," << y;
        }
    }
  }
}

TEST(FrameWriter, AFailedFrameStopsTheLaterOnesAndLeavesNoTemporaryFiles) {
  TempDir dir;
  const quillstreak::host::World frame = StraightFrame();
  std::vector<std::string> placed;
  std::string message;
  {
    FrameWriter writer(2, PngFrameFormat(SettingsFor(PngCompression::Fast)));
    try {
      for (int i = 0; i < 8; ++i) {
        // Frame 3 goes to a folder that does not exist.
        const std::string name = i == 3 ? "missing/f3.png" : "f" + std::to_string(i) + ".png";
        writer.Write(dir / name, frame, false, PF_Pixel{}, false);
        writer.Then([&placed, name] { placed.push_back(name); });
      }
      writer.Finish();
    } catch (const RenderError& e) {
      message = e.what();
    }
    writer.Finish();  // nothing more after a failure
  }
  EXPECT_EQ(message, (dir / "missing/f3.png") + ": cannot create the file");
  EXPECT_EQ(placed, (std::vector<std::string>{"f0.png", "f1.png", "f2.png"}));
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(fs::path(dir / "")))
    files.push_back(e.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"f0.png", "f1.png", "f2.png"}));
}

TEST(ContactSheet, ScaleDownAveragesTheCoveredPixels) {
  RgbaImage img(4, 2);
  // Left half black, right half white, alpha 255 everywhere.
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) {
      std::uint8_t* p = img.pixel(x, y);
      p[0] = p[1] = p[2] = x < 2 ? 0 : 255;
      p[3] = 255;
    }
  const RgbaImage half = ScaleDown(img, 2);
  ASSERT_EQ(half.width, 2);
  ASSERT_EQ(half.height, 1);
  EXPECT_EQ(half.pixel(0, 0)[0], 0);
  EXPECT_EQ(half.pixel(1, 0)[0], 255);

  // 3 -> 2 pixels: the middle source pixel is shared half and half.
  RgbaImage row(3, 1);
  const std::uint8_t values[3] = {0, 90, 180};
  for (int x = 0; x < 3; ++x) row.pixel(x, 0)[0] = values[x];
  const RgbaImage two = ScaleDown(row, 2);
  ASSERT_EQ(two.width, 2);
  EXPECT_EQ(two.pixel(0, 0)[0], 30);   // (0 * 1 + 90 * 0.5) / 1.5
  EXPECT_EQ(two.pixel(1, 0)[0], 150);  // (90 * 0.5 + 180 * 1) / 1.5

  // Never scaled up.
  EXPECT_EQ(ScaleDown(img, 10).width, 4);
}

TEST(ContactSheet, CellsFillRowsLeftToRight) {
  std::vector<RgbaImage> cells;
  for (int i = 0; i < 5; ++i) {
    RgbaImage c(4, 3);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 4; ++x) {
        c.pixel(x, y)[0] = static_cast<std::uint8_t>(10 * (i + 1));
        c.pixel(x, y)[3] = 255;
      }
    cells.push_back(c);
  }
  const std::uint8_t bg[3] = {1, 2, 3};
  const RgbaImage sheet = LayOutContactSheet(cells, 2, 1, bg);
  EXPECT_EQ(sheet.width, 2 * 4 + 3 * 1);
  EXPECT_EQ(sheet.height, 3 * 3 + 4 * 1);
  EXPECT_EQ(sheet.pixel(0, 0)[0], 1);   // gap
  EXPECT_EQ(sheet.pixel(1, 1)[0], 10);  // cell 0
  EXPECT_EQ(sheet.pixel(6, 1)[0], 20);  // cell 1
  EXPECT_EQ(sheet.pixel(1, 5)[0], 30);  // cell 2, second row
  EXPECT_EQ(sheet.pixel(9, 9)[0], 1);   // the empty slot after cell 4
  EXPECT_EQ(sheet.pixel(1, 9)[0], 50);  // cell 4
  EXPECT_TRUE(LayOutContactSheet({}, 3, 1, bg).rgba.empty());
}

TEST(FrameOutput, FramesBecomeOpaqueOverTheBackground) {
  quillstreak::host::World frame(2, 1);
  frame.at(0, 0) = PF_Pixel{255, 10, 20, 30};  // opaque: kept as is
  frame.at(1, 0) = PF_Pixel{128, 100, 0, 0};   // straight red (100, 0, 0) at half coverage
  const RgbaImage img = FrameToRgba(frame, PF_Pixel{255, 0, 0, 200});
  // (c * 128 + bg * 127) / 255: red 12800 / 255 = 50.2, blue 25400 / 255 = 99.6.
  const std::vector<std::uint8_t> expected = {10, 20, 30, 255, 50, 0, 100, 255};
  EXPECT_EQ(img.rgba, expected);
  EXPECT_EQ(FrameFileName(7, 4), "frame_0007.png");
  EXPECT_EQ(FrameFileName(12345, 4), "frame_12345.png");
  EXPECT_EQ(FrameFileName(3, 6), "frame_000003.png");
}

}  // namespace
}  // namespace quillstreak::renderer
