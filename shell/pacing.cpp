#include "shell/pacing.h"

#include <algorithm>
#include <cmath>

#include "base/log.h"

namespace {

constexpr double kMinPeriod = 0.002;  // 500 Hz
constexpr double kMaxPeriod = 0.05;   // 20 Hz
constexpr double kSlotOffset = 0.15;  // frames start this share of a period after the blank
constexpr double kWindowLength = 4.0;
constexpr double kWindowTooLong = 6.0;
constexpr double kHitchGap = 0.1;

}  // namespace

CompositorTiming compositorTimingFrom(bool callOk, uint64_t refreshPeriodTicks, uint64_t vblankTicks,
                                      double frequency) {
  CompositorTiming timing;
  if (!callOk || refreshPeriodTicks == 0 || vblankTicks == 0 || !(frequency > 0)) return timing;
  timing.period = static_cast<double>(refreshPeriodTicks) / frequency;
  timing.vblank = static_cast<double>(vblankTicks) / frequency;
  timing.usable = timing.period > kMinPeriod && timing.period < kMaxPeriod;
  return timing;
}

int paceStep(int targetFps, double period) {
  if (targetFps <= 0 || !(period > 0)) return 1;
  long step = std::lround(1.0 / (targetFps * period));
  return static_cast<int>(std::max(1L, step));
}

void framePace(FrameState& s, double now, const CompositorTiming& timing, const std::function<double()>& clock,
               const std::function<void(double)>& tick) {
  if (s.targetFps >= 20 && timing.usable) {
    const double period = timing.period;
    if (!s.inStepLogged) {
      logLine("frames in step with the display: %.2f Hz", 1.0 / period);
      s.inStepLogged = true;
    }
    // The latest blank at or just before now; the small tolerance keeps a
    // wake-up a hair before the blank on that blank.
    double k = std::floor((now - timing.vblank) / period + 0.001);
    double slot = timing.vblank + k * period;
    double frameTime = slot;
    if (slot < s.lastFrameTime + 0.5 * period) {
      // That blank already carried a frame: take the next one.
      frameTime = std::min(now + period, s.lastFrameTime + period);
    }
    const int step = paceStep(s.targetFps, period);
    if (s.lastFrameTime > 0 && frameTime - s.lastFrameTime > (0.5 + step) * period) s.lateFrames += 1;

    tick(frameTime);

    s.inStepFps = 1.0 / (step * period);
    s.displayRate = 1.0 / period;

    const double after = clock();
    const double offset = kSlotOffset * period;
    const double due = frameTime + step * period + offset;
    if (after > due) {
      // Overran: skip to the next free blank rather than catching up in a burst.
      double n = std::ceil((after - offset - frameTime) / period);
      s.nextFrameTime = frameTime + n * period + offset;
    } else {
      s.nextFrameTime = due;
    }
    return;
  }

  s.inStepFps = 0;
  tick(now);
  const double interval = 1.0 / std::max(1, s.targetFps);
  if (now > s.nextFrameTime + interval || now < s.nextFrameTime) {
    s.nextFrameTime = now + interval;  // more than a frame late, or called early: restart the cadence
  } else {
    s.nextFrameTime += interval;
  }
}

void perfWindowUpdate(FrameState& s, double t) {
  PerfWindow& w = s.perf;
  if (s.prevTickTime > 0 && t - s.prevTickTime > kHitchGap) w.hitch = true;
  s.prevTickTime = t;
  w.count += 1;

  auto restart = [&w, t] {
    w.count = 0;
    w.hitch = false;
    w.start = t;
  };
  if (w.start == 0 || w.target != s.targetFps || s.targetFps < 20) {
    restart();
    w.target = s.targetFps;
    return;
  }
  const double length = t - w.start;
  if (length < kWindowLength) return;

  const double reference = s.inStepFps > 0 ? s.inStepFps : static_cast<double>(s.targetFps);
  const double fps = w.count / length;
  const bool hitch = w.hitch;
  restart();
  if (length > kWindowTooLong || hitch) return;

  if (fps < 0.72 * reference) {
    w.lowStreak += 1;
    if (w.lowStreak > 1 && s.perfScale > 0.5) {
      s.perfScale = std::max(0.5, s.perfScale * 0.85);
      w.lowStreak = 0;
      logLine("perf: %.0f fps of %.0f -> snow x%.2f", fps, reference, s.perfScale);
    }
  } else {
    w.lowStreak = 0;
    if (fps > 0.9 * reference && s.perfScale < 1) {
      s.perfScale = std::min(1.0, s.perfScale * 1.15);
      logLine("perf: %.0f fps of %.0f -> snow x%.2f again", fps, reference, s.perfScale);
    }
  }
}

double frameStep(FrameState& s, double t) {
  double dt = s.lastFrameTime > 0 ? t - s.lastFrameTime : 1.0 / 30.0;
  s.lastFrameTime = t;
  return dt;
}

bool frameDue(double now, double nextFrameTime) { return now >= nextFrameTime - 0.0005; }

int64_t timerDueRelative(double wait) {
  double units = std::max(0.0, wait) * 1e7;
  int64_t n = units < 9.0e18 ? static_cast<int64_t>(std::llround(units)) : INT64_C(9000000000000000000);
  return -std::max<int64_t>(1, n);
}

unsigned long waitMilliseconds(double wait) {
  double ms = std::ceil(std::max(0.0, wait) * 1000.0);
  if (ms > 4.0e9) return 4000000000UL;  // below INFINITE
  return static_cast<unsigned long>(ms);
}
