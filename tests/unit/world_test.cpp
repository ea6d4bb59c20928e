#include "world/world.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <vector>

#include "world_fixture.h"

namespace {

using kovra::Particle;
using kovra::PointerInput;
using kovra::SnowWorld;
using kovra::Vec2;
using kovra::WorldInput;
using worldtest::within;

constexpr float kStep = 1.0f / 32.0f;  // exact in binary, so carries add up exactly
const PointerInput kAway;

WorldInput inputFor(int level, float wind = 0.0f) {
  WorldInput in;
  in.level = level;
  in.wind = wind;
  return in;
}

void run(SnowWorld& w, const WorldInput& in, int steps, float dt = kStep) {
  for (int i = 0; i < steps; ++i) w.stepWorld(dt, in, kAway, 0.0);
}

// Star flakes are forced off unless a test turns them on.
class WorldStep : public ::testing::Test {
 protected:
  void SetUp() override { SnowWorld::setTestStarsForTesting(false); }
  void TearDown() override { SnowWorld::setTestStarsForTesting(false); }
};
class WorldSpawn : public WorldStep {};
class WorldParticles : public WorldStep {};

// ---------------------------------------------------------------- the step

TEST_F(WorldStep, StepIsClampedToFiftyMilliseconds) {
  SnowWorld w(1000, 1000, 1);
  const WorldInput in = inputFor(1);
  w.stepWorld(0.2f, in, kAway, 0.0);
  EXPECT_FLOAT_EQ(w.clock, 0.05f);
  w.stepWorld(0.02f, in, kAway, 0.0);
  EXPECT_FLOAT_EQ(w.clock, 0.07f);
}

TEST_F(WorldStep, StepOfZeroOrLessActsAsOneMillisecond) {
  const WorldInput in = inputFor(1);
  for (float dt : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN()}) {
    SnowWorld w(1000, 1000, 1);
    w.stepWorld(dt, in, kAway, 0.0);
    EXPECT_FLOAT_EQ(w.clock, 0.001f) << dt;
  }
}

TEST_F(WorldStep, SpawnRateFollowsLevelAndWidth) {
  // One second of steps: 3, 9 and 24 flakes per 1000 pt, twice that on a
  // world twice as wide.
  const int expected[] = {3, 9, 24};
  for (int level = 0; level <= 2; ++level) {
    SnowWorld w(1000, 1000, 5);
    run(w, inputFor(level), 32);
    EXPECT_EQ(w.flakeCount(), expected[level]) << "level " << level;

    SnowWorld wide(2000, 1000, 5);
    run(wide, inputFor(level), 32);
    EXPECT_EQ(wide.flakeCount(), 2 * expected[level]) << "level " << level;
  }
  SnowWorld thin(1000, 1000, 5);
  WorldInput in = inputFor(2);
  in.density = 0.5f;
  run(thin, in, 32);
  EXPECT_EQ(thin.flakeCount(), 12);
}

TEST_F(WorldStep, LimitDrainsTheCarrySoNoBurstFollows) {
  // 90 flakes a second against a limit of 320: five seconds owe 450.
  SnowWorld w(10000, 1000, 9);
  const WorldInput in = inputFor(1);
  run(w, in, 160);
  EXPECT_EQ(w.flakeCount(), 320);
  run(w, in, 32);
  EXPECT_EQ(w.flakeCount(), 320);

  // Everything leaves at once; the next step brings only the usual few.
  while (!w.particles.empty()) w.removeParticle(0);
  w.stepWorld(kStep, in, kAway, 0.0);
  EXPECT_TRUE(within(w.flakeCount(), 2, 3));
}

TEST_F(WorldStep, ClumpsAndPowderDoNotCountAgainstTheFlakeLimit) {
  SnowWorld w(10000, 100000, 9);
  const WorldInput in = inputFor(1);
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(w.spawnClump(Vec2{500.0f + i, 90000}, Vec2{0, 0}, 1.0f, false, 0));
  run(w, in, 160);
  EXPECT_EQ(w.clumpCount, 50);
  EXPECT_EQ(w.flakeCount(), 320 + 50);
}

