// Entry of quillar.exe: tells the roles of a start apart, then sets up and
// runs the resident snow program.
#include <objbase.h>
#include <windows.h>
#include <wtsapi32.h>

#include <string>

#include "desktop/survey_win.h"
#include "render/overlay_win.h"
#include "render/renderer_win.h"
#include "screensaver/screensaver_win.h"
#include "setup/setup_win.h"
#include "wallpaper/wallpaper_tick_win.h"
#include "wallpaper/wallpaper_win.h"
#include "base/log.h"
#include "base/log_win.h"
#include "base/settings.h"
#include "base/settings_win.h"
#include "shell/recording_win.h"
#include "shell/shell_win.h"
#include "shell/tray_win.h"
#include "base/win_util_win.h"
#include "ui/settings_window_win.h"
#include "ui/text.h"
#include "weather/weather_win.h"

#ifndef QUILLAR_VERSION
#define QUILLAR_VERSION "0.9.20"
#endif

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

const wchar_t kMutexName[] = L"Local\\KovraSnowForWindows";

void makeDpiAware() {
  using Fn = BOOL(WINAPI*)(HANDLE);
  if (auto fn = systemFunction<Fn>(L"user32.dll", "SetProcessDpiAwarenessContext"))
    fn(reinterpret_cast<HANDLE>(static_cast<intptr_t>(-4)));
}

struct WindowsVersion {
  unsigned long major = 0, minor = 0, build = 0;
};

WindowsVersion windowsVersion() {
  WindowsVersion v;
  using Fn = LONG(WINAPI*)(OSVERSIONINFOW*);
  if (auto fn = systemFunction<Fn>(L"ntdll.dll", "RtlGetVersion")) {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (fn(&info) == 0) {
      v.major = info.dwMajorVersion;
      v.minor = info.dwMinorVersion;
      v.build = info.dwBuildNumber;
    }
  }
  return v;
}

// At most 779 bytes of UTF-8 in the start line, cut on a character boundary.
std::string exePathUtf8(const std::wstring& path) {
  std::string s = toUtf8(path);
  if (s.size() > 779) {
    size_t cut = 779;
    while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
    s.resize(cut);
  }
  return s;
}

bool registerClasses(HINSTANCE inst) {
  HICON icon = LoadIconW(inst, MAKEINTRESOURCEW(1));
  HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  WNDCLASSEXW main{};
  main.cbSize = sizeof main;
  main.lpfnWndProc = mainWindowProc;
  main.hInstance = inst;
  main.hIcon = icon;
  main.hCursor = arrow;
  main.lpszClassName = L"KovraMain";
  bool ok = RegisterClassExW(&main) != 0;
  // The overlay windows of every monitor.
  WNDCLASSEXW snow{};
  snow.cbSize = sizeof snow;
  snow.style = CS_DBLCLKS;
  snow.lpfnWndProc = overlayWindowProc;
  snow.hInstance = inst;
  snow.hIcon = icon;
  snow.hCursor = arrow;
  snow.lpszClassName = L"KovraSnow";
  RegisterClassExW(&snow);
  return ok;
}

// The guide at the start: it runs without the "guide opened" line.
void startGuide(AppState& a) {
  CommandContext c = commandContextNow();
  recordCommand(Command::GuideOpen, c);
  a.guideActive = true;
  guideStart(a, services(), c.now);
}

void writeAppDir(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  std::wstring dir = slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
  quillarWriteString(L"AppDir", toUtf8(dir));
}

// Setup files of an installed update wait in the temporary folder.
void removeSetupLeftovers() {
  wchar_t temp[MAX_PATH + 1] = {};
  DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  if (n == 0 || n > MAX_PATH) return;
  std::wstring dir(temp, n);
  WIN32_FIND_DATAW found{};
  HANDLE h = FindFirstFileW((dir + L"Quillar-Setup-*.exe").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((dir + found.cFileName).c_str());
  } while (FindNextFileW(h, &found));
  FindClose(h);
}

// The mutex is held by another process. When it is a running copy, that
// copy opens its window and this start ends (false). A holder without a
// main window is a wallpaper tick run, which ends within seconds, or a
// copy still starting: wait for either the mutex (true: start here) or the
// copy's window, a few seconds at most.
bool runningCopyOrItsEnd(UniqueMutex& mutex) {
  constexpr DWORD kStepMs = 250;
  constexpr int kSteps = 40;
  for (int i = 0; i <= kSteps; ++i) {
    if (HWND running = FindWindowW(L"KovraMain", nullptr)) {
      AllowSetForegroundWindow(ASFW_ANY);
      PostMessageW(running, kMsgOpenSettings, 0, 0);
      return false;
    }
    if (i < kSteps && mutex.waitOwnership(kStepMs)) return true;
  }
  return false;
}

