#include "wallpaper/wallpaper_tick_win.h"

#include <windows.h>

#include <string>
#include <vector>

#include "base/log.h"
#include "base/settings_win.h"
#include "base/win_util_win.h"

namespace {

const wchar_t kTaskName[] = L"Quillar Wallpaper";

// schtasks.exe from the system folder with `arguments`, no console window,
// at most 15 s; true on exit code 0.
bool runScheduler(const std::wstring& arguments) {
  wchar_t system[MAX_PATH + 1] = {};
  const UINT n = GetSystemDirectoryW(system, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return false;
  const std::wstring program = std::wstring(system, n) + L"\\schtasks.exe";
  std::wstring line = L"\"" + program + L"\" " + arguments;
  std::vector<wchar_t> buf(line.begin(), line.end());
  buf.push_back(L'\0');
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(program.c_str(), buf.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                      &pi))
    return false;
  CloseHandle(pi.hThread);
  UniqueHandle process(pi.hProcess);
  DWORD code = 1;
  if (WaitForSingleObject(process.get(), 15000) != WAIT_OBJECT_0) return false;
  if (!GetExitCodeProcess(process.get(), &code)) return false;
  return code == 0;
}

}  // namespace

// The scheduled wallpaper tick and its task come with the theme server: the
// tick has nothing to change yet and succeeds at once, and no task is made.
int wallpaperTick() { return 0; }

void wallpaperScheduleSync(int, bool) {}

void removeWallpaperTask() {
  const bool removed = runScheduler(std::wstring(L"/Delete /F /TN \"") + kTaskName + L"\"");
  logLine("wallpaper task %s", removed ? "removed" : "was not there");
  quillarWriteString(L"WallTaskExe", "");
}
