#pragma once
// The Quillar window's page: the header band and the long scrolling page
// (status card, notices, the how-to card, the sections Snow, Surprises,
// Wallpapers and Settings, the footer), drawn onto a Painter from a plain
// snapshot of what it shows. Drawing registers the hit areas; a click on one
// is turned into a model edit and a command number by clickEffect().
#include <cstdint>
#include <string>
#include <vector>

#include "base/command.h"

#include "ui/painter.h"
#include "ui/toolkit.h"

namespace kui {

// Control kinds (the action code of a hit area).
enum PageKind : int {
  kKindPause = 1,
  kKindLanguage = 2,
  kKindGuide = 3,
  kKindWeather = 4,  // arg 0, 1, 2
  kKindAmountSlider = 5,
  kKindWindSlider = 6,
  kKindOnWindows = 7,
  kKindSweep = 8,
  kKindAutostart = 9,
  kKindShovel = 10,
  kKindRenderMode = 11,  // arg 0 A, 1 B
  kKindOpenLog = 12,
  kKindSnowfall = 16,
  kKindSanta = 17,
  kKindBirds = 18,
  kKindStars = 19,
  kKindGarland = 20,
  kKindCallSanta = 21,
  kKindCallBirds = 22,
  kKindFireworks = 23,
  kKindSmartPause = 24,
  kKindShowAnyway = 25,
  kKindRealWeather = 26,
  kKindFindCity = 27,
  kKindTheme = 28,  // arg theme index, -1 "My wallpaper"
  kKindDownloadAll = 29,
  kKindShowMore = 30,
  kKindFollowTimes = 31,
  kKindGuideNext = 32,
  kKindGuideBack = 33,
  kKindGuideSkip = 34,
  kKindGuideMoreSnow = 35,
  kKindScreensaver = 36,
  kKindCheckUpdates = 37,
  kKindInstallUpdate = 38,
  kKindMinimise = 39,
  kKindClose = 40,
  kKindFpsMode = 41,  // arg 0 auto, 1 30 fps, 2 60 fps
  kKindContact = 42,
};

// Commands handed to the shell with the values (settings-window commands).
enum PageCommand : int {
  kCommandNone = -1,  // nothing to hand over (the window handles it itself)
  kCommandApply = 0,
  kCommandShovel = 1,
  kCommandOpenLog = 2,
  kCommandCallSanta = 6,
  kCommandCallBirds = 7,
  kCommandFireworks = 8,
  kCommandFindCity = 9,
  kCommandGuideOpen = 11,
  kCommandGuideClose = 12,
  kCommandGuideMoreSnow = 13,
  kCommandScreensaver = 14,
  kCommandCheckUpdates = 15,
  kCommandInstallUpdate = 16,
  kCommandShowAnyway = 17,
  kCommandDownloadTheme = 18,
  kCommandDownloadAll = 19,
  kCommandContact = 22,
};

// The values the window edits and hands over with every command (the same
// fields as the shell's settings-window values).
// The values the page edits are the ones the shell applies with every command.
using SettingsValues = SettingsWindowValues;

enum ThemeState : int { kThemeAvailable = 0, kThemeNotDownloaded = 1, kThemeDownloading = 2, kThemeFailed = 3 };

struct ThemeTile {
  std::string title;  // already in the UI language
  int state = kThemeAvailable;
  float progress = 0;  // 0..1 while downloading
  int sizeMB = 1;
};

// Update states as the update service keeps them.
enum UpdateState : int {
  kUpdateIdle = 0,
  kUpdateChecking = 1,
  kUpdateUpToDate = 2,
  kUpdateAvailable = 3,
  kUpdateDownloading = 4,
  kUpdateInstalling = 5,
  kUpdateFailed = 6,
};

// Everything the page shows, rebuilt from the live state before every paint.
struct SettingsModel {
  SettingsValues values;

  // Why the snow is hidden: a full-screen application, or the smart-pause
  // reason as its text-table key ("відео", "дзвінок або презентація",
  // "низький заряд батареї"; empty for none).
  bool fullScreenHidden = false;
  std::string snowHiddenReason;

  bool gpuUnavailable = false;  // the GPU renderer failed, B is used
  bool screensaverSet = false;  // our screensaver is the active one

  std::string weatherStatus;  // already in the UI language
  std::string cityError;      // already in the UI language; wins over the status
  bool citySearchBusy = false;

