#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "render/sprites.h"
#include "world/actor_drawing.h"
#include "world/world.h"
#include "world_fixture.h"

namespace {

using kovra::Bird;
using kovra::BirdState;
using kovra::Drift;
using kovra::DriftKind;
using kovra::PointerInput;
using kovra::SnowWorld;
using kovra::WorldInput;
using namespace worldtest;

WorldInput quiet() { return quietSkyWith(&WorldInput::birds); }  // Birds on, nothing else

float feetAt(const Drift& d, float offset) {
  const size_t c = static_cast<size_t>(std::clamp(static_cast<int>(offset / 2), 0, d.columns - 1));
  return d.y + std::min(d.limits[c], d.heights[c]) - 1.0f;
}

bool allPerched(const SnowWorld& w) {
  return !w.birds.empty() && std::all_of(w.birds.begin(), w.birds.end(),
                                         [](const Bird& b) { return b.state == BirdState::Perched; });
}

// A secondary monitor's world (birds come to every monitor) with a snowy
// window ledge, a snowy taskbar and the ground.
struct Birds : ::testing::Test {
  SnowWorld w{kW, kH, 77};

  void SetUp() override {
    w.insertDrift(snowyDrift("ground", DriftKind::Ground, 0, 0, kW, 4));
    w.insertDrift(snowyDrift("bar", DriftKind::Taskbar, 0, 40, kW, 0));
    w.insertDrift(snowyDrift("w5", DriftKind::Window, 600, 500, 300, 6)).zRank = 0;
  }
  // Calls a flock and lets it land.
  void settle() {
    ASSERT_TRUE(w.callBirds());
    for (int i = 0; i < 400 && !allPerched(w); ++i) w.stepWorld(kStep, quietSky(), {}, 0.0);
    ASSERT_TRUE(allPerched(w));
  }
};

TEST_F(Birds, FirstFlockAfterTwoAndAHalfToFourMinutesThenSixToTwelveAfterTheLastLeft) {
  for (uint64_t seed = 1; seed <= 5; ++seed) {
    SnowWorld world(kW, kH, seed * 1299709);
    world.insertDrift(snowyDrift("w5", DriftKind::Window, 600, 500, 300, 6));
    while (world.birds.empty() && world.clock < 300.0f) world.stepWorld(kStep, quiet(), {}, 0.0);
    ASSERT_FALSE(world.birds.empty()) << seed;
    EXPECT_TRUE(within(world.clock, 150.0f, 240.0f + kStep));
    const float gap = world.nextBirds - world.clock;
    EXPECT_TRUE(within(gap, 360.0f, 720.0f));

    // While birds are about no second flock comes, even when it is due.
    world.nextBirds = world.clock;
    const size_t flock = world.birds.size();
    for (int i = 0; i < 20; ++i) world.stepWorld(kStep, quiet(), {}, 0.0);
    EXPECT_EQ(world.birds.size(), flock);
  }

  // The setting off: nobody comes.
  run(w, 300.0f);
  EXPECT_TRUE(w.birds.empty());
}

TEST_F(Birds, FlockComesFromOneSideTowardsTheSnow) {
  std::set<size_t> sizes;
  for (int call = 0; call < 40; ++call) {
    w.birds.clear();
    ASSERT_TRUE(w.callBirds());
    sizes.insert(w.birds.size());
    ASSERT_TRUE(within(w.birds.size(), 1u, 3u));
    const bool fromLeft = w.birds[0].x < 0;
    for (size_t i = 0; i < w.birds.size(); ++i) {
      const Bird& b = w.birds[i];
      EXPECT_EQ(b.driftKey, "w5");  // the only snowy ledge: not the bare taskbar
      EXPECT_EQ(b.state, BirdState::FlyingIn);
      EXPECT_EQ(b.x < 0, fromLeft);
      EXPECT_TRUE(b.x < -29.0f || b.x > kW + 29.0f);
      EXPECT_TRUE(within(b.y, 0.55f * kH, 0.90f * kH));
      EXPECT_TRUE(within(b.offset, 10.0f, 290.0f));
      EXPECT_TRUE(within(b.stay, 35.0f, 90.0f));
      EXPECT_FLOAT_EQ(b.age, -0.4f * static_cast<float>(i));
    }
  }
  EXPECT_EQ(sizes.size(), 3u);
}

TEST_F(Birds, SnowySpotsFirstThenBareLedgesThenTheGround) {
  // Snow only in part of the ledge: every flock's first bird aims into it.
  Drift& d = *w.findDrift("w5");
  std::fill(d.heights.begin(), d.heights.end(), 0.0f);
  for (int c = 40; c < 60; ++c) d.heights[static_cast<size_t>(c)] = 5.0f;
  for (int call = 0; call < 30; ++call) {
    w.birds.clear();
    ASSERT_TRUE(w.callBirds());
    EXPECT_GE(w.birds[0].offset, 80.0f);
    EXPECT_LT(w.birds[0].offset, 120.0f);
  }

  // No snow anywhere up high: a long bare ledge still does; a short one does not.
  std::fill(d.heights.begin(), d.heights.end(), 0.0f);
  w.eraseDrift("bar");
  w.birds.clear();
  ASSERT_TRUE(w.callBirds());
  EXPECT_EQ(w.birds[0].driftKey, "w5");

  w.eraseDrift("w5");
  w.insertDrift(snowyDrift("w9", DriftKind::Window, 600, 500, 80, 10));  // 80 pt: too short
  w.birds.clear();
  ASSERT_TRUE(w.callBirds());
  for (const Bird& b : w.birds) EXPECT_EQ(b.driftKey, "ground");

  // A covered ledge is no place either.
  Drift& covered = w.insertDrift(snowyDrift("w10", DriftKind::Window, 100, 700, 400, 10));
  std::fill(covered.limits.begin(), covered.limits.end(), 2.5f);
  w.birds.clear();
  ASSERT_TRUE(w.callBirds());
  EXPECT_EQ(w.birds[0].driftKey, "ground");

  SnowWorld empty(kW, kH, 3);
  EXPECT_FALSE(empty.callBirds());
  EXPECT_TRUE(empty.birds.empty());
}

TEST_F(Birds, LandOnTheSnowAndPeckHopAndTurnThere) {
  settle();
  const Drift& d = *w.findDrift("w5");
  for (const Bird& b : w.birds) {
    EXPECT_EQ(b.driftKey, "w5");
    EXPECT_NEAR(b.x, d.x + b.offset, 0.01f);
    EXPECT_NEAR(b.y, feetAt(d, b.offset), 0.01f);
  }
  int pecks = 0, hops = 0, turns = 0;
  std::vector<bool> facing;
  for (const Bird& b : w.birds) facing.push_back(b.facingRight);
  std::vector<bool> pecking(w.birds.size(), false);
  for (int i = 0; i < 20 * 25; ++i) {
    std::vector<float> before;
    for (const Bird& b : w.birds) before.push_back(b.offset);
    w.stepWorld(kStep, quietSky(), {}, 0.0);
    ASSERT_TRUE(allPerched(w)) << "no reason to leave before their stay is over";
    for (size_t k = 0; k < w.birds.size(); ++k) {
      const Bird& b = w.birds[k];
      if (b.peck >= 0 && !pecking[k]) ++pecks;
      pecking[k] = b.peck >= 0;
      if (b.offset != before[k]) {
        ++hops;
        EXPECT_LE(std::fabs(b.offset - before[k]), 9.0f);
        EXPECT_TRUE(within(b.offset, 10.0f, 290.0f));
      }
      if (b.facingRight != facing[k] && b.offset == before[k]) ++turns;
      facing[k] = b.facingRight;
      EXPECT_LE(b.peck, 0.45f + kStep);
      // Standing on the snow, or a little above it mid-hop.
      EXPECT_TRUE(within(b.y, feetAt(d, b.offset) - 0.01f, feetAt(d, b.offset) + 5.01f));
    }
  }
  EXPECT_GT(pecks, 3);
  EXPECT_GT(hops, 2);
  EXPECT_GT(turns, 1);
}

TEST_F(Birds, CursorComingNearScaresThemAwayFromItsSide) {
  for (int side : {-1, 1}) {
    w.birds.clear();
    settle();
    const Bird first = w.birds[0];
    // Far enough, or on another monitor: they stay.
    run(w, 1.0f, quietSky(), pointerAt(first.x + side * 200.0f, first.y));
    PointerInput elsewhere = pointerAt(first.x + side * 20.0f, first.y);
    elsewhere.inside = false;
    run(w, 1.0f, quietSky(), elsewhere);
    ASSERT_TRUE(allPerched(w));

    const int clumps = w.clumpCount;
    const size_t n = w.birds.size();
    w.stepWorld(kStep, quietSky(), pointerAt(first.x + side * 60.0f, first.y), 0.0);
    int fled = 0;
    for (const Bird& b : w.birds) {
      if (b.state != BirdState::FlyingAway) continue;
      ++fled;
      EXPECT_EQ(b.vx > 0, side < 0) << "away from the cursor";
      EXPECT_EQ(b.facingRight, b.vx > 0);
      EXPECT_GE(std::fabs(b.vx), 180.0f);
      EXPECT_GE(b.vy, 140.0f);
    }
    EXPECT_GE(fled, 1);
    EXPECT_EQ(w.clumpCount - clumps, 4 * fled);  // a little snow knocked loose by each
    EXPECT_TRUE(w.busy());

    // With the cursor among them all of them go, and leave the screen.
    float mid = 0;
    for (const Bird& b : w.birds) mid += b.x / static_cast<float>(w.birds.size());
    run(w, 4.0f, quietSky(), pointerAt(mid, first.y));
    EXPECT_LE(w.birds.size(), n);
    run(w, 4.0f);
    EXPECT_TRUE(w.birds.empty());
  }
}

TEST_F(Birds, DraggedWindowScaresThemTheTaskbarMovingDoesNot) {
  settle();
  Drift& d = *w.findDrift("w5");
  d.x += 3.0f;  // a small nudge
  run(w, 0.5f);
  ASSERT_TRUE(allPerched(w));
  EXPECT_NEAR(w.birds[0].x, d.x + w.birds[0].offset, 0.01f);  // they ride along
  d.x += 2.0f;  // now 5 pt from where they landed
  w.stepWorld(kStep, quietSky(), {}, 0.0);
  for (const Bird& b : w.birds) EXPECT_EQ(b.state, BirdState::FlyingAway);

  // On the taskbar they stay put when it moves.
  w.birds.clear();
  w.eraseDrift("w5");
  std::fill(w.findDrift("bar")->heights.begin(), w.findDrift("bar")->heights.end(), 6.0f);
  settle();
  ASSERT_EQ(w.birds[0].driftKey, "bar");
  w.findDrift("bar")->x += 30.0f;
  run(w, 0.5f);
  EXPECT_TRUE(allPerched(w));

  // A window sliding over their spot sends them off.
  Drift& bar = *w.findDrift("bar");
  for (const Bird& b : w.birds) bar.limits[static_cast<size_t>(b.offset / 2)] = 0.4f;
  w.stepWorld(kStep, quietSky(), {}, 0.0);
  for (const Bird& b : w.birds) EXPECT_EQ(b.state, BirdState::FlyingAway);
}

TEST_F(Birds, DriftVanishingUnderThemSendsThemAway) {
  ASSERT_TRUE(w.callBirds());
  run(w, 0.3f);
  ASSERT_EQ(w.birds[0].state, BirdState::FlyingIn);
  w.eraseDrift("w5");
  w.stepWorld(kStep, quietSky(), {}, 0.0);
  for (const Bird& b : w.birds) EXPECT_EQ(b.state, BirdState::FlyingAway);
}

TEST_F(Birds, LeaveWhenTheirStayIsOver) {
  settle();
  float longest = 0;
  for (const Bird& b : w.birds) longest = std::max(longest, b.stay - b.age);
  run(w, longest - 0.5f);
  EXPECT_FALSE(w.birds.empty());
  run(w, 5.0f);
  EXPECT_TRUE(w.birds.empty());
}

TEST(BirdsDrawing, PosesFollowPeckAndWingbeat) {
  Bird b;
  b.state = BirdState::Perched;
  EXPECT_EQ(kovra::birdPose(b), kovra::kSpriteBird);
  for (float peck : {0.0f, 0.1f, 0.3f, 0.44f}) {
    b.peck = peck;
    EXPECT_EQ(kovra::birdPose(b), kovra::kSpriteBird + 1) << peck;
  }
  b.peck = 0.2f;  // head up between the two pecks
  EXPECT_EQ(kovra::birdPose(b), kovra::kSpriteBird);
  b.peck = -1;
  for (BirdState s : {BirdState::FlyingIn, BirdState::FlyingAway}) {
    b.state = s;
    b.anim = 0.03f;
    EXPECT_EQ(kovra::birdPose(b), kovra::kSpriteBird + 2);
    b.anim = 0.10f;
    EXPECT_EQ(kovra::birdPose(b), kovra::kSpriteBird + 3);
    b.anim = 0.15f;
    EXPECT_EQ(kovra::birdPose(b), kovra::kSpriteBird + 2);
  }
}

TEST(BirdsDrawing, StandOnTheirFeetAndFaceTheirWay) {
  SnowWorld w(400, 300, 1);
  Bird b;
  b.state = BirdState::Perched;
  b.x = 100;
  b.y = 50;
  b.facingRight = true;
  w.birds.push_back(b);
  b.x = 200;
  b.facingRight = false;
  w.birds.push_back(b);
  Recorder r;
  kovra::drawBirds(w, r);
  ASSERT_EQ(r.calls.size(), 2u);
  for (const SinkCall& c : r.calls) {
    EXPECT_EQ(c.index, kovra::kSpriteBird);
    EXPECT_FLOAT_EQ(c.w, 26.0f);
    EXPECT_FLOAT_EQ(c.h, 22.0f);
    EXPECT_FLOAT_EQ(c.y, 59.24f);
    EXPECT_EQ(c.opacity, 1.0f);
    EXPECT_EQ(c.angle, 0.0f);
  }
  EXPECT_TRUE(r.calls[0].mirrored);  // the pictures look left
  EXPECT_FALSE(r.calls[1].mirrored);
}

}  // namespace
