#pragma once
// One frame of the resident program without Windows: the Win32 layer samples
// a FrameInput, hostFrame decides and steps everything, and the Win32 layer
// applies the FrameOutput (windows shown or hidden, clicks, drawing, the tray,
// the registry). Recorded inputs replay through the same function.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "desktop/survey.h"
#include "shell/app.h"

struct LocalDate {
  int year = 2026, month = 1, day = 1, hour = 12, minute = 0;
};

// The forecast as the frame uses it.
struct WeatherSample {
  bool active = false;  // the real-weather option is on and a forecast is held
  int level = 1;
  float wind = 0;
  bool snowing = true;
};

struct FrameInput {
  double t = 0;      // frame time
  double wall = 0;   // wall clock, seconds since 1601
  LocalDate local;   // the local date and time
  // The window survey (desktop/survey_win.h), with the foreground window and
  // its root owner.
  const DesktopSurvey* survey = nullptr;
  uint64_t foreground = 0;
  uint64_t foregroundRootOwner = 0;
  // Cursor in virtual-screen pixels, buttons and the grab modifier (grabModeFrom).
  long cursorX = 0, cursorY = 0;
  bool anyButton = false;
  bool primaryDown = false;
  int grabMode = 0;
  ProbeReading probes;
  // The work area of each monitor, in app.monitors order (missing: unchanged).
  std::vector<PixelRect> workAreas;
  std::vector<FateAnswer> fates;
  WeatherSample weather;
  uint64_t settingsWindow = 0;  // the settings window's id, 0 while closed
};

struct MonitorOutput {
  bool hide = false;          // hide the window (it was shown)
  bool releaseCapture = false;  // it was grabbing: give the mouse back
  bool draw = false;          // draw the world and show the window if hidden
  bool wasShown = false;      // `shown` before this frame
  bool clicksChanged = false; // switch the window's click-through to `takesClicks`
  bool takesClicks = false;
  float opacity = 0;
};

struct FrameOutput {
  std::vector<MonitorOutput> monitors;  // app.monitors order
  std::vector<std::string> log;         // lines to write, in order
  bool updateTray = false;              // twice a second
  bool uiChanged = false;               // what the tray and the settings window show changed
  bool repaintSettings = false;         // the guide's progress changed
  bool saveSettings = false;            // a stored value changed (the New Year's year)
  std::optional<std::string> storeEvening;  // new "EveningFireworks" value
  bool tapUnassignedKey = false;        // a grab with Alt: stop the menu bar from opening
  bool reassertTopmost = false;         // every 2 s
  int targetFps = 30;
};

// What the worlds are handed this frame: the switches, and the snow level,
// wind and density from the settings or, while one is held, the forecast.
kovra::WorldInput worldInputFrom(const Settings& set, const WeatherSample& weather, double perfScale);

// The frame at input.t: guide snow, performance scaling, the step, pause
// bookkeeping, the window log, the samplings, date fireworks, per monitor the
// fade, surfaces, away snow, pointer, world step and click-through, and the
// next frame rate. Drawing is left to the caller, in output order.
FrameOutput hostFrame(AppState& app, const FrameInput& input);

// After drawing: the monitors from `failedAt` on were not drawn (a renderer
// failure); their `shown` goes back and the overlays are rebuilt soon.
void hostFrameDrawFailed(AppState& app, const FrameOutput& out, std::size_t failedAt, double now);

// The GPU renderer's drawing never reaches the screen: the compatible one
// takes over for the rest of the run, at a rebuild very soon. Returns the
// line for the log.
std::string hostFrameRendererGaveUp(AppState& app, double now);

// The statistics of one finished frame; returns the stats line every 30 s.
struct FrameCost {
  double workMs = 0;
  uint64_t cpu100ns = 0;  // process CPU time so far
  unsigned long processors = 1;
  const char* renderer = "none";
  std::size_t windows = 0;
};
std::optional<std::string> hostFrameDone(AppState& app, double t, const FrameCost& cost);

// The window-list log line and its per-monitor lines for this survey.
std::vector<std::string> windowListLines(const AppState& app, const DesktopSurvey& survey, uint64_t foreground,
                                         uint64_t foregroundRootOwner, bool primaryDown);
