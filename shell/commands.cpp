#include "shell/commands.h"

#include "base/log.h"

namespace {

void markMonitorsDirty(AppState& app) {
  for (MonitorState& m : app.monitors) m.dirty = true;
}

void shovelEverywhere(AppState& app) {
  for (MonitorState& m : app.monitors)
    if (m.world) m.world->shovel();
}

// The first world in list order, or that of a primary monitor.
kovra::SnowWorld* targetWorld(AppState& app) {
  kovra::SnowWorld* target = nullptr;
  for (MonitorState& m : app.monitors) {
    if (!m.world) continue;
    if (!target) target = m.world.get();
    if (m.primary) return m.world.get();
  }
  return target;
}

kovra::SnowWorld* worldAt(AppState& app, const CommandContext& c) {
  if (!c.cursorX || !c.cursorY) return nullptr;
  for (MonitorState& m : app.monitors) {
    const PixelRect& r = m.monitorRect;
    if (m.world && *c.cursorX >= r.left && *c.cursorX < r.right && *c.cursorY >= r.top && *c.cursorY < r.bottom)
      return m.world.get();
  }
  return nullptr;
}

void callSanta(kovra::SnowWorld& world) {
  world.callSanta();
  logLine("Santa called");
  // The direction is drawn at random; the log says which way he went.
  const kovra::SantaFlight& f = world.santa;
  if (f.active)
    logLine("santa: flying to the %s, %d gift%s", f.leftToRight ? "right" : "left", f.giftsPlanned,
            f.giftsPlanned == 1 ? "" : "s");
}

void chooseRenderer(AppState& app, int mode, const char* where, Services& services) {
  app.settings.renderMode = mode;
  if (mode == 0) app.forceCompatible = false;
  services.saveSettings(app.settings);
  logLine("renderer chosen in %s: %s", where, mode == 0 ? "A (GPU)" : "B (compatible)");
  services.rebuildOverlays();
}

const char* smoothnessName(int mode) { return mode == 1 ? "30 fps" : mode == 2 ? "60 fps" : "auto"; }

void showAnyway(AppState& app) {
  if (!smartPauseShowAnyway(app.pause)) return;
  logLine("smart pause: shown anyway");
  markMonitorsDirty(app);
}

}  // namespace

void setPaused(AppState& app, bool paused, Services& services, double now) {
  Settings& set = app.settings;
  bool was = set.paused;
  if (paused != was) app.guide.baseBits |= kGuidePauseStep;
  set.paused = paused;
  services.saveSettings(set);
  if (was && !paused) {
    // The snow starts afresh after a pause.
    for (MonitorState& m : app.monitors)
      if (m.world) m.world->reset();
  }
  appResetTiming(app, now);
  services.refreshTray();
  logLine("paused %d", paused ? 1 : 0);
  services.repaintSettingsWindow();
}

void callNow(AppState& app, int kind, Services& services, const CommandContext& context) {
  if (app.settings.paused) setPaused(app, false, services, context.now);
  kovra::SnowWorld* world = targetWorld(app);
  if (!world) return;
  switch (kind) {
    case 0:
      callSanta(*world);
      break;
    case 1:
      if (kovra::SnowWorld* under = worldAt(app, context)) world = under;
      world->callBirds();
      logLine("birds called");
      break;
    case 2:
      world->startFireworks(25.0f);
      logLine("fireworks now");
      break;
    default:
      break;
  }
}

void guideStart(AppState& app, Services& services, double now) {
  app.guide.baseBits = 0;
  app.guide.shownBits = 0;
  for (MonitorState& m : app.monitors)
    if (m.world) m.world->milestones = 0;
  if (app.settings.paused) setPaused(app, false, services, now);
  // Resuming here is the guide's own doing, not a step the user made.
  app.guide.baseBits = 0;
  app.guide.tries = 20;
  app.guide.nextTry = 0;
}

void setSmartPause(AppState& app, bool on, Services& services) {
  if (app.settings.smartPause == on) return;
  app.settings.smartPause = on;
  if (!on) {
    // Switched off, the snow comes back now, not at the next probe sampling.
    bool hadReason = app.pause.current != nullptr;
    app.pause.current = nullptr;
    app.pause.override = nullptr;
    if (hadReason) {
      logLine("smart pause: %s", "off");
      markMonitorsDirty(app);
      services.refreshTray();
      services.repaintSettingsWindow();
    }
  }
}

