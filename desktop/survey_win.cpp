// The survey of top-level windows and taskbars that snow settles on.
#include <dwmapi.h>
#include <shobjidl.h>
#include <windows.h>

#include <unordered_map>

#include "desktop/survey_rules.h"
#include "desktop/survey_win.h"
#include "base/log.h"

namespace {

struct WindowCacheEntry {
  RECT frame{};
  RECT visible{};
  bool ignored = false;
  bool cloaked = false;
  bool seeThrough = false;
  double lastCheck = 0;
  bool seen = false;
  std::wstring className;
};

DesktopSurvey gSurvey;
// Created on first need and released before COM goes away at exit.
IVirtualDesktopManager* gDesktops = nullptr;
bool gDesktopsTried = false;
std::unordered_map<HWND, WindowCacheEntry> gCache;
DWORD gOwnProcess = 0;

PixelRect toPixel(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }
bool sameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

bool isCloaked(HWND w, bool* readable = nullptr) {
  DWORD cloaked = 0;
  bool ok = SUCCEEDED(DwmGetWindowAttribute(w, DWMWA_CLOAKED, &cloaked, sizeof cloaked));
  if (readable) *readable = ok;
  return ok && cloaked != 0;
}

bool readSeeThrough(HWND w) {
  LONG_PTR ex = GetWindowLongPtrW(w, GWL_EXSTYLE);
  BYTE alpha = 255;
  DWORD flags = 0;
  bool read = false;
  if (ex & WS_EX_LAYERED) read = GetLayeredWindowAttributes(w, nullptr, &alpha, &flags) != FALSE;
  return seeThrough(static_cast<uint32_t>(ex), read, (flags & LWA_ALPHA) != 0, alpha);
}

RECT readVisible(HWND w, const RECT& frame) {
  RECT bounds{};
  if (SUCCEEDED(DwmGetWindowAttribute(w, DWMWA_EXTENDED_FRAME_BOUNDS, &bounds, sizeof bounds)) &&
      bounds.left < bounds.right)
    return bounds;
  return frame;
}

BOOL CALLBACK collect(HWND w, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(w);
  return TRUE;
}

void addTaskbar(std::vector<PixelRect>& bars, HWND w) {
  RECT r{};
  if (w && IsWindowVisible(w) && GetWindowRect(w, &r)) bars.push_back(toPixel(r));
}

}  // namespace

const DesktopSurvey& desktopSurvey() { return gSurvey; }

void survey(double now) {
  if (!gOwnProcess) gOwnProcess = GetCurrentProcessId();
  std::vector<HWND> handles;
  handles.reserve(512);
  EnumWindows(collect, reinterpret_cast<LPARAM>(&handles));
  for (auto& [h, e] : gCache) e.seen = false;

  std::vector<SurveyedWindow> windows;
  for (HWND w : handles) {
    auto found = gCache.find(w);
    bool fresh = found == gCache.end();
    if (fresh) {
      WindowCacheEntry e;
      DWORD pid = 0;
      GetWindowThreadProcessId(w, &pid);
      wchar_t cls[95] = {};
      GetClassNameW(w, cls, 95);
      e.className = cls;
      uint32_t style = static_cast<uint32_t>(GetWindowLongPtrW(w, GWL_STYLE));
      uint32_t ex = static_cast<uint32_t>(GetWindowLongPtrW(w, GWL_EXSTYLE));
      e.ignored = surveyIgnores(pid == gOwnProcess, e.className, style, ex);
      found = gCache.emplace(w, std::move(e)).first;
    }
    WindowCacheEntry& e = found->second;
    e.seen = true;
    RECT frame{};
    if (e.ignored || !IsWindowVisible(w) || IsIconic(w) || !GetWindowRect(w, &frame)) continue;

    bool moved = fresh || !sameRect(frame, e.frame);
    if (!moved) {
      if (now - e.lastCheck > 0.25) {
        e.lastCheck = now;
        e.cloaked = isCloaked(w);
        e.seeThrough = readSeeThrough(w);
        if (e.cloaked || e.seeThrough) continue;
      } else if (e.cloaked || e.seeThrough) {
        continue;
      }
    } else {
      e.lastCheck = now;
      e.cloaked = isCloaked(w);
      e.seeThrough = readSeeThrough(w);
      e.frame = frame;
      e.visible = readVisible(w, frame);
      if (e.cloaked || e.seeThrough) continue;
    }
    PixelRect visible = toPixel(e.visible);
    if (!bigEnoughToPublish(visible)) continue;
    LONG_PTR style = GetWindowLongPtrW(w, GWL_STYLE);
    LONG_PTR ex = GetWindowLongPtrW(w, GWL_EXSTYLE);
    SurveyedWindow sw;
    sw.window = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(w));
    sw.visible = visible;
    sw.frame = toPixel(frame);
    sw.hasCaption = (style & WS_CAPTION) == WS_CAPTION;
    sw.topmost = (ex & WS_EX_TOPMOST) != 0;
    sw.maximized = IsZoomed(w) != FALSE;
    sw.layered = (ex & WS_EX_LAYERED) != 0;
    sw.className = e.className;
    windows.push_back(std::move(sw));
  }
  for (auto it = gCache.begin(); it != gCache.end();) it = it->second.seen ? std::next(it) : gCache.erase(it);

  std::vector<PixelRect> bars;
  addTaskbar(bars, FindWindowW(L"Shell_TrayWnd", nullptr));
  HWND secondary = nullptr;
  for (int i = 0; i < 16; ++i) {
    secondary = FindWindowExW(nullptr, secondary, L"Shell_SecondaryTrayWnd", nullptr);
    if (!secondary) break;
    addTaskbar(bars, secondary);
  }

  if (sameSurvey(windows, bars, gSurvey.windows, gSurvey.taskbars)) return;
  gSurvey.windows = std::move(windows);
  gSurvey.taskbars = std::move(bars);
  gSurvey.generation += 1;
  gSurvey.lastChange = now;
}

kovra::Fate windowFate(uint64_t window, bool countHiddenAsHidden) {
  HWND w = reinterpret_cast<HWND>(static_cast<uintptr_t>(window));
  if (!IsWindow(w)) return kovra::Fate::Gone;
  if (IsIconic(w) || !IsWindowVisible(w)) return countHiddenAsHidden ? kovra::Fate::Hidden : kovra::Fate::Gone;
  bool readable = false;
  if (!isCloaked(w, &readable)) return kovra::Fate::Gone;
  if (countHiddenAsHidden) return kovra::Fate::Hidden;

  // Without the manager every cloaked window counts as gone.
  if (!gDesktopsTried) {
    gDesktopsTried = true;
    HRESULT hr = CoCreateInstance(CLSID_VirtualDesktopManager, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&gDesktops));
    if (FAILED(hr) || !gDesktops) {
      gDesktops = nullptr;
      logLine("virtual desktop manager unavailable (0x%08lx)", static_cast<unsigned long>(hr));
    }
  }
  if (!gDesktops) return kovra::Fate::Gone;
  BOOL onCurrent = TRUE;
  if (FAILED(gDesktops->IsWindowOnCurrentVirtualDesktop(w, &onCurrent)) || onCurrent) return kovra::Fate::Gone;
  return kovra::Fate::Hidden;
}

void surveyRelease() {
  if (gDesktops) gDesktops->Release();
  gDesktops = nullptr;
}
