#include "wallpaper/wallpaper_win.h"

#include "base/log.h"

// Wallpapers are not part of this build yet: each request says so once and
// leaves the desktop as it is.
void wallpaperMinuteCheck() { logNotInThisBuild("wallpapers"); }
int wallpaperChoiceNow() { return -1; }
bool wallpaperFollowsTimes() { return false; }
void setWallpaperChoice(int, bool) { logNotInThisBuild("wallpapers"); }
void requestThemeDownload(int) { logNotInThisBuild("theme download"); }
void downloadAll() { logNotInThisBuild("theme download"); }
