#include "render/Estimate.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>
#include <utility>

#include "platform/Platform.h"
#include "renderer/FrameImage.h"
#include "renderer/InputError.h"
#include "renderer/RenderSession.h"

namespace quillstreak::renderer {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A file's bytes on disk: whole blocks of the usual 4 KiB.
double OnDisk(double bytes) { return std::ceil(bytes / 4096) * 4096; }

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// The frames a render renders (those not kept), over all its variants.
long FramesRendered(const Plan& plan) {
  long kept = 0;
  if (plan.skipExisting)
    for (const Output& o : plan.frameFiles) kept += o.exists;
  const long runs = static_cast<long>(std::max<std::size_t>(1, plan.variants.size()));
  return runs * (static_cast<long>(plan.frames.size()) - kept);
}

long FrameFilesWritten(const Plan& plan) {
  long written = 0;
  for (const Output& o : plan.frameFiles) written += !(o.exists && plan.skipExisting);
  return written;
}

// The contact sheet's pixels: one cell per frame rendered, at the sheet's width for a frame.
double SheetPixels(const Plan& plan) {
  if (!plan.sheet) return 0;
  const double cells = static_cast<double>(std::max<std::size_t>(1, plan.variants.size())) *
                       static_cast<double>(plan.frames.size());
  const double cellHeight = plan.sheetWidth * static_cast<double>(plan.height) / plan.width + 20;
  return cells * plan.sheetWidth * cellHeight;
}

// The free bytes of the file system that holds `folder`, or of the nearest folder above it
// that exists; -1 when unknown.
double FreeBytes(fs::path folder) {
  std::error_code ec;
  folder = fs::absolute(folder.empty() ? fs::path(".") : folder, ec);
  while (!folder.empty() && !fs::exists(folder, ec) && folder != folder.parent_path())
    folder = folder.parent_path();
  const fs::space_info space = fs::space(folder, ec);
  return ec ? -1 : static_cast<double>(space.available);
}

fs::path VideoFolder(const Plan& plan) {
  const fs::path folder = plan.video->path.parent_path();
  return folder.empty() ? fs::path(".") : folder;
}

}  // namespace

std::string FormatBytes(double bytes) {
  static const char* const kUnits[] = {"bytes", "kB", "MB", "GB", "TB", "PB"};
  int unit = 0;
  while (bytes >= 999.5 && unit < 5) {
    bytes /= 1000;
    ++unit;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, unit > 0 && bytes < 9.95 ? "%.1f %s" : "%.0f %s", bytes,
                kUnits[unit]);
  return buf;
}

std::string FormatDuration(double seconds) {
  char buf[32];
  if (seconds < 9.95)
    std::snprintf(buf, sizeof buf, "%.1f s", seconds);
  else if (seconds < 59.5)
    std::snprintf(buf, sizeof buf, "%.0f s", seconds);
  else if (seconds < 3570)
    std::snprintf(buf, sizeof buf, "%.0f min", seconds / 60);
  else
    std::snprintf(buf, sizeof buf, seconds < 35640 ? "%.1f h" : "%.0f h", seconds / 3600);
  return buf;
}

