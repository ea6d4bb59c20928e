#include "setup/uninstall_win.h"

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "base/log.h"
#include "base/log_win.h"
#include "base/win_util_win.h"
#include "screensaver/screensaver_win.h"
#include "setup/setup_win.h"
#include "ui/text.h"
#include "wallpaper/wallpaper_tick_win.h"
#include "wallpaper/wallpaper_win.h"

namespace {

const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quillar";
const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kDesktopKey[] = L"Control Panel\\Desktop";

std::wstring knownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::wstring out;
  if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)) && path) out = path;
  CoTaskMemFree(path);
  return out;
}

std::wstring longPath(const std::wstring& path) {
  wchar_t buf[520];
  DWORD n = GetLongPathNameW(path.c_str(), buf, 520);
  return n > 0 && n < 520 ? std::wstring(buf, n) : path;
}

bool folderExists(const std::wstring& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Whether `path` lies inside `folder` (long forms, any case).
bool liesIn(const std::wstring& path, const std::wstring& folder) {
  const std::wstring p = longPath(path), f = longPath(folder);
  if (f.empty() || p.size() <= f.size() || (p[f.size()] != L'\\' && p[f.size()] != L'/')) return false;
  return CompareStringOrdinal(p.c_str(), static_cast<int>(f.size()), f.c_str(), static_cast<int>(f.size()), TRUE) ==
         CSTR_EQUAL;
}

void removeScreensaverSetting() {
  UniqueHkey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS)
    RegDeleteValueW(key.get(), L"SCRNSAVE.EXE");
  SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
  logLine("uninstall: the screensaver setting removed");
}

void removeAutostart() {
  UniqueHkey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS)
    RegDeleteValueW(key.get(), L"Kovra");
}

void removeShortcut(REFKNOWNFOLDERID where) {
  const std::wstring folder = knownFolder(where);
  if (!folder.empty()) DeleteFileW((folder + L"\\Quillar.lnk").c_str());
}

// The shell's delete, quietly: no confirmation, progress or error boxes.
void removeTree(const std::wstring& folder) {
  if (!folderExists(folder)) return;
  std::vector<wchar_t> from(folder.begin(), folder.end());
  from.push_back(L'\0');
  from.push_back(L'\0');
  SHFILEOPSTRUCTW op{};
  op.wFunc = FO_DELETE;
  op.pFrom = from.data();
  op.fFlags = FOF_NO_UI;
  if (int err = SHFileOperationW(&op)) logLine("uninstall: %s not removed (%d)", toUtf8(folder).c_str(), err);
}

// The folder holds the running executable: cmd waits about two seconds
// (three pings), by when this process has ended, and removes it all.
void removeFolderLater(const std::wstring& folder) {
  wchar_t system[MAX_PATH + 1] = {};
  const UINT n = GetSystemDirectoryW(system, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) {
    logLine("uninstall: no system folder — %s stays", toUtf8(folder).c_str());
    return;
  }
  const std::wstring systemDir(system, n);
  const std::wstring cmd = systemDir + L"\\cmd.exe";
  std::wstring line = L"cmd.exe /c ping 127.0.0.1 -n 3 > nul & rmdir /s /q \"" + folder + L"\"";
  std::vector<wchar_t> buf(line.begin(), line.end());
  buf.push_back(L'\0');
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(cmd.c_str(), buf.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, systemDir.c_str(),
                      &si, &pi)) {
    logLine("uninstall: the folder removal could not be started (%lu)", GetLastError());
    return;
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}

}  // namespace

void uninstall(bool quiet) {
  logOpen(L"quillar-setup-log");
  if (!quiet) {
    const std::wstring question = toWide(tr(
        "Видалити Quillar з цього комп’ютера? Сніг зникне, а ваші власні шпалери й заставка повернуться."));
    if (MessageBoxW(nullptr, question.c_str(), L"Quillar",
                    MB_OKCANCEL | MB_ICONQUESTION | MB_TOPMOST | MB_SETFOREGROUND) != IDOK) {
      logLine("uninstall: cancelled");
      return;
    }
  }
  stopRunningInstance();
  const std::wstring folder = installationFolder();
  logLine("uninstall from %s", toUtf8(folder).c_str());

  restoreOwnWallpaper();
  removeWallpaperTask();
  // Only our own screensaver goes; another program's stays the user's choice.
  if (screensaverIsOurs() || screensaverIsCopyIn(folder)) removeScreensaverSetting();
  removeAutostart();
  removeShortcut(FOLDERID_Programs);
  removeShortcut(FOLDERID_Desktop);
  RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKey);
  RegDeleteKeyW(HKEY_CURRENT_USER, kUninstallKey);
  const std::wstring local = knownFolder(FOLDERID_LocalAppData);
  if (!local.empty()) removeTree(local + L"\\Quillar\\Wallpapers");

  if (!folder.empty() && (liesIn(moduleFileName(), folder) || folderExists(folder))) removeFolderLater(folder);
  logLine("uninstalled");
  if (!quiet)
    MessageBoxW(nullptr, toWide(tr("Quillar видалено. Дякуємо, що користувалися ним!")).c_str(), L"Quillar",
                MB_OK | MB_ICONINFORMATION | MB_TOPMOST | MB_SETFOREGROUND);
}
