#pragma once
// The time-of-day wallpaper as the rest of the program reaches it.

// Once a minute: the phase may have moved on.
void wallpaperMinuteCheck();
// The chosen theme (its index in the catalogue, -1 the user's own wallpaper).
int wallpaperChoiceNow();
bool wallpaperFollowsTimes();
void setWallpaperChoice(int choice, bool followTimes);
// Theme downloads.
void requestThemeDownload(int theme);
void downloadAll();
