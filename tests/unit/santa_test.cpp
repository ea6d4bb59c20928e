#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "render/sprites.h"
#include "world/actor_drawing.h"
#include "world/world.h"
#include "world_fixture.h"

namespace {

using kovra::Drift;
using kovra::DriftKind;
using kovra::Gift;
using kovra::SceneWindow;
using kovra::SnowWorld;
using kovra::WorldInput;
using namespace worldtest;

WorldInput quiet() { return quietSkyWith(&WorldInput::santa); }  // Santa on, nothing else

// Calls Santa until the flight goes the wanted way (the way is the flight's own draw).
void callGoing(SnowWorld& w, bool leftToRight) {
  for (int i = 0; i < 100 && !(w.callSanta() && w.santa.leftToRight == leftToRight); ++i) {
  }
  ASSERT_EQ(w.santa.leftToRight, leftToRight);
}

// The horizontal extent of everything drawn for Santa.
struct Extent {
  float left = 1e9f, right = -1e9f;
};
Extent teamExtent(const SnowWorld& w) {
  Recorder r;
  kovra::drawSanta(w, r);
  Extent e;
  for (const SinkCall& c : r.calls) {
    const float half = c.op == "sprite" ? 0.5f * c.w : 0.0f;
    e.left = std::min({e.left, c.x - half, c.op == "line" ? c.x1 : c.x});
    e.right = std::max({e.right, c.x + half, c.op == "line" ? c.x1 : c.x});
  }
  return e;
}

bool offScreen(const Extent& e) { return e.right < 0.0f || e.left > kW; }

TEST(SantaSchedule, FirstFlightAfterSeventyToHundredTenSecondsThenEighteenToThirtyTwoMinutesApart) {
  const WorldInput in = quiet();
  for (uint64_t seed = 1; seed <= 12; ++seed) {
    SnowWorld w(kW, kH, seed * 7919);
    w.primary = true;
    while (!w.santa.active && w.clock < 200.0f) w.stepWorld(kStep, in, {}, 0.0);
    ASSERT_TRUE(w.santa.active) << seed;
    EXPECT_TRUE(within(w.clock, 70.0f, 110.0f + kStep)) << seed;
    const float gap = w.nextSanta - w.clock;
    EXPECT_TRUE(within(gap, 1080.0f, 1920.0f)) << seed;
  }

  // The next flight comes when it was scheduled, not earlier.
  SnowWorld w(kW, kH, 99);
  w.primary = true;
  while (!w.santa.active) w.stepWorld(kStep, in, {}, 0.0);
  const float due = w.nextSanta;
  while (w.santa.active) w.stepWorld(kStep, in, {}, 0.0);
  while (!w.santa.active && w.clock < due + 10.0f) w.stepWorld(kStep, in, {}, 0.0);
  ASSERT_TRUE(w.santa.active);
  EXPECT_NEAR(w.clock, due, kStep * 1.01f);
}

TEST(SantaSchedule, TheScreensaverSetsAShorterInterval) {
  SnowWorld w(kW, kH, 6);
  w.primary = true;
  w.santaInterval = {180, 300};
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(w.callSanta());
    EXPECT_TRUE(within(w.nextSanta - w.clock, 180.0f, 300.0f));
  }
}

TEST(SantaSchedule, NoFlightWithTheSettingOffOrAwayFromThePrimaryMonitor) {
  WorldInput off = quiet();
  off.santa = false;
  SnowWorld w(kW, kH, 5);
  w.primary = true;
  run(w, 200.0f, off);
  EXPECT_FALSE(w.santa.active);
  // Switched on after his time has passed, he comes at once.
  w.stepWorld(kStep, quiet(), {}, 0.0);
  EXPECT_TRUE(w.santa.active);

  SnowWorld side(kW, kH, 5);
  run(side, 200.0f, quiet());
  EXPECT_FALSE(side.santa.active);
  EXPECT_EQ(side.nextSanta, 0.0f);
  EXPECT_FALSE(side.callSanta());
  EXPECT_FALSE(side.santa.active);
}

