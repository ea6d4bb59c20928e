// The hidden "KovraMain" window: the shell's switchboard for the tray icon,
// system notifications, the hotkey, timers, second starts and posted tasks.
#include <windows.h>
#include <wtsapi32.h>

#include <atomic>
#include <memory>

#include "render/overlay_win.h"
#include "shell/commands_win.h"
#include "base/log.h"
#include "base/settings.h"
#include "base/settings_win.h"
#include "shell/shell_win.h"
#include "shell/tray_win.h"

namespace {

constexpr uint32_t kGuidePauseStep = 0x20;

void onTimer(HWND hwnd, UINT_PTR id) {
  ShellState& st = shellState();
  switch (id) {
    case 1:
    case 4:
      // Keeps the snow moving while a modal loop of the system holds the thread.
      if (snowActive() && shellClock() >= st.frame.nextFrameTime - 0.001) framePaceNow(shellClock());
      break;
    case 2:
      timerPeriodicUpdateCheck();
      break;
    case 3:
      timerMinute();
      break;
    case 5:
      KillTimer(hwnd, 5);
      timerFirstUpdateCheck();
      break;
    default:
      break;
  }
}

}  // namespace

ShellState& shellState() {
  static ShellState state;
  return state;
}

void setPaused(bool paused) {
  ShellState& st = shellState();
  Settings& set = settings();
  bool was = set.paused;
  if (paused != was) guideState().baseBits |= kGuidePauseStep;
  set.paused = paused;
  settingsSave(set);
  if (was && !paused) {
    // The snow starts afresh after a pause.
    for (auto& o : overlays())
      if (o->world) o->world->reset();
    dropSavedWorlds();
  }
  st.frame.lastFrameTime = 0;
  st.frame.nextFrameTime = shellClock();
  trayForgetTooltip();
  trayUpdate();
  logLine("paused %d", paused ? 1 : 0);
  settingsWindowRepaint();
}

LRESULT CALLBACK mainWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  ShellState& st = shellState();
  if (msg != 0 && msg == st.taskbarCreatedMessage) {
    trayTaskbarCreated();
    return 0;
  }
  switch (msg) {
    case WM_NCCREATE:
      mainThreadTarget(hwnd);
      break;
    case WM_NCDESTROY:
      mainThreadTarget(nullptr);
      break;
    case WM_DESTROY:
      trayRemove();
      PostQuitMessage(0);
      return 0;
    case WM_ENDSESSION:
      if (wp) settingsSave(settings());
      return 0;
    case WM_SETTINGCHANGE:
      if (wp == SPI_SETWORKAREA)
        for (auto& o : overlays()) o->dirty = true;
      return 0;
    case WM_DISPLAYCHANGE:
      logLine("display change");
      requestRebuild(0.6);
      return 0;
    case WM_TIMER:
      onTimer(hwnd, wp);
      return 0;
    case WM_POWERBROADCAST:
      if (wp == PBT_APMRESUMEAUTOMATIC) {
        logLine("resumed from sleep");
        requestRebuild(1.0);
        st.frame.lastFrameTime = 0;
      }
      return TRUE;
    case WM_WTSSESSION_CHANGE:
      if (wp == WTS_SESSION_LOCK) {
        st.sessionLocked = true;
        logLine("session locked");
      } else if (wp == WTS_SESSION_UNLOCK) {
        st.sessionLocked = false;
        st.frame.lastFrameTime = 0;
        logLine("session unlocked");
      }
      return 0;
    case WM_HOTKEY:
      if (wp == 1) setPaused(!settings().paused);
      return 0;
    case kMsgOpenSettings:
      logLine("second start: settings window requested");
      openSettingsWindow();
      return 0;
    case kMsgTray:
      trayEvent(LOWORD(lp));
      return 0;
    case WM_COMMAND:
      // A menu command from outside the tray menu (automation, the end-to-end
      // tests): the same ids and the same actions. Control notifications
      // (a control window in the second parameter) are not commands.
      if (lp == 0 && HIWORD(wp) == 0) menuCommand(LOWORD(wp));
      return 0;
    case kMsgTask:
      runPostedTask(lp);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}
