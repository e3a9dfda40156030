#include "cli/Report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "render/Progress.h"
#include "renderer/FrameList.h"

namespace quillstreak::renderer {

using nlohmann::json;

void Warn(const Console& io, ReportStyle style, const std::string& message) {
  if (style == ReportStyle::Json)
    WriteJsonLine(io.out, {{"event", "warning"}, {"message", message}});
  else if (style != ReportStyle::Quiet)
    io.err << kProgram << ": warning: " << message << "\n";
}

json PlanJson(const Plan& plan, const ParamCatalog& catalog) {
  long replaced = 0;
  for (const auto& o : plan.frameFiles) replaced += o.exists;
  json j = {{"scene", plan.scene.file},
            {"alpha", plan.alpha},
            {"width", plan.width},
            {"height", plan.height},
            {"fps", plan.scene.fps},
            {"fps_text", plan.scene.fpsText},
            {"composition_frames", plan.scene.durationFrames},
            {"frames", plan.frames},
            {"settings", SharedSettings(plan, catalog)},
            {"out", plan.outDir.string()}};
  if (!plan.frameFiles.empty()) {
    j["first_file"] = plan.frameFiles.front().path.string();
    j["last_file"] = plan.frameFiles.back().path.string();
    j["existing_files"] = replaced;
  }
  if (!plan.variantLabels.empty()) j["variants"] = plan.variantLabels;
  if (plan.sheet) j["contact_sheet"] = plan.sheet->path.string();
  if (plan.video) j["video"] = plan.video->path.string();
  for (const SourceUse& use : plan.sources) {
    json frames = json::array();
    for (const std::int64_t i : use.frames) frames.push_back(use.media->FrameNumber(i));
    j["sources"].push_back({{"layer", use.layerId},
                            {"name", use.layerName},
                            {"source", use.media->Describe()},
                            {"frames", frames}});
  }
  return j;
}

namespace {

// A parameter's record: its index, name, type and, for those that take values, ranges, default
// and unit.
json ParameterRecord(const ParamInfo& p) {
  json j = {
      {"event", "parameter"}, {"index", p.index}, {"name", p.name}, {"type", TypeName(p.type)}};
  if (!p.settable()) return j;
  ParamValue dflt;
  if (p.type == ParamType::Float) {
    const auto& fs = p.def.u.fs_d;
    j["valid_range"] = {fs.valid_min, fs.valid_max};
    j["slider_range"] = {fs.slider_min, fs.slider_max};
    j["default"] = fs.value;
    if (fs.display_flags & PF_ValueDisplayFlag_PERCENT) j["unit"] = "%";
    return j;
  }
  if (p.type == ParamType::Checkbox) {
    j["default"] = p.def.u.bd.dephault != 0;
  } else if (p.type == ParamType::Color) {
    dflt.color = p.def.u.cd.dephault;
    j["default"] = ValueText(p.type, dflt);
  } else if (p.type == ParamType::Layer) {
    j["default"] = p.def.u.ld.dephault == 0 ? json(nullptr) : json(p.def.u.ld.dephault);
  }
  return j;
}

// The dry run's lines about the frame files.
void PrintFrameFiles(const Plan& plan, std::ostream& out) {
  if (plan.frameFiles.empty()) return;
  long existing = 0;
  for (const auto& o : plan.frameFiles) existing += o.exists;
  out << "  frame files    " << plan.frameFiles.front().path.string();
  if (plan.frameFiles.size() > 1) out << " ... " << plan.frameFiles.back().path.filename().string();
  out << (plan.alpha ? " (RGBA, effect layer only)" : "") << "\n";
  if (existing > 0) {
    out << "                 " << existing << " already there, "
        << (plan.skipExisting ? "to be kept" : "to be replaced") << "\n";
  }
}

}  // namespace

void PrintParameterRecords(const ParamCatalog& catalog, std::ostream& out) {
  for (const ParamInfo& p : catalog.params()) WriteJsonLine(out, ParameterRecord(p));
}

void PrintDryRun(const Plan& plan, const ParamCatalog& catalog, const JobEstimate& estimate,
                 std::ostream& out) {
  if (plan.report == ReportStyle::Json) {
    json j = PlanJson(plan, catalog);
    j["event"] = "dry_run";
    j["estimate"] = {{"frame", estimate.frame},
                     {"frame_seconds", std::round(estimate.frameSeconds * 1000) / 1000},
                     {"frame_bytes", estimate.frameBytes},
                     {"seconds", std::round(estimate.seconds * 1000) / 1000},
                     {"bytes", estimate.bytes()}};
    WriteJsonLine(out, j);
    return;
  }
  const SceneFile& s = plan.scene;
  const quillstreak::host::Layer* layer = s.comp.FindLayer(s.effectLayer);
  out << "Dry run: everything checked, nothing written.\n";
  out << "  scene          " << s.file << ": " << s.comp.width << "x" << s.comp.height << ", "
      << s.fpsText << " fps, " << s.durationFrames << " frames\n";
  out << "  effect         on layer " << s.effectLayer << " \""
      << (layer != nullptr ? layer->name : "") << "\"";
  const std::vector<std::string> settings = SharedSettings(plan, catalog);
  if (settings.empty()) out << ", every parameter at its default\n";
  for (std::size_t i = 0; i < settings.size(); ++i)
    out << (i == 0 ? ": " : ", ") << settings[i] << (i + 1 == settings.size() ? "\n" : "");
  out << "  frames         " << (plan.framesGiven ? *plan.framesGiven : DescribeFrames(plan.frames))
      << " (" << plan.frames.size() << (plan.frames.size() == 1 ? " frame" : " frames") << ") at "
      << plan.resolution << " resolution, " << plan.width << "x" << plan.height << "\n";
  for (const SourceUse& use : plan.sources) {
    std::vector<long> numbers;
    for (const std::int64_t i : use.frames)
      numbers.push_back(static_cast<long>(use.media->FrameNumber(i)));
    out << "  layer source   " << use.layerId << " \"" << use.layerName
        << "\": " << use.media->Describe() << ", "
        << (numbers.empty()
                ? "no frame shown"
                : (numbers.size() == 1 ? "frame " : "frames ") + DescribeFrames(numbers) + " (" +
                      std::to_string(numbers.size()) + ")")
        << "\n";
  }
  for (const auto& label : plan.variantLabels) out << "  variant        " << label << "\n";
  PrintFrameFiles(plan, out);
  if (plan.sheet) out << "  contact sheet  " << plan.sheet->path.string() << "\n";
  if (plan.video) out << "  video          " << plan.video->path.string() << " (ffmpeg)\n";
  out << "  estimate       " << DescribeEstimate(estimate) << "\n";
}

namespace {

// The fewest, the median and the most trail copies a frame drew.
struct CopyCounts {
  int min = 0;
  double median = 0;
  int max = 0;
};

CopyCounts CountCopies(std::vector<int> copies) {
  std::sort(copies.begin(), copies.end());
  const std::size_t n = copies.size();
  return {copies.front(), (copies[(n - 1) / 2] + copies[n / 2]) / 2.0, copies.back()};
}

}  // namespace

void PrintSummary(const Plan& plan, const ParamCatalog& catalog, const RenderCounts& counts,
                  std::ostream& out) {
  const double fps = counts.seconds > 0 ? counts.rendered / counts.seconds : 0;
  if (plan.report == ReportStyle::Json) {
    json j = PlanJson(plan, catalog);
    j["event"] = "summary";
    j["rendered"] = counts.rendered;
    j["kept"] = counts.kept;
    j["seconds"] = std::round(counts.seconds * 1000) / 1000;
    j["frames_per_second"] = std::round(fps * 100) / 100;
    if (!counts.copies.empty()) {
      const CopyCounts c = CountCopies(counts.copies);
      j["copies"] = {{"min", c.min}, {"median", c.median}, {"max", c.max}};
    }
    WriteJsonLine(out, j);
    return;
  }
  if (plan.report == ReportStyle::Quiet) return;
  char speed[64];
  std::snprintf(speed, sizeof speed, "%.1f", fps);
  out << "Rendered " << counts.rendered << (counts.rendered == 1 ? " frame" : " frames");
  if (!plan.variants.empty()) out << " (" << plan.variants.size() << " variants)";
  out << " of " << plan.scene.file << " in " << FormatSeconds(counts.seconds) << " (" << speed
      << " frames/s)";
  if (!counts.copies.empty()) {
    const CopyCounts c = CountCopies(counts.copies);
    out << ", trail copies per frame: min " << c.min << ", median " << FormatNumber(c.median)
        << ", max " << c.max;
  }
  if (counts.kept > 0) out << ", kept " << counts.kept << " existing";
  if (!plan.frameFiles.empty()) out << "; frames in " << plan.outDir.string();
  if (plan.sheet) out << "; contact sheet " << plan.sheet->path.string();
  if (plan.video) out << "; video " << plan.video->path.string();
  out << "\n";
}

}  // namespace quillstreak::renderer
