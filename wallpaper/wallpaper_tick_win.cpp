#include "wallpaper/wallpaper_tick_win.h"

// The scheduled wallpaper tick: time-of-day wallpapers are not part of this
// build yet, so there is nothing to change and the tick succeeds at once.
int wallpaperTick() { return 0; }
