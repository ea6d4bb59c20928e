#include "shell/frame_rules.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

// Wall-clock seconds since 1601 of an ordinary winter evening.
constexpr double kWall = 13'380'000'000.0;

TEST(FrameRulesActive, FramesRunWhileSomethingIsToBeSeen) {
  EXPECT_TRUE(snowActiveFrom(false, 2, false, false, false));
  EXPECT_FALSE(snowActiveFrom(true, 2, false, false, true));   // session locked
  EXPECT_FALSE(snowActiveFrom(false, 0, false, true, true));   // no overlays
  EXPECT_FALSE(snowActiveFrom(false, 1, true, false, false));  // paused, faded out
  EXPECT_TRUE(snowActiveFrom(false, 1, true, true, false));    // paused with the garland
  EXPECT_TRUE(snowActiveFrom(false, 1, true, false, true));    // still fading out
}

TEST(FrameRulesPause, PausedTimeAddsUpOnTheWallClock) {
  PausedClock c;
  EXPECT_EQ(pausedClockUpdate(c, false, kWall), 0);
  EXPECT_EQ(pausedClockUpdate(c, true, kWall + 10), 0);  // the pause starts
  EXPECT_EQ(c.pauseStart, kWall + 10);
  EXPECT_EQ(pausedClockUpdate(c, true, kWall + 70), 60);
  EXPECT_EQ(pausedClockUpdate(c, true, kWall + 40), 30);  // clock stepped back: no negative pause
  EXPECT_EQ(c.pauseStart, kWall + 10);
  EXPECT_EQ(pausedClockUpdate(c, false, kWall + 130), 120);  // the pause ends
  EXPECT_EQ(c.pauseStart, 0);
  EXPECT_EQ(c.pausedTotal, 120);
  EXPECT_EQ(pausedClockUpdate(c, false, kWall + 500), 120);
  EXPECT_EQ(pausedClockUpdate(c, true, kWall + 1000), 120);
  EXPECT_EQ(pausedClockUpdate(c, true, kWall + 1005), 125);
  EXPECT_EQ(pausedClockUpdate(c, false, kWall + 1008), 128);
  // A pause that ends with the clock behind its start adds nothing.
  pausedClockUpdate(c, true, kWall + 2000);
  EXPECT_EQ(pausedClockUpdate(c, false, kWall + 1990), 128);
}

TEST(FrameRulesAway, OnlyPlausibleAbsencesAddSnow) {
  struct Case {
    double gap;
    bool deposit;
  };
  for (Case c : {Case{3600, true}, Case{2.0, false}, Case{2.01, true}, Case{1.0 / 30, false},
                 Case{2591999, true}, Case{2592000, false}, Case{40 * 86400.0, false}, Case{-3600, false}}) {
    AwayCheck a = awayCheck(kWall + c.gap, kWall, 50, 50);
    EXPECT_NEAR(a.away, c.gap, 1e-5);  // wall seconds since 1601 keep about 2 us
    EXPECT_EQ(a.deposit, c.deposit) << c.gap;
  }
  // No earlier visit yet.
  EXPECT_FALSE(awayCheck(kWall, 0, 0, 0).deposit);
}

TEST(FrameRulesAway, PauseTimeIsNotAwayTime) {
  // An hour of pause with no frames in between: nothing to add.
  PausedClock c;
  double visitWall = kWall;
  double visitPaused = pausedClockUpdate(c, false, visitWall);
  pausedClockUpdate(c, true, kWall + 1);  // paused; the overlays fade and frames stop
  double paused = pausedClockUpdate(c, false, kWall + 3601);
  AwayCheck a = awayCheck(kWall + 3601, visitWall, paused, visitPaused);
  EXPECT_NEAR(a.away, 1, 1e-9);
  EXPECT_FALSE(a.deposit);

  // An hour of sleep with the snow running, plus ten paused minutes afterwards.
  PausedClock d;
  visitPaused = pausedClockUpdate(d, false, kWall);
  pausedClockUpdate(d, true, kWall + 3600);
  paused = pausedClockUpdate(d, false, kWall + 4200);
  a = awayCheck(kWall + 4200, kWall, paused, visitPaused);
  EXPECT_NEAR(a.away, 3600, 1e-9);
  EXPECT_TRUE(a.deposit);
}

