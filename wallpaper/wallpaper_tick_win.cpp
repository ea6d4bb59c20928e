#include "wallpaper/wallpaper_tick_win.h"

#include <windows.h>

#include <ctime>
#include <string>

#include "base/log.h"
#include "base/main_thread_win.h"
#include "base/settings_win.h"
#include "base/win_util_win.h"
#include "net/worker.h"
#include "wallpaper/catalog_win.h"
#include "wallpaper/wallpaper_task.h"
#include "wallpaper/wallpaper_win.h"
#include "weather/day_phase.h"
#include "weather/weather_state.h"

namespace {

constexpr DWORD kSchedulerWaitMs = 15000;

// Main thread: one scheduler worker at a time, so a removal never overtakes
// the registration it undoes; a change meanwhile is synced once it is done.
bool gSyncRunning = false;
bool gSyncPending = false;

// Runs schtasks.exe from the system folder without a console window; true
// when it ended with 0 within the wait.
bool runScheduler(const std::string& arguments) {
  wchar_t system[MAX_PATH + 1] = {};
  UINT n = GetSystemDirectoryW(system, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) {
    logLine("wallpaper task: no system folder (%lu)", GetLastError());
    return false;
  }
  const std::wstring program = std::wstring(system, n) + L"\\schtasks.exe";
  std::wstring commandLine = toWide(kovra::schedulerCommandLine(toUtf8(program), arguments));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &info)) {
    logLine("wallpaper task: schtasks did not start (%lu)", GetLastError());
    return false;
  }
  UniqueHandle process(info.hProcess);
  UniqueHandle thread(info.hThread);
  if (WaitForSingleObject(process.get(), kSchedulerWaitMs) != WAIT_OBJECT_0) {
    // A scheduler that hangs is not left behind to finish later.
    TerminateProcess(process.get(), 1);
    logLine("wallpaper task: schtasks did not finish within %lu ms", static_cast<unsigned long>(kSchedulerWaitMs));
    return false;
  }
  DWORD code = 1;
  if (!GetExitCodeProcess(process.get(), &code)) return false;
  return code == 0;
}

std::string taskFilePath() {
  wchar_t temp[MAX_PATH + 1] = {};
  DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  if (n == 0 || n > MAX_PATH) return {};
  return toUtf8(std::wstring(temp, n)) + kovra::kWallpaperTaskFile;
}

bool createTask(const std::string& exe) {
  const std::string file = taskFilePath();
  bool ok = !file.empty() && writeFileReplacing(file, kovra::utf16leWithBom(kovra::wallpaperTaskXml(exe)));
  ok = ok && runScheduler(kovra::schedulerCreateArguments(file));
  if (!file.empty()) DeleteFileW(toWide(file).c_str());
  logLine("wallpaper task %s", ok ? "created" : "could not be created");
  return ok;
}

void deleteTask() {
  const bool ok = runScheduler(kovra::schedulerDeleteArguments());
  logLine("wallpaper task %s", ok ? "removed" : "was not there");
}

void syncDone() {
  gSyncRunning = false;
  if (gSyncPending) {
    gSyncPending = false;
    wallpaperScheduleSync(wallpaperChoiceNow(), wallpaperFollowsTimes());
  }
}

}  // namespace

void wallpaperScheduleSync(int choice, bool followTimes) {
  if (gSyncRunning) {
    gSyncPending = true;
    return;
  }
  const std::string exe = toUtf8(moduleFileName());
  const kovra::TaskAction action =
      kovra::wallpaperTaskAction(choice, followTimes, exe, quillarReadString(L"WallTaskExe"));
  if (action == kovra::TaskAction::None) return;
  gSyncRunning = true;
  const bool create = action == kovra::TaskAction::Create;
  runWorker([create, exe] {
    if (create) {
      const bool ok = createTask(exe);
      postToMain([ok, exe] {
        // A failed registration leaves the value, so the next start tries again.
        if (ok) quillarWriteString(L"WallTaskExe", exe);
        syncDone();
      });
    } else {
      deleteTask();
      postToMain([] {
        quillarWriteString(L"WallTaskExe", "");
        syncDone();
      });
    }
  });
}

void removeWallpaperTask() {
  deleteTask();
  quillarWriteString(L"WallTaskExe", "");
}

int wallpaperTick() {
  markWallpaperTickRun();
  const int choice = wallpaperChoiceStored();
  const bool followTimes = wallpaperTimesStored();
  if (!kovra::wallpaperTickApplies(choice, themeCount(), followTimes)) return 0;
  const double latitude = storedCoordinate(quillarReadString(L"CityLat"), 90);
  const double longitude = storedCoordinate(quillarReadString(L"CityLon"), 180);
  applyNow(choice, true, phaseLocation(latitude, longitude, localUtcOffset(std::time(nullptr))));
  return 0;
}
