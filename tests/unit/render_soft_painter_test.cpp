#include "render/soft_painter.h"
#include "render/sprites.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

using kovra::DrawPoint;
using kovra::DriftDraw;
using kovra::FlakeDraw;
using kovra::OutlinePoint;
using kovra::Rgba;
using kovra::SoftPainter;
using kovra::Sprite;
using kovra::SpriteDraw;
using kovra::SpriteSet;

constexpr uint32_t kCanary = 0xDEADBEEFu;

uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return (a << 24) | (r << 16) | (g << 8) | b; }
uint32_t alphaOf(uint32_t p) { return p >> 24; }
int byteOf(double c) { return static_cast<int>(std::floor(std::clamp(c, 0.0, 1.0) * 255 + 0.5)); }

// A buffer with spare words at the end of every row and a guard row above and
// below, all holding a canary that no drawing may touch.
struct Canvas {
  int width, height, stride;
  float scale, heightDip;
  std::vector<uint32_t> store;
  SpriteSet sprites;

  Canvas(int w, int h, float s = 1.0f, int pad = 3)
      : width(w), height(h), stride(w + pad), scale(s), heightDip(static_cast<float>(h) / s),
        store(static_cast<size_t>(stride) * (h + 2), kCanary) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) at(x, y) = 0;
  }
  uint32_t* origin() { return store.data() + stride; }
  uint32_t& at(int x, int y) { return origin()[static_cast<ptrdiff_t>(y) * stride + x]; }
  SoftPainter painter() { return SoftPainter(origin(), width, height, stride, scale, heightDip, sprites); }
  void fill(uint32_t v) {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) at(x, y) = v;
  }
  bool canariesIntact() const {
    for (size_t i = 0; i < store.size(); ++i) {
      const size_t row = i / static_cast<size_t>(stride), col = i % static_cast<size_t>(stride);
      const bool inside = row >= 1 && row <= static_cast<size_t>(height) && col < static_cast<size_t>(width);
      if (!inside && store[i] != kCanary) return false;
    }
    return true;
  }
  int touched() {
    int n = 0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) n += at(x, y) != 0;
    return n;
  }
  // The world point at the centre of pixel (x, y).
  DrawPoint centreOf(int x, int y) const {
    return {(static_cast<float>(x) + 0.5f) / scale, heightDip - (static_cast<float>(y) + 0.5f) / scale};
  }
};

// ------------------------------------------------------------ blending

TEST(RenderSoftPainterBlend, PremultipliedSourceOverWithRoundedBytes) {
  Canvas c(8, 8);
  c.fill(argb(255, 0, 0, 255));  // opaque blue
  SoftPainter p = c.painter();
  p.fillCircle(c.centreOf(3, 3), 2.0f, {1.0f, 0.0f, 0.0f, 0.5f});
  // Half red over blue: (0.5, 0, 0.5) at full alpha.
  EXPECT_EQ(c.at(3, 3), argb(255, 128, 0, 128));

  Canvas e(8, 8);
  SoftPainter q = e.painter();
  q.fillCircle(e.centreOf(3, 3), 2.0f, {0.5f, 0.2f, 1.0f, 1.0f});
  // 0.5 x 255 + 0.5 rounds up to 128; 0.2 x 255 = 51.
  EXPECT_EQ(e.at(3, 3), argb(255, 128, 51, 255));
}

TEST(RenderSoftPainterBlend, CoverageTimesOpacityAtOrBelowThresholdLeavesPixelAlone) {
  Canvas c(8, 8);
  c.fill(0xFFFFFFFFu);
  SoftPainter p = c.painter();
  p.fillCircle(c.centreOf(3, 3), 2.0f, {0, 0, 0, 0.002f});
  EXPECT_EQ(c.at(3, 3), 0xFFFFFFFFu);
  p.fillCircle(c.centreOf(3, 3), 2.0f, {0, 0, 0, 0.0021f});
  EXPECT_EQ(c.at(3, 3), argb(255, 254, 254, 254));

  // Radius 1 around a pixel centre: the neighbour has coverage 0.5, so at
  // opacity 0.004 it sits exactly on the threshold while the centre blends.
  Canvas d(8, 8);
  d.fill(0xFFFFFFFFu);
  SoftPainter q = d.painter();
  q.fillCircle(d.centreOf(3, 3), 1.0f, {0, 0, 0, 0.004f});
  EXPECT_EQ(d.at(3, 3), argb(255, 254, 254, 254));
  EXPECT_EQ(d.at(4, 3), 0xFFFFFFFFu);
  EXPECT_EQ(d.at(3, 4), 0xFFFFFFFFu);
}

