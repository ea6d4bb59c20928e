#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <memory>
#include <vector>

#include "world/ball_drawing.h"
#include "world/world.h"
#include "world_fixture.h"

namespace {

using kovra::Drift;
using kovra::DriftKind;
using kovra::Particle;
using kovra::PointerInput;
using kovra::Shovel;
using kovra::SnowWorld;
using kovra::Vec2;
using namespace worldtest;

float flyingSnow(const SnowWorld& w) {
  float s = 0;
  for (const Particle& p : w.particles) {
    if (p.clump && p.age < 0) s += p.snow;
  }
  return s;
}

class Loose : public CalmWorld {
 protected:
  Loose() : CalmWorld(1000, 800, 17) {}
  Drift& drift(const std::string& key, DriftKind kind, float x, float y, float width, float snow) {
    Drift d = snowyDrift(key, kind, x, y, width, snow);
    // Hidden end columns: nothing spills over the ends, so totals only change
    // by what the tests do.
    d.limits.front() = d.limits.back() = 0.0f;
    d.zRank = kind == DriftKind::Window ? 0 : -1;
    d.sceneIndex = static_cast<int>(kind) * 10;
    return w.insertDrift(std::move(d));
  }
  // The cursor crossing from x0 at a steady speed along height y, `steps`
  // frames after a first sample that starts the tracking.
  void glide(float x0, float y, float speed, int steps, bool pressed = false, int grabMode = 0) {
    step(pointerAt(x0, y, pressed, grabMode));
    for (int i = 1; i <= steps; ++i) step(pointerAt(x0 + speed * kFrame * i, y, pressed, grabMode));
  }
};

class LooseClumps : public Loose {};
class LooseSweep : public Loose {};
class ShovelTest : public Loose {};

// ---------------------------------------------------------------- clumps

TEST_F(LooseClumps, AClumpLandsInADriftRidesWithItAndFades) {
  Drift& d = drift("w3", DriftKind::Window, 100, 300, 400, 0.0f);
  ASSERT_TRUE(w.spawnClump(Vec2{301, 360}, Vec2{0, 0}, 4.0f, true, 0));
  int steps = 0;
  while (w.particles[0].age < 0 && steps < 120) {
    step();
    ++steps;
  }
  const Particle& c = w.particles[0];
  ASSERT_GE(c.age, 0.0f);
  EXPECT_NEAR(c.y, 300.0f, 1e-4f);  // on the surface it hit
  EXPECT_NEAR(total(d), 4.0f, 1e-4f);  // half in the column, a quarter each side
  EXPECT_NEAR(d.heights[100], 2.0f, 0.2f);
  EXPECT_EQ(c.snow, 0.0f);

  d.x += 50;  // the window moves: the clump goes with it
  step();
  EXPECT_NEAR(w.particles[0].x, 351.0f, 1e-3f);
  idle(1.0f);
  ASSERT_EQ(w.clumpCount, 1);
  EXPECT_LT(w.particles[0].alpha, 0.5f);
  idle(0.7f);
  EXPECT_EQ(w.clumpCount, 0);
  EXPECT_NEAR(total(d), 4.0f, 1e-3f);  // the snow stays
}

TEST_F(LooseClumps, NoLandTimeLetsAClumpPassThroughADrift) {
  Drift& d = drift("w3", DriftKind::Window, 100, 300, 400, 5.0f);
  ASSERT_TRUE(w.spawnClump(Vec2{300, 310}, Vec2{0, -300}, 4.0f, true, 0.3f));
  ASSERT_TRUE(w.spawnClump(Vec2{320, 310}, Vec2{0, -300}, 4.0f, false, 0.0f));
  idle(0.25f);
  EXPECT_NEAR(total(d), 200 * 5.0f, 1e-3f);
  for (const Particle& p : w.particles) {
    EXPECT_LT(p.y, 300.0f);
    EXPECT_LT(p.age, 0.0f);
  }
}

TEST_F(LooseClumps, OnTheBareScreenBottomAClumpRestsAtTwoPoints) {
  ASSERT_TRUE(w.spawnClump(Vec2{400, 60}, Vec2{30, 0}, 2.0f, true, 0));
  ASSERT_TRUE(w.spawnClump(Vec2{-20, 60}, Vec2{0, 0}, 2.0f, true, 0));  // off the screen: falls out
  idle(0.6f);
  ASSERT_EQ(w.clumpCount, 1);
  const Particle& c = w.particles[0];
  EXPECT_EQ(c.y, 2.0f);
  EXPECT_GE(c.age, 0.0f);
  const float x = c.x;
  idle(0.5f);
  EXPECT_EQ(w.particles[0].x, x);  // it lies still
  idle(1.2f);
  EXPECT_EQ(w.clumpCount, 0);
}

TEST_F(LooseClumps, AClumpWhoseDriftVanishesFallsOn) {
  drift("w3", DriftKind::Window, 100, 300, 400, 0.0f);
  ASSERT_TRUE(w.spawnClump(Vec2{300, 320}, Vec2{0, 0}, 1.0f, true, 0));
  idle(0.3f);
  ASSERT_GE(w.particles[0].age, 0.0f);
  w.eraseDrift("w3");
  step();
  EXPECT_LT(w.particles[0].age, 0.0f);
  EXPECT_LT(w.particles[0].y, 300.0f);
}

TEST_F(LooseClumps, ClumpsFallThroughHiddenColumnsOntoWhatLiesBelow) {
  Drift& high = drift("w3", DriftKind::Window, 100, 300, 400, 0.0f);
  Drift& low = drift("ground", DriftKind::Ground, 0, 0, 1000, 0.0f);
  for (float& l : high.limits) l = 0.0f;  // a window in front covers the ledge
  ASSERT_TRUE(w.spawnClump(Vec2{301, 320}, Vec2{0, 0}, 3.0f, true, 0));
  idle(1.5f);
  EXPECT_EQ(total(high), 0.0f);
  EXPECT_NEAR(total(low), 3.0f, 1e-4f);
}

TEST_F(LooseClumps, TheCapOfSixHundredHoldsForEveryProducer) {
  Drift& d = drift("w3", DriftKind::Window, 0, 300, 1000, 20.0f);
  for (int i = 0; i < 598; ++i) ASSERT_TRUE(w.spawnClump(Vec2{500, 700}, Vec2{0, 2000}, 1.0f, false, 0));
  // A crumbling drift, a thrown drift and a sweeping cursor all ask for more.
  w.crumble(d);
  EXPECT_EQ(w.clumpCount, 600);
  w.throwSnow(d, 0.3f, 0, 500);
  EXPECT_EQ(w.clumpCount, 600);
  EXPECT_FALSE(w.spawnClump(Vec2{10, 10}, Vec2{0, 0}, 1.0f, true, 0));
  glide(100, 318, 600, 10);
  EXPECT_LE(w.clumpCount, 600);
  EXPECT_EQ(w.clumpCount, static_cast<int>(std::count_if(w.particles.begin(), w.particles.end(),
                                                          [](const Particle& p) { return p.clump; })));
}

// ---------------------------------------------------------------- the cursor

TEST_F(LooseSweep, AFastCursorBitesIntoAWindowDrift) {
  Drift& d = drift("w3", DriftKind::Window, 100, 300, 400, 12.0f);
  const float before = total(d);
  glide(150, 316, 400, 20);  // 400 pt/s just above the ledge
  const float removed = before - total(d);
  EXPECT_GT(removed, 100.0f);
  // Snow along the cursor's path was bitten out; far from it, untouched.
  EXPECT_LT(d.heights[(250 - 100) / 2], 6.0f);
  EXPECT_EQ(d.heights[150], 12.0f);
  // What came off flies as loose clumps, allowed to land later.
  EXPECT_NEAR(flyingSnow(w), removed, 0.05f * removed);
  for (const Particle& p : w.particles) {
    EXPECT_TRUE(p.clump);
    EXPECT_TRUE(p.canLand);
    EXPECT_LE(p.noLandTime, 0.22f);
  }
}

TEST_F(LooseSweep, SweepingNeedsSpeedAndAFreeHand) {
  struct Case {
    const char* what;
    DriftKind kind;
    float speed;
    bool pressed;
    int grabMode;
    bool sweepOn;
    bool sweeps;
  };
  const Case cases[] = {
      {"window at 300", DriftKind::Window, 300, false, 0, true, true},
      {"window at 150", DriftKind::Window, 150, false, 0, true, false},
      {"window at 80", DriftKind::Window, 80, false, 0, true, false},
      {"button down", DriftKind::Window, 300, true, 0, true, false},
      {"Ctrl held", DriftKind::Window, 300, false, 2, true, false},
      {"Alt held", DriftKind::Window, 300, false, 1, true, false},
      {"setting off", DriftKind::Window, 300, false, 0, false, false},
      {"ground at 300", DriftKind::Ground, 300, false, 0, true, false},
      {"ground at 600", DriftKind::Ground, 600, false, 0, true, true},
      {"taskbar at 600", DriftKind::Taskbar, 600, false, 0, true, true},
  };
  for (const Case& c : cases) {
    w.reset();
    w.eraseDrift("w3");
    w.eraseDrift("ground");
    w.eraseDrift("bar");
    const char* key = c.kind == DriftKind::Window ? "w3" : c.kind == DriftKind::Ground ? "ground" : "bar";
    const float ledge = c.kind == DriftKind::Ground ? 0.0f : 300.0f;
    Drift& d = drift(key, c.kind, 100, ledge, 400, 12.0f);
    in.sweep = c.sweepOn;
    // Just out of reach for grabbing, so a held modifier finds nothing to grab.
    glide(150, ledge + 21, c.speed, 20, c.pressed, c.grabMode);
    step(PointerInput{});
    EXPECT_EQ(w.ballCount(), 0) << c.what;
    EXPECT_EQ(total(d) < 200 * 12.0f - 1.0f, c.sweeps) << c.what;
  }
  in.sweep = true;
}

TEST_F(LooseSweep, NoSweepingWhileABallIsHeld) {
  Drift& d = drift("w3", DriftKind::Window, 100, 300, 400, 12.0f);
  // A ball held far up the screen while the cursor crosses the drift.
  auto ball = std::make_unique<kovra::Snowball>();
  ball->x = 800;
  ball->y = 700;
  w.balls.push_back(std::move(ball));
  w.hold(*w.balls[0], Vec2{150, 316});
  const float before = total(d);
  glide(150, 316, 400, 20);
  ASSERT_TRUE(w.holding());
  EXPECT_EQ(total(d), before);
  EXPECT_EQ(w.clumpCount, 0);
}

TEST_F(LooseSweep, AFastCursorBlowsNearbyFlakesAside) {
  w.spawnFlake(in, 500.0f);
  w.spawnFlake(in, 500.0f);
  Particle& nearFlake = w.particles[0];
  Particle& farFlake = w.particles[1];
  glide(100, 500, 600, 10);
  nearFlake.x = w.pointerX + 15;
  nearFlake.y = w.pointerY;
  nearFlake.vx = nearFlake.vy = 0;
  farFlake.x = w.pointerX + 200;
  farFlake.y = w.pointerY;
  farFlake.vx = farFlake.vy = 0;
  const float speed = w.pointerSpeed();
  ASSERT_GT(speed, 80.0f);
  step(pointerAt(w.pointerX + 10, w.pointerY));
  // The push decays within the same step, so compare with what it was.
  EXPECT_GT(w.particles[0].vx, 0.5f * 0.05f * speed * (1.0f - 25.0f / 55.0f));
  EXPECT_EQ(w.particles[1].vx, 0.0f);
  // Pushes stay within 400 pt/s whatever the cursor does.
  for (int i = 0; i < 20; ++i) {
    w.particles[0].x = w.pointerX + 5;
    w.particles[0].y = w.pointerY;
    step(pointerAt(w.pointerX + (i % 2 == 0 ? 300.0f : -300.0f), w.pointerY));
    ASSERT_LE(std::fabs(w.particles[0].vx), 400.0f);
  }
}

TEST_F(LooseSweep, TrackingStartsAfreshOnEachVisitToTheMonitor) {
  step(pointerAt(100, 100));
  step(pointerAt(110, 100));
  EXPECT_GT(w.pointerSpeed(), 0.0f);
  step(PointerInput{});
  EXPECT_FALSE(w.tracking);
  EXPECT_EQ(w.pointerSpeed(), 0.0f);
  EXPECT_EQ(w.pointerX, -100000.0f);
  step(pointerAt(900, 700));  // a jump onto the monitor is no movement
  EXPECT_TRUE(w.tracking);
  EXPECT_EQ(w.pointerSpeed(), 0.0f);
}

// ---------------------------------------------------------------- the shovel

TEST_F(ShovelTest, ScrapingTheGroundLoadsTheShovelAndFlingsTheLoad) {
  Drift& g = drift("ground", DriftKind::Ground, 0, 0, 1000, 12.0f);
  const float before = total(g);
  float maxLoad = 0;
  bool shown = false;
  step(pointerAt(100, 20));
  for (int i = 1; i <= 20; ++i) {
    step(pointerAt(100 + 10.0f * i, 20));  // 600 pt/s, the blade 2 pt above the ground
    maxLoad = std::max(maxLoad, w.snowShovel.load);
    shown = shown || w.snowShovel.visibility > 0.99f;
    ASSERT_LE(w.snowShovel.load, 90.0f);  // a fuller blade is emptied at once
  }
  EXPECT_GT(maxLoad, 20.0f);
  EXPECT_TRUE(shown);
  EXPECT_EQ(w.snowShovel.direction, 1.0f);
  EXPECT_LE(g.heights[150], 2.0f);
  EXPECT_EQ(g.heights[400], 12.0f);
  EXPECT_GT(before - total(g), 100.0f);

  // The cursor stops: the load is flung off (the blade kicks) and the
  // shovel fades away.
  float kick = 0;
  for (int i = 0; i < 35; ++i) {
    step(pointerAt(300, 20));
    kick = std::max(kick, w.snowShovel.kick);
  }
  EXPECT_EQ(w.snowShovel.load, 0.0f);
  EXPECT_GT(kick, 0.9f);
  idle(1.2f);
  EXPECT_EQ(w.snowShovel.visibility, 0.0f);
}

TEST_F(ShovelTest, TheLoadNeverExceedsOneHundredForty) {
  Drift& g = drift("ground", DriftKind::Ground, 0, 0, 1000, 30.0f);
  w.snowShovel.load = 80;
  w.snowShovel.lastGather = 0;
  w.handVx = 600;
  w.snowShovel.direction = 1;
  w.pvx = 600;
  w.tracking = true;
  w.pointerX = 500;
  w.pointerY = 18;
  w.sweep(Vec2{500, 18});  // one scrape of 14 full columns
  EXPECT_EQ(w.snowShovel.load, 140.0f);
  EXPECT_LT(total(g), 500 * 30.0f - 300.0f);
  const int before = w.clumpCount;
  w.flingLoad();
  float flung = 0;
  int count = 0;
  for (size_t i = before; i < w.particles.size(); ++i) {
    flung += w.particles[i].snow;
    ++count;
    EXPECT_GT(w.particles[i].vx, 0.0f);
  }
  EXPECT_NEAR(flung, 140.0f, 1e-3f);
  EXPECT_EQ(count, 18);
  EXPECT_EQ(w.snowShovel.load, 0.0f);
  EXPECT_EQ(w.snowShovel.kick, 1.0f);
}

TEST_F(ShovelTest, TurningBackFlingsTheLoadTheWayItWasGoing) {
  drift("ground", DriftKind::Ground, 0, 0, 1000, 4.0f);
  // Right from 500 to 560, gathering.
  step(pointerAt(500, 20));
  for (int i = 1; i <= 6; ++i) step(pointerAt(500 + 10.0f * i, 20));  // 600 pt/s
  ASSERT_GT(w.snowShovel.load, 0.5f);
  ASSERT_EQ(w.snowShovel.direction, 1.0f);
  // Then back left, through the scraped strip into fresh snow.
  size_t seen = w.particles.size();
  float x = 560;
  bool flungRight = false;
  for (int i = 0; i < 40; ++i) {
    const float dirBefore = w.snowShovel.direction;
    const float loadBefore = w.snowShovel.load;
    x -= 10.0f;
    step(pointerAt(x, 20));
    if (loadBefore > 0.05f && w.particles.size() > seen) {
      // A fling this step: its clumps go the way the shovel faced.
      int right = 0, left = 0;
      for (size_t k = seen; k < w.particles.size(); ++k) {
        if (w.particles[k].noLandTime > 0.2f) (w.particles[k].vx > 0 ? right : left) += 1;
      }
      if (dirBefore > 0 && right >= 4) flungRight = true;
      if (dirBefore > 0) {
        EXPECT_EQ(left, 0) << "step " << i;
      }
    }
    seen = w.particles.size();
  }
  EXPECT_TRUE(flungRight);
  EXPECT_EQ(w.snowShovel.direction, -1.0f);
}

TEST_F(ShovelTest, TheShovelIsDrawnFacingItsWayWithItsLoad) {
  // Where the grip, the line drawn 3.4 pt wide, reaches to either side.
  auto grip = [](const Recorder& r) {
    float lo = 1e9f, hi = -1e9f;
    for (const SinkCall& c : r.calls) {
      if (c.op != "line" || c.w != 3.4f) continue;
      lo = std::min({lo, c.x, c.x1});
      hi = std::max({hi, c.x, c.x1});
    }
    return std::pair{lo, hi};
  };
  Shovel s;
  s.x = 100;
  s.y = 50;
  s.visibility = 0.6f;
  s.direction = 1;
  s.load = 0;

  Recorder right;
  kovra::drawShovelShape(right, s);
  EXPECT_EQ(right.count("triangle"), 2);
  EXPECT_EQ(right.count("circle"), 0);
  EXPECT_EQ(right.count("line"), 6);
  EXPECT_LT(grip(right).second, 100);  // the handle trails behind the blade
  for (const SinkCall& c : right.calls) {
    if (c.op != "triangle") EXPECT_FLOAT_EQ(c.opacity, 0.6f) << c.op;
  }

  s.direction = -1;
  s.load = 40;
  Recorder left;
  kovra::drawShovelShape(left, s);
  EXPECT_GT(grip(left).first, 100);
  EXPECT_EQ(left.count("circle"), 3);

  s.visibility = 0.005f;
  Recorder none;
  kovra::drawShovelShape(none, s);
  EXPECT_TRUE(none.calls.empty());
}

}  // namespace
