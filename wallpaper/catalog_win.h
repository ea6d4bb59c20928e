#pragma once
// The theme catalogue on this machine: its folders, the current catalogue and
// the per-theme queries the wallpaper, the screensaver and the window use.
// Safe from any thread unless a function says otherwise.
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
// Forgets what was known about the pictures on disk (after a download).
void dropThemeAvailability();
uint64_t missingThemesSize();

bool fileExistsUtf8(const std::string& path);  // a regular file, not a folder
