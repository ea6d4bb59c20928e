#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "world/drift.h"
#include "world/world.h"
#include "world_fixture.h"

namespace {

using kovra::Drift;
using kovra::DriftKind;
using kovra::makeDrift;
using kovra::OutlinePoint;
using kovra::Particle;
using kovra::PointerInput;
using kovra::Rect;
using kovra::SceneWindow;
using kovra::settleDrift;
using kovra::smoothHeight;
using kovra::SnowWorld;
using kovra::SurfaceScene;
using kovra::WorldInput;

using worldtest::total;
using worldtest::within;

float steepest(const Drift& d) {
  float s = 0;
  for (size_t i = 0; i + 1 < d.heights.size(); ++i) s = std::max(s, std::fabs(d.heights[i + 1] - d.heights[i]));
  return s;
}

TEST(DriftSettle, SteepStepsSlumpWithoutLosingSnow) {
  Drift d = makeDrift("w1", DriftKind::Window, 0, 300, 80);  // 40 columns
  d.heights[20] = 20.0f;
  d.heights[21] = 12.0f;
  const float start = total(d);
  for (int i = 0; i < 400; ++i) settleDrift(d);
  EXPECT_LE(steepest(d), 1.15f + 0.05f);
  EXPECT_LT(d.heights[20], 6.0f);
  // What left the columns went over the ends, nowhere else.
  EXPECT_NEAR(total(d) + d.spillLeft + d.spillRight, start, 1e-3f);
  EXPECT_NEAR(d.heights[0], d.heights[39], 0.5f);  // spread both ways alike
  for (float h : d.heights) {
    ASSERT_TRUE(std::isfinite(h));
    ASSERT_GE(h, 0.0f);
  }

  // A flat, low drift has nothing to do.
  Drift flat = makeDrift("w2", DriftKind::Window, 0, 300, 80);
  std::fill(flat.heights.begin(), flat.heights.end(), 0.8f);
  EXPECT_FALSE(settleDrift(flat));
}

TEST(DriftSettle, SlumpingSnowRespectsRoomAndHiddenColumns) {
  Drift d = makeDrift("w1", DriftKind::Window, 0, 300, 40);  // 20 columns
  d.heights[10] = 20.0f;
  d.limits[11] = 3.0f;   // a window hangs 3 pt above here
  d.limits[9] = 0.0f;    // covered by a window in front
  d.heights[9] = 15.0f;  // snow that was there before it came
  for (int i = 0; i < 300; ++i) settleDrift(d);
  EXPECT_LE(d.heights[11], 3.0f);
  // The hidden snow stays where it is, to show again when the cover goes.
  EXPECT_EQ(d.heights[9], 15.0f);
  EXPECT_EQ(d.heights[8], 0.0f);
  // Some slid right, past the low column, no further than the slope allows.
  EXPECT_GT(d.heights[12], 0.0f);
  EXPECT_LE(d.heights[12], d.heights[11]);
  EXPECT_NEAR(total(d), 35.0f - d.spillLeft - d.spillRight, 1e-3f);
}

TEST(DriftSettle, SnowAtTheEndsSpillsOffAsClumps) {
  SnowWorld w(1000, 800, 5);
  Drift& d = w.insertDrift(makeDrift("w1", DriftKind::Window, 100, 400, 60));  // 30 columns
  d.zRank = 0;
  d.heights[0] = 10.0f;
  d.heights[29] = 10.0f;
  const float start = total(d);
  float thrown = 0;
  int left = 0, right = 0;
  for (int step = 0; step < 200; ++step) {
    const int before = static_cast<int>(w.particles.size());
    w.stepDrifts(step / 60.0);
    for (int i = before; i < static_cast<int>(w.particles.size()); ++i) {
      const Particle& p = w.particles[i];
      ASSERT_TRUE(p.clump);
      ASSERT_TRUE(p.canLand);
      ASSERT_GT(p.snow, 0.7f);
      ASSERT_FLOAT_EQ(p.y, 401.0f);
      if (p.x < 100) {
        EXPECT_FLOAT_EQ(p.x, 98.5f);
        EXPECT_LT(p.vx, 0.0f);
        ++left;
      } else {
        EXPECT_FLOAT_EQ(p.x, 161.5f);
        EXPECT_GT(p.vx, 0.0f);
        ++right;
      }
      thrown += p.snow;
    }
  }
  EXPECT_GT(left, 0);
  EXPECT_GT(right, 0);
  EXPECT_NEAR(total(d) + d.spillLeft + d.spillRight + thrown, start, 1e-3f);
  EXPECT_LE(d.spillLeft, 0.7f);
}

TEST(DriftSettle, AQuietDriftWakesWhenSnowArrives) {
  SnowWorld w(1000, 800, 6);
  Drift& d = w.insertDrift(makeDrift("w1", DriftKind::Window, 100, 400, 60));
  for (int step = 0; step < 40; ++step) w.stepDrifts(step / 60.0);
  EXPECT_EQ(d.quietPasses, 30);
  kovra::addSnow(d, 15, 12.0f);  // a 6-pt spike
  w.stepDrifts(1.0);
  EXPECT_LT(d.heights[15], 6.0f);
  EXPECT_EQ(d.quietPasses, 0);
}

TEST(DriftSettle, SmoothedHeightsAreWhatIsDrawn) {
  Drift d = makeDrift("w1", DriftKind::Window, 0, 300, 20);  // 10 columns
  d.heights = {4, 0, 8, 8, 8, 2, 2, 2, 6, 2};
  d.limits[6] = 0.4f;  // hidden
  d.limits[2] = 3.0f;
  EXPECT_FLOAT_EQ(smoothHeight(d, 0), (2 * 4 + 4 + 0) / 4.0f);  // the end repeats itself
  EXPECT_FLOAT_EQ(smoothHeight(d, 1), (0 + 4 + 8) / 4.0f);
  EXPECT_FLOAT_EQ(smoothHeight(d, 2), 3.0f);  // no higher than the room
  EXPECT_FLOAT_EQ(smoothHeight(d, 6), 0.0f);
  EXPECT_FLOAT_EQ(smoothHeight(d, 9), (2 * 2 + 6 + 2) / 4.0f);
  EXPECT_FLOAT_EQ(smoothHeight(d, -1), 0.0f);
  EXPECT_FLOAT_EQ(smoothHeight(d, 10), 0.0f);
}

TEST(DriftSettle, OutlineRunsBreakWhereSnowIsHiddenOrThin) {
  SnowWorld w(1000, 800, 7);
  Drift& d = w.insertDrift(makeDrift("w1", DriftKind::Window, 100, 400, 40));  // 20 columns
  std::fill(d.heights.begin(), d.heights.end(), 1.0f);  // flat: settling keeps it
  d.heights[0] = d.heights[19] = 0.8f;                  // no spill at the ends
  for (int c = 8; c < 11; ++c) d.limits[c] = 0.0f;      // a window in front
  d.quietPasses = 30;
  w.stepDrifts(5.0);
  EXPECT_FALSE(d.dirty);
  EXPECT_EQ(d.outlineVersion, 1);
  EXPECT_EQ(d.lastRebuild, 5.0);
  ASSERT_EQ(d.outline.size(), 2u);
  const std::vector<OutlinePoint>& a = d.outline[0];
  // Columns 0..7: the left edge, the centres of columns 0, 2, 4, 6, the right edge.
  ASSERT_EQ(a.size(), 6u);
  EXPECT_FLOAT_EQ(a[0].x, 0.0f);
  EXPECT_FLOAT_EQ(a[0].height, smoothHeight(d, 0));
  EXPECT_FLOAT_EQ(a[1].x, 1.0f);
  EXPECT_FLOAT_EQ(a[4].x, 13.0f);
  EXPECT_FLOAT_EQ(a[4].height, smoothHeight(d, 6));
  EXPECT_FLOAT_EQ(a[5].x, 16.0f);
  EXPECT_FLOAT_EQ(a[5].height, smoothHeight(d, 7));
  const std::vector<OutlinePoint>& b = d.outline[1];
  EXPECT_FLOAT_EQ(b.front().x, 22.0f);
  EXPECT_FLOAT_EQ(b.back().x, 40.0f);

  // New snow marks it dirty; it is redrawn at most every 0.1 s.
  kovra::addSnow(d, 15, 0.2f);
  w.stepDrifts(5.05);
  EXPECT_TRUE(d.dirty);
  EXPECT_EQ(d.outlineVersion, 1);
  w.stepDrifts(5.11);
  EXPECT_FALSE(d.dirty);
  EXPECT_EQ(d.outlineVersion, 2);

  // A column thinner than 0.5 pt breaks the run too; bare drifts draw nothing.
  std::fill(d.heights.begin(), d.heights.end(), 0.0f);
  d.lastRebuild = -1;
  d.dirty = true;
  w.stepDrifts(6.0);
  EXPECT_TRUE(d.outline.empty());
  EXPECT_EQ(d.outlineVersion, 3);
}

// Snowing hard on windows that are dragged about: whatever happens, every
// column stays a sane amount of snow.
TEST(DriftSettle, SnowStaysSaneUnderABlizzardOfWindowMoves) {
  SnowWorld::setTestStarsForTesting(false);
  SnowWorld w(1920, 1080, 99);
  w.fate = [](uint64_t window, bool whole) { return window % 2 || whole ? kovra::Fate::Hidden : kovra::Fate::Gone; };
  WorldInput in;
  in.level = 2;
  in.wind = 0.7f;
  const PointerInput away;
  kovra::WorldRandom r(1234);
  double now = 0;
  std::vector<SceneWindow> windows;
  for (uint64_t i = 0; i < 12; ++i) {
    windows.push_back(SceneWindow{100 + i, Rect{r.next() * 1600, 40 + r.next() * 500, 120 + r.next() * 600,
                                                 80 + r.next() * 400},
                                  false});
  }
  for (int frame = 0; frame < 2000; ++frame) {
    now += 1.0 / 60.0;
    if (frame % 3 == 0) {
      SurfaceScene s;
      s.taskbarPresent = true;
      s.taskbar = Rect{0, 0, 1920, 40};
      s.taskbarDrift = true;
      s.pressed = r.next() < 0.7f;
      s.frontIsFull = r.next() < 0.05f;
      for (SceneWindow& sw : windows) {
        if (r.next() < 0.3f) {
          sw.rect.x += (r.next() - 0.5f) * 200;
          sw.rect.y += (r.next() - 0.5f) * 120;
        }
        if (r.next() < 0.05f) sw.rect.width = 40 + r.next() * 700;
      }
      for (const SceneWindow& sw : windows) {
        if (r.next() < 0.9f) s.windows.push_back(sw);
      }
      if (frame % 300 == 0) std::swap(windows[0], windows[5]);
      w.updateDrifts(s, in, now);
    }
    w.stepWorld(1.0f / 60.0f, in, away, now);
    if (frame == 1000) w.awayDeposit(600, in);
  }
  EXPECT_GT(w.driftCount(), 2);
  EXPECT_LE(w.clumpCount, 600);
  for (const Drift* d : w.drifts) {
    ASSERT_EQ(static_cast<int>(d->heights.size()), d->columns);
    ASSERT_EQ(static_cast<int>(d->limits.size()), d->columns);
    for (int c = 0; c < d->columns; ++c) {
      ASSERT_TRUE(std::isfinite(d->heights[c])) << d->key;
      ASSERT_TRUE(within(d->heights[c], 0.0f, d->cap + 1e-4f)) << d->key;
      ASSERT_GE(d->limits[c], 0.0f);
    }
    for (const auto& run : d->outline) {
      for (const OutlinePoint& p : run) {
        ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.height));
        ASSERT_LE(p.height, d->cap + 1e-4f);
      }
    }
  }
  for (const Particle& p : w.particles) {
    ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.snow));
    ASSERT_GE(p.snow, 0.0f);
  }
  EXPECT_LE(w.driftMemory.size(), kovra::DriftMemory::kCapacity);
}

}  // namespace
