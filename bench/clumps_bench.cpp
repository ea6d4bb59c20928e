#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>

#include "world/balls.h"
#include "world/surfaces.h"
#include "world/world.h"

namespace {

using kovra::Particle;
using kovra::PointerInput;
using kovra::Rect;
using kovra::SceneWindow;
using kovra::SnowWorld;
using kovra::SurfaceScene;
using kovra::Vec2;
using kovra::WorldInput;
using kovra::WorldRandom;

constexpr float kFrame = 1.0f / 60.0f;
constexpr int kClumps = 600;

// A full-HD monitor with a taskbar and four overlapping windows, their
// drifts half full.
void furnish(SnowWorld& w, const WorldInput& in) {
  SurfaceScene s;
  s.taskbarPresent = true;
  s.taskbar = Rect{0, 0, 1920, 40};
  s.taskbarDrift = true;
  s.windows.push_back(SceneWindow{101, Rect{200, 300, 600, 400}, false});
  s.windows.push_back(SceneWindow{102, Rect{650, 200, 700, 500}, false});
  s.windows.push_back(SceneWindow{103, Rect{1200, 120, 500, 650}, false});
  s.windows.push_back(SceneWindow{104, Rect{80, 90, 900, 300}, false});
  w.updateDrifts(s, in, 0.0);
  for (kovra::Drift* d : w.drifts) {
    for (int c = 0; c < d->columns; ++c) d->heights[c] = 0.5f * d->cap;
  }
}

// Loose snow thrown up all over the screen: it flies for a second or two.
void throwClump(SnowWorld& w, WorldRandom& r) {
  const Vec2 at{r.next() * w.width, 200.0f + r.next() * 800.0f};
  const Vec2 v{r.next() * 300.0f - 150.0f, r.next() * 400.0f};
  w.spawnClump(at, v, 0.5f + r.next() * 3.0f, true, 0.0f);
}

// Landed clumps are taken out and thrown again, so every step has the full
// 600 in flight. This costs a few removals and spawns per step, measured
// with the step.
void keepFlying(SnowWorld& w, WorldRandom& r) {
  for (size_t i = 0; i < w.particles.size();) {
    const Particle& p = w.particles[i];
    if (p.clump && p.age >= 0.0f) {
      w.removeParticle(i);
    } else {
      ++i;
    }
  }
  while (w.clumpCount < kClumps) throwClump(w, r);
}

void runSteps(benchmark::State& state, WorldInput in) {
  SnowWorld w(1920, 1080, 0xC1);
  furnish(w, in);
  w.prefill(in);
  WorldRandom r(99);
  keepFlying(w, r);
  const PointerInput away;
  double now = 0;
  int64_t flying = 0, steps = 0;
  for (auto _ : state) {
    now += kFrame;
    w.stepWorld(kFrame, in, away, now);
    keepFlying(w, r);
    flying += w.clumpCount;
    ++steps;
    benchmark::DoNotOptimize(w.particles.data());
  }
  state.counters["clumps"] = steps ? static_cast<double>(flying) / static_cast<double>(steps) : 0.0;
  state.counters["particles"] = w.flakeCount();
}

// One world step with 600 clumps in flight over six drifts, no snowfall.
void BM_StepWorld600Clumps(benchmark::State& state) {
  WorldInput in;
  in.snowfall = false;
  in.wind = 0.14f;
  runSteps(state, in);
}
BENCHMARK(BM_StepWorld600Clumps);

// The same in a blizzard: the falling flakes come on top.
void BM_StepWorld600ClumpsBlizzard(benchmark::State& state) {
  WorldInput in;
  in.level = 2;
  in.wind = 0.7f;
  runSteps(state, in);
}
BENCHMARK(BM_StepWorld600ClumpsBlizzard);

// A slow machine's step (50 ms) with the most balls there may be, all
// thrown hard: the worst case for the short steps that keep balls from
// passing through each other. Balls that come to rest are thrown again.
void BM_StepWorld40BallsThrownSlowFrames(benchmark::State& state) {
  constexpr float kSlowFrame = 0.05f;
  WorldInput in;
  in.snowfall = false;
  SnowWorld w(1920, 1080, 0xC2);
  furnish(w, in);
  WorldRandom r(7);
  auto throwBall = [&r](kovra::Snowball& b) {
    b.vx = r.next() * 2000.0f - 1000.0f;
    b.vy = 400.0f + r.next() * 800.0f;
    b.drift = nullptr;
    b.sitsOn = nullptr;
    b.onGround = false;
  };
  // Hard landings burst balls; new ones take their place.
  auto fill = [&w, &r, &throwBall] {
    while (w.balls.size() < static_cast<size_t>(kovra::kMaxBalls)) {
      auto b = std::make_unique<kovra::Snowball>();
      b->x = 100.0f + r.next() * 1720.0f;
      b->y = 300.0f + r.next() * 600.0f;
      b->area = 300.0f + r.next() * 900.0f;
      b->radius = kovra::ballRadius(b->area);
      throwBall(*b);
      w.balls.push_back(std::move(b));
    }
  };
  fill();
  const PointerInput away;
  double now = 0;
  for (auto _ : state) {
    now += kSlowFrame;
    w.stepWorld(kSlowFrame, in, away, now);
    for (auto& b : w.balls) {
      if (b->resting() && std::hypot(b->vx, b->vy) < 20.0f) throwBall(*b);
    }
    fill();
    benchmark::DoNotOptimize(w.balls.data());
  }
}
BENCHMARK(BM_StepWorld40BallsThrownSlowFrames);

}  // namespace
