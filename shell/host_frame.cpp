#include "shell/host_frame.h"

#include <cstdarg>
#include <cstdio>

#include "base/log.h"
#include "base/utf.h"

namespace {

QUILLAR_PRINTF(2, 3)
void say(FrameOutput& out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  out.log.push_back(formatTextV(format, args));
  va_end(args);
}

kovra::MonitorArea areaOf(const MonitorState& m) { return {m.monitorRect, m.workRect, m.scale, m.heightDip}; }


// While the first-run guide runs: snow onto the settings window's top edge,
// and the steps the user has done shown as they happen.
void guideSnow(AppState& app, const FrameInput& in, FrameOutput& out) {
  if (!app.guideActive) return;
  GuideState& g = app.guide;
  if (g.tries > 0 && in.t >= g.nextTry) {
    g.tries -= 1;
    g.nextTry = in.t + 0.3;
    bool filled = false;
    if (in.settingsWindow)
      for (MonitorState& m : app.monitors)
        if (m.world && m.world->fillWindowDrift(in.settingsWindow)) filled = true;
    if (filled) g.tries = 0;
  }
  uint32_t bits = g.baseBits;
  for (const MonitorState& m : app.monitors)
    if (m.world) bits |= m.world->milestones;
  if (bits != g.shownBits) {
    g.shownBits = bits;
    out.repaintSettings = true;
  }
}

// The probes' findings per monitor: full-screen applications and work areas.
void probeSampling(AppState& app, const FrameInput& in, FrameOutput& out) {
  bool full = in.probes.fullScreen;
  app.exclusiveFullScreen = full;
  if (full != app.previousFullScreen) {
    app.previousFullScreen = full;
    say(out, "exclusive full-screen / presentation: %d", full ? 1 : 0);
  }
  for (std::size_t i = 0; i < app.monitors.size(); ++i) {
    MonitorState& m = app.monitors[i];
    bool fullApp = full || (in.survey && fullScreenAppOn(m.monitorRect, in.survey->windows, in.foreground,
                                                         in.foregroundRootOwner));
    if (fullApp != m.fullScreenApp) {
      say(out, "monitor %ld,%ld full-screen app: %d", static_cast<long>(m.monitorRect.left),
          static_cast<long>(m.monitorRect.top), fullApp ? 1 : 0);
      m.fullScreenApp = fullApp;
      m.dirty = true;
    }
    if (i < in.workAreas.size() && !(in.workAreas[i] == m.workRect)) {
      m.workRect = in.workAreas[i];
      m.dirty = true;
    }
  }
}

// Every fourth sampling the current smart-pause reason follows the probes.
void smartPauseSampling(AppState& app, const FrameInput& in, FrameOutput& out) {
  if (app.samplings++ % 4 != 0) return;
  std::string text;
  if (smartPauseFollow(app.pause, app.settings.smartPause, in.probes.started, in.probes.reason, text)) {
    say(out, "smart pause: %s", text.c_str());
    for (MonitorState& m : app.monitors) m.dirty = true;
    out.uiChanged = true;
  }
}

// New Year's midnight and the evening salute, checked twice a second.
void dateFireworks(AppState& app, const FrameInput& in, FrameOutput& out) {
  Settings& set = app.settings;
  if (set.paused) return;  // nothing is stored while paused: the show may still come
  const LocalDate& d = in.local;
  if (isNewYearMoment(d.month, d.day, d.hour, d.minute, d.year, set.fireworksYear, set.paused)) {
    set.fireworksYear = d.year;
    out.saveSettings = true;
    for (MonitorState& m : app.monitors)
      if (m.primary && m.world) m.world->startFireworks(70);
    say(out, "Happy New Year %u — fireworks", static_cast<unsigned>(d.year));
  }
  if (app.pause.current) return;
  std::optional<std::string> evening = eveningSaluteDate(d.year, d.month, d.day, d.hour);
  if (!evening || app.eveningFireworks == *evening) return;
  for (MonitorState& m : app.monitors) {
    if (!m.primary || !m.world || !m.shown || m.fullScreenApp || m.opacity <= 0.9f) continue;
    app.eveningFireworks = *evening;
    out.storeEvening = *evening;
    m.world->startFireworks(25);
    say(out, "evening salute (%s)", evening->c_str());
    return;
  }
}

}  // namespace