TEST(SantaCall, StartsAFlightAtOnceAndReplacesOneUnderWay) {
  WorldInput off = quiet();
  off.santa = false;  // the command does not need the setting
  SnowWorld w(kW, kH, 11);
  w.primary = true;
  run(w, 1.0f, off);
  ASSERT_TRUE(w.callSanta());
  EXPECT_TRUE(w.santa.active);
  EXPECT_EQ(w.santa.elapsed, 0.0f);
  EXPECT_GE(w.nextSanta - w.clock, 1080.0f);
  w.stepWorld(kStep, off, {}, 0.0);
  EXPECT_TRUE(w.santa.active);
  EXPECT_TRUE(w.busy());

  run(w, 5.0f, off);
  ASSERT_TRUE(w.santa.active);
  ASSERT_GT(w.santa.elapsed, 4.0f);
  ASSERT_TRUE(w.callSanta());
  EXPECT_EQ(w.santa.elapsed, 0.0f);  // a new flight from the start
  w.stepWorld(kStep, off, {}, 0.0);
  EXPECT_TRUE(offScreen(teamExtent(w)));
}

TEST(SantaFlight, CrossesInTenToFourteenSecondsEnteringAndLeavingOffScreen) {
  const WorldInput in = quiet();
  float shortest = 1e9f, longest = 0;
  for (uint64_t seed = 1; seed <= 24; ++seed) {
    SnowWorld w(kW, kH, seed * 104729);
    w.primary = true;
    w.nextSanta = 1e9f;
    ASSERT_TRUE(w.callSanta());
    EXPECT_EQ(w.santa.scale, 1.45f);  // a wide screen gets a bigger team
    EXPECT_TRUE(within(w.santa.speed, 192.0f, 271.1f));
    w.stepWorld(kStep, in, {}, 0.0);
    // No pop-in: the whole team starts beyond the side it comes from.
    const Extent first = teamExtent(w);
    EXPECT_TRUE(offScreen(first)) << seed << " " << first.left << ".." << first.right;
    if (w.santa.leftToRight) {
      EXPECT_LT(first.right, 0.0f);
    }
    if (!w.santa.leftToRight) {
      EXPECT_GT(first.left, kW);
    }
    Extent last = first;
    bool seen = false;
    while (w.santa.active) {
      last = teamExtent(w);
      seen = seen || !offScreen(last);
      w.stepWorld(kStep, in, {}, 0.0);
    }
    EXPECT_TRUE(seen);
    EXPECT_TRUE(offScreen(last)) << seed;
    if (w.santa.leftToRight) {
      EXPECT_GT(last.left, kW);
    }
    shortest = std::min(shortest, w.clock);
    longest = std::max(longest, w.clock);
  }
  EXPECT_GE(shortest, 9.8f);
  EXPECT_LE(longest, 14.1f);
  EXPECT_LT(shortest, longest - 1.0f);  // the speed varies from flight to flight
}

