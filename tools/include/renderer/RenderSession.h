// The renderer's use of the substitute host, in one place: loading the effect module, global and
// parameter setup, setting a scene file up on a host and rendering its frames as pictures.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/pixels/Pixels.h"
#include "renderer/ParamCatalog.h"
#include "renderer/SceneFile.h"

namespace quillstreak::host {
class Host;
class Module;
}  // namespace quillstreak::host

namespace quillstreak::renderer {

/// One frame as the host rendered it, straight ARGB: the whole frame (composited over the
/// background), and, when asked for, the effect layer alone at the frame's size.
struct FramePictures {
  quillstreak::host::World frame;
  quillstreak::host::World effectLayer;
};

/// Sets a scene file up on a host: its composition, the effect layer and the parameter values
/// (each parameter the scene sets back to its default first). For hosts the caller drives itself
/// (tests, benchmarks, fuzz targets); RenderSession::Prepare uses it too.
void SetUpScene(quillstreak::host::Host& host, const SceneFile& scene);

/// "error 3 (PF_Err_INTERNAL_STRUCT_DAMAGED)": an effect's error code for messages.
std::string ErrorText(PF_Err err);

class RenderSession {
 public:
  /// Loads the module and runs global and parameter setup. Throws InputError when the module
  /// cannot be loaded, RenderError when a setup command fails.
  RenderSession(const std::string& pluginPath, unsigned threads);
  ~RenderSession();
  RenderSession(const RenderSession&) = delete;
  RenderSession& operator=(const RenderSession&) = delete;

  /// The effect's parameters as parameter setup declared them.
  const ParamCatalog& catalog() const { return *catalog_; }

  /// Sets the scene up on the host (every parameter back to its default first, then the scene's
  /// values) at a downsample of 1/`downsample`.
  void Prepare(const SceneFile& scene, int downsample);
  /// The background colour of the scene set up last.
  PF_Pixel background() const { return background_; }

  /// Renders one composition frame. Throws RenderError naming the frame and the command that
  /// failed, or the frame of a changing source that could not be read.
  FramePictures Render(long frame, bool effectLayer);

  /// The trail copies each frame drew, in the order they were rendered.
  const std::vector<int>& copies() const { return copies_; }
  /// Why `frames` of the scene set up last drew no trail copy, in words with the scene's numbers;
  /// empty when the renderer cannot tell.
  std::string NoCopiesReason(const std::vector<long>& frames) const;

 private:
  std::unique_ptr<quillstreak::host::Module> module_;
  std::unique_ptr<quillstreak::host::Host> host_;
  std::unique_ptr<ParamCatalog> catalog_;
  PF_Pixel background_{};
  int downsample_ = 1;
  std::vector<int> copies_;
};

}  // namespace quillstreak::renderer