TEST_F(WorldStep, SnowfallOffDropsTheCarry) {
  SnowWorld w(1000, 1000, 3);
  WorldInput on = inputFor(1);
  WorldInput off = on;
  off.snowfall = false;
  run(w, on, 3);  // 0.84 flakes owed
  EXPECT_EQ(w.flakeCount(), 0);
  w.stepWorld(kStep, off, kAway, 0.0);
  EXPECT_EQ(w.spawnCarry, 0.0f);
  run(w, on, 3);  // starts from zero again: still nothing
  EXPECT_EQ(w.flakeCount(), 0);
  run(w, on, 1);
  EXPECT_EQ(w.flakeCount(), 1);

  // Off for a long while makes nothing at all.
  run(w, off, 200);
  EXPECT_EQ(w.spawnCarry, 0.0f);
  EXPECT_LE(w.flakeCount(), 1);
}

TEST_F(WorldStep, LevelsOutsideTheTableMakeNoFlakes) {
  for (int level : {-1, 3, 4}) {
    SnowWorld w(4000, 1000, 3);
    const WorldInput in = inputFor(level, 0.7f);
    run(w, in, 200, 0.05f);
    EXPECT_EQ(w.flakeCount(), 0) << level;
    w.prefill(in);
    EXPECT_EQ(w.flakeCount(), 0) << level;
    EXPECT_EQ(w.windNow(in), 0.0f) << level;
  }
}

TEST_F(WorldStep, PauseFadesOutThenFreezes) {
  SnowWorld w(1000, 1000, 3);
  const WorldInput in = inputFor(2);
  w.spawnFlake(in, 500.0f);
  w.snowPaused = true;
  run(w, in, 7, 0.05f);  // 0.35 s of a 0.7 s fade
  EXPECT_NEAR(w.visibility, 0.5f, 1e-4f);
  EXPECT_EQ(w.flakeCount(), 1);          // no new flakes while paused
  EXPECT_LT(w.particles[0].y, 500.0f);   // but the snow still moves while visible
  run(w, in, 7, 0.05f);
  EXPECT_EQ(w.visibility, 0.0f);
  const float x = w.particles[0].x, y = w.particles[0].y;
  const float clockBefore = w.clock;
  run(w, in, 40, 0.05f);
  EXPECT_EQ(w.particles[0].x, x);
  EXPECT_EQ(w.particles[0].y, y);
  EXPECT_EQ(w.flakeCount(), 1);
  EXPECT_NEAR(w.clock, clockBefore + 2.0f, 1e-4f);

  // Resuming fades the snow back in over 0.9 s and snowfall starts again.
  w.snowPaused = false;
  run(w, in, 9, 0.05f);
  EXPECT_NEAR(w.visibility, 0.5f, 1e-4f);
  EXPECT_GT(w.flakeCount(), 1);
  run(w, in, 20, 0.05f);
  EXPECT_EQ(w.visibility, 1.0f);
}

TEST_F(WorldStep, ResetEmptiesTheSnowButKeepsClockAndDrifts) {
  SnowWorld w(1000, 1000, 3);
  const WorldInput in = inputFor(1);
  kovra::Drift& ground = w.insertDrift(kovra::makeDrift("ground", kovra::DriftKind::Ground, 0, 0, 1000));
  ground.heights[10] = 5.0f;
  ground.spillLeft = 0.4f;
  ground.dirty = false;
  run(w, in, 20);
  w.spawnClump(Vec2{100, 100}, Vec2{0, 0}, 1.0f, true, 0);
  w.pendingPowder.push_back({100, 100, 0, 0});
  w.milestones = 0x5;
  w.garlandLevel = 0.7f;
  const float clock = w.clock;
  ASSERT_GT(w.flakeCount(), 0);
  ASSERT_GT(w.spawnCarry, 0.0f);

  w.reset();
  EXPECT_EQ(w.flakeCount(), 0);
  EXPECT_TRUE(w.pendingPowder.empty());
  EXPECT_EQ(w.clumpCount, 0);
  EXPECT_EQ(w.powderCount, 0);
  EXPECT_EQ(w.spawnCarry, 0.0f);
  EXPECT_EQ(w.garlandLevel, 0.0f);
  EXPECT_EQ(w.clock, clock);
  EXPECT_EQ(w.milestones, 0x5u);
  EXPECT_EQ(w.driftCount(), 1);
  EXPECT_EQ(ground.heights[10], 0.0f);
  EXPECT_EQ(ground.spillLeft, 0.0f);
  EXPECT_TRUE(ground.dirty);
}

