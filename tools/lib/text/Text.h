// The text helpers the renderer's folders share: header-only, so that every library (the
// process library too) uses the one copy, unity builds included.
#pragma once

#include <cctype>
#include <string>
#include <string_view>

namespace quillstreak::renderer {

/// `s` with its ASCII letters in lower case.
inline std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

/// `s` without the white space at either end.
inline std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

}  // namespace quillstreak::renderer
