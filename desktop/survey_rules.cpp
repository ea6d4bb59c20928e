#include "desktop/survey_rules.h"

#include <array>

namespace {

constexpr std::array<std::wstring_view, 20> kIgnoredClasses = {
    L"Progman",
    L"WorkerW",
    L"Shell_TrayWnd",
    L"Shell_SecondaryTrayWnd",
    L"tooltips_class32",
    L"#32768",
    L"SysShadow",
    L"Windows.UI.Core.CoreWindow",
    L"XamlExplorerHostIslandWindow",
    L"ForegroundStaging",
    L"MultitaskingViewFrame",
    L"TaskSwitcherWnd",
    L"NotifyIconOverflowWindow",
    L"TopLevelWindowForOverflowXamlIsland",
    L"Shell_InputSwitchTopLevelWindow",
    L"ApplicationManager_ImmersiveShellWindow",
    L"EdgeUiInputTopWndClass",
    L"KovraSnow",
    L"KovraMain",
    L"CEF-OSC-WIDGET",
};

}  // namespace

bool isIgnoredWindowClass(std::wstring_view className) {
  for (auto c : kIgnoredClasses)
    if (c == className) return true;
  return false;
}

bool surveyIgnores(bool ownProcess, std::wstring_view className, uint32_t style, uint32_t exStyle) {
  // Of this program's windows only the settings window carries snow.
  if (ownProcess && className != L"KovraSettings") return true;
  if (style & kStyleChild) return true;
  // Click-through overlays of other programs.
  if ((exStyle & kExLayered) && (exStyle & kExTransparent)) return true;
  return isIgnoredWindowClass(className);
}

bool seeThrough(uint32_t exStyle, bool layeredAlphaRead, bool alphaFlagSet, uint8_t alpha) {
  if (exStyle & kExTransparent) return true;
  return (exStyle & kExLayered) && layeredAlphaRead && alphaFlagSet && alpha < 50;
}

bool bigEnoughToPublish(const PixelRect& v) {
  return static_cast<int64_t>(v.right) - v.left >= 60 && static_cast<int64_t>(v.bottom) - v.top >= 30;
}

bool sameSurvey(const std::vector<SurveyedWindow>& a, const std::vector<PixelRect>& aBars,
                const std::vector<SurveyedWindow>& b, const std::vector<PixelRect>& bBars) {
  if (a.size() != b.size() || aBars != bBars) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].window != b[i].window || !(a[i].visible == b[i].visible)) return false;
  return true;
}