TEST_F(WorldStep, SameSeedSameSnow) {
  auto simulate = [](uint64_t seed) {
    SnowWorld w(1500, 900, seed);
    w.insertDrift(kovra::makeDrift("ground", kovra::DriftKind::Ground, 0, 0, 1500));
    const WorldInput in = inputFor(1, 0.3f);
    run(w, in, 900, 1.0f / 60.0f);
    std::vector<float> state;
    for (const Particle& p : w.particles) {
      state.push_back(p.x);
      state.push_back(p.y);
      state.push_back(p.age);
    }
    state.insert(state.end(), w.driftMap.at("ground").heights.begin(), w.driftMap.at("ground").heights.end());
    return state;
  };
  const std::vector<float> a = simulate(42);
  EXPECT_EQ(a, simulate(42));
  EXPECT_EQ(a, simulate(43));  // the seed is made odd first
  EXPECT_NE(a, simulate(44));
}

TEST_F(WorldStep, UsualStepsDoNotReallocateTheParticleList) {
  SnowWorld w(1920, 1080, 11);
  EXPECT_GE(w.particles.capacity(), 2048u);
  const Particle* data = w.particles.data();
  const WorldInput in = inputFor(2, 0.7f);
  run(w, in, 2400, 1.0f / 60.0f);
  EXPECT_GE(w.flakeCount(), 690);  // the limit is reached and held
  EXPECT_LE(w.flakeCount(), 700);
  EXPECT_EQ(w.particles.data(), data);
}

TEST_F(WorldStep, WindFollowsLevelAndSetting) {
  SnowWorld w(1000, 1000, 1);
  // At clock 0 both slow oscillations are at their rest value.
  EXPECT_FLOAT_EQ(w.windNow(inputFor(0, 0.06f)), 110.0f * 0.06f * 0.45f);
  EXPECT_FLOAT_EQ(w.windNow(inputFor(1, -1.0f)), -110.0f * 0.55f);
  EXPECT_FLOAT_EQ(w.windNow(inputFor(2, 0.7f)), 110.0f * 0.7f * 1.2f);
  // The blizzard gusts even without a set wind; the other levels are calm.
  run(w, inputFor(1), 128);
  EXPECT_EQ(w.windNow(inputFor(1)), 0.0f);
  EXPECT_NEAR(w.windNow(inputFor(2)), 16.0f * std::sin(0.4f * w.clock), 1e-3f);
  EXPECT_GT(std::fabs(w.windNow(inputFor(2))), 5.0f);
  // Gusts vary the set wind by at most 22 %, and do vary it.
  float lo = 1e9f, hi = -1e9f;
  for (int i = 0; i < 20000; ++i) {
    w.clock = 0.05f * static_cast<float>(i);
    const float v = w.windNow(inputFor(1, 1.0f));
    ASSERT_TRUE(within(v, 60.5f * 0.78f - 1e-3f, 60.5f * 1.22f + 1e-3f));
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  EXPECT_GT(hi - lo, 60.5f * 0.3f);
}

// ---------------------------------------------------------------- spawning

std::vector<Particle> spawnMany(SnowWorld& w, const WorldInput& in, int n) {
  std::vector<Particle> out;
  out.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    w.spawnFlake(in);
    out.push_back(w.particles.back());
    w.removeParticle(w.particles.size() - 1);
  }
  return out;
}

