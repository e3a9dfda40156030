// What the renderer says about a render: warnings, the dry run and the closing summary, as text
// or as JSON lines.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/CommandLine.h"
#include "render/Estimate.h"
#include "render/Plan.h"

namespace quillstreak::renderer {

/// A warning: a "warning" record in JSON, nothing when quiet, else a line on `io.err`.
void Warn(const Console& io, ReportStyle style, const std::string& message);

/// The effect's parameters, one "parameter" record each.
void PrintParameterRecords(const ParamCatalog& catalog, std::ostream& out);

/// What the plan renders and writes, as the dry run and the summary record report it.
nlohmann::json PlanJson(const Plan& plan, const ParamCatalog& catalog);

/// The dry run's report of a plan, with the estimate of its time and disk use.
void PrintDryRun(const Plan& plan, const ParamCatalog& catalog, const JobEstimate& estimate,
                 std::ostream& out);

/// What a finished render did.
struct RenderCounts {
  long rendered = 0;
  long kept = 0;
  double seconds = 0;
  std::vector<int> copies;  // the trail copies each frame rendered drew
};

/// The closing summary: a "summary" record with --json, nothing with --quiet, else one line.
void PrintSummary(const Plan& plan, const ParamCatalog& catalog, const RenderCounts& counts,
                  std::ostream& out);

}  // namespace quillstreak::renderer
