#pragma once
// Frame pacing: when the next frame is due and which time a frame carries.
// Pure arithmetic on shellClock seconds; the Win32 loop supplies the clock,
// the compositor's timing and the tick.
#include <cstdint>
#include <functional>

// The compositor's view of the display, in shellClock seconds.
struct CompositorTiming {
  bool usable = false;
  double period = 0;  // one refresh period
  double vblank = 0;  // time of a recent vertical blank
};

// Builds the timing from the raw composition values: whether the call
// succeeded, the refresh period and the last vertical blank in counter ticks
// (both unsigned, a period with the top bit set is a huge number, not a
// negative one) and the counter frequency. Usable only for a successful call
// with both values nonzero and a refresh between 20 and 500 Hz (exclusive).
CompositorTiming compositorTimingFrom(bool callOk, uint64_t refreshPeriodTicks, uint64_t vblankTicks,
                                      double frequency);

// The measuring window behind performance scaling.
struct PerfWindow {
  double start = 0;  // 0 = no window open
  int count = 0;
  int target = 0;  // targetFps when the window opened
  bool hitch = false;
  int lowStreak = 0;  // slow windows in a row
};

// The shell's frame state (main thread only).
struct FrameState {
  double nextFrameTime = 0;
  double lastFrameTime = 0;  // 0 = timing reset, the next step is 1/30 s
  int targetFps = 30;
  double perfScale = 1.0;  // density multiplier, 0.5 ... 1
  PerfWindow perf;
  double prevTickTime = 0;  // for hitch detection
  double inStepFps = 0;     // display rate / step while display-synchronised, else 0
  double displayRate = 0;   // 1 / period of the last display-synchronised frame
  int lateFrames = 0;       // since the last statistics line
  bool inStepLogged = false;
};

// Runs one frame: picks its time (in step with the vertical blank when at
// least 20 fps are wanted and the timing is usable, otherwise plain intervals
// of 1 / targetFps), calls tick(frameTime) and sets nextFrameTime. The tick is
// the frame tick, which runs frameStep and so moves lastFrameTime to the frame
// time, and may change targetFps. clock() is read once after the tick, on the
// synchronised path only, to see whether the tick overran its slot.
void framePace(FrameState& s, double now, const CompositorTiming& timing, const std::function<double()>& clock,
               const std::function<void(double)>& tick);

// Refresh periods per frame for a target rate: lround(1 / (fps * period)), at least 1.
int paceStep(int targetFps, double period);

// Measures the frame rate in 4-second windows and lowers or raises perfScale.
void perfWindowUpdate(FrameState& s, double t);

// The step length of this frame (1/30 s after a timing reset); moves lastFrameTime to t.
double frameStep(FrameState& s, double t);

// Main loop helpers.
// A frame runs when now has reached nextFrameTime, with half a millisecond of slack.
bool frameDue(double now, double nextFrameTime);
// Relative due time for a waitable timer in 100-ns units: negative, at least one unit.
int64_t timerDueRelative(double wait);
// Message wait in whole milliseconds, rounded up.
unsigned long waitMilliseconds(double wait);
