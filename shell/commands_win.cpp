// The command tables of the tray menu and the settings window, and the
// shell actions they share.
#include "shell/commands_win.h"

#include <windows.h>

#include <shellapi.h>

#include <set>
#include <string>

#include "desktop/probes_win.h"
#include "render/overlay_win.h"
#include "base/log.h"
#include "base/log_win.h"
#include "base/settings.h"
#include "base/settings_win.h"
#include "shell/shell_win.h"
#include "shell/tray_win.h"
#include "ui/menu_model.h"

namespace {

// ------------------------------------------------------------------------
// Services that this build does not have yet. Each says so once in the log
// and leaves everything as it is.

void notInThisBuild(const char* what) {
  static std::set<std::string> told;
  if (told.insert(what).second) logLine("%s: not available in this build", what);
}

void openSettingsWindowNow() { notInThisBuild("settings window"); }
void callSanta(kovra::SnowWorld& world) {
  world.callSanta();
  logLine("Santa called");
  // The direction is drawn at random; the log says which way he went.
  const kovra::SantaFlight& f = world.santa;
  if (f.active)
    logLine("santa: flying to the %s, %d gift%s", f.leftToRight ? "right" : "left", f.giftsPlanned,
            f.giftsPlanned == 1 ? "" : "s");
}
void callBirds(kovra::SnowWorld& world) {
  world.callBirds();
  logLine("birds called");
}
void startFireworks(kovra::SnowWorld& world, int count) {
  world.startFireworks(static_cast<float>(count));
  logLine("fireworks now");
}
void updateInstall() { notInThisBuild("update install"); }
void updateCheck(bool /*askedByUser*/) { notInThisBuild("update check"); }
void periodicUpdateCheck() { notInThisBuild("update check"); }
void weatherTick() { notInThisBuild("real weather"); }
void wallpaperMinuteCheck() { notInThisBuild("wallpapers"); }
bool realWeatherOn() { return false; }
void setRealWeather(bool) { notInThisBuild("real weather"); }
void weatherFindCity(const std::string&) { notInThisBuild("city search"); }
int wallpaperChoiceNow() { return -1; }
bool wallpaperFollowsTimes() { return false; }
void setWallpaperChoice(int, bool) { notInThisBuild("wallpapers"); }
void installScreensaver() { notInThisBuild("screensaver install"); }
void requestThemeDownload(int) { notInThisBuild("theme download"); }
void downloadAll() { notInThisBuild("theme download"); }
void settingsWindowRefreshSystemStates() {}

// ------------------------------------------------------------------------

GuideState gGuide;

void markOverlaysDirty() {
  for (auto& o : overlays()) o->dirty = true;
}

void shovelEverywhere() {
  for (auto& o : overlays())
    if (o->world) o->world->shovel();
}

// The first world in list order, or that of a primary monitor.
kovra::SnowWorld* targetWorld() {
  kovra::SnowWorld* target = nullptr;
  for (auto& o : overlays()) {
    if (!o->world) continue;
    if (!target) target = o->world.get();
    if (o->primary) return o->world.get();
  }
  return target;
}

kovra::SnowWorld* worldUnderCursor() {
  POINT pt{};
  if (!GetCursorPos(&pt)) return nullptr;
  for (auto& o : overlays())
    if (o->world && PtInRect(&o->monitorRect, pt)) return o->world.get();
  return nullptr;
}

void chooseRenderer(int mode, const char* where) {
  Settings& set = settings();
  set.renderMode = mode;
  if (mode == 0) shellState().forceCompatible = false;
  settingsSave(set);
  logLine("renderer chosen in %s: %s", where, mode == 0 ? "A (GPU)" : "B (compatible)");
  buildOverlays(false);
}

const char* smoothnessName(int mode) { return mode == 1 ? "30 fps" : mode == 2 ? "60 fps" : "auto"; }

}  // namespace

GuideState& guideState() { return gGuide; }

void openSettingsWindow() { openSettingsWindowNow(); }
void settingsWindowRepaint() {}
uint64_t settingsWindowId() { return 0; }

