#pragma once
// The Win32 side of the resident program: the Windows objects it owns and the
// glue that joins them to the application state. Main thread only.
#include <windows.h>

#include "base/clock_win.h"
#include "base/command.h"
#include "base/main_thread_win.h"
#include "base/owners_win.h"
#include "shell/app.h"
#include "shell/commands.h"

struct ShellState {
  HINSTANCE instance = nullptr;
  HWND mainWindow = nullptr;
  UINT taskbarCreatedMessage = 0;
  UniqueWaitableTimer waitTimer;
};

ShellState& shellState();
// The one application state of the process (shell/app.h).
AppState& app();
// The Win32 services behind the commands.
Services& services();

// Runs a command from any source on the main thread, with the moment's context.
void runCommand(Command command);
void runCommand(Command command, const CommandContext& context);
// The settings window's values and then its command (0...22).
void runSettingsWindowCommand(const SettingsWindowValues& values, int number);
// The context of a command given now: clock, cursor, settings window.
CommandContext commandContextNow();

// Timers of the main window.
enum class ShellTimer : UINT_PTR {
  ClassicMenuFrames = 1,    // 30 ms while the classic tray menu is open
  PeriodicUpdateCheck = 2,  // every 6 hours
  Minute = 3,               // weather and wallpapers
  ModalFrames = 4,          // 15 ms while a modal loop of the program runs
  FirstUpdateCheck = 5,     // once, 3 s after the start
};
void startTimer(ShellTimer timer, UINT milliseconds);
void stopTimer(ShellTimer timer);

// Main loop, frames and the tick.
bool snowActive();
void framePaceNow(double now);
int runMainLoop();
void requestRebuild(double delaySeconds);
// (Re)builds the overlays of every monitor; worlds are kept by monitor key.
void buildOverlays();
// Sets the pause (tray, hotkey, commands).
void setPausedNow(bool paused);

// Main window.
constexpr UINT kMsgTray = WM_APP + 1;
constexpr UINT kMsgOpenSettings = WM_APP + 2;
LRESULT CALLBACK mainWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
// The overlay windows of every monitor ("KovraSnow").
LRESULT CALLBACK overlayWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// The settings window: opens, repaints and reports itself through these; its
// id (the window handle as a number, 0 while it is closed) names its drift.
void openSettingsWindow();
void settingsWindowRepaint();
uint64_t settingsWindowId();
// The screensaver setting is read again at the window's next paint.
void settingsWindowStatesStale();

// Opening the settings window: an update check when the last one is old.
void staleUpdateCheck();

// Contact mail (shell/contact_win.cpp).
void contactMail();
