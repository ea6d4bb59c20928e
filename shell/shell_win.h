#pragma once
// Process-wide state of the resident program; main thread only unless noted.
#include <windows.h>

#include <functional>

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

// Monotonic seconds from the performance counter.
double shellClock();
void shellClockInit();

// Wall clock as seconds since 1601 (for pauses and time away).
double wallSeconds();

// Main loop, frames and the tick.
bool snowActive();
void framePaceNow(double now);
int runMainLoop();
void requestRebuild(double delaySeconds);

// Main window.
constexpr UINT kMsgTray = WM_APP + 1;
constexpr UINT kMsgOpenSettings = WM_APP + 2;
constexpr UINT kMsgTask = WM_APP + 5;
LRESULT CALLBACK mainWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
void setPaused(bool paused);
// Any thread: runs the task on the main thread between frames.
void postToMain(std::function<void()> task);

// Roles that later work fills in; each reports whether it took the start.
bool screensaverOffer(const wchar_t* commandLine, int& exitCode);
bool setupOffer(const wchar_t* commandLine, int& exitCode);
int wallpaperTick();
