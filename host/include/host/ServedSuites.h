// The suites the host serves through the basic suite's AcquireSuite: one table of name, version
// and function table, used to serve them, to size them and to list them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace quillstreak::host {

struct ServedSuite {
  const char* name;      // exactly as AcquireSuite must be given it
  std::int32_t version;  // exactly as AcquireSuite must be given it
  const void* table;     // the function table handed out (shared by every host)
  std::size_t size;      // its size in bytes
};

/// Every suite the host serves.
const std::vector<ServedSuite>& ServedSuites();
/// The suite served under that exact name and version; null when there is none.
const ServedSuite* FindServedSuite(std::string_view name, std::int32_t version);

}  // namespace quillstreak::host