  std::vector<ThemeTile> themes;  // empty: no theme catalog
  bool anyDownloadFailed = false;
  int missingMB = 0;         // what "Download all" would fetch
  int downloadsPending = 0;  // themes queued or downloading
  int visibleThemes = 12;    // grows by "Show more"

  int updateState = kUpdateIdle;
  std::string updateVersion;  // the newest version offered
  int updateProgress = 0;     // percent while downloading
  std::string updateError;    // source text of the failure, looked up when shown

  std::string version;         // the running version
  std::string contactAddress;  // where "Contact us" writes to
  int newYearDays = 1;         // daysUntilNewYear of today

  // The first-run guide: shown instead of the page while active.
  bool guideActive = false;
  int guideStep = 0;           // 0..5, kept by the window
  uint32_t guideProgress = 0;  // tricks done, as the snow reports them
};

// What the window adds: scroll, hover and the banner's clock.
struct PageView {
  float scroll = 0;
  float viewHeight = 760;  // logical height below the header band
  int hoverKind = 0;       // 0 none
  int hoverArg = 0;
  double time = 0;  // seconds; moves the banner's snow
};

// What one paint found out.
struct PageResult {
  float contentHeight = 0;
  bool cityFieldShown = false;
  Rect cityField;  // content coordinates of the native edit
};

constexpr float kPageWidth = 800;
constexpr float kPageHeight = 800;
constexpr float kGuidePageHeight = 560;
constexpr float kStatusCardHeight = 236;
constexpr float kFirstCardTop = 258;
constexpr float kSectionGap = 28;

// The language button (its short label and a chevron) with its right edge at
// `right`; registers kind 2 when `hits` is given. The status card and the guide's first step show it.
void languageButton(Painter& p, HitLists* hits, float right, float top, int language, bool hot);

// The header band in window coordinates: icon, title, minimise and close.
void drawHeader(Painter& p, HitLists& hits, float width, int hoverKind);

// The page in content coordinates (draw it through Shift(p, 40 - scroll));
// registers the content areas.
PageResult drawSettingsPage(Painter& p, HitLists& hits, const SettingsModel& model, const PageView& view);

// One whole paint in window coordinates: clears the hit lists, draws the
// page through the scroll shift and the band on top of it.
PageResult paintSettingsWindow(Painter& window, HitLists& hits, const SettingsModel& model, const PageView& view);

// What a click on an area means.
enum class WindowAction { None, LanguageMenu, Minimise, Close };
struct ClickEffect {
  int command = kCommandNone;  // for the shell, with the edited values
  WindowAction action = WindowAction::None;
  bool repaint = false;  // the window's own state changed (show more)
};

// Applies a click to the model (flips a toggle, picks a choice, grows the
// theme grid) and says what follows.
ClickEffect clickEffect(const HitArea& area, SettingsModel& model);

// A slider's value from its fraction: amount (kind 5) 0.15 + 1.45 a; wind
// (kind 6) 2 a - 1, snapped to 0 within 0.06. False for other kinds.
bool applySlider(int kind, float fraction, SettingsValues& values);

// Days from today (noon) to 1 January of the next year (noon): 31 December
// gives 1, 1 January 365 (366 in a leap year).
int daysUntilNewYear(int year, int month, int day);

// The page scale for a work area `workHeight` pixels high at `dpi`: (work
// height - 40 dpi/96) / (800 dpi/96) when that is below 1, never under 0.6;
// else 1.
float pageScale(float workHeight, unsigned dpi);

// The status card's line: the snow state, "·", the New Year countdown.
std::string statusLine(const SettingsModel& model);

// The update card shows while an update is offered or on its way, and after
// a failed attempt at an offered one (its button retries).
bool updateCardShown(const SettingsModel& model);
// The update texts the page shows, in the UI language: the card's title and
// its line (empty without a card), and the line under "Check for updates".
struct UpdateTexts {
  std::string cardTitle;
  std::string cardLine;
  std::string checkLine;
};
UpdateTexts updateTexts(const SettingsModel& model);

// How far a key scrolls the page (Up, Down, Page Up/Down, Space, Home, End as
// their Windows key codes) in a window `clientHeight` logical pixels high; 0
// for other keys. Home and End give -/+infinity (ScrollState clamps them).
float keyScrollDelta(unsigned key, float clientHeight);

}  // namespace kui
