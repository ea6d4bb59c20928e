// One layered, topmost, click-through overlay window per monitor, each with
// its DPI scale; rebuilt on display changes.
#include <dwmapi.h>
#include <windows.h>

#include <cwchar>

#include "base/log.h"
#include "base/win_util_win.h"
#include "render/overlay_win.h"
#include "render/renderer_win.h"

namespace {

std::vector<std::unique_ptr<MonitorOverlay>> gOverlays;

using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

UINT monitorDpi(HMONITOR m) {
  static GetDpiForMonitorFn fn = systemFunction<GetDpiForMonitorFn>(L"shcore.dll", "GetDpiForMonitor");
  UINT x = 96, y = 96;
  if (fn && SUCCEEDED(fn(m, 0 /* MDT_EFFECTIVE_DPI */, &x, &y)) && x >= 48) return x;
  HDC dc = GetDC(nullptr);
  int d = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 0;
  if (dc) ReleaseDC(nullptr, dc);
  return d > 0 ? static_cast<UINT>(d) : 96;
}

BOOL CALLBACK collect(HMONITOR m, HDC, LPRECT, LPARAM param) {
  reinterpret_cast<std::vector<HMONITOR>*>(param)->push_back(m);
  return TRUE;
}

}  // namespace

MonitorOverlay::~MonitorOverlay() {
  surface.reset();
  if (window) DestroyWindow(window);
}

std::vector<std::unique_ptr<MonitorOverlay>>& overlays() { return gOverlays; }

std::vector<DisplayMonitor> enumerateMonitors() {
  std::vector<HMONITOR> handles;
  EnumDisplayMonitors(nullptr, nullptr, collect, reinterpret_cast<LPARAM>(&handles));
  std::vector<DisplayMonitor> out;
  for (HMONITOR m : handles) {
    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(m, &info)) continue;
    DisplayMonitor d;
    d.monitor = m;
    d.monitorRect = info.rcMonitor;
    d.workRect = info.rcWork;
    d.primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
    d.dpi = monitorDpi(m);
    d.scale = static_cast<float>(d.dpi) / 96.0f;
    LONG w = info.rcMonitor.right - info.rcMonitor.left;
    LONG h = info.rcMonitor.bottom - info.rcMonitor.top;
    logLine("monitor %ld,%ld %dx%d px, %u dpi (x%.2f), work %ld,%ld-%ld,%ld", info.rcMonitor.left, info.rcMonitor.top,
            static_cast<int>(w), static_cast<int>(h), d.dpi, d.scale, info.rcWork.left, info.rcWork.top,
            info.rcWork.right, info.rcWork.bottom);
    char key[128];
    std::snprintf(key, sizeof key, "%ld,%ld,%ld,%ld@%.3f", info.rcMonitor.left, info.rcMonitor.top,
                  info.rcMonitor.right, info.rcMonitor.bottom, static_cast<double>(d.scale));
    d.key = key;
    out.push_back(d);
  }
  return out;
}

bool monitorWorkArea(HMONITOR monitor, RECT& work) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(monitor, &info)) return false;
  work = info.rcWork;
  return true;
}

void teardownOverlays() {
  Renderer* renderer = currentRenderer();
  for (auto& o : gOverlays)
    if (renderer) renderer->detach(*o);
  gOverlays.clear();  // each overlay destroys its window
}

std::size_t createOverlays(const std::vector<DisplayMonitor>& monitors, HINSTANCE instance) {
  teardownOverlays();
  Renderer* renderer = currentRenderer();
  if (!renderer) return 0;
  for (const DisplayMonitor& d : monitors) {
    auto o = std::make_unique<MonitorOverlay>();
    o->display = d;
    LONG w = d.monitorRect.right - d.monitorRect.left;
    LONG h = d.monitorRect.bottom - d.monitorRect.top;
    o->heightDip = static_cast<float>(h) / d.scale;
    DWORD ex = renderer->extraExStyle() | WS_EX_TOPMOST | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_LAYERED |
               WS_EX_NOACTIVATE;
    o->window = CreateWindowExW(ex, L"KovraSnow", L"Quillar", WS_POPUP, d.monitorRect.left, d.monitorRect.top, w, h,
                                nullptr, nullptr, instance, nullptr);
    if (!o->window) {
      logLine("CreateWindowEx failed (%lu)", GetLastError());
      continue;
    }
    BOOL yes = TRUE;
    DwmSetWindowAttribute(o->window, DWMWA_EXCLUDED_FROM_PEEK, &yes, sizeof yes);
    DwmSetWindowAttribute(o->window, DWMWA_DISALLOW_PEEK, &yes, sizeof yes);
    bool attached = renderer->attach(*o);
    gOverlays.push_back(std::move(o));
    // Without a pixel buffer the compatible renderer makes no further overlays.
    if (!attached) break;
  }
  return gOverlays.size();
}

void setTakesClicks(MonitorOverlay& o, bool on) {
  if (!o.window || o.takesClicks == on) return;
  o.takesClicks = on;
  LONG_PTR ex = GetWindowLongPtrW(o.window, GWL_EXSTYLE);
  ex = on ? (ex & ~static_cast<LONG_PTR>(WS_EX_TRANSPARENT)) : (ex | WS_EX_TRANSPARENT);
  SetWindowLongPtrW(o.window, GWL_EXSTYLE, ex);
  SetWindowPos(o.window, nullptr, 0, 0, 0, 0,
               SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

int overlayIndexOf(HWND window) {
  for (std::size_t i = 0; i < gOverlays.size(); ++i)
    if (gOverlays[i]->window == window) return static_cast<int>(i);
  return -1;
}
