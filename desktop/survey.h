#pragma once
// The published result of the desktop survey: the top-level windows that can
// carry snow, in z-order (topmost first), and the taskbar rectangles. These
// records are plain data so that the drift layout and its tests can use them
// without Windows; the survey itself fills them on the main thread.

#include <cstdint>
#include <string>
#include <vector>

namespace kovra {
// What became of a window that left the survey.
enum class Fate { Gone = 0, Hidden = 1 };
}  // namespace kovra

// A rectangle in physical pixels of the virtual screen, y down.
struct PixelRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const PixelRect&) const = default;
};

struct SurveyedWindow {
  uint64_t window = 0;      // window handle value
  PixelRect visible;        // the visible frame (extended frame bounds, else the window rectangle)
  PixelRect frame;          // the window rectangle
  bool hasCaption = false;  // the style carries a whole caption
  bool topmost = false;
  bool maximized = false;
  bool layered = false;
  std::wstring className;   // at most 94 characters
};

struct DesktopSurvey {
  std::vector<SurveyedWindow> windows;  // topmost first
  std::vector<PixelRect> taskbars;      // the main taskbar first
  uint64_t generation = 0;              // raised whenever the lists change
  double lastChange = 0;                // frame clock of the last change, s
};
