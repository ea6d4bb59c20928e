// The frame of the resident program without Windows: what hostFrame decides
// per monitor, and what the commands do to the application state.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/log.h"
#include "desktop/smart_pause.h"
#include "shell/commands.h"
#include "shell/host_frame.h"
#include "shell/recording.h"
#include "world/drift_events.h"

namespace {

constexpr double kDt = 1.0 / 30.0;
const PixelRect kLeft{0, 0, 1920, 1080};
const PixelRect kRight{1920, 0, 3200, 1024};

// Services that count what the commands asked for.
struct CountingServices : QuietServices {
  int saves = 0, trays = 0, repaints = 0, rebuilds = 0, settingsOpened = 0;
  bool autostart = false;
  std::vector<std::string> asked;
  void saveSettings(const Settings&) override { ++saves; }
  void refreshTray() override { ++trays; }
  void repaintSettingsWindow() override { ++repaints; }
  void rebuildOverlays() override { ++rebuilds; }
  void openSettingsWindow() override { ++settingsOpened; }
  bool autostartIsOn() override { return autostart; }
  void setAutostart(bool on) override { autostart = on; }
  void updateCheck(bool user) override { asked.push_back(user ? "check by user" : "check"); }
  void weatherTick() override { asked.push_back("weather"); }
  void wallpaperMinuteCheck() override { asked.push_back("wallpaper"); }
};

struct Host : ::testing::Test {
  AppState app;
  DesktopSurvey survey;
  double t = 100.0;
  double wall = 13e9;

  void SetUp() override {
    MonitorInfo a{"left", kLeft, {0, 0, 1920, 1040}, 1.0f, true, 1};
    MonitorInfo b{"right", kRight, kRight, 1.25f, false, 2};
    appSetMonitors(app, {a, b});
    app.settings.santa = app.settings.birds = app.settings.stars = false;
    survey.generation = 1;
  }

  FrameInput input() {
    FrameInput in;
    in.t = t;
    in.wall = wall;
    in.local = {2026, 12, 9, 14, 0};
    in.survey = &survey;
    in.cursorX = -5000;  // off every monitor
    in.probes.started = true;
    return in;
  }

