// Internals shared by the host's source files: the suite tables and the callback installer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "hostapi/HostApi.h"

namespace qshost::detail {

/// The table served for a suite name and version, or null.
const void* FindSuite(const std::string& name, std::int32_t version);
/// Size in bytes of the table served for a suite (0 when not served).
std::size_t SuiteSize(const std::string& name, std::int32_t version);
/// Every (name, version) the host serves.
const std::vector<std::pair<std::string, std::int32_t>>& ServedSuites();
/// Fills every slot of the host's callback tables.
void InstallCallbacks(PF_InteractCallbacks& inter, PF_UtilCallbacks& utils, SPBasicSuite& basic,
                      PF_PreRenderCallbacks& pre, PF_SmartRenderCallbacks& smart);

}  // namespace qshost::detail
