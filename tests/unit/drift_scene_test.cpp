#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <vector>

#include "world/world.h"
#include "world_fixture.h"

namespace {

using kovra::Drift;
using kovra::DriftKind;
using kovra::Landing;
using kovra::SurfaceScene;
using namespace worldtest;

class DriftScene : public WorldFixture {
 protected:
  DriftScene() : WorldFixture(kW, kH, 11) {}
  void update(const SurfaceScene& s) { updateScene(s, 1.0); }  // slow changes: nothing here is a yank
};

TEST_F(DriftScene, WindowTopsBecomeDriftsInsideTheirCorners) {
  update(scene({win(45, 100, 300, 45, 200), win(46, 300, 300, 46, 200), win(7, 600, 200, 500, 400)}));
  EXPECT_EQ(w.findDrift("w45"), nullptr);  // 29 pt between the insets: too narrow
  const Drift& d = drift("w46");
  EXPECT_EQ(d.kind, DriftKind::Window);
  EXPECT_EQ(d.columns, 15);
  EXPECT_FLOAT_EQ(d.x, 308.0f);
  EXPECT_FLOAT_EQ(d.y, 500.0f);
  EXPECT_EQ(d.cap, 24.0f);
  const Drift& big = drift("w7");
  EXPECT_EQ(big.columns, 242);
  EXPECT_FLOAT_EQ(big.x, 608.0f);
  EXPECT_FLOAT_EQ(big.y, 600.0f);
  // Ranked by the windows in front, with or without a drift of their own;
  // the list runs windows, bar, ground.
  EXPECT_EQ(d.zRank, 1);
  EXPECT_EQ(big.zRank, 2);
  ASSERT_EQ(w.driftCount(), 4);
  EXPECT_EQ(w.drifts[0]->key, "w46");
  EXPECT_EQ(w.drifts[1]->key, "w7");
  EXPECT_EQ(w.drifts[2]->key, "bar");
  EXPECT_EQ(w.drifts[3]->key, "ground");
  EXPECT_FLOAT_EQ(drift("bar").y, 40.0f);
  EXPECT_EQ(drift("bar").columns, 960);
  EXPECT_EQ(drift("bar").cap, 22.0f);
  EXPECT_EQ(drift("ground").cap, 30.0f);
  EXPECT_EQ(w.occluders.size(), 3u);
  EXPECT_TRUE(w.taskbarPresent);
}

TEST_F(DriftScene, LedgesAtTheScreenEdgesOrOffItCarryNoSnow) {
  update(scene({win(1, 100, 500, 400, kH - 501),  // top 1 pt under the screen's top edge
                win(2, 100, 500, 400, kH - 502),  // 2 pt: still a ledge
                win(3, 100, -400, 400, 401),      // top 1 pt above the bottom
                win(4, kW - 8.5f, 100, 400, 300), // only 0.5 pt of its span on screen
                win(5, 2500, 100, 400, 300)}));   // on another monitor entirely
  EXPECT_EQ(w.findDrift("w1"), nullptr);
  EXPECT_NE(w.findDrift("w2"), nullptr);
  EXPECT_EQ(w.findDrift("w3"), nullptr);
  EXPECT_EQ(w.findDrift("w4"), nullptr);
  EXPECT_EQ(w.findDrift("w5"), nullptr);
  EXPECT_EQ(w.occluders.size(), 4u);  // the one on another monitor hides nothing here

  // A window half off the left edge: the columns beyond the edge stay hidden.
  update(scene({win(6, -100, 200, 400, 300)}));
  const Drift& d = drift("w6");
  EXPECT_FLOAT_EQ(d.x, -92.0f);
  EXPECT_EQ(d.limits[45], 0.0f);  // centre at -1
  EXPECT_EQ(d.limits[46], 24.0f);  // centre at 1
  EXPECT_EQ(w.findDrift("w2"), nullptr);  // retired: it left the scene
}

TEST_F(DriftScene, MaximisedWindowsCarryNoSnowAndHideTheTaskbarsWithoutClearingIt) {
  update(scene({win(1, 300, 300, 800, 500)}));
  Drift& bar = drift("bar");
  for (float& h : bar.heights) h = 10.0f;

  SurfaceScene full = scene({win(1, 0, 40, kW, kH - 40, true)});
  full.frontIsFull = true;
  update(full);
  EXPECT_EQ(w.findDrift("w1"), nullptr);
  ASSERT_EQ(w.findDrift("bar"), &bar);
  for (int c = 0; c < bar.columns; ++c) {
    ASSERT_EQ(bar.limits[c], 0.0f);
    ASSERT_EQ(bar.heights[c], 10.0f);
  }
  EXPECT_FALSE(w.findLanding(500, 100, -10, true));  // ground and bar both hidden
  EXPECT_TRUE(bar.dirty);

  update(scene({win(1, 300, 300, 800, 500)}));  // restored
  for (int c = 0; c < bar.columns; ++c) {
    ASSERT_EQ(bar.limits[c], 22.0f);
    ASSERT_EQ(bar.heights[c], 10.0f);
  }
  EXPECT_NE(w.findDrift("w1"), nullptr);

  // With drifts on windows switched off the windows still hide the ground.
  in.onWindows = false;
  update(scene({win(1, 300, 0, 800, 500)}, false));
  EXPECT_EQ(w.findDrift("w1"), nullptr);
  EXPECT_EQ(w.findDrift("bar"), nullptr);
  const Drift& ground = drift("ground");
  EXPECT_EQ(ground.limits[149], 30.0f);
  EXPECT_EQ(ground.limits[150], 0.0f);
  EXPECT_EQ(ground.limits[549], 0.0f);
  EXPECT_EQ(ground.limits[550], 30.0f);
}

TEST_F(DriftScene, WindowsInFrontAndTheTaskbarHideWhatLiesBehind) {
  // Front window A reaches higher than the back window B, whose top pokes out
  // to the right of A; D hangs 6 pt above B's ledge.
  update(scene({win(1, 100, 200, 600, 500), win(3, 1000, 606, 200, 300), win(2, 500, 150, 800, 450)}));
  const Drift& a = drift("w1");
  const Drift& b = drift("w2");
  const Drift& dd = drift("w3");
  const Drift& bar = drift("bar");
  const Drift& ground = drift("ground");
  EXPECT_EQ(b.zRank, 2);
  // B spans 508..1292; A covers it up to x 700, i.e. its first 96 columns.
  EXPECT_EQ(b.limits[95], 0.0f);
  EXPECT_EQ(b.limits[96], 24.0f);
  // Under D (x 1000..1200) snow on B can only pile up 6 pt.
  EXPECT_EQ(b.limits[245], 24.0f);
  EXPECT_EQ(b.limits[246], 6.0f);
  EXPECT_EQ(b.limits[345], 6.0f);
  EXPECT_EQ(b.limits[346], 24.0f);
  for (float l : a.limits) ASSERT_EQ(l, 24.0f);
  for (float l : dd.limits) ASSERT_EQ(l, 24.0f);
  // The taskbar hides the whole ground; windows do not cover the taskbar.
  for (float l : ground.limits) ASSERT_EQ(l, 0.0f);
  for (float l : bar.limits) ASSERT_EQ(l, 22.0f);

  // Snow lands on the highest visible surface it crosses.
  std::optional<Landing> hit = w.findLanding(600, 1000, -10, true);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->drift, &a);  // over both windows, A's ledge is in front and higher
  hit = w.findLanding(1250, 1000, -10, true);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->drift, &b);
  EXPECT_EQ(hit->surface, 600.0f);
  hit = w.findLanding(1100, 1000, -10, true);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->drift, &dd);
  hit = w.findLanding(1100, 900, -10, true);  // below D's ledge: B's, under D
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->drift, &b);
  hit = w.findLanding(1600, 1000, -10, true);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->drift, &bar);
  EXPECT_EQ(hit->surface, 40.0f);
  EXPECT_FALSE(w.findLanding(1600, 39, -10, true));  // the ground lies hidden under the bar

  // Taking the taskbar away uncovers the ground.
  update(scene({win(1, 100, 200, 600, 500)}, false));
  EXPECT_EQ(w.findDrift("bar"), nullptr);
  EXPECT_EQ(drift("ground").limits[0], 30.0f);
  EXPECT_FALSE(w.taskbarPresent);
}

