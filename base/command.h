#pragma once
// One command space for everything that asks the program to do something:
// the tray menu, the main window's messages, the hotkey, the settings window
// and the shell's timers. The menu's numbers are its item ids (also accepted
// as WM_COMMAND from outside); the others are the program's own.
#include <optional>
#include <string>

enum class Command : int {
  None = 0,
  // Tray menu.
  TogglePause = 100,
  LightSnow = 101,
  SteadySnow = 102,
  Blizzard = 103,
  ToggleOnWindows = 113,
  ToggleSweep = 114,
  Shovel = 115,
  ToggleAutostart = 116,
  RendererGpu = 117,
  RendererCompatible = 118,
  OpenLog = 119,
  Quit = 120,
  OpenSettings = 121,
  CallSanta = 124,
  CallBirds = 125,
  Fireworks = 126,
  UpdateInstallAndShow = 127,
  Contact = 128,
  ShowAnyway = 129,
  // Settings window (applied after its values).
  ApplyOnly = 200,
  ShovelFromSettings,
  FindCity,
  GuideOpen,
  GuideClose,
  GuideMoreSnow,
  InstallScreensaver,
  CheckUpdates,
  UpdateInstall,
  DownloadTheme,
  DownloadAll,
  // Other sources.
  SecondStart = 300,
  FrameKeepAlive,       // timers of modal loops: frames go on
  PeriodicUpdateCheck,  // every 6 hours
  MinuteCheck,          // weather and wallpapers
  FirstUpdateCheck,     // once, 3 s after the start
};

// A tray-menu id (100...129) as a command; empty for ids the menu does not have.
std::optional<Command> menuCommandFrom(int id);
// The settings window's command numbers (0...22) as commands; empty for unknown ones.
std::optional<Command> settingsWindowCommandFrom(int number);
// A short English name for logs and recordings, e.g. "call-santa".
const char* commandName(Command c);

// What the settings window hands over with every command.
struct SettingsWindowValues {
  bool paused = false;
  int weather = 1;
  float amount = 0.55f;
  float wind = 0.1f;
  bool onWindows = true;
  bool sweep = true;
  bool snowfall = true;
  bool santa = true;
  bool birds = true;
  bool stars = true;
  bool garland = false;
  int fpsMode = 0;
  bool smartPause = true;
  bool realWeather = false;
  int wallpaperChoice = -1;  // theme index, -1 the user's own wallpaper
  bool followTimes = false;
  bool autostart = false;
  int renderMode = 0;
  int language = 1;
  std::string city;          // typed in the city field
  int selectedTheme = -1;
};
