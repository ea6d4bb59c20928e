#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "world/drift_events.h"
#include "world/world.h"
#include "world_fixture.h"

namespace {

using kovra::Drift;
using kovra::DriftKind;
using kovra::DriftMemory;
using kovra::Fate;
using kovra::makeDrift;
using kovra::Particle;
using kovra::Rect;
using kovra::SnowWorld;
using kovra::SurfaceScene;
using kovra::WorldInput;
using namespace worldtest;

constexpr double kUpdate = 0.05;  // scene updates 50 ms apart: 70 pt per update is 1400 pt/s

struct Flying {
  int clumps = 0;       // carrying snow
  int puffs = 0;        // snowless
  float snow = 0;
  int landable = 0;
  float minVy = 1e9f, maxVy = -1e9f;
};

Flying flying(const SnowWorld& w) {
  Flying f;
  for (const Particle& p : w.particles) {
    if (!p.clump) continue;
    if (p.snow > 0) {
      ++f.clumps;
      f.snow += p.snow;
      if (p.canLand) ++f.landable;
      f.minVy = std::min(f.minVy, p.vy);
      f.maxVy = std::max(f.maxVy, p.vy);
    } else {
      ++f.puffs;
    }
  }
  return f;
}

class DriftEvents : public WorldFixture {
 protected:
  DriftEvents() : WorldFixture(kW, kH, 21, 10) {}
  // A 400-pt window (192 columns) at (x, y), optionally with the button held.
  void show(float x, float y, bool pressed = false, double dt = kUpdate) {
    updateScene(scene({win(5, x, y, 400, 300)}, true, pressed), dt);
  }
  Drift& fill(const char* key, float h) {
    Drift& d = drift(key);
    std::fill(d.heights.begin(), d.heights.end(), h);
    return d;
  }
};

TEST_F(DriftEvents, DraggingFastSidewaysThrowsPartOfTheSnow) {
  show(300, 400);
  Drift& d = fill("w5", 10.0f);
  show(370, 400, true);  // 1400 pt/s with the button held
  for (float h : d.heights) ASSERT_NEAR(h, 9.0f, 1e-4f);
  Flying f = flying(w);
  EXPECT_GT(f.clumps, 50);
  EXPECT_NEAR(f.snow, 192 * 1.0f, 1.6f);  // all that left flies, bar the last bit
  EXPECT_EQ(f.landable, f.clumps);
  EXPECT_EQ(w.milestones & 1u, 1u);
  EXPECT_GT(w.pendingPowder.size(), 0u);

  // At 2240 pt/s and above it is 22 %.
  show(570, 400, true);  // 4000 pt/s
  for (float h : d.heights) ASSERT_NEAR(h, 9.0f * 0.78f, 1e-3f);

  // Slow drags throw nothing.
  const float before = total(d);
  show(600, 400, true);  // 600 pt/s
  EXPECT_EQ(total(d), before);
}

TEST_F(DriftEvents, MovingWithoutTheButtonThrowsNothingButResizingCrumbles) {
  show(300, 400);
  Drift& d = fill("w5", 10.0f);
  show(700, 400);  // 8000 pt/s by the keyboard: nothing flies
  EXPECT_EQ(total(d), 192 * 10.0f);
  EXPECT_EQ(w.clumpCount, 0);
  EXPECT_EQ(w.milestones & 1u, 0u);

  // Snapped to the left half of the screen: moved and resized at once.
  updateScene(scene({win(5, 700, 40, 700, 1000)}), 1);
  ASSERT_EQ(w.findDrift("w5"), &d);
  ASSERT_EQ(d.columns, 342);
  EXPECT_EQ(total(d), 0.0f);
  Flying f = flying(w);
  EXPECT_GT(f.clumps, 0);
  EXPECT_GT(f.snow, 192 * 10.0f - 20);  // all of it crumbles down
  EXPECT_LE(f.snow, 192 * 10.0f + 1e-2f);

  // Resized while dragging an edge (the button is down) keeps the snow.
  fill("w5", 5.0f);
  updateScene(scene({win(5, 600, 40, 800, 1000)}, true, true), 1);
  EXPECT_EQ(d.columns, 392);
  EXPECT_NEAR(total(d), 5.0f * 342, 1e-2f);
}

TEST_F(DriftEvents, DroppingAWindowFastThrowsTheSnowDownwards) {
  show(300, 400);
  Drift& d = fill("w5", 10.0f);
  show(300, 340, true);  // 1200 pt/s down
  for (float h : d.heights) ASSERT_NEAR(h, 7.6f, 1e-3f);
  Flying f = flying(w);
  EXPECT_GT(f.clumps, 100);
  EXPECT_LT(f.maxVy, 0.0f);  // kicked down
  // Most of it shatters instead of settling again.
  EXPECT_NEAR(static_cast<float>(f.landable) / f.clumps, 0.4f, 0.15f);
}

TEST_F(DriftEvents, AYankUpwardsThrowsTheSnowUpWhenTheWindowStops) {
  show(300, 400);
  Drift& d = fill("w5", 10.0f);
  show(300, 450, true);  // rising at 1000 pt/s
  EXPECT_EQ(w.clumpCount, 0);
  EXPECT_FLOAT_EQ(d.liftSpeed, 1000.0f);

  // It stops; shortly after, the snow flies up.
  w.checkLifts(now + 0.03);
  EXPECT_EQ(w.clumpCount, 0);
  w.checkLifts(now + 0.07);
  for (float h : d.heights) ASSERT_NEAR(h, 8.0f, 1e-3f);
  Flying f = flying(w);
  EXPECT_GT(f.clumps, 100);
  EXPECT_GE(f.minVy, 0.8f * 450.0f);
  EXPECT_LT(f.maxVy, 1.2f * 450.0f + 80.0f);
  EXPECT_EQ(d.liftSpeed, 0.0f);

  // Slowing down sharply in the middle of the drag counts as stopping too.
  fill("w5", 10.0f);
  show(300, 500, true);  // 1000 pt/s
  show(300, 510, true);  // 200 pt/s
  for (float h : d.heights) ASSERT_NEAR(h, 8.0f, 1e-3f);

  // A slow lift is forgotten and throws nothing.
  fill("w5", 10.0f);
  show(300, 530, true);  // 400 pt/s
  w.checkLifts(now + 0.5);
  EXPECT_EQ(d.liftSpeed, 0.0f);
  EXPECT_EQ(total(d), 1920.0f);
}

TEST_F(DriftEvents, ClosingAWindowCrumblesItsDrift) {
  std::vector<std::pair<uint64_t, bool>> asked;
  w.fate = [&](uint64_t window, bool whole) {
    asked.emplace_back(window, whole);
    return Fate::Gone;
  };
  updateScene(scene({win(5, 300, 400, 400, 300), win(6, 900, 400, 400, 300)}), 1);
  fill("w5", 10.0f);
  updateScene(scene({win(6, 900, 400, 400, 300)}), 1);
  EXPECT_EQ(w.findDrift("w5"), nullptr);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].first, 5u);
  EXPECT_FALSE(asked[0].second);  // the other window stayed
  EXPECT_FALSE(w.driftMemory.contains("w5"));
  const Flying f = flying(w);
  EXPECT_GT(f.clumps, 5);
  EXPECT_GT(f.snow, 1920.0f - 50.0f);
  EXPECT_LE(f.snow, 1920.0f + 1e-2f);
  for (const Particle& p : w.particles) {
    if (p.snow > 0) {
      ASSERT_TRUE(within(p.x, 300.0f, 700.0f));
      ASSERT_GE(p.y, 700.0f);
    }
  }

  // Without a fate query a vanished window's drift crumbles as well.
  SnowWorld plain(kW, kH, 3);
  plain.updateDrifts(scene({win(5, 300, 400, 400, 300)}), in, 1);
  std::fill(plain.findDrift("w5")->heights.begin(), plain.findDrift("w5")->heights.end(), 3.0f);
  plain.updateDrifts(scene({}), in, 2);
  EXPECT_GT(plain.clumpCount, 0);
  EXPECT_EQ(plain.driftMemory.size(), 0u);
}

