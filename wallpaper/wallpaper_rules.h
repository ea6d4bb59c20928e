#pragma once
// The rules of the time-of-day wallpaper that need no Windows: the stored
// choice and its migration, what picture to show, the names of generated
// pictures, the blend arithmetic, the originals file, which paths are ours
// and what tidying deletes. The Win32 layer reads the registry, the disk and
// the monitors, hands the values in and carries out the answers.
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "wallpaper/catalog.h"
#include "weather/day_phase.h"

namespace kovra {

// ------------------------------------------------------------------ choice

// Registry values under Software\Quillar.
inline constexpr const char* kWallpaperFileValue = "WallpaperFile";  // REG_SZ: theme id or "none"
inline constexpr const char* kWallpaperValue = "Wallpaper";          // REG_DWORD: choice + 1
inline constexpr const char* kWallpaperTimesValue = "WallpaperTimes";  // REG_DWORD: 1 follow, 0 fixed
inline constexpr const char* kNoWallpaperTheme = "none";

// The id an old `Wallpaper` value 1..16 stood for; "none" for anything else.
std::string migratedWallpaperId(std::optional<uint32_t> oldValue);

// What reading the stored choice gives: the index into the catalogue (-1 =
// the user's own wallpaper) and the values to write back, if any.
struct ChoiceResolution {
  int choice = -1;
  std::optional<std::string> writeFile;   // new `WallpaperFile`
  std::optional<uint32_t> writeWallpaper;  // new `Wallpaper`
};
// `wallpaperFile` empty = missing (then the old `Wallpaper` value migrates).
// An id the catalogue does not list becomes "none"; `Wallpaper` is rewritten
// when it is not choice + 1.
ChoiceResolution resolveWallpaperChoice(std::string_view wallpaperFile, std::optional<uint32_t> wallpaper,
                                        const Catalog& catalog);

// The two values that store a choice: the theme's id and choice + 1, or
// "none" and 0 for -1 and for an index the catalogue does not have.
struct StoredChoice {
  std::string wallpaperFile;
  uint32_t wallpaper = 0;
};
StoredChoice storedChoice(const Catalog& catalog, int choice);

// `WallpaperTimes`: following is on unless the value is there and 0.
bool followTimesFromStored(std::optional<uint32_t> wallpaperTimes);

// -------------------------------------------------------- target picture

// Names of generated pictures in {data folder}\Wallpapers. Empty for an
// empty id or a phase that is no phase name.
std::string fixedPictureName(std::string_view id);                          // {id}.jpg
std::string phasePictureName(std::string_view id, std::string_view phase);  // {id}-{phase}.jpg
int blendPercent(double blend);                                             // whole part of 100 x blend
// {id}-{from}-{to}-{percent}.jpg; the plain phase picture's name when blend is 0.
std::string blendPictureName(std::string_view id, const DayPhase& phase);
// What a blend is written to before it is moved into place: the name plus ".tmp".
std::string temporaryPictureName(std::string_view picture);

std::string generatedFolder(std::string_view dataFolder);   // {data}\Wallpapers
std::string originalsPath(std::string_view dataFolder);     // {data}\original-wallpapers.txt

enum class TargetKind {
  Restore,   // put the user's own pictures back
  Leave,     // change nothing
  Download,  // change nothing, ask for the theme's pictures (outside the tick run)
  Fixed,     // the cover picture, copied to `name`
  Phase,     // the `phase.from` picture, copied to `name`
  Blend,     // `phase.from` and `phase.to` blended into `name`
};

struct WallpaperTarget {
  TargetKind kind = TargetKind::Leave;
  std::string name;  // file name in the generated folder (Fixed, Phase, Blend)
  DayPhase phase;    // Phase, Blend
};

// The first decision of an apply run. `available` tells whether the chosen
// theme's six pictures are on disk and `imagingReady` whether the picture
// codecs could be set up; `phase` is the current `DayPhase` (used only when
// following the time of day).
WallpaperTarget wallpaperTarget(int choice, bool followTimes, const Catalog& catalog, bool available,
                                bool imagingReady, const DayPhase& phase);

// ----------------------------------------------------------------- blend

// A decoded picture, 32 bits per pixel in B, G, R, unused order, rows of 4 x width bytes.
struct Picture {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> pixels;
};

// Every byte becomes from x (1 - w) + to x w + 0.5, truncated, in single
// precision. False (and `out` empty) when the sizes differ, a buffer does not
// hold exactly width x height pixels, or the weight is not within 0..1.
bool blendPictures(const Picture& from, const Picture& to, double blend, Picture& out);

// The same pixels as B, G, R triples, rows of 3 x width bytes, for an encoder
// that settles on 24 bits per pixel.
std::vector<uint8_t> bgrRows(const Picture& picture);

// --------------------------------------------------------- originals file

// Monitor device path (or "*" for the whole desktop) -> the user's own picture.
using Originals = std::map<std::string, std::string>;
inline constexpr const char* kOriginalsFileName = "original-wallpapers.txt";
inline constexpr const char* kWholeDesktop = "*";

// One "{monitor}\t{path}\n" per line; lines without a TAB, with an empty
// monitor or an empty path are ignored, a trailing "\r" is dropped, and a
// later line for the same monitor wins.
Originals readOriginals(std::string_view text);
// Entries in key order; one whose monitor or path holds a TAB or a line break
// is left out, since it could not be read back as it was.
std::string writeOriginals(const Originals& originals);

// ---------------------------------------------------------------- paths

// A path is ours when it lies inside the generated folder: it begins with the
// folder (letter case and "/" versus "\" aside) and a separator follows. An
// empty path is not ours.
bool wallpaperIsOurs(std::string_view path, std::string_view generatedFolderPath);

// The same file name for Windows: equal with ASCII letter case and "/" versus "\" aside.
bool samePicturePath(std::string_view a, std::string_view b);

// What one monitor gets in an apply run. `current` is its wallpaper now,
// `target` the picture to show (empty = restore the user's own). Records the
// user's picture in `originals` (setting `originalsChanged` when that changes
// the map) before it is replaced.
struct MonitorChange {
  bool set = false;         // put `picture` on the monitor
  std::string picture;
  bool restored = false;    // `picture` is the user's own, put back
  bool ownUnknown = false;  // restoring, but the user's picture is unknown or gone: left as is
};
MonitorChange monitorChange(std::string_view monitor, std::string_view current, std::string_view target,
                            std::string_view generatedFolderPath, Originals& originals, bool& originalsChanged,
                            const FileExists& exists);

// ----------------------------------------------------------------- tidy

// ASCII-lower-cased with "/" turned into "\", the form paths are compared in.
std::string lowerPath(std::string_view path);

// The set of pictures in use: the target (when not empty) and every picture
// shown on a monitor or a virtual desktop, lower-cased; empty paths are left out.
std::set<std::string> wallpapersInUse(std::string_view target, const std::vector<std::string>& shown);

// 15 minutes in the 100-nanosecond units of Windows file times.
inline constexpr uint64_t kTidyAge = 9000000000ULL;

struct FolderEntry {
  std::string path;  // full path
  std::string name;  // file name alone
  bool directory = false;
  uint64_t created = 0;  // file times, 100 ns units
  uint64_t written = 0;
  uint64_t size = 0;
};

struct TidyPlan {
  std::vector<std::string> remove;  // full paths to delete
  uint64_t bytes = 0;               // their sizes together
};

// Deletes generated pictures (names ending in ".jpg" or ".jpg.tmp", any case)
// that are not in use and whose later file time is at least 15 minutes
// before `now`; directories and everything else stay.
TidyPlan tidyPlan(const std::vector<FolderEntry>& entries, const std::set<std::string>& inUse, uint64_t now);

}  // namespace kovra
