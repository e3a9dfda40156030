// The trail copies a frame drew, counted from what the host saw, and why a render drew none,
// worked out from the scene with the effect's own measure of motion.
#pragma once

#include <string>
#include <vector>

#include "renderer/ParamCatalog.h"

namespace quillstreak::host {
class Host;
}  // namespace quillstreak::host

namespace quillstreak::renderer {

/// The trail copies the effect drew in the frame the host rendered last: the layer checkouts of
/// earlier moments than the current frame's (the checkout with the largest id) whose pixels the
/// effect took in smart render, as the host's journal of the frame records, and that had pixels
/// to draw. A copy of the current moment, hidden behind the frame itself, is not counted.
int CopiesDrawn(const quillstreak::host::Host& host);

/// Why `frames` drew no trail copy on `host`, set up with a scene at a downsample of
/// 1/`downsample`: Shutter Angle 0, a measured layer (the effect's, or the Motion Source) that
/// does not change within any frame's shutter interval, or one that changes less than the Motion
/// Threshold, with the scene's numbers; empty when none of these explains it. Looks at no more
/// than a few hundred thousand moments, spread over the frames.
std::string NoCopiesReason(const quillstreak::host::Host& host, const ParamCatalog& catalog,
                           const std::vector<long>& frames, int downsample);

}  // namespace quillstreak::renderer