TEST_F(WorldSpawn, WithoutWindFlakesStartExactlyOverTheWidth) {
  for (int level : {0, 1, 2}) {
    SnowWorld w(1280, 720, 21);
    const WorldInput in = inputFor(level, 0.0f);
    ASSERT_EQ(w.windNow(in), 0.0f);
    float lo = 1e9f, hi = -1e9f;
    for (const Particle& p : spawnMany(w, in, 3000)) {
      ASSERT_TRUE(within(p.x, 0.0f, 1280.0f)) << "level " << level;
      lo = std::min(lo, p.x);
      hi = std::max(hi, p.x);
    }
    EXPECT_LT(lo, 10.0f) << "level " << level;
    EXPECT_GT(hi, 1270.0f) << "level " << level;
  }
}

TEST_F(WorldSpawn, WindMovesTheRangeUpwind) {
  const float width = 1280, height = 1000;
  for (float wind : {0.5f, -0.5f}) {
    SnowWorld w(width, height, 22);
    const WorldInput in = inputFor(2, wind);
    const float v = std::fabs(w.windNow(in));
    ASSERT_FLOAT_EQ(v, 110.0f * 0.5f * 1.2f);
    int upwind = 0;
    for (const Particle& p : spawnMany(w, in, 3000)) {
      // How far the wind carries a flake of this depth during its fall.
      const float fallTime = height / std::max(10.0f, (0.75f * p.depth + 0.45f) * 70.0f);
      const float reach = std::min(900.0f, fallTime * v * 0.9f);
      if (wind > 0) {
        ASSERT_LE(p.x, width);
        ASSERT_GE(p.x, -reach - 1e-3f);
        upwind += p.x < -300.0f;
      } else {
        ASSERT_TRUE(within(p.x, 0.0f, width + reach + 1e-3f));
        upwind += p.x > width + 300.0f;
      }
    }
    EXPECT_GT(upwind, 300) << wind;
  }
}

TEST_F(WorldSpawn, PlainFlakesFollowTheGoldenRatioSpread) {
  SnowWorld w(1000, 1000, 23);
  const WorldInput in = inputFor(2, 0.0f);
  double phase = 0;
  for (const Particle& p : spawnMany(w, in, 200)) {
    phase = std::fmod(phase + 0.618034, 1.0);
    const double a = p.x / 1000.0;
    double d = std::fabs(a - phase);
    d = std::min(d, 1.0 - d);  // the jitter may wrap around the edge
    ASSERT_LE(d, 0.0251);
  }
}

TEST_F(WorldSpawn, TumblingFlakesTakeEachOfTenBandsInTurn) {
  SnowWorld w(1000, 1000, 24);
  const WorldInput in = inputFor(1, 0.0f);
  const std::vector<Particle> flakes = spawnMany(w, in, 50);
  for (size_t round = 0; round < 5; ++round) {
    std::set<int> bands;
    for (size_t i = 0; i < 10; ++i) bands.insert(std::min(9, static_cast<int>(flakes[round * 10 + i].x / 100.0f)));
    EXPECT_EQ(bands.size(), 10u) << "round " << round;
  }
  EXPECT_EQ(w.spreadPhase, 0.0f);  // the bands replace the golden-ratio spread
}

TEST_F(WorldSpawn, StartHeightAboveTheTopOrAsGiven) {
  SnowWorld w(1000, 700, 25);
  for (const Particle& p : spawnMany(w, inputFor(2), 500)) {
    ASSERT_TRUE(within(p.y, 704.0f, 730.0f));
    ASSERT_EQ(p.age, -1.0f);
  }
  int heroes = 0;
  for (const Particle& p : spawnMany(w, inputFor(0), 2000)) {
    if (p.hero) {
      ++heroes;
      ASSERT_FLOAT_EQ(p.y, 700.0f + p.size);  // a hero enters just out of sight
    } else {
      ASSERT_TRUE(within(p.y, 704.0f, 730.0f));
    }
  }
  EXPECT_GT(heroes, 0);
  for (int i = 0; i < 300; ++i) {
    w.spawnFlake(inputFor(0), 123.0f);
    ASSERT_EQ(w.particles.back().y, 123.0f);
  }
}