TEST(RenderSoftPainterBlend, CircleCoverageFallsOffOverOnePixel) {
  Canvas c(16, 16);
  SoftPainter p = c.painter();
  p.fillCircle(c.centreOf(8, 8), 3.0f, {1, 1, 1, 1});
  EXPECT_EQ(c.at(8, 8), 0xFFFFFFFFu);
  EXPECT_EQ(c.at(11, 8), argb(128, 128, 128, 128));  // distance 3: coverage 0.5
  EXPECT_EQ(c.at(12, 8), 0u);                        // distance 4: nothing
  EXPECT_EQ(c.at(5, 8), argb(128, 128, 128, 128));
  EXPECT_EQ(c.at(8, 11), argb(128, 128, 128, 128));
}

// ------------------------------------------------------------ clipping

TEST(RenderSoftPainterClip, ShapesAcrossEveryEdgeStayInsideTheBuffer) {
  Canvas c(10, 8, 1.0f, 4);
  c.sprites.slots[0].width = 2;
  c.sprites.slots[0].height = 2;
  c.sprites.slots[0].pixels.assign(4, 0xFFFFFFFFu);
  SoftPainter p = c.painter();
  const Rgba white{1, 1, 1, 1};
  p.fillCircle({0, 0}, 3.0f, white);
  p.fillCircle({10, 8}, 3.0f, white);
  p.drawLine({-20, 4}, {30, 4}, 2.0f, white);
  p.drawLine({5, -30}, {5, 40}, 0.0f, white);
  p.fillTriangle({-100, -100}, {100, -100}, {0, 100}, {1, 1, 1, 0.5f});
  p.drawFlake({10, 4, 6, 1});
  p.drawFlake({0, 8, 6, 1});
  p.drawSprite({0, 10, 0, 6, 6, 0.7f, 1, false, false});
  p.drawSprite({0, -1, 9, 6, 6, 0.3f, 1, true, true});
  static const std::vector<std::vector<OutlinePoint>> runs = {{{-50, 20}, {80, 20}}};
  p.drawDrift({-10, -5, runs, 1});
  EXPECT_TRUE(c.canariesIntact());
  // The triangle covers the whole buffer, so every pixel was drawn.
  EXPECT_EQ(c.touched(), 80);
}

TEST(RenderSoftPainterClip, FlakeAtTheRightEdgeIsClippedNotWrapped) {
  Canvas c(12, 12, 1.0f, 0);  // rows back to back: a wrap would show in column 0
  SoftPainter p = c.painter();
  p.drawFlake({12, 6, 6, 1});
  int right = 0, left = 0;
  for (int y = 0; y < 12; ++y) {
    right += c.at(11, y) != 0;
    left += c.at(0, y) != 0 || c.at(1, y) != 0;
  }
  EXPECT_GT(right, 0);
  EXPECT_EQ(left, 0);
  EXPECT_TRUE(c.canariesIntact());
}

TEST(RenderSoftPainterClip, NonFiniteInputsDrawNothing) {
  Canvas c(8, 8);
  SoftPainter p = c.painter();
  const float nan = std::nanf("");
  const float inf = INFINITY;
  p.fillCircle({nan, 4}, 2, {1, 1, 1, 1});
  p.fillCircle({4, 4}, inf, {1, 1, 1, 1});
  p.drawLine({0, 0}, {inf, 4}, 1, {1, 1, 1, 1});
  p.fillTriangle({0, 0}, {nan, 8}, {8, 0}, {1, 1, 1, 1});
  p.drawFlake({4, nan, 4, 1});
  EXPECT_EQ(c.touched(), 0);
  EXPECT_TRUE(c.canariesIntact());
}

// ------------------------------------------------------------ triangles and lines

TEST(RenderSoftPainterTriangle, BothWindingsFillTheSamePixels) {
  Canvas a(12, 12), b(12, 12);
  const Rgba colour{0.2f, 0.6f, 1.0f, 1.0f};
  a.painter().fillTriangle({1, 1}, {11, 1}, {1, 11}, colour);
  b.painter().fillTriangle({1, 1}, {1, 11}, {11, 1}, colour);
  EXPECT_GT(a.touched(), 40);
  EXPECT_EQ(a.store, b.store);
  // Inside the triangle the colour is laid down exactly, outside nothing.
  EXPECT_EQ(a.at(2, 9), argb(255, 51, 153, 255));
  EXPECT_EQ(a.at(10, 1), 0u);
  EXPECT_EQ(a.at(0, 5), 0u);
}

