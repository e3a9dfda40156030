// The function tables of the suites the host serves, built once and shared by every host (the
// functions find their host through the current context), and the one list that names them.
#include "Callbacks.h"
#include "host/ServedSuites.h"

namespace quillstreak::host {

namespace {

struct SuiteTables {
  PF_HandleSuite1 handle{};
  PF_Iterate8Suite1 iterate8{};
  PF_WorldTransformSuite1 transform{};
  PF_ANSICallbacksSuite1 ansi{};
  AEGP_PFInterfaceSuite1 pfInterface{};
  AEGP_StreamSuite2 stream7{};
  AEGP_StreamSuite4 stream9{};
  AEGP_DynamicStreamSuite2 dynamic{};
  AEGP_EffectSuite2 effect{};
  AEGP_LayerSuite5 layer11{};
  AEGP_LayerSuite7 layer13{};

  SuiteTables() {
    callbacks::FillHandleSuite(handle);
    callbacks::FillIterate8Suite(iterate8);
    callbacks::FillTransformSuite(transform);
    callbacks::FillAnsiSuite(ansi);
    callbacks::FillPFInterfaceSuite(pfInterface);
    callbacks::FillStreamSuite(stream7);
    callbacks::FillStreamSuite(stream9);
    callbacks::FillDynamicStreamSuite(dynamic);
    callbacks::FillEffectSuite(effect);
    callbacks::FillLayerSuite(layer11);
    callbacks::FillLayerSuite(layer13);
  }
};

template <typename Table>
ServedSuite Entry(const char* name, std::int32_t version, const Table& table) {
  return ServedSuite{name, version, &table, sizeof table};
}

}  // namespace

const std::vector<ServedSuite>& ServedSuites() {
  static const SuiteTables t;
  static const std::vector<ServedSuite> served{
      Entry(kPFHandleSuite, kPFHandleSuiteVersion1, t.handle),
      Entry(kPFIterate8Suite, kPFIterate8SuiteVersion1, t.iterate8),
      Entry(kPFWorldTransformSuite, kPFWorldTransformSuiteVersion1, t.transform),
      Entry(kPFANSISuite, kPFANSISuiteVersion1, t.ansi),
      Entry(kAEGPPFInterfaceSuite, kAEGPPFInterfaceSuiteVersion1, t.pfInterface),
      Entry(kAEGPStreamSuite, kAEGPStreamSuiteVersion2, t.stream7),
      Entry(kAEGPStreamSuite, kAEGPStreamSuiteVersion4, t.stream9),
      Entry(kAEGPDynamicStreamSuite, kAEGPDynamicStreamSuiteVersion2, t.dynamic),
      Entry(kAEGPEffectSuite, kAEGPEffectSuiteVersion2, t.effect),
      Entry(kAEGPLayerSuite, kAEGPLayerSuiteVersion5, t.layer11),
      Entry(kAEGPLayerSuite, kAEGPLayerSuiteVersion7, t.layer13)};
  return served;
}

const ServedSuite* FindServedSuite(std::string_view name, std::int32_t version) {
  for (const ServedSuite& s : ServedSuites())
    if (name == s.name && version == s.version) return &s;
  return nullptr;
}

}  // namespace quillstreak::host
