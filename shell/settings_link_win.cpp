// The Quillar window joined to the application: what it shows comes from the
// state and the services, what it asks for goes through the commands.
#include <windows.h>

#include <cstring>

#include "base/settings.h"
#include "desktop/smart_pause.h"
#include "shell/mail.h"
#include "shell/shell_win.h"
#include "ui/settings_page.h"
#include "ui/settings_window_win.h"
#include "weather/weather_win.h"

#ifndef QUILLAR_VERSION
#define QUILLAR_VERSION "0.9.20"
#endif

namespace {

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
  m.gpuUnavailable = set.renderMode == 0 && a.forceCompatible;
  m.version = QUILLAR_VERSION;
  m.contactAddress = kSupportAddress;
  SYSTEMTIME now{};
  GetLocalTime(&now);
  m.newYearDays = kui::daysUntilNewYear(now.wYear, now.wMonth, now.wDay);
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
  hooks.themeThumbnail = [](int) { return std::wstring(); };
  hooks.closed = [] {};
  kui::settingsWindowSetHooks(std::move(hooks));
}

}  // namespace

void openSettingsWindow() {
  installHooks();
  kui::settingsWindowOpen();
}

void settingsWindowRepaint() { kui::settingsWindowRefresh(); }

uint64_t settingsWindowId() {
  return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(kui::settingsWindowHandle()));
}
