#include "frame/GlobalCommands.h"

#include "frame/SuiteCache.h"

namespace quillstreak {

PF_Err GlobalSetup(PF_InData& in_data, PF_OutData& out_data) {
  RequireBasicSuite(in_data.pica_basicP);
  out_data.my_version = kVersionWord;
  out_data.out_flags = kOutFlags;
  out_data.out_flags2 = kOutFlags2;
  return PF_Err_NONE;
}

PF_Err About(PF_InData& in_data, PF_OutData& out_data) {
  if (in_data.appl_id == kApplIdPrMr) {
    return PF_Err_NONE;
  }
  SuiteCache suites(in_data.pica_basicP);
  const PF_ANSICallbacksSuite1& ansi = suites.ANSICallbacksSuite1();
  if (ansi.sprintf == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  ansi.sprintf(out_data.return_msg, kAboutFormat, kEffectName, static_cast<int>(kVersionMajor),
               static_cast<int>(kVersionMinor), kAboutDescription);
  return PF_Err_NONE;
}

}  // namespace quillstreak
