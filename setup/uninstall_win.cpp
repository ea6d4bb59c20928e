#include "setup/uninstall_win.h"

#include "base/log.h"

// Removal is not part of this build yet.
void uninstall(bool quiet) {
  (void)quiet;
  logNotInThisBuild("uninstall");
}
