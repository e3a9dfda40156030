#include "render/Sinks.h"

#include "picture/TextPainter.h"
#include "render/Outputs.h"
#include "renderer/ContactSheet.h"

namespace quillstreak::renderer {
namespace {

std::string SceneTitle(const SceneFile& scene) {
  if (scene.file == "<demo>") return "built-in demo";
  if (scene.file == "<stdin>") return "scene from standard input";
  return std::filesystem::path(scene.file).filename().string();
}

}  // namespace

std::string Caption(const Plan& plan, const ParamCatalog& catalog) {
  std::string caption = SceneTitle(plan.scene);
  const std::vector<std::string> settings = SharedSettings(plan, catalog);
  if (settings.empty() && !plan.variants.empty()) return caption;
  if (settings.empty()) return caption + " (every parameter at its default)";
  caption += " \xE2\x80\x94";  // an em dash
  for (std::size_t i = 0; i < settings.size(); ++i) caption += (i == 0 ? " " : ", ") + settings[i];
  return caption;
}

std::string ContactSheetSink::Label(std::size_t run, long frame) const {
  std::string label = "frame " + std::to_string(frame);
  if (plan_.variantLabels.empty()) return label;
  return plan_.frames.size() == 1 ? plan_.variantLabels[run]
                                  : plan_.variantLabels[run] + " \xC2\xB7 " + label;
}

void ContactSheetSink::Add(const RgbaImage& picture, std::string label) {
  cells_.push_back(ScaleDown(picture, plan_.sheetWidth));
  labels_.push_back(std::move(label));
}

void ContactSheetSink::Finish(const ParamCatalog& catalog) {
  if (!wanted()) return;
  int columns = plan_.sheetColumns;
  if (!plan_.variants.empty())
    columns = plan_.frames.size() == 1 ? static_cast<int>(plan_.variants.size())
                                       : static_cast<int>(plan_.frames.size());
  const std::string caption = plan_.painter ? Caption(plan_, catalog) : std::string();
  WritePictureWhole(plan_.sheet->path,
                    LabelledContactSheet(cells_, labels_, caption, columns, plan_.painter.get()),
                    true, *plan_.frameFormat, plan_.overwrite);
}

void VideoSink::Add(const RgbaImage& picture) {
  if (!writer_) {
    writer_ = std::make_unique<VideoWriter>(plan_.ffmpeg, plan_.video->path, *plan_.videoFormat,
                                            picture.width, picture.height, plan_.videoRate,
                                            plan_.videoFps, plan_.overwrite);
  }
  writer_->Write(picture);
}

void VideoSink::Finish() {
  if (writer_) writer_->Finish();
}

}  // namespace quillstreak::renderer