TEST_F(DriftEvents, MinimisingOneCrumblesButShowingTheDesktopKeepsEveryDrift) {
  // Like the survey's answer for minimised windows: hidden only when all went.
  w.fate = [](uint64_t, bool whole) { return whole ? Fate::Hidden : Fate::Gone; };
  const SurfaceScene three = scene({win(5, 300, 400, 400, 300), win(6, 900, 400, 400, 300), win(7, 100, 100, 300, 200)});
  updateScene(three, 1);
  fill("w5", 10.0f);
  fill("w6", 6.0f);
  Drift& seven = fill("w7", 3.0f);
  seven.heights[0] = 0.0f;
  const std::vector<float> sevenSnow = seven.heights;

  // One minimised: its drift crumbles.
  updateScene(scene({win(6, 900, 400, 400, 300), win(7, 100, 100, 300, 200)}), 1);
  EXPECT_EQ(w.findDrift("w5"), nullptr);
  EXPECT_FALSE(w.driftMemory.contains("w5"));
  EXPECT_GT(w.clumpCount, 0);

  // The desktop shown: all windows go at once and their snow is kept.
  w.particles.clear();
  w.clumpCount = 0;
  updateScene(scene({}), 1);
  EXPECT_EQ(w.driftCount(), 2);  // the bar and the ground
  EXPECT_EQ(w.clumpCount, 0);
  EXPECT_TRUE(w.driftMemory.contains("w6"));
  EXPECT_TRUE(w.driftMemory.contains("w7"));

  // Restored: the same snow in the same places.
  updateScene(three, 1);
  const Drift* six = w.findDrift("w6");
  ASSERT_NE(six, nullptr);
  for (float h : six->heights) ASSERT_EQ(h, 6.0f);
  ASSERT_NE(w.findDrift("w7"), nullptr);
  EXPECT_EQ(w.findDrift("w7")->heights, sevenSnow);
  EXPECT_TRUE(w.findDrift("w7")->dirty);
  EXPECT_FALSE(w.driftMemory.contains("w6"));
  for (float h : w.findDrift("w5")->heights) ASSERT_EQ(h, 0.0f);  // that one crumbled for good
}

