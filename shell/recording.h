#pragma once
// Recording and replay of a run: everything that reaches the application
// state from outside (monitors, settings, commands, mouse events on the
// overlays, and each frame's input) written as text lines, so that a session
// seen under Wine can be stepped again through the same hostFrame elsewhere.
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/command.h"
#include "shell/commands.h"
#include "shell/host_frame.h"

enum class PointerEvent : int { Press = 0, Release = 1, Burst = 2 };

// Writes records to a stream it does not own. Main thread only.
class Recorder {
 public:
  explicit Recorder(std::FILE* out);
  void monitors(const std::vector<MonitorInfo>& infos);
  // Writes the settings when they differ from the last ones written.
  void settings(const Settings& s);
  void command(Command c, const CommandContext& context);
  // The settings window's values, applied before its command.
  void settingsValues(const SettingsWindowValues& v, double now);
  void pointer(PointerEvent e, std::size_t monitor, kovra::Vec2 at, bool heap);
  // The frame's input; the survey is written whenever its generation moved.
  void frame(const FrameInput& in);
  void frameEnd(double workMs);
  void flush();

 private:
  std::FILE* out_;
  std::optional<Settings> lastSettings_;
  std::optional<uint64_t> lastGeneration_;
};

// Steps a recording through hostFrame. `onFrame` sees the state, the input
// and the output of every frame, numbered from 0. Returns the number of frames, or
// -1 with `error` set when the recording cannot be read.
struct ReplayResult {
  int frames = 0;
  std::string error;               // empty when the whole recording was read
  std::vector<std::string> stats;  // the statistics lines the run wrote, made again
};
ReplayResult replayRecording(std::FILE* in, AppState& app,
                             const std::function<void(int frame, AppState&, const FrameInput&, const FrameOutput&)>& onFrame);

// Services that do nothing: replay and tests that only look at the state.
class QuietServices : public Services {
 public:
  void saveSettings(const Settings&) override {}
  void refreshTray() override {}
  void openSettingsWindow() override {}
  void repaintSettingsWindow() override {}
  void refreshSystemStates() override {}
  void rebuildOverlays() override {}
  void quit() override {}
  void openLog() override {}
  void contactMail() override {}
  void keepFramesMoving() override {}
  bool autostartIsOn() override { return false; }
  void setAutostart(bool) override {}
  void setLanguage(int) override {}
  void weatherTick() override {}
  bool realWeather() override { return false; }
  void setRealWeather(bool) override {}
  void findCity(const std::string&) override {}
  void wallpaperMinuteCheck() override {}
  int wallpaperChoice() override { return -1; }
  bool wallpaperFollowsTimes() override { return false; }
  void setWallpaperChoice(int, bool) override {}
  void downloadTheme(int) override {}
  void downloadAll() override {}
  void installScreensaver() override {}
  void updateCheck(bool) override {}
  void periodicUpdateCheck() override {}
  void updateInstall() override {}
};
