#include "wallpaper/catalog_win.h"

#include <shlobj.h>
#include <windows.h>

#include "base/log.h"
#include "base/settings.h"
#include "base/settings_win.h"
#include "base/win_util_win.h"

using kovra::CatalogRef;

const char* const kBuiltinThemeBase = "https://quillar.github.io/themes/";

namespace {

kovra::CatalogHolder gHolder;
kovra::AvailabilityCache gAvailability;

std::string readFileUtf8(const std::string& path, size_t limit) {
  UniqueHandle f(CreateFileW(toWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) return {};
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(f.get(), &size) || size.QuadPart < 0 || static_cast<uint64_t>(size.QuadPart) > limit) return {};
  std::string text(static_cast<size_t>(size.QuadPart), '\0');
  DWORD got = 0;
  if (!text.empty() && (!ReadFile(f.get(), text.data(), static_cast<DWORD>(text.size()), &got, nullptr) ||
                        got != text.size()))
    return {};
  return text;
}

std::string programFolder() {
  std::wstring exe = moduleFileName();
  size_t slash = exe.find_last_of(L"\\/");
  return toUtf8(slash == std::wstring::npos ? std::wstring() : exe.substr(0, slash));
}

bool folderExists(const std::string& path) {
  DWORD a = GetFileAttributesW(toWide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

CatalogRef loadCatalog() {
  constexpr size_t kCatalogLimit = 4u << 20;
  const std::string data = wallpaperDataFolder();
  if (!data.empty()) {
    if (CatalogRef c = kovra::catalogParse(readFileUtf8(data + "\\Themes\\themes.json", kCatalogLimit),
                                           kBuiltinThemeBase))
      return c;
  }
  const std::string installed = installedWallpapersFolderNow() + "\\themes.json";
  if (CatalogRef c = kovra::catalogParse(readFileUtf8(installed, kCatalogLimit), kBuiltinThemeBase)) return c;
  logLine("wallpapers: no theme catalog (%s missing)", installed.c_str());
  return kovra::emptyCatalog(kBuiltinThemeBase);
}

const kovra::Theme* themeAt(const CatalogRef& c, int index) {
  if (!c || index < 0 || static_cast<size_t>(index) >= c->themes.size()) return nullptr;
  return &c->themes[static_cast<size_t>(index)];
}

}  // namespace

bool fileExistsUtf8(const std::string& path) {
  DWORD a = GetFileAttributesW(toWide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string wallpaperDataFolder() {
  PWSTR local = nullptr;
  if (FAILED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local)) || !local) {
    if (local) CoTaskMemFree(local);
    return {};
  }
  std::wstring folder = std::wstring(local) + L"\\Quillar";
  CoTaskMemFree(local);
  CreateDirectoryW(folder.c_str(), nullptr);
  return toUtf8(folder);
}

std::string installedWallpapersFolderNow() {
  const std::string program = programFolder();
  return kovra::installedWallpapersFolder(program, folderExists(program + "\\Wallpapers"),
                                          quillarReadString(L"AppDir"));
}

CatalogRef currentCatalog() { return gHolder.current(loadCatalog); }

void installCatalog(CatalogRef catalog) {
  dropThemeAvailability();
  gHolder.install(std::move(catalog));
}

int themeCount() {
  CatalogRef c = currentCatalog();
  return c ? static_cast<int>(c->themes.size()) : 0;
}

std::string themeId(int index) {
  CatalogRef c = currentCatalog();
  const kovra::Theme* t = themeAt(c, index);
  return t ? t->id : std::string();
}

std::string themeTitle(int index) {
  CatalogRef c = currentCatalog();
  const kovra::Theme* t = themeAt(c, index);
  return t ? kovra::themeTitle(*t, uiLanguage()) : std::string();
}

uint64_t themeSize(int index) {
  CatalogRef c = currentCatalog();
  const kovra::Theme* t = themeAt(c, index);
  return t ? t->size : 0;
}

std::string themePicturePath(const kovra::Theme& theme, const std::string& phase) {
  return kovra::themePicturePath(theme, phase, installedWallpapersFolderNow(), wallpaperDataFolder(), fileExistsUtf8);
}

std::string themeThumbnailPath(int index) {
  CatalogRef c = currentCatalog();
  const kovra::Theme* t = themeAt(c, index);
  return t ? kovra::themeThumbnailPath(*t, installedWallpapersFolderNow(), wallpaperDataFolder(), fileExistsUtf8)
           : std::string();
}

bool themeAvailable(int index) {
  CatalogRef c = currentCatalog();
  const kovra::Theme* t = themeAt(c, index);
  if (!t) return false;
  return gAvailability.available(t->id, GetTickCount64(), [t] {
    return kovra::themeOnDisk(*t, installedWallpapersFolderNow(), wallpaperDataFolder(), fileExistsUtf8);
  });
}

void dropThemeAvailability() { gAvailability.drop(GetTickCount64()); }

uint64_t missingThemesSize() {
  CatalogRef c = currentCatalog();
  return c ? kovra::missingThemesSize(*c, [](int i) { return themeAvailable(i); }) : 0;
}
