#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "world/drift.h"
#include "world/world.h"
#include "world_fixture.h"

namespace {

using kovra::addSnow;
using kovra::Drift;
using kovra::DriftKind;
using kovra::findLanding;
using kovra::Landing;
using kovra::makeDrift;
using kovra::Particle;
using kovra::PointerInput;
using kovra::SnowWorld;
using kovra::WorldInput;
using kovra::WorldRandom;
using worldtest::total;

constexpr float kStep = 1.0f / 32.0f;
const PointerInput kAway;

Drift windowDrift(const std::string& key, float x, float y, float width, int zRank) {
  Drift d = makeDrift(key, DriftKind::Window, x, y, width);
  d.zRank = zRank;
  d.sceneIndex = zRank;
  return d;
}

// ---------------------------------------------------------------- the record

TEST(WorldDrift, FreshDriftHasFullRoomAndNoSnow) {
  const Drift d = makeDrift("w42", DriftKind::Window, 108, 400, 30);
  EXPECT_EQ(d.key, "w42");
  EXPECT_EQ(d.columns, 15);
  EXPECT_EQ(d.cap, 24.0f);
  ASSERT_EQ(d.heights.size(), 15u);
  ASSERT_EQ(d.limits.size(), 15u);
  for (int c = 0; c < 15; ++c) {
    EXPECT_EQ(d.heights[c], 0.0f);
    EXPECT_EQ(d.limits[c], 24.0f);
  }
  EXPECT_EQ(d.lastRebuild, -1.0);
  EXPECT_EQ(d.zRank, -1);
  EXPECT_EQ(makeDrift("w1", DriftKind::Window, 0, 0, 29).columns, 14);
  EXPECT_EQ(makeDrift("bar", DriftKind::Taskbar, 0, 40, 1920).cap, 22.0f);
  EXPECT_EQ(makeDrift("ground", DriftKind::Ground, 0, 0, 1920).cap, 30.0f);
  EXPECT_EQ(makeDrift("ground", DriftKind::Ground, 0, 0, 1920).columns, 960);
  EXPECT_EQ(makeDrift("tiny", DriftKind::Ground, 0, 0, 0.5f).columns, 1);
}

TEST(WorldDrift, SnowGoesHalfToTheColumnAndAQuarterToEachNeighbour) {
  Drift d = makeDrift("w1", DriftKind::Window, 0, 100, 20);  // 10 columns
  d.dirty = false;
  d.quietPasses = 12;
  addSnow(d, 5, 4.0f);
  const std::vector<float> expected = {0, 0, 0, 0, 1, 2, 1, 0, 0, 0};
  EXPECT_EQ(d.heights, expected);
  EXPECT_TRUE(d.dirty);
  EXPECT_EQ(d.quietPasses, 0);

  // At the ends there is only one neighbour; outside the drift nothing happens.
  addSnow(d, 0, 4.0f);
  EXPECT_EQ(d.heights[0], 2.0f);
  EXPECT_EQ(d.heights[1], 1.0f);
  addSnow(d, 9, 2.0f);
  EXPECT_EQ(d.heights[9], 1.0f);
  EXPECT_EQ(d.heights[8], 0.5f);
  const std::vector<float> before = d.heights;
  addSnow(d, -1, 10.0f);
  addSnow(d, 10, 10.0f);
  EXPECT_EQ(d.heights, before);
}

TEST(WorldDrift, SnowNeverRisesAboveCapOrRoom) {
  Drift d = makeDrift("bar", DriftKind::Taskbar, 0, 40, 20);
  d.limits[5] = 3.0f;   // a window hangs 3 pt above the ledge here
  d.limits[6] = 0.4f;   // hidden column: takes nothing
  for (int i = 0; i < 200; ++i) addSnow(d, 5, 2.0f);
  EXPECT_EQ(d.heights[5], 3.0f);
  EXPECT_EQ(d.heights[6], 0.0f);
  EXPECT_EQ(d.heights[4], 22.0f);  // the taskbar's cap
  for (int i = 0; i < 200; ++i) addSnow(d, 2, 2.0f);
  for (float h : d.heights) EXPECT_LE(h, 22.0f);
}

// ---------------------------------------------------------------- landing search

class WorldLanding : public ::testing::Test {
 protected:
  void SetUp() override {
    SnowWorld::setTestStarsForTesting(false);
    window = windowDrift("w1", 100, 300, 200, 0);  // columns over x 100..300
    bar = makeDrift("bar", DriftKind::Taskbar, 0, 40, 1000);
    bar.sceneIndex = 5;
    ground = makeDrift("ground", DriftKind::Ground, 0, 0, 1000);
    ground.sceneIndex = 6;
    list = {&window, &bar, &ground};
  }
  std::optional<Landing> land(float x, float yFrom, float yTo, bool anyDrift = true) {
    return findLanding(list, x, yFrom, yTo, anyDrift, random);
  }
  // The drift the search settles on, or none.
  const Drift* landsOn(float x, float yFrom, float yTo, bool anyDrift = true) {
    const std::optional<Landing> hit = land(x, yFrom, yTo, anyDrift);
    return hit ? hit->drift : nullptr;
  }
  Drift window, bar, ground;
  std::vector<Drift*> list;
  WorldRandom random{7};
};

TEST_F(WorldLanding, HighestSurfaceCrossedWins) {
  // Falling past all three ledges at once, the window's is met first.
  std::optional<Landing> hit = land(150, 400, -10);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->drift, &window);
  EXPECT_EQ(hit->column, 25);
  EXPECT_EQ(hit->surface, 300.0f);

