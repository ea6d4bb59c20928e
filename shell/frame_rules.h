#pragma once
// The decisions of the frame tick that need no window, world or clock:
// pause bookkeeping, away snow, fades, frame rate, modifier keys, weather
// inputs, the statistics line and the date fireworks.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// The frames run while the session is unlocked, overlays exist and something
// is to be seen: snow not paused, the garland on, or an overlay still fading out.
bool snowActiveFrom(bool sessionLocked, std::size_t overlayCount, bool paused, bool garland, bool anyShown);

// Time spent paused, on the wall clock (seconds since 1601).
struct PausedClock {
  double pauseStart = 0;  // 0 = not paused
  double pausedTotal = 0;
};
// Books this tick's pause state and returns the paused time so far
// (finished pauses plus the current one).
double pausedClockUpdate(PausedClock& c, bool paused, double wall);

// Time a monitor's world missed, less the time the snow was paused. Snow is
// added only for a known last visit and 2 s < away < 30 days; a wall clock
// that jumped or went backwards gives nothing.
struct AwayCheck {
  double away;
  bool deposit;
};
AwayCheck awayCheck(double wall, double lastVisitWall, double pausedTime, double lastVisitPaused);

// What one overlay does this tick.
enum class FadeAction { Skip, Hide, Run };
struct FadeDecision {
  FadeAction action = FadeAction::Skip;
  double opacity = 0;       // the overlay's new opacity (0 after Hide)
  bool snowPaused = false;  // the world's snow-paused mode
  bool clicksAllowed = false;
};
// reason: a smart-pause reason is current.
FadeDecision decideFade(bool paused, bool garland, bool fullScreenApp, bool reason, bool shown, double opacity,
                        double dt);

// Whether the buttons held now are a press on the overlay: one that went down
// while the overlay was taking clicks. The tick can see such a button down
// before the press's message has reached the overlay.
bool pressTakenFrom(bool takenBefore, bool anyButtonDown, bool buttonDownBefore, bool tookClicks);

// Whether the overlay should take mouse clicks this frame. A button held down
// makes it let clicks through unless that button is its own press: otherwise
// a drag begun elsewhere would be caught by the snow it passes over.
bool takesClicksFrom(bool clicksAllowed, double opacity, bool grabbing, bool anyButtonDown, bool pressTaken,
                     bool inside, bool grabbableAtCursor);

// Folds one monitor into the tick's busy flag.
bool busyAfterMonitor(bool busy, double pointerSpeed, bool worldBusy, double opacity);

// Cursor (virtual-screen pixels) against a monitor rectangle: left and top
// inclusive, right and bottom exclusive.
bool cursorInside(long x, long y, long left, long top, long right, long bottom);
// Cursor to world points of that monitor (y up from the bottom edge).
void cursorToPoints(long x, long y, long left, long top, double scale, double heightDip, double& px, double& py);

// Next target frame rate. fpsMode: 0 auto, 1 thirty, 2 sixty.
int chooseTargetFps(bool anyShown, int fpsMode, bool needsSpeed, double smoothedWorkMs, bool busy, bool snowfall,
                    bool softMode, bool paused);

// 0 none, 1 heap (Alt), 2 snowball (Ctrl). Shift, a Windows key, Tab or Esc
// suppresses both so that shortcuts never grab snow.
int grabModeFrom(bool shift, bool win, bool tab, bool esc, bool alt, bool ctrl);

// Wind of a snowfall level: 0.06 / 0.14 / 0.7.
float windForLevel(int level);

// Snowfall level, wind and density handed to the worlds this frame.
struct WorldWeather {
  int level = 0;
  float wind = 0;
  float density = 1;
};
// weatherActive: the real-weather option is on and a forecast is held; the
// reading fields are used only then.
WorldWeather worldWeatherFrom(int settingsWeather, bool weatherActive, int readingLevel, float readingWind,
                              bool readingSnowing, double perfScale);

// Running totals behind the statistics line.
struct FrameStats {
  int frames = 0;
  double workMsSum = 0;
  double smoothedWorkMs = 0;
  double start = 0;  // 0 = not started
  uint64_t cpuAtStart = 0;  // process CPU time, 100-ns units
};
// Books the work time of one frame.
void statsAddFrame(FrameStats& s, double workMs);
struct StatsPeriod {
  double fps;
  double workMs;      // per frame
  double cpuPercent;  // of one core
};
// On the first call only starts the period. Once 30 s are full returns the
// period's figures and starts the next period (frame count and work sum back
// to 0, start := t, CPU time := cpuNow). The caller resets lateFrames.
std::optional<StatsPeriod> statsPeriodEnd(FrameStats& s, double t, uint64_t cpuNow100ns);

struct StatsFigures {
  double fps = 0;
  double workMs = 0;
  double cpuPercent = 0;
  unsigned long processors = 1;
  int flakes = 0;
  int drifts = 0;
  std::size_t windows = 0;
  int balls = 0;
  int snowmen = 0;
  std::string renderer;
  double displayRate = 0;
  double inStepFps = 0;
  int lateFrames = 0;
};
// The text of the statistics line.
std::string statsLine(const StatsFigures& f);

// The New Year show: 1 January, 00:00 or 00:01, not yet shown this year, not paused.
bool isNewYearMoment(int month, int day, int hour, int minute, int year, int storedYear, bool paused);

// The evening a salute belongs to, as "YYYY-MM-DD": from 19:00 the day itself,
// from 0:00 to 5:59 the day before; in the daytime nothing.
std::optional<std::string> eveningSaluteDate(int year, int month, int day, int hour);

// Civil calendar helpers.
bool isLeapYear(int year);
int daysInMonth(int year, int month);
void previousDay(int& year, int& month, int& day);
