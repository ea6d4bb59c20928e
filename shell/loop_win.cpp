// The main loop: waits for the next frame or message, paces frames to the
// display and runs the per-frame tick.
#include <dwmapi.h>
#include <windows.h>

#include <algorithm>
#include <optional>

#include "render/overlay_win.h"
#include "render/renderer_win.h"
#include "desktop/probes_win.h"
#include "desktop/survey_win.h"
#include "shell/commands_win.h"
#include "base/settings_win.h"
#include "shell/tray_win.h"
#include "base/win_util_win.h"
#include "world/surfaces.h"
#include "shell/frame_rules.h"
#include "base/log.h"
#include "shell/pacing.h"
#include "base/settings.h"
#include "shell/shell_win.h"

namespace {

struct InputSample {
  POINT cursor{};
  bool anyButton = false;
  bool primaryDown = false;
  int grabMode = 0;
};

FrameStats gStats;
double gLastTray = 0;

// New Year's midnight and the evening salute, checked twice a second.
void dateFireworks() {
  Settings& set = settings();
  if (set.paused) return;  // nothing is stored while paused: the show may still come
  SYSTEMTIME now{};
  GetLocalTime(&now);
  if (isNewYearMoment(now.wMonth, now.wDay, now.wHour, now.wMinute, now.wYear, set.fireworksYear, set.paused)) {
    set.fireworksYear = now.wYear;
    settingsSave(set);
    for (auto& o : overlays())
      if (o->primary && o->world) o->world->startFireworks(70);
    logLine("Happy New Year %u — fireworks", static_cast<unsigned>(now.wYear));
  }
  if (smartPauseCurrent()) return;
  std::optional<std::string> evening = eveningSaluteDate(now.wYear, now.wMonth, now.wDay, now.wHour);
  if (!evening || quillarReadString(L"EveningFireworks") == *evening) return;
  for (auto& o : overlays()) {
    if (!o->primary || !o->world || !o->shown || o->fullScreenApp || o->opacity <= 0.9f) continue;
    quillarWriteString(L"EveningFireworks", *evening);
    o->world->startFireworks(25);
    logLine("evening salute (%s)", evening->c_str());
    return;
  }
}

// While the first-run guide runs: snow onto the settings window's top edge,
// and the steps the user has done shown as they happen.
void guideSnow(double t) {
  if (!shellState().guideActive) return;
  GuideState& g = guideState();
  if (g.tries > 0 && t >= g.nextTry) {
    g.tries -= 1;
    g.nextTry = t + 0.3;
    bool filled = false;
    if (uint64_t w = settingsWindowId())
      for (auto& o : overlays())
        if (o->world && o->world->fillWindowDrift(w)) filled = true;
    if (filled) g.tries = 0;
  }
  uint32_t bits = g.baseBits;
  for (auto& o : overlays())
    if (o->world) bits |= o->world->milestones;
  if (bits != g.shownBits) {
    g.shownBits = bits;
    settingsWindowRepaint();
  }
}
double gTopmostTime = 0;
uint64_t gLoggedGeneration = 0;
double gWindowLogTime = -1e9;

PixelRect toPixelRect(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

kovra::MonitorArea areaOf(const MonitorOverlay& o) {
  return {toPixelRect(o.monitorRect), toPixelRect(o.workRect), o.scale, o.heightDip};
}

kovra::Foreground foreground() {
  HWND fg = GetForegroundWindow();
  HWND root = fg ? GetAncestor(fg, GA_ROOT) : nullptr;
  return {static_cast<uint64_t>(reinterpret_cast<uintptr_t>(fg)), static_cast<uint64_t>(reinterpret_cast<uintptr_t>(root))};
}

// The window list and each monitor's surfaces, after a change, at most every 10 s.
void logWindowList(double t, bool primaryDown) {
  const DesktopSurvey& sv = desktopSurvey();
  if (sv.generation == gLoggedGeneration || t - gWindowLogTime <= 10.0) return;
  gLoggedGeneration = sv.generation;
  gWindowLogTime = t;
  std::string bars, wins;
  char buf[512];
  for (const PixelRect& r : sv.taskbars) {
    std::snprintf(buf, sizeof buf, " %ld,%ld-%ld,%ld", static_cast<long>(r.left), static_cast<long>(r.top),
                  static_cast<long>(r.right), static_cast<long>(r.bottom));
    bars += buf;
  }
  for (const SurveyedWindow& w : sv.windows) {
    std::snprintf(buf, sizeof buf, " [%s %ld,%ld %ldx%ld%s%s%s%s]", toUtf8(w.className).c_str(),
                  static_cast<long>(w.visible.left), static_cast<long>(w.visible.top),
                  static_cast<long>(w.visible.right - w.visible.left),
                  static_cast<long>(w.visible.bottom - w.visible.top), w.hasCaption ? "" : " nocaption",
                  w.maximized ? " max" : "", w.topmost ? " top" : "", w.layered ? " layered" : "");
    wins += buf;
  }
  logLine("windows %zu, taskbars%s:%s", sv.windows.size(), bars.c_str(), wins.c_str());
  kovra::Foreground fg = foreground();
  for (auto& o : overlays()) {
    kovra::SurfaceScene scene = kovra::layoutScene(areaOf(*o), sv, fg, primaryDown);
    logLine("monitor %ld,%ld: work %ld,%ld-%ld,%ld, taskbar %s, drift on it %s", o->monitorRect.left,
            o->monitorRect.top, o->workRect.left, o->workRect.top, o->workRect.right, o->workRect.bottom,
            scene.taskbarPresent ? "yes" : "no", scene.taskbarDrift ? "yes" : "no");
  }
}

bool keyDown(int vk) { return (GetAsyncKeyState(vk) & 0x8000) != 0; }

InputSample sampleInput() {
  InputSample in;
  GetCursorPos(&in.cursor);
  bool swapped = GetSystemMetrics(SM_SWAPBUTTON) != 0;
  bool left = keyDown(VK_LBUTTON), right = keyDown(VK_RBUTTON), middle = keyDown(VK_MBUTTON);
  in.primaryDown = swapped ? right : left;
  in.anyButton = in.primaryDown || left || right || middle;
  in.grabMode = grabModeFrom(keyDown(VK_SHIFT), keyDown(VK_LWIN) || keyDown(VK_RWIN), keyDown(VK_TAB),
                             keyDown(VK_ESCAPE), keyDown(VK_MENU), keyDown(VK_CONTROL));
  return in;
}

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

kovra::WorldInput buildWorldInput(const Settings& set, double perfScale) {
  kovra::WorldInput in;
  in.snowfall = set.snowfall;
  in.onWindows = set.onWindows;
  in.sweep = set.sweep;
  in.santa = set.santa;
  in.birds = set.birds;
  in.stars = set.stars;
  in.garland = set.garland;
  // Real weather joins here once the forecast service exists.
  WorldWeather w = worldWeatherFrom(set.weather, false, 0, 0.0f, true, perfScale);
  in.level = w.level;
  in.wind = w.wind;
  in.density = w.density;
  return in;
}

void hideOverlay(MonitorOverlay& o) {
  o.opacity = 0;
  if (o.window) ShowWindow(o.window, SW_HIDE);
  o.shown = false;
  setTakesClicks(o, false);
  if (o.grabbing) {
    o.grabbing = false;
    if (o.world) o.world->dropHeld();
    ReleaseCapture();
  }
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

void statsTick(double t) {
  ShellState& st = shellState();
  uint64_t cpu = processCpu100ns();
  std::optional<StatsPeriod> period = statsPeriodEnd(gStats, t, cpu);
  if (!period) return;
  SYSTEM_INFO si{};
  GetSystemInfo(&si);
  StatsFigures fig;
  fig.fps = period->fps;
  fig.workMs = period->workMs;
  fig.cpuPercent = period->cpuPercent;
  fig.processors = si.dwNumberOfProcessors;
  for (auto& o : overlays()) {
    if (!o->world) continue;
    fig.flakes += o->world->flakeCount();
    fig.drifts += o->world->driftCount();
    fig.balls += o->world->ballCount();
    fig.snowmen += o->world->snowmanCount();
  }
  fig.windows = desktopSurvey().windows.size();
  fig.renderer = currentRenderer() ? currentRenderer()->displayName() : "none";
  fig.displayRate = st.frame.displayRate;
  fig.inStepFps = st.frame.inStepFps;
  fig.lateFrames = st.frame.lateFrames;
  logLine("%s", statsLine(fig).c_str());
  st.frame.lateFrames = 0;
}

void frameTick(double t) {
  ShellState& st = shellState();
  Settings& set = settings();
  double workStart = shellClock();

  guideSnow(t);
  perfWindowUpdate(st.frame, t);
  double dt = frameStep(st.frame, t);
  double wall = wallSeconds();
  double pausedTime = pausedClockUpdate(st.pausedClock, set.paused, wall);

  if (st.recreatePending && t >= st.recreateDue) {
    st.recreatePending = false;
    buildOverlays(false);
  }

  survey(t);
  InputSample input = sampleInput();
  logWindowList(t, input.primaryDown);

  // Twice a second: full-screen applications, work areas and smart-pause reasons.
  probesSample(t);
  if (t - gLastTray > 0.5) {
    gLastTray = t;
    trayUpdate();
    dateFireworks();
  }

  kovra::WorldInput worldInput = buildWorldInput(set, st.frame.perfScale);
  const DesktopSurvey& sv = desktopSurvey();
  // Windows that moved or changed a moment ago keep the frame rate up.
  bool busy = t - sv.lastChange < 0.8;
  bool needsSpeed = false;
  bool anyShown = false;
  const bool smartReason = smartPauseCurrent() != nullptr;

  for (auto& op : overlays()) {
    MonitorOverlay& o = *op;
    if (!o.world) continue;
    FadeDecision fade = decideFade(set.paused, set.garland, o.fullScreenApp, smartReason, o.shown, o.opacity, dt);
    o.world->snowPaused = fade.snowPaused;
    if (fade.action == FadeAction::Hide) hideOverlay(o);
    if (fade.action != FadeAction::Run) continue;
    o.opacity = static_cast<float>(fade.opacity);

    if (o.dirty || o.seenGeneration != sv.generation) {
      kovra::SurfaceScene scene = kovra::layoutScene(areaOf(o), sv, foreground(), input.primaryDown);
      o.world->updateDrifts(scene, worldInput, t);
      o.dirty = false;
      o.seenGeneration = sv.generation;
    }

    AwayCheck away = awayCheck(wall, o.lastVisitWall, pausedTime, o.lastVisitPaused);
    if (away.deposit) {
      int drifts = o.world->awayDeposit(away.away, worldInput);
      logLine("monitor %ld,%ld away %.0f s: +%.1f pt per column on %d drifts", o.monitorRect.left, o.monitorRect.top,
              away.away, o.world->lastAwayDeposit, drifts);
    }
    o.lastVisitWall = wall;
    o.lastVisitPaused = pausedTime;

    kovra::PointerInput pointer;
    const RECT& m = o.monitorRect;
    pointer.inside = cursorInside(input.cursor.x, input.cursor.y, m.left, m.top, m.right, m.bottom);
    double px = 0, py = 0;
    cursorToPoints(input.cursor.x, input.cursor.y, m.left, m.top, o.scale, o.heightDip, px, py);
    pointer.x = static_cast<float>(px);
    pointer.y = static_cast<float>(py);
    pointer.pressed = input.anyButton;
    pointer.grabMode = input.grabMode;

    bool heldBefore = o.world->holding();
    o.world->stepWorld(static_cast<float>(dt), worldInput, pointer, t);
    if (!heldBefore && o.world->holding() && !o.grabbing) {
      if (input.grabMode == 1) {
        logLine("snow grabbed with %s", "Alt (heap)");
        tapUnassignedKey();
      } else {
        logLine("snow grabbed with %s", "Ctrl (snowball)");
      }
    }

    bool grabbable = pointer.inside && o.world->hasGrabbableAt(pointer.x, pointer.y);
    o.pressTaken = pressTakenFrom(o.pressTaken, input.anyButton, o.buttonDown, o.takesClicks);
    o.buttonDown = input.anyButton;
    bool takes = takesClicksFrom(fade.clicksAllowed, o.opacity, o.grabbing, input.anyButton, o.pressTaken,
                                 pointer.inside, grabbable);
    if (takes != o.takesClicks) setTakesClicks(o, takes);

    busy = busyAfterMonitor(busy, o.world->pointerSpeed(), o.world->busy(), o.opacity);
    needsSpeed = needsSpeed || o.world->needsInput();

    Renderer* renderer = currentRenderer();
    if (renderer && !renderer->drawFrame(o)) {
      st.recreatePending = true;
      st.recreateDue = shellClock() + 0.2;
      break;  // what was shown so far stays counted
    }
    if (!o.shown) {
      if (o.window) ShowWindow(o.window, SW_SHOWNOACTIVATE);
      o.shown = true;
    }
    anyShown = true;
  }
  st.anyShown = anyShown;

  // Other topmost windows may have risen above the snow: put it back on top.
  if (t - gTopmostTime >= 2.0) {
    gTopmostTime = t;
    for (auto& o : overlays())
      if (o->shown && o->window)
        SetWindowPos(o->window, HWND_TOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER | SWP_NOSENDCHANGING);
  }

  st.frame.targetFps =
      chooseTargetFps(anyShown, set.fpsMode, needsSpeed, gStats.smoothedWorkMs, busy, set.snowfall, st.softMode, set.paused);

  statsAddFrame(gStats, (shellClock() - workStart) * 1000.0);
  statsTick(t);
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

bool snowActive() {
  ShellState& st = shellState();
  const Settings& set = settings();
  return snowActiveFrom(st.sessionLocked, overlays().size(), set.paused, set.garland, st.anyShown);
}

void requestRebuild(double delaySeconds) {
  ShellState& st = shellState();
  st.recreatePending = true;
  st.recreateDue = shellClock() + delaySeconds;
}

void framePaceNow(double now) {
  ShellState& st = shellState();
  CompositorTiming timing = compositorTiming();
  framePace(st.frame, now, timing, [] { return shellClock(); }, [](double t) { frameTick(t); });
}

int runMainLoop() {
  ShellState& st = shellState();
  for (;;) {
    bool active = snowActive();
    double now = shellClock();
    if (active) {
      double wait = std::max(0.0, st.frame.nextFrameTime - now);
      if (st.waitTimer && st.frame.targetFps >= 20) {
        LARGE_INTEGER due{};
        due.QuadPart = timerDueRelative(wait);
        SetWaitableTimer(st.waitTimer, &due, 0, nullptr, nullptr, FALSE);
        MsgWaitForMultipleObjectsEx(1, &st.waitTimer, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
      } else {
        MsgWaitForMultipleObjectsEx(0, nullptr, waitMilliseconds(wait), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
      }
      if (snowActive()) {
        double t = shellClock();
        if (frameDue(t, st.frame.nextFrameTime)) framePaceNow(t);
      }
    } else {
      MsgWaitForMultipleObjectsEx(0, nullptr, st.recreatePending ? 300 : INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }

    bool quit = false;
    int code = 0;
    pumpMessages(quit, code);
    if (quit) return code;

    now = shellClock();
    if (snowActive()) {
      if (frameDue(now, st.frame.nextFrameTime)) framePaceNow(now);
    } else if (st.recreatePending && now >= st.recreateDue) {
      st.recreatePending = false;
      buildOverlays(false);
    }
  }
}
