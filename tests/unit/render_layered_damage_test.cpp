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

Frame randomFrame(std::mt19937& rng, int things) {
  std::uniform_real_distribution<float> x(-20.0f, kW + 20.0f), y(-20.0f, kH + 20.0f), size(0.5f, 9.0f);
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

// What the window shows is only ever changed inside the dirty rectangle, so
// a box too small, a clear that misses something or a skipped frame that
// mattered all leave the window different from a fresh drawing.
TEST(RenderLayeredDamage, WindowUpdatedOnlyInsideDirtyBoxesMatchesAFreshFrameEveryTime) {
  kovra::SpriteSet sprites;
  kovra::Sprite pic;
  pic.width = pic.height = 8;
  pic.pixels.assign(64, 0xC0806040u);
  sprites.slots[0] = pic;

  std::mt19937 rng(7);
  std::vector<uint32_t> buffer(kW * kH, 0), window(kW * kH, 0xFFFFFFFFu);
  LayeredDamage damage;
  int presented = 0, skipped = 0;
  for (int frame = 0; frame < 300; ++frame) {
    // Stretches of empty frames and of one unchanged frame, between busy ones.
    const int things = (frame / 20) % 3 == 2 ? 0 : (frame % 7) * 3;
    const Frame f = randomFrame(rng, things);
    const int alpha = frame < 10 ? frame * 25 : 255;

    SoftPainter p(buffer.data(), kW, kH, kW, 1.0f, kH, sprites);
    p.clear(damage.lastDrawn);
    draw(p, f);
    const PresentPlan plan = kovra::planPresent(damage, p.drawn, alpha, kW, kH);
    if (plan.present) {
      ++presented;
      ASSERT_GE(plan.dirty.x0, 0);
      ASSERT_LT(plan.dirty.x1, kW);
      ASSERT_GE(plan.dirty.y0, 0);
      ASSERT_LT(plan.dirty.y1, kH);
      for (int yy = plan.dirty.y0; yy <= plan.dirty.y1; ++yy)
        for (int xx = plan.dirty.x0; xx <= plan.dirty.x1; ++xx) window[yy * kW + xx] = buffer[yy * kW + xx];
    } else {
      ++skipped;
    }

    std::vector<uint32_t> fresh(kW * kH, 0);
    SoftPainter q(fresh.data(), kW, kH, kW, 1.0f, kH, sprites);
    draw(q, f);
    ASSERT_EQ(window, fresh) << "frame " << frame;
  }
  EXPECT_GT(presented, 100);
  EXPECT_GT(skipped, 10);  // empty frames after empty ones hand on nothing
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
      {"a changed alpha gets the whole picture", {{1, 1, 2, 2}, false, 200}, {}, 210, true, whole},
      {"last and this frame's bounds", {{1, 1, 2, 2}, false, 255}, {10, 20, 30, 40}, 255, true, {1, 1, 30, 40}},
      {"what went away is cleared on screen", {{1, 1, 2, 2}, false, 255}, {}, 255, true, {1, 1, 2, 2}},
      {"nothing before and nothing now", {{}, false, 255}, {}, 255, false, {}},
      {"clipped to the buffer", {{-5, -5, 3, 3}, false, 255}, {90, 60, 120, 80}, 255, true, {0, 0, kW - 1, kH - 1}},
      {"three quarters of the picture go whole", {{}, false, 255}, {0, 0, kW - 1, kH * 3 / 4 - 1}, 255, true, whole},
      {"less goes as it is", {{}, false, 255}, {0, 0, kW - 2, kH * 3 / 4 - 1}, 255, true, {0, 0, kW - 2, kH * 3 / 4 - 1}},
  };
  for (const Case& c : cases) {
    LayeredDamage d = c.before;
    const PresentPlan plan = kovra::planPresent(d, c.drawn, c.alpha, kW, kH);
    EXPECT_EQ(plan.present, c.present) << c.what;
    if (c.present) {
      EXPECT_EQ(plan.dirty, c.dirty) << c.what;
      EXPECT_EQ(plan.whole, c.dirty == whole) << c.what;
    }
    EXPECT_EQ(d.lastDrawn, c.drawn) << c.what;
    EXPECT_FALSE(d.wholeNext) << c.what;
  }
}

}  // namespace
