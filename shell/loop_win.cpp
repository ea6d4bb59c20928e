// The main loop: waits for the next frame or message, paces frames to the
// display and runs the per-frame tick. The tick samples Windows into a
// FrameInput, lets hostFrame decide and step everything, and applies the
// FrameOutput to the windows.
#include <dwmapi.h>
#include <windows.h>

#include <algorithm>

#include "base/log.h"
#include "base/settings_win.h"
#include "base/win_util_win.h"
#include "desktop/probes_win.h"
#include "desktop/survey_win.h"
#include "render/overlay_win.h"
#include "render/renderer_win.h"
#include "shell/host_frame.h"
#include "shell/recording_win.h"
#include "shell/shell_win.h"
#include "shell/tray_win.h"
#include "ui/tray_menu_win.h"
#include "weather/weather_win.h"
#include "world/scene.h"

namespace {

bool keyDown(int vk) { return (GetAsyncKeyState(vk) & 0x8000) != 0; }

uint64_t handleValue(HWND h) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(h)); }
PixelRect pixelRect(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

uint64_t processCpu100ns() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  auto v = [](const FILETIME& f) { return (static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
  return v(kernel) + v(user);
}

CompositorTiming compositorTiming() {
  DWM_TIMING_INFO info{};
  info.cbSize = sizeof info;
  bool ok = SUCCEEDED(DwmGetCompositionTimingInfo(nullptr, &info));
  LARGE_INTEGER f{};
  QueryPerformanceFrequency(&f);
  return compositorTimingFrom(ok, static_cast<uint64_t>(info.qpcRefreshPeriod), static_cast<uint64_t>(info.qpcVBlank),
                              static_cast<double>(f.QuadPart));
}

// Releasing Alt after a grab would open the menu bar of the foreground
// window: a press of an unassigned key in between stops that.
void tapUnassignedKey() {
  INPUT keys[2] = {};
  keys[0].type = keys[1].type = INPUT_KEYBOARD;
  keys[0].ki.wVk = keys[1].ki.wVk = 0xE8;
  keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, keys, sizeof(INPUT));
}

FrameInput sampleFrame(AppState& a, double t) {
  FrameInput in;
  in.t = t;
  in.wall = wallSeconds();
  SYSTEMTIME now{};
  GetLocalTime(&now);
  in.local = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute};

  const DesktopSurvey& sv = desktopSurvey();
  in.survey = &sv;
  HWND fg = GetForegroundWindow();
  in.foreground = handleValue(fg);
  // A full-screen player whose owned control bar has the focus is still the foreground's.
  in.foregroundRootOwner = handleValue(fg ? GetAncestor(fg, GA_ROOTOWNER) : nullptr);

  POINT cursor{};
  GetCursorPos(&cursor);
  in.cursorX = cursor.x;
  in.cursorY = cursor.y;
  bool swapped = GetSystemMetrics(SM_SWAPBUTTON) != 0;
  bool left = keyDown(VK_LBUTTON), right = keyDown(VK_RBUTTON), middle = keyDown(VK_MBUTTON);
  in.primaryDown = swapped ? right : left;
  in.anyButton = in.primaryDown || left || right || middle;
  in.grabMode = grabModeFrom(keyDown(VK_SHIFT), keyDown(VK_LWIN) || keyDown(VK_RWIN), keyDown(VK_TAB),
                             keyDown(VK_ESCAPE), keyDown(VK_MENU), keyDown(VK_CONTROL));

  // The probes and work areas are looked at only when the tick samples them.
  if (t - a.lastProbe > 0.5) {
    in.probes = probesSample(a.settings.smartPause);
    for (const auto& o : overlays()) {
      RECT work = o->display.workRect;
      monitorWorkArea(o->display.monitor, work);
      in.workAreas.push_back(pixelRect(work));
    }
  }
  if (appLayoutDue(a, sv))
    for (uint64_t window : appFateQueries(a, sv))
      in.fates.push_back({window, windowFate(window, true), windowFate(window, false)});
  in.settingsWindow = settingsWindowId();
  if (weatherActive()) {
    WeatherReading r = weatherReading();
    in.weather = {true, r.level, r.wind, r.snowOutside};
  }
  return in;
}

