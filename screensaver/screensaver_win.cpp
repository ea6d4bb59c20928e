#include "screensaver/screensaver_win.h"

#include "base/log.h"

// The screensaver mode is not part of this build yet: it never takes a start.
bool screensaverOffer(const wchar_t* commandLine, int& exitCode) {
  (void)commandLine;
  (void)exitCode;
  return false;
}

// Not part of this build yet: says so once.
void installScreensaver() { logNotInThisBuild("screensaver install"); }
