#include "shell/pacing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "base/log.h"

namespace {

constexpr double kFreq = 10'000'000.0;  // a typical performance-counter frequency

uint64_t ticksFor(double hz) { return static_cast<uint64_t>(std::llround(kFreq / hz)); }

// Collects the log lines of one test.
struct LogCapture {
  std::vector<std::string> lines;
  LogCapture() {
    logSetObserver([this](const std::string& m) { lines.push_back(m); });
  }
  ~LogCapture() { logSetObserver(nullptr); }
  int countStarting(const std::string& prefix) const {
    int n = 0;
    for (const auto& l : lines) n += l.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }
};

// A fake display: vertical blanks at base + k * period, a fake shellClock and
// a tick that takes a configurable time. The tick books the step as the real
// frame tick does, so the pacing sees lastFrameTime move.
struct FakeDisplay {
  double period;
  double base;
  double clock = 0;
  FrameState s;
  std::vector<double> frames;
  std::function<double(size_t)> workFor = [](size_t) { return 0.001; };
  int staleBlanks = 0;  // how many blanks behind the compositor's report lags

  FakeDisplay(double hz, double baseTime) : period(1.0 / hz), base(baseTime) {}

  CompositorTiming timing() const {
    CompositorTiming t;
    t.usable = true;
    t.period = period;
    double k = std::floor((clock - base) / period) - staleBlanks;
    t.vblank = base + k * period;
    return t;
  }

  void frameAt(double now) {
    clock = now;
    framePace(
        s, now, timing(), [this] { return clock; },
        [this](double t) {
          frameStep(s, t);
          clock += workFor(frames.size());
          frames.push_back(t);
        });
  }

  // The main loop: sleep until the next frame is due, wake a little late.
  void run(int count, double maxJitter) {
    uint32_t seed = 12345;
    for (int i = 0; i < count; ++i) {
      seed = seed * 1664525u + 1013904223u;
      double jitter = maxJitter * (seed >> 8) / double(1u << 24);
      double wake = std::max(clock, s.nextFrameTime) + jitter;
      frameAt(wake);
    }
  }

