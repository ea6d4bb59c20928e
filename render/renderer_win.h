#pragma once
// A renderer turns each monitor's scene into pixels on its overlay window.
// It owns its per-overlay resources (MonitorOverlay::surface).
#include <windows.h>

#include <functional>
#include <memory>

#include "render/draw_sink.h"

struct MonitorOverlay;

// Draws one monitor's scene onto the sink it is given.
using SceneDrawer = std::function<void(kovra::DrawSink&)>;

class Renderer {
 public:
  virtual ~Renderer() = default;
  virtual bool start() = 0;
  virtual DWORD extraExStyle() const = 0;
  virtual bool attach(MonitorOverlay& overlay) = 0;
  virtual void detach(MonitorOverlay& overlay) = 0;
  // False asks for the overlays to be rebuilt.
  virtual bool drawFrame(MonitorOverlay& overlay, float opacity, const SceneDrawer& draw) = 0;
  virtual const char* displayName() const = 0;
  // The renderer found that its drawing never reaches the screen and asks to
  // be replaced by the compatible one.
  virtual bool switchWanted() const { return false; }
  virtual void clearSwitch() {}
};

// CPU drawing into a DIB section, presented with UpdateLayeredWindow.
class SoftRenderer final : public Renderer {
 public:
  bool start() override { return true; }
  DWORD extraExStyle() const override { return 0; }
  bool attach(MonitorOverlay& overlay) override;
  void detach(MonitorOverlay& overlay) override;
  bool drawFrame(MonitorOverlay& overlay, float opacity, const SceneDrawer& draw) override;
  const char* displayName() const override { return "compatible (UpdateLayeredWindow)"; }
};

// Chooses the renderer for the next overlay build: the GPU renderer when
// wanted and not forced off, else (and when it cannot start) the compatible
// one, setting `forceCompatible`. True when the compatible renderer draws.
bool chooseRenderer(bool wantGpu, bool& forceCompatible);
Renderer* currentRenderer();
void releaseRenderer();
