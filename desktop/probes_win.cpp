// The probes behind smart pause. Slow queries run on one long-lived thread
// that publishes its findings through atomics only; the frame tick samples them.
#include <windows.h>
// after windows.h
#include <objbase.h>
#include <shellapi.h>

#include <atomic>
#include <string>

#include "desktop/probes_win.h"
#include "desktop/smart_pause.h"
#include "desktop/survey_win.h"
#include "render/overlay_win.h"
#include "base/log.h"
#include "base/settings.h"
#include "base/win_util_win.h"

namespace {

struct ProbeState {
  std::atomic<bool> fullScreen{false};
  std::atomic<const char*> reason{nullptr};
  std::atomic<bool> smartPauseEnabled{true};
  bool started = false;  // main thread only
};

ProbeState gProbe;
double gLastProbe = -10.0;
bool gPreviousFullScreen = false;
int gSamplings = 0;
SmartPauseState gPause;

bool fullScreenProbe() {
  QUERY_USER_NOTIFICATION_STATE state = QUNS_ACCEPTS_NOTIFICATIONS;
  if (SUCCEEDED(SHQueryUserNotificationState(&state)) &&
      (state == QUNS_RUNNING_D3D_FULL_SCREEN || state == QUNS_PRESENTATION_MODE))
    return true;
  BOOL saver = FALSE;
  if (SystemParametersInfoW(SPI_GETSCREENSAVERRUNNING, 0, &saver, 0) && saver) return true;
  return FindWindowW(L"QuillarScreensaver", nullptr) != nullptr;
}

bool readQword(HKEY key, const wchar_t* name, uint64_t& out) {
  DWORD type = 0, size = sizeof out;
  uint64_t v = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&v), &size) != ERROR_SUCCESS) return false;
  if (size != sizeof v) return false;
  out = v;
  return true;
}

bool consentKeyInUse(const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  bool inUse = false;
  for (DWORD i = 0; !inUse; ++i) {
    wchar_t name[513];
    DWORD len = 513;
    if (RegEnumKeyExW(key, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (std::wstring(name) == L"NonPackaged") continue;
    HKEY sub = nullptr;
    if (RegOpenKeyExW(key, name, 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
    uint64_t start = 0, stop = 1;
    bool startRead = readQword(sub, L"LastUsedTimeStart", start);
    bool stopRead = readQword(sub, L"LastUsedTimeStop", stop);
    RegCloseKey(sub);
    inUse = consentEntryInUse(startRead, start, stopRead, stop);
  }
  RegCloseKey(key);
  return inUse;
}

bool deviceInUse(const wchar_t* capability) {
  std::wstring k = std::wstring(L"Software\\Microsoft\\Windows\\CurrentVersion\\CapabilityAccessManager\\ConsentStore\\") +
                   capability;
  return consentKeyInUse(k) || consentKeyInUse(k + L"\\NonPackaged");
}

bool foregroundIsMedia() {
  HWND fg = GetForegroundWindow();
  DWORD pid = 0;
  if (!fg || !GetWindowThreadProcessId(fg, &pid) || !pid) return false;
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) return false;
  wchar_t path[520] = {};
  DWORD len = 520;
  bool ok = QueryFullProcessImageNameW(process, 0, path, &len) != FALSE;
  CloseHandle(process);
  return ok && isMediaExecutable(std::wstring_view(path, len));
}

bool displayRequired() {
  using Fn = LONG(WINAPI*)(POWER_INFORMATION_LEVEL, PVOID, ULONG, PVOID, ULONG);
  static Fn fn = systemFunction<Fn>(L"powrprof.dll", "CallNtPowerInformation");
  if (!fn) return false;
  ULONG state = 0;
  return fn(SystemExecutionState, nullptr, 0, &state, sizeof state) == 0 && (state & ES_DISPLAY_REQUIRED);
}

const char* smartPauseReason() {
  SYSTEM_POWER_STATUS power{};
  bool read = GetSystemPowerStatus(&power) != FALSE;
  bool low = lowBatteryFrom(read, power.Reserved1 /* SystemStatusFlag: battery saver */, power.ACLineStatus, power.BatteryLifePercent);
  if (low) return kReasonLowBattery;
  if (deviceInUse(L"microphone") || deviceInUse(L"webcam")) return kReasonCall;
  bool display = displayRequired();
  return smartPauseReasonFrom(false, false, display, display && foregroundIsMedia());
}

DWORD WINAPI probeThread(void*) {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  for (unsigned pass = 0;; ++pass) {
    gProbe.fullScreen.store(fullScreenProbe());
    if (pass % 4 == 0) gProbe.reason.store(gProbe.smartPauseEnabled.load() ? smartPauseReason() : nullptr);
    Sleep(500);
  }
}

PixelRect pixelRect(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

void markAllDirty() {
  for (auto& o : overlays()) o->dirty = true;
}

}  // namespace

void probesResetTime() { gLastProbe = -10.0; }
const char* smartPauseCurrent() { return gPause.current; }
bool exclusiveFullScreen() { return gProbe.fullScreen.load(); }

void smartPauseOverride() {
  if (!smartPauseShowAnyway(gPause)) return;
  logLine("smart pause: shown anyway");
  markAllDirty();
}

void probesSample(double now) {
  if (now - gLastProbe <= 0.5) return;
  gLastProbe = now;
  const Settings& set = settings();

  if (!gProbe.started) {
    gProbe.started = true;
    gProbe.fullScreen.store(fullScreenProbe());
    gProbe.smartPauseEnabled.store(set.smartPause);
    gProbe.reason.store(set.smartPause ? smartPauseReason() : nullptr);
    HANDLE thread = CreateThread(nullptr, 64 * 1024, probeThread, nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread) {
      SetThreadPriority(thread, THREAD_PRIORITY_BELOW_NORMAL);
      CloseHandle(thread);
      logLine("probes: own thread (full screen, screensaver, smart pause)");
    } else {
      logLine("probes: CreateThread failed (%lu)", GetLastError());
      gProbe.started = false;
    }
  }

  bool full = gProbe.fullScreen.load();
  if (full != gPreviousFullScreen) {
    gPreviousFullScreen = full;
    logLine("exclusive full-screen / presentation: %d", full ? 1 : 0);
  }

  const DesktopSurvey& sv = desktopSurvey();
  HWND fg = GetForegroundWindow();
  HWND root = fg ? GetAncestor(fg, GA_ROOT) : nullptr;
  for (auto& o : overlays()) {
    bool app = full || fullScreenAppOn(pixelRect(o->monitorRect), sv.windows,
                                       static_cast<uint64_t>(reinterpret_cast<uintptr_t>(fg)),
                                       static_cast<uint64_t>(reinterpret_cast<uintptr_t>(root)));
    if (app != o->fullScreenApp) {
      logLine("monitor %ld,%ld full-screen app: %d", o->monitorRect.left, o->monitorRect.top, app ? 1 : 0);
      o->fullScreenApp = app;
      o->dirty = true;
    }
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(o->monitor, &info) && !EqualRect(&info.rcWork, &o->workRect)) {
      o->workRect = info.rcWork;
      o->dirty = true;
    }
  }

  gProbe.smartPauseEnabled.store(set.smartPause);
  if (gSamplings++ % 4 == 0) {
    std::string text;
    if (smartPauseFollow(gPause, set.smartPause, gProbe.started, gProbe.reason.load(), text)) {
      logLine("smart pause: %s", text.c_str());
      markAllDirty();
    }
  }
}
