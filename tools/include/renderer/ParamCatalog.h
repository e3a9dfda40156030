// The effect's parameters as the host learned them during parameter setup, looked up by name,
// and the parsing and range checking of values given for them as text or JSON.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hostapi/HostApi.h"

namespace quillstreak::renderer {

/// What kind of value a parameter takes.
enum class ParamType { Float, Checkbox, Color, Layer, GroupStart, GroupEnd, Button, Other };

struct ParamInfo {
  int index = 0;     // the index the host and effect use (1 = first declared)
  std::string name;  // a button declared without a name: its label
  ParamType type = ParamType::Other;
  PF_ParamDef def{};  // the definition as declared
  /// Parameters that take a value (float sliders, checkboxes, colours, layers), and buttons
  /// (on: pressed once the other values are set).
  bool settable() const;
};

/// One value for a parameter: a number, a checkbox state, a colour or a layer id.
struct ParamValue {
  double number = 0;  // Float
  bool on = false;    // Checkbox; Button: pressed
  PF_Pixel color{};   // Color (alpha, red, green, blue)
  int layer = 0;      // Layer (0 = none)
};

class ParamCatalog {
 public:
  ParamCatalog() = default;
  /// From the definitions add_param received, in call order (the first is index 1).
  explicit ParamCatalog(const std::vector<PF_ParamDef>& declared);

  const std::vector<ParamInfo>& params() const { return params_; }
  /// A settable parameter by name: exact match first, then ignoring case, then ignoring case and
  /// a trailing unit in parentheses ("Motion Threshold" finds "Motion Threshold (px)").
  const ParamInfo* Find(std::string_view name) const;
  /// The settable parameter's name closest to a misspelt `name` ("Opacity" for "Opactiy"), or
  /// an empty string when none is close.
  std::string Suggest(std::string_view name) const;
  /// The names of the settable parameters, quoted and comma-separated (for error messages).
  std::string SettableNames() const;
  /// A table of every parameter: index, name, type, valid range, slider range, default.
  std::string Listing() const;

 private:
  std::vector<ParamInfo> params_;
};

const char* TypeName(ParamType type);

/// Parses a value written as text (command line): numbers for float sliders, on/off/1/0/true/
/// false for checkboxes and buttons, #RRGGBB or r,g,b[,a] for colours, a layer id or "none" for
/// layers. Throws InputError with `context` as the message prefix when the text does not parse or
/// lies outside the parameter's valid range.
ParamValue ParseParamText(const ParamInfo& param, std::string_view text,
                          const std::string& context);

/// Checks a parsed value against the parameter's valid range (floats) and returns an empty
/// string when it is acceptable, else the reason.
std::string CheckRange(const ParamInfo& param, const ParamValue& value);

/// Parses a colour written as #RRGGBB or r,g,b[,a] (0-255 each); nullopt when malformed.
std::optional<PF_Pixel> ParseColorText(std::string_view text);

/// Formats a number exactly, in the fewest digits that read back as the same value ("50", "0.25",
/// "100.0000001"), so that a message never shows a rounded value.
std::string FormatNumber(double v);
/// The same for single-precision values (slider ranges): 0.01f prints as "0.01".
std::string FormatNumber(float v);

}  // namespace quillstreak::renderer
