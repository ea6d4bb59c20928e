// The sky's share of a frame on a 1920 x 1080 monitor: the step and the CPU
// drawing of the garland, of a fireworks show at its fullest, and of Santa's
// team mid-flight.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "render/png_read.h"
#include "render/soft_painter.h"
#include "render/sprites.h"
#include "world/actor_drawing.h"
#include "world/world.h"

namespace {

constexpr float kStep = 1.0f / 60.0f;
constexpr int kW = 1920, kH = 1080;

kovra::WorldInput quiet() {
  kovra::WorldInput in;
  in.snowfall = false;
  in.santa = in.birds = in.stars = false;
  return in;
}

struct Sky {
  std::unique_ptr<kovra::SnowWorld> world = std::make_unique<kovra::SnowWorld>(float(kW), float(kH), 0xF1AE);
  std::vector<uint32_t> pixels = std::vector<uint32_t>(size_t(kW) * kH);
  kovra::SoftPainter painter{pixels.data(), kW, kH, kW, 1.0f, float(kH), kovra::spriteSetStorage()};

  Sky() {
    // The team's own pictures, so drawing Santa costs what it does on screen.
    const auto dir = std::filesystem::path(__FILE__).parent_path().parent_path() / "assets" / "sprites";
    const char* files[] = {"403-santa-sleigh.png", "404-reindeer-stretch.png", "405-reindeer-gather.png"};
    for (int i = 0; i < 3; ++i) {
      if (auto pic = kovra::pngReadFile((dir / files[i]).string()))
        kovra::spritesInstallPicture(kovra::kSpriteSleigh + i, pic->width, pic->height,
                                     reinterpret_cast<const uint8_t*>(pic->pixels.data()));
    }
    kovra::spritesCompleteDrawn();
    world->primary = true;
  }
  void run(float seconds, const kovra::WorldInput& in) {
    for (int i = 0; i < int(seconds / kStep); ++i) world->stepWorld(kStep, in, {}, 0.0);
  }
};

void BM_GarlandDraw(benchmark::State& state) {
  Sky sky;
  sky.world->garlandLevel = 1.0f;
  for (auto _ : state) {
    sky.world->clock += kStep;
    kovra::drawGarland(*sky.world, sky.painter);
    benchmark::DoNotOptimize(sky.pixels.data());
  }
}
BENCHMARK(BM_GarlandDraw)->Unit(benchmark::kMicrosecond);

// Eight seconds into a show, when the most sparks are alive.
void BM_FireworksStep(benchmark::State& state) {
  Sky sky;
  sky.world->startFireworks(1e9f);
  sky.run(8.0f, quiet());
  for (auto _ : state) sky.world->stepWorld(kStep, quiet(), {}, 0.0);
  state.counters["sparks"] = double(sky.world->sparks.size());
}
BENCHMARK(BM_FireworksStep)->Unit(benchmark::kMicrosecond);

void BM_FireworksDraw(benchmark::State& state) {
  Sky sky;
  sky.world->startFireworks(1e9f);
  sky.run(8.0f, quiet());
  for (auto _ : state) {
    kovra::drawSparks(*sky.world, sky.painter);
    benchmark::DoNotOptimize(sky.pixels.data());
  }
  state.counters["sparks"] = double(sky.world->sparks.size());
}
BENCHMARK(BM_FireworksDraw)->Unit(benchmark::kMicrosecond);

void BM_SantaDraw(benchmark::State& state) {
  Sky sky;
  sky.world->callSanta();
  sky.run(5.0f, quiet());
  for (auto _ : state) {
    kovra::drawSanta(*sky.world, sky.painter);
    kovra::drawSparks(*sky.world, sky.painter);
    benchmark::DoNotOptimize(sky.pixels.data());
  }
}
BENCHMARK(BM_SantaDraw)->Unit(benchmark::kMicrosecond);

}  // namespace
