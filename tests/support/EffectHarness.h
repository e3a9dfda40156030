// Shared by the suites that drive the built module through the substitute host.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/Host.h"
#include "host/Module.h"

namespace qstest {

/// The module under test, loaded once per test program.
inline const qshost::Module& EffectModule() {
  static const qshost::Module module(qshost::DefaultModulePath());
  return module;
}

/// A fresh host for the effect, global and parameter setup already done when `setUp`.
inline std::unique_ptr<qshost::Host> NewHost(bool setUp = true) {
  auto host = std::make_unique<qshost::Host>(EffectModule());
  if (setUp) {
    EXPECT_EQ(host->GlobalSetup(), PF_Err_NONE);
    EXPECT_EQ(host->ParamsSetup(), PF_Err_NONE);
    host->ClearJournal();
  }
  return host;
}

/// Reads a value of type T at a byte offset of a record, as the host would see it.
template <typename T, typename Record>
T At(const Record& record, std::size_t offset) {
  T value;
  std::memcpy(&value, reinterpret_cast<const unsigned char*>(&record) + offset, sizeof(T));
  return value;
}

/// Ops of the journal entries, with the integer arguments, one string each ("op a b c").
inline std::vector<std::string> Describe(const std::vector<qshost::JournalEntry>& entries) {
  std::vector<std::string> out;
  for (const auto& e : entries) {
    std::string line = e.op;
    for (const auto a : e.args) line += " " + std::to_string(a);
    out.push_back(line);
  }
  return out;
}

}  // namespace qstest
