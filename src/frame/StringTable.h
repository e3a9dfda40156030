// The numbered user-visible strings: effect name, description, parameter names and labels.
#pragma once

#include <array>

#include "hostapi/HostApi.h"

namespace quillstreak {

enum StringId : A_long {
  STR_NONE = 0,
  STR_NAME = 1,
  STR_DESCRIPTION = 2,
  STR_QUALITY_GROUP = 3,
  STR_MOTION_THRESHOLD = 4,
  STR_TIME_THRESHOLD = 5,
  STR_SHUTTER_ANGLE = 6,
  STR_MOTION_SOURCE = 7,
  STR_FILL_GROUP = 8,
  STR_SOLID_FILL_ENABLE = 9,
  STR_SOLID_FILL_LABEL = 10,
  STR_SOLID_COLOR = 11,
  STR_RAMP_FILL_ENABLE = 12,
  STR_RAMP_FILL_LABEL = 13,
  STR_RAMP_START_COLOR = 14,
  STR_RAMP_END_COLOR = 15,
  STR_SWAP_COLORS_NAME = 16,
  STR_SWAP_COLORS_BUTTON = 17,
  STR_OPACITY = 18,
  STR_UTILITY_GROUP = 19,
  STR_SAMPLES_SCALE = 20,
  STR_SAMPLES_ROTATION = 21,
  STR_LEFT = 22,
  STR_TOP = 23,
  STR_RIGHT = 24,
  STR_BOTTOM = 25,
  STR_COUNT = 26
};

/// One record: its id, then its text (NUL-terminated, zero-filled).
struct StringRecord {
  A_long id;
  A_char text[256];
};

/// The whole table; record i has id i.
const std::array<StringRecord, STR_COUNT>& StringTable();

/// The text of a string id; an id outside the table gives the empty text.
const A_char* GetString(A_long id);

}  // namespace quillstreak