TEST(SantaFlight, KeepsToTheUpperSkyAndTiltsWithItsPath) {
  for (uint64_t seed = 1; seed <= 300; ++seed) {
    SnowWorld w(kW, kH, seed * 2654435761u);
    w.primary = true;
    w.startSanta();
    const kovra::SantaFlight& f = w.santa;
    const float L = kovra::santaPathLength(f, kW);
    ASSERT_NEAR(L, 1.6f * 403.1f + kW + 120.0f, 0.01f);
    for (float s = 0; s <= L; s += L / 100.0f) {
      const float y = kovra::santaAltitude(f, kW, s);
      ASSERT_TRUE(within(y, 0.29f * kH, kH - 30.0f)) << seed;
    }
    ASSERT_GE(kovra::santaAltitude(f, kW, 0), 0.36f * kH - 0.01f);
    ASSERT_LE(kovra::santaAltitude(f, kW, L), 0.9f * kH + 0.01f);
  }

  // Climbing to the left means the nose (on the left) is up: a clockwise,
  // negative tilt; to the right the tilt follows the climb's sign.
  for (uint64_t seed = 1; seed <= 60; ++seed) {
    SnowWorld w(kW, kH, seed);
    w.primary = true;
    w.startSanta();
    const float L = kovra::santaPathLength(w.santa, kW);
    const float climb = kovra::santaAltitude(w.santa, kW, 0.22f * L) - kovra::santaAltitude(w.santa, kW, 0.18f * L);
    if (std::fabs(climb) < 8.0f) continue;
    run(w, 0.2f * L / w.santa.speed, quiet());
    ASSERT_TRUE(w.santa.active);
    const float sign = w.santa.leftToRight ? 1.0f : -1.0f;
    EXPECT_GT(w.santa.heading * sign * climb, 0.0f) << seed;
    EXPECT_LE(std::fabs(w.santa.heading), 0.31f);
  }
}

TEST(SantaFlight, WavesInTwoStretchesAndLeavesASparkleTrailBehind) {
  SnowWorld w(kW, kH, 3);
  w.primary = true;
  callGoing(w, true);
  run(w, 1.0f, quiet());
  // About 55 sparkles a second, all behind the sleigh.
  EXPECT_TRUE(within(w.sparks.size(), 52u, 56u));
  for (const kovra::Spark& s : w.sparks) {
    EXPECT_EQ(s.colour, kovra::kSpriteTwinkle);
    EXPECT_LT(s.x, w.santa.x - 80.0f);
  }

  int waves = 0;
  bool was = false;
  const float L = kovra::santaPathLength(w.santa, kW);
  while (w.santa.active) {
    const float p = w.santa.speed * w.santa.elapsed / L;
    const bool now = w.santa.cheer > 0.5f;
    if (now && !was) ++waves;
    if (now) {
      EXPECT_TRUE(p > 0.30f && p < 0.80f) << p;
    }
    was = now;
    w.stepWorld(kStep, quiet(), {}, 0.0);
  }
  EXPECT_EQ(waves, 2);
}

// A world with a ground drift and a long snowy window ledge at 300 pt, below
// every flight path.
struct SantaGifts : ::testing::Test {
  SnowWorld w{kW, kH, 17};

  void SetUp() override {
    w.primary = true;
    w.nextSanta = 1e9f;
    w.nextBirds = 1e9f;
    w.insertDrift(kovra::makeDrift("ground", DriftKind::Ground, 0, 0, kW));
    w.insertDrift(snowyDrift("w7", DriftKind::Window, 100, 300, kW - 200, 6.0f)).zRank = 0;
  }

  Gift& dropAt(float x, float y) {
    Gift g;
    g.x = x;
    g.y = y;
    w.gifts.push_back(g);
    return w.gifts.back();
  }
};

TEST_F(SantaGifts, FallFromTheBagAndSettleInTheDriftBelow) {
  int dropped = 0;
  for (uint64_t seed = 1; seed <= 10; ++seed) {
    SnowWorld& world = w;
    world.gifts.clear();
    world.random = kovra::WorldRandom(seed * 31 | 1);
    ASSERT_TRUE(world.callSanta());
    size_t seen = 0;
    while (world.santa.active) {
      world.stepWorld(kStep, quiet(), {}, 0.0);
      for (; seen < world.gifts.size(); ++seen) {
        // Dropped over the screen, from the bag at the back of the sleigh.
        EXPECT_TRUE(within(world.gifts[seen].x, 20.0f, kW - 20.0f));
        ++dropped;
      }
    }
    run(world, 4.0f, quiet());
    EXPECT_EQ(static_cast<int>(world.gifts.size()), world.santa.giftsPlanned) << seed;
    for (const Gift& g : world.gifts) {
      ASSERT_EQ(g.driftKey, "w7") << "the ledge lies under the whole flight";
      const Drift& d = *world.findDrift("w7");
      const size_t c = static_cast<size_t>(std::clamp(static_cast<int>(g.offset / 2), 0, d.columns - 1));
      EXPECT_FLOAT_EQ(g.y, d.y + std::min(d.limits[c], d.heights[c]) - 3.0f);
      EXPECT_TRUE(within(g.x, d.x, d.x + 2.0f * static_cast<float>(d.columns)));
      EXPECT_TRUE(within(g.sizeFactor, 0.8f, 1.7f));
      EXPECT_TRUE(within(g.picture, kovra::kSpriteGift, kovra::kSpriteGift + 2));
      EXPECT_LE(std::fabs(g.tilt), 0.121f);
    }
  }
  EXPECT_GE(dropped, 10);
}