TEST(FrameRulesFade, FadeInAndOutTimes) {
  const double dt = 1.0 / 60;
  double opacity = 0;
  int frames = 0;
  bool shown = false;
  while (opacity < 1) {
    FadeDecision d = decideFade(false, false, false, false, shown, opacity, dt);
    ASSERT_EQ(d.action, FadeAction::Run);
    EXPECT_TRUE(d.clicksAllowed);
    EXPECT_FALSE(d.snowPaused);
    opacity = d.opacity;
    shown = true;
    ++frames;
  }
  EXPECT_EQ(opacity, 1.0);
  EXPECT_NEAR(frames, 36, 1);  // 0.6 s

  frames = 0;
  for (;;) {
    FadeDecision d = decideFade(true, false, false, false, true, opacity, dt);
    ++frames;
    if (d.action == FadeAction::Hide) {
      EXPECT_EQ(d.opacity, 0);
      break;
    }
    ASSERT_EQ(d.action, FadeAction::Run);
    EXPECT_FALSE(d.clicksAllowed);  // fading snow never takes clicks
    opacity = d.opacity;
  }
  EXPECT_NEAR(frames, 27, 1);  // 0.45 s
  // Once hidden, a paused overlay is skipped.
  EXPECT_EQ(decideFade(true, false, false, false, false, 0, dt).action, FadeAction::Skip);
}

TEST(FrameRulesFade, ReasonsFullScreenAndGarland) {
  const double dt = 0.1;
  // A smart-pause reason fades out a shown overlay and leaves a hidden one alone.
  FadeDecision r = decideFade(false, false, false, true, true, 1.0, dt);
  EXPECT_EQ(r.action, FadeAction::Run);
  EXPECT_NEAR(r.opacity, 1.0 - dt / 0.45, 1e-12);
  EXPECT_FALSE(r.clicksAllowed);
  EXPECT_EQ(decideFade(false, false, false, true, false, 0, dt).action, FadeAction::Skip);
  // A full-screen application hides at once, paused or not, garland or not.
  for (bool paused : {false, true}) {
    for (bool garland : {false, true}) {
      FadeDecision f = decideFade(paused, garland, true, false, true, 0.8, dt);
      EXPECT_EQ(f.action, FadeAction::Hide) << paused << garland;
      EXPECT_EQ(f.opacity, 0);
      EXPECT_FALSE(f.snowPaused);
      EXPECT_EQ(decideFade(paused, garland, true, false, false, 0, dt).action, FadeAction::Skip);
    }
  }
  // Paused with the garland: the overlay stays (or comes) up, the world in snow-paused mode.
  FadeDecision g = decideFade(true, true, false, false, false, 0.0, dt);
  EXPECT_EQ(g.action, FadeAction::Run);
  EXPECT_TRUE(g.snowPaused);
  EXPECT_FALSE(g.clicksAllowed);
  EXPECT_NEAR(g.opacity, dt / 0.6, 1e-12);
  // ... but a reason still fades it out.
  FadeDecision gr = decideFade(true, true, false, true, true, 1.0, dt);
  EXPECT_FALSE(gr.snowPaused);
  EXPECT_LT(gr.opacity, 1.0);
}

TEST(FrameRulesClicks, TakesClicksOnlyOverGrabbableSnow) {
  EXPECT_TRUE(takesClicksFrom(true, 1.0, false, false, false, true, true));
  EXPECT_FALSE(takesClicksFrom(false, 1.0, true, false, false, true, true));  // clicks not allowed
  EXPECT_FALSE(takesClicksFrom(true, 0.5, true, false, false, true, true));   // too faint
  EXPECT_TRUE(takesClicksFrom(true, 0.6, true, true, false, false, false));   // holding: keeps clicks
  EXPECT_FALSE(takesClicksFrom(true, 1.0, false, true, false, true, true));   // a drag from elsewhere
  EXPECT_FALSE(takesClicksFrom(true, 1.0, false, false, false, false, true));
  EXPECT_FALSE(takesClicksFrom(true, 1.0, false, false, false, true, false));
  EXPECT_FALSE(takesClicksFrom(true, 1.0, false, true, true, true, false));   // own press, snow gone

  EXPECT_FALSE(busyAfterMonitor(false, 250, false, 1.0));
  EXPECT_TRUE(busyAfterMonitor(false, 251, false, 1.0));
  EXPECT_TRUE(busyAfterMonitor(false, 0, true, 1.0));
  EXPECT_TRUE(busyAfterMonitor(false, 0, false, 0.99));
  EXPECT_TRUE(busyAfterMonitor(true, 0, false, 1.0));
}

