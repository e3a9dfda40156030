// Writes the resource script that carries the property list into the Windows module.
// Usage: quillstreak-pipl-rc <output.rc>
//
// The bytes come from PiplBuilder.h; every byte is written as a "\xNN" escape so the script is
// plain ASCII and reads the same for windres and for the Visual Studio resource compiler. An
// explicit LANGUAGE statement fixes the resource's language instead of inheriting a default.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "resources/PiplBuilder.h"

namespace {

std::string RenderScript() {
  using namespace quillstreak;
  const auto bytes = pipl::PiplBytes();
  const unsigned primaryLanguage = kPiplLanguage & 0x3FFu;
  const unsigned subLanguage = static_cast<unsigned>(kPiplLanguage) >> 10;

  std::ostringstream out;
  out << "// Property list of the effect. Generated at build time from frame/Identity.h by\n"
         "// quillstreak-pipl-rc: edit the identity constants, not this file.\n\n";
  char line[64];
  std::snprintf(line, sizeof line, "LANGUAGE %u, %u\n", primaryLanguage, subLanguage);
  out << line;
  out << kPiplResourceId << " PIPL\nBEGIN\n";
  constexpr std::size_t kPerLine = 16;
  for (std::size_t i = 0; i < bytes.size(); i += kPerLine) {
    out << "  \"";
    for (std::size_t j = i; j < bytes.size() && j < i + kPerLine; ++j) {
      std::snprintf(line, sizeof line, "\\x%02X", static_cast<unsigned>(bytes[j]));
      out << line;
    }
    out << '"' << (i + kPerLine < bytes.size() ? ",\n" : "\n");
  }
  out << "END\n";
  return out.str();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output.rc>\n", argc > 0 ? argv[0] : "quillstreak-pipl-rc");
    return 2;
  }
  const std::string script = RenderScript();
  std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
  file << script;
  file.close();
  if (!file) {
    std::fprintf(stderr, "quillstreak-pipl-rc: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
