#include "renderer/ParamSettings.h"

#include <cstdio>

namespace quillstreak::renderer {

std::string ValueText(ParamType type, const ParamValue& v) {
  switch (type) {
    case ParamType::Float:
      return FormatNumber(v.number);
    case ParamType::Checkbox:
      return v.on ? "on" : "off";
    case ParamType::Color: {
      char buf[16];
      std::snprintf(buf, sizeof buf, "#%02X%02X%02X", v.color.red, v.color.green, v.color.blue);
      return buf;
    }
    case ParamType::Layer:
      return v.layer == 0 ? "none" : "layer " + std::to_string(v.layer);
    case ParamType::Button:
      return v.on ? "pressed" : "not pressed";
    default:
      return {};
  }
}

bool IsDefault(const ParamInfo& info, const ParamValue& v) {
  const PF_ParamDef& def = info.def;
  switch (info.type) {
    case ParamType::Float:
      return v.number == def.u.fs_d.value;
    case ParamType::Checkbox:
      return v.on == (def.u.bd.dephault != 0);
    case ParamType::Color: {
      const PF_Pixel& d = def.u.cd.dephault;
      return v.color.red == d.red && v.color.green == d.green && v.color.blue == d.blue &&
             v.color.alpha == d.alpha;
    }
    case ParamType::Layer:
      return v.layer == def.u.ld.dephault;
    case ParamType::Button:
      return !v.on;
    default:
      return false;
  }
}

std::vector<std::string> DescribeSettings(const std::vector<ParamSetting>& settings,
                                          const ParamCatalog& catalog) {
  std::vector<std::string> out;
  for (const auto& info : catalog.params()) {
    const ParamSetting* p = nullptr;
    for (const auto& s : settings)
      if (s.index == info.index) p = &s;
    if (p == nullptr) continue;
    if (!p->keys.empty()) {
      out.push_back(p->name + " " + ValueText(p->type, p->keys.front().value) + " to " +
                    ValueText(p->type, p->keys.back().value) + " (keyframed)");
    } else if (!IsDefault(info, p->constant)) {
      out.push_back(p->name + " " + ValueText(p->type, p->constant));
    }
  }
  return out;
}

}  // namespace quillstreak::renderer
