// The effect's identity: the values that global setup reports, the string table
// names and the property list resource all come from here, so they cannot disagree.
#pragma once

#include <cstdint>

#include "hostapi/HostApi.h"

namespace quillstreak {

inline constexpr std::uint32_t kVersionMajor = 1;
inline constexpr std::uint32_t kVersionMinor = 5;
inline constexpr std::uint32_t kVersionBugfix = 2;
inline constexpr std::uint32_t kVersionStage = 0;  // PF_Stage_DEVELOP
inline constexpr std::uint32_t kVersionBuild = 1;

/// Packs a version the way the host's version word expects it.
constexpr std::uint32_t PackVersion(std::uint32_t major, std::uint32_t minor, std::uint32_t bugfix,
                                    std::uint32_t stage, std::uint32_t build) {
  return ((major >> 3) & 0xFu) << 26 | (major & 0x7u) << 19 | (minor & 0xFu) << 15 |
         (bugfix & 0xFu) << 11 | (stage & 0x3u) << 9 | (build & 0x1FFu);
}

inline constexpr std::uint32_t kVersionWord =
    PackVersion(kVersionMajor, kVersionMinor, kVersionBugfix, kVersionStage, kVersionBuild);
static_assert(kVersionWord == 0x000A9001u);

/// The capability flags that global setup reports and the property list carries.
inline constexpr PF_OutFlags kOutFlags = PF_OutFlag_WIDE_TIME_INPUT | PF_OutFlag_NON_PARAM_VARY;
inline constexpr PF_OutFlags2 kOutFlags2 = PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG |
                                           PF_OutFlag2_SUPPORTS_SMART_RENDER |
                                           PF_OutFlag2_AUTOMATIC_WIDE_TIME_INPUT;
static_assert(kOutFlags == 0x00000006 && kOutFlags2 == 0x00020408,
              "the flag words declared to the host must not change");

inline constexpr char kEffectName[] = "Quillstreak";
inline constexpr char kEffectCategory[] = "Halvorsk";
inline constexpr char kMatchName[] = "HQSTRK";
inline constexpr char kEntryPointName[] = "EntryPointFunc";

// Property list constants.
inline constexpr std::int16_t kPiplResourceId = 16000;
inline constexpr std::uint16_t kPiplLanguage = 1033;  // en-US
inline constexpr std::int16_t kPiplFormatMajor = 2;
inline constexpr std::int16_t kPiplFormatMinor = 0;
inline constexpr std::int16_t kEffectApiMajor = 13;
inline constexpr std::int16_t kEffectApiMinor = 2;
inline constexpr std::int32_t kReservedInfo = 8;

}  // namespace quillstreak