TEST_F(SantaGifts, LandingThrowsUpAPuffOfSnow) {
  dropAt(600, 360);
  int steps = 0;
  while (w.gifts[0].driftKey.empty() && steps++ < 100) {
    const int before = w.clumpCount;
    w.stepWorld(kStep, quiet(), {}, 0.0);
    if (!w.gifts[0].driftKey.empty()) {
      EXPECT_EQ(w.clumpCount - before, 6);
    }
  }
  EXPECT_EQ(w.gifts[0].driftKey, "w7");
}

TEST_F(SantaGifts, RestFortySecondsThenFadeAway) {
  dropAt(600, 360);
  for (int i = 0; i < 100 && w.gifts[0].driftKey.empty(); ++i) w.stepWorld(kStep, quiet(), {}, 0.0);
  ASSERT_FALSE(w.gifts[0].driftKey.empty());
  run(w, 39.9f, quiet());
  ASSERT_EQ(w.gifts.size(), 1u);
  EXPECT_EQ(w.gifts[0].alpha, 1.0f);
  run(w, 0.6f, quiet());
  ASSERT_EQ(w.gifts.size(), 1u);
  EXPECT_LT(w.gifts[0].alpha, 0.75f);
  run(w, 0.8f, quiet());
  EXPECT_TRUE(w.gifts.empty());
}

TEST_F(SantaGifts, NinthGiftPushesOutTheOldest) {
  for (int i = 0; i < 8; ++i) dropAt(200.0f + 150.0f * static_cast<float>(i), 520).sizeFactor = 1.0f + 0.01f * static_cast<float>(i);
  run(w, 1.0f, quiet());
  ASSERT_EQ(w.gifts.size(), 8u);
  ASSERT_TRUE(w.callSanta());
  while (w.santa.active && w.santa.giftsDropped == 0) w.stepWorld(kStep, quiet(), {}, 0.0);
  ASSERT_EQ(w.santa.giftsDropped, 1);
  ASSERT_EQ(w.gifts.size(), 8u);
  for (int i = 0; i < 7; ++i) EXPECT_FLOAT_EQ(w.gifts[static_cast<size_t>(i)].sizeFactor, 1.0f + 0.01f * static_cast<float>(i + 1));
  EXPECT_TRUE(w.gifts.back().driftKey.empty());  // the new one, still falling
}

TEST_F(SantaGifts, GoneBelowOrBeyondTheSides) {
  dropAt(-70, 900);
  dropAt(kW + 70, 900);
  w.stepWorld(kStep, quiet(), {}, 0.0);
  EXPECT_TRUE(w.gifts.empty());
}

// Gifts lying on a real window's ledge, with the drift manager in between.
struct SantaGiftsOnWindows : ::testing::Test {
  SnowWorld w{kW, kH, 23};
  WorldInput in = quiet();