// Frame by frame over grabbable snow: the overlay's view of the buttons and
// whether it takes clicks, as the tick keeps them.
struct ClickFrames {
  bool taken = false, down = false, takes = false;
  bool frame(bool button, bool grabbing = false) {
    taken = pressTakenFrom(taken, button, down, takes);
    down = button;
    takes = takesClicksFrom(true, 1.0, grabbing, button, taken, true, true);
    return takes;
  }
};

TEST(FrameRulesClicks, APressOnSnowKeepsTheOverlayUntilItsMessageArrives) {
  // The press went down over snow; a frame runs before the overlay gets the
  // press's message. Letting clicks through then would route the press past it.
  ClickFrames f;
  EXPECT_TRUE(f.frame(false));
  EXPECT_TRUE(f.frame(true));
  EXPECT_TRUE(f.frame(true));
  EXPECT_TRUE(f.frame(true, true));  // the message came: a ball is held
  EXPECT_TRUE(f.frame(false));       // let go over snow: the next press is welcome
  EXPECT_TRUE(f.frame(true));        // the second click of a double click

  // A drag that began away from the snow and runs over it is not caught.
  ClickFrames drag;
  drag.takes = false;
  drag.down = true;
  EXPECT_FALSE(drag.frame(true));
  EXPECT_FALSE(drag.frame(true));
  EXPECT_TRUE(drag.frame(false));  // released over the snow: it is grabbable again
}

TEST(FrameRulesCursor, InsideAndPointsOfAMonitor) {
  // A 1.5x monitor to the right of the primary one: 2880x1620 px, 1080 points high.
  const long l = 1920, t = -200, r = 4800, b = 1420;
  EXPECT_TRUE(cursorInside(l, t, l, t, r, b));
  EXPECT_FALSE(cursorInside(r, t, l, t, r, b));
  EXPECT_FALSE(cursorInside(l, b, l, t, r, b));
  EXPECT_TRUE(cursorInside(r - 1, b - 1, l, t, r, b));
  EXPECT_FALSE(cursorInside(l - 1, 0, l, t, r, b));
  double x = 0, y = 0;
  cursorToPoints(l + 300, t + 150, l, t, 1.5, 1080, x, y);
  EXPECT_DOUBLE_EQ(x, 200);
  EXPECT_DOUBLE_EQ(y, 980);
  cursorToPoints(l, b, l, t, 1.5, 1080, x, y);
  EXPECT_DOUBLE_EQ(y, 0);  // bottom edge is y = 0
}

TEST(FrameRulesFps, TargetRateTable) {
  struct Case {
    bool anyShown;
    int mode;
    bool needsSpeed;
    double workMs;
    bool busy, snowfall, soft, paused;
    int fps;
  };
  const Case cases[] = {
      {false, 2, true, 1, true, true, false, false, 2},     // nothing shown: 2 whatever else
      {false, 0, false, 1, false, false, false, true, 2},   // ... also paused
      {true, 1, true, 1, true, true, false, false, 30},     // fixed 30
      {true, 2, false, 1, false, false, true, false, 60},   // fixed 60, even compatible
      {true, 2, false, 1, false, false, false, true, 30},   // paused: 30 whatever the mode
      {true, 0, false, 1, false, false, false, false, 30},  // auto, quiet desktop
      {true, 0, false, 1, false, true, false, false, 60},   // auto, snow falling on the GPU
      {true, 0, false, 1, true, false, false, false, 60},   // auto, busy
      {true, 0, false, 1, true, true, true, false, 30},     // auto, compatible renderer
      {true, 0, true, 5, false, false, true, false, 60},    // input needs speed, frames cheap
      {true, 0, true, 9, false, false, true, false, 30},    // ... frames not cheap
      {true, 0, true, 9, false, false, false, false, 30},
      {true, 0, true, 8.9, false, false, false, true, 30},  // paused wins
  };
  for (const Case& c : cases) {
    EXPECT_EQ(chooseTargetFps(c.anyShown, c.mode, c.needsSpeed, c.workMs, c.busy, c.snowfall, c.soft, c.paused),
              c.fps)
        << "shown " << c.anyShown << " mode " << c.mode << " speed " << c.needsSpeed << " work " << c.workMs
        << " busy " << c.busy << " snowfall " << c.snowfall << " soft " << c.soft << " paused " << c.paused;
  }
}

