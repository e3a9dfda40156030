// The render job: renders what a plan says, frame by frame, and hands each frame to its outputs
// (its own file, the contact sheet, the video).
#pragma once

#include "cli/Report.h"
#include "render/Plan.h"

namespace quillstreak::renderer {

class RenderSession;

/// Creates the output folders, renders, writes every output and reports progress. Throws
/// RenderError (the frames before a failure are in place).
RenderCounts RunRenderJob(Plan& plan, RenderSession& session, const Console& io);

}  // namespace quillstreak::renderer
