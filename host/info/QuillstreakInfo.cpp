// quillstreak-info: loads the effect module, runs global setup, about and parameter setup
// through the substitute host, and prints what the effect declares.
//
//   quillstreak-info [module-path]
//
// Without an argument the module is QUILLSTREAK_MODULE or the one built with this tool.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "host/Host.h"

namespace {

const char* TypeName(PF_ParamType type) {
  switch (type) {
    case PF_Param_LAYER:
      return "layer";
    case PF_Param_SLIDER:
      return "slider";
    case PF_Param_FIX_SLIDER:
      return "fixed slider";
    case PF_Param_ANGLE:
      return "angle";
    case PF_Param_CHECKBOX:
      return "checkbox";
    case PF_Param_COLOR:
      return "color";
    case PF_Param_POINT:
      return "point";
    case PF_Param_POPUP:
      return "popup";
    case PF_Param_NO_DATA:
      return "no data";
    case PF_Param_FLOAT_SLIDER:
      return "float slider";
    case PF_Param_ARBITRARY_DATA:
      return "arbitrary";
    case PF_Param_GROUP_START:
      return "group start";
    case PF_Param_GROUP_END:
      return "group end";
    case PF_Param_BUTTON:
      return "button";
    case PF_Param_POINT_3D:
      return "point 3D";
    default:
      return "?";
  }
}

// The text of a fixed-size, possibly unterminated character field.
template <std::size_t N>
std::string FieldText(const char (&field)[N]) {
  std::size_t n = 0;
  while (n < N && field[n] != '\0') ++n;
  return std::string(field, n);
}

std::string Fixed(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

std::string ColorText(const PF_Pixel& p) {
  char text[64];
  std::snprintf(text, sizeof text, "argb(%u,%u,%u,%u)", p.alpha, p.red, p.green, p.blue);
  return text;
}

void PrintParam(int index, const PF_ParamDef& def) {
  std::string dephault = "-";
  std::string valid = "-";
  std::string slider = "-";
  switch (def.param_type) {
    case PF_Param_FLOAT_SLIDER:
      dephault = Fixed(def.u.fs_d.dephault);
      valid = Fixed(def.u.fs_d.valid_min) + " .. " + Fixed(def.u.fs_d.valid_max);
      slider = Fixed(def.u.fs_d.slider_min) + " .. " + Fixed(def.u.fs_d.slider_max);
      break;
    case PF_Param_CHECKBOX:
      dephault = def.u.bd.dephault ? "on" : "off";
      break;
    case PF_Param_COLOR:
      dephault = ColorText(def.u.cd.dephault);
      break;
    case PF_Param_LAYER:
      dephault = def.u.ld.dephault == PF_LayerDefault_NONE     ? "none"
                 : def.u.ld.dephault == PF_LayerDefault_MYSELF ? "this layer"
                                                               : std::to_string(def.u.ld.dephault);
      break;
    default:
      break;
  }
  std::string name = FieldText(def.name);
  if (def.param_type == PF_Param_BUTTON && def.u.button_d.u.namesptr != nullptr)
    name += std::string(" [") + def.u.button_d.u.namesptr + "]";
  std::printf("%5d  %-28s %-13s %7d  %-22s %-18s %s\n", index, name.c_str(),
              TypeName(def.param_type), static_cast<int>(def.uu.id), dephault.c_str(),
              valid.c_str(), slider.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::string path = argc > 1 ? argv[1] : quillstreak::host::DefaultModulePath();
    quillstreak::host::Module module(path);
    quillstreak::host::Host host(module);
    if (PF_Err err = host.GlobalSetup()) {
      std::fprintf(stderr, "global setup failed: %d\n", static_cast<int>(err));
      return 1;
    }
    const A_u_long version = host.records().out_data().my_version;
    const unsigned major = ((version >> 19) & 0x7u) | (((version >> 26) & 0xFu) << 3);
    const unsigned minor = (version >> 15) & 0xFu;
    const unsigned bugfix = (version >> 11) & 0xFu;
    if (PF_Err err = host.About()) {
      std::fprintf(stderr, "about failed: %d\n", static_cast<int>(err));
      return 1;
    }
    const PF_OutData& out = host.records().out_data();
    std::string about = FieldText(out.return_msg);
    for (char& c : about)
      if (c == '\r') c = '\n';
    if (PF_Err err = host.ParamsSetup()) {
      std::fprintf(stderr, "parameter setup failed: %d\n", static_cast<int>(err));
      return 1;
    }
    std::printf("Module:   %s\n", path.c_str());
    // The about text starts with the effect's name followed by ", v<major>.<minor>".
    const std::string name = about.substr(0, about.find(", v"));
    std::printf("Effect:   %s\n", name.c_str());
    std::printf("Version:  %u.%u.%u (version word 0x%08X)\n", major, minor, bugfix,
                static_cast<unsigned>(version));
    std::printf("Flags:    out_flags 0x%08X, out_flags2 0x%08X\n",
                static_cast<unsigned>(out.out_flags), static_cast<unsigned>(out.out_flags2));
    std::printf("About:\n%s\n\n", about.c_str());
    std::printf("Parameters (%d):\n", static_cast<int>(out.num_params));
    std::printf("%5s  %-28s %-13s %7s  %-22s %-18s %s\n", "index", "name", "type", "disk id",
                "default", "valid range", "slider range");
    PF_ParamDef input{};
    input.param_type = PF_Param_LAYER;
    std::strncpy(input.name, "(input layer)", sizeof input.name - 1);
    PrintParam(0, input);
    const auto& declared = host.params().declared();
    for (std::size_t i = 0; i < declared.size(); ++i)
      PrintParam(static_cast<int>(i) + 1, declared[i]);
    if (!host.accounts().Clear()) {
      std::fprintf(stderr, "host resources left over: %s\n", host.accounts().Describe().c_str());
      return 1;
    }
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quillstreak-info: %s\n", e.what());
    return 1;
  }
}
