#pragma once
// What each command means, without Windows: applyCommand changes the
// application state and asks `Services` for every side effect outside it
// (the registry, windows, the tray, the services of later subsystems).
#include <cstdint>
#include <optional>
#include <string>

#include "base/command.h"
#include "shell/app.h"

class Services {
 public:
  virtual ~Services() = default;
  // The shell.
  virtual void saveSettings(const Settings& settings) = 0;
  virtual void refreshTray() = 0;  // tooltip and icon anew
  virtual void openSettingsWindow() = 0;
  virtual void repaintSettingsWindow() = 0;
  virtual void refreshSystemStates() = 0;  // the settings window reads autostart and screensaver anew
  virtual void rebuildOverlays() = 0;
  virtual void quit() = 0;
  virtual void openLog() = 0;
  virtual void contactMail() = 0;
  virtual void keepFramesMoving() = 0;  // a frame now if one is due (modal loops)
  virtual bool autostartIsOn() = 0;
  virtual void setAutostart(bool on) = 0;
  virtual void setLanguage(int index) = 0;
  // Real weather and city search.
  virtual void weatherTick() = 0;
  virtual bool realWeather() = 0;
  virtual void setRealWeather(bool on) = 0;
  virtual void findCity(const std::string& text) = 0;
  // Wallpapers and themes.
  virtual void wallpaperMinuteCheck() = 0;
  virtual int wallpaperChoice() = 0;
  virtual bool wallpaperFollowsTimes() = 0;
  virtual void setWallpaperChoice(int choice, bool followTimes) = 0;
  virtual void downloadTheme(int theme) = 0;
  virtual void downloadAll() = 0;
  // Screensaver.
  virtual void installScreensaver() = 0;
  // Updates.
  virtual void updateCheck(bool askedByUser) = 0;
  virtual void periodicUpdateCheck() = 0;
  virtual void updateInstall() = 0;
};

// What a command may need to know of the moment it was given.
struct CommandContext {
  double now = 0;                // shellClock
  std::optional<long> cursorX;   // virtual-screen pixels, when known
  std::optional<long> cursorY;
  uint64_t settingsWindow = 0;   // its id, 0 while closed
  std::string city;              // FindCity: the text typed in the settings window
  int theme = -1;                // DownloadTheme: the theme selected in the settings window
};

void applyCommand(AppState& app, Command command, Services& services, const CommandContext& context);
// The settings window's values, applied before its command.
void applySettingsValues(AppState& app, const SettingsWindowValues& values, Services& services, double now);

// Pause and resume; the snow starts afresh after a pause.
void setPaused(AppState& app, bool paused, Services& services, double now);
// 0 Santa, 1 bullfinches, 2 fireworks; resumes paused snow first.
void callNow(AppState& app, int kind, Services& services, const CommandContext& context);
void guideStart(AppState& app, Services& services, double now);
// Smart pause switched on or off: off drops the current reason at once.
void setSmartPause(AppState& app, bool on, Services& services);