int residentRun(const wchar_t* commandLine, HINSTANCE inst) {
  ShellState& st = shellState();
  AppState& a = app();
  shellClockInit();
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  st.instance = inst;

  logOpen(L"kovra-log");
  languageChoose();
  Settings& set = a.settings;
  settingsLoad(set);
  a.eveningFireworks = quillarReadString(L"EveningFireworks");

  WindowsVersion v = windowsVersion();
  std::wstring path = moduleFileName();
  logLine("Quillar for Windows %s (built %s %s), language %s (Windows: %s)", QUILLAR_VERSION, __DATE__, __TIME__,
          languageCode(uiLanguage()), languageCode(windowsLanguage()));
  logLine("Windows %lu.%lu build %lu; exe %s", v.major, v.minor, v.build, exePathUtf8(path).c_str());
  logLine("settings: paused %d weather %d amount %.2f wind %.2f onWindows %d sweep %d renderMode %d autostart %d "
          "snowfall %d santa %d birds %d stars %d garland %d",
          set.paused ? 1 : 0, set.weather, set.amount, set.wind, set.onWindows ? 1 : 0, set.sweep ? 1 : 0,
          set.renderMode, autostartIsOn() ? 1 : 0, set.snowfall ? 1 : 0, set.santa ? 1 : 0, set.birds ? 1 : 0, set.stars ? 1 : 0,
          set.garland ? 1 : 0);

  registerClasses(inst);
  st.mainWindow = CreateWindowExW(WS_EX_TOOLWINDOW, L"KovraMain", L"Quillar", 0, 0, 0, 0, 0, nullptr, nullptr, inst,
                                  nullptr);
  if (!st.mainWindow) {
    logLine("main window failed (%lu)", GetLastError());
    if (SUCCEEDED(com)) CoUninitialize();
    return 1;
  }

  st.taskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
  ChangeWindowMessageFilterEx(st.mainWindow, st.taskbarCreatedMessage, MSGFLT_ALLOW, nullptr);
  bool sessionNotes = WTSRegisterSessionNotification(st.mainWindow, NOTIFY_FOR_THIS_SESSION) != FALSE;
  bool hotkey = RegisterHotKey(st.mainWindow, 1, MOD_CONTROL | MOD_ALT | MOD_NOREPEAT, 'D') != FALSE;
  if (!hotkey) logLine("hotkey Ctrl+Alt+D is taken by another program (%lu)", GetLastError());

  writeAppDir(path);
  trayIconsMake();
  trayUpdate();
  recordingStart();
  recordSettings(set);
  buildOverlays();

  bool updated = wcsstr(commandLine, L"/updated") != nullptr;
  bool installed = wcsstr(commandLine, L"/installed") != nullptr;
  if (!set.guideSeen) {
    if (trayIconAdded())
      trayBalloon(tr("Quillar працює ❄"),
                  tr("Меню — у сніжинці біля годинника (натисніть ^, якщо її не видно). Сховати сніг: Ctrl+Alt+D."));
    startGuide(a);
    openSettingsWindow();
  }
  if (updated) {
    logLine("started by the installer (%s)", "update");
    if (set.guideSeen) openSettingsWindow();
    if (trayIconAdded()) trayBalloon(tr("Quillar оновлено ❄"), trFormat("Тепер у вас версія %@.", QUILLAR_VERSION).c_str());
    removeSetupLeftovers();
  } else if (installed) {
    logLine("started by the installer (%s)", "install");
    // The guide runs once: an installation over one whose guide was seen
    // (a repair, a newer copy by hand) opens the window on its page.
    openSettingsWindow();
  }

  WeatherHooks weatherHooks;
  weatherHooks.changed = [] { settingsWindowRepaint(); };
  weatherHooks.cityChanged = [] {
    kui::settingsWindowSetCityText(weatherCityName());
    settingsWindowRepaint();
    services().wallpaperMinuteCheck();  // the sun stands elsewhere there
  };
  weatherHooks.translate = tr;
  weatherInit(std::move(weatherHooks));
  kui::settingsWindowSetCityText(weatherCityName());
  wallpaperInit(
      [] {
        kui::settingsWindowForgetImages();  // theme indexes may name other thumbnails now
        settingsWindowRepaint();
      },
      [] { settingsWindowRepaint(); });

  startTimer(ShellTimer::FirstUpdateCheck, 3000);
  startTimer(ShellTimer::PeriodicUpdateCheck, 21600000);
  startTimer(ShellTimer::Minute, 60000);

  st.waitTimer.reset(CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS));
  if (!st.waitTimer) st.waitTimer.reset(CreateWaitableTimerW(nullptr, FALSE, nullptr));
  if (!st.waitTimer) logLine("no waitable timer (%lu) — using message timeouts", GetLastError());

  int code = runMainLoop();
  trayRemove();  // normally gone with the main window already
  trayIconsDestroy();

  st.waitTimer.reset();
  teardownOverlays();
  a.monitors.clear();
  releaseRenderer();
  recordingStop();
  if (hotkey) UnregisterHotKey(st.mainWindow, 1);
  if (sessionNotes) WTSUnRegisterSessionNotification(st.mainWindow);
  settingsSave(set);
  surveyRelease();
  logLine("quit");
  if (SUCCEEDED(com)) CoUninitialize();
  return code;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, PWSTR, int) {
  makeDpiAware();
  const wchar_t* commandLine = GetCommandLineW();
  if (!commandLine) commandLine = L"";

  int exitCode = 0;
  if (screensaverOffer(commandLine, tr, exitCode)) return exitCode;
  if (dispatchSetup(commandLine, exitCode)) return exitCode;

  UniqueMutex mutex;
  mutex.create(kMutexName);
  bool existed = mutex.existed();

  if (wcsstr(commandLine, L"--wallpaper-tick")) {
    if (existed) return 0;
    return wallpaperTick();
  }
  if (existed && !runningCopyOrItsEnd(mutex)) return 0;
  return residentRun(commandLine, inst);
}
