// The GPU renderer's device-free rules: flake bitmaps, the on-screen check,
// drift and sprite placement and the drift shape cache.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "render/gpu_rules.h"
#include "render/soft_painter.h"

namespace kovra {
namespace {

TEST(GpuRules, FlakeBitmapIsTheSmallestAtLeastTheTargetSize) {
  const struct {
    float side;
    int bitmap;
  } cases[] = {{5, 6}, {6, 6}, {6.01f, 9}, {10, 13}, {13, 13}, {36.5f, 52}, {52, 52}, {60, 52}, {0, 6}};
  for (const auto& c : cases)
    EXPECT_EQ(kFlakeBitmapSides[static_cast<size_t>(flakeBitmapFor(c.side))], c.bitmap) << c.side;
}

TEST(GpuRules, FlakeBitmapIsTheSupersampledFlakePicture) {
  for (int side : kFlakeBitmapSides) {
    const std::vector<uint32_t> px = flakeBitmapPixels(side);
    ASSERT_EQ(px.size(), static_cast<size_t>(side * side));
    EXPECT_EQ(px[0], 0u) << "corners lie outside the flake";
    // The centre is the opaque white body; premultiplied colours never pass alpha.
    const uint32_t c = px[static_cast<size_t>(side / 2) * side + side / 2];
    EXPECT_GE(c >> 24, 200u) << side;
    for (uint32_t p : px)
      for (int shift : {0, 8, 16}) ASSERT_LE((p >> shift) & 255u, p >> 24);
  }
  // The 52 px bitmap is close to the picture sampled once at each pixel centre.
  const std::vector<uint32_t> big = flakeBitmapPixels(52);
  for (int y = 0; y < 52; y += 5)
    for (int x = 0; x < 52; x += 5) {
      const Rgba c = flakePictureAt((x + 0.5f) / 52 - 0.5f, (y + 0.5f) / 52 - 0.5f);
      EXPECT_NEAR(static_cast<float>(big[static_cast<size_t>(y) * 52 + x] >> 24) / 255.0f, c.a, 0.08f) << x << "," << y;
    }
}

TEST(GpuRules, FlakeSquareOutsideTheMonitorIsSkipped) {
  EXPECT_TRUE(flakeSquareVisible(-4, 10, 10, 100, 50));   // pokes in from the left
  EXPECT_FALSE(flakeSquareVisible(-5, 10, 10, 100, 50));  // touches the edge only
  EXPECT_FALSE(flakeSquareVisible(50, 56, 10, 100, 50));
  EXPECT_TRUE(flakeSquareVisible(104, 49, 10, 100, 50));
}

TEST(GpuRules, StrokesCarryAsMuchColourAsTheCpuPaintersLines) {
  const struct {
    float width, stroke;
  } cases[] = {{0, 0.25f}, {0.5f, 0.5625f}, {1, 1}, {3.75f, 3.75f}, {-1, 0}};
  for (const auto& c : cases) EXPECT_FLOAT_EQ(strokeWidthFor(c.width), c.stroke) << c.width;
}

TEST(GpuRules, CheckDotIsDrawnOnceTheCountdownEndsAndOnlyWhileFullyShown) {
  int countdown = kCheckFramesAfterAttach;
  int frames = 0, due = 0;
  // Faded frames do not count down.
  for (int i = 0; i < 100; ++i) EXPECT_FALSE(checkFrameDue(countdown, 0.999f));
  EXPECT_EQ(countdown, kCheckFramesAfterAttach);
  while (frames < 100) {
    ++frames;
    if (checkFrameDue(countdown, 1.0f)) {
      ++due;
      EXPECT_EQ(frames, kCheckFramesAfterAttach);
    }
  }
  EXPECT_EQ(due, 1) << "a countdown at 0 has ended the checking";
  EXPECT_EQ(countdown, 0);
}

TEST(GpuRules, CheckDotColourTest) {
  const struct {
    uint32_t pixel;  // 0x00BBGGRR
    bool seen;
  } cases[] = {
      {0x00FF00FFu, true},  {0x00B500B5u, true},  {0x00B559B5u, true},   // magenta, its darkest accepted shades
      {0x00B400B5u, false}, {0x00B500B4u, false}, {0x00B55AB5u, false},  // just outside on each channel
      {0x00FFFFFFu, false}, {0x00000000u, false}, {kInvalidPixel, false},
  };
  for (const auto& c : cases) EXPECT_EQ(checkDotSeen(c.pixel), c.seen) << std::hex << c.pixel;
}

TEST(GpuRules, MissesCountAcrossMonitorsAndTheThirdAsksForTheSwitch) {
  // Three monitors of one renderer whose first checks all miss.
  int misses = 0;
  int countdowns[3] = {0, 0, 0};
  EXPECT_EQ(checkCount(0x00102030u, misses, countdowns[0]), CheckOutcome::Again);
  EXPECT_EQ(countdowns[0], kCheckFramesAfterMiss);
  EXPECT_EQ(checkCount(0x00102030u, misses, countdowns[1]), CheckOutcome::Again);
  EXPECT_EQ(checkCount(0x00102030u, misses, countdowns[2]), CheckOutcome::Switch);
  EXPECT_EQ(countdowns[2], 0) << "no further check is planned";
  EXPECT_EQ(checkLogLine(CheckOutcome::Switch, 0x00102030u),
            "GPU mode check: screen pixel 0x102030, our dot is not there (3 times)");
  EXPECT_EQ(checkLogLine(CheckOutcome::Again, kInvalidPixel),
            "GPU mode check: not seen yet (pixel 0xffffff), again in a moment");

  // A dot seen on the second check ends the checking of that overlay.
  misses = 0;
  int countdown = 0;
  EXPECT_EQ(checkCount(0x00000000u, misses, countdown), CheckOutcome::Again);
  int frames = 0;
  while (!checkFrameDue(countdown, 1.0f)) ++frames;
  EXPECT_EQ(frames + 1, kCheckFramesAfterMiss);
  EXPECT_EQ(checkCount(0x00FF00FFu, misses, countdown), CheckOutcome::Seen);
  EXPECT_EQ(checkLogLine(CheckOutcome::Seen, 0x00FF00FFu), "GPU mode check: our drawing is on screen");
  for (int i = 0; i < 100; ++i) EXPECT_FALSE(checkFrameDue(countdown, 1.0f));
  EXPECT_EQ(misses, 1);
}

TEST(GpuRules, DriftLocalPointsLandWhereTheSoftPainterPutsThem) {
  const struct {
    float originX, baseY, heightDip, scale, x, h, px, py;
  } cases[] = {
      {100, 40, 1080, 1.0f, 0, 0, 100, 1040},
      {100, 40, 1080, 1.0f, 10, 5, 110, 1035},
      {100, 40, 720, 1.5f, 10, 5, 165, 1012.5f},
      {-20, 0, 800, 1.25f, 4, -0.6f, -20, 1000.75f},
  };
  for (const auto& c : cases) {
    const DrawPoint p = applyAffine(driftToPixels(c.originX, c.baseY, c.heightDip, c.scale), {c.x, c.h});
    EXPECT_FLOAT_EQ(p.x, c.px);
    EXPECT_FLOAT_EQ(p.y, c.py);
    // The same point the way the soft painter maps world points.
    EXPECT_FLOAT_EQ(p.y, (c.heightDip - (c.baseY + c.h)) * c.scale);
  }
}

TEST(GpuRules, DriftFiguresCloseTheBodyBelowTheGroundAndSkipShortRuns) {
  const std::vector<std::vector<OutlinePoint>> runs = {{{0, 1}, {5, 3}, {10, 0}}, {{20, 2}}, {{30, 1}, {40, 1}}};
  const DriftFigures f = driftFigures(runs);
  ASSERT_EQ(f.bodies.size(), 2u);
  ASSERT_EQ(f.rims.size(), 2u);
  ASSERT_EQ(f.bodies[0].size(), 5u);
  EXPECT_FLOAT_EQ(f.bodies[0].front().x, 0);
  EXPECT_FLOAT_EQ(f.bodies[0].front().y, -0.6f);
  EXPECT_FLOAT_EQ(f.bodies[0][2].y, 3);
  EXPECT_FLOAT_EQ(f.bodies[0].back().x, 10);
  EXPECT_FLOAT_EQ(f.bodies[0].back().y, -0.6f);
  EXPECT_EQ(f.rims[0].size(), 3u);
  EXPECT_FLOAT_EQ(f.rims[1].back().x, 40);
}

TEST(GpuRules, DriftShapesAreRebuiltOnlyWhenTheShapeMoves) {
  DriftShapeCache<int> cache;
  std::vector<std::vector<OutlinePoint>> a = {{{0, 1}, {10, 2}}}, b = {{{0, 4}, {8, 2}}};
  DriftDraw da{5, 0, a, 1}, db{50, 0, b, 1};
  bool stale = false;
  cache.find(da, stale).shape = 1;
  EXPECT_TRUE(stale);
  cache.find(db, stale).shape = 2;
  EXPECT_TRUE(stale) << "another drift with the same version has its own entry";
  da.originX = 300;  // the window moved: the shape in drift units stays
  EXPECT_EQ(cache.find(da, stale).shape, 1);
  EXPECT_FALSE(stale);
  da.version = 2;
  cache.find(da, stale);
  EXPECT_TRUE(stale);
  cache.sweep();  // both were asked for: both stay
  EXPECT_EQ(cache.entries.size(), 2u);
  cache.find(da, stale);
  cache.sweep();  // b's drift is gone
  EXPECT_EQ(cache.entries.size(), 1u);
  // A drift made anew where a gone one kept its runs, with a version that
  // happens to match, is still rebuilt.
  a[0][1].x = 12;
  cache.find(da, stale);
  EXPECT_TRUE(stale);
}

TEST(GpuRules, SpriteMapTurnsCounterClockwiseAndMirrors) {
  SpriteDraw s;
  s.x = 100;
  s.y = 50;
  s.width = 40;
  s.height = 20;
  const float heightDip = 200, scale = 1.5f;
  // The bitmap's right edge centre (w/2, 0), 80 x 40 px bitmap.
  const struct {
    float angle;
    bool mirrored;
    float px, py;
  } cases[] = {
      {0, false, 150 + 30, 225},
      {0, true, 150 - 30, 225},
      {std::numbers::pi_v<float> / 2, false, 150, 225 - 30},  // a quarter turn up the screen
      {std::numbers::pi_v<float> / 2, true, 150, 225 + 30},
  };
  for (const auto& c : cases) {
    s.angle = c.angle;
    s.mirrored = c.mirrored;
    const DrawPoint p = applyAffine(spriteToPixels(s, 80, 40, heightDip, scale), {40, 0});
    EXPECT_NEAR(p.x, c.px, 1e-3f) << c.angle << c.mirrored;
    EXPECT_NEAR(p.y, c.py, 1e-3f) << c.angle << c.mirrored;
  }
}

}  // namespace
}  // namespace kovra