TEST_F(WorldSpawn, DepthDecidesWhereAFlakeMaySettle) {
  SnowWorld w(1000, 1000, 26);
  for (int level : {1, 2}) {
    for (const Particle& p : spawnMany(w, inputFor(level), 2000)) {
      if (p.hero) continue;
      ASSERT_EQ(p.canLand, p.depth > 0.32f);
      ASSERT_EQ(p.anyDrift, p.depth <= 0.6f);
      ASSERT_FLOAT_EQ(p.windowDeposit, 2.7f);
    }
  }
}

TEST_F(WorldSpawn, FlakeKindsByLevel) {
  const int n = 4000;
  for (int level : {0, 1}) {
    SnowWorld w(1000, 1000, 27);
    const kovra::SnowfallProfile prof = kovra::snowfallProfile(level, 1.0f);
    int heroes = 0, crystals = 0;
    for (const Particle& p : spawnMany(w, inputFor(level), n)) {
      ASSERT_TRUE(p.tumbling);
      if (p.hero) {
        ++heroes;
        ASSERT_FALSE(p.canLand);
        ASSERT_EQ(p.snow, 0.0f);
        ASSERT_EQ(p.depth, 1.0f);
        ASSERT_TRUE(within(p.size, 15.0f, 21.0f));
        ASSERT_TRUE(within(p.alpha, 0.42f, 0.55f + 1e-6f));
        ASSERT_TRUE(within(p.tumbleSpeed, 1.55f * prof.fallSpeed - 1e-3f, 1.85f * prof.fallSpeed + 1e-3f));
      } else {
        ASSERT_FLOAT_EQ(p.snow, (0.22f * p.size + 0.55f) * prof.snowFactor);
        ASSERT_GE(p.tumbleSpeed, (0.62f + 0.55f * p.depth) * prof.fallSpeed * 0.85f - 1e-3f);
        ASSERT_LE(p.tumbleSpeed, (0.62f + 0.55f * p.depth) * prof.fallSpeed * 1.15f + 1e-3f);
      }
      if (p.shape >= 0) {
        ++crystals;
        ASSERT_FALSE(p.hero);
        ASSERT_GT(p.depth, 0.72f);
        ASSERT_LE(p.shape, 2);
        ASSERT_TRUE(within(p.size, 15.0f, 22.0f));
        ASSERT_TRUE(within(std::fabs(p.spin), 0.15f, 0.45f + 1e-6f));
      }
    }
    const double heroShare = static_cast<double>(heroes) / n;
    EXPECT_NEAR(heroShare, prof.heroChance, 0.015) << "level " << level;
    // Crystals: the deepest 28 % of the non-hero flakes, at the level's chance.
    const double crystalShare = static_cast<double>(crystals) / n;
    EXPECT_NEAR(crystalShare, (1 - prof.heroChance) * 0.28 * prof.crystalChance, 0.02) << "level " << level;
  }

  SnowWorld w(1000, 1000, 28);
  int crystals = 0;
  for (const Particle& p : spawnMany(w, inputFor(2), n)) {
    ASSERT_FALSE(p.tumbling);
    ASSERT_FALSE(p.hero);
    ASSERT_FLOAT_EQ(p.snow, 0.22f * (4.4f + 3.4f * p.depth) + 0.55f);
    if (p.shape >= 0) {
      ++crystals;
      ASSERT_GT(p.depth, 0.8f);
      ASSERT_TRUE(within(p.size, 13.0f, 19.0f));
    } else {
      ASSERT_FLOAT_EQ(p.size, 4.4f + 3.4f * p.depth);
    }
  }
  EXPECT_NEAR(static_cast<double>(crystals) / n, 0.2 * 0.25, 0.015);

  SnowWorld quiet(1000, 1000, 29);
  for (const Particle& p : spawnMany(quiet, inputFor(3), 1000)) {
    ASSERT_FALSE(p.tumbling);
    ASSERT_FALSE(p.hero);
    ASSERT_EQ(p.shape, -1);
  }
}

