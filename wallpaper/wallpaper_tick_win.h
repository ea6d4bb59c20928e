#pragma once
// The "--wallpaper-tick" role: applies the time-of-day wallpaper once and ends.
int wallpaperTick();
