#pragma once
// The one place that tells Win32 code from portable code.
// Portable files never include <windows.h>; files named *_win.cpp may.
#if defined(_WIN32)
#define QUILLAR_WIN32 1
#else
#define QUILLAR_WIN32 0
#endif
