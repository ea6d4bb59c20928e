// The hidden "KovraMain" window: the shell's switchboard for the tray icon,
// system notifications, the hotkey, timers, second starts and posted tasks.
// Every request it gets becomes a Command.
#include <windows.h>
#include <wtsapi32.h>

#include "base/log.h"
#include "base/settings_win.h"
#include "shell/recording_win.h"
#include "shell/shell_win.h"
#include "shell/tray_win.h"

namespace {

AppState gApp;
ShellState gShell;

std::optional<Command> timerCommand(UINT_PTR id) {
  switch (static_cast<ShellTimer>(id)) {
    case ShellTimer::ClassicMenuFrames:
    case ShellTimer::ModalFrames:
      return Command::FrameKeepAlive;
    case ShellTimer::PeriodicUpdateCheck:
      return Command::PeriodicUpdateCheck;
    case ShellTimer::Minute:
      return Command::MinuteCheck;
    case ShellTimer::FirstUpdateCheck:
      stopTimer(ShellTimer::FirstUpdateCheck);
      return Command::FirstUpdateCheck;
  }
  return std::nullopt;
}

}  // namespace

ShellState& shellState() { return gShell; }
AppState& app() { return gApp; }

CommandContext commandContextNow() {
  CommandContext c;
  c.now = shellClock();
  POINT pt{};
  if (GetCursorPos(&pt)) {
    c.cursorX = pt.x;
    c.cursorY = pt.y;
  }
  c.settingsWindow = settingsWindowId();
  return c;
}

void runCommand(Command command) { runCommand(command, commandContextNow()); }

void runCommand(Command command, const CommandContext& context) {
  if (command != Command::FrameKeepAlive) recordCommand(command, context);
  applyCommand(gApp, command, services(), context);
  recordSettings(gApp.settings);
}

void runSettingsWindowCommand(const SettingsWindowValues& values, int number) {
  CommandContext c = commandContextNow();
  c.city = values.city;
  c.theme = values.selectedTheme;
  recordSettingsValues(values, c.now);
  applySettingsValues(gApp, values, services(), c.now);
  if (std::optional<Command> command = settingsWindowCommandFrom(number)) {
    runCommand(*command, c);
  } else {
    recordSettings(gApp.settings);
  }
}

void setPausedNow(bool paused) {
  if (paused == gApp.settings.paused) return;
  runCommand(Command::TogglePause);
}

void startTimer(ShellTimer timer, UINT milliseconds) {
  if (gShell.mainWindow) SetTimer(gShell.mainWindow, static_cast<UINT_PTR>(timer), milliseconds, nullptr);
}

void stopTimer(ShellTimer timer) {
  if (gShell.mainWindow) KillTimer(gShell.mainWindow, static_cast<UINT_PTR>(timer));
}

LRESULT CALLBACK mainWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg != 0 && msg == gShell.taskbarCreatedMessage) {
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
      if (wp) settingsSave(gApp.settings);
      return 0;
    case WM_SETTINGCHANGE:
      if (wp == SPI_SETWORKAREA)
        for (MonitorState& m : gApp.monitors) m.dirty = true;
      return 0;
    case WM_DISPLAYCHANGE:
      logLine("display change");
      requestRebuild(0.6);
      return 0;
    case WM_TIMER:
      if (std::optional<Command> c = timerCommand(wp)) runCommand(*c);
      return 0;
    case WM_POWERBROADCAST:
      if (wp == PBT_APMRESUMEAUTOMATIC) {
        logLine("resumed from sleep");
        requestRebuild(1.0);
        appResetStep(gApp);
      }
      return TRUE;
    case WM_WTSSESSION_CHANGE:
      if (wp == WTS_SESSION_LOCK) {
        gApp.sessionLocked = true;
        logLine("session locked");
      } else if (wp == WTS_SESSION_UNLOCK) {
        gApp.sessionLocked = false;
        appResetStep(gApp);
        logLine("session unlocked");
      }
      return 0;
    case WM_HOTKEY:
      if (wp == 1) runCommand(Command::TogglePause);
      return 0;
    case kMsgOpenSettings:
      runCommand(Command::SecondStart);
      return 0;
    case kMsgTray:
      trayEvent(LOWORD(lp));
      return 0;
    case WM_COMMAND:
      // A menu command from outside the tray menu (automation, the end-to-end
      // tests): the same ids and the same actions. Control notifications
      // (a control window in the second parameter) are not commands.
      if (lp == 0 && HIWORD(wp) == 0) {
        if (std::optional<Command> c = menuCommandFrom(LOWORD(wp))) {
          runCommand(*c);
        } else {
          services().repaintSettingsWindow();  // unknown ids do nothing else
        }
      }
      return 0;
    case kMsgTask:
      runPostedTask(lp);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}