TEST(FrameRulesGrab, ModifierKeysPickTheGrab) {
  // shift, win, tab, esc, alt, ctrl
  EXPECT_EQ(grabModeFrom(false, false, false, false, false, false), 0);
  EXPECT_EQ(grabModeFrom(false, false, false, false, true, false), 1);
  EXPECT_EQ(grabModeFrom(false, false, false, false, false, true), 2);
  EXPECT_EQ(grabModeFrom(false, false, false, false, true, true), 0);  // Ctrl+Alt is a shortcut
  EXPECT_EQ(grabModeFrom(true, false, false, false, true, false), 0);
  EXPECT_EQ(grabModeFrom(false, true, false, false, false, true), 0);
  EXPECT_EQ(grabModeFrom(false, false, true, false, true, false), 0);  // Alt+Tab
  EXPECT_EQ(grabModeFrom(false, false, false, true, false, true), 0);  // Ctrl+Esc
}

TEST(FrameRulesWeather, WorldInputNumbers) {
  EXPECT_FLOAT_EQ(windForLevel(0), 0.06f);
  EXPECT_FLOAT_EQ(windForLevel(1), 0.14f);
  EXPECT_FLOAT_EQ(windForLevel(2), 0.7f);
  EXPECT_FLOAT_EQ(windForLevel(3), 0.7f);

  WorldWeather w = worldWeatherFrom(1, false, 3, 2.5f, false, 1.0);
  EXPECT_EQ(w.level, 1);
  EXPECT_FLOAT_EQ(w.wind, 0.14f);
  EXPECT_FLOAT_EQ(w.density, 1.0f);
  // The real weather replaces level and wind; no snow outside thins it out.
  w = worldWeatherFrom(0, true, 2, 1.8f, true, 1.0);
  EXPECT_EQ(w.level, 2);
  EXPECT_FLOAT_EQ(w.wind, 1.8f);
  EXPECT_FLOAT_EQ(w.density, 1.0f);
  w = worldWeatherFrom(0, true, 1, 0.3f, false, 0.5);
  EXPECT_FLOAT_EQ(w.density, 0.15f);
  // The performance scale applies in every case.
  w = worldWeatherFrom(2, false, 0, 0, false, 0.85);
  EXPECT_FLOAT_EQ(w.density, 0.85f);
  EXPECT_FLOAT_EQ(w.wind, 0.7f);
}

TEST(FrameRulesStats, PeriodFiguresAndReset) {
  FrameStats s;
  statsAddFrame(s, 10.0);
  EXPECT_DOUBLE_EQ(s.smoothedWorkMs, 1.0);
  statsAddFrame(s, 10.0);
  EXPECT_DOUBLE_EQ(s.smoothedWorkMs, 1.9);
  EXPECT_EQ(s.frames, 2);
  EXPECT_DOUBLE_EQ(s.workMsSum, 20.0);

  FrameStats p;
  EXPECT_FALSE(statsPeriodEnd(p, 100.0, 5'000'000).has_value());  // first tick: start only
  EXPECT_EQ(p.start, 100.0);
  for (int i = 0; i < 900; ++i) statsAddFrame(p, 2.0);
  EXPECT_FALSE(statsPeriodEnd(p, 129.9, 20'000'000).has_value());
  std::optional<StatsPeriod> r = statsPeriodEnd(p, 130.0, 35'000'000);  // 3 s CPU in 30 s
  ASSERT_TRUE(r.has_value());
  EXPECT_DOUBLE_EQ(r->fps, 30.0);
  EXPECT_DOUBLE_EQ(r->workMs, 2.0);
  EXPECT_DOUBLE_EQ(r->cpuPercent, 10.0);
  EXPECT_EQ(p.frames, 0);
  EXPECT_EQ(p.workMsSum, 0);
  EXPECT_EQ(p.start, 130.0);
  EXPECT_EQ(p.cpuAtStart, 35'000'000u);
  EXPECT_NEAR(p.smoothedWorkMs, 2.0, 1e-9);  // the smoothed figure carries on across periods
  // An idle period: no frames, no work, no CPU.
  r = statsPeriodEnd(p, 160.0, 35'000'000);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->fps, 0);
  EXPECT_EQ(r->workMs, 0);
  EXPECT_EQ(r->cpuPercent, 0);
}