TEST_F(DriftEvents, AWindowBackWithAnotherWidthStartsAfreshATaskbarStretches) {
  w.fate = [](uint64_t, bool) { return Fate::Hidden; };  // moved to another virtual desktop
  show(300, 400);
  fill("w5", 10.0f);
  updateScene(scene({}), 1);
  ASSERT_TRUE(w.driftMemory.contains("w5"));
  updateScene(scene({win(5, 300, 400, 500, 300)}), 1);
  EXPECT_EQ(total(*w.findDrift("w5")), 0.0f);
  EXPECT_FALSE(w.driftMemory.contains("w5"));

  // Back within a point of its old width: the snow is back.
  fill("w5", 4.0f);
  updateScene(scene({}), 1);
  updateScene(scene({win(5, 700, 200, 500.8f, 300)}), 1);
  EXPECT_NEAR(total(*w.findDrift("w5")), 4.0f * 242, 1e-3f);

  // The taskbar leaves (auto-hide) and comes back half as long.
  Drift& bar = *w.findDrift("bar");
  for (int c = 0; c < bar.columns; ++c) bar.heights[c] = c < 480 ? 4.0f : 12.0f;
  SurfaceScene none;
  updateScene(none, 1);
  ASSERT_TRUE(w.driftMemory.contains("bar"));
  SurfaceScene half = scene({});
  half.taskbar = Rect{0, 0, 960, 40};
  updateScene(half, 1);
  const Drift& back = *w.findDrift("bar");
  ASSERT_EQ(back.columns, 480);
  EXPECT_EQ(back.heights[0], 4.0f);
  EXPECT_EQ(back.heights[200], 4.0f);
  EXPECT_EQ(back.heights[300], 12.0f);
  EXPECT_EQ(back.heights[479], 12.0f);
}

