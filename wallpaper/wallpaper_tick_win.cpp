#include "wallpaper/wallpaper_tick_win.h"

// The scheduled wallpaper tick and its task come with the theme server: the
// tick has nothing to change yet and succeeds at once, and no task is made.
int wallpaperTick() { return 0; }

void wallpaperScheduleSync(int, bool) {}