  // Snow on a column raises its surface.
  bar.heights[75] = 5.0f;
  hit = land(150, 200, -10);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->drift, &bar);
  EXPECT_EQ(hit->surface, 45.0f);

  // Surfaces outside [yTo, yFrom] do not count.
  EXPECT_FALSE(land(150, 400, 350));
  EXPECT_EQ(landsOn(150, 299, 0), &bar);  // starts just under the window's ledge
}

TEST_F(WorldLanding, NearFlakesSkipWindowDrifts) {
  std::optional<Landing> hit = land(150, 400, -10, false);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->drift, &bar);
  EXPECT_EQ(hit->surface, 40.0f);
}

TEST_F(WorldLanding, SpanAndRoomDecide) {
  EXPECT_EQ(landsOn(99.9f, 400, -10), &bar);   // just left of the window's drift
  EXPECT_EQ(landsOn(300.0f, 400, -10), &bar);  // its right end is not part of it
  std::optional<Landing> hit = land(299.9f, 400, -10);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->drift, &window);
  EXPECT_EQ(hit->column, 99);

  // A column with less than 1 pt of room is passed by.
  window.limits[25] = 0.9f;
  EXPECT_EQ(landsOn(150, 400, -10), &bar);
  // A column with little room shows at most that much snow.
  window.limits[25] = 4.0f;
  window.heights[25] = 10.0f;
  hit = land(150, 400, -10);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->drift, &window);
  EXPECT_EQ(hit->surface, 304.0f);

  EXPECT_FALSE(land(1500, 400, -10));
}

TEST_F(WorldLanding, EqualSurfacesGoToTheEarlierDrift) {
  Drift second = makeDrift("ground2", DriftKind::Ground, 0, 40, 1000);
  list = {&bar, &second};
  EXPECT_EQ(landsOn(500, 100, 0), &bar);
  list = {&second, &bar};
  EXPECT_EQ(landsOn(500, 100, 0), &second);
}