// Moved and resized without the button: more than 2 pt of change in width
// crumbles the drift, even when that adds or takes only one column.
TEST_F(DriftEvents, ResizingByMoreThanTwoPointsCrumbles) {
  struct Case {
    float from, to;  // window widths, pt; the drift spans 16 pt less
    bool crumbles;
  };
  const Case cases[] = {
      {400.0f, 402.5f, true},   // 192 -> 193 columns
      {401.0f, 398.5f, true},   // 192 -> 191
      {401.9f, 404.0f, true},   // 192 -> 194
      {400.0f, 402.0f, false},  // exactly 2 pt wider, 193 columns
      {401.5f, 399.6f, false},  // 1.9 pt narrower, 191 columns
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.from << " -> " << c.to);
    updateScene(scene({}), 1);  // the old drift crumbles away
    w.particles.clear();
    w.clumpCount = 0;
    updateScene(scene({win(5, 300, 400, c.from, 300)}), 1);
    Drift& d = fill("w5", 10.0f);
    const int before = d.columns;
    updateScene(scene({win(5, 300, 420, c.to, 300)}), 1);
    ASSERT_EQ(w.findDrift("w5"), &d);
    if (c.crumbles) {
      EXPECT_EQ(total(d), 0.0f);
      EXPECT_GT(flying(w).snow, 10.0f * before - 20);
    } else {
      // Only a column cut off at the right end falls.
      EXPECT_NEAR(total(d), 10.0f * std::min(before, d.columns), 1e-2f);
    }
  }
}

// At 125 % and 150 % a window's span in points is fractional; one that comes
// back at the same size in pixels gets its snow back, whatever the fraction.
TEST(DriftMemoryScaled, AWindowBackAtTheSameSizeGetsItsSnowAtAnyScale) {
  WorldInput in;
  for (float scale : {1.25f, 1.5f}) {
    const kovra::MonitorArea area{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, scale, 1080 / scale};
    for (int32_t px = 300; px < 312; ++px) {
      SCOPED_TRACE(::testing::Message() << "scale " << scale << ", " << px << " px");
      SnowWorld w(1920 / scale, 1080 / scale, 5);
      w.fate = [](uint64_t, bool) { return Fate::Hidden; };
      SurveyedWindow sw;
      sw.window = 5;
      sw.visible = sw.frame = PixelRect{200, 300, 200 + px, 700};
      const SurfaceScene shown = kovra::layoutScene(area, std::vector<SurveyedWindow>{sw}, {}, {}, false);
      const SurfaceScene empty = kovra::layoutScene(area, {}, {}, {}, false);
      w.updateDrifts(shown, in, 1);
      ASSERT_NE(w.findDrift("w5"), nullptr);
      Drift& d = *w.findDrift("w5");
      std::fill(d.heights.begin(), d.heights.end(), 5.0f);
      const int columns = d.columns;
      w.updateDrifts(empty, in, 2);
      ASSERT_TRUE(w.driftMemory.contains("w5"));
      w.updateDrifts(shown, in, 3);
      ASSERT_NE(w.findDrift("w5"), nullptr);
      EXPECT_NEAR(total(*w.findDrift("w5")), 5.0f * columns, 1e-2f);
    }
  }
}

TEST(DriftMemoryRules, KeepsTheNewestEightyDrifts) {
  DriftMemory m;
  for (int i = 0; i < 81; ++i) {
    Drift d = makeDrift("w" + std::to_string(i), DriftKind::Window, 0, 100, 40);
    d.heights[0] = static_cast<float>(i);
    m.remember(d);
  }
  EXPECT_EQ(m.size(), 80u);
  EXPECT_FALSE(m.contains("w0"));
  EXPECT_TRUE(m.contains("w1"));
  EXPECT_TRUE(m.contains("w80"));

  // Remembering a key again replaces it and makes it the newest.
  Drift again = makeDrift("w1", DriftKind::Window, 0, 100, 60);
  again.heights[3] = 9.0f;
  m.remember(again);
  Drift extra = makeDrift("w81", DriftKind::Window, 0, 100, 40);
  m.remember(extra);
  EXPECT_TRUE(m.contains("w1"));
  EXPECT_FALSE(m.contains("w2"));
  ASSERT_NE(m.find("w1"), nullptr);
  EXPECT_EQ(m.find("w1")->width, 60.0f);
  EXPECT_EQ(m.find("w1")->heights[3], 9.0f);
  EXPECT_EQ(m.order().back(), "w81");

  std::optional<kovra::RememberedSnow> taken = m.take("w1");
  ASSERT_TRUE(taken);
  EXPECT_EQ(taken->heights.size(), 30u);
  EXPECT_FALSE(m.contains("w1"));
  EXPECT_EQ(m.size(), 79u);
  EXPECT_FALSE(m.take("w1"));
}

