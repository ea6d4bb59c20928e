#pragma once
// The diagnostic log: one UTF-8 line per call, from any thread.
#include <cstdarg>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#if defined(__MINGW32__)
// mingw's plain printf check follows the old Microsoft rules (no %zu); the
// runtime's ANSI printf handles the full C99 set.
#define QUILLAR_PRINTF(f, a) __attribute__((format(gnu_printf, f, a)))
#elif defined(__GNUC__)
#define QUILLAR_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define QUILLAR_PRINTF(f, a)
#endif

constexpr int kLogLineLimit = 20000;

// Writes "HH:MM:SS %8.3f  message\r\n" and flushes. Does nothing without a log.
void logLine(const char* format, ...) QUILLAR_PRINTF(1, 2);
void logLineV(const char* format, va_list args);

// Text from outside the program (URLs, server answers, city names) made safe
// to log: control characters (C0, DEL, C1, U+2028, U+2029) and bytes that
// are not UTF-8 are written as \xNN or \uNNNN, so no answer can end a line
// or forge one. Pass every such text through it before it reaches logLine.
std::string logSafe(std::string_view outside);

// printf-style formatting into a string, for lines written later (a frame's
// log lines) and texts built from numbers.
std::string formatText(const char* format, ...) QUILLAR_PRINTF(1, 2);
std::string formatTextV(const char* format, va_list args);

// "<what>: not available in this build", once per `what` per run, for the
// services that later work fills in.
void logNotInThisBuild(const char* what);

// Portable core under logOpen (the Win32 side finds the folder and rotates the
// files). The stream is owned by the log from here on; `elapsed` gives seconds
// since the log was opened and `localTime` the wall clock's hour, minute, second.
struct LogClock {
  std::function<double()> elapsed;
  std::function<void(int& h, int& m, int& s)> localTime;
};
void logAttach(std::FILE* stream, LogClock clock);
void logDetach();  // closes the stream; for tests and tools
bool logIsOpen();
int logLinesAttempted();

// Builds the line prefix, e.g. "21:04:07    0.031  ".
std::string logPrefix(int hour, int minute, int second, double elapsed);

// Tests may watch every message (without its prefix) that would be written.
void logSetObserver(std::function<void(const std::string&)> observer);