TEST_F(WorldLanding, LowerFrontWindowMostlyLetsSnowPass) {
  // The back window's ledge lies above the front window's; under x both have room.
  Drift back = windowDrift("w2", 100, 500, 200, 1);
  Drift front = windowDrift("w1", 50, 300, 300, 0);
  list = {&front, &back, &ground};
  int refused = 0;
  const int tries = 2000;
  for (int i = 0; i < tries; ++i) {
    std::optional<Landing> hit = land(150, 505, 495);
    if (!hit) {
      ++refused;
    } else {
      ASSERT_EQ(hit->drift, &back);
    }
  }
  EXPECT_NEAR(refused, 0.7 * tries, 100);

  // No room in front under x: the back ledge takes it every time.
  front.limits[50] = 0.0f;
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(land(150, 505, 495));
  front.limits[50] = front.cap;

  // A front window higher than the back ledge does not interfere.
  front.y = 600;
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(land(150, 505, 495));
  front.y = 300;

  // The front-most window itself is never refused.
  back.zRank = 0;
  front.zRank = 1;
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(land(150, 505, 495));
}

// ---------------------------------------------------------------- the world's drifts

TEST_F(WorldLanding, WorldKeepsDriftsSortedByKindThenScene) {
  SnowWorld w(1000, 1000, 1);
  Drift g = makeDrift("ground", DriftKind::Ground, 0, 0, 1000);
  g.sceneIndex = 3;
  Drift b = makeDrift("bar", DriftKind::Taskbar, 0, 40, 1000);
  b.sceneIndex = 2;
  w.insertDrift(g);
  w.insertDrift(b);
  w.insertDrift(windowDrift("w9", 0, 500, 100, 1));
  Drift& first = w.insertDrift(windowDrift("w5", 0, 600, 100, 0));
  ASSERT_EQ(w.driftCount(), 4);
  EXPECT_EQ(w.drifts[0]->key, "w5");
  EXPECT_EQ(w.drifts[1]->key, "w9");
  EXPECT_EQ(w.drifts[2]->key, "bar");
  EXPECT_EQ(w.drifts[3]->key, "ground");

  // The same key again replaces the drift in place.
  Drift& again = w.insertDrift(windowDrift("w5", 10, 620, 100, 0));
  EXPECT_EQ(&again, &first);
  EXPECT_EQ(w.driftCount(), 4);
  EXPECT_EQ(w.drifts[0]->y, 620.0f);

  EXPECT_TRUE(w.eraseDrift("w9"));
  EXPECT_FALSE(w.eraseDrift("w9"));
  EXPECT_EQ(w.driftCount(), 3);
  EXPECT_EQ(w.findDrift("w9"), nullptr);
  EXPECT_EQ(w.findDrift("bar"), w.drifts[1]);
}

// A flake at (x, y) with fixed depth 0.5: it may land on every drift.
Particle& dropFlake(SnowWorld& w, const WorldInput& in, float x, float y) {
  w.spawnFlake(in, y);
  Particle& p = w.particles.back();
  p.x = x;
  p.depth = 0.5f;
  p.canLand = true;
  p.anyDrift = true;
  p.noLandTime = 0;
  return p;
}

// Steps until the one flake of the world lands or leaves.
int stepUntilLanded(SnowWorld& w, const WorldInput& in, int limit = 2000) {
  for (int i = 0; i < limit; ++i) {
    w.stepWorld(kStep, in, kAway, 0.0);
    if (w.particles.empty() || w.particles[0].age >= 0) return i + 1;
  }
  return limit;
}

WorldInput quiet() {
  WorldInput in;
  in.level = 2;
  in.wind = 0;
  in.snowfall = false;
  return in;
}

TEST_F(WorldLanding, FlakeSettlesOnAWindowAndAddsItsSnow) {
  SnowWorld w(1000, 1000, 3);
  const WorldInput in = quiet();
  Drift& win = w.insertDrift(windowDrift("w1", 0, 500, 1000, 0));
  w.insertDrift(makeDrift("ground", DriftKind::Ground, 0, 0, 1000));
  dropFlake(w, in, 500, 505);
  stepUntilLanded(w, in);
  ASSERT_EQ(w.flakeCount(), 1);
  const Particle& p = w.particles[0];
  ASSERT_EQ(p.age, 0.0f);
  EXPECT_EQ(p.driftKey, "w1");
  EXPECT_EQ(p.drift, &win);
  EXPECT_EQ(p.y, 500.0f);
  EXPECT_EQ(p.offset.y, 0.0f);
  EXPECT_FLOAT_EQ(p.offset.x, p.x - win.x);

  // A window drift takes 2.7 times the flake's snow.
  const int c = static_cast<int>(p.offset.x / 2);
  const float amount = p.snow * 2.7f;
  EXPECT_FLOAT_EQ(win.heights[c], 0.5f * amount);
  EXPECT_FLOAT_EQ(win.heights[c - 1], 0.25f * amount);
  EXPECT_FLOAT_EQ(win.heights[c + 1], 0.25f * amount);
  EXPECT_TRUE(win.dirty);
}

