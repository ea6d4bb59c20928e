#include "shell/frame_rules.h"

#include <algorithm>

#include "base/log.h"  // formatText

namespace {

constexpr double kFadeIn = 0.6;    // seconds for a full fade-in
constexpr double kFadeOut = 0.45;  // seconds for a full fade-out
constexpr double kAwayMin = 2.0;
constexpr double kAwayMax = 2592000.0;  // 30 days
constexpr double kStatsPeriod = 30.0;

}  // namespace

bool snowActiveFrom(bool sessionLocked, std::size_t overlayCount, bool paused, bool garland, bool anyShown) {
  if (sessionLocked || overlayCount == 0) return false;
  return !paused || garland || anyShown;
}

double pausedClockUpdate(PausedClock& c, bool paused, double wall) {
  double current = 0;
  if (paused) {
    if (c.pauseStart == 0) c.pauseStart = wall;
    current = std::max(0.0, wall - c.pauseStart);
  } else if (c.pauseStart != 0) {
    c.pausedTotal += std::max(0.0, wall - c.pauseStart);
    c.pauseStart = 0;
  }
  return c.pausedTotal + current;
}

AwayCheck awayCheck(double wall, double lastVisitWall, double pausedTime, double lastVisitPaused) {
  if (!(lastVisitWall > 0)) return {0, false};
  double away = (wall - lastVisitWall) - (pausedTime - lastVisitPaused);
  return {away, away > kAwayMin && away < kAwayMax};
}

FadeDecision decideFade(bool paused, bool garland, bool fullScreenApp, bool reason, bool shown, double opacity,
                        double dt) {
  FadeDecision d;
  d.opacity = opacity;
  auto fadeIn = [&](bool clicks) {
    d.opacity = std::min(1.0, opacity + dt / kFadeIn);
    d.action = FadeAction::Run;
    d.clicksAllowed = clicks;
  };
  auto hide = [&] {
    d.opacity = 0;
    d.action = FadeAction::Hide;
  };
  auto fadeOutOrSkip = [&] {
    if (!shown) return;  // already hidden: nothing to do
    if (fullScreenApp) return hide();
    d.opacity = opacity - dt / kFadeOut;
    if (d.opacity <= 0) return hide();
    d.action = FadeAction::Run;  // still fading: drawn, but never takes clicks
  };

  if (paused && garland && !fullScreenApp && !reason) {
    // Garland only: the world fades its snow itself and keeps the lights.
    d.snowPaused = true;
    fadeIn(false);
  } else if (paused) {
    fadeOutOrSkip();
  } else if (fullScreenApp) {
    if (shown) hide();
  } else if (reason) {
    fadeOutOrSkip();
  } else {
    fadeIn(true);
  }
  return d;
}

bool pressTakenFrom(bool takenBefore, bool anyButtonDown, bool buttonDownBefore, bool tookClicks) {
  return anyButtonDown && (takenBefore || (!buttonDownBefore && tookClicks));
}

bool takesClicksFrom(bool clicksAllowed, double opacity, bool grabbing, bool anyButtonDown, bool pressTaken,
                     bool inside, bool grabbableAtCursor) {
  return clicksAllowed && opacity > 0.5 &&
         (grabbing || ((!anyButtonDown || pressTaken) && inside && grabbableAtCursor));
}

bool busyAfterMonitor(bool busy, double pointerSpeed, bool worldBusy, double opacity) {
  return pointerSpeed > 250 || worldBusy || opacity < 1 || busy;
}

bool cursorInside(long x, long y, long left, long top, long right, long bottom) {
  return x >= left && x < right && y >= top && y < bottom;
}

void cursorToPoints(long x, long y, long left, long top, double scale, double heightDip, double& px, double& py) {
  if (!(scale > 0)) scale = 1;
  px = static_cast<double>(x - left) / scale;
  py = heightDip - static_cast<double>(y - top) / scale;
}