TEST(RenderSoftPainterTriangle, PixelCentresDecideAndDegenerateTrianglesDrawNothing) {
  Canvas c(8, 8);
  SoftPainter p = c.painter();
  // A right triangle over pixel rows 4..7 and columns 0..3 (y up: world y 0..4).
  p.fillTriangle({0, 0}, {4, 0}, {0, 4}, {1, 1, 1, 1});
  // Pixel (0, 7) centre (0.5, 0.5 above the bottom) is inside; (3, 4) centre
  // (3.5, 3.5) is outside the hypotenuse x + y = 4.
  EXPECT_EQ(c.at(0, 7), 0xFFFFFFFFu);
  EXPECT_EQ(c.at(3, 7), 0xFFFFFFFFu);
  EXPECT_EQ(c.at(3, 4), 0u);
  EXPECT_EQ(c.at(0, 3), 0u);
  EXPECT_EQ(c.touched(), 10);  // 4 + 3 + 2 + 1

  Canvas d(8, 8);
  SoftPainter q = d.painter();
  q.fillTriangle({0, 0}, {4, 4}, {8, 8}, {1, 1, 1, 1});            // collinear
  q.fillTriangle({0, 0}, {8, 0}, {0, 0.0012f}, {1, 1, 1, 1});      // doubled area 0.0096
  q.fillTriangle({1, 1}, {7, 1}, {4, 7}, {1, 1, 1, 0.002f});       // below the threshold
  EXPECT_EQ(d.touched(), 0);
}

TEST(RenderSoftPainterLine, ZeroWidthLineIsOneSoftPixelWide) {
  Canvas c(8, 8);
  SoftPainter p = c.painter();
  const DrawPoint a = c.centreOf(1, 3), b = c.centreOf(6, 3);
  p.drawLine(a, b, 0.0f, {1, 1, 1, 1});
  for (int x = 1; x <= 6; ++x) EXPECT_EQ(c.at(x, 3), argb(128, 128, 128, 128)) << x;
  EXPECT_EQ(c.at(0, 3), 0u);
  EXPECT_EQ(c.at(7, 3), 0u);
  EXPECT_EQ(c.touched(), 6);
}

TEST(RenderSoftPainterLine, WideLineHasRoundCapsAndScalesItsWidth) {
  Canvas c(20, 20, 2.0f);
  SoftPainter p = c.painter();
  // 2 pt wide at scale 2: half-width 2 px, from pixel centre (5.5, 9.5) to (13.5, 9.5).
  p.drawLine(c.centreOf(5, 9), c.centreOf(13, 9), 2.0f, {1, 1, 1, 1});
  EXPECT_EQ(c.at(9, 9), 0xFFFFFFFFu);
  EXPECT_EQ(c.at(9, 10), 0xFFFFFFFFu);                 // 1 px off the axis
  EXPECT_EQ(c.at(9, 11), argb(128, 128, 128, 128));    // 2 px off: on the edge
  EXPECT_EQ(c.at(9, 12), 0u);                          // 3 px off: nothing
  EXPECT_EQ(c.at(15, 9), argb(128, 128, 128, 128));    // 2 px beyond the end: the round cap's edge
  EXPECT_EQ(c.at(14, 10), 0xFFFFFFFFu);                // inside the cap
  EXPECT_EQ(c.at(15, 11), 0u);                         // outside the cap's corner
}