TEST(DriftKeys, WindowHandlesRoundTrip) {
  EXPECT_EQ(kovra::windowDriftKey(0x1a2b3c), "w1715004");
  EXPECT_EQ(kovra::windowFromDriftKey("w1715004"), 0x1a2b3cu);
  EXPECT_EQ(kovra::windowFromDriftKey(kovra::windowDriftKey(UINT64_MAX)), UINT64_MAX);
  EXPECT_FALSE(kovra::windowFromDriftKey("bar"));
  EXPECT_FALSE(kovra::windowFromDriftKey("ground"));
  EXPECT_FALSE(kovra::windowFromDriftKey("w"));
  EXPECT_FALSE(kovra::windowFromDriftKey("w12x"));
}

// ---------------------------------------------------------------- away, shovel, guide

class DriftAway : public DriftEvents {};

TEST_F(DriftAway, AnHourAwayFillsTheDriftsAndTenMinutesAddsTenMinutesWorth) {
  in.level = 2;
  in.density = 1;
  // 1 h at level 2: about 236 pt per column before the caps.
  EXPECT_NEAR(kovra::awaySnowPerColumn(3600, 2, 1), 236.4f, 0.5f);
  EXPECT_NEAR(kovra::awaySnowPerColumn(600, 2, 1), 236.4f / 6, 0.1f);
  EXPECT_NEAR(kovra::awaySnowPerColumn(3600, 2, 0.5f), 236.4f / 2, 0.3f);

  updateScene(scene({win(5, 300, 400, 400, 300), win(6, 900, 200, 400, 300)}), 1);
  EXPECT_EQ(w.awayDeposit(3600, in), 3);  // two windows and the bar; the ground is under the bar
  EXPECT_NEAR(w.lastAwayDeposit, 236.4f, 0.5f);
  for (const char* key : {"w5", "w6"}) {
    for (float h : w.findDrift(key)->heights) ASSERT_EQ(h, 24.0f) << key;
  }
  // The bar fills where the sky is open; under the windows the snow was caught above.
  const Drift& full = *w.findDrift("bar");
  for (int c = 0; c < 150; ++c) ASSERT_EQ(full.heights[c], 22.0f) << c;
  for (int c = 156; c < 345; ++c) ASSERT_EQ(full.heights[c], 0.0f) << c;
  for (float h : w.findDrift("ground")->heights) ASSERT_EQ(h, 0.0f);

  // Level 0 for 10 minutes: each column gets about the per-column figure.
  SnowWorld light(kW, kH, 4);
  in.level = 0;
  light.updateDrifts(scene({}), in, 1);
  const float e = kovra::awaySnowPerColumn(600, 0, 1);
  EXPECT_EQ(light.awayDeposit(600, in), 1);
  EXPECT_FLOAT_EQ(light.lastAwayDeposit, e);
  const Drift& bar = *light.findDrift("bar");
  EXPECT_NEAR(total(bar) / bar.columns, e, 0.1f * e);
  EXPECT_LE(*std::max_element(bar.heights.begin(), bar.heights.end()), 1.5f * e);
  EXPECT_GE(*std::min_element(bar.heights.begin() + 1, bar.heights.end() - 1), 0.5f * e);
}

TEST_F(DriftAway, NothingIsAddedWithoutSnowfall) {
  updateScene(scene({win(5, 300, 400, 400, 300)}), 1);
  auto bare = [&] {
    for (const Drift* d : w.drifts) {
      if (total(*d) != 0.0f) return false;
    }
    return true;
  };
  WorldInput off = in;
  off.snowfall = false;
  EXPECT_EQ(w.awayDeposit(3600, off), 0);
  EXPECT_EQ(w.lastAwayDeposit, 0.0f);
  WorldInput quiet = in;
  quiet.level = 3;  // no snowfall at this level
  EXPECT_EQ(w.awayDeposit(3600, quiet), 0);
  EXPECT_EQ(w.awayDeposit(0, in), 0);
  EXPECT_EQ(w.awayDeposit(-50, in), 0);
  EXPECT_EQ(w.awayDeposit(std::nan(""), in), 0);
  EXPECT_EQ(w.awayDeposit(0.01, in), 0);  // far less than a flake's worth
  w.snowPaused = true;
  EXPECT_EQ(w.awayDeposit(3600, in), 0);
  EXPECT_TRUE(bare());

  // Thirty days away still stops at the caps.
  w.snowPaused = false;
  EXPECT_EQ(w.awayDeposit(2592000, in), 2);
  for (const Drift* d : w.drifts) {
    for (float h : d->heights) {
      ASSERT_TRUE(std::isfinite(h));
      ASSERT_LE(h, d->cap);
    }
  }
}

