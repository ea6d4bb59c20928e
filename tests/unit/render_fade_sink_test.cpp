#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/draw_sink.h"
#include "render/soft_painter.h"

namespace {

using kovra::DrawPoint;
using kovra::DrawSink;
using kovra::DriftDraw;
using kovra::FadeSink;
using kovra::FlakeDraw;
using kovra::OutlinePoint;
using kovra::Rgba;
using kovra::SpriteDraw;

// Keeps every call with the opacity it carried.
struct Recorder final : DrawSink {
  struct Call {
    std::string op;
    float opacity = 0;
    float a = 0, b = 0, c = 0;  // a few of the other arguments, to see they pass unchanged
  };
  std::vector<Call> calls;

  void drawDrift(const DriftDraw& d) override { calls.push_back({"drift", 1, d.originX, d.baseY, float(d.version)}); }
  void drawFlake(const FlakeDraw& f) override { calls.push_back({"flake", f.opacity, f.x, f.y, f.size}); }
  void drawSprite(const SpriteDraw& s) override {
    calls.push_back({"sprite", s.opacity, float(s.index), s.width, s.angle});
  }
  void fillCircle(DrawPoint c, float r, const Rgba& col) override { calls.push_back({"circle", col.a, c.x, r, col.g}); }
  void drawLine(DrawPoint p0, DrawPoint p1, float w, const Rgba& col) override {
    calls.push_back({"line", col.a, p0.x, p1.y, w});
  }
  void fillTriangle(DrawPoint p0, DrawPoint, DrawPoint p2, const Rgba& col) override {
    calls.push_back({"triangle", col.a, p0.x, p2.y, col.r});
  }
};

const std::vector<std::vector<OutlinePoint>> kRuns = {{{0, 1}, {4, 2}}};

void drawEverything(DrawSink& s) {
  s.drawDrift({3, 4, kRuns, 9});
  s.drawFlake({1, 2, 5, 0.8f});
  s.drawSprite({7, 1, 2, 30, 20, 0.5f, 0.6f, true, true});
  s.fillCircle({2, 3}, 4, {0.1f, 0.2f, 0.3f, 1.0f});
  s.drawLine({1, 2}, {3, 4}, 2.5f, {1, 1, 1, 0.5f});
  s.fillTriangle({1, 2}, {3, 4}, {5, 6}, {0.7f, 0, 0, 0.9f});
}

TEST(RenderFadeSink, ScalesEveryOpacityAndPassesTheRestUnchanged) {
  Recorder r;
  FadeSink fade(r, 0.75f);
  drawEverything(fade);
  ASSERT_EQ(r.calls.size(), 6u);
  EXPECT_EQ(r.calls[0].op, "drift");
  EXPECT_EQ(r.calls[0].a, 3);
  EXPECT_EQ(r.calls[0].c, 9);
  EXPECT_FLOAT_EQ(r.calls[1].opacity, 0.6f);
  EXPECT_EQ(r.calls[1].c, 5);
  EXPECT_FLOAT_EQ(r.calls[2].opacity, 0.45f);
  EXPECT_EQ(r.calls[2].a, 7);
  EXPECT_EQ(r.calls[2].b, 30);
  EXPECT_FLOAT_EQ(r.calls[3].opacity, 0.75f);
  EXPECT_FLOAT_EQ(r.calls[3].c, 0.2f);
  EXPECT_FLOAT_EQ(r.calls[4].opacity, 0.375f);
  EXPECT_EQ(r.calls[4].c, 2.5f);
  EXPECT_FLOAT_EQ(r.calls[5].opacity, 0.675f);
  EXPECT_FLOAT_EQ(r.calls[5].c, 0.7f);
}

TEST(RenderFadeSink, DriftsPassOnlyAboveOneHalfAtEveryLevel) {
  Recorder r;
  FadeSink half(r, 0.5f);
  half.drawDrift({0, 0, kRuns, 1});
  FadeSink more(r, 0.51f);
  more.drawDrift({0, 0, kRuns, 2});
  EXPECT_EQ(r.calls.size(), 1u);

  // Two levels of 0.6 let drifts through although the product is 0.36 ...
  Recorder s;
  FadeSink outer(s, 0.6f);
  FadeSink inner(outer, 0.6f);
  inner.drawDrift({0, 0, kRuns, 3});
  inner.drawFlake({0, 0, 4, 1});
  ASSERT_EQ(s.calls.size(), 2u);
  EXPECT_FLOAT_EQ(s.calls[1].opacity, 0.36f);
  // ... and a 0.4 level anywhere drops them.
  Recorder t;
  FadeSink low(t, 0.4f);
  FadeSink high(low, 0.9f);
  high.drawDrift({0, 0, kRuns, 4});
  EXPECT_TRUE(t.calls.empty());
}

TEST(RenderFadeSink, NestedHalvesDrawAtAQuarterOpacity) {
  std::vector<uint32_t> px(8 * 8, 0);
  kovra::SpriteSet none;
  kovra::SoftPainter painter(px.data(), 8, 8, 8, 1.0f, 8.0f, none);
  FadeSink outer(painter, 0.5f);
  FadeSink inner(outer, 0.5f);
  inner.fillCircle({4, 4}, 3, {1, 1, 1, 1});
  // 0.25 x 255 + 0.5 = 64.25
  EXPECT_EQ(px[3 * 8 + 3], 0x40404040u);
  inner.drawLine({0, 0.5f}, {8, 0.5f}, 1, {1, 1, 1, 1});
  EXPECT_EQ(px[7 * 8 + 3], 0x40404040u);
}

}  // namespace
