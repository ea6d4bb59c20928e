#pragma once
// The theme catalogue: its file format ("themes.json"), the records it reads
// into, and the rules behind the per-theme queries. Everything here works on
// values handed in (texts, "does this file exist" answers, tick counts), so a
// thin Win32 layer supplies the disk, the locks' owners and the workers.
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/settings.h"  // kLanguageCount
#include "weather/day_phase.h"

namespace kovra {

struct ThemeFile {
  std::string path;    // relative to the catalogue's base URL
  std::string sha256;  // 64 lower-case hex digits, as listed
  uint64_t size = 0;
};

struct Theme {
  std::string id;  // also the stem of every file name of the theme
  std::string cover;  // a phase name, or empty when the catalogue gave none that is one
  std::string thumb;
  std::string thumbSha256;
  std::array<std::string, kLanguageCount> titles;  // uk, en, de, pl, es, fr, it
  uint64_t size = 0;                               // the six pictures together
  std::array<ThemeFile, kPhaseCount> files;        // dawn, day, golden, sunset, blue, night
};

// Immutable once built; shared between threads by reference counting.
struct Catalog {
  std::string base;  // URL prefix of every thumb and path
  std::vector<Theme> themes;
};

using CatalogRef = std::shared_ptr<const Catalog>;

// A theme id becomes a folder and file names on disk, so only plain names
// pass: 1 to 64 ASCII letters, digits, ".", "_" or "-", not starting or
// ending with ".", and no Windows device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9 in any
// case, also followed by an extension such as "con.txt").
constexpr size_t kThemeIdMaxLength = 64;
bool themeIdAcceptable(std::string_view id);

// Reads a catalogue. A theme is kept only with an acceptable `id`, a `files`
// object and all six phases each with `path` and `sha256`; a theme whose id
// repeats an earlier one (letter case aside, as the file system sees it) is
// dropped too. A missing `base` takes `defaultBase`. Null when the text is no
// JSON, has no `themes` array or keeps no theme.
CatalogRef catalogParse(std::string_view text, std::string_view defaultBase);

// The catalogue used when neither the cached nor the installed one reads.
CatalogRef emptyCatalog(std::string_view base);

// Index of the theme with exactly this id; -1 when the id is empty or not listed.
int catalogFind(const Catalog& catalog, std::string_view id);

// The title in `language` (0..6, uk en de pl es fr it); when that is empty
// the English one, then the Ukrainian one, then the id. A language out of
// range reads as English.
std::string themeTitle(const Theme& theme, int language);

// The phase whose picture stands for the theme: its `cover`, "day" when the
// catalogue named none.
std::string coverPhase(const Theme& theme);

// URLs under a base (a catalogue's, or the server that replaces it): the
// catalogue itself, and a thumbnail or picture by its listed path.
std::string catalogUrl(std::string_view base);
std::string themeFileUrl(std::string_view base, std::string_view path);

// A fetched thumbnail is stored only when the answer was 200 and its SHA-256
// is exactly the listed one (an empty listed digest matches nothing).
bool thumbnailAcceptable(int status, std::string_view body, std::string_view thumbSha256);

// The catalogue is refreshed once per six hours of a run at most; the first
// call of a run always goes ahead. Times in seconds of a monotonic clock.
constexpr double kCatalogRefreshInterval = 21600.0;
bool catalogRefreshDue(std::optional<double> lastStart, double now);

// ------------------------------------------------------------------ folders

// Paths are UTF-8 with backslashes; the Win32 layer widens them.
// The installed wallpapers folder: the program's own "Wallpapers" when it
// exists, else the one beside the stored `AppDir` when that is set, else the
// program's own again.
std::string installedWallpapersFolder(std::string_view programFolder, bool programHasWallpapers,
                                      std::string_view appDir);

using FileExists = std::function<bool(const std::string& path)>;

// Where a theme's picture for one phase is: {installed}\times\{id}-{phase}.jpg,
// else {data}\Themes\{id}\{id}-{phase}.jpg, whichever `exists` first; empty
// when neither does, or when `phase` is no phase name.
std::string themePicturePath(const Theme& theme, std::string_view phase, std::string_view installedFolder,
                             std::string_view dataFolder, const FileExists& exists);

// All six pictures are there (looked for in phase order, stopping at the first missing one).
bool themeOnDisk(const Theme& theme, std::string_view installedFolder, std::string_view dataFolder,
                 const FileExists& exists);

// The thumbnail file: {installed}\thumbs\{id}.jpg, else {data}\Themes\thumbs\{id}.jpg,
// else the cover picture (see coverPhase); empty when none exists.
std::string themeThumbnailPath(const Theme& theme, std::string_view installedFolder, std::string_view dataFolder,
                               const FileExists& exists);

// Whether a refresh fetches the theme's thumbnail: it has one listed and
// neither thumbnail file exists (`exists` should say false for a directory).
bool thumbnailWanted(const Theme& theme, std::string_view installedFolder, std::string_view dataFolder,
                     const FileExists& exists);

// A size as the window shows it: whole megabytes (10^6 bytes), rounded, at
// least 1 for anything above nothing; 0 for 0.
int megabytesShown(uint64_t bytes);

// Sum of the download sizes of the themes that are not available.
uint64_t missingThemesSize(const Catalog& catalog, const std::function<bool(int index)>& available);

// ------------------------------------------------------------ availability

// Remembers per theme id whether its pictures are on disk. The whole map is
// forgotten when more than a minute has passed since it was last forgotten,
// and on request (after a download, when a new catalogue comes in). Safe
// from any thread; the disk is looked at outside the lock.
constexpr uint64_t kAvailabilityLifetimeMs = 60000;

class AvailabilityCache {
 public:
  bool available(const std::string& id, uint64_t nowMs, const std::function<bool()>& lookAtDisk);
  void drop(uint64_t nowMs);

 private:
  std::mutex lock_;
  std::map<std::string, bool> known_;
  std::optional<uint64_t> droppedAt_;
  uint64_t generation_ = 0;
};

// --------------------------------------------------------- current catalogue

// The current catalogue behind one lock, loaded on first use; every
// catalogue that ever became current stays referenced until the holder goes,
// so indexes handed out before a replacement stay valid.
class CatalogHolder {
 public:
  // `load` runs once, under the lock, on the first call.
  CatalogRef current(const std::function<CatalogRef()>& load);
  void install(CatalogRef catalog);
  size_t retiredCount();

 private:
  std::mutex lock_;
  CatalogRef current_;
  std::vector<CatalogRef> retired_;
};

}  // namespace kovra