TEST_F(DriftAway, TheShovelClearsEverything) {
  w.fate = [](uint64_t, bool) { return Fate::Hidden; };
  updateScene(scene({win(5, 300, 400, 400, 300), win(6, 900, 200, 400, 300)}), 1);
  w.awayDeposit(3600, in);
  updateScene(scene({win(6, 900, 200, 400, 300)}), 1);  // w5 is remembered
  ASSERT_TRUE(w.driftMemory.contains("w5"));
  for (Drift* d : w.drifts) d->dirty = false;

  w.shovel();
  EXPECT_EQ(w.driftCount(), 3);  // the drifts stay, empty
  for (const Drift* d : w.drifts) {
    EXPECT_EQ(total(*d), 0.0f) << d->key;
    EXPECT_TRUE(d->dirty);
  }
  EXPECT_EQ(w.driftMemory.size(), 0u);
  // The snow flies off as puffs that carry nothing and land nowhere.
  const Flying f = flying(w);
  EXPECT_EQ(f.clumps, 0);
  EXPECT_GT(f.puffs, 100);
  EXPECT_LE(f.puffs, 500);
  for (const Particle& p : w.particles) ASSERT_FALSE(p.canLand);

  // The remembered window comes back empty.
  updateScene(scene({win(5, 300, 400, 400, 300), win(6, 900, 200, 400, 300)}), 1);
  EXPECT_EQ(total(*w.findDrift("w5")), 0.0f);
}

TEST_F(DriftAway, ResumingAfterAPauseForgetsRememberedDrifts) {
  w.fate = [](uint64_t, bool) { return Fate::Hidden; };
  show(300, 400);
  fill("w5", 10.0f);
  updateScene(scene({}), 1);
  ASSERT_TRUE(w.driftMemory.contains("w5"));
  w.reset();
  EXPECT_EQ(w.driftMemory.size(), 0u);
  show(300, 400);
  EXPECT_EQ(total(*w.findDrift("w5")), 0.0f);
}

TEST_F(DriftAway, TheGuideFillsItsWindowsDrift) {
  updateScene(scene({win(5, 300, 400, 400, 300), win(8, 900, 400, 36, 300)}), 1);
  EXPECT_FALSE(w.fillWindowDrift(8));    // no drift: too narrow
  EXPECT_FALSE(w.fillWindowDrift(999));  // no such window
  EXPECT_FALSE(w.snowShower(999, 260));
  ASSERT_TRUE(w.fillWindowDrift(5));
  const Drift& d = *w.findDrift("w5");
  EXPECT_EQ(d.heights[0], 0.0f);  // tapered at the ends
  EXPECT_EQ(d.heights[d.columns - 1], 0.0f);
  EXPECT_LT(d.heights[3], d.heights[40]);
  for (int c = 12; c < d.columns - 12; ++c) {
    ASSERT_TRUE(within(d.heights[c], 4.0f, 14.0f));
  }
  // It only ever raises the snow.
  Drift& e = *w.findDrift("w5");
  e.heights[50] = 20.0f;
  w.fillWindowDrift(5);
  EXPECT_EQ(e.heights[50], 20.0f);

  ASSERT_TRUE(w.snowShower(5, 260));
  EXPECT_EQ(w.flakeCount(), 260);
  for (const Particle& p : w.particles) {
    ASSERT_TRUE(within(p.x, d.x, d.x + 2 * d.columns));
    ASSERT_GE(p.y, d.y + 30);
    ASSERT_TRUE(p.canLand && p.anyDrift);
    ASSERT_FALSE(p.clump);
  }
}

}  // namespace
