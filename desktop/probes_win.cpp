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
#include "base/log.h"
#include "base/win_util_win.h"

namespace {

struct ProbeState {
  std::atomic<bool> fullScreen{false};
  std::atomic<const char*> reason{nullptr};
  std::atomic<bool> smartPauseEnabled{true};
  bool started = false;  // main thread only
};

ProbeState gProbe;

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
  UniqueHkey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
  bool inUse = false;
  for (DWORD i = 0; !inUse; ++i) {
    wchar_t name[513];
    DWORD len = 513;
    if (RegEnumKeyExW(key.get(), i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (std::wstring(name) == L"NonPackaged") continue;
    UniqueHkey sub;
    if (RegOpenKeyExW(key.get(), name, 0, KEY_READ, sub.put()) != ERROR_SUCCESS) continue;
    uint64_t start = 0, stop = 1;
    bool startRead = readQword(sub.get(), L"LastUsedTimeStart", start);
    bool stopRead = readQword(sub.get(), L"LastUsedTimeStop", stop);
    inUse = consentEntryInUse(startRead, start, stopRead, stop);
  }
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

}  // namespace

ProbeReading probesSample(bool smartPauseEnabled) {
  if (!gProbe.started) {
    gProbe.started = true;
    gProbe.fullScreen.store(fullScreenProbe());
    gProbe.smartPauseEnabled.store(smartPauseEnabled);
    gProbe.reason.store(smartPauseEnabled ? smartPauseReason() : nullptr);
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
  gProbe.smartPauseEnabled.store(smartPauseEnabled);
  ProbeReading r;
  r.started = gProbe.started;
  r.fullScreen = gProbe.fullScreen.load();
  r.reason = gProbe.reason.load();
  return r;
}
