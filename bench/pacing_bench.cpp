#include <benchmark/benchmark.h>

#include "shell/pacing.h"

namespace {

// One display-synchronised frame with an empty tick: the pacing's own cost per frame.
void BM_FramePaceInStep(benchmark::State& state) {
  FrameState s;
  s.targetFps = 60;
  CompositorTiming timing{true, 1.0 / 144, 0.0042};
  double clock = 1.0;
  auto now = [&clock] { return clock; };
  auto tick = [&s, &clock](double t) {
    frameStep(s, t);
    clock += 0.001;
  };
  for (auto _ : state) {
    clock = s.nextFrameTime > clock ? s.nextFrameTime : clock;
    framePace(s, clock, timing, now, tick);
    benchmark::DoNotOptimize(s.nextFrameTime);
  }
}
BENCHMARK(BM_FramePaceInStep);

void BM_FramePacePlain(benchmark::State& state) {
  FrameState s;
  s.targetFps = 2;
  CompositorTiming none;
  double clock = 1.0;
  auto now = [&clock] { return clock; };
  auto tick = [&s](double t) { frameStep(s, t); };
  for (auto _ : state) {
    clock = s.nextFrameTime;
    framePace(s, clock, none, now, tick);
    benchmark::DoNotOptimize(s.nextFrameTime);
  }
}
BENCHMARK(BM_FramePacePlain);

void BM_PerfWindowUpdate(benchmark::State& state) {
  FrameState s;
  s.targetFps = 60;
  double t = 1.0;
  for (auto _ : state) {
    t += 1.0 / 60;
    perfWindowUpdate(s, t);
    benchmark::DoNotOptimize(s.perfScale);
  }
}
BENCHMARK(BM_PerfWindowUpdate);

}  // namespace
