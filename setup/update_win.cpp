#include "setup/update_win.h"

#include "base/log.h"

// The update service is not part of this build yet: each request says so once.
namespace {
bool gTold = false;
void notInThisBuild() {
  if (gTold) return;
  gTold = true;
  logLine("%s: not available in this build", "update check");
}
bool gInstallTold = false;
}  // namespace

void updateCheck(bool) { notInThisBuild(); }
void periodicUpdateCheck() { notInThisBuild(); }
void updateInstall() {
  if (gInstallTold) return;
  gInstallTold = true;
  logLine("%s: not available in this build", "update install");
}