TEST_F(WorldLanding, NearFlakeFallsPastWindowsOntoTheGround) {
  SnowWorld w(1000, 1000, 4);
  const WorldInput in = quiet();
  Drift& win = w.insertDrift(windowDrift("w1", 0, 500, 1000, 0));
  Drift& floor = w.insertDrift(makeDrift("ground", DriftKind::Ground, 0, 0, 1000));
  Particle& p = dropFlake(w, in, 500, 505);
  p.anyDrift = false;
  const float snow = p.snow;
  stepUntilLanded(w, in);
  ASSERT_EQ(w.flakeCount(), 1);
  EXPECT_EQ(w.particles[0].driftKey, "ground");
  for (float h : win.heights) ASSERT_EQ(h, 0.0f);
  const int c = static_cast<int>(w.particles[0].offset.x / 2);
  EXPECT_FLOAT_EQ(floor.heights[c], 0.5f * snow);  // no window factor on the ground
}

TEST_F(WorldLanding, FarFlakesAndFreshPowderPassThrough) {
  SnowWorld w(1000, 1000, 5);
  const WorldInput in = quiet();
  w.insertDrift(makeDrift("ground", DriftKind::Ground, 0, 0, 1000));
  Particle& p = dropFlake(w, in, 500, 5);
  p.canLand = false;
  stepUntilLanded(w, in);
  EXPECT_EQ(w.flakeCount(), 0);  // fell through and out

  Particle& q = dropFlake(w, in, 500, 1);
  q.noLandTime = 0.25f;
  stepUntilLanded(w, in);
  EXPECT_EQ(w.flakeCount(), 0);
  for (float h : w.driftMap.at("ground").heights) ASSERT_EQ(h, 0.0f);
}

TEST_F(WorldLanding, LandedFlakeFadesWithinPointEightSeconds) {
  SnowWorld w(1000, 1000, 6);
  const WorldInput in = quiet();
  Drift& floor = w.insertDrift(makeDrift("ground", DriftKind::Ground, 0, 0, 1000));
  dropFlake(w, in, 500, 3);
  stepUntilLanded(w, in);
  ASSERT_EQ(w.flakeCount(), 1);
  ASSERT_EQ(w.particles[0].age, 0.0f);
  const float base = w.particles[0].baseAlpha;
  for (int i = 0; i < 25; ++i) w.stepWorld(kStep, in, kAway, 0.0);  // 0.78 s
  ASSERT_EQ(w.flakeCount(), 1);
  EXPECT_FLOAT_EQ(w.particles[0].age, 25 * kStep);
  EXPECT_NEAR(w.particles[0].alpha, (1 - 25 * kStep / 0.8f) * base, 1e-5f);
  EXPECT_EQ(w.particles[0].y, 0.0f);
  w.stepWorld(kStep, in, kAway, 0.0);  // 0.81 s
  EXPECT_EQ(w.flakeCount(), 0);
  EXPECT_GT(total(floor), 0.0f);  // the snow it brought stays
}

