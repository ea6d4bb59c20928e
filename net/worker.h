#pragma once
// Background work: one detached thread per task.
#include <functional>

// Runs `task` on a new detached thread that owns it (capture inputs by value:
// the caller's variables may be gone by the time it runs). When no thread can
// be started the task runs here, before returning, and a line is logged.
// An exception thrown by the task ends the task, not the process: it is
// caught and logged as "worker: task failed (...)".
void runWorker(std::function<void()> task);
