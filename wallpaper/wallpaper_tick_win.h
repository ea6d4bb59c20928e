#pragma once
// The "--wallpaper-tick" role: applies the time-of-day wallpaper once and ends.
int wallpaperTick();

// Main thread: keeps the scheduled task in step with the choice (a task
// exists while a theme is chosen and follows the time of day).
void wallpaperScheduleSync(int choice, bool followTimes);

// Uninstall, on the calling thread: deletes the scheduled task "Quillar
// Wallpaper" and forgets it ("WallTaskExe" emptied), whatever the outcome.
void removeWallpaperTask();
