// The Quillar window joined to the application: what it shows comes from the
// state and the services, what it asks for goes through the commands.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/settings.h"
#include "base/clock_win.h"
#include "base/win_util_win.h"
#include "desktop/smart_pause.h"
#include "screensaver/screensaver_win.h"
#include "setup/package.h"
#include "setup/update_win.h"
#include "shell/mail.h"
#include "shell/shell_win.h"
#include "ui/settings_page.h"
#include "ui/settings_window_win.h"
#include "wallpaper/catalog_win.h"
#include "wallpaper/wallpaper_win.h"
#include "weather/weather_win.h"

#ifndef QUILLAR_VERSION
#define QUILLAR_VERSION "0.9.20"
#endif

namespace {

// Whether our screensaver is the system's: a registry read and a few path
// lookups, so it is re-read at most every 2 s (the window's slow timer) and
// at once after a command.
struct SaverSetting {
  bool value = false;
  double readAt = -1e9;
  bool stale = true;
} gSaverSetting;

bool screensaverSetNow() {
  const double t = shellClock();
  if (gSaverSetting.stale || t - gSaverSetting.readAt >= 1.9) {
    gSaverSetting.value = screensaverIsOurs();
    gSaverSetting.readAt = t;
    gSaverSetting.stale = false;
  }
  return gSaverSetting.value;
}

// The smart-pause reason as the page's text key.
std::string reasonKey(const char* reason) {
  if (!reason) return {};
  if (std::strcmp(reason, kReasonVideo) == 0) return "відео";
  if (std::strcmp(reason, kReasonCall) == 0) return "дзвінок або презентація";
  if (std::strcmp(reason, kReasonLowBattery) == 0) return "низький заряд батареї";
  return {};
}

kui::SettingsModel currentModel() {
  const AppState& a = app();
  Services& sv = services();
  const Settings& set = a.settings;
  kui::SettingsModel m;
  SettingsWindowValues& v = m.values;
  v.paused = set.paused;
  v.weather = set.weather;
  v.amount = set.amount;
  v.wind = set.wind;
  v.onWindows = set.onWindows;
  v.sweep = set.sweep;
  v.snowfall = set.snowfall;
  v.santa = set.santa;
  v.birds = set.birds;
  v.stars = set.stars;
  v.garland = set.garland;
  v.fpsMode = set.fpsMode;
  v.smartPause = set.smartPause;
  v.realWeather = sv.realWeather();
  v.wallpaperChoice = sv.wallpaperChoice();
  v.followTimes = sv.wallpaperFollowsTimes();
  v.autostart = sv.autostartIsOn();
  v.renderMode = set.renderMode;
  v.language = uiLanguage();
  v.city = kui::settingsWindowCityText();
  for (const MonitorState& mon : a.monitors) m.fullScreenHidden = m.fullScreenHidden || mon.fullScreenApp;
  m.fullScreenHidden = m.fullScreenHidden || a.exclusiveFullScreen;
  m.snowHiddenReason = reasonKey(a.pause.current);
  m.weatherStatus = weatherStatusText();
  m.cityError = weatherSearchError();
  m.citySearchBusy = citySearchBusy();
  m.screensaverSet = screensaverSetNow();
  m.gpuUnavailable = set.renderMode == 0 && a.forceCompatible;
  m.version = QUILLAR_VERSION;
  m.contactAddress = kSupportAddress;
  for (int i = 0, n = themeCount(); i < n; ++i) {
    kui::ThemeTile tile;
    tile.title = themeTitle(i);
    tile.progress = downloadProgress(i);
    tile.state = themeAvailable(i)        ? kui::kThemeAvailable
                 : tile.progress >= 0     ? kui::kThemeDownloading
                 : downloadFailed(i)      ? kui::kThemeFailed
                                          : kui::kThemeNotDownloaded;
    tile.progress = std::max(tile.progress, 0.0f);
    tile.sizeMB = kovra::megabytesShown(themeSize(i));
    m.themes.push_back(std::move(tile));
  }
  m.missingMB = kovra::megabytesShown(missingThemesSize());
  m.anyDownloadFailed = anyDownloadFailed();
  m.downloadsPending = downloadsPending();
  SYSTEMTIME now{};
  GetLocalTime(&now);
  m.newYearDays = kui::daysUntilNewYear(now.wYear, now.wMonth, now.wDay);
  m.updateState = updateStateNow();
  // Only a version newer than this one is offered; an older or equal answer
  // is what "up to date" said.
  const std::string newest = updateNewestVersion();
  if (compareVersions(newest, QUILLAR_VERSION) == 1) m.updateVersion = newest;
  m.updateProgress = static_cast<int>(std::lround(updateProgressNow() * 100));
  m.updateError = updateErrorText();
  m.guideActive = a.guideActive;
  m.guideProgress = a.guide.shownBits;
  return m;
}

void installHooks() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  kui::SettingsWindowHooks hooks;
  hooks.model = currentModel;
  hooks.command = [](const SettingsWindowValues& values, int number) { runSettingsWindowCommand(values, number); };
  hooks.language = [](int language) { services().setLanguage(language); };
  hooks.modalLoop = [](bool modal) {
    if (modal) startTimer(ShellTimer::ModalFrames, 15);
    else stopTimer(ShellTimer::ModalFrames);
  };
  hooks.themeThumbnail = [](int index) { return toWide(themeThumbnailPath(index)); };
  hooks.closed = [] {};
  kui::settingsWindowSetHooks(std::move(hooks));
}

}  // namespace

void openSettingsWindow() {
  installHooks();
  const bool wasOpen = kui::settingsWindowHandle() != nullptr;
  kui::settingsWindowOpen();
  if (!wasOpen && kui::settingsWindowHandle()) staleUpdateCheck();
}

void settingsWindowStatesStale() { gSaverSetting.stale = true; }

void settingsWindowRepaint() { kui::settingsWindowRefresh(); }

uint64_t settingsWindowId() {
  return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(kui::settingsWindowHandle()));
}