TEST_F(WorldLanding, LandedStarTwinklesForFourAndAHalfSeconds) {
  SnowWorld w(1000, 1000, 7);
  const WorldInput in = quiet();
  w.insertDrift(makeDrift("ground", DriftKind::Ground, 0, 0, 1000));
  Particle& p = dropFlake(w, in, 500, 3);
  p.star = true;
  p.snow = 0;
  stepUntilLanded(w, in);
  ASSERT_EQ(w.flakeCount(), 1);
  for (int i = 0; i < 140; ++i) w.stepWorld(kStep, in, kAway, 0.0);  // 4.375 s
  ASSERT_EQ(w.flakeCount(), 1);
  EXPECT_LT(w.particles[0].alpha, 0.11f);  // fading over its last 1.2 s
  EXPECT_GT(w.particles[0].alpha, 0.0f);
  for (int i = 0; i < 4; ++i) w.stepWorld(kStep, in, kAway, 0.0);
  EXPECT_EQ(w.flakeCount(), 0);
}

TEST_F(WorldLanding, LandedFlakeFollowsItsDriftAndHidesUnderCover) {
  SnowWorld w(1000, 1000, 8);
  const WorldInput in = quiet();
  Drift& win = w.insertDrift(windowDrift("w1", 0, 500, 1000, 0));
  dropFlake(w, in, 500, 503);
  stepUntilLanded(w, in);
  ASSERT_EQ(w.flakeCount(), 1);
  const kovra::Vec2 offset = w.particles[0].offset;
  win.x += 40;
  win.y -= 100;
  w.stepWorld(kStep, in, kAway, 0.0);
  EXPECT_FLOAT_EQ(w.particles[0].x, 40 + offset.x);
  EXPECT_FLOAT_EQ(w.particles[0].y, 400 + offset.y);
  EXPECT_FALSE(w.particles[0].covered);
  win.limits[static_cast<int>(offset.x / 2)] = 0.0f;
  w.stepWorld(kStep, in, kAway, 0.0);
  EXPECT_TRUE(w.particles[0].covered);
}

TEST_F(WorldLanding, FlakeWhoseDriftVanishesFallsOnAfterAMoment) {
  SnowWorld w(1000, 1000, 9);
  const WorldInput in = quiet();
  w.insertDrift(windowDrift("w1", 0, 500, 1000, 0));
  dropFlake(w, in, 500, 503);
  stepUntilLanded(w, in);
  ASSERT_EQ(w.particles[0].driftKey, "w1");
  w.particles[0].alpha = 0.1f;

  // The window goes; just below it lies another ledge, further down a third.
  ASSERT_TRUE(w.eraseDrift("w1"));
  EXPECT_EQ(w.particles[0].drift, nullptr);  // no dangling reference
  w.insertDrift(windowDrift("w2", 0, 498, 1000, 1));
  w.insertDrift(windowDrift("w3", 0, 480, 1000, 2));
  w.stepWorld(kStep, in, kAway, 0.0);
  const Particle& p = w.particles[0];
  EXPECT_EQ(p.age, -1.0f);
  EXPECT_TRUE(p.driftKey.empty());
  EXPECT_FLOAT_EQ(p.alpha, p.baseAlpha);
  EXPECT_FLOAT_EQ(p.noLandTime, 0.12f - kStep);
  EXPECT_LT(p.y, 500.0f);

  // It passes the ledge 2 pt below during its 0.12 s and settles on the next.
  stepUntilLanded(w, in);
  ASSERT_EQ(w.flakeCount(), 1);
  EXPECT_EQ(w.particles[0].driftKey, "w3");
  EXPECT_EQ(w.particles[0].y, 480.0f);
  for (float h : w.driftMap.at("w2").heights) ASSERT_EQ(h, 0.0f);
}

TEST_F(WorldLanding, SnowfallBuildsUpOnTheGround) {
  SnowWorld w(1000, 600, 10);
  WorldInput in;
  in.level = 2;
  Drift& floor = w.insertDrift(makeDrift("ground", DriftKind::Ground, 0, 0, 1000));
  for (int i = 0; i < 60 * 40; ++i) w.stepWorld(1.0f / 60.0f, in, kAway, 0.0);
  // Flakes that may land are the deeper two thirds of the snowfall.
  EXPECT_GT(total(floor), 100.0f);
  for (const Particle& p : w.particles) {
    if (p.age >= 0) {
      ASSERT_EQ(p.driftKey, "ground");
      ASSERT_TRUE(p.canLand);
    }
  }
}

}  // namespace
