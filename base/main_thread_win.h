#pragma once
// The one way for a worker thread to hand work to the main thread: the task
// is posted to the main window and runs there between frames.
#include <windows.h>

#include <functional>

constexpr UINT kMsgTask = WM_APP + 5;

// The window that runs posted tasks (the main window), or null while there is none.
void mainThreadTarget(HWND window);
// Any thread: runs the task on the main thread between frames. Without a
// main window, or when the post fails, the task is destroyed without running.
void postToMain(std::function<void()> task);
// Main thread, for kMsgTask: runs the posted task and frees it.
void runPostedTask(LPARAM lp);
