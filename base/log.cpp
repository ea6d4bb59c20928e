#include "base/log.h"

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "base/utf8.h"

namespace {

std::mutex gLock;  // keeps each line whole and guards the stream and observer
std::FILE* gStream = nullptr;
LogClock gClock;
std::function<void(const std::string&)> gObserver;
// Callers on several threads count here; an atomic keeps the limit exact.
std::atomic<int> gLines{0};
std::atomic<bool> gOpen{false};

std::string formatMessage(const char* format, va_list args) {
  char small[512];
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (n < 0) return std::string();
  if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
  std::vector<char> big(static_cast<size_t>(n) + 1);
  std::vsnprintf(big.data(), big.size(), format, args);
  return std::string(big.data(), static_cast<size_t>(n));
}

}  // namespace

std::string formatTextV(const char* format, va_list args) { return formatMessage(format, args); }

std::string formatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = formatMessage(format, args);
  va_end(args);
  return text;
}

void logNotInThisBuild(const char* what) {
  static std::mutex lock;
  static std::set<std::string> told;
  {
    std::lock_guard<std::mutex> hold(lock);
    if (!told.insert(what).second) return;
  }
  logLine("%s: not available in this build", what);
}

std::string logSafe(std::string_view outside) {
  std::string out;
  out.reserve(outside.size());
  char buf[8];
  for (size_t at = 0; at < outside.size();) {
    Utf8Step step = utf8Step(outside, at);
    char32_t cp = step.codePoint;
    if (!step.valid || cp < 0x20 || cp == 0x7F) {
      std::snprintf(buf, sizeof buf, "\\x%02x", static_cast<unsigned char>(outside[at]));
      out += buf;
    } else if ((cp >= 0x80 && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029) {
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(cp));
      out += buf;
    } else {
      out.append(outside.substr(at, step.size));
    }
    at += step.size;
  }
  return out;
}

std::string logPrefix(int hour, int minute, int second, double elapsed) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d %8.3f  ", hour, minute, second, elapsed);
  return buf;
}

void logAttach(std::FILE* stream, LogClock clock) {
  std::lock_guard<std::mutex> hold(gLock);
  if (gStream && gStream != stream) std::fclose(gStream);
  gStream = stream;
  gClock = std::move(clock);
  gLines.store(0);
  gOpen.store(stream != nullptr);
}

void logDetach() {
  std::lock_guard<std::mutex> hold(gLock);
  if (gStream) std::fclose(gStream);
  gStream = nullptr;
  gOpen.store(false);
}

bool logIsOpen() { return gOpen.load(); }
int logLinesAttempted() { return gLines.load(); }

void logSetObserver(std::function<void(const std::string&)> observer) {
  std::lock_guard<std::mutex> hold(gLock);
  gObserver = std::move(observer);
}

void logLineV(const char* format, va_list args) {
  bool watched;
  {
    std::lock_guard<std::mutex> hold(gLock);
    watched = static_cast<bool>(gObserver);
  }
  if (!gOpen.load() && !watched) return;
  std::string message = formatMessage(format, args);
  std::lock_guard<std::mutex> hold(gLock);
  if (gObserver) gObserver(message);
  if (!gStream) return;
  if (gLines.fetch_add(1) + 1 > kLogLineLimit) return;
  int h = 0, m = 0, s = 0;
  if (gClock.localTime) gClock.localTime(h, m, s);
  double elapsed = gClock.elapsed ? gClock.elapsed() : 0.0;
  std::string line = logPrefix(h, m, s, elapsed);
  line += message;
  line += "\r\n";
  std::fwrite(line.data(), 1, line.size(), gStream);
  std::fflush(gStream);
}

void logLine(const char* format, ...) {
  va_list args;
  va_start(args, format);
  logLineV(format, args);
  va_end(args);
}