  void show(std::vector<SceneWindow> windows) { w.updateDrifts(scene(std::move(windows), false), in, 0.0); }
  void SetUp() override {
    w.primary = true;
    w.nextSanta = w.nextBirds = 1e9f;
    show({win(1, 500, 200, 600, 300)});  // its ledge at 500 pt, from 508 to 1092
    Drift* d = w.findDrift("w1");
    ASSERT_NE(d, nullptr);
    for (int c = 0; c < d->columns; ++c) d->heights[static_cast<size_t>(c)] = 5.0f;
    Gift g;
    g.x = 800;
    g.y = 700;
    w.gifts.push_back(g);
    run(w, 1.0f, in);
    ASSERT_EQ(w.gifts[0].driftKey, "w1");
  }
  int drawnGifts() {
    Recorder r;
    kovra::drawGifts(w, r);
    return static_cast<int>(r.sprites(kovra::kSpriteGift, kovra::kSpriteGift + 2).size());
  }
};

TEST_F(SantaGiftsOnWindows, HiddenWhileAWindowCoversThemAndFollowTheirWindow) {
  EXPECT_EQ(drawnGifts(), 1);
  // Another window slides over the gift's spot, in front of the ledge.
  show({win(2, 700, 300, 200, 400), win(1, 500, 200, 600, 300)});
  w.stepWorld(kStep, in, {}, 0.0);
  EXPECT_TRUE(w.gifts[0].covered);
  EXPECT_EQ(drawnGifts(), 0);

  // It goes, and the gift's window moves right: the gift rides along, visible again.
  show({win(1, 600, 200, 600, 300)});
  w.stepWorld(kStep, in, {}, 0.0);
  ASSERT_EQ(w.gifts.size(), 1u);
  EXPECT_FALSE(w.gifts[0].covered);
  EXPECT_NEAR(w.gifts[0].x, 900.0f, 0.01f);
  EXPECT_EQ(drawnGifts(), 1);

  // The window closes: the gift falls to the bottom of the screen.
  show({});
  w.stepWorld(kStep, in, {}, 0.0);
  ASSERT_EQ(w.gifts.size(), 1u);
  EXPECT_TRUE(w.gifts[0].driftKey.empty());
  EXPECT_TRUE(w.busy());
  run(w, 3.0f, in);
  ASSERT_EQ(w.gifts.size(), 1u);
  EXPECT_EQ(w.gifts[0].driftKey, "ground");
  EXPECT_NEAR(w.gifts[0].x, 900.0f, 1.0f);
}

TEST(SantaDrawing, TeamRunsAheadOfTheSleighMirroredWhenFlyingRight) {
  for (bool ltr : {true, false}) {
    SnowWorld w(kW, kH, 41);
    w.primary = true;
    callGoing(w, ltr);
    run(w, 2.5f, quiet());  // before he waves
    Recorder r;
    kovra::drawSanta(w, r);
    const float S = w.santa.scale;

    int sleighAt = -1, firstNear = -1, lastFar = -1, lines = 0;
    float sleighX = 0;
    for (size_t i = 0; i < r.calls.size(); ++i) {
      const SinkCall& c = r.calls[i];
      if (c.op == "line" && sleighAt < 0) ++lines;
      if (c.op != "sprite") continue;
      EXPECT_FLOAT_EQ(c.angle, w.santa.heading);
      EXPECT_EQ(c.mirrored, ltr);
      EXPECT_EQ(c.opacity, 1.0f);
      if (c.index == kovra::kSpriteSleigh) {
        sleighAt = static_cast<int>(i);
        sleighX = c.x;
        EXPECT_FLOAT_EQ(c.w, 96.0f * S);
        EXPECT_FLOAT_EQ(c.h, 76.0f * S);
      }
      if (c.index == kovra::kSpriteDarkReindeer || c.index == kovra::kSpriteDarkReindeer + 1) lastFar = static_cast<int>(i);
      if ((c.index == kovra::kSpriteReindeer || c.index == kovra::kSpriteReindeer + 1) && firstNear < 0)
        firstNear = static_cast<int>(i);
    }
    ASSERT_GE(sleighAt, 0);
    EXPECT_LT(lastFar, sleighAt);   // the far reindeer behind the sleigh
    EXPECT_GT(firstNear, sleighAt); // the near ones over it
    EXPECT_EQ(lines, 18);           // three reins of six pieces
    const auto deer = r.sprites(kovra::kSpriteReindeer, kovra::kSpriteReindeer + 1);
    const auto far = r.sprites(kovra::kSpriteDarkReindeer, kovra::kSpriteDarkReindeer + 1);
    ASSERT_EQ(deer.size(), 3u);
    ASSERT_EQ(far.size(), 3u);
    for (const SinkCall& c : deer) {
      EXPECT_TRUE(ltr ? c.x > sleighX + 40.0f : c.x < sleighX - 40.0f);
      EXPECT_FLOAT_EQ(c.w, 62.0f * S);
    }
    // The lead pair is farthest ahead.
    EXPECT_TRUE(ltr ? deer[2].x > deer[0].x : deer[2].x < deer[0].x);
  }
}

