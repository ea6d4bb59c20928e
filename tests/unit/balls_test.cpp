#include "world/balls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "render/sprites.h"
#include "world/ball_drawing.h"
#include "world/scene.h"
#include "world/world.h"
#include "world_fixture.h"

namespace {

using kovra::Drift;
using kovra::DriftKind;
using kovra::Fate;
using kovra::Particle;
using kovra::Rgba;
using kovra::Snowball;
using kovra::SnowWorld;
using kovra::SurfaceScene;
using kovra::Vec2;
using namespace worldtest;

constexpr float kPi = 3.14159265f;

float areaOf(float radius) { return kPi * radius * radius; }

struct Clumps {
  int count = 0;
  float snow = 0;
};

Clumps clumpsIn(const SnowWorld& w) {
  Clumps c;
  for (const Particle& p : w.particles) {
    if (!p.clump) continue;
    ++c.count;
    c.snow += p.snow;
  }
  return c;
}

bool contains(const SnowWorld& w, const Snowball* b) {
  return std::any_of(w.balls.begin(), w.balls.end(), [b](const auto& p) { return p.get() == b; });
}

// A calm world without snowfall: only what the tests put there moves.
class Play : public CalmWorld {
 protected:
  Play() : CalmWorld(1000, 800, 11) {}
  // A window drift of `width` pt at (x, y) with `snow` pt in every column.
  Drift& windowDrift(const std::string& key, float x, float y, float width, float snow, int zRank = 0) {
    Drift d = snowyDrift(key, DriftKind::Window, x, y, width, snow);
    d.zRank = zRank;
    d.sceneIndex = zRank;
    return w.insertDrift(std::move(d));
  }
  Drift& ground(float snow = 0.0f) {
    Drift d = snowyDrift("ground", DriftKind::Ground, 0, 0, w.width, snow);
    d.sceneIndex = 50;
    return w.insertDrift(std::move(d));
  }
  Snowball& addBall(float x, float y, float radius, bool heap = false) {
    auto b = std::make_unique<Snowball>();
    b->x = x;
    b->y = y;
    b->area = areaOf(radius);
    b->radius = kovra::ballRadius(b->area);
    b->heap = heap;
    w.balls.push_back(std::move(b));
    return *w.balls.back();
  }
  // A held ball carried at a steady velocity for `steps` frames, the hand
  // starting at (x, y).
  void swing(float x, float y, float vx, float vy, int steps) {
    for (int i = 1; i <= steps; ++i) step(pointerAt(x + vx * kFrame * i, y + vy * kFrame * i, true));
  }
};

class BallGrab : public Play {};
class BallThrow : public Play {};
class BallMotion : public Play {};
class BallBurst : public Play {};
class BallStore : public Play {};
class Snowman : public Play {};

// ---------------------------------------------------------------- grabbing

TEST_F(BallGrab, PressOnDriftScoopsABallOutOfThatDrift) {
  Drift& d = windowDrift("w7", 100, 300, 400, 12.0f);
  Drift& other = windowDrift("w8", 600, 300, 200, 12.0f, 1);
  const float before = total(d), otherBefore = total(other);
  const Vec2 at{300, 306};  // in the snow, 6 pt above the ledge

  ASSERT_TRUE(w.hasGrabbableAt(at.x, at.y));
  ASSERT_TRUE(w.grabWithButton(at, false));
  ASSERT_EQ(w.ballCount(), 1);
  const Snowball& b = *w.balls[0];
  EXPECT_TRUE(w.holding());
  EXPECT_EQ(w.heldBall(), &b);
  EXPECT_TRUE(b.held);
  EXPECT_FALSE(b.heap);
  EXPECT_EQ(w.milestones & 4u, 4u);  // a snowball was made
  EXPECT_EQ(w.milestones & 2u, 0u);

  // The snow under the ball's lower half went into it.
  const float taken = before - total(d);
  EXPECT_GT(taken, 20.0f);
  EXPECT_NEAR(b.area, kovra::kBallStartArea + 2.0f * 0.85f * taken, 0.01f);
  EXPECT_GT(b.radius, 6.0f);
  EXPECT_EQ(total(other), otherBefore);
  for (int c = 0; c < d.columns; ++c) {
    const float cx = d.x + 2.0f * c + 1.0f;
    if (std::fabs(cx - at.x) > 0.7f * 6.0f) {
      EXPECT_EQ(d.heights[c], 12.0f) << c;
    }
  }
  EXPECT_TRUE(w.needsInput());  // a held ball keeps the frames coming

  // One ball at a time.
  EXPECT_FALSE(w.grabWithButton(Vec2{250, 306}, false));
  EXPECT_EQ(w.ballCount(), 1);
}

TEST_F(BallGrab, WithAltItIsAHeap) {
  windowDrift("w7", 100, 300, 400, 12.0f);
  ASSERT_TRUE(w.grabWithButton(Vec2{300, 306}, true));
  EXPECT_TRUE(w.balls[0]->heap);
  EXPECT_EQ(w.milestones & 2u, 2u);
  EXPECT_EQ(w.milestones & 4u, 0u);
}

TEST_F(BallGrab, NothingToGrabMeansClicksPassThrough) {
  Drift& d = windowDrift("w7", 100, 300, 400, 12.0f);
  windowDrift("w9", 600, 300, 300, 2.0f, 1);  // too thin to scoop

  EXPECT_FALSE(w.hasGrabbableAt(50, 306));    // beside the drift
  EXPECT_FALSE(w.hasGrabbableAt(300, 318));   // above the snow's surface
  EXPECT_FALSE(w.hasGrabbableAt(300, 299));   // under the ledge
  EXPECT_FALSE(w.hasGrabbableAt(700, 301));   // thin snow
  EXPECT_FALSE(w.hasGrabbableAt(500, 500));   // empty air
  EXPECT_TRUE(w.hasGrabbableAt(300, 311));    // just inside the surface

  // Snow hidden under a window in front is not there for the hand.
  for (int c = 90; c < 110; ++c) d.limits[c] = 0.0f;
  EXPECT_FALSE(w.hasGrabbableAt(d.x + 200, 306));

  EXPECT_FALSE(w.grabWithButton(Vec2{500, 500}, false));
  EXPECT_EQ(w.ballCount(), 0);
  EXPECT_FALSE(w.holding());

  // A ball is grabbable wherever it lies, snow or not.
  addBall(500, 500, 10);
  EXPECT_TRUE(w.hasGrabbableAt(512, 500));
  EXPECT_FALSE(w.hasGrabbableAt(514, 500));
}

TEST_F(BallGrab, CarriedBallFollowsTheHandAndGrowsOnlyInSnow) {
  Drift& d = windowDrift("w7", 100, 300, 400, 14.0f);
  ASSERT_TRUE(w.grabWithButton(Vec2{150, 306}, false));
  Snowball& b = *w.balls[0];
  const float offsetX = b.x - 150, offsetY = b.y - 306;

  // Dragged along through the drift it rolls up snow.
  float area = b.area;
  for (int i = 1; i <= 30; ++i) {
    step(pointerAt(150 + 5.0f * i, 306, true));
    ASSERT_NEAR(b.x, 150 + 5.0f * i + offsetX, 1e-3f);
    ASSERT_NEAR(b.y, 306 + offsetY, 1e-3f);
  }
  EXPECT_GT(b.area, 2.0f * area);
  EXPECT_LT(total(d), 200 * 14.0f - 100.0f);

  // Through empty air it keeps its size.
  for (int i = 0; i < 10; ++i) step(pointerAt(300, 600, true));
  area = b.area;
  for (int i = 1; i <= 30; ++i) step(pointerAt(300 + 5.0f * i, 600, true));
  EXPECT_EQ(b.area, area);
  EXPECT_FALSE(w.balls.empty());

  // The screen's edges hold it in.
  step(pointerAt(-50, 600, true));
  EXPECT_NEAR(b.x, b.radius, 1e-3f);
  step(pointerAt(300, -50, true));
  EXPECT_NEAR(b.y, b.radius, 1e-3f);
}

TEST_F(BallGrab, RadiusNeverExceedsSixtyFive) {
  Drift& g = ground(30.0f);
  ASSERT_TRUE(w.grabWithButton(Vec2{40, 10}, false));
  Snowball& b = *w.balls[0];
  for (int i = 0; i < 600; ++i) {
    std::fill(g.heights.begin(), g.heights.end(), 30.0f);
    step(pointerAt(40.0f + static_cast<float>(i % 300) * 3.0f, 0, true));
    ASSERT_LE(b.radius, 65.0f + 1e-3f);
    ASSERT_LE(b.area, kovra::kBallMaxArea);
  }
  EXPECT_NEAR(b.radius, 65.0f, 0.01f);
}

TEST_F(BallGrab, TheFortyFirstBallBurstsTheOldest) {
  windowDrift("w7", 0, 300, 1000, 20.0f);
  std::vector<const Snowball*> made;
  for (int i = 0; i < kovra::kMaxBalls; ++i) {
    Snowball* b = w.makeBall(Vec2{12.0f + 24.0f * i, 306}, false);
    ASSERT_NE(b, nullptr) << i;
    made.push_back(b);
  }
  ASSERT_EQ(w.ballCount(), 40);
  const int clumps = w.clumpCount;
  ASSERT_NE(w.makeBall(Vec2{990, 306}, false), nullptr);
  EXPECT_EQ(w.ballCount(), 40);
  EXPECT_FALSE(contains(w, made[0]));
  EXPECT_TRUE(contains(w, made[1]));
  EXPECT_GE(w.clumpCount, clumps + 6);  // the oldest went to pieces
}

TEST_F(BallGrab, ModifierKeysGrabAfterAMomentWhileTheCursorMoves) {
  windowDrift("w7", 100, 300, 400, 12.0f);
  // Ctrl held over snow with the cursor moving: nothing for 0.15 s, then a
  // snowball is in the hand.
  float x = 200;
  step(pointerAt(x, 306));
  int steps = 0;
  while (!w.holding() && steps < 30) {
    x += 2.0f;  // 120 pt/s
    step(pointerAt(x, 306, false, 2));
    ++steps;
  }
  ASSERT_TRUE(w.holding());
  EXPECT_GE(steps, 9);   // 0.15 s
  EXPECT_LE(steps, 11);
  EXPECT_FALSE(w.heldBall()->heap);
  // Letting go of Ctrl lets go of the ball.
  step(pointerAt(x, 306));
  EXPECT_FALSE(w.holding());
  EXPECT_EQ(w.ballCount(), 1);

  // Alt makes a heap (away from the ball just dropped).
  x += 40.0f;
  for (int i = 0; i < 20 && !w.holding(); ++i) {
    x += 2.0f;
    step(pointerAt(x, 306, false, 1));
  }
  ASSERT_TRUE(w.holding());
  EXPECT_TRUE(w.heldBall()->heap);
  step(pointerAt(x, 306));
  EXPECT_FALSE(w.holding());
}

TEST_F(BallGrab, ModifierDoesNotGrabWhenStillOrWithAButtonDown) {
  windowDrift("w7", 100, 300, 400, 12.0f);
  for (int i = 0; i < 30; ++i) step(pointerAt(300, 306, false, 2));  // Ctrl, cursor still
  EXPECT_FALSE(w.holding());
  float x = 300;
  for (int i = 0; i < 30; ++i) step(pointerAt(x += 2.0f, 306, true, 2));  // Ctrl with a button
  EXPECT_FALSE(w.holding());
  EXPECT_EQ(w.ballCount(), 0);
}

// ---------------------------------------------------------------- throwing

TEST_F(BallThrow, ReleaseMidSwingThrowsAtTheSwingsSpeed) {
  windowDrift("w7", 100, 300, 400, 12.0f);
  ASSERT_TRUE(w.grabWithButton(Vec2{300, 306}, false));
  swing(300, 306, 0, 300, 12);        // lift it out of the snow
  swing(300, 366, 800, 600, 10);      // and swing
  Snowball* b = w.balls[0].get();
  w.letGo();
  EXPECT_FALSE(w.holding());
  EXPECT_FALSE(b->held);
  EXPECT_NEAR(b->vx, 800.0f, 1.0f);
  EXPECT_NEAR(b->vy, 600.0f, 1.0f);
  EXPECT_EQ(w.milestones & 2u, 2u);  // a throw of 400 pt/s or more
  EXPECT_TRUE(w.needsInput());
  step();
  EXPECT_GT(b->x, 400.0f);
}

TEST_F(BallThrow, ReleaseAfterHoldingStillDropsStraightDown) {
  windowDrift("w7", 100, 300, 400, 12.0f);
  ASSERT_TRUE(w.grabWithButton(Vec2{300, 306}, false));
  swing(300, 306, 600, 600, 10);
  for (int i = 0; i < 7; ++i) step(pointerAt(400, 406, true));  // still for more than 0.1 s
  Snowball* b = w.balls[0].get();
  w.letGo();
  EXPECT_EQ(b->vx, 0.0f);
  EXPECT_EQ(b->vy, 0.0f);
  EXPECT_EQ(w.milestones & 2u, 0u);
  const float x = b->x;
  idle(0.2f);
  EXPECT_EQ(b->x, x);
  EXPECT_LT(b->y, 406.0f);
}

TEST_F(BallThrow, ThrowsAreCappedAtTwentySixHundred) {
  windowDrift("w7", 100, 300, 400, 12.0f);
  ASSERT_TRUE(w.grabWithButton(Vec2{300, 306}, false));
  swing(300, 306, 0, 3000, 4);
  Snowball* b = w.balls[0].get();
  w.letGo();
  EXPECT_NEAR(std::hypot(b->vx, b->vy), 2600.0f, 1.0f);
  EXPECT_GT(b->vy, 0.0f);
}

TEST_F(BallThrow, ALetGoInsideALedgeSetsTheBallOnIt) {
  windowDrift("w7", 100, 300, 400, 0.0f);
  Snowball& b = addBall(300, 302, 8);
  w.hold(b, Vec2{300, 302});
  w.letGo();
  EXPECT_FLOAT_EQ(b.y, 300 + 1.5f + b.radius);
  idle(0.3f);
  EXPECT_NE(b.drift, nullptr);
  EXPECT_FLOAT_EQ(b.y, 300 + 1.5f + b.radius);
}

// ---------------------------------------------------------------- in motion

TEST_F(BallMotion, HardLandingsBurstABallButAHeapLastsLonger) {
  ground();
  struct Case {
    bool heap;
    float speed;
    bool survives;
  };
  for (const Case c : {Case{false, 1000, true}, Case{false, 1400, false}, Case{true, 1800, true},
                       Case{true, 2000, false}}) {
    w.reset();
    Snowball& b = addBall(500, 30, 10, c.heap);
    b.vy = -c.speed;
    idle(0.05f);
    EXPECT_EQ(w.ballCount() == 1, c.survives) << c.heap << " " << c.speed;
    if (c.survives) {
      EXPECT_GT(w.balls[0]->vy, 0.0f) << "bounced";
    } else {
      EXPECT_GE(w.clumpCount, 6);
    }
  }
}

TEST_F(BallMotion, AThrownHeapSplatsIntoTheDriftItLandsOn) {
  Drift& g = ground();
  Snowball& heap = addBall(500, 30, 12, true);
  w.hold(heap, Vec2{500, 30});
  w.letGo();  // a gentle drop, but a heap let go comes apart on landing
  const float area = heap.area;
  int steps = 0;
  while (w.ballCount() > 0 && steps < 60) {
    step();
    ++steps;
  }
  ASSERT_EQ(w.ballCount(), 0);
  // Most of its snow lies in a mound where it fell, the rest sprays.
  EXPECT_NEAR(total(g), 0.88f * 0.45f * area, 0.5f);
  const int centre = static_cast<int>(500 / 2);
  EXPECT_GT(g.heights[centre], 0.0f);
  EXPECT_EQ(g.heights[centre - 30], 0.0f);
  EXPECT_NEAR(clumpsIn(w).snow, 0.12f * 0.45f * area, 0.05f);
}

TEST_F(BallMotion, ABallRestsOnALedgeAndRidesAlongWithItsWindow) {
  SurfaceScene s = scene({win(7, 100, 100, 400, 200)}, false);
  updateScene(s);
  Drift* d = w.findDrift("w7");
  ASSERT_NE(d, nullptr);
  Snowball& b = addBall(300, 400, 10);
  idle(1.0f);
  ASSERT_EQ(b.drift, d);
  EXPECT_FLOAT_EQ(b.y, 300 + 1.5f + b.radius);
  EXPECT_FALSE(w.needsInput());

  // Moved slowly, the window takes the ball with it.
  s.windows[0].rect.x += 6;
  s.windows[0].rect.y += 4;
  updateScene(s, kFrame);
  EXPECT_FLOAT_EQ(b.x, 306);
  EXPECT_FLOAT_EQ(b.y, 304 + 1.5f + b.radius);
  idle(0.1f);
  EXPECT_EQ(b.drift, d);

  // Yanked sideways at 1800 pt/s with the button held, it throws the ball.
  updateScene(s, kFrame);
  s.windows[0].rect.x += 30;
  s.pressed = true;
  updateScene(s, kFrame);
  EXPECT_EQ(b.drift, nullptr);
  EXPECT_NEAR(b.vx, 0.45f * 1800.0f, 1.0f);
  EXPECT_GE(b.vy, 120.0f);
}

TEST_F(BallMotion, AWindowSlidingOverTheLedgeKnocksTheBallAside) {
  // The first window is too narrow for snow.
  SurfaceScene s = scene({win(1, 700, 100, 29, 400), win(2, 100, 100, 400, 200)}, false);
  updateScene(s);
  Snowball& b = addBall(300, 330, 6);
  idle(0.5f);
  ASSERT_NE(b.drift, nullptr);

  // The narrow window slides in from the left up to just before the ball.
  s.windows[0].rect.x = 270;
  updateScene(s, 0.5);
  EXPECT_EQ(b.drift, nullptr);
  EXPECT_GE(b.vx, 90.0f);  // away from the cover
  EXPECT_GE(b.vy, 80.0f);
}

TEST_F(BallMotion, ABallBehindAWindowInFrontIsHiddenAndOutOfReach) {
  SurfaceScene s = scene({win(1, 600, 200, 300, 300), win(2, 100, 100, 400, 200)}, false);
  updateScene(s);
  Snowball& b = addBall(300, 330, 8);
  idle(0.5f);
  ASSERT_NE(b.drift, nullptr);
  EXPECT_FALSE(b.covered);
  EXPECT_TRUE(w.hasGrabbableAt(300, b.y));

  s.windows[0].rect.x = 250;  // the front window now covers the ball
  updateScene(s, 1.0);
  step();
  EXPECT_TRUE(b.covered);
  EXPECT_FALSE(w.hasGrabbableAt(300, b.y));
  EXPECT_FALSE(w.grabWithButton(Vec2{300, b.y}, false));

  Recorder hidden;
  kovra::drawSceneBody(w, hidden);
  EXPECT_EQ(hidden.sprites(kovra::kSpriteSnowball, kovra::kSpriteSnowball).size(), 0u);

  s.windows[0].rect.x = 600;  // and moves away again
  updateScene(s, 1.0);
  step();
  EXPECT_FALSE(b.covered);
  Recorder shown;
  kovra::drawSceneBody(w, shown);
  EXPECT_EQ(shown.sprites(kovra::kSpriteSnowball, kovra::kSpriteSnowball).size(), 1u);
}

// Windows in front that carry no drift of their own hide a ball just the same.
TEST_F(BallMotion, AWindowInFrontWithoutADriftHidesTheBall) {
  struct Case {
    const char* name;
    kovra::SceneWindow front;
  };
  const Case cases[] = {
      {"maximised", win(9, 0, 0, 1000, 800, true)},
      {"top 1 pt under the screen's edge", win(9, 200, 250, 300, 549)},
      {"top above the screen", win(9, 200, 250, 300, 600)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    w.balls.clear();
    const kovra::SceneWindow back = win(2, 100, 100, 400, 200);
    updateScene(scene({back}, false), 1.0);
    Snowball& b = addBall(300, 330, 8);
    idle(0.5f);
    ASSERT_NE(b.drift, nullptr);
    ASSERT_FALSE(b.covered);

    updateScene(scene({c.front, back}, false), 1.0);
    ASSERT_EQ(w.findDrift("w9"), nullptr);
    step();
    EXPECT_TRUE(b.covered);
    EXPECT_EQ(w.ballAt(Vec2{300, b.y}), nullptr);
    EXPECT_FALSE(w.hasGrabbableAt(300, b.y));
    Recorder drawn;
    kovra::drawSceneBody(w, drawn);
    EXPECT_EQ(drawn.sprites(kovra::kSpriteSnowball, kovra::kSpriteSnowball).size(), 0u);
  }
}

TEST_F(BallMotion, ABallLeftOnTheGroundBehindAWindowSplatsIntoTheGround) {
  SurfaceScene s = scene({win(1, 400, 0, 300, 300, true)}, false);
  updateScene(s);
  Snowball& b = addBall(500, 10.2f, 10);
  const float area = b.area;
  step();
  ASSERT_TRUE(b.onGround);
  ASSERT_TRUE(b.covered);
  idle(0.3f);
  EXPECT_EQ(w.ballCount(), 1);
  for (int i = 0; i < 10 && w.ballCount() > 0; ++i) step();
  EXPECT_EQ(w.ballCount(), 0);
  // The ground there is covered, so its snow flies off instead.
  EXPECT_NEAR(clumpsIn(w).snow, 0.45f * area, 3.0f + 0.01f * area);
}

TEST_F(BallMotion, BallsPushEachOtherApartAndAHeldBallShovesAtMost420) {
  ground();
  Snowball& a = addBall(500, 10, 10);
  Snowball& b = addBall(515, 10, 10);
  idle(0.3f);
  EXPECT_GE(std::fabs(b.x - a.x), 19.9f);
  EXPECT_FALSE(w.needsInput());

  Snowball& held = addBall(300, 10, 10);
  w.hold(held, Vec2{300, 10});
  step(pointerAt(300, 10, true));
  for (int i = 1; i <= 10; ++i) step(pointerAt(300.0f + 20.0f * i, 10, true));  // 1200 pt/s into them
  for (const auto& o : w.balls) {
    if (o.get() != &held) {
      EXPECT_LE(std::hypot(o->vx, o->vy), 420.0f + 1.0f);
    }
  }
  EXPECT_GT(std::max(a.vx, b.vx), 50.0f);
}

// ---------------------------------------------------------------- snowmen

TEST_F(Snowman, ABallSetOnAnotherBecomesASnowman) {
  ground();
  Snowball& bottom = addBall(600, 20, 20);
  Snowball& top = addBall(607, 70, 12);
  w.hold(top, Vec2{607, 70});
  for (int i = 0; i < 8; ++i) step(pointerAt(607, 70, true));
  EXPECT_EQ(w.snowmanCount(), 0);
  w.letGo();
  EXPECT_FLOAT_EQ(top.x, 600);  // lined up to drop onto it

  int steps = 0;
  while (top.sitsOn != &bottom && steps < 60) {
    step();
    ++steps;
  }
  ASSERT_EQ(top.sitsOn, &bottom);
  for (int i = 0; i < 15 && w.snowmanCount() == 0; ++i) step();  // within 0.25 s
  EXPECT_EQ(w.snowmanCount(), 1);
  EXPECT_EQ(top.role, kovra::kRoleHead);
  EXPECT_EQ(bottom.role, kovra::kRoleBody);
  EXPECT_EQ(w.milestones & 8u, 8u);
  idle(1.0f);
  EXPECT_EQ(w.snowmanCount(), 1);  // and it stays standing
  EXPECT_FLOAT_EQ(top.y, bottom.y + bottom.radius + top.radius);
}

TEST_F(Snowman, ABallSetDownOnAnotherStaysOnTopAtAnyFrameRate) {
  // A slow machine steps the world 50 ms at a time: a ball set down from a
  // little above another must still land on it, not pass through it and the
  // ledge below.
  for (float dt : {kFrame, 0.033f, 0.05f}) {
    for (float gap = 1.0f; gap <= 39.0f; gap += 1.0f) {
      SCOPED_TRACE(testing::Message() << "step " << dt << " s, dropped from " << gap << " pt above");
      w.resetBalls();
      if (!w.findDrift("top")) windowDrift("top", 200, 480, 600, 5);
      Snowball& bottom = addBall(500, 480 + 1.5f + 7.5f, 7.5f);
      const float topY = bottom.y + bottom.radius + 7.0f + gap;
      Snowball& top = addBall(503, topY, 7.0f);
      w.hold(top, Vec2{503, topY});
      w.letGo();
      for (int i = 0; i < 40; ++i) {
        now += dt;
        w.stepWorld(dt, in, kovra::PointerInput{}, now);
      }
      ASSERT_TRUE(contains(w, &top) && contains(w, &bottom));
      EXPECT_EQ(top.sitsOn, &bottom);
      EXPECT_GT(top.y, bottom.y + bottom.radius);
      EXPECT_EQ(w.snowmanCount(), 1);
    }
  }
}

TEST_F(Snowman, ThreeStackedHaveAHeadABodyAndAPlainBall) {
  ground();
  Snowball& low = addBall(600, 20, 20);
  Snowball& mid = addBall(600, 55, 14);
  Snowball& top = addBall(600, 79, 9);
  idle(0.5f);
  EXPECT_EQ(top.role, kovra::kRoleHead);
  EXPECT_EQ(mid.role, kovra::kRoleBody);
  EXPECT_EQ(low.role, kovra::kRoleNone);
  EXPECT_EQ(w.snowmanCount(), 1);

  // With the top one taken off, the middle one is the head.
  top.x = 100;
  top.y = 9;
  idle(0.3f);
  EXPECT_EQ(w.snowmanCount(), 1);
  EXPECT_EQ(mid.role, kovra::kRoleHead);
  EXPECT_EQ(low.role, kovra::kRoleBody);
  EXPECT_EQ(top.role, kovra::kRoleNone);
}

TEST_F(Snowman, HeapsAndBallsSideBySideMakeNoSnowman) {
  ground();
  addBall(600, 20, 20, true);
  addBall(600, 60, 10);   // a ball on a heap falls through it
  addBall(300, 20, 20);
  addBall(345, 20, 20);   // side by side
  idle(1.0f);
  EXPECT_EQ(w.snowmanCount(), 0);
  EXPECT_EQ(w.milestones & 8u, 0u);
}

// ---------------------------------------------------------------- bursting

TEST_F(BallBurst, ADoubleClickBurstsTheBallIntoClumps) {
  ground();
  Snowball& b = addBall(500, 200, 15);
  const float area = b.area, radius = b.radius;
  EXPECT_FALSE(w.burstAt(Vec2{700, 200}));
  EXPECT_EQ(w.milestones & 16u, 0u);
  EXPECT_EQ(w.clumpCount, 0);

  ASSERT_TRUE(w.burstAt(Vec2{510, 205}));
  EXPECT_EQ(w.ballCount(), 0);
  EXPECT_EQ(w.milestones & 16u, 16u);
  const Clumps c = clumpsIn(w);
  EXPECT_EQ(c.count, std::clamp(static_cast<int>(area / 18.0f), 6, 50));
  EXPECT_NEAR(c.snow, 0.45f * area, 0.01f);
  for (const Particle& p : w.particles) {
    EXPECT_TRUE(p.canLand);
    EXPECT_LE(std::hypot(p.x - 500, p.y - 200), 0.9f * radius + 0.01f);
  }
}

TEST_F(BallBurst, BurstingAHeldBallEmptiesTheHand) {
  windowDrift("w7", 100, 300, 400, 12.0f);
  ASSERT_TRUE(w.grabWithButton(Vec2{300, 306}, false));
  const Snowball* b = w.heldBall();
  ASSERT_TRUE(w.burstAt(Vec2{b->x, b->y}));
  EXPECT_FALSE(w.holding());
  EXPECT_EQ(w.ballCount(), 0);
  step(pointerAt(300, 306, true));
  EXPECT_FALSE(w.holding());
}

TEST_F(BallBurst, TheClumpCapHoldsWhenBallsBurst) {
  ground();
  for (int i = 0; i < 590; ++i) ASSERT_TRUE(w.spawnClump(Vec2{500, 90000}, Vec2{0, 0}, 1.0f, false, 0));
  addBall(300, 200, 30);
  addBall(600, 200, 30);
  ASSERT_TRUE(w.burstAt(Vec2{300, 200}));
  EXPECT_EQ(w.clumpCount, 600);
  ASSERT_TRUE(w.burstAt(Vec2{600, 200}));
  EXPECT_EQ(w.clumpCount, 600);
  EXPECT_EQ(w.ballCount(), 0);
}

TEST_F(BallBurst, TheShovelCommandBurstsEveryBallAndForgetsStoredOnes) {
  ground();
  addBall(300, 200, 10);
  addBall(600, 200, 10);
  w.storedBalls["w5"].push_back(kovra::StoredBall{std::make_unique<Snowball>(), 0, 0});
  w.shovel();
  EXPECT_EQ(w.ballCount(), 0);
  EXPECT_TRUE(w.storedBalls.empty());
  EXPECT_GE(w.clumpCount, 12);
  for (const Particle& p : w.particles) EXPECT_FALSE(p.canLand);
}

TEST_F(BallBurst, ResetRemovesBallsAndEmptiesTheHand) {
  windowDrift("w7", 100, 300, 400, 12.0f);
  ASSERT_TRUE(w.grabWithButton(Vec2{300, 306}, false));
  addBall(600, 200, 10);
  w.reset();
  EXPECT_EQ(w.ballCount(), 0);
  EXPECT_FALSE(w.holding());
  step(pointerAt(300, 306, true));
  EXPECT_EQ(w.ballCount(), 0);
}

// ---------------------------------------------------------------- out of sight

TEST_F(BallStore, BallsOfAHiddenWindowComeBackWithIt) {
  w.fate = [](uint64_t, bool) { return Fate::Hidden; };
  SurfaceScene s = scene({win(5, 100, 100, 400, 200)}, false);
  updateScene(s);
  Snowball& low = addBall(300, 330, 12);
  Snowball& top = addBall(300, 360, 8);
  idle(0.5f);
  ASSERT_EQ(top.sitsOn, &low);
  const float lowY = low.y, topY = top.y;

  SurfaceScene empty;
  updateScene(empty, 1);
  EXPECT_EQ(w.ballCount(), 0);
  ASSERT_EQ(w.storedBalls.count("w5"), 1u);
  EXPECT_EQ(w.storedBalls["w5"].size(), 2u);
  idle(0.5f);

  updateScene(s, 1);
  step();
  ASSERT_EQ(w.ballCount(), 2);
  EXPECT_TRUE(w.storedBalls.empty());
  idle(0.5f);
  EXPECT_NEAR(w.balls[0]->y, lowY, 0.01f);
  EXPECT_NEAR(w.balls[1]->y, topY, 0.01f);
  EXPECT_EQ(w.snowmanCount(), 1);
}

TEST_F(BallStore, BallsOfAClosedWindowFall) {
  w.fate = [](uint64_t, bool) { return Fate::Gone; };
  SurfaceScene s = scene({win(5, 100, 100, 400, 200)}, false);
  updateScene(s);
  Snowball& b = addBall(300, 330, 12);
  idle(0.5f);
  ASSERT_NE(b.drift, nullptr);

  SurfaceScene empty;
  updateScene(empty, 1);
  EXPECT_EQ(b.drift, nullptr);
  EXPECT_TRUE(w.storedBalls.empty());
  idle(1.0f);
  EXPECT_TRUE(b.onGround);
  EXPECT_FLOAT_EQ(b.y, b.radius);
}

// ---------------------------------------------------------------- drawing

TEST(BallDrawing, HeadBodyAndLoneBallEachGetTheirOwnTrimmings) {
  const Rgba coal{0.08f, 0.08f, 0.08f, 1}, carrot{0.98f, 0.52f, 0.12f, 1}, twig{0.40f, 0.25f, 0.12f, 1};
  const Rgba red{0.70f, 0.096f, 0.12f, 1}, green{0.116f, 0.396f, 0.266f, 1};
  Snowball b;
  b.x = 100;
  b.y = 50;
  b.radius = 20;

  Recorder lone;
  kovra::drawBall(lone, b);
  ASSERT_EQ(lone.calls.size(), 1u);
  EXPECT_EQ(lone.calls[0].index, kovra::kSpriteSnowball);
  EXPECT_FLOAT_EQ(lone.calls[0].w, 40);
  EXPECT_FLOAT_EQ(lone.calls[0].x, 100);

  Recorder head;
  b.role = kovra::kRoleHead;
  kovra::drawBall(head, b);
  EXPECT_EQ(head.calls[0].op, "sprite");   // the face goes on the ball
  EXPECT_EQ(head.count("triangle"), 1);     // the nose
  EXPECT_TRUE(head.hasColour(carrot));
  EXPECT_TRUE(head.hasColour(red));         // scarf
  EXPECT_FALSE(head.hasColour(green));
  EXPECT_FALSE(head.hasColour(twig));
  int coalDots = 0;
  for (const SinkCall& c : head.calls) coalDots += c.op == "circle" && c.colour.r == coal.r;
  EXPECT_EQ(coalDots, 7);  // two eyes, five smile dots
  b.variant = true;
  Recorder greenHead;
  kovra::drawBall(greenHead, b);
  EXPECT_TRUE(greenHead.hasColour(green));
  EXPECT_FALSE(greenHead.hasColour(red));

  Recorder body;
  b.role = kovra::kRoleBody;
  kovra::drawBall(body, b);
  EXPECT_EQ(body.calls[0].op, "line");      // arms behind the ball
  EXPECT_EQ(body.count("line"), 4);         // two arms, two twigs
  EXPECT_EQ(body.count("triangle"), 0);
  EXPECT_EQ(body.count("circle"), 3);       // buttons
  for (const SinkCall& c : body.calls) {
    if (c.op == "circle") {
      EXPECT_FLOAT_EQ(c.x, 100);
      EXPECT_LT(c.y, 50 + 0.5f * 20);
    }
    if (c.op == "line") {
      EXPECT_GT(std::fabs(c.x - 100), 0.75f * 20);  // arms start at the sides
    }
  }
}

TEST(BallDrawing, AHeapIsDrawnLargerAndShiftedAgainstItsTilt) {
  Snowball h;
  h.x = 100;
  h.y = 50;
  h.radius = 10;
  h.heap = true;
  h.tilt = 0.35f;
  Recorder r;
  kovra::drawBall(r, h);
  ASSERT_EQ(r.calls.size(), 1u);
  EXPECT_EQ(r.calls[0].index, kovra::kSpriteHeap);
  EXPECT_FLOAT_EQ(r.calls[0].w, 25);
  EXPECT_FLOAT_EQ(r.calls[0].angle, 0.35f);
  EXPECT_NEAR(std::hypot(r.calls[0].x - 100, r.calls[0].y - 50), 2.5f, 1e-4f);
  EXPECT_LT(r.calls[0].x, 100);
}

TEST(BallDrawing, BallsLieBetweenDriftsAndFlakesAndHeadsComeLast) {
  SnowWorld w(400, 300, 3);
  kovra::Drift& d = w.insertDrift(kovra::makeDrift("ground", DriftKind::Ground, 0, 0, 400));
  std::fill(d.heights.begin(), d.heights.end(), 5.0f);
  kovra::rebuildOutline(d, 0);
  Particle flake;
  flake.x = 50;
  flake.y = 200;
  w.particles.push_back(flake);
  for (int role : {kovra::kRoleHead, kovra::kRoleBody}) {
    auto b = std::make_unique<Snowball>();
    b->x = 200;
    b->y = role == kovra::kRoleHead ? 50 : 20;
    b->role = role;
    w.balls.push_back(std::move(b));
  }
  Recorder r;
  kovra::drawSceneBody(w, r);
  std::vector<std::string> order;
  std::vector<float> spriteY;
  for (const SinkCall& c : r.calls) {
    if (c.op == "sprite") spriteY.push_back(c.y);
    if (order.empty() || order.back() != c.op) order.push_back(c.op);
  }
  ASSERT_GE(order.size(), 3u);
  EXPECT_EQ(order.front(), "drift");
  EXPECT_EQ(order.back(), "flake");
  ASSERT_EQ(spriteY.size(), 2u);
  EXPECT_FLOAT_EQ(spriteY[0], 20);  // the body, then the head on it
  EXPECT_FLOAT_EQ(spriteY[1], 50);
}

}  // namespace
