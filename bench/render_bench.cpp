// The compatible renderer's frame on the CPU: clearing the buffer, drawing a
// blizzard at the flake limit with its drifts, and handing the pixels on
// (a copy stands in for the present). The floor is the clear and the copy
// alone, the least any frame of that size costs.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "desktop/survey.h"
#include "render/soft_painter.h"
#include "render/sprites.h"
#include "world/scene.h"
#include "world/surfaces.h"
#include "world/world.h"

namespace {

constexpr float kStep = 1.0f / 60.0f;

struct Frame {
  int width, height;
  float scale;
  std::unique_ptr<kovra::SnowWorld> world;
  std::vector<uint32_t> pixels, presented;

  Frame(int w, int h, float s) : width(w), height(h), scale(s), pixels(size_t(w) * h), presented(size_t(w) * h) {
    const float wd = w / s, hd = h / s;
    world = std::make_unique<kovra::SnowWorld>(wd, hd, 0xBEEF);
    kovra::WorldInput in;
    in.level = 2;
    in.wind = 0.7f;
    // Three windows and a taskbar, as a desktop would have them.
    const int32_t bar = static_cast<int32_t>(48 * s);
    std::vector<SurveyedWindow> windows(3);
    windows[0].visible = {int32_t(0.61 * w), int32_t(0.15 * h), int32_t(0.90 * w), int32_t(0.43 * h)};
    windows[1].visible = {int32_t(0.36 * w), int32_t(0.37 * h), int32_t(0.78 * w), int32_t(0.84 * h)};
    windows[2].visible = {int32_t(0.07 * w), int32_t(0.23 * h), int32_t(0.45 * w), int32_t(0.70 * h)};
    for (size_t i = 0; i < windows.size(); ++i) {
      windows[i].window = 0x10 * (i + 1);
      windows[i].frame = windows[i].visible;
      windows[i].hasCaption = true;
    }
    kovra::MonitorArea area;
    area.monitor = {0, 0, w, h};
    area.work = {0, 0, w, h - bar};
    area.scale = s;
    area.heightDip = hd;
    world->updateDrifts(kovra::layoutScene(area, windows, {PixelRect{0, h - bar, w, h}}, {}, false), in, 0.0);
    world->awayDeposit(1800.0, in);
    const kovra::PointerInput away;
    const int limit = kovra::snowfallProfile(in.level, in.density).maxFlakes;
    double now = 0;
    for (int i = 0; i < 60 * 60 && world->flakeCount() < limit; ++i) world->stepWorld(kStep, in, away, now += kStep);
    for (int i = 0; i < 30; ++i) world->stepWorld(kStep, in, away, now += kStep);
    kovra::spritesCompleteDrawn();
  }

  void floor() {
    std::memset(pixels.data(), 0, pixels.size() * 4);
    std::memcpy(presented.data(), pixels.data(), pixels.size() * 4);
  }

  void full() {
    kovra::SoftPainter painter(pixels.data(), width, height, width, scale, height / scale, kovra::spriteSetStorage());
    painter.clear();
    kovra::drawScene(*world, painter);
    std::memcpy(presented.data(), pixels.data(), pixels.size() * 4);
  }
};

// The machine is shared, so the comparison uses this thread's CPU time and
// the best of several batches.
double threadMilliseconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

template <class F>
double bestMillisecondsPer(F&& f, int batches, int runs) {
  double best = 1e30;
  for (int b = 0; b < batches; ++b) {
    const double t0 = threadMilliseconds();
    for (int i = 0; i < runs; ++i) {
      f();
      benchmark::ClobberMemory();
    }
    best = std::min(best, (threadMilliseconds() - t0) / runs);
  }
  return best;
}

void BM_FrameFloor(benchmark::State& state) {
  Frame f(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), static_cast<float>(state.range(2)));
  for (auto _ : state) {
    f.floor();
    benchmark::DoNotOptimize(f.presented.data());
    benchmark::ClobberMemory();
  }
}

void BM_Frame(benchmark::State& state) {
  Frame f(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), static_cast<float>(state.range(2)));
  f.full();
  const double floorMs = bestMillisecondsPer([&] { f.floor(); }, 7, 10);
  const double frameMs = bestMillisecondsPer([&] { f.full(); }, 7, 10);
  for (auto _ : state) {
    f.full();
    benchmark::DoNotOptimize(f.presented.data());
    benchmark::ClobberMemory();
  }
  state.counters["flakes"] = f.world->flakeCount();
  state.counters["floor_ms"] = floorMs;
  state.counters["frame_ms"] = frameMs;
  state.counters["ratio"] = frameMs / floorMs;
}

BENCHMARK(BM_FrameFloor)->Args({1920, 1080, 1})->Args({3840, 2160, 2})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Frame)->Args({1920, 1080, 1})->Args({3840, 2160, 2})->Unit(benchmark::kMillisecond);

}  // namespace