  FrameOutput frame(FrameInput in) {
    in.t = t;
    in.wall = wall;
    FrameOutput out = hostFrame(app, in);
    t += kDt;
    wall += kDt;
    return out;
  }
  FrameOutput frames(int n, const FrameInput& in) {
    FrameOutput out;
    for (int i = 0; i < n; ++i) out = frame(in);
    return out;
  }
};

bool logged(const FrameOutput& out, const std::string& text) {
  for (const std::string& l : out.log)
    if (l.find(text) != std::string::npos) return true;
  return false;
}

TEST_F(Host, FadesInThenDrawsEveryMonitor) {
  FrameOutput out = frame(input());
  ASSERT_EQ(out.monitors.size(), 2u);
  for (const MonitorOutput& m : out.monitors) {
    EXPECT_TRUE(m.draw);
    EXPECT_FALSE(m.wasShown);
    EXPECT_NEAR(m.opacity, kDt / 0.6, 1e-6);
  }
  out = frames(20, input());
  EXPECT_FLOAT_EQ(out.monitors[0].opacity, 1.0f);
  EXPECT_TRUE(out.monitors[0].wasShown);
  EXPECT_TRUE(app.anyShown);
  EXPECT_EQ(out.targetFps, 30) << "the compatible renderer runs at 30";
}

TEST_F(Host, AHeldForecastLeadsTheSnowAndEachChangeIsLoggedOnce) {
  app.settings.weather = 0;
  FrameInput in = input();
  EXPECT_FALSE(logged(frame(in), "the snow follows")) << "the settings lead from the start, unannounced";
  struct Step { WeatherSample weather; const char* line; int level; float wind, density; } steps[] = {
      {{true, 2, 0.35f, true}, "the snow follows the weather: level 2, wind 0.35", 2, 0.35f, 1.0f},
      {{true, 2, -0.2f, true}, nullptr, 2, -0.2f, 1.0f},  // the wind alone: no new line
      {{true, 2, -0.2f, false}, "the snow follows the weather: level 2, wind -0.20, no snow outside", 2, -0.2f, 0.3f},
      {{false, 2, -0.2f, false}, "the snow follows the settings: level 0", 0, 0.06f, 1.0f},
  };
  for (const Step& step : steps) {
    in.weather = step.weather;
    FrameOutput out = frame(in);
    if (step.line)
      EXPECT_TRUE(logged(out, step.line)) << step.line;
    else
      EXPECT_FALSE(logged(out, "the snow follows")) << step.weather.wind;
    EXPECT_FALSE(logged(frame(in), "the snow follows")) << "once per change";
    kovra::WorldInput w = worldInputFrom(app.settings, in.weather, 1.0);
    EXPECT_EQ(w.level, step.level);
    EXPECT_FLOAT_EQ(w.wind, step.wind);
    EXPECT_FLOAT_EQ(w.density, step.density);
  }
}

TEST_F(Host, AFullScreenApplicationHidesOnlyItsMonitor) {
  frames(25, input());
  // A borderless window over the right monitor, shown as the foreground.
  SurveyedWindow player;
  player.window = 77;
  player.visible = player.frame = kRight;
  survey.windows = {player};
  survey.generation = 2;
  FrameInput in = input();
  in.foreground = in.foregroundRootOwner = 77;
  FrameOutput out = frames(2, in);  // the sampling comes twice a second
  out = frames(16, in);
  EXPECT_TRUE(app.monitors[1].fullScreenApp);
  EXPECT_FALSE(app.monitors[0].fullScreenApp);
  EXPECT_TRUE(out.monitors[0].draw);
  EXPECT_FALSE(out.monitors[1].draw);
  EXPECT_FALSE(app.monitors[1].shown);
  EXPECT_EQ(app.monitors[1].opacity, 0.0f) << "hidden at once, no fade";
}

TEST_F(Host, ALayeredPlayerCountsWhenItsOwnedControlBarHasTheFocus) {
  frames(25, input());
  SurveyedWindow player;
  player.window = 77;
  player.visible = player.frame = kLeft;
  player.layered = true;
  survey.windows = {player};
  survey.generation = 2;
  FrameInput in = input();
  in.foreground = 78;            // the control bar it owns
  in.foregroundRootOwner = 77;   // the player
  frames(20, in);
  EXPECT_TRUE(app.monitors[0].fullScreenApp);
  in.foregroundRootOwner = 78;   // an unrelated screen-wide tint stays transparent to the rule
  frames(20, in);
  EXPECT_FALSE(app.monitors[0].fullScreenApp);
}

TEST_F(Host, PauseFadesOutThenStopsTheFrames) {
  frames(25, input());
  app.settings.paused = true;
  FrameOutput out = frame(input());
  EXPECT_TRUE(out.monitors[0].draw);
  EXPECT_LT(out.monitors[0].opacity, 1.0f);
  EXPECT_FALSE(out.monitors[0].takesClicks) << "a fading overlay never takes clicks";
  bool hidden = false;
  int fadeFrames = 1;
  for (; fadeFrames < 30 && !hidden; ++fadeFrames) hidden = frame(input()).monitors[0].hide;
  EXPECT_TRUE(hidden);
  EXPECT_NEAR(fadeFrames * kDt, 0.45, 0.07) << "a fade-out takes 0.45 s";
  EXPECT_FALSE(app.anyShown);
  EXPECT_FALSE(appSnowActive(app)) << "no frames at all once faded";
  app.settings.garland = true;
  EXPECT_TRUE(appSnowActive(app));
  out = frames(3, input());
  EXPECT_TRUE(out.monitors[0].draw) << "the garland stays while paused";
  EXPECT_TRUE(app.monitors[0].world->snowPaused);
}

TEST_F(Host, SmartPauseReasonFadesTheSnowAndSwitchingItOffBringsItBackAtOnce) {
  frames(25, input());
  FrameInput in = input();
  in.probes.reason = kReasonVideo;
  FrameOutput out;
  bool changed = false;
  for (int i = 0; i < 70 && app.pause.current == nullptr; ++i) changed = frame(in).uiChanged || changed;
  ASSERT_EQ(app.pause.current, kReasonVideo);
  EXPECT_TRUE(changed) << "the tray and the settings window show the reason";
  out = frames(15, in);
  EXPECT_FALSE(out.monitors[0].draw);
  EXPECT_FALSE(app.anyShown);

  CountingServices s;
  setSmartPause(app, false, s);
  EXPECT_EQ(app.pause.current, nullptr) << "not at the next probe sampling, now";
  EXPECT_EQ(s.trays, 1);
  out = frame(in);
  EXPECT_TRUE(out.monitors[0].draw);
}

TEST_F(Host, TimeAwayBecomesSnowOnceAndPauseTimeDoesNot) {
  FrameInput in = input();
  frames(3, in);
  wall += 3600;  // an hour asleep
  FrameOutput out = frame(in);
  EXPECT_TRUE(logged(out, "away 3600 s")) << (out.log.empty() ? "" : out.log[0]);
  out = frame(in);
  EXPECT_FALSE(logged(out, "away"));

  app.settings.paused = true;
  app.settings.garland = true;  // keeps the frames running while paused
  frames(2, in);
  wall += 3600;
  frames(1, in);
  app.settings.paused = false;
  out = frame(in);
  EXPECT_FALSE(logged(out, "away")) << "a paused hour is no time away";
}

TEST_F(Host, TheOverlayTakesClicksOnlyOverGrabbableSnow) {
  frames(25, input());
  // Deep snow on the ground drift of the left monitor, with the cursor on it.
  kovra::SnowWorld& w = *app.monitors[0].world;
  kovra::Drift* ground = w.findDrift("ground");
  ASSERT_NE(ground, nullptr);
  std::fill(ground->heights.begin(), ground->heights.end(), 30.0f);
  FrameInput in = input();
  in.cursorX = 400;
  in.cursorY = 1080 - static_cast<long>(ground->y + 10);
  FrameOutput out = frame(in);
  EXPECT_TRUE(out.monitors[0].clicksChanged);
  EXPECT_TRUE(out.monitors[0].takesClicks);
  EXPECT_TRUE(logged(out, "overlay takes clicks"));
  // A drag begun elsewhere that passes over the snow is not caught by it.
  FrameInput away = in;
  away.cursorX = 1500;
  away.cursorY = 200;
  out = frame(away);
  EXPECT_FALSE(out.monitors[0].takesClicks);
  away.anyButton = true;
  frame(away);
  in.anyButton = true;
  out = frame(in);
  EXPECT_FALSE(out.monitors[0].takesClicks);
  EXPECT_FALSE(out.monitors[0].clicksChanged);
}

TEST_F(Host, NewYearFireworksOnceAYearAndTheEveningSaluteOncePerEvening) {
  frames(25, input());
  FrameInput in = input();
  in.local = {2027, 1, 1, 0, 0};
  FrameOutput out;
  bool saved = false, shown = false;
  int salutes = 0;
  for (int i = 0; i < 20; ++i) {
    out = frame(in);
    saved = saved || out.saveSettings;
    shown = shown || logged(out, "Happy New Year 2027");
    if (out.storeEvening) ++salutes;
  }
  EXPECT_TRUE(saved);
  EXPECT_TRUE(shown);
  EXPECT_EQ(app.settings.fireworksYear, 2027);
  EXPECT_TRUE(app.monitors[0].world->showActive) << "on the primary monitor";
  EXPECT_FALSE(app.monitors[1].world->showActive);
  // The same night at 00:00 the evening of 31 December is still due: one salute.
  for (int i = 0; i < 40; ++i) {
    out = frame(in);
    if (out.storeEvening) {
      ++salutes;
      EXPECT_EQ(*out.storeEvening, "2026-12-31");
    }
  }
  EXPECT_EQ(salutes, 1);
  // A restart in the same minutes: the stored year holds the show back.
  AppState again;
  again.settings.fireworksYear = 2027;
  appSetMonitors(again, {MonitorInfo{"left", kLeft, kLeft, 1.0f, true, 1}});
  in.t = 500;
  out = hostFrame(again, in);
  EXPECT_FALSE(logged(out, "Happy New Year"));
}

TEST_F(Host, ADrawFailureKeepsWhatWasShownAndAsksForARebuild) {
  FrameOutput out = frame(input());
  hostFrameDrawFailed(app, out, 1, 50.0);
  EXPECT_TRUE(app.monitors[0].shown);
  EXPECT_FALSE(app.monitors[1].shown);
  EXPECT_TRUE(app.anyShown);
  EXPECT_TRUE(app.recreatePending);
  EXPECT_DOUBLE_EQ(app.recreateDue, 50.2);
}

TEST_F(Host, AGpuRendererThatIsNeverSeenGivesWayToTheCompatibleOne) {
  EXPECT_EQ(hostFrameRendererGaveUp(app, 80.0),
            "GPU mode draws nothing that reaches the screen — switching to the compatible mode B");
  EXPECT_TRUE(app.forceCompatible);
  EXPECT_TRUE(app.recreatePending);
  EXPECT_DOUBLE_EQ(app.recreateDue, 80.05);
}

TEST_F(Host, MonitorsKeepTheirWorldsByKeyAcrossARebuild) {
  kovra::SnowWorld* left = app.monitors[0].world.get();
  appSetMonitors(app, {MonitorInfo{"new", kRight, kRight, 2.0f, false, 3}, MonitorInfo{"left", kLeft, kLeft, 1.0f, true, 1}});
  ASSERT_EQ(app.monitors.size(), 2u);
  EXPECT_EQ(app.monitors[1].world.get(), left);
  EXPECT_NE(app.monitors[0].world.get(), left);
  EXPECT_FLOAT_EQ(app.monitors[0].widthDip, 640.0f);
}

// ---------------------------------------------------------------- commands

TEST_F(Host, MenuCommandsChangeTheStateAndSaveIt) {
  CountingServices s;
  CommandContext c;
  struct Row {
    Command command;
    bool Settings::*flag;
  };
  for (Row r : {Row{Command::ToggleOnWindows, &Settings::onWindows}, Row{Command::ToggleSweep, &Settings::sweep}}) {
    bool before = app.settings.*r.flag;
    int saves = s.saves;
    for (MonitorState& m : app.monitors) m.dirty = false;
    applyCommand(app, r.command, s, c);
    EXPECT_NE(app.settings.*r.flag, before) << commandName(r.command);
    EXPECT_EQ(s.saves, saves + 1) << commandName(r.command);
    EXPECT_EQ(app.monitors[0].dirty, r.command == Command::ToggleOnWindows) << "relayout only for on-windows";
  }
  applyCommand(app, Command::Blizzard, s, c);
  EXPECT_EQ(app.settings.weather, 2);
  applyCommand(app, Command::ToggleAutostart, s, c);
  EXPECT_TRUE(s.autostart);
  applyCommand(app, Command::ToggleAutostart, s, c);
  EXPECT_FALSE(s.autostart);

  app.forceCompatible = true;
  applyCommand(app, Command::RendererGpu, s, c);
  EXPECT_EQ(app.settings.renderMode, 0);
  EXPECT_FALSE(app.forceCompatible) << "choosing A again tries the GPU again";
  applyCommand(app, Command::RendererCompatible, s, c);
  EXPECT_EQ(app.settings.renderMode, 1);
  EXPECT_EQ(s.rebuilds, 2);
}

TEST_F(Host, TheGuideIsSeenOnceAndClosingItResumesAPausedSnow) {
  CountingServices s;
  CommandContext c;
  app.settings.paused = true;
  for (int round = 0; round < 2; ++round) {
    applyCommand(app, Command::GuideOpen, s, c);
    EXPECT_TRUE(app.guideActive);
    const int saves = s.saves;
    app.settings.paused = round == 0;
    applyCommand(app, Command::GuideClose, s, c);
    EXPECT_FALSE(app.guideActive);
    EXPECT_TRUE(app.settings.guideSeen);
    EXPECT_FALSE(app.settings.paused) << "round " << round;
    // The first finish stores the guide as seen (and the resume stores the
    // pause); a second finish of a running snow stores nothing.
    EXPECT_EQ(s.saves > saves, round == 0) << "round " << round;
  }
}

TEST_F(Host, ShovelEmptiesEveryDriftAndTheBirdsComeWhereTheCursorIs) {
  frames(3, input());
  CountingServices s;
  CommandContext c;
  for (MonitorState& m : app.monitors)
    for (kovra::Drift* d : m.world->drifts) std::fill(d->heights.begin(), d->heights.end(), 5.0f);
  applyCommand(app, Command::Shovel, s, c);
  for (MonitorState& m : app.monitors)
    for (kovra::Drift* d : m.world->drifts)
      for (float h : d->heights) EXPECT_LT(h, 5.0f);

  c.cursorX = 2500;  // on the right monitor
  c.cursorY = 500;
  applyCommand(app, Command::CallBirds, s, c);
  EXPECT_FALSE(app.monitors[1].world->birds.empty());
  EXPECT_TRUE(app.monitors[0].world->birds.empty());
}

TEST_F(Host, PauseAndResumeFromAnySourceStartTheSnowAfresh) {
  frames(25, input());
  CountingServices s;
  CommandContext c;
  c.now = 7;
  applyCommand(app, Command::TogglePause, s, c);
  EXPECT_TRUE(app.settings.paused);
  EXPECT_EQ(app.guide.baseBits & kGuidePauseStep, kGuidePauseStep);
  EXPECT_EQ(app.frame.lastFrameTime, 0.0);
  EXPECT_EQ(app.frame.nextFrameTime, 7.0);
  // Fireworks resume the snow first; the resume empties every world.
  app.monitors[0].world->spawnFlake(kovra::WorldInput{});
  applyCommand(app, Command::Fireworks, s, c);
  EXPECT_FALSE(app.settings.paused);
  EXPECT_EQ(app.monitors[1].world->flakeCount(), 0);
  EXPECT_TRUE(app.monitors[0].world->showActive);
  EXPECT_GE(s.trays, 2);
}

TEST_F(Host, SettingsWindowValuesAreAppliedAndSavedAtOnce) {
  CountingServices s;
  SettingsWindowValues v;
  v.sweep = false;
  v.santa = false;
  v.birds = true;
  v.stars = true;
  v.snowfall = app.settings.snowfall;
  v.smartPause = app.settings.smartPause;
  v.renderMode = app.settings.renderMode;
  v.language = uiLanguage();
  applySettingsValues(app, v, s, 1.0);
  EXPECT_FALSE(app.settings.sweep);
  EXPECT_TRUE(app.settings.birds);
  EXPECT_EQ(s.saves, 1) << "the five world switches are not left for the next save";
}

TEST_F(Host, TimersAndTheSecondStartAreCommandsToo) {
  CountingServices s;
  CommandContext c;
  applyCommand(app, Command::MinuteCheck, s, c);
  applyCommand(app, Command::FirstUpdateCheck, s, c);
  applyCommand(app, Command::CheckUpdates, s, c);
  EXPECT_EQ(s.asked, (std::vector<std::string>{"weather", "wallpaper", "check", "check by user"}));
  applyCommand(app, Command::SecondStart, s, c);
  EXPECT_EQ(s.settingsOpened, 1);
  for (int id = 100; id <= 129; ++id) {
    std::optional<Command> command = menuCommandFrom(id);
    if (command) EXPECT_EQ(static_cast<int>(*command), id);
  }
  EXPECT_FALSE(menuCommandFrom(104));
  EXPECT_EQ(settingsWindowCommandFrom(1), Command::ShovelFromSettings);
  EXPECT_EQ(settingsWindowCommandFrom(17), Command::ShowAnyway);
  EXPECT_FALSE(settingsWindowCommandFrom(10));
}

// ------------------------------------------------------------ record, replay

TEST(Replay, ARecordedRunStepsToTheSameWorlds) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  Recorder rec(file);
  AppState live;
  std::vector<MonitorInfo> infos{MonitorInfo{"m", kLeft, {0, 0, 1920, 1040}, 1.0f, true, 42}};
  rec.settings(live.settings);
  appSetMonitors(live, infos);
  rec.monitors(infos);
  DesktopSurvey survey;
  SurveyedWindow w;
  w.window = 500;
  w.visible = w.frame = {300, 400, 1100, 900};
  w.hasCaption = true;
  w.className = L"Notepad \x00e9";
  survey.windows = {w};
  survey.taskbars = {{0, 1040, 1920, 1080}};
  survey.generation = 3;
  QuietServices quiet;
  double t = 10;
  for (int i = 0; i < 200; ++i, t += kDt) {
    FrameInput in;
    in.t = t;
    in.wall = 13e9 + t;
    in.survey = &survey;
    in.cursorX = 200 + i * 3;
    in.cursorY = 700;
    in.probes.started = true;
    if (i == 120) {  // the window goes away: its drift crumbles
      survey.windows.clear();
      survey.generation = 4;
      in.fates.push_back({500, kovra::Fate::Gone, kovra::Fate::Gone});
    }
    if (i == 60) {
      CommandContext c;
      c.now = t;
      rec.command(Command::CallSanta, c);
      applyCommand(live, Command::CallSanta, quiet, c);
    }
    if (i == 90) {
      rec.pointer(PointerEvent::Burst, 0, {500, 30}, false);
      appPointerBurst(live, 0, {500, 30});
    }
    rec.frame(in);
    hostFrame(live, in);
    rec.frameEnd(1.5);
    FrameCost cost;
    cost.workMs = 1.5;
    hostFrameDone(live, t, cost);
  }
  std::rewind(file);
  AppState replayed;
  int drawn = 0;
  ReplayResult r = replayRecording(file, replayed, [&](int, AppState&, const FrameInput&, const FrameOutput& out) {
    for (const MonitorOutput& m : out.monitors) drawn += m.draw ? 1 : 0;
  });
  std::fclose(file);
  EXPECT_EQ(r.error, "");
  EXPECT_EQ(r.frames, 200);
  EXPECT_EQ(drawn, 200);
  ASSERT_EQ(replayed.monitors.size(), 1u);
  const kovra::SnowWorld& a = *live.monitors[0].world;
  const kovra::SnowWorld& b = *replayed.monitors[0].world;
  ASSERT_EQ(a.particles.size(), b.particles.size());
  for (std::size_t i = 0; i < a.particles.size(); ++i) {
    EXPECT_EQ(a.particles[i].x, b.particles[i].x) << i;
    EXPECT_EQ(a.particles[i].y, b.particles[i].y) << i;
  }
  EXPECT_EQ(a.santa.active, b.santa.active);
  EXPECT_EQ(a.santa.x, b.santa.x);
  EXPECT_EQ(a.driftCount(), b.driftCount());
  EXPECT_EQ(live.frame.targetFps, replayed.frame.targetFps);
}

TEST(Replay, DamagedRecordingsSayWhereTheyBreak) {
  struct Row {
    const char* text;
    const char* error;
  };
  for (Row r : {Row{"", "line 0: not a recording"}, Row{"quillar-recording 1\nM 1 k 0 0\n", "line 2: bad monitors"},
                Row{"quillar-recording 1\nW 1 0 0 2\nw 5 0 0 1 1 0 0 1 1 0 0 0 0 x\nF 1\n", "line 4: window list cut short"},
                Row{"quillar-recording 1\nZ\n", "line 2: unknown record"}}) {
    std::FILE* f = std::tmpfile();
    std::fputs(r.text, f);
    std::rewind(f);
    AppState app;
    EXPECT_EQ(replayRecording(f, app, nullptr).error, r.error) << r.text;
    std::fclose(f);
  }
}

}  // namespace
