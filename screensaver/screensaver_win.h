#pragma once
// The screensaver role of the executable and making it the system screensaver.
#include <string>

// Takes the start when the command line asks for the screensaver ("/s", "/c",
// "/p" or "/l" with a window to draw in, or no argument under a name ending
// in ".scr"); `exitCode` is then the process's. `translate` is the UI text
// lookup for the configure box.
bool screensaverOffer(const wchar_t* commandLine, const char* (*translate)(const char*), int& exitCode);

// Copies the executable as "Quillar.scr", makes it the system screensaver
// (on, with a timeout of 600 s unless the user set one) and opens the
// system's screensaver dialog.
void installScreensaver();

// The system screensaver is on and is our copy (beside the executable or in
// the user's folder).
bool screensaverIsOurs();
// The system screensaver is on and is the copy "Quillar.scr" in `folder`
// (an installation folder, seen from a copy that runs elsewhere).
bool screensaverIsCopyIn(const std::wstring& folder);
