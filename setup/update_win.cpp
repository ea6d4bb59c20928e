#include "setup/update_win.h"

#include "base/log.h"

// The update service is not part of this build yet: each request says so once.
void updateCheck(bool) { logNotInThisBuild("update check"); }
void periodicUpdateCheck() { logNotInThisBuild("update check"); }
void updateInstall() { logNotInThisBuild("update install"); }