TEST_F(DriftScene, SlidingUnderAWindowPushesTheSnowIntoTheOpen) {
  // B (back) spans 208..572; A (front) starts to its right.
  update(scene({win(1, 600, 0, 400, 700), win(2, 200, 0, 380, 500)}, false));
  Drift& b = drift("w2");
  ASSERT_EQ(b.columns, 182);
  for (float& h : b.heights) h = 5.0f;
  const float before = total(b);

  // A moves 60 pt left: 16 of B's columns go under it.
  update(scene({win(1, 540, 0, 400, 700), win(2, 200, 0, 380, 500)}, false));
  for (int c = 166; c < 182; ++c) {
    ASSERT_EQ(b.limits[c], 0.0f);
    ASSERT_EQ(b.heights[c], 0.0f);
  }
  EXPECT_NEAR(total(b), before, 1e-3f);
  EXPECT_GT(b.heights[165], 5.0f);
  EXPECT_LE(b.heights[165], 24.0f);
  ASSERT_EQ(b.launchColumns.size(), 16u);
  EXPECT_EQ(b.launchColumns[0].column, 166);
  EXPECT_EQ(b.launchColumns[0].direction, -1);
  EXPECT_EQ(w.clumpCount, 0);  // everything found room

  // Full to the cap, the pushed snow has nowhere to go: it flies off as
  // clumps carrying all of it.
  for (int c = 0; c < 166; ++c) b.heights[c] = 24.0f;
  update(scene({win(1, 520, 0, 400, 700), win(2, 200, 0, 380, 500)}, false));
  float flying = 0;
  int carrying = 0;
  for (const kovra::Particle& p : w.particles) {
    if (p.clump && p.snow > 0) {
      flying += p.snow;
      ++carrying;
      EXPECT_LT(p.vx, 0.0f);  // away from the cover
      EXPECT_GT(p.vy, 0.0f);
    }
  }
  EXPECT_EQ(carrying, 10);
  EXPECT_NEAR(flying, 10 * 24.0f, 1e-3f);
  EXPECT_EQ(b.heights[156], 0.0f);
}

