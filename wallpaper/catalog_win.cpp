#include "wallpaper/catalog_win.h"

#include <shlobj.h>
#include <windows.h>

#include <atomic>
#include <optional>

#include "base/log.h"
#include "base/main_thread_win.h"
#include "base/settings.h"
#include "base/settings_win.h"
#include "base/win_util_win.h"
#include "net/http_win.h"
#include "net/service_base_win.h"
#include "net/worker.h"

using kovra::CatalogRef;

const char* const kBuiltinThemeBase = "https://quillar.github.io/themes/";

namespace {

constexpr size_t kCatalogLimit = 4u << 20;

kovra::CatalogHolder gHolder;
std::atomic<bool> gTickRun{false};
// Main thread: when the last refresh of this run started (monotonic seconds).
std::optional<double> gLastRefresh;
kovra::AvailabilityCache gAvailability;

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
  const std::string data = wallpaperDataFolder();
  if (!data.empty()) {
    if (CatalogRef c = kovra::catalogParse(readFileUtf8(data + "\\Themes\\themes.json", kCatalogLimit),
                                           kBuiltinThemeBase))
      return c;
  }
  const std::string installed = installedWallpapersFolderNow() + "\\themes.json";
  if (CatalogRef c = kovra::catalogParse(readFileUtf8(installed, kCatalogLimit), kBuiltinThemeBase)) return c;
  return kovra::emptyCatalog(kBuiltinThemeBase);
}

const kovra::Theme* themeAt(const CatalogRef& c, int index) {
  if (!c || index < 0 || static_cast<size_t>(index) >= c->themes.size()) return nullptr;
  return &c->themes[static_cast<size_t>(index)];
}

}  // namespace

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

bool writeFileReplacing(const std::string& path, const std::string& bytes) {
  const std::wstring target = toWide(path);
  const std::wstring temporary = target + L".tmp";
  bool ok = false;
  {
    UniqueHandle f(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               nullptr));
    if (!f) return false;
    DWORD put = 0;
    ok = bytes.size() <= 0x7fffffff &&
         (bytes.empty() || (WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
                            put == bytes.size()));
  }
  ok = ok && MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
  if (!ok) DeleteFileW(temporary.c_str());
  return ok;
}

void markWallpaperTickRun() { gTickRun = true; }
bool wallpaperTickRun() { return gTickRun; }

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
  return t && themeAvailable(*t);
}

bool themeAvailable(const kovra::Theme& theme) {
  return gAvailability.available(theme.id, GetTickCount64(), [&theme] {
    return kovra::themeOnDisk(theme, installedWallpapersFolderNow(), wallpaperDataFolder(), fileExistsUtf8);
  });
}

void dropThemeAvailability() { gAvailability.drop(GetTickCount64()); }

std::string themeBase(const kovra::Catalog& catalog) {
  // Read once per run; the line saying so is logged at the first request.
  static const std::string server =
      serviceBaseFromRegistry(L"ThemeServer", kBuiltinThemeBase, "themes", ServicePath::Prefix);
  return server == kBuiltinThemeBase ? catalog.base : server;
}

uint64_t missingThemesSize() {
  CatalogRef c = currentCatalog();
  return c ? kovra::missingThemesSize(*c, [](int i) { return themeAvailable(i); }) : 0;
}

namespace {

// Worker: the thumbnails that neither folder holds yet, each kept only when
// its digest is the listed one.
void fetchThumbnails(const kovra::Catalog& catalog, const std::string& base) {
  const std::string installed = installedWallpapersFolderNow();
  const std::string data = wallpaperDataFolder();
  if (data.empty()) return;
  const std::string folder = data + "\\Themes\\thumbs";
  for (const kovra::Theme& theme : catalog.themes) {
    if (!kovra::thumbnailWanted(theme, installed, data, fileExistsUtf8)) continue;
    CreateDirectoryW(toWide(data + "\\Themes").c_str(), nullptr);
    CreateDirectoryW(toWide(folder).c_str(), nullptr);
    std::string body;
    int status = 0;
    httpRequest("GET", kovra::themeFileUrl(base, theme.thumb), "", "", body, status);
    if (!kovra::thumbnailAcceptable(status, body, theme.thumbSha256)) continue;
    writeFileReplacing(folder + "\\" + theme.id + ".jpg", body);
  }
}

}  // namespace

void wallpaperRefreshCatalog(CatalogInstall install) {
  if (gTickRun) return;
  const double now = static_cast<double>(GetTickCount64()) / 1000.0;
  if (!kovra::catalogRefreshDue(gLastRefresh, now)) return;
  gLastRefresh = now;
  const std::string url = kovra::catalogUrl(themeBase(*currentCatalog()));
  runWorker([url, install = std::move(install)] {
    std::string body;
    int status = 0;
    if (!httpRequest("GET", url, "", "Cache-Control: no-cache\r\n", body, status) || status != 200) {
      logLine("themes catalog: not fetched (%d)", status);
      return;
    }
    CatalogRef fetched = kovra::catalogParse(body, kBuiltinThemeBase);
    if (!fetched) {
      logLine("themes catalog: not valid");
      return;
    }
    const std::string data = wallpaperDataFolder();
    if (!data.empty()) {
      CreateDirectoryW(toWide(data + "\\Themes").c_str(), nullptr);
      writeFileReplacing(data + "\\Themes\\themes.json", body);
    }
    // An overriding server also serves the thumbnails of what it lists.
    fetchThumbnails(*fetched, themeBase(*fetched));
    logLine("themes catalog: %d themes", static_cast<int>(fetched->themes.size()));
    postToMain([fetched, install] {
      if (install) install(fetched);
    });
  });
}
