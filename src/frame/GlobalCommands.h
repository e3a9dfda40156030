// The commands that describe the effect to the host: global setup and about.
#pragma once

#include <cstring>

#include "frame/Identity.h"
#include "hostapi/HostApi.h"

namespace quillstreak {

/// The About text after the name and version: one sentence, a blank, a line feed, then the
/// maker's notice lines separated by line feeds.
inline constexpr char kAboutDescription[] =
    "Draws a motion trail of earlier copies behind moving graphics. \n"
    "Copyright 2026 Halvorsk.\n"
    "All rights reserved.";

/// The application code ("PrMr") of the video editing host, under which About writes nothing.
inline constexpr A_long kApplIdPrMr = 0x50724D72;

/// The About format: name, ", v", major, ".", minor, a carriage return, the description.
inline constexpr char kAboutFormat[] = "%s, v%d.%d\r%s";

/// Length of the About message as the format expands it (single-digit version numbers).
constexpr std::size_t AboutMessageLength() {
  static_assert(kVersionMajor < 10 && kVersionMinor < 10, "About length assumes one digit each");
  return (sizeof(kEffectName) - 1) + 3 /* ", v" */ + 1 + 1 /* "." */ + 1 + 1 /* "\r" */ +
         (sizeof(kAboutDescription) - 1);
}
static_assert(AboutMessageLength() <= PF_MAX_EFFECT_MSG_LEN,
              "the About message must fit return_msg with its NUL");

/// Assigns the version word and both flag words; without a basic suite throws
/// PF_Err_BAD_CALLBACK_PARAM, writing nothing.
PF_Err GlobalSetup(PF_InData& in_data, PF_OutData& out_data);
/// Writes the About message into return_msg with the ANSI suite; under "PrMr" writes nothing.
PF_Err About(PF_InData& in_data, PF_OutData& out_data);

}  // namespace quillstreak
