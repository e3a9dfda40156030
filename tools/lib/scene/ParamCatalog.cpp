#include "renderer/ParamCatalog.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "renderer/InputError.h"
#include "scene/Suggest.h"
#include "text/Text.h"

namespace quillstreak::renderer {
namespace {

ParamType TypeOf(PF_ParamType t) {
  switch (t) {
    case PF_Param_FLOAT_SLIDER:
      return ParamType::Float;
    case PF_Param_CHECKBOX:
      return ParamType::Checkbox;
    case PF_Param_COLOR:
      return ParamType::Color;
    case PF_Param_LAYER:
      return ParamType::Layer;
    case PF_Param_GROUP_START:
      return ParamType::GroupStart;
    case PF_Param_GROUP_END:
      return ParamType::GroupEnd;
    case PF_Param_BUTTON:
      return ParamType::Button;
    default:
      return ParamType::Other;
  }
}

// The name without a trailing " (unit)".
std::string WithoutUnit(std::string_view name) {
  if (!name.empty() && name.back() == ')') {
    const auto open = name.rfind('(');
    if (open != std::string_view::npos && open > 0) return std::string(Trim(name.substr(0, open)));
  }
  return std::string(name);
}

std::optional<double> ParseNumber(std::string_view text) {
  text = Trim(text);
  if (text.empty()) return std::nullopt;
  // from_chars rejects a leading '+', which people write; accept it.
  if (text.front() == '+') text.remove_prefix(1);
  double v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v))
    return std::nullopt;
  return v;
}

std::string ColorText(const PF_Pixel& p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "#%02X%02X%02X", p.red, p.green, p.blue);
  std::string out = buf;
  if (p.alpha != 255) out += " alpha " + std::to_string(p.alpha);
  return out;
}

}  // namespace

bool ParamInfo::settable() const {
  return !name.empty() &&
         (type == ParamType::Float || type == ParamType::Checkbox || type == ParamType::Color ||
          type == ParamType::Layer || type == ParamType::Button);
}

const char* TypeName(ParamType type) {
  switch (type) {
    case ParamType::Float:
      return "float";
    case ParamType::Checkbox:
      return "checkbox";
    case ParamType::Color:
      return "color";
    case ParamType::Layer:
      return "layer";
    case ParamType::GroupStart:
      return "group start";
    case ParamType::GroupEnd:
      return "group end";
    case ParamType::Button:
      return "button";
    case ParamType::Other:
      break;
  }
  return "other";
}

namespace {

// The shortest text that reads back as `v`: without an exponent for the values people write
// (100000, not 1e+05; 0.0001), with one only for the very large and the very small.
template <typename T>
std::string Shortest(T v) {
  char buf[64];
  const T magnitude = v < 0 ? -v : v;
  const bool plain = magnitude == 0 || (magnitude >= T(1e-4) && magnitude < T(1e15));
  const auto result = plain ? std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed)
                            : std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, result.ptr);
}

// `text` without the unit the listing prints for the parameter: "%" after a percentage, or the
// unit in parentheses at the end of its name ("px" of "Motion Threshold (px)").
std::string_view WithoutValueUnit(const ParamInfo& param, std::string_view text) {
  std::string unit;
  if (param.def.u.fs_d.display_flags & PF_ValueDisplayFlag_PERCENT) unit = "%";
  if (const std::string bare = WithoutUnit(param.name); bare != param.name) {
    unit = Lower(param.name.substr(bare.size()));
    unit = std::string(Trim(unit));
    unit = unit.substr(1, unit.size() - 2);  // inside the parentheses
  }
  if (unit.empty() || text.size() <= unit.size()) return text;
  if (Lower(text.substr(text.size() - unit.size())) != unit) return text;
  return Trim(text.substr(0, text.size() - unit.size()));
}

}  // namespace

std::string FormatNumber(double v) { return Shortest(v); }

std::string FormatNumber(float v) { return Shortest(v); }

ParamCatalog::ParamCatalog(const std::vector<PF_ParamDef>& declared) {
  int index = 1;
  for (const PF_ParamDef& def : declared) {
    ParamInfo info;
    info.index = index++;
    info.def = def;
    info.type = TypeOf(def.param_type);
    info.name.assign(def.name, std::find(def.name, def.name + sizeof def.name, '\0'));
    // A button declared without a name goes by its label, as the effect controls show it.
    if (info.name.empty() && info.type == ParamType::Button && def.u.button_d.u.namesptr != nullptr)
      info.name = def.u.button_d.u.namesptr;
    params_.push_back(std::move(info));
  }
}

const ParamInfo* ParamCatalog::Find(std::string_view name) const {
  name = Trim(name);
  if (name.empty()) return nullptr;
  for (const auto& p : params_)
    if (p.settable() && p.name == name) return &p;
  const std::string lower = Lower(name);
  for (const auto& p : params_)
    if (p.settable() && Lower(p.name) == lower) return &p;
  for (const auto& p : params_)
    if (p.settable() && Lower(WithoutUnit(p.name)) == lower) return &p;
  return nullptr;
}

std::string ParamCatalog::Suggest(std::string_view name) const {
  std::vector<std::string> names;
  for (const auto& p : params_) {
    if (!p.settable()) continue;
    names.push_back(p.name);
    if (const std::string bare = WithoutUnit(p.name); bare != p.name) names.push_back(bare);
  }
  return ClosestMatch(Trim(name), names);
}

std::string ParamCatalog::SettableNames() const {
  std::string out;
  for (const auto& p : params_) {
    if (!p.settable()) continue;
    if (!out.empty()) out += ", ";
    out += "\"" + p.name + "\"";
  }
  return out;
}