TEST(RenderSoftPainterLine, EveryPixelWithinReachIsDrawnAndNoOther) {
  // Segments of every slant, length and width, some zero-length and some
  // running off the buffer, at pixel offsets spread by a fixed generator.
  uint32_t seed = 12345;
  auto next = [&seed](float lo, float hi) {
    seed = seed * 1664525u + 1013904223u;
    return lo + (hi - lo) * static_cast<float>(seed >> 8) / 16777216.0f;
  };
  int checked = 0;
  for (int n = 0; n < 300; ++n) {
    const float scale = n % 3 == 0 ? 1.5f : 1.0f;
    const DrawPoint a{next(-2, 30), next(-2, 30)};
    const float len = n % 10 == 0 ? 0.0f : next(0.3f, 12), turn = next(0, 6.2832f), width = next(0, 3);
    const DrawPoint b{a.x + len * std::cos(turn), a.y + len * std::sin(turn)};
    Canvas c(48, 48, scale);
    c.painter().drawLine(a, b, width, {1, 1, 1, 1});
    ASSERT_TRUE(c.canariesIntact()) << n;
    // Straight from the definition: coverage w - distance + 0.5 in pixels.
    const double ax = a.x * scale, ay = (c.heightDip - a.y) * scale;
    const double bx = b.x * scale, by = (c.heightDip - b.y) * scale;
    const double w = width * scale * 0.5, len2 = (bx - ax) * (bx - ax) + (by - ay) * (by - ay);
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 48; ++x) {
        const double px = x + 0.5, py = y + 0.5;
        const double t = len2 > 0 ? std::clamp(((px - ax) * (bx - ax) + (py - ay) * (by - ay)) / len2, 0.0, 1.0) : 0;
        const double cover = std::clamp(w - std::hypot(px - ax - t * (bx - ax), py - ay - t * (by - ay)) + 0.5, 0.0, 1.0);
        const int got = static_cast<int>(alphaOf(c.at(x, y)));
        if (cover <= 0.0019) {
          ASSERT_EQ(got, 0) << "line " << n << " at " << x << "," << y;
        } else if (cover > 0.0021) {
          ASSERT_NEAR(got, byteOf(cover), 1) << "line " << n << " at " << x << "," << y;
          ++checked;
        }
      }
  }
  EXPECT_GT(checked, 3000);
}

// ------------------------------------------------------------ flakes

// The flake picture straight from its definition, for comparison.
void referenceFlake(double u, double v, double out[4]) {
  auto lerp = [](double x, const double (*k)[2], int n) {
    if (x >= k[n - 1][0]) return 0.0;
    for (int i = 1; i < n; ++i)
      if (x <= k[i][0]) return k[i - 1][1] + (k[i][1] - k[i - 1][1]) * (x - k[i - 1][0]) / (k[i][0] - k[i - 1][0]);
    return 0.0;
  };
  static const double body[][2] = {{0, 1.0}, {0.6, 0.95}, {0.85, 0.5}, {1, 0}};
  static const double shadow[][2] = {{0, 0.36}, {0.6, 0.24}, {0.85, 0.07}, {1, 0}};
  out[0] = out[1] = out[2] = out[3] = 0;
  if (u * u + v * v > 0.27) return;
  const double h = lerp(std::sqrt(u * u + v * v) / 0.4, body, 4);
  const double s = lerp(std::sqrt(u * u + (v - 0.045) * (v - 0.045)) / 0.45, shadow, 4) * (1 - h);
  out[0] = 0.25 * s + h;
  out[1] = 0.26 * s + h;
  out[2] = 0.29 * s + h;
  out[3] = s + h;
}

TEST(RenderSoftPainterFlake, LandsOnTheRightPixelWithYUpAtScaleOnePointFive) {
  Canvas c(60, 60, 1.5f);  // 40 pt high
  SoftPainter p = c.painter();
  p.drawFlake({10, 30, 8, 1});  // pixel centre (15, 15); footprint 18 px
  // The four pixels around the centre are the brightest and equal.
  EXPECT_EQ(c.at(14, 14), c.at(15, 14));
  EXPECT_GE(alphaOf(c.at(15, 15)), 250u);
  EXPECT_EQ(c.at(15, 15), argb(254, 253, 253, 253));
  // Nothing where y down would have put it.
  EXPECT_EQ(c.at(15, 45), 0u);
  // The shadow hangs below the body: a row 8 px under the centre still has
  // some, the row 9 px above has none.
  EXPECT_GT(alphaOf(c.at(15, 23)), 0u);
  EXPECT_EQ(c.at(15, 6), 0u);
  EXPECT_EQ(c.at(14, 6), 0u);
  // Left and right mirror each other.
  for (int d = 1; d < 9; ++d) EXPECT_EQ(c.at(15 + d, 15), c.at(14 - d, 15)) << d;
}