TEST_F(WorldSpawn, StarFlakesNeedTheTestFlagAndTheSetting) {
  WorldInput stars = inputFor(1);
  stars.stars = true;
  WorldInput noStars = stars;
  noStars.stars = false;

  SnowWorld w(1000, 1000, 30);
  SnowWorld::setTestStarsForTesting(false);
  for (const Particle& p : spawnMany(w, stars, 600)) ASSERT_FALSE(p.star);
  SnowWorld::setTestStarsForTesting(true);
  for (const Particle& p : spawnMany(w, noStars, 600)) ASSERT_FALSE(p.star);

  int count = 0, alt = 0;
  for (const Particle& p : spawnMany(w, stars, 3000)) {
    if (!p.star) continue;
    ++count;
    alt += p.starAlt;
    ASSERT_FALSE(p.tumbling);
    ASSERT_FALSE(p.hero);
    ASSERT_EQ(p.shape, -1);
    ASSERT_TRUE(p.canLand);
    ASSERT_EQ(p.snow, 0.0f);
    ASSERT_EQ(p.baseAlpha, 1.0f);
    ASSERT_TRUE(within(p.size, 10.0f, 14.0f));
    ASSERT_GE(p.depth, 0.55f);
    ASSERT_TRUE(within(p.swayRate, 0.4f, 0.9f));
    ASSERT_LE(p.angle, 1.2f);
  }
  EXPECT_NEAR(count / 3000.0, 1.0 / 6.0, 0.03);
  EXPECT_NEAR(static_cast<double>(alt) / count, 0.6, 0.1);
}

TEST_F(WorldSpawn, PrefillFillsTheScreenAtOnce) {
  {
    SnowWorld w(1920, 1080, 31);
    const WorldInput in = inputFor(2);
    w.prefill(in);
    // 24 × 1.92 flakes/s over a 1080/70 s fall, times 0.65.
    EXPECT_EQ(w.flakeCount(), 462);
    for (const Particle& p : w.particles) {
      ASSERT_TRUE(within(p.y, 0.0f, 1080.0f));
    }
  }
  {
    SnowWorld w(10000, 2000, 32);
    w.prefill(inputFor(0));  // 780 wanted, capped by the limit
    EXPECT_EQ(w.flakeCount(), 120);
  }
  {
    SnowWorld w(1000, 1000, 33);
    WorldInput off = inputFor(1);
    off.snowfall = false;
    w.prefill(off);
    EXPECT_EQ(w.flakeCount(), 0);
  }
}

// ---------------------------------------------------------------- particles

TEST_F(WorldParticles, RemovalSwapsInTheLastAndKeepsCounters) {
  SnowWorld w(1000, 1000, 40);
  WorldInput in = inputFor(2);
  in.snowfall = false;
  w.pendingPowder.push_back({300, 500, 0, 0});
  w.pendingPowder.push_back({310, 500, 0, 0});
  w.stepWorld(kStep, in, kAway, 0.0);
  ASSERT_EQ(w.powderCount, 2);
  w.spawnFlake(in, 600.0f);
  w.spawnFlake(in, 600.0f);
  ASSERT_TRUE(w.spawnClump(Vec2{100, 700}, Vec2{0, 0}, 1, true, 0));
  ASSERT_TRUE(w.spawnClump(Vec2{101, 700}, Vec2{0, 0}, 1, true, 0));
  ASSERT_EQ(w.flakeCount(), 6);
  ASSERT_EQ(w.clumpCount, 2);

  // Slot 4 holds the first clump; the last record (the second clump) moves there.
  ASSERT_TRUE(w.particles[4].clump);
  w.removeParticle(4);
  EXPECT_EQ(w.flakeCount(), 5);
  EXPECT_EQ(w.clumpCount, 1);
  EXPECT_TRUE(w.particles[4].clump);
  EXPECT_EQ(w.particles[4].x, 101.0f);

  // A powder flake: the powder count drops, the clump count stays.
  ASSERT_TRUE(w.particles[0].powder);
  w.removeParticle(0);
  EXPECT_EQ(w.powderCount, 1);
  EXPECT_EQ(w.clumpCount, 1);
  EXPECT_TRUE(w.particles[0].clump);

  w.removeParticle(99);  // out of range: nothing
  EXPECT_EQ(w.flakeCount(), 4);
  while (!w.particles.empty()) w.removeParticle(w.particles.size() - 1);
  EXPECT_EQ(w.powderCount, 0);
  EXPECT_EQ(w.clumpCount, 0);
}

