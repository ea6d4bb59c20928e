#include <windows.h>

#include "base/clock_win.h"

namespace {
double gFrequency = 0;
}

void shellClockInit() {
  LARGE_INTEGER f{};
  QueryPerformanceFrequency(&f);
  gFrequency = static_cast<double>(f.QuadPart);
}

double shellClock() {
  if (gFrequency <= 0) shellClockInit();
  LARGE_INTEGER c{};
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / gFrequency;
}

double wallSeconds() {
  FILETIME ft{};
  GetSystemTimeAsFileTime(&ft);
  ULARGE_INTEGER u{};
  u.LowPart = ft.dwLowDateTime;
  u.HighPart = ft.dwHighDateTime;
  return static_cast<double>(u.QuadPart) / 1e7;
}
