#pragma once
// The scheduled wallpaper tick: the task that starts "--wallpaper-tick"
// every ten minutes while a theme follows the time of day, and that run.

// The "--wallpaper-tick" role, with the single-instance mutex held: applies
// the time-of-day wallpaper once; the exit code (0).
int wallpaperTick();

// Main thread: keeps the scheduled task in step with the choice (a task
// exists while a theme is chosen and follows the time of day, for this
// executable). The scheduler runs on a worker; `WallTaskExe` follows its outcome.
void wallpaperScheduleSync(int choice, bool followTimes);

// Uninstall: deletes the task on the calling thread and forgets it, whatever
// the scheduler answers.
void removeWallpaperTask();