TEST(RenderSoftPainterFlake, LargeFlakeSamplesPixelCentresSmallOneAveragesFour) {
  struct Case {
    float size, scale, x, y;
    bool small;
  };
  for (const Case k : {Case{8.0f, 1.0f, 12.3f, 11.6f, false}, Case{4.0f, 1.0f, 12.3f, 11.6f, true},
                       Case{3.0f, 2.0f, 6.2f, 5.9f, true}}) {
    Canvas c(24, 24, k.scale);
    c.painter().drawFlake({k.x, k.y, k.size, 0.8f});
    const double d = 1.5 * k.size * k.scale, cx = k.x * k.scale, cy = (c.heightDip - k.y) * k.scale;
    int drawn = 0;
    for (int y = 0; y < 24; ++y) {
      for (int x = 0; x < 24; ++x) {
        double sum[4] = {0, 0, 0, 0};
        const double offs[2][2] = {{0.25, 0.75}, {0.5, 0.5}};
        const int n = k.small ? 2 : 1;
        for (int j = 0; j < n; ++j)
          for (int i = 0; i < n; ++i) {
            double s[4];
            referenceFlake((x + offs[k.small ? 0 : 1][i] - cx) / d, (y + offs[k.small ? 0 : 1][j] - cy) / d, s);
            for (int q = 0; q < 4; ++q) sum[q] += s[q] / (n * n);
          }
        const double u = sum[3] * 0.8;
        const uint32_t got = c.at(x, y);
        if (u <= 0.002) {
          EXPECT_EQ(got, 0u) << x << "," << y;
          continue;
        }
        ++drawn;
        EXPECT_NEAR(static_cast<int>(got >> 24), byteOf(u), 1) << x << "," << y;
        EXPECT_NEAR(static_cast<int>((got >> 16) & 255), byteOf(sum[0] * 0.8), 1) << x << "," << y;
        EXPECT_NEAR(static_cast<int>(got & 255), byteOf(sum[2] * 0.8), 1) << x << "," << y;
      }
    }
    EXPECT_GT(drawn, 10);
  }
}

TEST(RenderSoftPainterFlake, FaintFlakesDrawNothing) {
  Canvas c(16, 16);
  SoftPainter p = c.painter();
  p.drawFlake({8, 8, 6, 0.01f});
  p.drawFlake({8, 8, 0, 1});
  p.drawFlake({8, 8, -3, 1});
  EXPECT_EQ(c.touched(), 0);
  p.drawFlake({8, 8, 6, 0.011f});
  EXPECT_GT(c.touched(), 0);
}

// ------------------------------------------------------------ sprites

Sprite pictureOf(int w, int h, std::vector<uint32_t> px) {
  Sprite s;
  s.width = w;
  s.height = h;
  s.pixels = std::move(px);
  return s;
}

constexpr uint32_t kRed = 0xFFFF0000u, kBlue = 0xFF0000FFu;

TEST(RenderSoftPainterSprite, InvalidOrEmptySlotsAndTinySpritesDrawNothing) {
  Canvas c(16, 16);
  c.sprites.slots[0] = pictureOf(2, 2, {kRed, kRed, kRed, kRed});
  c.sprites.slots[43] = pictureOf(2, 2, {kRed, kRed, kRed, kRed});
  SoftPainter p = c.painter();
  auto at = [](int index, float w, float h, float opacity) {
    return SpriteDraw{index, 8, 8, w, h, 0, opacity, false, false};
  };
  p.drawSprite(at(-1, 8, 8, 1));
  p.drawSprite(at(44, 8, 8, 1));
  p.drawSprite(at(1000000, 8, 8, 1));
  p.drawSprite(at(5, 8, 8, 1));        // empty slot
  p.drawSprite(at(0, 8, 8, 0.01f));    // too faint
  p.drawSprite(at(0, 0.5f, 8, 1));     // half-width 0.25 px
  p.drawSprite(at(0, 8, 0.59f, 1));    // half-height 0.295 px
  EXPECT_EQ(c.touched(), 0);
  p.drawSprite(at(43, 8, 8, 1));
  EXPECT_GT(c.touched(), 30);
}

