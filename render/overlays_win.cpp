// One layered, topmost, click-through overlay window per monitor, each with
// its DPI scale and snow world; rebuilt on display changes.
#include <dwmapi.h>
#include <windows.h>

#include <map>

#include "render/overlay_win.h"
#include "render/renderer_win.h"
#include "desktop/probes_win.h"
#include "desktop/survey_win.h"
#include "base/log.h"
#include "base/settings.h"
#include "shell/shell_win.h"
#include "base/win_util_win.h"

namespace {

std::vector<std::unique_ptr<MonitorOverlay>> gOverlays;
// Worlds of the overlays being rebuilt, by monitor key, so that a rebuild with
// the same monitors keeps every world's snow.
std::map<std::wstring, std::unique_ptr<kovra::SnowWorld>> gSavedWorlds;
std::unique_ptr<Renderer> gRenderer;
int gClickSwitchesLogged = 0;
int gGrabsLogged = 0;

HCURSOR mittenCursor(bool closed) {
  static HCURSOR open = nullptr, shut = nullptr;
  HCURSOR& c = closed ? shut : open;
  if (!c) {
    c = static_cast<HCURSOR>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(closed ? 502 : 501), IMAGE_CURSOR,
                                        0, 0, LR_DEFAULTSIZE));
    if (!c) c = LoadCursorW(nullptr, IDC_HAND);
  }
  return c;
}

// The cursor in the monitor's world points, y up from its bottom edge.
kovra::Vec2 worldPoint(const MonitorOverlay& o) {
  POINT p{};
  GetCursorPos(&p);
  return {static_cast<float>(p.x - o.monitorRect.left) / o.scale,
          o.heightDip - static_cast<float>(p.y - o.monitorRect.top) / o.scale};
}

void releaseGrab(MonitorOverlay& o, bool releaseCapture) {
  if (!o.grabbing) return;
  o.grabbing = false;
  if (o.world) o.world->letGo();
  if (releaseCapture) ReleaseCapture();
}

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

MonitorOverlay* overlayFor(HWND hwnd) {
  for (auto& o : gOverlays)
    if (o->window == hwnd) return o.get();
  return nullptr;
}

void chooseRenderer() {
  ShellState& st = shellState();
  gRenderer.reset();
  bool wantGpu = !st.forceCompatible && settings().renderMode == 0;
  if (wantGpu) {
    // The GPU renderer is not part of this build: fall back as after a failed start.
    logLine("renderer %s could not start — switching to the compatible one", "GPU (DirectComposition)");
    st.forceCompatible = true;
  }
  st.softMode = true;
  gRenderer = std::make_unique<SoftRenderer>();
  gRenderer->start();
  logLine("renderer: %s", gRenderer->displayName());
}

}  // namespace

std::vector<std::unique_ptr<MonitorOverlay>>& overlays() { return gOverlays; }
Renderer* currentRenderer() { return gRenderer.get(); }

void teardownOverlays() {
  for (auto& o : gOverlays) {
    if (gRenderer) gRenderer->detach(*o);
    if (o->window) DestroyWindow(o->window);
    o->window = nullptr;
    if (o->world) gSavedWorlds[o->key] = std::move(o->world);
  }
  gOverlays.clear();
}

void dropSavedWorlds() { gSavedWorlds.clear(); }
void releaseRenderer() { gRenderer.reset(); }

