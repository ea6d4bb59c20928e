#pragma once
// The surfaces snow can settle on for one monitor, laid out from the desktop
// survey: the windows front-most first with their rectangles in world points,
// the taskbar, and whether the front window fills the screen. The world turns
// a scene into drifts (SnowWorld::updateDrifts).

#include <cstdint>
#include <vector>

#include "desktop/survey.h"
#include "world/drift.h"

namespace kovra {

struct SceneWindow {
  uint64_t window = 0;  // window handle value
  Rect rect;            // world points, y up
  bool noDrift = false; // maximised or filling the work area: no snow on top
};

struct SurfaceScene {
  std::vector<SceneWindow> windows;  // front-most first
  bool taskbarPresent = false;
  Rect taskbar;
  bool taskbarDrift = false;  // the taskbar lies along the bottom and may carry snow
  bool frontIsFull = false;   // the front window fills its work area
  float topInset = 0;         // pt from the monitor's top to its work area's top
  bool pressed = false;       // primary button down: a window may be being dragged
};

// One monitor as the layout needs it.
struct MonitorArea {
  PixelRect monitor;     // pixels of the virtual screen
  PixelRect work;        // the work area, pixels
  float scale = 1;       // DPI / 96
  float heightDip = 0;   // monitor height, pt
};

// The foreground window and its root ancestor (0 when there is none): a
// layered window covering the whole monitor is left out unless it is one of
// them, so click-through screen effects of other programs do not hide the snow.
struct Foreground {
  uint64_t window = 0;
  uint64_t root = 0;
};

// A pixel rectangle in the world points of `area` (y up, not clipped).
Rect toWorld(const MonitorArea& area, const PixelRect& r);

// The scene of one monitor from the survey's lists. `pressed` is the primary
// mouse button (swapped buttons honoured).
SurfaceScene layoutScene(const MonitorArea& area, const std::vector<SurveyedWindow>& windows,
                         const std::vector<PixelRect>& taskbars, Foreground foreground, bool pressed);
SurfaceScene layoutScene(const MonitorArea& area, const DesktopSurvey& survey, Foreground foreground,
                         bool pressed);

}  // namespace kovra