int chooseTargetFps(bool anyShown, int fpsMode, bool needsSpeed, double smoothedWorkMs, bool busy, bool snowfall,
                    bool softMode, bool paused) {
  // Quick input response is worth 60 fps only while frames are cheap.
  needsSpeed = needsSpeed && smoothedWorkMs < 9.0;
  if (!anyShown) return 2;
  int fps;
  if (fpsMode == 1) {
    fps = 30;
  } else if (fpsMode == 2) {
    fps = 60;
  } else {
    fps = (!needsSpeed && ((!busy && !snowfall) || softMode)) ? 30 : 60;
  }
  if (paused) fps = 30;
  return fps;
}

int grabModeFrom(bool shift, bool win, bool tab, bool esc, bool alt, bool ctrl) {
  if (shift || win || tab || esc) return 0;
  if (alt && !ctrl) return 1;
  if (ctrl && !alt) return 2;
  return 0;
}

float windForLevel(int level) {
  if (level == 0) return 0.06f;
  if (level == 1) return 0.14f;
  return 0.7f;
}

WorldWeather worldWeatherFrom(int settingsWeather, bool weatherActive, int readingLevel, float readingWind,
                              bool readingSnowing, double perfScale) {
  WorldWeather w;
  w.level = settingsWeather;
  w.density = 1.0f;
  w.wind = windForLevel(w.level);
  if (weatherActive) {
    w.level = readingLevel;
    w.wind = readingWind;
    if (!readingSnowing) w.density = 0.3f;
  }
  w.density = w.density * static_cast<float>(perfScale);
  return w;
}

void statsAddFrame(FrameStats& s, double workMs) {
  s.frames += 1;
  s.workMsSum += workMs;
  s.smoothedWorkMs = 0.9 * s.smoothedWorkMs + 0.1 * workMs;
}

std::optional<StatsPeriod> statsPeriodEnd(FrameStats& s, double t, uint64_t cpuNow100ns) {
  if (s.start == 0) {
    s.start = t;
    s.cpuAtStart = cpuNow100ns;
    return std::nullopt;
  }
  const double length = t - s.start;
  if (length < kStatsPeriod) return std::nullopt;
  // A CPU counter that went backwards (it should not) counts as idle.
  const double cpu = cpuNow100ns >= s.cpuAtStart ? static_cast<double>(cpuNow100ns - s.cpuAtStart) : 0.0;
  StatsPeriod p;
  p.fps = s.frames / length;
  p.workMs = s.workMsSum / std::max(1, s.frames);
  p.cpuPercent = cpu / (1e7 * length) * 100.0;
  s.frames = 0;
  s.workMsSum = 0;
  s.start = t;
  s.cpuAtStart = cpuNow100ns;
  return p;
}

std::string statsLine(const StatsFigures& f) {
  const unsigned long processors = std::max(1UL, f.processors);
  return formatText(
      "stats: %.1f fps, %.2f ms/frame work, CPU %.1f%% of one core (%.2f%% of all %lu), flakes %d, drifts %d, "
      "windows %zu, balls %d, snowmen %d, %s, display %.0f Hz, in step %.0f fps, late %d",
      f.fps, f.workMs, f.cpuPercent, f.cpuPercent / static_cast<double>(processors), processors, f.flakes, f.drifts, f.windows, f.balls,
      f.snowmen, f.renderer.c_str(), f.displayRate, f.inStepFps, f.lateFrames);
}

bool isNewYearMoment(int month, int day, int hour, int minute, int year, int storedYear, bool paused) {
  return month == 1 && day == 1 && hour == 0 && (minute == 0 || minute == 1) && year != storedYear && !paused;
}

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  if (month == 2 && isLeapYear(year)) return 29;
  return kDays[month - 1];
}

void previousDay(int& year, int& month, int& day) {
  if (day > 1) {
    day -= 1;
    return;
  }
  if (month > 1) {
    month -= 1;
  } else {
    month = 12;
    year -= 1;
  }
  day = daysInMonth(year, month);
}

std::optional<std::string> eveningSaluteDate(int year, int month, int day, int hour) {
  if (hour >= 6 && hour < 19) return std::nullopt;
  // After midnight the salute still belongs to the evening before.
  if (hour < 6) previousDay(year, month, day);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u", static_cast<unsigned>(year), static_cast<unsigned>(month),
                static_cast<unsigned>(day));
  return std::string(buf);
}