// Pieces of 4-connected pixels with alpha above `threshold` in a w x w canvas.
int brightPieces(Canvas& c, int w, uint32_t threshold) {
  std::vector<int> piece(static_cast<size_t>(w) * w, -1);
  int pieces = 0;
  for (int start = 0; start < w * w; ++start) {
    if (alphaOf(c.at(start % w, start / w)) <= threshold || piece[static_cast<size_t>(start)] >= 0) continue;
    std::vector<int> todo{start};
    piece[static_cast<size_t>(start)] = pieces;
    while (!todo.empty()) {
      const int k = todo.back();
      todo.pop_back();
      const int x = k % w, y = k / w;
      for (const auto& [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
        const int xx = x + dx, yy = y + dy;
        if (xx < 0 || yy < 0 || xx >= w || yy >= w) continue;
        const size_t m = static_cast<size_t>(yy * w + xx);
        if (piece[m] < 0 && alphaOf(c.at(xx, yy)) > threshold) {
          piece[m] = pieces;
          todo.push_back(yy * w + xx);
        }
      }
    }
    ++pieces;
  }
  return pieces;
}

TEST(RenderSoftPainterSprite, CrystalsDrawnFarBelowTheirSizeStayInOnePiece) {
  // 64 px crystals as 4 to 10 px tumbling flakes: sampled from the full
  // picture, their thin arms fall apart into specks around them.
  for (int shape = 0; shape < 3; ++shape) {
    Canvas c(40, 40);
    c.sprites.slots[kovra::kSpriteCrystal] = kovra::drawCrystalPicture(shape);
    kovra::makeSmallerCopies(c.sprites.slots[kovra::kSpriteCrystal]);
    SoftPainter p = c.painter();
    int flakes = 0, pieces = 0;
    for (float size = 4.0f; size <= 10.0f; size += 1.5f) {
      for (float turned = 0.3f; turned <= 1.0f; turned += 0.35f) {
        for (float angle = 0.0f; angle < 3.0f; angle += 0.5f) {
          c.fill(0);
          p.drawSprite({kovra::kSpriteCrystal, 20.3f, 19.6f, turned * size, size, angle, 0.9f, false, false});
          pieces += brightPieces(c, 40, 110);
          ++flakes;
        }
      }
    }
    EXPECT_LE(pieces, flakes * 115 / 100) << "shape " << shape << ": " << pieces << " pieces in " << flakes << " flakes";
  }
}

TEST(RenderSoftPainterSprite, UnscaledSpriteCopiesItsTexels) {
  Canvas c(8, 8);
  std::vector<uint32_t> px(16);
  for (int i = 0; i < 16; ++i) px[static_cast<size_t>(i)] = argb(200, static_cast<uint32_t>(10 * i), 7, 100);
  c.sprites.slots[3] = pictureOf(4, 4, px);
  SoftPainter p = c.painter();
  p.drawSprite({3, 4, 4, 4, 4, 0, 1, false, false});  // pixels 2..5 both ways
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(c.at(2 + x, 2 + y), px[static_cast<size_t>(y * 4 + x)]) << x << "," << y;
  EXPECT_EQ(c.touched(), 16);
}

TEST(RenderSoftPainterSprite, RotationIsCounterClockwiseAndMirroringFlips) {
  Canvas c(8, 8);
  c.sprites.slots[7] = pictureOf(2, 1, {kRed, kBlue});
  SoftPainter p = c.painter();
  // 2 x 1 pt turned a quarter: the right end (blue) points up.
  p.drawSprite({7, 3.5f, 5.0f, 2, 1, 3.14159265f / 2, 1, false, false});
  EXPECT_EQ(c.at(3, 2), kBlue);
  EXPECT_EQ(c.at(3, 3), kRed);
  EXPECT_EQ(c.touched(), 2);

  Canvas m(8, 8);
  m.sprites.slots[7] = pictureOf(2, 1, {kRed, kBlue});
  SoftPainter q = m.painter();
  q.drawSprite({7, 4.0f, 4.5f, 2, 1, 0, 1, true, false});
  EXPECT_EQ(m.at(3, 3), kBlue);
  EXPECT_EQ(m.at(4, 3), kRed);
  q.drawSprite({7, 4.0f, 2.5f, 2, 1, 0, 1, false, false});
  EXPECT_EQ(m.at(3, 5), kRed);
  EXPECT_EQ(m.at(4, 5), kBlue);
}

TEST(RenderSoftPainterSprite, BilinearBetweenTexelsAndTransparentBeyondThePicture) {
  Canvas c(8, 8);
  c.sprites.slots[1] = pictureOf(2, 1, {argb(255, 255, 0, 0), argb(255, 0, 0, 255)});
  SoftPainter p = c.painter();
  // Stretched to 4 x 1 px: texel positions -0.25, 0.25, 0.75, 1.25.
  p.drawSprite({1, 4, 4.5f, 4, 1, 0, 1, false, false});
  EXPECT_EQ(c.at(2, 3), argb(191, 191, 0, 0));   // 0.75 of the red texel, the rest outside
  EXPECT_EQ(c.at(3, 3), argb(255, 191, 0, 64));
  EXPECT_EQ(c.at(4, 3), argb(255, 64, 0, 191));
  EXPECT_EQ(c.at(5, 3), argb(191, 0, 0, 191));
}

TEST(RenderSoftPainterSprite, AdditiveAddsAndCapsWhileNormalLaysOver) {
  const uint32_t grey = argb(255, 128, 128, 128);
  const uint32_t light = argb(153, 153, 153, 153);  // premultiplied white at 0.6
  Canvas a(4, 4), b(4, 4);
  a.fill(grey);
  b.fill(grey);
  a.sprites.slots[2] = pictureOf(1, 1, {light});
  b.sprites.slots[2] = pictureOf(1, 1, {light});
  a.painter().drawSprite({2, 1.5f, 2.5f, 1, 1, 0, 1, false, true});
  b.painter().drawSprite({2, 1.5f, 2.5f, 1, 1, 0, 1, false, false});
  EXPECT_EQ(a.at(1, 1), 0xFFFFFFFFu);
  EXPECT_EQ(b.at(1, 1), argb(255, 204, 204, 204));  // 0.6 + 0.502 x 0.4
  // Opacity scales the picture.
  Canvas h(4, 4);
  h.sprites.slots[2] = pictureOf(1, 1, {0xFFFFFFFFu});
  h.painter().drawSprite({2, 1.5f, 2.5f, 1, 1, 0, 0.5f, false, false});
  EXPECT_EQ(h.at(1, 1), argb(128, 128, 128, 128));
}

TEST(RenderSoftPainterSprite, UnturnedSpritesMatchTheGeneralRouteExactly) {
  // Glows and sparks as the garland and fireworks draw them, and a bulb and a
  // sharp-edged picture stretched, shrunk, mirrored and cut by the edges.
  std::vector<uint32_t> checker(12);
  for (size_t i = 0; i < checker.size(); ++i) checker[i] = i % 2 ? kRed : argb(90, 0, 60, 90);
  const Sprite pictures[] = {kovra::drawGlowPicture(1), kovra::drawSparkPicture(4), kovra::drawBulbPicture(2, true),
                             pictureOf(4, 3, checker)};
  struct Case {
    int picture;
    float x, y, w, h, opacity;
    bool mirrored, additive;
  };
  const Case cases[] = {
      {0, 30.3f, 20.6f, 46, 46, 0.85f, false, true},   {0, 2.2f, 38.9f, 46, 46, 1.0f, false, true},
      {0, 57.5f, 1.0f, 13.7f, 9.2f, 0.4f, true, false}, {1, 12.45f, 12.8f, 9.6f, 9.6f, 0.9f, false, true},
      {1, 40.0f, 30.0f, 33.3f, 33.3f, 0.02f, false, true}, {2, 20.7f, 15.1f, 9, 15, 1.0f, false, false},
      {2, 44.1f, 25.35f, 9, 15, 0.6f, true, false},    {3, 25.25f, 20.75f, 31.5f, 7.3f, 0.7f, false, false},
      {3, 59.0f, 35.6f, 3.1f, 2.2f, 1.0f, true, true},  {3, 10.2f, 10.2f, 0.8f, 0.8f, 1.0f, false, true},
  };
  for (const float scale : {1.0f, 1.5f}) {
    for (const Case& k : cases) {
      Canvas fast(96, 64, scale), general(96, 64, scale);
      // A background with some colour, so both laying over and adding meet
      // earlier pixels of every kind.
      for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 96; ++x)
          fast.at(x, y) = general.at(x, y) = (x + y) % 3 == 0 ? 0u : argb(200, 30 + x, 150, 2 * y);
      fast.sprites.slots[5] = general.sprites.slots[5] = pictures[k.picture];
      SoftPainter p = fast.painter(), q = general.painter();
      q.uprightSprites = false;
      const SpriteDraw d{5, k.x, k.y, k.w, k.h, 0, k.opacity, k.mirrored, k.additive};
      p.drawSprite(d);
      q.drawSprite(d);
      EXPECT_TRUE(fast.canariesIntact());
      int changed = 0;
      for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 96; ++x) {
          changed += fast.at(x, y) != ((x + y) % 3 == 0 ? 0u : argb(200, 30 + x, 150, 2 * y));
          ASSERT_EQ(fast.at(x, y), general.at(x, y)) << "case " << (&k - cases) << " scale " << scale << " at " << x
                                                     << "," << y;
        }
      EXPECT_GT(changed, 0) << "case " << (&k - cases) << " scale " << scale;
    }
  }
}

