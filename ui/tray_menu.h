#pragma once
// The drawn tray menu without Windows: the rows' geometry, where the panel
// opens next to the cursor, the keyboard's walk over the items and the
// drawing itself. The window around it is ui/tray_menu_win.cpp.
#include <vector>

#include "ui/menu_model.h"
#include "ui/painter.h"

namespace kui {

// Logical pixels. The window is kMenuWindowWidth wide and carries a
// transparent margin for the shadow on every side; the panel is the rest.
constexpr float kMenuWindowWidth = 328;
constexpr float kMenuMargin = 18;
constexpr float kMenuPanelWidth = kMenuWindowWidth - 2 * kMenuMargin;
constexpr double kMenuOpeningSeconds = 0.13;

struct MenuLayout {
  std::vector<Rect> rows;  // one per item, window coordinates
  float listHeight = 0;    // the panel's height
  float windowHeight = 0;  // with both margins
};

MenuLayout layoutTrayMenu(const std::vector<MenuItem>& items);

// True inside the panel (a press there does nothing; elsewhere it closes).
bool insideMenuPanel(const MenuLayout& layout, float x, float y);

// The item that can be chosen under a window point, -1 for none.
int menuItemAt(const std::vector<MenuItem>& items, const MenuLayout& layout, float x, float y);

// Device pixels.
struct MenuPixelRect {
  long left = 0, top = 0, right = 0, bottom = 0;
};
struct MenuPixelPoint {
  long x = 0, y = 0;
};

// The window's top-left corner for a panel `panelW` x `panelH` with margin
// `margin` opened at the cursor: above it unless that passes the work
// area's top (then below), to its right unless that passes the right edge
// (then to its left), then kept 4 pixels inside the work area.
MenuPixelPoint placeTrayMenu(MenuPixelPoint cursor, long panelW, long panelH, long margin, const MenuPixelRect& work);

// The next item that can be chosen from `from` (-1: none yet) in direction
// `step` (+1 or -1), wrapping around; -1 when no item can be chosen.
int nextSelectable(const std::vector<MenuItem>& items, int from, int step);

enum class MenuKey { Down, Tab, Up, Enter, Space, Escape, Other };
struct MenuKeyResult {
  int selected = -1;
  bool choose = false;  // choose `selected`
  bool close = false;   // close without a command
};
MenuKeyResult menuKey(const std::vector<MenuItem>& items, int selected, MenuKey key);

// The opening animation's progress after `elapsed` seconds, 0..1.
float menuOpeningProgress(double elapsed);

// Draws the whole window (shadow, panel, rows) in logical pixels; `hover` is
// the highlighted item (-1 none), `progress` the opening animation's.
void drawTrayMenu(Painter& p, const std::vector<MenuItem>& items, const MenuLayout& layout, int hover,
                  float progress);

}  // namespace kui
