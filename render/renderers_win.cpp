// Which renderer draws the overlays.
#include <memory>

#include "base/log.h"
#include "render/renderer_win.h"

namespace {
std::unique_ptr<Renderer> gRenderer;
}  // namespace

Renderer* currentRenderer() { return gRenderer.get(); }
void releaseRenderer() { gRenderer.reset(); }

bool chooseRenderer(bool wantGpu, bool& forceCompatible) {
  gRenderer.reset();
  if (wantGpu && !forceCompatible) {
    // The GPU renderer is not part of this build: fall back as after a failed start.
    logLine("renderer %s could not start — switching to the compatible one", "GPU (DirectComposition)");
    forceCompatible = true;
  }
  gRenderer = std::make_unique<SoftRenderer>();
  gRenderer->start();
  logLine("renderer: %s", gRenderer->displayName());
  return true;
}