void openLog() {
  const std::wstring& path = logPath();
  if (path.empty()) return;
  ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void callNow(int kind) {
  if (settings().paused) setPaused(false);
  kovra::SnowWorld* world = targetWorld();
  if (!world) return;
  switch (kind) {
    case 0:
      callSanta(*world);
      break;
    case 1:
      if (kovra::SnowWorld* under = worldUnderCursor()) world = under;
      callBirds(*world);
      break;
    case 2:
      startFireworks(*world, 25);
      break;
    default:
      break;
  }
}

void guideStart() {
  gGuide.baseBits = 0;
  gGuide.shownBits = 0;
  for (auto& o : overlays())
    if (o->world) o->world->milestones = 0;
  if (settings().paused) setPaused(false);
  // Resuming here is the guide's own doing, not a step the user made.
  gGuide.baseBits = 0;
  gGuide.tries = 20;
  gGuide.nextTry = 0;
}

void applyLanguage(int index) {
  languageSet(index);
  trayForgetTooltip();
  trayUpdate();
  settingsWindowRepaint();
}

void menuCommand(int id) {
  Settings& set = settings();
  switch (id) {
    case kCmdPause:
      setPaused(!set.paused);
      break;
    case kCmdLightSnow:
    case kCmdSteadySnow:
    case kCmdBlizzard:
      set.weather = id - kCmdLightSnow;
      settingsSave(set);
      break;
    case kCmdOnWindows:
      set.onWindows = !set.onWindows;
      settingsSave(set);
      markOverlaysDirty();
      break;
    case kCmdSweep:
      set.sweep = !set.sweep;
      settingsSave(set);
      break;
    case kCmdShovel:
      shovelEverywhere();
      logLine("shovel");
      break;
    case kCmdAutostart:
      autostartSet(!autostartIsOn());  // logs "autostart on/off"
      break;
    case kCmdRendererGpu:
      chooseRenderer(0, "the menu");
      break;
    case kCmdRendererCompatible:
      chooseRenderer(1, "the menu");
      break;
    case kCmdOpenLog:
      openLog();
      break;
    case kCmdQuit:
      if (HWND main = shellState().mainWindow) DestroyWindow(main);
      return;  // nothing is left to repaint
    case kCmdOpenSettings:
      openSettingsWindow();
      break;
    case kCmdCallSanta:
      callNow(0);
      break;
    case kCmdCallBirds:
      callNow(1);
      break;
    case kCmdFireworks:
      callNow(2);
      break;
    case kCmdUpdateInstall:
      updateInstall();
      openSettingsWindow();
      break;
    case kCmdContact:
      contactMail();
      break;
    case kCmdShowAnyway:
      smartPauseOverride();  // logs "smart pause: shown anyway" when a reason was current
      break;
    default:
      break;
  }
  settingsWindowRepaint();
}

void settingsWindowCommand(const SettingsWindowValues& v, int command) {
  ShellState& st = shellState();
  Settings& set = settings();
  bool changed = false;

  settingsWindowRefreshSystemStates();
  if (v.paused != set.paused) setPaused(v.paused);
  auto store = [&changed](auto& field, auto value) {
    if (field == value) return;
    field = value;
    changed = true;
  };
  store(set.weather, v.weather);
  store(set.amount, v.amount);
  store(set.wind, v.wind);
  if (v.onWindows != set.onWindows) {
    set.onWindows = v.onWindows;
    markOverlaysDirty();
    changed = true;
  }
  // These reach the worlds with the next frame; they are written with the
  // next save, at the latest when the program ends.
  set.sweep = v.sweep;
  set.snowfall = v.snowfall;
  set.santa = v.santa;
  set.birds = v.birds;
  set.stars = v.stars;
  if (v.garland != set.garland) {
    set.garland = v.garland;
    st.frame.lastFrameTime = 0;
    st.frame.nextFrameTime = shellClock();
    changed = true;
  }
  if (v.fpsMode != set.fpsMode) {
    set.fpsMode = v.fpsMode;
    logLine("smoothness: %s", smoothnessName(v.fpsMode));
    changed = true;
  }
  if (v.smartPause != set.smartPause) {
    // Switched off, the probes drop the current reason at their next sampling.
    set.smartPause = v.smartPause;
    changed = true;
  }
  if (v.realWeather != realWeatherOn()) setRealWeather(v.realWeather);
  if (v.wallpaperChoice != wallpaperChoiceNow() || v.followTimes != wallpaperFollowsTimes())
    setWallpaperChoice(v.wallpaperChoice, v.followTimes);
  if (v.autostart != autostartIsOn()) autostartSet(v.autostart);
  if (v.renderMode != set.renderMode) chooseRenderer(v.renderMode, "the settings window");
  if (v.language != uiLanguage()) {
    languageSet(v.language);
    trayForgetTooltip();
    trayUpdate();
  }
  if (changed) settingsSave(set);

  switch (command) {
    case 1:
      shovelEverywhere();
      logLine("shovel (settings window)");
      break;
    case 2:
      openLog();
      break;
    case 6:
    case 7:
    case 8:
      callNow(command - 6);
      break;
    case 9:
      weatherFindCity(v.city);
      break;
    case 11:
      st.guideActive = true;
      guideStart();
      logLine("guide opened");
      break;
    case 12:
      st.guideActive = false;
      gGuide.tries = 0;
      if (!set.guideSeen) {
        set.guideSeen = true;
        settingsSave(set);
      }
      if (set.paused) setPaused(false);
      settingsWindowRepaint();
      logLine("guide closed — the settings page is shown");
      break;
    case 13:
      if (uint64_t window = settingsWindowId()) {
        for (auto& o : overlays())
          if (o->world) o->world->snowShower(window, 260);
      }
      gGuide.tries = 6;
      gGuide.nextTry = 0;
      logLine("guide: more snow");
      break;
    case 14:
      installScreensaver();
      break;
    case 15:
      updateCheck(true);
      break;
    case 16:
      updateInstall();
      break;
    case 17:
      smartPauseOverride();
      break;
    case 18:
      requestThemeDownload(v.selectedTheme);
      break;
    case 19:
      downloadAll();
      break;
    case 22:
      contactMail();
      break;
    default:
      break;
  }
}

void timerFirstUpdateCheck() { updateCheck(false); }
void timerPeriodicUpdateCheck() { periodicUpdateCheck(); }
void timerMinute() {
  weatherTick();
  wallpaperMinuteCheck();
}
