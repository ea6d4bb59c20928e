#include "setup/update_win.h"

#include <windows.h>

#include <shellapi.h>

#include <atomic>
#include <ctime>
#include <mutex>
#include <utility>
#include <vector>

#include "base/log.h"
#include "base/main_thread_win.h"
#include "base/settings_win.h"
#include "base/win_util_win.h"
#include "net/http_win.h"
#include "net/service_base_win.h"
#include "net/sha256.h"
#include "net/worker.h"
#include "setup/package.h"
#include "setup/update.h"
#include "ui/text.h"

#ifndef QUILLAR_VERSION
#define QUILLAR_VERSION "0.9.20"
#endif

namespace {

// The UI reads these at any time, without the lock.
std::atomic<int32_t> gState{UpdateIdle};
std::atomic<float> gProgress{0};

// What the last valid answer said and how the current check came about.
struct Record {
  std::string newest;
  std::string url;
  std::string sha256;
  int64_t lastCheck = 0;  // seconds since 1970; 0 = never
  bool manual = false;
  std::string error;  // source text of the UI table
};
std::mutex gLock;
Record gRecord;

// Main thread only.
UpdateHooks gHooks;
std::string gBase;

int64_t unixNow() { return static_cast<int64_t>(std::time(nullptr)); }

const std::string& serviceBaseNow() {
  if (gBase.empty()) gBase = serviceBaseFromRegistry(L"UpdateServer", kUpdateServiceBase, "update");
  return gBase;
}

void repaintSoon() {
  postToMain([] {
    if (gHooks.repaint) gHooks.repaint();
  });
}

void setState(int value) {
  gState.store(value);
  repaintSoon();
}

void setError(const char* text) {
  std::lock_guard<std::mutex> hold(gLock);
  gRecord.error = text;
}

// Main thread: what a finished check means for the user.
void checkDone(UpdateCheckResult result, std::string newest) {
  setState(result.state);
  if (!result.available) return;
  bool manual;
  {
    std::lock_guard<std::mutex> hold(gLock);
    manual = gRecord.manual;
  }
  const std::string told = quillarReadString(L"UpdateTold");
  if (!updateNoticeWanted(result.available, manual, told, newest)) return;
  // Remembered only once it was shown: a notice that found no tray icon
  // comes again after the next start.
  if (!gHooks.notify || !gHooks.notify(tr(kUpdateNoticeTitle), trFormat(kUpdateNoticeText, newest))) {
    logLine("update check: the notice about %s could not be shown", newest.c_str());
    return;
  }
  quillarWriteString(L"UpdateTold", newest);
  logLine("update check: the user is told about %s", newest.c_str());
}

void runCheck(const std::string& url) {
  std::string body;
  int status = 0;
  const bool completed = httpRequest("GET", url, "", kUpdateCheckHeaders, body, status);
  const UpdateAnswer answer = updateAnswerRead(completed, status, body);
  if (answer.fault == UpdateFault::BadVersion)
    logLine("update check: the version \"%s\" is refused", logSafe(answer.version).c_str());
  if (answer.fault == UpdateFault::BadUrl)
    logLine("update check: the setup address \"%s\" is refused", logSafe(answer.url).c_str());

  bool manual;
  {
    std::lock_guard<std::mutex> hold(gLock);
    gRecord.lastCheck = unixNow();
    manual = gRecord.manual;
    if (answer.valid()) {
      gRecord.newest = answer.version;
      gRecord.url = answer.url;
      gRecord.sha256 = answer.sha256;
    }
  }
  const int reported = completed ? status : 0;
  UpdateCheckResult result = updateCheckResult(answer, reported, manual, QUILLAR_VERSION);
  if (answer.valid()) {
    logLine("update check: newest %s, this %s → %s", answer.version.c_str(), QUILLAR_VERSION,
            result.available ? "update available" : "up to date");
  } else {
    logLine("update check: no answer (HTTP %d)", reported);
    setError(result.error.c_str());
  }
  std::string newest = answer.version;
  postToMain([result = std::move(result), newest = std::move(newest)] { checkDone(result, newest); });
}

std::wstring tempFolder() {
  wchar_t buf[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, buf);
  return n == 0 || n > MAX_PATH ? std::wstring() : std::wstring(buf, n);
}

// The whole file's digest; empty when it cannot be read or is too large.
std::string fileSha256(const std::wstring& path) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return {};
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 2147483646) return {};
  Sha256 hash;
  std::vector<char> chunk(1 << 16);
  int64_t left = size.QuadPart;
  while (left > 0) {
    DWORD got = 0;
    if (!ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr) || got == 0) return {};
    hash.update(chunk.data(), got);
    left -= got;
  }
  return hash.finishHex();
}

