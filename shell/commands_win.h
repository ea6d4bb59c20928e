#pragma once
// The commands of the tray menu and of the settings window, and the shell
// actions behind them. Main thread only.
#include <cstdint>
#include <string>

// First-run guide support; the frame tick fills the settings window's drift
// while `tries` is above 0 (shellState().guideActive tells whether it runs).
struct GuideState {
  int tries = 0;
  double nextTry = 0;       // shellClock seconds
  uint32_t baseBits = 0;    // steps done outside the worlds (0x20: pause changed)
  uint32_t shownBits = 0;   // what the settings window shows as done
};
GuideState& guideState();

// What the settings window hands over with every command.
struct SettingsWindowValues {
  bool paused = false;
  int weather = 1;
  float amount = 0.55f;
  float wind = 0.1f;
  bool onWindows = true;
  bool sweep = true;
  bool snowfall = true;
  bool santa = true;
  bool birds = true;
  bool stars = true;
  bool garland = false;
  int fpsMode = 0;
  bool smartPause = true;
  bool realWeather = false;
  int wallpaperChoice = -1;  // theme index, -1 the user's own wallpaper
  bool followTimes = false;
  bool autostart = false;
  int renderMode = 1;
  int language = 1;
  std::string city;          // typed in the city field
  int selectedTheme = -1;
};

// A tray-menu command by its number (100...129); then repaints the settings window.
void menuCommand(int id);
// Applies the settings window's values, then runs its command (0...22).
void settingsWindowCommand(const SettingsWindowValues& values, int command);
// 0 Santa, 1 bullfinches, 2 fireworks; resumes paused snow first.
void callNow(int kind);
void guideStart();
// A language picked in the settings window (0..6, anything else follows Windows).
void applyLanguage(int index);
void openLog();
void contactMail();

// The settings window. It opens, repaints and reports itself through these;
// its id (the window handle as a number, 0 while it is closed) names its drift.
void openSettingsWindow();
void settingsWindowRepaint();
uint64_t settingsWindowId();

// Timer work of the main window: the first and the periodic update check,
// and the minute of the real weather and the wallpapers.
void timerFirstUpdateCheck();
void timerPeriodicUpdateCheck();
void timerMinute();
