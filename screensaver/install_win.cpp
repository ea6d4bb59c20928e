// Making this program the system screensaver: the copy "Quillar.scr", the
// three values under Control Panel\Desktop and the system dialog.
#include <windows.h>

#include <shellapi.h>

#include <optional>
#include <string>

#include "base/log.h"
#include "base/win_util_win.h"
#include "screensaver/screensaver_rules.h"
#include "screensaver/screensaver_win.h"

namespace {

const wchar_t kDesktopKey[] = L"Control Panel\\Desktop";

std::wstring exeFolder() {
  std::wstring exe = moduleFileName();
  const size_t slash = exe.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring(L".") : exe.substr(0, slash);
}

std::wstring localAppData() {
  wchar_t buf[1024];
  const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", buf, 1024);
  return (n > 0 && n < 1024) ? std::wstring(buf, n) : std::wstring();
}

std::wstring primaryCopy() { return toWide(kovra::saverPrimaryPath(toUtf8(exeFolder()))); }
std::wstring fallbackCopy() { return toWide(kovra::saverFallbackPath(toUtf8(localAppData()), toUtf8(exeFolder()))); }

// The long form where it can be made (within 519 characters), else as given.
std::wstring longPath(const std::wstring& path) {
  wchar_t buf[520];
  const DWORD n = GetLongPathNameW(path.c_str(), buf, 520);
  return (n > 0 && n < 520) ? std::wstring(buf, n) : path;
}

bool samePath(const std::wstring& a, const std::wstring& b) {
  const std::wstring la = longPath(a), lb = longPath(b);
  return CompareStringOrdinal(la.c_str(), static_cast<int>(la.size()), lb.c_str(), static_cast<int>(lb.size()),
                              TRUE) == CSTR_EQUAL;
}

std::optional<std::wstring> readDesktopString(HKEY key, const wchar_t* name) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size > 64 * 1024)
    return std::nullopt;
  std::wstring v(size / sizeof(wchar_t) + 1, L'\0');
  DWORD got = static_cast<DWORD>(v.size() * sizeof(wchar_t));
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(v.data()), &got) != ERROR_SUCCESS)
    return std::nullopt;
  v.resize(got / sizeof(wchar_t));
  while (!v.empty() && v.back() == L'\0') v.pop_back();
  return v;
}

void writeDesktopString(HKEY key, const wchar_t* name, const std::wstring& value) {
  RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

std::optional<std::string> utf8Of(const std::optional<std::wstring>& v) {
  if (!v) return std::nullopt;
  return toUtf8(*v);
}

}  // namespace

void installScreensaver() {
  const std::wstring source = moduleFileName();
  std::wstring target = primaryCopy();
  if (!samePath(source, target) && !CopyFileW(source.c_str(), target.c_str(), FALSE)) {
    logLine("screensaver: copy to %s failed (%lu) — using the user's folder", toUtf8(target).c_str(), GetLastError());
    target = fallbackCopy();
    const size_t slash = target.find_last_of(L'\\');
    if (slash != std::wstring::npos) CreateDirectoryW(target.substr(0, slash).c_str(), nullptr);
    if (!samePath(source, target) && !CopyFileW(source.c_str(), target.c_str(), FALSE))
      logLine("screensaver: copy to %s failed too (%lu)", toUtf8(target).c_str(), GetLastError());
  }
  // The short form keeps the value free of spaces for older readers.
  std::wstring value = target;
  wchar_t shortBuf[520];
  const DWORD n = GetShortPathNameW(target.c_str(), shortBuf, 520);
  if (n > 0 && n < 520) value.assign(shortBuf, n);

  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key,
                      nullptr) == ERROR_SUCCESS) {
    UniqueHkey owner(key);
    writeDesktopString(key, L"SCRNSAVE.EXE", value);
    writeDesktopString(key, L"ScreenSaveActive", L"1");
    if (!kovra::saverTimeoutKept(utf8Of(readDesktopString(key, L"ScreenSaveTimeOut"))))
      writeDesktopString(key, L"ScreenSaveTimeOut", toWide(kovra::kDefaultSaverTimeout));
  }
  SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_SENDCHANGE);
  logLine("screensaver installed: %s", toUtf8(value).c_str());
  ShellExecuteW(nullptr, L"open", L"control.exe", L"desk.cpl,,@screensaver", nullptr, SW_SHOWNORMAL);
}

namespace {

// The active screensaver's path; empty when none is active.
std::wstring activeSaver() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return {};
  UniqueHkey owner(key);
  const std::optional<std::wstring> scr = readDesktopString(key, L"SCRNSAVE.EXE");
  const std::optional<std::wstring> active = readDesktopString(key, L"ScreenSaveActive");
  if (!kovra::saverSettingActive(utf8Of(scr), utf8Of(active))) return {};
  return *scr;
}

}  // namespace

bool screensaverIsOurs() {
  const std::wstring scr = activeSaver();
  if (scr.empty()) return false;
  return samePath(scr, primaryCopy()) || samePath(scr, fallbackCopy());
}

bool screensaverIsCopyIn(const std::wstring& folder) {
  const std::wstring scr = activeSaver();
  return !scr.empty() && !folder.empty() && samePath(scr, folder + L"\\Quillar.scr");
}
