// The renderer's use of the substitute host, in one place: loading the effect module, global and
// parameter setup, setting a scene up and rendering its frames as pictures.
#pragma once

#include <memory>
#include <string>

#include "host/pixels/Pixels.h"
#include "renderer/ParamCatalog.h"
#include "renderer/Scene.h"

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
  void Prepare(const Scene& scene, int downsample);
  /// The background colour of the scene set up last.
  PF_Pixel background() const { return background_; }

  /// Renders one composition frame. Throws RenderError naming the frame and the command that
  /// failed.
  FramePictures Render(long frame, bool effectLayer);

 private:
  std::unique_ptr<quillstreak::host::Module> module_;
  std::unique_ptr<quillstreak::host::Host> host_;
  std::unique_ptr<ParamCatalog> catalog_;
  PF_Pixel background_{};
};

}  // namespace quillstreak::renderer
