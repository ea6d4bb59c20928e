#pragma once
// A renderer turns each monitor's world into pixels on its overlay window.
#include <windows.h>

#include <memory>

struct MonitorOverlay;

class Renderer {
 public:
  virtual ~Renderer() = default;
  virtual bool start() = 0;
  virtual DWORD extraExStyle() const = 0;
  virtual bool attach(MonitorOverlay& overlay) = 0;
  virtual void detach(MonitorOverlay& overlay) = 0;
  // False asks for the overlays to be rebuilt.
  virtual bool drawFrame(MonitorOverlay& overlay) = 0;
  virtual const char* displayName() const = 0;
};

// CPU drawing into a DIB section, presented with UpdateLayeredWindow.
class SoftRenderer final : public Renderer {
 public:
  bool start() override { return true; }
  DWORD extraExStyle() const override { return 0; }
  bool attach(MonitorOverlay& overlay) override;
  void detach(MonitorOverlay& overlay) override;
  bool drawFrame(MonitorOverlay& overlay) override;
  const char* displayName() const override { return "compatible (UpdateLayeredWindow)"; }
};

Renderer* currentRenderer();