TEST_F(DriftScene, AWideCoverKeepsTheSnowHiddenUntilItMovesAway) {
  update(scene({win(1, 1200, 0, 400, 700), win(2, 200, 0, 380, 500)}, false));
  Drift& b = drift("w2");
  for (float& h : b.heights) h = 5.0f;
  // A jumps over all of B: 182 columns at once.
  update(scene({win(1, 150, 0, 500, 700), win(2, 200, 0, 380, 500)}, false));
  for (int c = 0; c < b.columns; ++c) {
    ASSERT_EQ(b.limits[c], 0.0f);
    ASSERT_EQ(b.heights[c], 5.0f);
  }
  EXPECT_TRUE(b.launchColumns.empty());
  std::optional<Landing> hit = w.findLanding(300, 1000, 400, true);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->drift->key, "w1");  // A's own ledge, not B's hidden one
  update(scene({win(1, 1200, 0, 400, 700), win(2, 200, 0, 380, 500)}, false));
  for (int c = 0; c < b.columns; ++c) {
    ASSERT_EQ(b.limits[c], 24.0f);
    ASSERT_EQ(b.heights[c], 5.0f);
  }
}

TEST_F(DriftScene, AWindowThatGrowsOrShrinksKeepsItsSnowInPlace) {
  update(scene({win(1, 100, 100, 416, 400)}, false));
  Drift& d = drift("w1");
  ASSERT_EQ(d.columns, 200);
  for (int c = 0; c < d.columns; ++c) d.heights[c] = static_cast<float>(c % 7);
  const std::vector<float> old = d.heights;

  // Dragging the left edge 40 pt right: the first 20 columns are gone, the
  // rest stay where they were on the screen.
  SurfaceScene dragged = scene({win(1, 140, 100, 376, 400)}, false);
  dragged.pressed = true;
  w.updateDrifts(dragged, in, now + 1);
  ASSERT_EQ(w.findDrift("w1"), &d);
  ASSERT_EQ(d.columns, 180);
  EXPECT_FLOAT_EQ(d.x, 148.0f);
  for (int c = 0; c < 180; ++c) ASSERT_EQ(d.heights[c], old[c + 20]) << c;
  // The snow over the cut-off part crumbled down.
  float flying = 0;
  for (const kovra::Particle& p : w.particles) flying += p.snow;
  float cut = 0;
  for (int c = 0; c < 20; ++c) cut += old[c] > 0.3f ? old[c] : 0.0f;
  EXPECT_GT(flying, cut - 2.0f);
  EXPECT_LE(flying, cut + 1e-3f);
}

}  // namespace