  bool onGrid(double t) const {
    double k = (t - base) / period;
    return std::fabs(k - std::round(k)) < 1e-6;
  }
};

TEST(PacingTiming, UsableOnlyBetween20And500Hz) {
  for (double hz : {50.0, 59.94, 60.0, 75.0, 120.0, 144.0, 240.0, 360.0}) {
    CompositorTiming t = compositorTimingFrom(true, ticksFor(hz), 123456789, kFreq);
    EXPECT_TRUE(t.usable) << hz;
    EXPECT_NEAR(t.period, 1.0 / hz, 1e-7) << hz;
    EXPECT_NEAR(t.vblank, 12.3456789, 1e-9);
  }
  // 15 Hz and 600 Hz readings are nonsense for a desktop display.
  EXPECT_FALSE(compositorTimingFrom(true, ticksFor(15), 1000, kFreq).usable);
  EXPECT_FALSE(compositorTimingFrom(true, ticksFor(600), 1000, kFreq).usable);
  // The bounds themselves are outside.
  EXPECT_FALSE(compositorTimingFrom(true, 500000, 1000, kFreq).usable);  // exactly 20 Hz
  EXPECT_FALSE(compositorTimingFrom(true, 20000, 1000, kFreq).usable);   // exactly 500 Hz
  EXPECT_TRUE(compositorTimingFrom(true, 499999, 1000, kFreq).usable);
  EXPECT_TRUE(compositorTimingFrom(true, 20001, 1000, kFreq).usable);
}

TEST(PacingTiming, FailedOrEmptyReadingsAreUnusable) {
  EXPECT_FALSE(compositorTimingFrom(false, ticksFor(60), 1000, kFreq).usable);
  EXPECT_FALSE(compositorTimingFrom(true, 0, 1000, kFreq).usable);
  EXPECT_FALSE(compositorTimingFrom(true, ticksFor(60), 0, kFreq).usable);
  EXPECT_FALSE(compositorTimingFrom(true, ticksFor(60), 1000, 0).usable);
}

TEST(PacingTiming, PeriodWithTopBitSetIsHugeNotNegative) {
  const uint64_t topBit = uint64_t(1) << 63;
  CompositorTiming t = compositorTimingFrom(true, topBit | ticksFor(60), 1000, kFreq);
  EXPECT_FALSE(t.usable);
  EXPECT_GT(t.period, 1e11);  // read unsigned: about 9.2e11 s, far out of range
  CompositorTiming v = compositorTimingFrom(true, ticksFor(60), topBit | 5, kFreq);
  EXPECT_TRUE(v.usable);
  EXPECT_GT(v.vblank, 0);
}

TEST(PacingSync, StepAndInStepRateFollowTheDisplay) {
  struct Case {
    double hz;
    int fps;
    int step;
    double inStep;
  };
  const Case cases[] = {
      {144, 60, 2, 72}, {144, 30, 5, 28.8}, {60, 30, 2, 30}, {60, 60, 1, 60},
      {240, 60, 4, 60}, {50, 30, 2, 25},    {75, 60, 1, 75}, {120, 30, 4, 30},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(paceStep(c.fps, 1.0 / c.hz), c.step) << c.hz << " Hz " << c.fps << " fps";
    FakeDisplay d(c.hz, 0.0031);
    d.s.targetFps = c.fps;
    d.frameAt(5.0);
    ASSERT_EQ(d.frames.size(), 1u);
    EXPECT_NEAR(d.s.inStepFps, c.inStep, 1e-9) << c.hz << " Hz " << c.fps << " fps";
    EXPECT_NEAR(d.s.displayRate, c.hz, 1e-9);
    // The next frame starts 15 % of a period after the blank `step` periods on.
    EXPECT_NEAR(d.s.nextFrameTime, d.frames[0] + (c.step + 0.15) * d.period, 1e-12);
  }
  EXPECT_EQ(paceStep(60, 1.0 / 30), 1);  // never below one period
}

TEST(PacingSync, FrameTakesTheLatestBlankAndLogsOnce) {
  LogCapture log;
  FakeDisplay d(144, 0.0007);
  d.s.targetFps = 60;
  const double blank = d.base + 1000 * d.period;
  d.frameAt(blank + 0.4 * d.period);
  ASSERT_EQ(d.frames.size(), 1u);
  EXPECT_NEAR(d.frames[0], blank, 1e-12);
  EXPECT_EQ(d.s.lastFrameTime, d.frames[0]);
  // A wake-up a hair before a blank still belongs to that blank.
  d.frameAt(blank + 2 * d.period - 1e-7);
  EXPECT_NEAR(d.frames[1], blank + 2 * d.period, 1e-12);
  ASSERT_EQ(log.countStarting("frames in step with the display"), 1);
  EXPECT_EQ(log.lines[0], "frames in step with the display: 144.00 Hz");
}

TEST(PacingSync, UsedBlankGivesTheNextOne) {
  FakeDisplay d(60, 0.002);
  d.s.targetFps = 30;
  const double blank = d.base + 600 * d.period;
  d.frameAt(blank + 0.2 * d.period);
  // Called again on the same blank (a timer message right after a frame).
  d.frameAt(blank + 0.3 * d.period);
  ASSERT_EQ(d.frames.size(), 2u);
  EXPECT_NEAR(d.frames[1], blank + d.period, 1e-12);
  // After a timing reset the blank is free again.
  d.s.lastFrameTime = 0;
  d.frameAt(blank + 1.3 * d.period);
  EXPECT_NEAR(d.frames[2], blank + d.period, 1e-12);
  EXPECT_EQ(d.s.lateFrames, 0);
}

TEST(PacingSync, LateWakeUpIsCounted) {
  FakeDisplay d(60, 0.004);
  d.s.targetFps = 30;
  d.run(50, 0.0002);
  EXPECT_EQ(d.s.lateFrames, 0);
  // The loop oversleeps by three periods: the frame lands on the latest blank
  // and counts as late.
  double wake = d.s.nextFrameTime + 3 * d.period;
  double before = d.frames.back();
  d.frameAt(wake);
  EXPECT_EQ(d.s.lateFrames, 1);
  EXPECT_NEAR(d.frames.back() - before, 5 * d.period, 1e-9);
  EXPECT_TRUE(d.onGrid(d.frames.back()));
  d.run(50, 0.0002);
  EXPECT_EQ(d.s.lateFrames, 1);
  // A reset is never late, however long ago the last frame was.
  d.s.lastFrameTime = 0;
  d.frameAt(d.clock + 10.0);
  EXPECT_EQ(d.s.lateFrames, 1);
}

TEST(PacingLoop, SteadyFramesKeepTheirCadenceOnTheBlanks) {
  struct Case {
    double hz;
    int fps;
    int step;
  };
  for (const Case& c : {Case{144, 60, 2}, Case{144, 30, 5}, Case{60, 30, 2}, Case{60, 60, 1}, Case{240, 60, 4}}) {
    FakeDisplay d(c.hz, 0.0123);
    d.s.targetFps = c.fps;
    d.staleBlanks = 3;  // the compositor's report lags a few blanks; slots are the same
    d.clock = 2.0;
    d.run(2000, 0.0003);
    ASSERT_EQ(d.frames.size(), 2000u);
    int badSpacing = 0, offGrid = 0;
    for (size_t i = 1; i < d.frames.size(); ++i) {
      if (std::fabs(d.frames[i] - d.frames[i - 1] - c.step * d.period) > 1e-9) ++badSpacing;
      if (!d.onGrid(d.frames[i])) ++offGrid;
    }
    EXPECT_EQ(badSpacing, 0) << c.hz << " Hz " << c.fps << " fps";
    EXPECT_EQ(offGrid, 0) << c.hz << " Hz " << c.fps << " fps";
    EXPECT_EQ(d.s.lateFrames, 0) << c.hz << " Hz " << c.fps << " fps";
    double measured = (d.frames.size() - 1) / (d.frames.back() - d.frames.front());
    EXPECT_NEAR(measured, c.hz / c.step, 1e-6);
  }
}

TEST(PacingLoop, OverrunMovesToTheNextFreeBlankWithoutBurst) {
  struct Case {
    double hz;
    int fps;
    double overrunPeriods;  // how long the slow ticks take
    int expectedGap;        // periods from the slow frame to the next one
  };
  const Case cases[] = {
      {60, 30, 2.5, 3},   // past its 2-period slot: one blank later
      {60, 60, 1.5, 2},   // a tick longer than a refresh period
      {144, 60, 2.9, 3},  // step 2, needs a third period
      {60, 30, 30.0, 31}, // half a second hang: one frame afterwards, not a queue
  };
  for (const Case& c : cases) {
    FakeDisplay d(c.hz, 0.001);
    d.s.targetFps = c.fps;
    const int step = paceStep(c.fps, d.period);
    std::vector<size_t> slow;
    d.workFor = [&](size_t i) {
      if (i % 10 == 7) {
        slow.push_back(i);
        return c.overrunPeriods * d.period;
      }
      return 0.001;
    };
    d.clock = 3.0;
    for (int i = 0; i < 300; ++i) {
      double wake = std::max(d.clock, d.s.nextFrameTime) + 0.0001;
      d.frameAt(wake);
      // The next frame never starts before this tick ended, and after an
      // overrun it comes within one refresh period of its end.
      EXPECT_GE(d.s.nextFrameTime, d.clock);
      double due = d.frames.back() + (step + 0.15) * d.period;
      if (d.clock > due) EXPECT_LT(d.s.nextFrameTime - d.clock, d.period);
      else EXPECT_NEAR(d.s.nextFrameTime, due, 1e-12);
    }
    int wrong = 0;
    for (size_t i = 1; i < d.frames.size(); ++i) {
      double gap = (d.frames[i] - d.frames[i - 1]) / d.period;
      bool afterSlow = (i - 1) % 10 == 7;
      double want = afterSlow ? c.expectedGap : step;
      if (std::fabs(gap - want) > 1e-6) ++wrong;
      if (!d.onGrid(d.frames[i])) ++wrong;
    }
    EXPECT_EQ(wrong, 0) << c.hz << " Hz " << c.fps << " fps, slow tick " << c.overrunPeriods;
    // Every frame after an overrun counts as late.
    int slowBeforeLast = 0;
    for (size_t i : slow) slowBeforeLast += (i + 1 < d.frames.size()) ? 1 : 0;
    EXPECT_EQ(d.s.lateFrames, slowBeforeLast);
  }
}

TEST(PacingPlain, LowRatesAndUnusableTimingUsePlainIntervals) {
  CompositorTiming usable{true, 1.0 / 60, 0.001};
  CompositorTiming none;
  int clockReads = 0;
  auto clock = [&] {
    ++clockReads;
    return 0.0;
  };
  std::vector<double> ticks;
  auto tick = [&](double t) { ticks.push_back(t); };

  // Two frames per second ignore the display even when its timing is known.
  FrameState s;
  s.targetFps = 2;
  s.inStepFps = 72;
  s.displayRate = 144;
  framePace(s, 10.0, usable, clock, tick);
  EXPECT_EQ(ticks.back(), 10.0);  // the frame carries the call's time, not a blank
  EXPECT_EQ(s.inStepFps, 0);
  EXPECT_EQ(s.displayRate, 144);  // last synchronised rate stays for the statistics
  EXPECT_DOUBLE_EQ(s.nextFrameTime, 10.5);

  // 30 fps without timing (e.g. composition off).
  FrameState p;
  p.targetFps = 30;
  framePace(p, 4.0, none, clock, tick);
  EXPECT_EQ(ticks.back(), 4.0);
  EXPECT_DOUBLE_EQ(p.nextFrameTime, 4.0 + 1.0 / 30);
  EXPECT_EQ(clockReads, 0);

  // targetFps 0 cannot divide by zero: one frame a second.
  FrameState z;
  z.targetFps = 0;
  framePace(z, 5.0, none, clock, tick);
  EXPECT_DOUBLE_EQ(z.nextFrameTime, 6.0);
}

TEST(PacingPlain, CadenceHoldsAndResetsWhenLateOrEarly) {
  CompositorTiming none;
  auto clock = [] { return 0.0; };
  FrameState s;
  s.targetFps = 2;
  auto pace = [&](double now) { framePace(s, now, none, clock, [](double) {}); };

  pace(100.0);
  EXPECT_DOUBLE_EQ(s.nextFrameTime, 100.5);
  pace(100.5);
  EXPECT_DOUBLE_EQ(s.nextFrameTime, 101.0);
  pace(101.3);  // a little late: the cadence holds
  EXPECT_DOUBLE_EQ(s.nextFrameTime, 101.5);
  pace(101.99);  // nearly a frame late: still holds
  EXPECT_DOUBLE_EQ(s.nextFrameTime, 102.0);
  pace(102.6);  // more than one frame late: restart from now
  EXPECT_DOUBLE_EQ(s.nextFrameTime, 103.1);
  pace(102.9);  // early (a timer message): restart from now
  EXPECT_DOUBLE_EQ(s.nextFrameTime, 103.4);
  pace(103.4);
  EXPECT_DOUBLE_EQ(s.nextFrameTime, 103.9);
}

TEST(PacingPlain, IntervalUsesTheRateTheTickChose) {
  CompositorTiming none;
  FrameState s;
  s.targetFps = 30;
  framePace(s, 50.0, none, [] { return 0.0; }, [&](double) { s.targetFps = 2; });
  EXPECT_DOUBLE_EQ(s.nextFrameTime, 50.5);
}

TEST(PacingPlain, SwitchesToTheBlanksWhenTheRateRises) {
  FakeDisplay d(60, 0.0);
  d.s.targetFps = 2;
  d.run(5, 0.0);
  EXPECT_EQ(d.s.inStepFps, 0);
  d.s.targetFps = 30;
  d.run(20, 0.0002);
  EXPECT_NEAR(d.s.inStepFps, 30, 1e-9);
  EXPECT_TRUE(d.onGrid(d.frames.back()));
  EXPECT_NEAR(d.frames.back() - d.frames[d.frames.size() - 2], 2 * d.period, 1e-9);
}

// Feeds frames at `fps` until `windows` measuring windows have closed.
double runWindows(FrameState& s, double t, double fps, int windows) {
  int closed = 0;
  while (closed < windows) {
    t += 1.0 / fps;
    double before = s.perf.start;
    perfWindowUpdate(s, t);
    if (before != 0 && s.perf.start != before) ++closed;
  }
  return t;
}

FrameState perfState(int targetFps, double t0) {
  FrameState s;
  s.targetFps = targetFps;
  perfWindowUpdate(s, t0);  // opens the first window
  return s;
}

TEST(PacingPerf, TwoSlowWindowsLowerOneGoodWindowRaises) {
  LogCapture log;
  FrameState s = perfState(60, 100.0);
  EXPECT_EQ(s.perf.start, 100.0);
  EXPECT_EQ(s.perf.target, 60);
  double t = runWindows(s, 100.0, 30, 1);
  EXPECT_EQ(s.perfScale, 1.0);  // one slow window is not enough
  EXPECT_EQ(s.perf.lowStreak, 1);
  t = runWindows(s, t, 30, 1);
  EXPECT_DOUBLE_EQ(s.perfScale, 0.85);
  EXPECT_EQ(s.perf.lowStreak, 0);
  t = runWindows(s, t, 60, 1);
  EXPECT_NEAR(s.perfScale, 0.9775, 1e-12);
  ASSERT_EQ(log.lines.size(), 2u);
  EXPECT_EQ(log.lines[0], "perf: 30 fps of 60 -> snow x0.85");
  EXPECT_EQ(log.lines[1], "perf: 60 fps of 60 -> snow x0.98 again");
  t = runWindows(s, t, 60, 1);
  EXPECT_DOUBLE_EQ(s.perfScale, 1.0);  // capped at 1
  t = runWindows(s, t, 60, 3);
  EXPECT_EQ(log.lines.size(), 3u);  // nothing more to raise, nothing logged
}

TEST(PacingPerf, ScaleNeverDropsBelowHalf) {
  LogCapture log;
  FrameState s = perfState(60, 10.0);
  runWindows(s, 10.0, 20, 20);
  EXPECT_DOUBLE_EQ(s.perfScale, 0.5);
  // 0.85^4 = 0.522, the fifth step clamps to 0.5, then nothing more is logged.
  EXPECT_EQ(log.countStarting("perf: "), 5);
  EXPECT_EQ(log.lines.back(), "perf: 20 fps of 60 -> snow x0.50");
}

TEST(PacingPerf, ReferenceIsTheInStepRate) {
  // At 144 Hz the aim is 72 fps: 50 fps is slow against 72 though it would
  // pass against 60.
  FrameState s = perfState(60, 0.5);
  s.inStepFps = 72;
  double t = runWindows(s, 0.5, 50, 2);
  EXPECT_DOUBLE_EQ(s.perfScale, 0.85);
  // 60 of 72 is neither slow nor good: the scale stays, the streak ends.
  t = runWindows(s, t, 60, 1);
  EXPECT_DOUBLE_EQ(s.perfScale, 0.85);
  t = runWindows(s, t, 50, 1);
  t = runWindows(s, t, 60, 1);
  t = runWindows(s, t, 50, 1);
  EXPECT_DOUBLE_EQ(s.perfScale, 0.85);  // slow windows not in a row never lower
  EXPECT_EQ(s.perf.lowStreak, 1);
}

TEST(PacingPerf, HitchAndOverlongWindowsAreNotJudged) {
  FrameState s = perfState(60, 1.0);
  double t = runWindows(s, 1.0, 30, 1);
  ASSERT_EQ(s.perf.lowStreak, 1);
  // A slow window with one 0.2 s stall: not judged, the scale stays.
  for (int i = 0; i < 30; ++i) perfWindowUpdate(s, t += 1.0 / 30);
  perfWindowUpdate(s, t += 0.2);
  EXPECT_TRUE(s.perf.hitch);
  t = runWindows(s, t, 30, 1);
  EXPECT_EQ(s.perfScale, 1.0);
  EXPECT_EQ(s.perf.lowStreak, 1);
  EXPECT_FALSE(s.perf.hitch);  // cleared with the new window

  // A window that runs past 6 s is not judged even without a hitch flag.
  FrameState w = perfState(60, 1.0);
  double u = runWindows(w, 1.0, 30, 1);
  for (int i = 0; i < 100; ++i) perfWindowUpdate(w, u += 1.0 / 30);
  w.prevTickTime = 0;  // as after a timing reset: the gap is not seen as a hitch
  perfWindowUpdate(w, u += 3.5);
  EXPECT_FALSE(w.perf.hitch);
  EXPECT_EQ(w.perf.start, u);  // the window closed
  EXPECT_EQ(w.perfScale, 1.0);
  EXPECT_EQ(w.perf.lowStreak, 1);
}

TEST(PacingPerf, LowRatesAndRateChangesRestartTheWindow) {
  FrameState s = perfState(2, 1.0);
  double t = 1.0;
  for (int i = 0; i < 40; ++i) {
    perfWindowUpdate(s, t += 0.5);
    EXPECT_EQ(s.perf.start, t);
    EXPECT_EQ(s.perf.count, 0);
  }
  EXPECT_EQ(s.perfScale, 1.0);
  // The rate rises: a fresh window for the new target.
  s.targetFps = 60;
  perfWindowUpdate(s, t += 1.0 / 60);
  EXPECT_EQ(s.perf.start, t);
  EXPECT_EQ(s.perf.target, 60);
  // A change of target mid-window restarts it.
  for (int i = 0; i < 100; ++i) perfWindowUpdate(s, t += 1.0 / 60);
  EXPECT_EQ(s.perf.count, 100);
  s.targetFps = 30;
  perfWindowUpdate(s, t += 1.0 / 30);
  EXPECT_EQ(s.perf.count, 0);
  EXPECT_EQ(s.perf.target, 30);
  EXPECT_EQ(s.perf.start, t);
}

TEST(PacingStep, StepLengthAfterResetIsOneThirtieth) {
  FrameState s;
  EXPECT_DOUBLE_EQ(frameStep(s, 12.0), 1.0 / 30);
  EXPECT_EQ(s.lastFrameTime, 12.0);
  EXPECT_DOUBLE_EQ(frameStep(s, 12.016), 0.016);
  EXPECT_EQ(s.lastFrameTime, 12.016);
  s.lastFrameTime = 0;
  EXPECT_DOUBLE_EQ(frameStep(s, 20.0), 1.0 / 30);
}

TEST(PacingWait, LoopWaitArithmetic) {
  EXPECT_TRUE(frameDue(10.0, 10.0));
  EXPECT_TRUE(frameDue(9.9996, 10.0));
  EXPECT_FALSE(frameDue(9.999, 10.0));

  EXPECT_EQ(timerDueRelative(0.0), -1);  // at least one unit
  EXPECT_EQ(timerDueRelative(-0.5), -1);
  EXPECT_EQ(timerDueRelative(0.0166), -166000);
  EXPECT_EQ(timerDueRelative(1e-8), -1);

  EXPECT_EQ(waitMilliseconds(0.0), 0u);
  EXPECT_EQ(waitMilliseconds(0.0101), 11u);
  EXPECT_EQ(waitMilliseconds(0.0004), 1u);
  EXPECT_EQ(waitMilliseconds(-1.0), 0u);
}

}  // namespace
