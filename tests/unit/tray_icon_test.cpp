#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ui/tray_icon_art.h"

namespace {

struct Px {
  int a, r, g, b;
};

Px at(const std::vector<uint32_t>& img, int n, int x, int y) {
  uint32_t v = img[static_cast<size_t>(y) * n + x];
  return {static_cast<int>(v >> 24), static_cast<int>((v >> 16) & 255), static_cast<int>((v >> 8) & 255),
          static_cast<int>(v & 255)};
}

TEST(TraySnowflake, SizeAndTransparentCorners) {
  for (int n : {16, 20, 24, 32, 48}) {
    auto img = traySnowflakePixels(n, false);
    ASSERT_EQ(img.size(), static_cast<size_t>(n * n)) << n;
    for (auto [x, y] : {std::pair{0, 0}, {n - 1, 0}, {0, n - 1}, {n - 1, n - 1}})
      EXPECT_EQ(img[static_cast<size_t>(y) * n + x], 0u) << n << " at " << x << "," << y;
  }
  // Smaller requests still give the smallest real icon.
  EXPECT_EQ(traySnowflakePixels(8, false).size(), 256u);
  EXPECT_EQ(traySnowflakePixels(0, true).size(), 256u);
}

TEST(TraySnowflake, WhiteCoreAndDarkBlueRim) {
  for (int n : {16, 24, 32}) {
    auto img = traySnowflakePixels(n, false);
    Px c = at(img, n, n / 2 - 1, n / 2 - 1);
    EXPECT_EQ(c.a, 255) << n;
    EXPECT_EQ(c.r, 255);
    EXPECT_EQ(c.g, 255);
    EXPECT_EQ(c.b, 255);
    // Pixels touched by the rim only carry its colour: 0.1, 0.17, 0.32.
    int rimOnly = 0;
    for (int i = 0; i < n * n; ++i) {
      Px p = at(img, n, i % n, i / n);
      if (p.a == 0) continue;
      EXPECT_LE(p.r, p.g) << "flake pixels lean to blue";
      EXPECT_LE(p.g, p.b);
      if (p.r == 26 && p.g == 43 && p.b == 82) ++rimOnly;
    }
    EXPECT_GT(rimOnly, 4) << n;
  }
}

TEST(TraySnowflake, ArmsPointUpAndDownNotSideways) {
  // The first arm points up, so the tips touch the top and bottom edges in
  // the middle while the middle of the left and right edges stays clear.
  for (int n : {20, 24, 32}) {
    auto img = traySnowflakePixels(n, false);
    int c = n / 2;
    EXPECT_GT(at(img, n, c, 0).a + at(img, n, c - 1, 0).a, 0) << "top tip, size " << n;
    EXPECT_GT(at(img, n, c, n - 1).a + at(img, n, c - 1, n - 1).a, 0) << "bottom tip, size " << n;
    EXPECT_GT(at(img, n, c, n / 8).r, 200) << "white along the upper arm, size " << n;
    EXPECT_EQ(at(img, n, 0, c).a, 0) << "left edge, size " << n;
    EXPECT_EQ(at(img, n, n - 1, c).a, 0) << "right edge, size " << n;
  }
}

TEST(TraySnowflake, MirroredLeftRightAndTopBottom) {
  for (int n : {16, 21, 32}) {
    auto img = traySnowflakePixels(n, false);
    long left = 0, right = 0;
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) {
        int a = at(img, n, x, y).a;
        // At most one of the sixteen samples may land differently.
        EXPECT_LE(std::abs(a - at(img, n, n - 1 - x, y).a), 16) << n << " at " << x << "," << y;
        EXPECT_LE(std::abs(a - at(img, n, x, n - 1 - y).a), 16) << n << " at " << x << "," << y;
        if (x < n / 2) left += a;
        if (x >= n - n / 2) right += a;
      }
    EXPECT_NEAR(left, right, 0.01 * (left + right)) << n;
  }
}

TEST(TraySnowflake, SideBranchesWhereTheArmsCarryThem) {
  // The midpoint of a branch of the upper arm: from `at` of the arm's length,
  // `len` of it long, at 45 degrees to the right.
  auto branchMid = [](int n, double at, double len) {
    double c = n / 2.0, arm = 0.46 * n;
    double sx = c, sy = c - at * arm;
    double h = 0.5 * len * arm / std::sqrt(2.0);
    return std::pair{static_cast<int>(sx + h), static_cast<int>(sy - h)};
  };
  {
    auto img = traySnowflakePixels(16, false);
    auto [x, y] = branchMid(16, 0.58, 0.34);
    EXPECT_GT(at(img, 16, x, y).a, 100);
  }
  auto img = traySnowflakePixels(32, false);
  for (auto [pos, len] : {std::pair{0.45, 0.30}, {0.72, 0.22}}) {
    auto [x, y] = branchMid(32, pos, len);
    EXPECT_GT(at(img, 32, x, y).a, 100) << pos;
  }
}

TEST(TraySnowflake, PausedIsADimmerGreyBlueOfTheSameShape) {
  for (int n : {16, 32}) {
    auto normal = traySnowflakePixels(n, false);
    auto paused = traySnowflakePixels(n, true);
    for (int i = 0; i < n * n; ++i) {
      Px a = at(normal, n, i % n, i / n), b = at(paused, n, i % n, i / n);
      EXPECT_EQ(a.a == 0, b.a == 0) << "same footprint at " << i;
      EXPECT_LE(b.a, a.a);
    }
    Px core = at(paused, n, n / 2 - 1, n / 2 - 1);
    EXPECT_EQ(core.a, 204);
    EXPECT_EQ(core.r, 199);
    EXPECT_EQ(core.g, 204);
    EXPECT_EQ(core.b, 214);
  }
}

TEST(TraySnowflake, PremultipliedScalesColourByAlpha) {
  auto straight = traySnowflakePixels(24, true, IconAlpha::Straight);
  auto pre = traySnowflakePixels(24, true, IconAlpha::Premultiplied);
  ASSERT_EQ(straight.size(), pre.size());
  int partial = 0;
  for (size_t i = 0; i < pre.size(); ++i) {
    Px s = at(straight, 24, static_cast<int>(i % 24), static_cast<int>(i / 24));
    Px p = at(pre, 24, static_cast<int>(i % 24), static_cast<int>(i / 24));
    EXPECT_EQ(s.a, p.a);
    EXPECT_LE(p.r, p.a);
    EXPECT_LE(p.g, p.a);
    EXPECT_LE(p.b, p.a);
    EXPECT_NEAR(p.b, s.b * s.a / 255.0, 1.5);
    if (s.a > 0 && s.a < 200) ++partial;
  }
  EXPECT_GT(partial, 10);
}

}  // namespace
