#include <shellscalingapi.h>
#include <windows.h>

#include <map>

#include "render/overlay_win.h"
#include "shell/log.h"
#include "shell/win_util_win.h"

namespace {

std::vector<std::unique_ptr<MonitorOverlay>> gOverlays;
// Worlds of monitors that went away during a rebuild, kept so that the snow
// survives a display change that brings the same monitor back.
std::map<std::wstring, std::unique_ptr<kovra::SnowWorld>> gSavedWorlds;

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
  auto* list = reinterpret_cast<std::vector<HMONITOR>*>(param);
  list->push_back(m);
  return TRUE;
}

}  // namespace

std::vector<std::unique_ptr<MonitorOverlay>>& overlays() { return gOverlays; }

void teardownOverlays() {
  for (auto& o : gOverlays) {
    if (o->window) DestroyWindow(o->window);
    o->window = nullptr;
    if (o->world) gSavedWorlds[o->key] = std::move(o->world);
  }
  gOverlays.clear();
}

void dropSavedWorlds() { gSavedWorlds.clear(); }

void buildOverlays(bool retry) {
  (void)retry;  // only the GPU renderer's attach failure retries
  teardownOverlays();
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
    o->world->primary = o->primary;
    gOverlays.push_back(std::move(o));
  }
  // Worlds of monitors that no longer exist go with the build.
  gSavedWorlds.clear();
}
