#pragma once
// The time-of-day wallpaper as the rest of the program reaches it. The
// choice lives on the main thread; the pictures are made and set on a worker.
#include <functional>

#include "weather/day_phase.h"

// Start-up, after the weather: reads the choice, refreshes the catalogue and
// applies the chosen theme in the background. `changed` runs on the main
// thread whenever what the settings window shows may have changed (a new
// catalogue came in).
void wallpaperInit(std::function<void()> changed);

// Once a minute, and when a new city is found: the phase may have moved on.
void wallpaperMinuteCheck();
// The chosen theme (its index in the catalogue, -1 the user's own wallpaper).
int wallpaperChoiceNow();
bool wallpaperFollowsTimes();
// From the settings window: stores the choice and applies it.
void setWallpaperChoice(int choice, bool followTimes);

// Reads `WallpaperFile` (migrating an old `Wallpaper` value first) against
// the current catalogue and rewrites what is stale; -1 for "My wallpaper".
int wallpaperChoiceStored();
// `WallpaperTimes`, on unless stored as 0.
bool wallpaperTimesStored();

// The whole apply run on the calling thread (a worker, or the tick run):
// makes or finds the picture for the moment and sets it on every monitor, or
// puts the user's own pictures back for -1; then tidies the generated ones.
void applyNow(int choice, bool followTimes, PhaseLocation where);
// Uninstall: "My wallpaper" stored and put back, on the calling thread.
void restoreOwnWallpaper();

// Theme downloads.
void requestThemeDownload(int theme);
void downloadAll();
