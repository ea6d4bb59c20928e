#pragma once
// The application's state: one owned record holding the settings, the snow
// world of every monitor with what the frame tick keeps per monitor, the
// pause, smart-pause and guide state and the frame bookkeeping. Portable;
// the Win32 layer owns only Windows objects (windows, pixel buffers, the tray
// icon, threads) and reaches this record through the shell.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/settings.h"
#include "desktop/smart_pause.h"
#include "desktop/survey.h"
#include "shell/frame_rules.h"
#include "shell/pacing.h"
#include "world/world.h"

// First-run guide support; the frame tick fills the settings window's drift
// while `tries` is above 0.
struct GuideState {
  int tries = 0;
  double nextTry = 0;       // shellClock seconds
  uint32_t baseBits = 0;    // steps done outside the worlds (0x20: pause changed)
  uint32_t shownBits = 0;   // what the settings window shows as done
};
constexpr uint32_t kGuidePauseStep = 0x20;

// A monitor as the system reports it when the overlays are built.
struct MonitorInfo {
  std::string key;  // rectangle and scale: a rebuild finds the world by it
  PixelRect monitor;
  PixelRect work;
  float scale = 1.0f;  // DPI / 96
  bool primary = false;
  uint64_t seed = 0;   // for a world made new
};

// What the frame tick keeps per monitor, with the monitor's world.
struct MonitorState {
  std::string key;
  PixelRect monitorRect;
  PixelRect workRect;
  float scale = 1.0f;
  float widthDip = 0, heightDip = 0;
  bool primary = false;
  std::unique_ptr<kovra::SnowWorld> world;
  bool fullScreenApp = false;
  bool shown = false;
  float opacity = 0.0f;
  bool takesClicks = false;
  bool grabbing = false;
  // A button went down while the overlay took clicks and is still held: its
  // press may not have reached the window yet (see pressTakenFrom).
  bool pressTaken = false;
  bool buttonDown = false;
  uint64_t seenGeneration = UINT64_MAX;
  bool dirty = true;
  double lastVisitWall = 0;
  double lastVisitPaused = 0;
};

// The verdict on a window that left the survey, as sampled for this frame.
struct FateAnswer {
  uint64_t window = 0;
  kovra::Fate whole = kovra::Fate::Gone;    // asked with hidden windows counted as hidden
  kovra::Fate partial = kovra::Fate::Gone;  // asked without
};

struct AppState {
  AppState() = default;
  AppState(const AppState&) = delete;
  AppState& operator=(const AppState&) = delete;

  Settings settings;
  std::vector<MonitorState> monitors;

  // Frame bookkeeping.
  FrameState frame;
  PausedClock pausedClock;
  FrameStats stats;
  bool anyShown = false;
  bool sessionLocked = false;
  bool recreatePending = false;
  double recreateDue = 0;
  bool softMode = true;         // the compatible renderer draws
  bool forceCompatible = false; // the GPU renderer failed in this process

  // First-run guide.
  bool guideActive = false;
  GuideState guide;

  // Smart pause and the twice-a-second samplings.
  SmartPauseState pause;
  double lastProbe = -10.0;
  int samplings = 0;
  bool previousFullScreen = false;
  bool exclusiveFullScreen = false;
  double lastTray = 0;

  // Rate limits of log lines and re-assertions.
  double topmostTime = 0;
  uint64_t loggedGeneration = 0;
  double windowLogTime = -1e9;
  int clickSwitchesLogged = 0;
  int grabsLogged = 0;
  // What the worlds' snow last followed: -1 the settings, else the forecast's
  // level, plus 3 when it is not snowing outside.
  int weatherFollowed = -1;

  // The evening the last salute belonged to ("EveningFireworks").
  std::string eveningFireworks;

  // Fates of windows that left the survey, for this frame's drift updates.
  std::vector<FateAnswer> fates;
};

// Replaces the monitors by `infos`, in that order. A monitor whose key was
// there before keeps its world; the others get a new one; worlds of monitors
// that are gone go with them.
void appSetMonitors(AppState& app, const std::vector<MonitorInfo>& infos);
// Drops the monitors from `count` on (their overlays could not be made).
void appKeepMonitors(AppState& app, std::size_t count);

// The frames run (snowActiveFrom over this state).
bool appSnowActive(const AppState& app);
// Asks for the overlays to be rebuilt at now + delay (a later request moves it).
void appRequestRebuild(AppState& app, double now, double delay);
// The next frame comes at once with a step of 1/30 s.
void appResetTiming(AppState& app, double now);
// Only the step: the next frame uses 1/30 s (resume from sleep, unlock).
void appResetStep(AppState& app);

// Some monitor's surfaces are laid out again this frame (the only time the
// worlds ask what became of a window).
bool appLayoutDue(const AppState& app, const DesktopSurvey& survey);
// The windows that worlds hold drifts of but the survey no longer lists:
// the Win32 layer asks the system what became of each for this frame.
std::vector<uint64_t> appFateQueries(const AppState& app, const DesktopSurvey& survey);

// Mouse events the overlay windows hand over, between frames. `monitor` is
// the index in app.monitors, the point in that monitor's world points.
// A press on the overlay: true when it picked up snow (the overlay then
// captures the mouse).
bool appPointerPress(AppState& app, std::size_t monitor, kovra::Vec2 point, bool heap);
void appPointerRelease(AppState& app, std::size_t monitor);
void appPointerBurst(AppState& app, std::size_t monitor, kovra::Vec2 point);
