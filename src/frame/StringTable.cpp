#include "frame/StringTable.h"

#include "frame/Identity.h"

namespace quillstreak {
namespace {

constexpr StringRecord Record(A_long id, const char* text) {
  StringRecord record{id, {}};
  for (std::size_t i = 0; text[i] != '\0' && i + 1 < sizeof(record.text); ++i) {
    record.text[i] = text[i];
  }
  return record;
}

constexpr std::array<StringRecord, STR_COUNT> kTable = {{
    Record(STR_NONE, ""),
    Record(STR_NAME, kEffectName),
    Record(STR_DESCRIPTION, "Description."),
    Record(STR_QUALITY_GROUP, "Quality"),
    Record(STR_MOTION_THRESHOLD, "Motion Threshold (px)"),
    Record(STR_TIME_THRESHOLD, "Time Threshold (steps)"),
    Record(STR_SHUTTER_ANGLE, "Shutter Angle"),
    Record(STR_MOTION_SOURCE, "Motion Source"),
    Record(STR_FILL_GROUP, "Fill Options"),
    Record(STR_SOLID_FILL_ENABLE, "Enable Solid Fill"),
    Record(STR_SOLID_FILL_LABEL, ""),
    Record(STR_SOLID_COLOR, "Color"),
    Record(STR_RAMP_FILL_ENABLE, "Enable Ramp Fill"),
    Record(STR_RAMP_FILL_LABEL, ""),
    Record(STR_RAMP_START_COLOR, "Start Color"),
    Record(STR_RAMP_END_COLOR, "End Color"),
    Record(STR_SWAP_COLORS_NAME, ""),
    Record(STR_SWAP_COLORS_BUTTON, "Swap Colors"),
    Record(STR_OPACITY, "Opacity"),
    Record(STR_UTILITY_GROUP, "Utility"),
    Record(STR_SAMPLES_SCALE, "Samples Scale"),
    Record(STR_SAMPLES_ROTATION, "Samples Rotation"),
    Record(STR_LEFT, "Left"),
    Record(STR_TOP, "Top"),
    Record(STR_RIGHT, "Right"),
    Record(STR_BOTTOM, "Bottom"),
}};

static_assert([] {
  for (std::size_t i = 0; i < kTable.size(); ++i) {
    if (kTable[i].id != static_cast<A_long>(i)) return false;
  }
  return true;
}());

}  // namespace

const std::array<StringRecord, STR_COUNT>& StringTable() { return kTable; }

const A_char* GetString(A_long id) {
  if (id < 0 || id >= STR_COUNT) {
    return kTable[STR_NONE].text;
  }
  return kTable[static_cast<std::size_t>(id)].text;
}

}  // namespace quillstreak
