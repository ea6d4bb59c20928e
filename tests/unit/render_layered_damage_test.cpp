#include "render/layered_damage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "render/soft_painter.h"
#include "render/sprites.h"

namespace {

using kovra::DrawPoint;
using kovra::LayeredDamage;
using kovra::OutlinePoint;
using kovra::PixelBox;
using kovra::PresentPlan;
using kovra::SoftPainter;

constexpr int kW = 96, kH = 64;

// One frame's drawing: a few of every operation at places picked by the
// seed, some of them partly or wholly off the buffer.
struct Frame {
  std::vector<kovra::FlakeDraw> flakes;
  std::vector<DrawPoint> circles;
  std::vector<std::pair<DrawPoint, DrawPoint>> lines;
  std::vector<std::vector<OutlinePoint>> drift;
  std::vector<kovra::SpriteDraw> sprites;
  float driftX = 0;
};

Frame randomFrame(std::mt19937& rng, int things, int w, int h) {
  std::uniform_real_distribution<float> x(-20.0f, w + 20.0f), y(-20.0f, h + 20.0f), size(0.5f, 9.0f);
  Frame f;
  for (int i = 0; i < things; ++i) {
    f.flakes.push_back({x(rng), y(rng), size(rng), 1.0f});
    if (i % 3 == 0) f.circles.push_back({x(rng), y(rng)});
    if (i % 4 == 0) f.lines.push_back({{x(rng), y(rng)}, {x(rng), y(rng)}});
    if (i % 5 == 0) f.sprites.push_back({0, x(rng), y(rng), size(rng) * 2, size(rng) * 2, i % 2 ? 0.4f : 0.0f});
  }
  if (things % 2) {
    f.driftX = x(rng) * 0.5f;
    f.drift.push_back({{0, 0}, {10, size(rng)}, {25, size(rng)}, {40, 0}});
  }
  return f;
}

void draw(SoftPainter& p, const Frame& f) {
  for (const auto& fl : f.flakes) p.drawFlake(fl);
  for (const auto& c : f.circles) p.fillCircle(c, 3.0f, {0.9f, 0.2f, 0.1f, 0.8f});
  for (const auto& [a, b] : f.lines) p.drawLine(a, b, 1.5f, {0.1f, 0.8f, 0.3f, 1.0f});
  for (const auto& s : f.sprites) p.drawSprite(s);
  if (!f.drift.empty()) p.drawDrift({f.driftX, 2.0f, f.drift, 1});
}

// What the screen shows is the window's picture inside its box and nothing
// outside it, and the window's picture is only ever changed inside the dirty
// part (or all of it when the box moved). So a bound too small, a clear that
// misses something, a box that leaves something out or a skipped frame that
// mattered all leave the screen different from a fresh drawing.
TEST(RenderLayeredDamage, ScreenUpdatedOnlyThroughThePlansMatchesAFreshFrameEveryTime) {
  kovra::SpriteSet sprites;
  kovra::Sprite pic;
  pic.width = pic.height = 8;
  pic.pixels.assign(64, 0xC0806040u);
  sprites.slots[0] = pic;

  // Four grid cells across and three down, so the window has room to shrink.
  constexpr int kW = 4 * kovra::kWindowGrid, kH = 3 * kovra::kWindowGrid;
  std::mt19937 rng(7);
  std::vector<uint32_t> buffer(kW * kH, 0), window(kW * kH, 0xFFFFFFFFu);
  LayeredDamage damage;
  int presented = 0, skipped = 0, moves = 0;
  for (int frame = 0; frame < 480; ++frame) {
    // Busy frames, stretches of empty ones, and quiet stretches with a
    // little drawing along the top only (a garland's band).
    const int phase = (frame / 60) % 4;
    const int things = phase == 2 ? 0 : (frame % 7) * 3;
    Frame f = randomFrame(rng, things, kW, kH);
    if (phase == 3) {
      f = Frame{};
      f.circles.push_back({static_cast<float>(frame % kW), kH - 4.0f});
    }
    const int alpha = frame < 10 ? frame * 25 : 255;

    SoftPainter p(buffer.data(), kW, kH, kW, 1.0f, kH, sprites);
    p.clear(damage.lastDrawn);
    draw(p, f);
    const PresentPlan plan = kovra::planPresent(damage, p.drawn, alpha, kW, kH);
    if (plan.present) {
      ++presented;
      moves += plan.moved;
      const PixelBox& w = plan.window;
      ASSERT_FALSE(w.empty());
      ASSERT_TRUE(w.x0 >= 0 && w.y0 >= 0 && w.x1 < kW && w.y1 < kH);
      const PixelBox d = plan.moved ? w : plan.dirty;
      ASSERT_TRUE(d.x0 >= w.x0 && d.y0 >= w.y0 && d.x1 <= w.x1 && d.y1 <= w.y1) << "frame " << frame;
      for (int yy = d.y0; yy <= d.y1; ++yy)
        for (int xx = d.x0; xx <= d.x1; ++xx) window[yy * kW + xx] = buffer[yy * kW + xx];
      if (plan.moved)  // a moved window shows nothing of its old picture
        for (int yy = 0; yy < kH; ++yy)
          for (int xx = 0; xx < kW; ++xx)
            if (xx < w.x0 || xx > w.x1 || yy < w.y0 || yy > w.y1) window[yy * kW + xx] = 0;
    } else {
      ++skipped;
    }

    std::vector<uint32_t> fresh(kW * kH, 0);
    SoftPainter q(fresh.data(), kW, kH, kW, 1.0f, kH, sprites);
    draw(q, f);
    ASSERT_EQ(window, fresh) << "frame " << frame;
  }
  EXPECT_GT(presented, 300);
  EXPECT_GT(skipped, 10);  // empty frames after empty ones hand on nothing
  EXPECT_GE(moves, 4);     // shrunk to the band and grown back, more than once
}

TEST(RenderLayeredDamage, AQuietBandShrinksTheWindowAndDrawingOutsideGrowsItAtOnce) {
  constexpr int W = 1920, H = 1080;
  LayeredDamage d;
  const PixelBox band{0, 0, W - 1, 70};  // a garland along the top
  PresentPlan plan = kovra::planPresent(d, band, 255, W, H);
  EXPECT_EQ(plan.window, (PixelBox{0, 0, W - 1, H - 1}));  // a new window covers the monitor
  for (int i = 1; i < kovra::kShrinkAfterFrames - 1; ++i) {
    plan = kovra::planPresent(d, band, 255, W, H);
    EXPECT_FALSE(plan.moved) << i;
  }
  plan = kovra::planPresent(d, band, 255, W, H);
  EXPECT_TRUE(plan.moved);
  EXPECT_TRUE(plan.whole);
  EXPECT_EQ(plan.window, (PixelBox{0, 0, W - 1, 127}));
  // Santa flies in lower down: the box takes him in that very frame.
  plan = kovra::planPresent(d, unite(band, {900, 400, 1000, 460}), 255, W, H);
  EXPECT_TRUE(plan.moved);
  EXPECT_EQ(plan.window, (PixelBox{0, 0, W - 1, 511}));
}

TEST(RenderLayeredDamage, WhatIsHandedOn) {
  struct Case {
    const char* what;
    LayeredDamage before;
    PixelBox drawn;
    int alpha;
    bool present;
    PixelBox dirty;
  };
  const PixelBox whole{0, 0, kW - 1, kH - 1};
  const Case cases[] = {
      {"a new surface gets the whole picture", {}, {5, 5, 6, 6}, 255, true, whole},
      {"a changed alpha gets the whole window", {{1, 1, 2, 2}, whole, false, 200}, {}, 210, true, whole},
      {"last and this frame's bounds", {{1, 1, 2, 2}, whole, false, 255}, {10, 20, 30, 40}, 255, true, {1, 1, 30, 40}},
      {"what went away is cleared on screen", {{1, 1, 2, 2}, whole, false, 255}, {}, 255, true, {1, 1, 2, 2}},
      {"nothing before and nothing now", {{}, whole, false, 255}, {}, 255, false, {}},
      {"clipped to the buffer", {{-5, -5, 3, 3}, whole, false, 255}, {90, 60, 120, 80}, 255, true, whole},
      {"three quarters of the window go whole", {{}, whole, false, 255}, {0, 0, kW - 1, kH * 3 / 4 - 1}, 255, true,
       whole},
      {"less goes as it is", {{}, whole, false, 255}, {0, 0, kW - 2, kH * 3 / 4 - 1}, 255, true,
       {0, 0, kW - 2, kH * 3 / 4 - 1}},
  };
  for (const Case& c : cases) {
    LayeredDamage d = c.before;
    const PresentPlan plan = kovra::planPresent(d, c.drawn, c.alpha, kW, kH);
    EXPECT_EQ(plan.present, c.present) << c.what;
    if (c.present) {
      EXPECT_EQ(plan.dirty, c.dirty) << c.what;
      EXPECT_EQ(plan.whole, c.dirty == plan.window) << c.what;
    }
    EXPECT_FALSE(d.wholeNext) << c.what;
  }
  // The box around a drawing: margin, grid, buffer.
  EXPECT_EQ(kovra::windowBoxFor({100, 100, 110, 110}, 1920, 1080), (PixelBox{64, 64, 127, 127}));
  EXPECT_EQ(kovra::windowBoxFor({0, 1070, 10, 1079}, 1920, 1080), (PixelBox{0, 1024, 63, 1079}));
  EXPECT_TRUE(kovra::windowBoxFor({}, 1920, 1080).empty());
}

}  // namespace