kovra::WorldInput worldInputFrom(const Settings& set, const WeatherSample& weather, double perfScale) {
  kovra::WorldInput in;
  in.snowfall = set.snowfall;
  in.onWindows = set.onWindows;
  in.sweep = set.sweep;
  in.santa = set.santa;
  in.birds = set.birds;
  in.stars = set.stars;
  in.garland = set.garland;
  WorldWeather w = worldWeatherFrom(set.weather, weather.active, weather.level, weather.wind, weather.snowing, perfScale);
  in.level = w.level;
  in.wind = w.wind;
  in.density = w.density;
  return in;
}

std::vector<std::string> windowListLines(const AppState& app, const DesktopSurvey& sv, uint64_t foreground,
                                         uint64_t foregroundRootOwner, bool primaryDown) {
  std::vector<std::string> lines;
  std::string bars, wins;
  char buf[512];
  for (const PixelRect& r : sv.taskbars) {
    std::snprintf(buf, sizeof buf, " %ld,%ld-%ld,%ld", static_cast<long>(r.left), static_cast<long>(r.top),
                  static_cast<long>(r.right), static_cast<long>(r.bottom));
    bars += buf;
  }
  for (const SurveyedWindow& w : sv.windows) {
    // Class names are other programs' text: no control characters reach the log.
    std::string name = logSafe(utf8FromWide(w.className));
    std::snprintf(buf, sizeof buf, " [%s %ld,%ld %ldx%ld%s%s%s%s]", name.c_str(), static_cast<long>(w.visible.left),
                  static_cast<long>(w.visible.top), static_cast<long>(w.visible.right - w.visible.left),
                  static_cast<long>(w.visible.bottom - w.visible.top), w.hasCaption ? "" : " nocaption",
                  w.maximized ? " max" : "", w.topmost ? " top" : "", w.layered ? " layered" : "");
    wins += buf;
  }
  std::string first = "windows " + std::to_string(sv.windows.size()) + ", taskbars" + bars + ":" + wins;
  lines.push_back(first);
  kovra::Foreground fg{foreground, foregroundRootOwner};
  for (const MonitorState& m : app.monitors) {
    kovra::SurfaceScene scene = kovra::layoutScene(areaOf(m), sv, fg, primaryDown);
    std::snprintf(buf, sizeof buf, "monitor %ld,%ld: work %ld,%ld-%ld,%ld, taskbar %s, drift on it %s",
                  static_cast<long>(m.monitorRect.left), static_cast<long>(m.monitorRect.top),
                  static_cast<long>(m.workRect.left), static_cast<long>(m.workRect.top),
                  static_cast<long>(m.workRect.right), static_cast<long>(m.workRect.bottom),
                  scene.taskbarPresent ? "yes" : "no", scene.taskbarDrift ? "yes" : "no");
    lines.emplace_back(buf);
  }
  return lines;
}