TEST_F(WorldParticles, PowderBecomesFlakesFromTheSecondStream) {
  SnowWorld w(1000, 1000, 41);
  WorldInput in = inputFor(1);  // a level with heroes: those are dropped
  in.snowfall = false;
  for (int i = 0; i < 150; ++i) w.pendingPowder.push_back({200.0f + i, 400, 30, 10});
  w.nextBirds = 1e9f;  // already scheduled: the birds' first schedule would draw from the main stream
  const uint64_t mainStream = w.random.state;
  const uint64_t powderStream = w.random2.state;
  w.stepWorld(kStep, in, kAway, 0.0);

  EXPECT_TRUE(w.pendingPowder.empty());
  EXPECT_EQ(w.random.state, mainStream);
  EXPECT_NE(w.random2.state, powderStream);
  EXPECT_EQ(w.powderCount, w.flakeCount());
  EXPECT_LT(w.powderCount, 150);  // the heroes among them were dropped
  EXPECT_GT(w.powderCount, 120);
  const float decay = std::pow(0.15f, kStep);
  for (const Particle& p : w.particles) {
    ASSERT_TRUE(p.powder);
    ASSERT_FALSE(p.hero);
    ASSERT_FLOAT_EQ(p.noLandTime, 0.25f - kStep);
    ASSERT_FLOAT_EQ(p.vx, 30.0f * decay);
    ASSERT_FLOAT_EQ(p.vy, 10.0f * decay);
    ASSERT_LT(p.y, 400.0f);
    ASSERT_GT(p.y, 390.0f);
  }
}

TEST_F(WorldParticles, ClumpsAreCappedAtSixHundred) {
  SnowWorld w(1000, 1000, 42);
  for (int i = 0; i < 600; ++i) ASSERT_TRUE(w.spawnClump(Vec2{10, 10}, Vec2{0, 0}, 1.0f, true, 0));
  EXPECT_FALSE(w.spawnClump(Vec2{10, 10}, Vec2{0, 0}, 1.0f, true, 0));
  EXPECT_EQ(w.clumpCount, 600);
  EXPECT_EQ(w.flakeCount(), 600);
  EXPECT_TRUE(w.needsInput());
  EXPECT_TRUE(w.busy());
  w.removeParticle(0);
  EXPECT_TRUE(w.spawnClump(Vec2{10, 10}, Vec2{0, 0}, 1.0f, true, 0));
}

TEST_F(WorldParticles, ClumpRecordAndFlight) {
  SnowWorld w(1000, 1000, 43);
  ASSERT_TRUE(w.spawnClump(Vec2{500, 100}, Vec2{0, 500}, 1.0f, true, 0.3f));
  const Particle& c = w.particles.back();
  EXPECT_TRUE(c.clump);
  EXPECT_FLOAT_EQ(c.size, 3.8f);
  EXPECT_EQ(c.depth, 0.5f);
  EXPECT_TRUE(c.anyDrift);
  EXPECT_EQ(c.windowDeposit, 1.0f);
  EXPECT_EQ(c.age, -1.0f);
  EXPECT_FLOAT_EQ(c.noLandTime, 0.3f);
  w.spawnClump(Vec2{0, 0}, Vec2{0, 0}, 500.0f, false, 0);
  EXPECT_FLOAT_EQ(w.particles.back().size, 7.0f);
  w.removeParticle(1);

  // Thrown straight up at 500 pt/s it rises about 500² / (2 × 820) ≈ 152 pt.
  WorldInput calm = inputFor(1, 0.0f);
  calm.snowfall = false;
  float top = 0;
  int steps = 0;
  while (w.clumpCount > 0 && steps < 1000) {
    w.stepWorld(1.0f / 60.0f, calm, kAway, 0.0);
    if (!w.particles.empty()) top = std::max(top, w.particles[0].y);
    ++steps;
  }
  EXPECT_NEAR(top, 100.0f + 152.4f, 6.0f);
  EXPECT_EQ(w.clumpCount, 0);  // fell out at the bottom
  EXPECT_LT(steps, 1000);
}

