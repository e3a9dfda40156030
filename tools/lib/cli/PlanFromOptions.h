// The render plan made from the command line's options.
#pragma once

#include "render/Plan.h"

namespace quillstreak::renderer {

struct Options;

/// Reads the scene (`io.in` for "-"), applies the options and checks every output: everything
/// after this takes the plan alone. Throws InputError for the first problem; writes nothing.
Plan MakePlan(const Options& opt, const ParamCatalog& catalog, const Console& io);

}  // namespace quillstreak::renderer
