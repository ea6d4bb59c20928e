// The Win32 services behind the commands: each side effect that a command
// has outside the application state.
#include <windows.h>

#include <shellapi.h>

#include <string>
#include <utility>

#include "base/log.h"
#include "base/log_win.h"
#include "base/settings_win.h"
#include "screensaver/screensaver_win.h"
#include "setup/update_win.h"
#include "shell/shell_win.h"
#include "shell/tray_win.h"
#include "wallpaper/wallpaper_win.h"
#include "weather/weather_win.h"

namespace {

// The update service reports to the tray and the settings window; joined
// before its first check, whichever way that comes.
void joinUpdates() {
  static bool joined = false;
  if (joined) return;
  joined = true;
  UpdateHooks hooks;
  hooks.repaint = [] { settingsWindowRepaint(); };
  hooks.notify = [](const std::string& title, const std::string& text) {
    return trayBalloon(title.c_str(), text.c_str());
  };
  updateSetHooks(std::move(hooks));
}

class WinServices final : public Services {
 public:
  void saveSettings(const Settings& s) override { settingsSave(s); }
  void refreshTray() override {
    trayForgetTooltip();
    trayUpdate();
  }
  void openSettingsWindow() override { ::openSettingsWindow(); }
  void repaintSettingsWindow() override { settingsWindowRepaint(); }
  void refreshSystemStates() override { settingsWindowStatesStale(); }
  void rebuildOverlays() override { buildOverlays(); }
  void quit() override {
    if (HWND main = shellState().mainWindow) DestroyWindow(main);
  }
  void openLog() override {
    const std::wstring& path = logPath();
    if (path.empty()) return;
    auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    // Without a program for text files (a stripped system, Wine) Notepad,
    // which every Windows has, shows it.
    if (result <= 32) {
      const std::wstring quoted = L"\"" + path + L"\"";
      result = reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", L"notepad.exe", quoted.c_str(), nullptr, SW_SHOWNORMAL));
    }
    if (result <= 32) logLine("log: could not be opened (%lld)", static_cast<long long>(result));
  }
  void contactMail() override { ::contactMail(); }
  void keepFramesMoving() override {
    // Keeps the snow moving while a modal loop of the system holds the thread.
    if (snowActive() && shellClock() >= app().frame.nextFrameTime - 0.001) framePaceNow(shellClock());
  }
  bool autostartIsOn() override { return ::autostartIsOn(); }
  void setAutostart(bool on) override { autostartSet(on); }  // logs "autostart on/off"
  void setLanguage(int index) override {
    languageSet(index);
    trayForgetTooltip();
    trayUpdate();
    settingsWindowRepaint();
  }
  void weatherTick() override { ::weatherTick(); }
  bool realWeather() override { return ::realWeather(); }
  void setRealWeather(bool on) override { ::setRealWeather(on); }
  void findCity(const std::string& text) override { weatherFindCity(text); }
  void wallpaperMinuteCheck() override { ::wallpaperMinuteCheck(); }
  int wallpaperChoice() override { return wallpaperChoiceNow(); }
  bool wallpaperFollowsTimes() override { return ::wallpaperFollowsTimes(); }
  void setWallpaperChoice(int choice, bool followTimes) override { ::setWallpaperChoice(choice, followTimes); }
  void downloadTheme(int theme) override { requestThemeDownload(theme, true); }
  void downloadAll() override { ::downloadAll(); }
  void installScreensaver() override { ::installScreensaver(); }
  void updateCheck(bool askedByUser) override {
    joinUpdates();
    ::updateCheck(askedByUser);
  }
  void periodicUpdateCheck() override {
    joinUpdates();
    periodicCheck();
  }
  void updateInstall() override {
    joinUpdates();
    ::updateInstall();
  }
};

}  // namespace

void staleUpdateCheck() {
  joinUpdates();
  staleCheck();
}

Services& services() {
  static WinServices s;
  return s;
}
