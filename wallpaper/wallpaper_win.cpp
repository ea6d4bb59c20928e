#include "wallpaper/wallpaper_win.h"

#include <set>
#include <string>

#include "base/log.h"

// Wallpapers are not part of this build yet: each request says so once and
// leaves the desktop as it is.
namespace {
void notInThisBuild(const char* what) {
  static std::set<std::string> told;
  if (told.insert(what).second) logLine("%s: not available in this build", what);
}
}  // namespace

void wallpaperMinuteCheck() { notInThisBuild("wallpapers"); }
int wallpaperChoiceNow() { return -1; }
bool wallpaperFollowsTimes() { return false; }
void setWallpaperChoice(int, bool) { notInThisBuild("wallpapers"); }
void requestThemeDownload(int) { notInThisBuild("theme download"); }
void downloadAll() { notInThisBuild("theme download"); }
