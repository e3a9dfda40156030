// Fuzzes the renderer's scene parser: any text either parses into a scene or is refused with
// one InputError that names the scene file. Nothing else may escape, crash or hang. A scene
// that parses is applied to the host and its first frame planned by the effect.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "frame/Dispatch.h"
#include "host/Host.h"
#include "renderer/InputError.h"
#include "renderer/ParamCatalog.h"
#include "renderer/RenderSession.h"
#include "renderer/SceneFile.h"

namespace quillstreak::fuzz {
namespace {

constexpr const char* kFileName = "fuzz-scene.json";

/// The effect linked in, as the host's entry point (no module file needed).
PF_Err EffectEntry(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                   PF_LayerDef* output, void* extra) {
  try {
    return quillstreak::Dispatch(cmd, {in_data, out_data, params, output, extra});
  } catch (...) {
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
}

/// One host for the whole run, with the effect set up.
quillstreak::host::Host& SharedHost() {
  static quillstreak::host::Host host(EffectEntry);
  static const bool ready = host.GlobalSetup() == PF_Err_NONE && host.ParamsSetup() == PF_Err_NONE;
  if (!ready) {
    std::fprintf(stderr, "fuzz: the effect's parameter setup failed\n");
    std::abort();
  }
  return host;
}

/// The parameters the effect declares, as the host learned them.
const quillstreak::renderer::ParamCatalog& Catalog() {
  static const quillstreak::renderer::ParamCatalog catalog(SharedHost().params().declared());
  return catalog;
}

/// A scene that parsed is applied to the host and its first frame planned: the values the
/// parser let through must be ones the host and the effect can work with.
void PlanFirstFrame(const quillstreak::renderer::SceneFile& scene) {
  quillstreak::host::Host& host = SharedHost();
  quillstreak::renderer::SetUpScene(host, scene);
  host.settings().SetTime(0);
  // Far more stream reads than any accepted scene needs; past them the frame has run away.
  host.faults().FailCall(quillstreak::host::Op::AEGP_GetLayerStreamValue, 2000000, 0x7E57);
  const PF_Err err = host.frames().SmartPreRender();
  host.frames().EndFrame();
  host.faults().Clear();
  host.journal().Clear();
  if (err == 0x7E57) {
    std::fprintf(stderr, "a parsed scene makes the motion search run away\n");
    std::abort();
  }
  if (!host.accounts().Clear()) {
    std::fprintf(stderr, "a parsed scene leaves host resources behind: %s\n",
                 host.accounts().Describe().c_str());
    std::abort();
  }
}

/// One input: the target's whole work.
int Run(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    // Relative image paths resolve against a folder that does not exist, so that the parser
    // does not read the files of the machine it runs on.
    const quillstreak::renderer::SceneFile scene = quillstreak::renderer::ParseScene(
        text, kFileName, "/nonexistent-quillstreak-fuzz", Catalog());
    PlanFirstFrame(scene);
  } catch (const quillstreak::renderer::InputError& error) {
    // QS_FUZZ_VERBOSE=1 prints every refusal (to see what the seeds exercise).
    if (std::getenv("QS_FUZZ_VERBOSE") != nullptr) std::fprintf(stderr, "%s\n", error.what());
    const std::string message = error.what();
    if (message.rfind(kFileName, 0) != 0) {
      std::fprintf(stderr, "scene error does not name the file: %s\n", message.c_str());
      std::abort();
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "scene parser let another exception escape: %s\n", error.what());
    std::abort();
  }
  return 0;
}

}  // namespace
}  // namespace quillstreak::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return quillstreak::fuzz::Run(data, size);
}
