#pragma once
// The theme catalogue on this machine: its folders, the current catalogue and
// the per-theme queries the wallpaper, the screensaver and the window use.
// Safe from any thread unless a function says otherwise.
#include <functional>
#include <string>

#include "wallpaper/catalog.h"

// The built-in catalogue base URL; the shipped themes.json names it too.
extern const char* const kBuiltinThemeBase;

// {LocalAppData}\Quillar (UTF-8, created on first use); empty when the
// known folder cannot be read.
std::string wallpaperDataFolder();
// The program's "Wallpapers", else the one beside `AppDir`, else the program's again.
std::string installedWallpapersFolderNow();

kovra::CatalogRef currentCatalog();
// Main thread: makes a fetched catalogue current (the old one stays referenced).
void installCatalog(kovra::CatalogRef catalog);

int themeCount();
std::string themeId(int index);
std::string themeTitle(int index);  // in the UI language, with the fallbacks
uint64_t themeSize(int index);
// Full path of {id}-{phase}.jpg where it is found; empty when missing.
std::string themePicturePath(const kovra::Theme& theme, const std::string& phase);
std::string themeThumbnailPath(int index);
bool themeAvailable(int index);
// The same for a theme of a catalogue that may no longer be the current one.
bool themeAvailable(const kovra::Theme& theme);
// Forgets what was known about the pictures on disk (after a download).
void dropThemeAvailability();
uint64_t missingThemesSize();
// Where a catalogue's files are fetched from: the REG_SZ value `ThemeServer`
// (an https URL, or http on this machine) when it is set and acceptable,
// else the catalogue's own base.
std::string themeBase(const kovra::Catalog& catalog);

bool fileExistsUtf8(const std::string& path);  // a regular file, not a folder
// Whole small files (at most `limit` bytes); empty when missing or larger.
std::string readFileUtf8(const std::string& path, size_t limit);
// Writes `bytes` through "{path}.tmp" and a move, so a reader never sees half a file.
bool writeFileReplacing(const std::string& path, const std::string& bytes);

// The "--wallpaper-tick" run: no catalogue refresh and no download requests.
void markWallpaperTickRun();
bool wallpaperTickRun();

// Main thread. Fetches the catalogue from the current one's base on a worker
// (at most once per six hours of a run; never in the tick run), stores it
// and the missing thumbnails, then hands it to `install` on the main thread.
using CatalogInstall = std::function<void(kovra::CatalogRef catalog)>;
void wallpaperRefreshCatalog(CatalogInstall install);
