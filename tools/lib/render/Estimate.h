// The size of a render before it runs: its time and the disk space its files take, estimated
// from one representative frame rendered and encoded as the render would, and the free space
// of the folders it writes to.
#pragma once

#include <cstdint>
#include <string>

#include "render/Plan.h"

namespace quillstreak::renderer {

class RenderSession;

struct JobEstimate {
  long frame = -1;              // the frame rendered for the estimate
  double frameSeconds = 0;      // rendering it and encoding its file
  std::int64_t frameBytes = 0;  // its file
  double seconds = 0;           // the whole render, but for ffmpeg's encoding of a video
  // Disk use (each file in whole blocks of 4 KiB):
  std::int64_t outBytes = 0;    // the frame files and the contact sheet, in the output folder
  std::int64_t videoBytes = 0;  // the video
  std::int64_t bytes() const { return outBytes + videoBytes; }
};

/// Renders the plan's middle frame (the frame before it first, untimed, so that the host's
/// layer cache holds what it holds in a render), encodes it in the render's frame format to
/// a temporary file that is removed at once, and scales both to the whole render. Throws
/// RenderError when the frame cannot be rendered.
JobEstimate EstimateJob(const Plan& plan, RenderSession& session);

/// "about 15 h and 15 GB (...)": the estimate in words.
std::string DescribeEstimate(const JobEstimate& estimate);

/// Before a render: a warning (empty when none) when the files it will write may not fit in the
/// free space of their folders. Checked first against the files' uncompressed size, which costs
/// nothing; only when that does not fit is the estimate used: `known`, or else one made here
/// (which renders a frame).
std::string SpaceWarning(const Plan& plan, RenderSession& session,
                         const JobEstimate* known = nullptr);

/// "152 kB", "15 GB": a size in decimal units.
std::string FormatBytes(double bytes);
/// "40 s", "12 min", "15 h": a duration, rounded.
std::string FormatDuration(double seconds);

}  // namespace quillstreak::renderer
