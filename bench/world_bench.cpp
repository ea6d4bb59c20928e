#include <benchmark/benchmark.h>

#include <string>

#include "world/world.h"

namespace {

using kovra::DriftKind;
using kovra::makeDrift;
using kovra::PointerInput;
using kovra::SnowWorld;
using kovra::WorldInput;

constexpr float kFrame = 1.0f / 60.0f;

WorldInput blizzard() {
  WorldInput in;
  in.level = 2;
  in.density = 1.0f;
  in.wind = 0.7f;
  return in;
}

// Steps until the flake limit of the level is reached (or a minute passes).
void fill(SnowWorld& w, const WorldInput& in) {
  const PointerInput away;
  const int limit = kovra::snowfallProfile(in.level, in.density).maxFlakes;
  for (int i = 0; i < 60 * 60 && w.flakeCount() < limit; ++i) w.stepWorld(kFrame, in, away, i * kFrame);
}

// A full-HD monitor in a blizzard, nothing to settle on: flakes only fall.
void BM_StepWorldBlizzard(benchmark::State& state) {
  SnowWorld w(1920, 1080, 0x1234);
  const WorldInput in = blizzard();
  const PointerInput away;
  fill(w, in);
  double now = 0;
  for (auto _ : state) {
    w.stepWorld(kFrame, in, away, now);
    now += kFrame;
    benchmark::DoNotOptimize(w.particles.data());
  }
  state.counters["flakes"] = w.flakeCount();
}
BENCHMARK(BM_StepWorldBlizzard);

// The same with a ground, a taskbar and six windows to land on.
void BM_StepWorldBlizzardWithDrifts(benchmark::State& state) {
  SnowWorld w(1920, 1080, 0x1234);
  auto ground = makeDrift("ground", DriftKind::Ground, 0, 0, 1920);
  ground.sceneIndex = 7;
  w.insertDrift(ground);
  auto bar = makeDrift("bar", DriftKind::Taskbar, 0, 40, 1920);
  bar.sceneIndex = 6;
  w.insertDrift(bar);
  for (int i = 0; i < 6; ++i) {
    auto d = makeDrift("w" + std::to_string(1000 + i), DriftKind::Window, 80.0f + i * 280.0f, 300.0f + i * 90.0f,
                       420.0f);
    d.zRank = i;
    d.sceneIndex = i;
    w.insertDrift(d);
  }
  const WorldInput in = blizzard();
  const PointerInput away;
  fill(w, in);
  double now = 0;
  for (auto _ : state) {
    w.stepWorld(kFrame, in, away, now);
    now += kFrame;
    benchmark::DoNotOptimize(w.particles.data());
  }
  state.counters["flakes"] = w.flakeCount();
}
BENCHMARK(BM_StepWorldBlizzardWithDrifts);

}  // namespace
