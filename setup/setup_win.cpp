#include "setup/setup_win.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/log.h"
#include "base/log_win.h"
#include "base/settings_win.h"
#include "base/win_util_win.h"
#include "setup/package.h"
#include "setup/uninstall_win.h"
#include "ui/text.h"

#ifndef QUILLAR_VERSION
#define QUILLAR_VERSION "0.9.20"
#endif

namespace {

const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quillar";
const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
const wchar_t kAboutUrl[] = L"https://quillar.app/";
constexpr int kPackageResource = 900;

// The package resource of this executable; empty when it has none.
std::span<const uint8_t> packageBytes() {
  HMODULE self = GetModuleHandleW(nullptr);
  HRSRC res = FindResourceW(self, MAKEINTRESOURCEW(kPackageResource), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (!res) return {};
  HGLOBAL mem = LoadResource(self, res);
  const void* data = mem ? LockResource(mem) : nullptr;
  DWORD size = SizeofResource(self, res);
  if (!data || size == 0) return {};
  return {static_cast<const uint8_t*>(data), size};
}

std::wstring knownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::wstring out;
  if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_CREATE, nullptr, &path)) && path) out = path;
  CoTaskMemFree(path);
  return out;
}

std::wstring installFolder() { return installationFolder(); }

bool fileExists(const std::wstring& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// -1 when the file is missing.
long long fileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Creates the folder and every missing parent.
void makeFolders(const std::wstring& path) {
  for (size_t at = path.find(L'\\', 3); ; at = path.find(L'\\', at + 1)) {
    CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    if (at == std::wstring::npos) break;
  }
}

std::wstring folderOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring readString(HKEY root, const wchar_t* key, const wchar_t* name, bool* exists = nullptr) {
  if (exists) *exists = false;
  UniqueHkey k;
  if (RegOpenKeyExW(root, key, 0, KEY_QUERY_VALUE, k.put()) != ERROR_SUCCESS) return {};
  std::vector<wchar_t> buf(1024, L'\0');
  DWORD type = REG_NONE;
  DWORD size = static_cast<DWORD>((buf.size() - 1) * sizeof(wchar_t));
  if (RegQueryValueExW(k.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size) != ERROR_SUCCESS)
    return {};
  if (exists) *exists = true;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
  return std::wstring(buf.data(), wcsnlen(buf.data(), size / sizeof(wchar_t)));
}

void writeString(HKEY key, const wchar_t* name, const std::wstring& value) {
  RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void writeDword(HKEY key, const wchar_t* name, DWORD value) {
  RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

void errorBox(const std::string& text) {
  MessageBoxW(nullptr, toWide(text).c_str(), L"Quillar", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

std::wstring longPath(const std::wstring& path) {
  wchar_t buf[520];
  DWORD n = GetLongPathNameW(path.c_str(), buf, 520);
  return n > 0 && n < 520 ? std::wstring(buf, n) : path;
}

std::wstring shortPath(const std::wstring& path) {
  wchar_t buf[520];
  DWORD n = GetShortPathNameW(path.c_str(), buf, 520);
  return n > 0 && n < 520 ? std::wstring(buf, n) : path;
}

bool writeAll(HANDLE file, const uint8_t* data, size_t size) {
  while (size > 0) {
    DWORD chunk = size > (1u << 20) ? (1u << 20) : static_cast<DWORD>(size);
    DWORD done = 0;
    if (!WriteFile(file, data, chunk, &done, nullptr) || done == 0) return false;
    data += done;
    size -= done;
  }
  return true;
}

// Writes through "<target>.new" and a move, so a target is never half written.
// A target in use (the running executable) moves aside to "<target>.old",
// which goes at the next reboot. Answers 0 or the system error.
DWORD writeEntry(const std::wstring& target, const uint8_t* data, size_t size) {
  const std::wstring fresh = target + L".new";
  const std::wstring old = target + L".old";
  // What an earlier update moved aside is usually free by now.
  DeleteFileW(old.c_str());
  {
    UniqueHandle file(CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!file) return GetLastError();
    if (!writeAll(file.get(), data, size)) {
      DWORD err = GetLastError();
      file.reset();
      DeleteFileW(fresh.c_str());
      return err ? err : ERROR_WRITE_FAULT;
    }
  }
  if (MoveFileExW(fresh.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return 0;
  DeleteFileW(old.c_str());
  DWORD err = 0;
  if (MoveFileW(target.c_str(), old.c_str())) {
    if (MoveFileExW(fresh.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      // Needs rights a per-user setup may lack; the next update deletes it then.
      MoveFileExW(old.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
      return 0;
    }
    err = GetLastError();
    MoveFileW(old.c_str(), target.c_str());  // the old file back rather than none
  } else {
    err = GetLastError();
  }
  DeleteFileW(fresh.c_str());
  return err ? err : ERROR_ACCESS_DENIED;
}

// Deletes "*.jpg" of the wallpaper folders that the package no longer has.
int removeStalePictures(const std::wstring& folder, const Package& package) {
  int removed = 0;
  for (const wchar_t* sub : {L"Wallpapers", L"Wallpapers\\times", L"Wallpapers\\thumbs"}) {
    std::wstring dir = folder + L"\\" + sub;
    WIN32_FIND_DATAW found{};
    HANDLE h = FindFirstFileW((dir + L"\\*.jpg").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) continue;
    do {
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      std::string relative = toUtf8(std::wstring(sub) + L"\\" + found.cFileName);
      if (installPictureIsStale(relative, package) && DeleteFileW((dir + L"\\" + found.cFileName).c_str())) ++removed;
    } while (FindNextFileW(h, &found));
    FindClose(h);
  }
  return removed;
}

void refreshScreensaverCopy(const std::wstring& folder, const std::wstring& exe) {
  const std::wstring copy = folder + L"\\Quillar.scr";
  if (!CopyFileW(exe.c_str(), copy.c_str(), FALSE)) logLine("install: Quillar.scr not updated (%lu)", GetLastError());
  std::wstring current = readString(HKEY_CURRENT_USER, kDesktopKey, L"SCRNSAVE.EXE");
  if (current.empty()) return;
  size_t slash = current.find_last_of(L"\\/");
  std::wstring name = slash == std::wstring::npos ? current : current.substr(slash + 1);
  if (CompareStringOrdinal(name.c_str(), -1, L"Quillar.scr", -1, TRUE) != CSTR_EQUAL) return;
  if (CompareStringOrdinal(longPath(current).c_str(), -1, longPath(copy).c_str(), -1, TRUE) == CSTR_EQUAL) return;
  UniqueHkey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return;
  std::wstring value = shortPath(copy);
  writeString(key.get(), L"SCRNSAVE.EXE", value);
  logLine("install: the screensaver now uses %s", toUtf8(value).c_str());
}

void makeShortcut(const std::wstring& folder, const std::wstring& exe, const std::wstring& workDir) {
  if (folder.empty()) return;
  const std::wstring link = folder + L"\\Quillar.lnk";
  ComPtr<IShellLinkW> shell;
  ComPtr<IPersistFile> file;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(shell.put()));
  if (SUCCEEDED(hr)) {
    shell->SetPath(exe.c_str());
    shell->SetArguments(L"");
    shell->SetWorkingDirectory(workDir.c_str());
    shell->SetIconLocation(exe.c_str(), 0);
    shell->SetDescription(L"Quillar");
    hr = shell->QueryInterface(IID_PPV_ARGS(file.put()));
  }
  if (SUCCEEDED(hr)) hr = file->Save(link.c_str(), TRUE);
  if (FAILED(hr)) logLine("install: shortcut %s not made (0x%08lx)", toUtf8(link).c_str(), static_cast<unsigned long>(hr));
}

void registerUninstall(const std::wstring& folder, const std::wstring& exe, const Package& package) {
  UniqueHkey key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS) {
    logLine("install: uninstall entry not written");
    return;
  }
  writeString(key.get(), L"DisplayName", L"Quillar");
  writeString(key.get(), L"DisplayVersion", toWide(QUILLAR_VERSION));
  writeString(key.get(), L"Publisher", L"Quillar");
  writeString(key.get(), L"DisplayIcon", exe + L",0");
  writeString(key.get(), L"InstallLocation", folder);
  writeString(key.get(), L"UninstallString", L"\"" + exe + L"\" /uninstall");
  writeString(key.get(), L"URLInfoAbout", kAboutUrl);
  writeDword(key.get(), L"NoModify", 1);
  writeDword(key.get(), L"NoRepair", 1);
  writeDword(key.get(), L"EstimatedSize", packageEstimatedSizeKb(package));
}

void writeAutostart(const std::wstring& exe) {
  UniqueHkey key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS)
    return;
  writeString(key.get(), L"Kovra", L"\"" + exe + L"\"");
}

void startInstalled(const std::wstring& exe, const std::wstring& folder, bool isUpdate) {
  std::wstring cmd = L"\"" + exe + L"\" " + (isUpdate ? L"/updated" : L"/installed");
  std::vector<wchar_t> buf(cmd.begin(), cmd.end());
  buf.push_back(L'\0');
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.c_str(), buf.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi)) {
    logLine("install: could not start %s (%lu)", toUtf8(exe).c_str(), GetLastError());
    return;
  }
  AllowSetForegroundWindow(pi.dwProcessId);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}

// A copy whose window is already gone may still be ending and hold the
// single-instance mutex; the copy started after the installation would then
// take itself for a second start and quietly end.
void waitUntilNoCopyRuns() {
  for (int i = 0; i < 80; ++i) {
    UniqueHandle mutex(OpenMutexW(SYNCHRONIZE, FALSE, L"Local\\KovraSnowForWindows"));
    if (!mutex) return;
    Sleep(100);
  }
  logLine("install: another Quillar still runs after 8 s");
}

struct Arguments {
  bool uninstall = false;
  bool quiet = false;
  bool update = false;
};

Arguments readArguments(const wchar_t* commandLine) {
  Arguments a;
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(commandLine, &count);
  if (!argv) return a;
  for (int i = 1; i < count; ++i) {
    auto is = [&](const wchar_t* s) { return CompareStringOrdinal(argv[i], -1, s, -1, TRUE) == CSTR_EQUAL; };
    if (is(L"/uninstall")) a.uninstall = true;
    if (is(L"/quiet")) a.quiet = true;
    if (is(L"/update")) a.update = true;
  }
  LocalFree(argv);
  return a;
}

}  // namespace

std::wstring installationFolder() {
  std::wstring local = knownFolder(FOLDERID_LocalAppData);
  return local.empty() ? std::wstring() : local + L"\\Programs\\Quillar";
}

void stopRunningInstance() {
  for (int round = 0; round < 3; ++round) {
    HWND running = FindWindowW(L"KovraMain", nullptr);
    if (!running) return;
    DWORD pid = 0;
    GetWindowThreadProcessId(running, &pid);
    if (pid == GetCurrentProcessId()) return;
    PostMessageW(running, WM_CLOSE, 0, 0);
    UniqueHandle process(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid));
    if (!process) {
      Sleep(1500);
      continue;
    }
    if (WaitForSingleObject(process.get(), 8000) != WAIT_OBJECT_0) {
      logLine("install: the running Quillar did not quit in 8 s — ending it");
      TerminateProcess(process.get(), 1);
      WaitForSingleObject(process.get(), 3000);
    }
  }
}

int install(bool isUpdate) {
  logOpen(L"quillar-setup-log");
  const std::span<const uint8_t> bytes = packageBytes();
  const Package package = packageParse(bytes);
  if (!package.valid) {
    logLine("install: the package is damaged (%zu bytes)", bytes.size());
    errorBox(tr("Файл встановлення пошкоджено. Будь ласка, завантажте Quillar ще раз."));
    return 1;
  }

  const std::wstring folder = installFolder();
  if (folder.empty()) {
    logLine("install: no local application data folder");
    return 1;
  }
  const std::wstring exe = folder + L"\\Quillar.exe";
  const std::wstring previous = readString(HKEY_CURRENT_USER, kUninstallKey, L"DisplayVersion");
  bool autostartExisted = false;
  readString(HKEY_CURRENT_USER, kRunKey, L"Kovra", &autostartExisted);
  const InstallMode mode = installMode(!previous.empty(), isUpdate);
  logLine("Quillar setup %s → %s (%s)", QUILLAR_VERSION, toUtf8(folder).c_str(), installModeName(mode));

  stopRunningInstance();
  waitUntilNoCopyRuns();
  makeFolders(folder);

  int written = 0, alreadyThere = 0;
  for (const PackageEntry& e : package.entries) {
    const std::wstring target = folder + L"\\" + toWide(packageWindowsPath(e.name));
    if (packageIsWallpaper(e.name) && fileSize(target) == static_cast<long long>(e.size)) {
      ++alreadyThere;
      continue;
    }
    makeFolders(folderOf(target));
    if (DWORD err = writeEntry(target, bytes.data() + e.offset, e.size)) {
      std::string path = toUtf8(target);
      logLine("install: cannot write %s (%lu)", path.c_str(), err);
      errorBox(trFormat("Не вдалося записати файл %@. Закрийте Quillar і спробуйте ще раз.", path));
      return 1;
    }
    ++written;
  }

  if (int removed = removeStalePictures(folder, package)) logLine("install: %d old pictures removed", removed);
  refreshScreensaverCopy(folder, exe);
  logLine("install: %d files written, %d pictures already there", written, alreadyThere);

  makeShortcut(knownFolder(FOLDERID_Programs), exe, folder);
  if (installMakesDesktopShortcut(mode)) makeShortcut(knownFolder(FOLDERID_Desktop), exe, folder);

  registerUninstall(folder, exe, package);
  if (installWritesAutostart(mode, autostartExisted)) writeAutostart(exe);
  quillarWriteString(L"AppDir", toUtf8(folder));

  startInstalled(exe, folder, isUpdate);
  return 0;
}

bool dispatchSetup(const wchar_t* commandLine, int& exitCode) {
  Arguments args = readArguments(commandLine);
  if (args.uninstall) {
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    languageChoose();
    uninstall(args.quiet);
    if (SUCCEEDED(com)) CoUninitialize();
    exitCode = 0;
    return true;
  }
  if (packageBytes().empty()) return false;

  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  languageChoose();
  const std::wstring folder = installFolder();
  const std::wstring exe = folder + L"\\Quillar.exe";
  const std::wstring recorded = readString(HKEY_CURRENT_USER, kUninstallKey, L"DisplayVersion");
  if (!folder.empty() && setupOnlyStartsInstalled(toUtf8(recorded), QUILLAR_VERSION, fileExists(exe))) {
    ShellExecuteW(nullptr, L"open", exe.c_str(), nullptr, folder.c_str(), SW_SHOWNORMAL);
    exitCode = 0;
  } else {
    exitCode = install(args.update);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return true;
}