void buildOverlays(bool retry) {
  (void)retry;  // only a GPU attach failure retries, and this build has no GPU renderer
  teardownOverlays();
  chooseRenderer();
  ShellState& st = shellState();

  std::vector<HMONITOR> monitors;
  EnumDisplayMonitors(nullptr, nullptr, collect, reinterpret_cast<LPARAM>(&monitors));
  for (HMONITOR m : monitors) {
    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(m, &info)) continue;
    auto o = std::make_unique<MonitorOverlay>();
    o->monitor = m;
    o->monitorRect = info.rcMonitor;
    o->workRect = info.rcWork;
    o->dirty = true;
    o->seenGeneration = UINT64_MAX;
    o->primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
    UINT dpi = monitorDpi(m);
    o->scale = static_cast<float>(dpi) / 96.0f;
    LONG w = info.rcMonitor.right - info.rcMonitor.left;
    LONG h = info.rcMonitor.bottom - info.rcMonitor.top;
    o->widthDip = static_cast<float>(w) / o->scale;
    o->heightDip = static_cast<float>(h) / o->scale;
    logLine("monitor %ld,%ld %dx%d px, %u dpi (x%.2f), work %ld,%ld-%ld,%ld", info.rcMonitor.left, info.rcMonitor.top,
            static_cast<int>(w), static_cast<int>(h), dpi, o->scale, info.rcWork.left, info.rcWork.top,
            info.rcWork.right, info.rcWork.bottom);

    DWORD ex = gRenderer->extraExStyle() | WS_EX_TOPMOST | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_LAYERED |
               WS_EX_NOACTIVATE;
    o->window = CreateWindowExW(ex, L"KovraSnow", L"Quillar", WS_POPUP, info.rcMonitor.left, info.rcMonitor.top, w, h,
                                nullptr, nullptr, st.instance, nullptr);
    if (!o->window) {
      logLine("CreateWindowEx failed (%lu)", GetLastError());
      continue;
    }
    BOOL yes = TRUE;
    DwmSetWindowAttribute(o->window, DWMWA_EXCLUDED_FROM_PEEK, &yes, sizeof yes);
    DwmSetWindowAttribute(o->window, DWMWA_DISALLOW_PEEK, &yes, sizeof yes);

    wchar_t key[128];
    swprintf(key, 128, L"%ld,%ld,%ld,%ld@%.3f", info.rcMonitor.left, info.rcMonitor.top, info.rcMonitor.right,
             info.rcMonitor.bottom, static_cast<double>(o->scale));
    o->key = key;
    auto saved = gSavedWorlds.find(o->key);
    if (saved != gSavedWorlds.end() && saved->second) {
      o->world = std::move(saved->second);
      gSavedWorlds.erase(saved);
    } else {
      uint64_t seed = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(m)) ^ GetTickCount64();
      o->world = std::make_unique<kovra::SnowWorld>(o->widthDip, o->heightDip, seed);
    }
    o->world->fate = windowFate;
    o->world->primary = o->primary;

    bool attached = gRenderer->attach(*o);
    gOverlays.push_back(std::move(o));
    if (!attached) {
      // The compatible renderer has no pixel buffer: no further monitors this build.
      gSavedWorlds.clear();
      break;
    }
  }
  // Worlds of monitors that no longer exist go with the build.
  gSavedWorlds.clear();
  probesResetTime();
}

void setTakesClicks(MonitorOverlay& o, bool on) {
  if (!o.window || o.takesClicks == on) return;
  o.takesClicks = on;
  LONG_PTR ex = GetWindowLongPtrW(o.window, GWL_EXSTYLE);
  ex = on ? (ex & ~static_cast<LONG_PTR>(WS_EX_TRANSPARENT)) : (ex | WS_EX_TRANSPARENT);
  SetWindowLongPtrW(o.window, GWL_EXSTYLE, ex);
  SetWindowPos(o.window, nullptr, 0, 0, 0, 0,
               SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  if (gClickSwitchesLogged < 3) {
    ++gClickSwitchesLogged;
    logLine("snow under the cursor: overlay %s", on ? "takes clicks" : "lets clicks through");
  }
}

LRESULT CALLBACK overlayWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT:
      ValidateRect(hwnd, nullptr);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_NCHITTEST: {
      MonitorOverlay* o = overlayFor(hwnd);
      return o && o->takesClicks ? HTCLIENT : HTTRANSPARENT;
    }
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_SETCURSOR: {
      MonitorOverlay* o = overlayFor(hwnd);
      if (o && o->takesClicks) {
        SetCursor(mittenCursor(o->grabbing));
        return 1;
      }
      break;
    }
    case WM_LBUTTONDOWN: {
      MonitorOverlay* o = overlayFor(hwnd);
      if (!o || !o->world) return 0;
      bool heap = GetKeyState(VK_MENU) < 0;
      if (o->world->grabWithButton(worldPoint(*o), heap)) {
        o->grabbing = true;
        SetCapture(hwnd);
        SetCursor(mittenCursor(true));
        if (gGrabsLogged < 5) {
          ++gGrabsLogged;
          logLine("snow picked up with the mouse (%s)", heap ? "heap" : "snowball");
        }
        shellState().frame.lastFrameTime = 0;
      }
      return 0;
    }
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED: {
      if (MonitorOverlay* o = overlayFor(hwnd)) releaseGrab(*o, msg == WM_LBUTTONUP);
      return 0;
    }
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN: {
      MonitorOverlay* o = overlayFor(hwnd);
      if (!o || !o->world) return 0;
      releaseGrab(*o, true);
      o->world->burstAt(worldPoint(*o));
      return 0;
    }
    case WM_DISPLAYCHANGE:
      requestRebuild(0.6);
      return 0;
    case WM_DPICHANGED:
      requestRebuild(0.5);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}
