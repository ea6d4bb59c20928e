#pragma once
// The screensaver role of the executable.

// Takes the start when the command line asks for the screensaver ("/s", "/p",
// "/l", "/c" or a name ending in ".scr"); `exitCode` is then the process's.
bool screensaverOffer(const wchar_t* commandLine, int& exitCode);

// Makes this program the system screensaver.
void installScreensaver();