TEST(SantaDrawing, WavingArmOnlyWhileCheering) {
  SnowWorld w(kW, kH, 43);
  w.primary = true;
  ASSERT_TRUE(w.callSanta());
  w.stepWorld(kStep, quiet(), {}, 0.0);
  Recorder calm;
  kovra::drawSanta(w, calm);
  EXPECT_EQ(calm.count("circle"), 0);
  EXPECT_EQ(calm.count("line"), 18);

  const float L = kovra::santaPathLength(w.santa, kW);
  while (w.santa.active && w.santa.cheer < 1.0f) w.stepWorld(kStep, quiet(), {}, 0.0);
  ASSERT_TRUE(w.santa.active);
  EXPECT_GT(w.santa.speed * w.santa.elapsed / L, 0.30f);
  Recorder waving;
  kovra::drawSanta(w, waving);
  EXPECT_EQ(waving.count("circle"), 2);  // cuff and mitten
  EXPECT_EQ(waving.count("line"), 19);   // and the sleeve
  // Raised high, the arm is drawn over the sleigh.
  size_t sleigh = 0, sleeve = 0;
  for (size_t i = 0; i < waving.calls.size(); ++i) {
    if (waving.calls[i].index == kovra::kSpriteSleigh) sleigh = i;
    if (waving.calls[i].op == "line" && waving.calls[i].w > 5.0f * w.santa.scale) sleeve = i;
  }
  EXPECT_GT(sleeve, sleigh);
}

TEST(SantaDrawing, GiftsStandOnTheirBottomEdge) {
  SnowWorld w(kW, kH, 1);
  Gift g;
  g.x = 300;
  g.y = 100;
  g.sizeFactor = 1.5f;
  g.tilt = 0.1f;
  g.picture = kovra::kSpriteGift + 1;
  w.gifts.push_back(g);
  g.covered = true;
  w.gifts.push_back(g);
  g.covered = false;
  g.alpha = 0.0f;
  w.gifts.push_back(g);
  g.alpha = 1.6f;
  g.tilt = 0.0f;
  w.gifts.push_back(g);

  Recorder r;
  kovra::drawGifts(w, r);
  ASSERT_EQ(r.calls.size(), 2u);  // neither the covered nor the faded one
  const SinkCall& a = r.calls[0];
  EXPECT_EQ(a.index, kovra::kSpriteGift + 1);
  EXPECT_FLOAT_EQ(a.w, 33.0f);
  EXPECT_FLOAT_EQ(a.h, 36.0f);
  EXPECT_FLOAT_EQ(a.angle, 0.1f);
  EXPECT_NEAR(a.x, 300.0f - 16.2f * std::sin(0.1f), 1e-3f);
  EXPECT_NEAR(a.y, 100.0f + 16.2f * std::cos(0.1f), 1e-3f);
  EXPECT_EQ(r.calls[1].opacity, 1.0f);  // opacity never above 1
  EXPECT_NEAR(r.calls[1].y, 116.2f, 1e-3f);
}

}  // namespace
