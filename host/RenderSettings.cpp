#include "host/RenderSettings.h"

#include <cmath>
#include <limits>

#include "host/WorldPool.h"

namespace quillstreak::host {

namespace {

double Factor(const PF_RationalScale& d) {
  return d.den != 0 ? static_cast<double>(d.num) / d.den : 1.0;
}

}  // namespace

A_long ScaledSize(A_long size, const PF_RationalScale& ds) {
  if (ds.den == 0 || ds.num <= 0) return size;
  const double scaled = std::ceil(static_cast<double>(size) * ds.num / static_cast<double>(ds.den));
  // Absurd factors give absurd sizes, which the world budget then refuses.
  if (!(scaled < 2147483647.0)) return std::numeric_limits<A_long>::max();
  if (!(scaled > -2147483648.0)) return 0;
  return static_cast<A_long>(scaled);
}

void RenderSettings::SetTimeSteps(A_long timeStep, A_long localTimeStep) {
  timeStep_ = timeStep;
  localTimeStep_ = localTimeStep;
}

void RenderSettings::ClearTimeSteps() {
  timeStep_.reset();
  localTimeStep_.reset();
}

void RenderSettings::SetDownsample(PF_RationalScale x, PF_RationalScale y) {
  downsampleX_ = x;
  downsampleY_ = y;
}

double RenderSettings::dsx() const { return Factor(downsampleX_); }
double RenderSettings::dsy() const { return Factor(downsampleY_); }

void RenderSettings::SetPreRenderEntryRects(PF_LRect result, PF_LRect maxResult) {
  entryResult_ = result;
  entryMax_ = maxResult;
}

void RenderSettings::SetWorldBudget(std::uint64_t bytes) { worlds_.SetBudget(bytes); }

void RenderSettings::SetLayerCache(bool on) { worlds_.SetLayerCache(on); }

}  // namespace quillstreak::host
