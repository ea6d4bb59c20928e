#pragma once
// The installation package an executable carries ("QLRPACK1": entries of a
// name and its bytes), the version order of releases, and the small rules of
// an installation that need no system. The setup file and a downloaded
// update both come through here, so nothing in a package is trusted.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

inline constexpr char kPackageMagic[] = "QLRPACK1";  // 8 bytes, no terminator in the data

struct PackageEntry {
  std::string name;   // UTF-8, "/" between folders, relative to the installation folder
  size_t offset = 0;  // where the entry's data starts in the package
  uint32_t size = 0;
};

struct Package {
  std::vector<PackageEntry> entries;
  bool valid = false;
};

// Reads the entries in order. Reading stops silently at the first entry whose
// name length, name, size field or data does not fit, or when fewer than two
// bytes remain. The package is valid when it is longer than 9 bytes, starts
// with the magic, yields at least one entry and every entry's name is safe;
// an invalid package keeps no entries.
Package packageParse(std::span<const uint8_t> bytes);

// A name that stays inside the installation folder once "/" becomes "\":
// non-empty parts between single slashes, no "\" or ":" (drive letters and
// file streams), no part that ends in a dot or a blank (so neither "." nor
// ".." nor their forms the system trims), no control characters or the
// characters Windows refuses in file names, and no device name such as
// "CON" or "NUL".
bool packageNameSafe(std::string_view name);

// The name as a relative Windows path ("/" turned into "\").
std::string packageWindowsPath(std::string_view name);

// Sum over the entries of (size / 1024), the size the uninstall list shows.
uint32_t packageEstimatedSizeKb(const Package& p);

// Whether an entry belongs to the wallpapers folder ("Wallpapers/...").
bool packageIsWallpaper(std::string_view name);

// -1, 0 or 1. Dot-separated decimal components compared from the left; a
// character other than a digit counts as the digit 0 ("1a" is 10); a missing
// component counts as 0, so "1.2" equals "1.2.0". Components of any length
// compare by value, without overflow.
int compareVersions(std::string_view a, std::string_view b);

// How an installation names itself in its log.
enum class InstallMode { FirstInstall, Update, Reinstall };
InstallMode installMode(bool versionRecorded, bool isUpdate);
const char* installModeName(InstallMode m);  // "first install", "update", "reinstall"

// A setup never downgrades: with a newer version recorded and its executable
// present, it only starts the installed program.
bool setupOnlyStartsInstalled(std::string_view recordedVersion, std::string_view ownVersion,
                              bool installedExeExists);

// The autostart entry is written on a first install and kept when it existed;
// a user who removed it keeps it removed across updates.
bool installWritesAutostart(InstallMode m, bool autostartExisted);
// The Desktop shortcut comes with a first install only.
bool installMakesDesktopShortcut(InstallMode m);

// Whether a "*.jpg" found in one of the wallpaper folders is left over from an
// earlier package: its path relative to the installation folder (any
// separator, any case) is none of the entries'.
bool installPictureIsStale(std::string_view relativePath, const Package& p);