JobEstimate EstimateJob(const Plan& plan, RenderSession& session) {
  JobEstimate e;
  const std::size_t middle = plan.frames.size() / 2;
  e.frame = plan.frames[middle];
  KeepFreedMemory();  // as the render does
  session.Prepare(plan.variants.empty() ? plan.scene : plan.variants.front(), plan.downsample);
  const long before = middle > 0 ? plan.frames[middle - 1] : e.frame - 1;
  if (before >= 0) session.Render(before, plan.alpha);

  const Clock::time_point start = Clock::now();
  FramePictures pictures = session.Render(e.frame, plan.alpha);
  const double renderSeconds = Seconds(start);
  const quillstreak::host::World& frame = plan.alpha ? pictures.effectLayer : pictures.frame;
  const PF_Pixel background = session.background();
  const fs::path file =
      fs::temp_directory_path() /
      ("quillstreak-estimate-" + std::to_string(ProcessId()) + plan.frameFormat->extension());
  const std::unique_ptr<FrameEncoder> encoder = plan.frameFormat->NewEncoder();
  try {
    encoder->Encode(
        frame.width(), frame.height(), plan.alpha,
        [&](int y, std::uint8_t* out) {
          if (plan.alpha)
            FrameRowToRgba(frame.row(y), frame.width(), out);
          else
            FrameRowToRgb(frame.row(y), frame.width(), background, out);
        },
        plan.frameRecord);
    encoder->Write(file.string());
  } catch (const FrameFileError& error) {
    std::error_code ec;
    fs::remove(file, ec);
    throw RenderError("the estimate's frame cannot be written to " + file.string() + ": " +
                      error.what());
  }
  e.frameSeconds = Seconds(start);
  std::error_code ec;
  e.frameBytes = static_cast<std::int64_t>(fs::file_size(file, ec));
  fs::remove(file, ec);

  const double rawFrame = static_cast<double>(plan.width) * plan.height * (plan.alpha ? 4 : 3);
  const double share = std::min(1.0, 2.0 * static_cast<double>(e.frameBytes) / rawFrame);
  // Without frame files (--video-only, --variant) no frame is encoded as a file.
  const double perFrame = plan.frameFiles.empty() ? renderSeconds : e.frameSeconds;
  e.seconds = perFrame * static_cast<double>(FramesRendered(plan));
  const double sheet = plan.sheet ? OnDisk(SheetPixels(plan) * 3 * share) : 0;
  e.outBytes = static_cast<std::int64_t>(OnDisk(static_cast<double>(e.frameBytes)) *
                                             static_cast<double>(FrameFilesWritten(plan)) +
                                         sheet);
  if (plan.video) {
    e.videoBytes = static_cast<std::int64_t>(
        OnDisk(static_cast<double>(e.frameBytes) * static_cast<double>(plan.frames.size()) *
               plan.videoFormat->diskShare));
  }
  return e;
}

std::string DescribeEstimate(const JobEstimate& e) {
  return "about " + FormatDuration(e.seconds) + " and " +
         FormatBytes(static_cast<double>(e.bytes())) + " (frame " + std::to_string(e.frame) +
         " rendered and encoded in " + FormatDuration(e.frameSeconds) + ", " +
         FormatBytes(static_cast<double>(e.frameBytes)) +
         (e.videoBytes > 0 ? "; the time leaves out ffmpeg's encoding of the video" : "") + ")";
}

std::string SpaceWarning(const Plan& plan, RenderSession& session, const JobEstimate* known) {
  const bool frames = !plan.frameFiles.empty() || plan.sheet;
  const double outFree = frames ? FreeBytes(plan.outDir) : -1;
  const double videoFree = plan.video ? FreeBytes(VideoFolder(plan)) : -1;
  // Folders with the same free space are taken to be on one disk: their files add up.
  const bool oneDisk = frames && plan.video && outFree == videoFree;
  // The uncompressed sizes bound what the files take.
  const double rawFrame = static_cast<double>(plan.width) * plan.height * (plan.alpha ? 4 : 3);
  double outBound = rawFrame * static_cast<double>(FrameFilesWritten(plan)) + SheetPixels(plan) * 3;
  double videoBound = plan.video ? rawFrame * static_cast<double>(plan.frames.size()) : 0;
  if (oneDisk) outBound += std::exchange(videoBound, 0.0);
  if ((outFree < 0 || outBound <= outFree) && (videoFree < 0 || videoBound <= videoFree)) return {};

  JobEstimate e;
  try {
    e = known != nullptr ? *known : EstimateJob(plan, session);
  } catch (const std::exception&) {
    return {};  // the render itself says what goes wrong
  }
  double outBytes = static_cast<double>(e.outBytes);
  double videoBytes = static_cast<double>(e.videoBytes);
  if (oneDisk) outBytes += std::exchange(videoBytes, 0.0);
  auto shortOf = [](double bytes, double free, const std::string& what, const fs::path& folder) {
    if (free < 0 || bytes <= free) return std::string();
    return what + " will take about " + FormatBytes(bytes) + " and " + folder.string() + " has " +
           FormatBytes(free) + " free: the render may stop when the disk is full";
  };
  const std::string files = !frames ? "" : oneDisk || !plan.video ? "the files" : "the frame files";
  std::string warning = shortOf(outBytes, outFree, files, plan.outDir);
  if (warning.empty() && plan.video)
    warning = shortOf(videoBytes, videoFree, "the video", VideoFolder(plan));
  return warning;
}

}  // namespace quillstreak::renderer