void downloadFailed(const std::wstring& target) {
  if (!target.empty()) DeleteFileW(target.c_str());
  setError(kUpdateErrorDownload);
  postToMain([] { setState(UpdateFailed); });
}

// Main thread: the verified setup takes over; it closes this program.
void startSetup(const std::wstring& target) {
  setState(UpdateInstalling);
  HINSTANCE started = ShellExecuteW(nullptr, L"open", target.c_str(), L"/update", nullptr, SW_SHOWNORMAL);
  const auto code = reinterpret_cast<INT_PTR>(started);
  if (code > 32) return;
  logLine("update: could not start the installer (%lu)", static_cast<unsigned long>(code));
  setError(kUpdateErrorStart);
  setState(UpdateFailed);
}

void runDownload(const std::string& url, const std::string& sha256, const std::string& version) {
  const std::wstring folder = tempFolder();
  if (folder.empty()) {
    logLine("update: no temporary folder");
    downloadFailed({});
    return;
  }
  const std::wstring target = folder + toWide(updateSetupFileName(version));
  float lastPosted = 0;
  const bool fetched = httpDownload(url, target, kUpdateSetupLimit, [&lastPosted](uint64_t received, uint64_t total) {
    const float f = updateProgressFraction(received, total);
    gProgress.store(f);
    if (!updateProgressWorthPosting(lastPosted, f)) return;
    lastPosted = f;
    repaintSoon();
  });
  if (!fetched) {
    downloadFailed(target);
    return;
  }
  if (!sha256.empty() && !updateChecksumMatches(sha256, fileSha256(target))) {
    logLine("update: the download does not match its checksum — not installing it");
    downloadFailed(target);
    return;
  }
  logLine("update %s downloaded — starting it", version.c_str());
  postToMain([target] { startSetup(target); });
}

}  // namespace

void updateSetHooks(UpdateHooks hooks) { gHooks = std::move(hooks); }

void updateCheck(bool manual) {
  if (!updateCheckAllowed(gState.load())) return;
  {
    std::lock_guard<std::mutex> hold(gLock);
    gRecord.manual = manual;
    gRecord.error.clear();
  }
  setState(UpdateChecking);
  const std::string url = serviceBaseNow() + updateCheckObject(QUILLAR_VERSION);
  runWorker([url] { runCheck(url); });
}

void staleCheck() {
  int64_t last;
  {
    std::lock_guard<std::mutex> hold(gLock);
    last = gRecord.lastCheck;
  }
  if (updateStaleCheckWanted(gState.load(), last, unixNow())) updateCheck(false);
}

void periodicCheck() {
  int64_t last;
  {
    std::lock_guard<std::mutex> hold(gLock);
    last = gRecord.lastCheck;
  }
  if (updatePeriodicCheckWanted(gState.load(), last, unixNow())) updateCheck(false);
}

void updateInstall() {
  if (!updateInstallAllowed(gState.load())) return;
  std::string url, sha256, version;
  {
    std::lock_guard<std::mutex> hold(gLock);
    url = gRecord.url;
    sha256 = gRecord.sha256;
    version = gRecord.newest;
    gRecord.error.clear();
  }
  // A failed check leaves the last answer in place; only a newer one is installed.
  if (url.empty() || compareVersions(version, QUILLAR_VERSION) != 1) return;
  gProgress.store(0);
  setState(UpdateDownloading);
  runWorker([url, sha256, version] { runDownload(url, sha256, version); });
}

int updateStateNow() { return gState.load(); }
float updateProgressNow() { return gProgress.load(); }

std::string updateNewestVersion() {
  std::lock_guard<std::mutex> hold(gLock);
  return gRecord.newest;
}

std::string updateErrorText() {
  std::lock_guard<std::mutex> hold(gLock);
  return gRecord.error;
}