void applyFrame(AppState& a, const FrameOutput& out) {
  for (const std::string& line : out.log) logLine("%s", line.c_str());
  if (out.saveSettings) settingsSave(a.settings);
  if (out.storeEvening) quillarWriteString(L"EveningFireworks", *out.storeEvening);
  if (out.tapUnassignedKey) tapUnassignedKey();
  if (out.updateTray || out.uiChanged) trayUpdate();
  if (out.repaintSettings || out.uiChanged) settingsWindowRepaint();

  auto& ovs = overlays();
  Renderer* renderer = currentRenderer();
  for (std::size_t i = 0; i < out.monitors.size() && i < ovs.size(); ++i) {
    const MonitorOutput& mo = out.monitors[i];
    MonitorOverlay& o = *ovs[i];
    if (mo.hide && o.window) ShowWindow(o.window, SW_HIDE);
    if (mo.releaseCapture) ReleaseCapture();
    if (mo.clicksChanged) setTakesClicks(o, mo.takesClicks);
    if (!mo.draw) continue;
    kovra::SnowWorld* world = a.monitors[i].world.get();
    if (renderer && !renderer->drawFrame(o, mo.opacity, [world](kovra::DrawSink& sink) {
          if (world) kovra::drawScene(*world, sink);
        })) {
      hostFrameDrawFailed(a, out, i, shellClock());
      break;
    }
    if (renderer && renderer->switchWanted()) {
      renderer->clearSwitch();
      logLine("%s", hostFrameRendererGaveUp(a, shellClock()).c_str());
    }
    if (!mo.wasShown && o.window) ShowWindow(o.window, SW_SHOWNOACTIVATE);
  }

  if (out.reassertTopmost)
    for (std::size_t i = 0; i < ovs.size() && i < a.monitors.size(); ++i)
      if (a.monitors[i].shown && ovs[i]->window)
        SetWindowPos(ovs[i]->window, HWND_TOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER | SWP_NOSENDCHANGING);
  // The open tray menu stays above the snow.
  if (out.reassertTopmost)
    if (HWND menu = kui::trayMenuWindow())
      SetWindowPos(menu, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

void frameTick(double t) {
  AppState& a = app();
  double workStart = shellClock();

  if (a.recreatePending && t >= a.recreateDue) {
    a.recreatePending = false;
    buildOverlays();
  }
  survey(t);
  FrameInput input = sampleFrame(a, t);
  recordFrame(a, input);
  FrameOutput out = hostFrame(a, input);
  applyFrame(a, out);

  FrameCost cost;
  cost.workMs = (shellClock() - workStart) * 1000.0;
  cost.cpu100ns = processCpu100ns();
  static const unsigned long processors = [] {
    SYSTEM_INFO si{};
    GetSystemInfo(&si);
    return si.dwNumberOfProcessors;
  }();
  cost.processors = processors;
  cost.renderer = currentRenderer() ? currentRenderer()->displayName() : "none";
  cost.windows = desktopSurvey().windows.size();
  recordFrameEnd(cost.workMs);
  if (std::optional<std::string> stats = hostFrameDone(a, t, cost)) logLine("%s", stats->c_str());
}

void pumpMessages(bool& quit, int& code) {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      quit = true;
      code = static_cast<int>(msg.wParam);
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace

bool snowActive() { return appSnowActive(app()); }

void requestRebuild(double delaySeconds) { appRequestRebuild(app(), shellClock(), delaySeconds); }

void buildOverlays() {
  AppState& a = app();
  teardownOverlays();  // with the renderer that made their resources
  a.softMode = chooseRenderer(a.settings.renderMode == 0, a.forceCompatible);
  const std::vector<DisplayMonitor> monitors = enumerateMonitors();
  createOverlays(monitors, shellState().instance);
  if (!a.softMode && std::any_of(overlays().begin(), overlays().end(), [](const auto& o) { return !o->surface; })) {
    logLine("GPU overlay could not be attached — switching to the compatible renderer");
    a.forceCompatible = true;
    teardownOverlays();
    a.softMode = chooseRenderer(false, a.forceCompatible);
    createOverlays(monitors, shellState().instance);
  }
  std::vector<MonitorInfo> infos;
  for (const auto& o : overlays()) {
    const DisplayMonitor& d = o->display;
    MonitorInfo info;
    info.key = d.key;
    info.monitor = pixelRect(d.monitorRect);
    info.work = pixelRect(d.workRect);
    info.scale = d.scale;
    info.primary = d.primary;
    info.seed = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(d.monitor)) ^ GetTickCount64();
    infos.push_back(std::move(info));
  }
  appSetMonitors(a, infos);
  recordMonitors(infos);
}

void framePaceNow(double now) {
  AppState& a = app();
  CompositorTiming timing = compositorTiming();
  framePace(a.frame, now, timing, [] { return shellClock(); }, [](double t) { frameTick(t); });
}

int runMainLoop() {
  ShellState& st = shellState();
  AppState& a = app();
  for (;;) {
    bool active = snowActive();
    double now = shellClock();
    if (active) {
      double wait = std::max(0.0, a.frame.nextFrameTime - now);
      if (st.waitTimer && a.frame.targetFps >= 20) {
        LARGE_INTEGER due{};
        due.QuadPart = timerDueRelative(wait);
        HANDLE timer = st.waitTimer.get();
        SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE);
        MsgWaitForMultipleObjectsEx(1, &timer, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
      } else {
        MsgWaitForMultipleObjectsEx(0, nullptr, waitMilliseconds(wait), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
      }
      if (snowActive()) {
        double t = shellClock();
        if (frameDue(t, a.frame.nextFrameTime)) framePaceNow(t);
      }
    } else {
      MsgWaitForMultipleObjectsEx(0, nullptr, a.recreatePending ? 300 : INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }

    bool quit = false;
    int code = 0;
    pumpMessages(quit, code);
    if (quit) return code;

    now = shellClock();
    if (snowActive()) {
      if (frameDue(now, a.frame.nextFrameTime)) framePaceNow(now);
    } else if (a.recreatePending && now >= a.recreateDue) {
      a.recreatePending = false;
      buildOverlays();
    }
  }
}
