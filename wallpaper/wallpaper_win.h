#pragma once
// The time-of-day wallpaper as the rest of the program reaches it. The
// choice lives on the main thread; the pictures are made and set on a worker.
#include <functional>

#include "weather/day_phase.h"

// Start-up, after the weather: reads the choice, refreshes the catalogue and
// applies the chosen theme in the background. `changed` runs on the main
// thread whenever what the settings window shows may have changed (a new
// catalogue came in, a theme arrived); `repaint` when only a download's
// progress moved.
void wallpaperInit(std::function<void()> changed, std::function<void()> repaint);

// Once a minute, and when a new city is found: the phase may have moved on.
void wallpaperMinuteCheck();
// The chosen theme (its index in the catalogue, -1 the user's own wallpaper).
int wallpaperChoiceNow();
bool wallpaperFollowsTimes();
// From the settings window: stores the choice and applies it.
void setWallpaperChoice(int choice, bool followTimes);
// The chosen theme once more in the background (its pictures just arrived).
void wallpaperApplyAgain();

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

// Theme downloads, main thread. A theme that is not on disk is queued
// (once, however often it is asked for) and fetched after the ones before
// it; with `select` it becomes the choice when it has arrived. One that is
// there already is only chosen (with `select`). Nothing in the tick run.
void requestThemeDownload(int theme, bool select);
// Every theme that is not on disk, in catalogue order.
void downloadAll();
// 0..1 while queued or downloading, -1 otherwise.
float downloadProgress(int theme);
// The last download of the theme failed (until it is asked for again).
bool downloadFailed(int theme);
bool anyDownloadFailed();
int downloadsPending();  // themes queued or downloading
// A wallpaper was chosen: a theme still on its way is no longer chosen when it arrives.
void downloadsForgetSelection();
void downloadsSetHooks(std::function<void()> repaint, std::function<void()> changed);