// ------------------------------------------------------------ drifts

TEST(RenderSoftPainterDrift, FlatRunFillsBodyAndRimByRowOverlap) {
  Canvas c(20, 20);
  SoftPainter p = c.painter();
  const std::vector<std::vector<OutlinePoint>> runs = {{{0, 4}, {5, 4}, {10, 4}}};
  p.drawDrift({2, 5, runs, 7});
  // Top at pixel row 11, bottom at 15.6, rim 0.9 px thick around the top.
  const uint32_t body = argb(255, 249, 251, 255);
  for (int x = 2; x <= 11; ++x) {
    EXPECT_EQ(c.at(x, 9), 0u) << x;
    EXPECT_EQ(c.at(x, 10), argb(98, 54, 63, 78)) << x;     // rim alone, 0.45 x 0.85
    EXPECT_EQ(c.at(x, 11), argb(255, 207, 218, 235)) << x; // body with the rim over it
    EXPECT_EQ(c.at(x, 12), body) << x;
    EXPECT_EQ(c.at(x, 14), body) << x;
    EXPECT_EQ(c.at(x, 15), argb(153, 149, 151, 153)) << x; // 0.6 of a row
    EXPECT_EQ(c.at(x, 16), 0u) << x;
  }
  // Only columns whose centre lies within the run.
  for (int y = 0; y < 20; ++y) {
    EXPECT_EQ(c.at(1, y), 0u);
    EXPECT_EQ(c.at(12, y), 0u);
  }
}

