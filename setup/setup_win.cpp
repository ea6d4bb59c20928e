#include "setup/setup_win.h"

// Installation, update and removal are not part of this build yet: the
// dispatcher never takes a start.
bool setupOffer(const wchar_t* commandLine, int& exitCode) {
  (void)commandLine;
  (void)exitCode;
  return false;
}