std::string ParamCatalog::Listing() const {
  std::ostringstream out;
  char line[256];
  std::snprintf(line, sizeof line, "%-5s  %-24s  %-11s  %-17s  %-17s  %s\n", "Index", "Name",
                "Type", "Valid range", "Slider range", "Default");
  out << line;
  for (const auto& p : params_) {
    std::string valid, slider, dflt;
    switch (p.type) {
      case ParamType::Float: {
        const auto& fs = p.def.u.fs_d;
        valid = FormatNumber(fs.valid_min) + " to " + FormatNumber(fs.valid_max);
        slider = FormatNumber(fs.slider_min) + " to " + FormatNumber(fs.slider_max);
        dflt = FormatNumber(fs.value);
        if (fs.display_flags & PF_ValueDisplayFlag_PERCENT) dflt += "%";
        break;
      }
      case ParamType::Checkbox:
        valid = "on/off";
        dflt = p.def.u.bd.dephault ? "on" : "off";
        break;
      case ParamType::Color:
        valid = "#RRGGBB";
        dflt = ColorText(p.def.u.cd.dephault);
        break;
      case ParamType::Layer:
        valid = "layer id";
        dflt = p.def.u.ld.dephault == 0 ? "none" : std::to_string(p.def.u.ld.dephault);
        break;
      case ParamType::Button:
        valid = "on = press it";
        break;
      default:
        break;
    }
    const std::string name = p.name.empty() ? "(unnamed)" : p.name;
    std::snprintf(line, sizeof line, "%5d  %-24s  %-11s  %-17s  %-17s  %s\n", p.index, name.c_str(),
                  TypeName(p.type), valid.c_str(), slider.c_str(), dflt.c_str());
    std::string text = line;
    // Trailing blanks of rows without a default.
    while (text.size() > 1 && text[text.size() - 2] == ' ') text.erase(text.size() - 2, 1);
    out << text;
  }
  return out.str();
}

std::optional<PF_Pixel> ParseColorText(std::string_view text) {
  text = Trim(text);
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (!text.empty() && text.front() == '#') {
    if (text.size() != 7) return std::nullopt;
    int v[6];
    for (int i = 0; i < 6; ++i) {
      v[i] = hex(text[static_cast<std::size_t>(i) + 1]);
      if (v[i] < 0) return std::nullopt;
    }
    return PF_Pixel{255, static_cast<A_u_char>(v[0] * 16 + v[1]),
                    static_cast<A_u_char>(v[2] * 16 + v[3]),
                    static_cast<A_u_char>(v[4] * 16 + v[5])};
  }
  int parts[4] = {0, 0, 0, 255};
  int count = 0;
  while (true) {
    const auto comma = text.find(',');
    const std::string_view part = Trim(text.substr(0, comma));
    if (count == 4 || part.empty()) return std::nullopt;
    int v = 0;
    const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), v);
    if (ec != std::errc() || end != part.data() + part.size() || v < 0 || v > 255)
      return std::nullopt;
    parts[count++] = v;
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  if (count < 3) return std::nullopt;
  return PF_Pixel{static_cast<A_u_char>(parts[3]), static_cast<A_u_char>(parts[0]),
                  static_cast<A_u_char>(parts[1]), static_cast<A_u_char>(parts[2])};
}

std::string CheckRange(const ParamInfo& param, const ParamValue& value) {
  if (param.type != ParamType::Float) return {};
  const auto& fs = param.def.u.fs_d;
  if (!std::isfinite(value.number) || value.number < fs.valid_min || value.number > fs.valid_max) {
    return FormatNumber(value.number) + " is outside the valid range of \"" + param.name + "\" (" +
           FormatNumber(fs.valid_min) + " to " + FormatNumber(fs.valid_max) + ")";
  }
  return {};
}

ParamValue ParseParamText(const ParamInfo& param, std::string_view text,
                          const std::string& context) {
  const std::string_view t = Trim(text);
  ParamValue value;
  switch (param.type) {
    case ParamType::Float: {
      const auto n = ParseNumber(WithoutValueUnit(param, t));
      if (!n) throw InputError(context + ": expected a number for \"" + param.name + "\"");
      value.number = *n;
      break;
    }
    case ParamType::Checkbox:
    case ParamType::Button: {
      const std::string s = Lower(t);
      if (s == "on" || s == "1" || s == "true" || s == "yes") {
        value.on = true;
      } else if (s == "off" || s == "0" || s == "false" || s == "no") {
        value.on = false;
      } else {
        throw InputError(context + ": expected on/off, 1/0 or true/false for \"" + param.name +
                         "\"" + (param.type == ParamType::Button ? " (on presses it)" : ""));
      }
      break;
    }
    case ParamType::Color: {
      const auto c = ParseColorText(t);
      if (!c) {
        throw InputError(context + ": expected a colour #RRGGBB or r,g,b (0-255) for \"" +
                         param.name + "\"");
      }
      value.color = *c;
      break;
    }
    case ParamType::Layer: {
      if (Lower(t) == "none") {
        value.layer = 0;
        break;
      }
      int id = 0;
      const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), id);
      if (t.empty() || ec != std::errc() || end != t.data() + t.size() || id < 0) {
        throw InputError(context + ": expected a layer id or \"none\" for \"" + param.name + "\"");
      }
      value.layer = id;
      break;
    }
    default:
      throw InputError(context + ": \"" + param.name + "\" takes no value");
  }
  if (const std::string why = CheckRange(param, value); !why.empty())
    throw InputError(context + ": " + why);
  return value;
}

}  // namespace quillstreak::renderer