TEST(FrameRulesStats, LineText) {
  StatsFigures f;
  f.fps = 71.96;
  f.workMs = 1.254;
  f.cpuPercent = 10.0;
  f.processors = 4;
  f.flakes = 812;
  f.drifts = 5;
  f.windows = 12;
  f.balls = 1;
  f.snowmen = 0;
  f.renderer = "GPU composition";
  f.displayRate = 143.99;
  f.inStepFps = 72;
  f.lateFrames = 3;
  EXPECT_EQ(statsLine(f),
            "stats: 72.0 fps, 1.25 ms/frame work, CPU 10.0% of one core (2.50% of all 4), flakes 812, drifts 5, "
            "windows 12, balls 1, snowmen 0, GPU composition, display 144 Hz, in step 72 fps, late 3");
  f.processors = 0;  // an unknown count does not divide by zero
  EXPECT_NE(statsLine(f).find("(10.00% of all 1)"), std::string::npos);
}

TEST(FrameRulesDates, NewYearOnlyInTheFirstTwoMinutes) {
  EXPECT_TRUE(isNewYearMoment(1, 1, 0, 0, 2026, 2025, false));
  EXPECT_TRUE(isNewYearMoment(1, 1, 0, 1, 2026, 0, false));
  EXPECT_FALSE(isNewYearMoment(1, 1, 0, 2, 2026, 2025, false));
  EXPECT_FALSE(isNewYearMoment(1, 1, 1, 0, 2026, 2025, false));
  EXPECT_FALSE(isNewYearMoment(12, 31, 23, 59, 2025, 2024, false));
  EXPECT_FALSE(isNewYearMoment(1, 2, 0, 0, 2026, 2025, false));
  EXPECT_FALSE(isNewYearMoment(2, 1, 0, 0, 2026, 2025, false));
  EXPECT_FALSE(isNewYearMoment(1, 1, 0, 0, 2026, 2026, false));  // already shown (e.g. before a restart)
  EXPECT_FALSE(isNewYearMoment(1, 1, 0, 1, 2026, 2025, true));   // paused
}

TEST(FrameRulesDates, EveningSaluteBelongsToTheEvening) {
  EXPECT_EQ(eveningSaluteDate(2025, 12, 14, 18), std::nullopt);
  EXPECT_EQ(eveningSaluteDate(2025, 12, 14, 6), std::nullopt);
  EXPECT_EQ(eveningSaluteDate(2025, 12, 14, 12), std::nullopt);
  EXPECT_EQ(eveningSaluteDate(2025, 12, 14, 19), "2025-12-14");
  EXPECT_EQ(eveningSaluteDate(2025, 12, 14, 23), "2025-12-14");
  EXPECT_EQ(eveningSaluteDate(2025, 12, 15, 0), "2025-12-14");
  EXPECT_EQ(eveningSaluteDate(2025, 12, 15, 3), "2025-12-14");
  EXPECT_EQ(eveningSaluteDate(2025, 12, 15, 5), "2025-12-14");
  // The first check after New Year's midnight still counts for 31 December.
  EXPECT_EQ(eveningSaluteDate(2026, 1, 1, 3), "2025-12-31");
  EXPECT_EQ(eveningSaluteDate(2024, 3, 1, 3), "2024-02-29");
  EXPECT_EQ(eveningSaluteDate(2025, 3, 1, 3), "2025-02-28");
  EXPECT_EQ(eveningSaluteDate(2000, 3, 1, 3), "2000-02-29");
  EXPECT_EQ(eveningSaluteDate(1900, 3, 1, 3), "1900-02-28");
  EXPECT_EQ(eveningSaluteDate(2025, 5, 1, 2), "2025-04-30");
  EXPECT_EQ(eveningSaluteDate(2025, 8, 1, 2), "2025-07-31");
  EXPECT_EQ(eveningSaluteDate(2025, 1, 9, 20), "2025-01-09");
}

TEST(FrameRulesDates, CalendarBasics) {
  EXPECT_TRUE(isLeapYear(2024));
  EXPECT_FALSE(isLeapYear(2100));
  EXPECT_TRUE(isLeapYear(2400));
  EXPECT_EQ(daysInMonth(2023, 2), 28);
  EXPECT_EQ(daysInMonth(2024, 2), 29);
  EXPECT_EQ(daysInMonth(2024, 11), 30);
  EXPECT_EQ(daysInMonth(2024, 13), 0);
  int y = 2025, m = 1, d = 1;
  previousDay(y, m, d);
  EXPECT_EQ(y, 2024);
  EXPECT_EQ(m, 12);
  EXPECT_EQ(d, 31);
}

}  // namespace
