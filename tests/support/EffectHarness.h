// Shared by the suites that drive the built module through the substitute host.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/Host.h"
#include "host/Module.h"
#include "support/Trace.h"

namespace quillstreak::test {

/// The module under test, loaded once per test program.
inline const quillstreak::host::Module& EffectModule() {
  static const quillstreak::host::Module module(quillstreak::host::DefaultModulePath());
  return module;
}

/// A fresh host for the effect, global and parameter setup already done when `setUp`.
inline std::unique_ptr<quillstreak::host::Host> NewHost(bool setUp = true) {
  auto host = std::make_unique<quillstreak::host::Host>(EffectModule());
  if (setUp) {
    EXPECT_EQ(host->GlobalSetup(), PF_Err_NONE);
    EXPECT_EQ(host->ParamsSetup(), PF_Err_NONE);
    host->journal().Clear();
  }
  return host;
}

/// Straight-alpha "over" worked out from its formula, for expected pixels: s in front of d, each
/// alpha a fraction of 255; alpha = s.a + d.a * (1 - s.a), colour = (s.c * s.a + d.c * d.a *
/// (1 - s.a)) / alpha. In 1/65025ths the two weights are ws = 255 * s.a and wd = d.a * (255 -
/// s.a); alpha and colour are rounded to nearest (colour halves up); nothing over nothing is
/// transparent black.
inline PF_Pixel Over(PF_Pixel s, PF_Pixel d) {
  const unsigned ws = 255u * s.alpha, wd = d.alpha * (255u - s.alpha), w = ws + wd;
  if (w == 0) return {0, 0, 0, 0};
  auto mix = [&](unsigned sc, unsigned dc) {
    return static_cast<A_u_char>((sc * ws + dc * wd + w / 2) / w);
  };
  return {static_cast<A_u_char>((w + 127) / 255), mix(s.red, d.red), mix(s.green, d.green),
          mix(s.blue, d.blue)};
}

}  // namespace quillstreak::test