TEST(RenderSoftPainterDrift, HeightIsInterpolatedAndShortRunsAreSkipped) {
  Canvas c(20, 20);
  SoftPainter p = c.painter();
  const std::vector<std::vector<OutlinePoint>> runs = {{{0, 0}, {10, 10}}, {{14, 6}}};
  p.drawDrift({0, 0, runs, 1});
  // Column 5: height 5.5, top at row 14.5.
  EXPECT_EQ(c.at(5, 13), 0u);
  EXPECT_EQ(alphaOf(c.at(5, 14)), 225u);
  EXPECT_EQ(c.at(5, 15), argb(255, 249, 251, 255));
  EXPECT_EQ(c.at(5, 19), argb(255, 249, 251, 255));
  // Column 9 stands higher than column 2.
  int top9 = 20, top2 = 20;
  for (int y = 19; y >= 0; --y) {
    if (alphaOf(c.at(9, y)) == 255) top9 = y;
    if (alphaOf(c.at(2, y)) == 255) top2 = y;
  }
  EXPECT_EQ(top2 - top9, 7);
  // The one-point run draws nothing.
  for (int y = 0; y < 20; ++y) EXPECT_EQ(c.at(14, y), 0u);
}

TEST(RenderSoftPainterDrift, RimThicknessGrowsWithScale) {
  Canvas c(40, 40, 2.0f);
  SoftPainter p = c.painter();
  const std::vector<std::vector<OutlinePoint>> runs = {{{0, 5}, {20, 5}}};
  // Ground line 10 pt up, snow 5 pt: top at pixel row 10, rim 1.8 px from 9.1 to 10.9.
  p.drawDrift({0, 10, runs, 1});
  EXPECT_EQ(c.at(4, 8), 0u);
  EXPECT_EQ(c.at(4, 9), argb(195, 107, 127, 156));  // 0.9 x 0.85 of the rim
  EXPECT_EQ(alphaOf(c.at(4, 10)), 255u);
  EXPECT_EQ(c.at(4, 11), argb(255, 249, 251, 255));
}

TEST(RenderSoftPainter, ClearEmptiesEveryRowButNotThePadding) {
  Canvas c(6, 5, 1.0f, 2);
  c.fill(0x12345678u);
  SoftPainter p = c.painter();
  p.clear();
  EXPECT_EQ(c.touched(), 0);
  EXPECT_TRUE(c.canariesIntact());
}

}  // namespace
