#pragma once
// Process-wide state of the resident program; main thread only unless noted.
#include <windows.h>

#include <functional>

#include "base/clock_win.h"
#include "base/main_thread_win.h"
#include "shell/frame_rules.h"
#include "shell/pacing.h"

struct ShellState {
  HINSTANCE instance = nullptr;
  HWND mainWindow = nullptr;
  UINT taskbarCreatedMessage = 0;
  HANDLE waitTimer = nullptr;  // owned; closed in the tear-down
  FrameState frame;
  PausedClock pausedClock;
  bool anyShown = false;
  bool sessionLocked = false;
  bool recreatePending = false;
  double recreateDue = 0;
  bool softMode = true;
  bool forceCompatible = false;
  bool guideActive = false;
};

ShellState& shellState();


// Main loop, frames and the tick.
bool snowActive();
void framePaceNow(double now);
int runMainLoop();
void requestRebuild(double delaySeconds);

// Main window.
constexpr UINT kMsgTray = WM_APP + 1;
constexpr UINT kMsgOpenSettings = WM_APP + 2;
LRESULT CALLBACK mainWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
void setPaused(bool paused);