FrameOutput hostFrame(AppState& app, const FrameInput& in) {
  FrameOutput out;
  Settings& set = app.settings;
  const double t = in.t;
  app.fates = in.fates;
  static const DesktopSurvey kNoSurvey;
  const DesktopSurvey& sv = in.survey ? *in.survey : kNoSurvey;

  guideSnow(app, in, out);
  perfWindowUpdate(app.frame, t);
  double dt = frameStep(app.frame, t);
  double pausedTime = pausedClockUpdate(app.pausedClock, set.paused, in.wall);

  // The window list and each monitor's surfaces, after a change, at most every 10 s.
  if (sv.generation != app.loggedGeneration && t - app.windowLogTime > 10.0) {
    app.loggedGeneration = sv.generation;
    app.windowLogTime = t;
    for (std::string& line : windowListLines(app, sv, in.foreground, in.foregroundRootOwner, in.primaryDown))
      out.log.push_back(std::move(line));
  }

  // Twice a second: full-screen applications, work areas and smart-pause reasons.
  bool probeDue = t - app.lastProbe > 0.5;
  if (probeDue) {
    app.lastProbe = t;
    probeSampling(app, in, out);
  }
  if (t - app.lastTray > 0.5) {
    app.lastTray = t;
    out.updateTray = true;
    dateFireworks(app, in, out);
  }
  if (probeDue) smartPauseSampling(app, in, out);

  kovra::WorldInput worldInput = worldInputFrom(set, in.weather, app.frame.perfScale);
  const int followed = in.weather.active ? in.weather.level + (in.weather.snowing ? 0 : 3) : -1;
  if (followed != app.weatherFollowed) {
    app.weatherFollowed = followed;
    if (in.weather.active)
      say(out, "the snow follows the weather: level %d, wind %.2f%s", in.weather.level,
          static_cast<double>(in.weather.wind), in.weather.snowing ? "" : ", no snow outside");
    else
      say(out, "the snow follows the settings: level %d", set.weather);
  }
  // Windows that moved or changed a moment ago keep the frame rate up.
  bool busy = t - sv.lastChange < 0.8;
  bool needsSpeed = false;
  bool anyShown = false;
  const bool smartReason = app.pause.current != nullptr;
  kovra::Foreground fg{in.foreground, in.foregroundRootOwner};

  out.monitors.resize(app.monitors.size());
  for (std::size_t i = 0; i < app.monitors.size(); ++i) {
    MonitorState& m = app.monitors[i];
    MonitorOutput& mo = out.monitors[i];
    mo.wasShown = m.shown;
    mo.takesClicks = m.takesClicks;
    if (!m.world) continue;
    FadeDecision fade = decideFade(set.paused, set.garland, m.fullScreenApp, smartReason, m.shown, m.opacity, dt);
    m.world->snowPaused = fade.snowPaused;
    if (fade.action == FadeAction::Hide) {
      m.opacity = 0;
      mo.hide = m.shown;
      m.shown = false;
      if (m.takesClicks) {
        m.takesClicks = false;
        mo.clicksChanged = true;
        mo.takesClicks = false;
        if (app.clickSwitchesLogged < 3) {
          ++app.clickSwitchesLogged;
          say(out, "snow under the cursor: overlay %s", "lets clicks through");
        }
      }
      if (m.grabbing) {
        m.grabbing = false;
        m.world->dropHeld();
        mo.releaseCapture = true;
      }
    }
    if (fade.action != FadeAction::Run) continue;
    m.opacity = static_cast<float>(fade.opacity);

    if (m.dirty || m.seenGeneration != sv.generation) {
      kovra::SurfaceScene scene = kovra::layoutScene(areaOf(m), sv, fg, in.primaryDown);
      m.world->updateDrifts(scene, worldInput, t);
      m.dirty = false;
      m.seenGeneration = sv.generation;
    }

    AwayCheck away = awayCheck(in.wall, m.lastVisitWall, pausedTime, m.lastVisitPaused);
    if (away.deposit) {
      int drifts = m.world->awayDeposit(away.away, worldInput);
      say(out, "monitor %ld,%ld away %.0f s: +%.1f pt per column on %d drifts", static_cast<long>(m.monitorRect.left),
          static_cast<long>(m.monitorRect.top), away.away, m.world->lastAwayDeposit, drifts);
    }
    m.lastVisitWall = in.wall;
    m.lastVisitPaused = pausedTime;

    kovra::PointerInput pointer;
    const PixelRect& r = m.monitorRect;
    pointer.inside = cursorInside(in.cursorX, in.cursorY, r.left, r.top, r.right, r.bottom);
    double px = 0, py = 0;
    cursorToPoints(in.cursorX, in.cursorY, r.left, r.top, m.scale, m.heightDip, px, py);
    pointer.x = static_cast<float>(px);
    pointer.y = static_cast<float>(py);
    pointer.pressed = in.anyButton;
    pointer.grabMode = in.grabMode;

    bool heldBefore = m.world->holding();
    m.world->stepWorld(static_cast<float>(dt), worldInput, pointer, t);
    if (!heldBefore && m.world->holding() && !m.grabbing) {
      if (in.grabMode == 1) {
        say(out, "snow grabbed with %s", "Alt (heap)");
        out.tapUnassignedKey = true;
      } else {
        say(out, "snow grabbed with %s", "Ctrl (snowball)");
      }
    }

    bool grabbable = pointer.inside && m.world->hasGrabbableAt(pointer.x, pointer.y);
    m.pressTaken = pressTakenFrom(m.pressTaken, in.anyButton, m.buttonDown, m.takesClicks);
    m.buttonDown = in.anyButton;
    bool takes = takesClicksFrom(fade.clicksAllowed, m.opacity, m.grabbing, in.anyButton, m.pressTaken,
                                 pointer.inside, grabbable);
    if (takes != m.takesClicks) {
      m.takesClicks = takes;
      mo.clicksChanged = true;
      if (app.clickSwitchesLogged < 3) {
        ++app.clickSwitchesLogged;
        say(out, "snow under the cursor: overlay %s", takes ? "takes clicks" : "lets clicks through");
      }
    }
    mo.takesClicks = m.takesClicks;

    busy = busyAfterMonitor(busy, m.world->pointerSpeed(), m.world->busy(), m.opacity);
    needsSpeed = needsSpeed || m.world->needsInput();

    mo.draw = true;
    mo.opacity = m.opacity;
    m.shown = true;
    anyShown = true;
  }
  app.anyShown = anyShown;

  // Other topmost windows may have risen above the snow: put it back on top.
  if (t - app.topmostTime >= 2.0) {
    app.topmostTime = t;
    out.reassertTopmost = true;
  }

  app.frame.targetFps = chooseTargetFps(anyShown, set.fpsMode, needsSpeed, app.stats.smoothedWorkMs, busy,
                                        set.snowfall, app.softMode, set.paused);
  out.targetFps = app.frame.targetFps;
  return out;
}

