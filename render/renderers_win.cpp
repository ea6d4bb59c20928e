// Which renderer draws the overlays.
#include <memory>

#include "base/log.h"
#include "render/gpu_renderer_win.h"
#include "render/renderer_win.h"

namespace {
std::unique_ptr<Renderer> gRenderer;
}  // namespace

Renderer* currentRenderer() { return gRenderer.get(); }
void releaseRenderer() { gRenderer.reset(); }

bool chooseRenderer(bool wantGpu, bool& forceCompatible) {
  gRenderer.reset();
  if (wantGpu && !forceCompatible) {
    auto gpu = std::make_unique<GpuRenderer>();
    if (gpu->start()) {
      gRenderer = std::move(gpu);
      logLine("renderer: %s", gRenderer->displayName());
      return false;
    }
    logLine("renderer %s could not start — switching to the compatible one", gpu->displayName());
    forceCompatible = true;
  }
  gRenderer = std::make_unique<SoftRenderer>();
  gRenderer->start();
  logLine("renderer: %s", gRenderer->displayName());
  return true;
}
