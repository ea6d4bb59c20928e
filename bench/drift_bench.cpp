#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "desktop/survey.h"
#include "world/surfaces.h"
#include "world/world.h"

namespace {

using kovra::Drift;
using kovra::Rect;
using kovra::SceneWindow;
using kovra::SnowWorld;
using kovra::SurfaceScene;
using kovra::WorldInput;

constexpr int kWindows = 30;
constexpr double kFrame = 1.0 / 60.0;

// Thirty overlapping windows cascading over a full-HD monitor with a taskbar.
SurfaceScene desk(float shift) {
  SurfaceScene s;
  s.taskbarPresent = true;
  s.taskbar = Rect{0, 0, 1920, 40};
  s.taskbarDrift = true;
  for (int i = 0; i < kWindows; ++i) {
    const float x = 20.0f + static_cast<float>((i * 137) % 1300) + shift;
    const float y = 60.0f + static_cast<float>((i * 71) % 500);
    s.windows.push_back(SceneWindow{static_cast<uint64_t>(1000 + i), Rect{x, y, 420.0f + (i % 5) * 60.0f, 380.0f},
                                    false});
  }
  return s;
}

// Every visible column at its cap, with a little unevenness, so settling,
// spilling and rebuilding all have work.
void fillDrifts(SnowWorld& w) {
  kovra::WorldRandom r(77);
  for (Drift* d : w.drifts) {
    for (int c = 0; c < d->columns; ++c) d->heights[c] = std::min(d->cap, d->limits[c]) * (0.85f + 0.15f * r.next());
    d->dirty = true;
    d->quietPasses = 0;
  }
}

// Settling, spill and outline rebuild of one frame, with 30 full window
// drifts, the taskbar and the ground.
void BM_DriftStepFullDrifts(benchmark::State& state) {
  SnowWorld w(1920, 1080, 5);
  WorldInput in;
  w.updateDrifts(desk(0), in, 0.0);
  fillDrifts(w);
  double now = 1.0;
  int columns = 0;
  for (const Drift* d : w.drifts) columns += d->columns;
  for (auto _ : state) {
    w.stepDrifts(now);
    now += kFrame;
    // Spilled snow leaves as clumps; keep the particle list from filling up.
    if (w.clumpCount > 500) {
      w.particles.clear();
      w.clumpCount = 0;
    }
    benchmark::DoNotOptimize(w.drifts.data());
  }
  state.counters["drifts"] = w.driftCount();
  state.counters["columns"] = columns;
}
BENCHMARK(BM_DriftStepFullDrifts);

// The outline rebuild alone, every drift, every time.
void BM_DriftOutlineRebuildAll(benchmark::State& state) {
  SnowWorld w(1920, 1080, 5);
  WorldInput in;
  w.updateDrifts(desk(0), in, 0.0);
  fillDrifts(w);
  double now = 1.0;
  for (auto _ : state) {
    for (Drift* d : w.drifts) kovra::rebuildOutline(*d, now);
    now += kFrame;
    benchmark::DoNotOptimize(w.drifts.data());
  }
}
BENCHMARK(BM_DriftOutlineRebuildAll);

// A new scene every frame: all 30 windows moved by a point (limits
// recomputed against everything in front, nothing thrown).
void BM_UpdateDriftsThirtyWindows(benchmark::State& state) {
  SnowWorld w(1920, 1080, 5);
  WorldInput in;
  w.updateDrifts(desk(0), in, 0.0);
  fillDrifts(w);
  const SurfaceScene a = desk(0), b = desk(1);
  double now = 1.0;
  bool flip = false;
  for (auto _ : state) {
    w.updateDrifts(flip ? a : b, in, now);
    flip = !flip;
    now += 1.0;  // slow moves
    benchmark::DoNotOptimize(w.drifts.data());
  }
  state.counters["drifts"] = w.driftCount();
}
BENCHMARK(BM_UpdateDriftsThirtyWindows);

// Laying out a survey of 30 windows (plus some on another monitor).
void BM_LayoutSceneThirtyWindows(benchmark::State& state) {
  kovra::MonitorArea area;
  area.monitor = {0, 0, 2880, 1620};
  area.work = {0, 0, 2880, 1560};
  area.scale = 1.5f;
  area.heightDip = 1080;
  std::vector<SurveyedWindow> windows;
  for (int i = 0; i < kWindows + 10; ++i) {
    SurveyedWindow s;
    s.window = static_cast<uint64_t>(1000 + i);
    const int x = i < kWindows ? 30 + (i * 211) % 2000 : 3000 + i * 10;
    const int y = 90 + (i * 107) % 750;
    s.visible = {x, y, x + 630 + (i % 5) * 90, y + 570};
    s.frame = {s.visible.left - 7, s.visible.top, s.visible.right + 7, s.visible.bottom + 7};
    s.hasCaption = true;
    s.maximized = i == 17;
    windows.push_back(s);
  }
  const std::vector<PixelRect> bars = {{0, 1560, 2880, 1620}};
  for (auto _ : state) {
    SurfaceScene s = kovra::layoutScene(area, windows, bars, {}, false);
    benchmark::DoNotOptimize(s.windows.data());
  }
}
BENCHMARK(BM_LayoutSceneThirtyWindows);

// The whole per-frame cost of a blizzard over 30 full window drifts: flakes
// landing, settling, spill and rebuilds.
void BM_StepWorldThirtyFullDrifts(benchmark::State& state) {
  SnowWorld w(1920, 1080, 5);
  WorldInput in;
  in.level = 2;
  in.wind = 0.7f;
  w.updateDrifts(desk(0), in, 0.0);
  fillDrifts(w);
  const kovra::PointerInput away;
  double now = 0;
  for (int i = 0; i < 60 * 20; ++i, now += kFrame) w.stepWorld(static_cast<float>(kFrame), in, away, now);
  for (auto _ : state) {
    w.stepWorld(static_cast<float>(kFrame), in, away, now);
    now += kFrame;
    benchmark::DoNotOptimize(w.particles.data());
  }
  state.counters["flakes"] = w.flakeCount();
}
BENCHMARK(BM_StepWorldThirtyFullDrifts);

}  // namespace