void hostFrameDrawFailed(AppState& app, const FrameOutput& out, std::size_t failedAt, double now) {
  bool anyShown = false;
  for (std::size_t i = 0; i < app.monitors.size() && i < out.monitors.size(); ++i) {
    if (i >= failedAt) {
      app.monitors[i].shown = out.monitors[i].wasShown;
    } else if (out.monitors[i].draw) {
      anyShown = true;
    }
  }
  app.anyShown = anyShown;  // what was shown so far stays counted
  appRequestRebuild(app, now, 0.2);
}

std::string hostFrameRendererGaveUp(AppState& app, double now) {
  app.forceCompatible = true;
  appRequestRebuild(app, now, 0.05);
  return "GPU mode draws nothing that reaches the screen — switching to the compatible mode B";
}

std::optional<std::string> hostFrameDone(AppState& app, double t, const FrameCost& cost) {
  statsAddFrame(app.stats, cost.workMs);
  std::optional<StatsPeriod> period = statsPeriodEnd(app.stats, t, cost.cpu100ns);
  if (!period) return std::nullopt;
  StatsFigures fig;
  fig.fps = period->fps;
  fig.workMs = period->workMs;
  fig.cpuPercent = period->cpuPercent;
  fig.processors = cost.processors;
  for (const MonitorState& m : app.monitors) {
    if (!m.world) continue;
    fig.flakes += m.world->flakeCount();
    fig.drifts += m.world->driftCount();
    fig.balls += m.world->ballCount();
    fig.snowmen += m.world->snowmanCount();
  }
  fig.windows = cost.windows;
  fig.renderer = cost.renderer;
  fig.displayRate = app.frame.displayRate;
  fig.inStepFps = app.frame.inStepFps;
  fig.lateFrames = app.frame.lateFrames;
  app.frame.lateFrames = 0;
  return statsLine(fig);
}
