#pragma once
// The overlay windows: one layered, topmost, click-through window per monitor
// with its DPI scale. What the snow on it is and does lives in the shell's
// application state; this is only the Windows side, with the renderer's
// resources for the window.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/win_util_win.h"

// A renderer's own resources for one overlay (pixel buffer, swap chain, ...).
class OverlaySurface {
 public:
  virtual ~OverlaySurface() = default;
};

// A monitor as the system reports it.
struct DisplayMonitor {
  HMONITOR monitor = nullptr;
  std::string key;  // rectangle and scale: a rebuild finds the world by it
  RECT monitorRect{};
  RECT workRect{};
  UINT dpi = 96;
  float scale = 1.0f;  // DPI / 96
  bool primary = false;
};

struct MonitorOverlay {
  MonitorOverlay() = default;
  MonitorOverlay(const MonitorOverlay&) = delete;
  MonitorOverlay& operator=(const MonitorOverlay&) = delete;
  ~MonitorOverlay();

  DisplayMonitor display;
  HWND window = nullptr;  // owned: destroyed with the overlay
  float heightDip = 0;
  bool takesClicks = false;  // the window's click-through is off
  std::unique_ptr<OverlaySurface> surface;
};

// Every monitor, each logged once ("monitor %ld,%ld %dx%d px, %u dpi ...").
std::vector<DisplayMonitor> enumerateMonitors();
// The work area of a monitor now; false when the system does not say.
bool monitorWorkArea(HMONITOR monitor, RECT& work);

// The overlays, one per monitor, in the order built.
std::vector<std::unique_ptr<MonitorOverlay>>& overlays();
// Makes a window for each monitor and attaches the current renderer; a
// monitor whose window cannot be made is left out. Stops after the first
// overlay the renderer cannot attach to (it stays, without pixels). Returns
// how many were made; overlays() then lists them.
std::size_t createOverlays(const std::vector<DisplayMonitor>& monitors, HINSTANCE instance);
void teardownOverlays();
// Switches WS_EX_TRANSPARENT off (the overlay takes clicks) or on.
void setTakesClicks(MonitorOverlay& overlay, bool on);
// The index of the overlay of a window, or -1.
int overlayIndexOf(HWND window);