void applyCommand(AppState& app, Command command, Services& services, const CommandContext& c) {
  Settings& set = app.settings;
  switch (command) {
    case Command::None:
    case Command::ApplyOnly:
      break;
    case Command::TogglePause:
      setPaused(app, !set.paused, services, c.now);
      break;
    case Command::LightSnow:
    case Command::SteadySnow:
    case Command::Blizzard:
      set.weather = static_cast<int>(command) - static_cast<int>(Command::LightSnow);
      services.saveSettings(set);
      break;
    case Command::ToggleOnWindows:
      set.onWindows = !set.onWindows;
      services.saveSettings(set);
      markMonitorsDirty(app);
      break;
    case Command::ToggleSweep:
      set.sweep = !set.sweep;
      services.saveSettings(set);
      break;
    case Command::Shovel:
      shovelEverywhere(app);
      logLine("shovel");
      break;
    case Command::ShovelFromSettings:
      shovelEverywhere(app);
      logLine("shovel (settings window)");
      break;
    case Command::ToggleAutostart:
      services.setAutostart(!services.autostartIsOn());  // logs "autostart on/off"
      break;
    case Command::RendererGpu:
      chooseRenderer(app, 0, "the menu", services);
      break;
    case Command::RendererCompatible:
      chooseRenderer(app, 1, "the menu", services);
      break;
    case Command::OpenLog:
      services.openLog();
      break;
    case Command::Quit:
      services.quit();
      return;  // nothing is left to repaint
    case Command::OpenSettings:
      services.openSettingsWindow();
      break;
    case Command::SecondStart:
      logLine("second start: settings window requested");
      services.openSettingsWindow();
      break;
    case Command::CallSanta:
      callNow(app, 0, services, c);
      break;
    case Command::CallBirds:
      callNow(app, 1, services, c);
      break;
    case Command::Fireworks:
      callNow(app, 2, services, c);
      break;
    case Command::UpdateInstallAndShow:
      services.updateInstall();
      services.openSettingsWindow();
      break;
    case Command::UpdateInstall:
      services.updateInstall();
      break;
    case Command::Contact:
      services.contactMail();
      break;
    case Command::ShowAnyway:
      showAnyway(app);  // logs "smart pause: shown anyway" when a reason was current
      break;
    case Command::FindCity:
      services.findCity(c.city);
      break;
    case Command::GuideOpen:
      app.guideActive = true;
      guideStart(app, services, c.now);
      logLine("guide opened");
      break;
    case Command::GuideClose:
      app.guideActive = false;
      app.guide.tries = 0;
      if (!set.guideSeen) {
        set.guideSeen = true;
        services.saveSettings(set);
      }
      if (set.paused) setPaused(app, false, services, c.now);
      services.repaintSettingsWindow();
      logLine("guide closed — the settings page is shown");
      break;
    case Command::GuideMoreSnow:
      if (c.settingsWindow)
        for (MonitorState& m : app.monitors)
          if (m.world) m.world->snowShower(c.settingsWindow, 260);
      app.guide.tries = 6;
      app.guide.nextTry = 0;
      logLine("guide: more snow");
      break;
    case Command::InstallScreensaver:
      services.installScreensaver();
      break;
    case Command::CheckUpdates:
      services.updateCheck(true);
      break;
    case Command::DownloadTheme:
      services.downloadTheme(c.theme);
      break;
    case Command::DownloadAll:
      services.downloadAll();
      break;
    case Command::FrameKeepAlive:
      services.keepFramesMoving();
      return;  // frames are no change to show
    case Command::PeriodicUpdateCheck:
      services.periodicUpdateCheck();
      return;
    case Command::FirstUpdateCheck:
      services.updateCheck(false);
      return;
    case Command::MinuteCheck:
      services.weatherTick();
      services.wallpaperMinuteCheck();
      return;
  }
  services.repaintSettingsWindow();
}

void applySettingsValues(AppState& app, const SettingsWindowValues& v, Services& services, double now) {
  Settings& set = app.settings;
  bool changed = false;

  services.refreshSystemStates();
  if (v.paused != set.paused) setPaused(app, v.paused, services, now);
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
    markMonitorsDirty(app);
    changed = true;
  }
  // Saved at once like every other value: a program ended from outside (the
  // updater, the uninstaller) must not lose them.
  store(set.sweep, v.sweep);
  store(set.snowfall, v.snowfall);
  store(set.santa, v.santa);
  store(set.birds, v.birds);
  store(set.stars, v.stars);
  if (v.garland != set.garland) {
    set.garland = v.garland;
    appResetTiming(app, now);
    changed = true;
  }
  if (v.fpsMode != set.fpsMode) {
    set.fpsMode = v.fpsMode;
    logLine("smoothness: %s", smoothnessName(v.fpsMode));
    changed = true;
  }
  if (v.smartPause != set.smartPause) {
    setSmartPause(app, v.smartPause, services);
    changed = true;
  }
  if (v.realWeather != services.realWeather()) services.setRealWeather(v.realWeather);
  if (v.wallpaperChoice != services.wallpaperChoice() || v.followTimes != services.wallpaperFollowsTimes())
    services.setWallpaperChoice(v.wallpaperChoice, v.followTimes);
  if (v.autostart != services.autostartIsOn()) services.setAutostart(v.autostart);
  if (v.renderMode != set.renderMode) chooseRenderer(app, v.renderMode, "the settings window", services);
  if (v.language != uiLanguage()) services.setLanguage(v.language);
  if (changed) services.saveSettings(set);
}