TEST_F(WorldParticles, ClumpDriftsWithTheWind) {
  SnowWorld w(1000, 100000, 44);
  ASSERT_TRUE(w.spawnClump(Vec2{500, 99000}, Vec2{0, 0}, 1.0f, false, 0));
  const WorldInput windy = inputFor(1, 1.0f);
  run(w, windy, 600, 1.0f / 60.0f);  // 10 s
  ASSERT_EQ(w.clumpCount, 1);
  EXPECT_NEAR(w.particles[0].vx, 0.4f * w.windNow(windy), 0.1f * std::fabs(w.windNow(windy)));

  // Far above the top edge a clump is gone.
  ASSERT_TRUE(w.spawnClump(Vec2{500, 100000 + 395}, Vec2{0, 600}, 1.0f, false, 0));
  w.stepWorld(1.0f / 60.0f, windy, kAway, 0.0);
  EXPECT_EQ(w.clumpCount, 1);
}

TEST_F(WorldParticles, PushDecaysByFifteenPercentPerSecond) {
  SnowWorld w(1000, 10000, 45);
  WorldInput in = inputFor(2);
  in.snowfall = false;
  w.spawnFlake(in, 5000.0f);
  w.particles[0].vx = 100.0f;
  w.particles[0].vy = -40.0f;
  run(w, in, 32);
  EXPECT_NEAR(w.particles[0].vx, 15.0f, 0.01f);
  EXPECT_NEAR(w.particles[0].vy, -6.0f, 0.01f);
}

TEST_F(WorldParticles, FallSpeedDependsOnDepth) {
  SnowWorld w(1000, 10000, 46);
  WorldInput in = inputFor(2, 0.0f);
  in.snowfall = false;
  for (float depth : {0.0f, 0.5f, 1.0f}) {
    w.spawnFlake(in, 5000.0f);
    w.particles.back().depth = depth;
  }
  run(w, in, 64);  // two seconds; push-free flakes fall at (0.75 g + 0.45) × 70 pt/s
  for (const Particle& p : w.particles) {
    EXPECT_NEAR(5000.0f - p.y, 2.0f * (0.75f * p.depth + 0.45f) * 70.0f, 0.1f) << p.depth;
  }
}

TEST_F(WorldParticles, FlakesLeaveBelowTheBottomOrFarBeyondTheSides) {
  SnowWorld w(1000, 1000, 47);
  WorldInput in = inputFor(2, 0.0f);
  in.snowfall = false;
  w.spawnFlake(in, -11.9f);
  w.spawnFlake(in, 500.0f);
  w.particles.back().x = 1000.0f + 1001.0f;
  w.spawnFlake(in, 500.0f);
  w.particles.back().x = -1001.0f;
  w.spawnFlake(in, 500.0f);
  w.particles.back().x = 1990.0f;  // far out, but not yet beyond the margin
  w.stepWorld(kStep, in, kAway, 0.0);
  ASSERT_EQ(w.flakeCount(), 1);
  EXPECT_NEAR(w.particles[0].x, 1990.0f, 1.0f);

  // Without drifts every flake falls out at the bottom.
  run(w, inputFor(2), 300, 0.05f);
  WorldInput off = inputFor(2);
  off.snowfall = false;
  run(w, off, 1200, 0.05f);
  EXPECT_EQ(w.flakeCount(), 0);
}

}  // namespace
