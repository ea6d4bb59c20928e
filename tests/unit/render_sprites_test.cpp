#include "render/sprites.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

using kovra::Sprite;
using kovra::SpriteSet;

uint32_t A(uint32_t p) { return p >> 24; }
uint32_t R(uint32_t p) { return (p >> 16) & 255; }
uint32_t G(uint32_t p) { return (p >> 8) & 255; }
uint32_t B(uint32_t p) { return p & 255; }
uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return (a << 24) | (r << 16) | (g << 8) | b; }

Sprite picture(int w, int h, uint32_t fill) {
  Sprite s;
  s.width = w;
  s.height = h;
  s.pixels.assign(static_cast<size_t>(w) * h, fill);
  return s;
}

// Every colour channel of a premultiplied pixel is at most its alpha.
bool premultiplied(const Sprite& s) {
  for (uint32_t p : s.pixels)
    if (R(p) > A(p) || G(p) > A(p) || B(p) > A(p)) return false;
  return true;
}

struct Size {
  int slot, w, h;
};

TEST(RenderSprites, HalvingAveragesEachTwoByTwoAndRoundsOddSidesUp) {
  Sprite s = picture(3, 3, 0);
  // 2 x 2 block of mixed pixels, then an odd column and row.
  s.pixels = {argb(255, 255, 0, 0), argb(255, 0, 255, 0), argb(100, 100, 0, 0),
              argb(0, 0, 0, 0),     argb(255, 0, 0, 255), argb(100, 100, 0, 0),
              argb(40, 0, 40, 0),   argb(0, 0, 0, 0),     argb(255, 0, 0, 0)};
  Sprite h = kovra::halveSprite(s);
  ASSERT_EQ(h.width, 2);
  ASSERT_EQ(h.height, 2);
  EXPECT_EQ(h.at(0, 0), argb(191, 64, 64, 64));  // (255 + 255 + 0 + 255) / 4, rounded
  EXPECT_EQ(h.at(1, 0), argb(100, 100, 0, 0));   // the last column doubles itself
  EXPECT_EQ(h.at(0, 1), argb(20, 0, 20, 0));
  EXPECT_EQ(h.at(1, 1), argb(255, 0, 0, 0));
  EXPECT_TRUE(kovra::halveSprite(Sprite{}).empty());
}

TEST(RenderSprites, SmallerCopiesGoDownToFourPixelsAndTheScalePicksOne) {
  Sprite s = picture(64, 48, argb(255, 255, 255, 255));
  kovra::makeSmallerCopies(s);
  ASSERT_EQ(s.smaller.size(), 4u);  // 32 x 24, 16 x 12, 8 x 6, 4 x 3
  EXPECT_EQ(s.smaller[3].width, 4);
  EXPECT_EQ(s.smaller[3].height, 3);
  EXPECT_EQ(s.smaller[3].at(3, 2), argb(255, 255, 255, 255));
  EXPECT_EQ(&kovra::spriteForScale(s, 1.0f), &s);        // drawn at its size or larger
  EXPECT_EQ(&kovra::spriteForScale(s, 1.99f), &s);
  EXPECT_EQ(&kovra::spriteForScale(s, 2.0f), &s.smaller[0]);
  EXPECT_EQ(&kovra::spriteForScale(s, 7.9f), &s.smaller[1]);  // 64 px on 8: the 16 px copy
  EXPECT_EQ(&kovra::spriteForScale(s, 1000.0f), &s.smaller[3]);
  EXPECT_EQ(&kovra::spriteForScale(s, std::nanf("")), &s);

  SpriteSet set;
  kovra::completeDrawnSlots(set);
  for (const Sprite& slot : set.slots) {
    if (!slot.empty()) EXPECT_FALSE(slot.smaller.empty());
  }
}

TEST(RenderSprites, DrawnSlotsHaveTheirSizesAndPictureSlotsStayEmpty) {
  SpriteSet set;
  kovra::completeDrawnSlots(set);
  std::vector<Size> sizes = {{14, 300, 10}, {15, 20, 20}, {18, 64, 64}, {19, 64, 64}, {20, 64, 64}, {21, 48, 48}};
  for (int c = 0; c < 5; ++c) {
    sizes.push_back({22 + c, 27, 45});
    sizes.push_back({27 + c, 64, 64});
    sizes.push_back({39 + c, 27, 45});
  }
  for (int c = 0; c < 7; ++c) sizes.push_back({32 + c, 16, 16});
  for (const Size& s : sizes) {
    const Sprite& sp = set.slots[static_cast<size_t>(s.slot)];
    EXPECT_EQ(sp.width, s.w) << s.slot;
    EXPECT_EQ(sp.height, s.h) << s.slot;
    EXPECT_EQ(sp.pixels.size(), static_cast<size_t>(s.w * s.h)) << s.slot;
    EXPECT_TRUE(premultiplied(sp)) << s.slot;
    EXPECT_NE(set.find(s.slot), nullptr) << s.slot;
  }
  // Without decoded pictures the tinted copies have no source either.
  for (int slot : {0, 1, 2, 3, 4, 5, 6, 9, 10, 12, 13, 16, 17}) EXPECT_EQ(set.find(slot), nullptr) << slot;
  EXPECT_EQ(set.find(-1), nullptr);
  EXPECT_EQ(set.find(44), nullptr);
}

TEST(RenderSprites, RecolourKeepsAlphaAndMovesChannelsTowardsTheTarget) {
  Sprite s = picture(2, 1, argb(200, 100, 50, 0));
  s.pixels[1] = 0;
  const Sprite gold = kovra::recolour(s, {1.0f, 0.84f, 0.42f, 1}, 0.55f);
  // r: 100 + (200 - 100) x 0.55; g: 50 + (168 - 50) x 0.55; b: 84 x 0.55.
  EXPECT_EQ(gold.pixels[0], argb(200, 155, 115, 46));
  EXPECT_EQ(gold.pixels[1], 0u);
  const Sprite dark = kovra::recolour(picture(1, 1, argb(255, 255, 100, 10)), {0, 0, 0, 1}, 0.22f);
  EXPECT_EQ(dark.pixels[0], argb(255, 199, 78, 8));
  EXPECT_TRUE(kovra::recolour(Sprite{}, {1, 1, 1, 1}, 1).empty());
}

TEST(RenderSprites, TintedCopiesAreMadeFromTheirSources) {
  SpriteSet set;
  set.slots[2] = picture(64, 64, argb(255, 255, 255, 255));
  set.slots[4] = picture(186, 162, argb(255, 200, 150, 100));
  kovra::completeDrawnSlots(set);
  ASSERT_EQ(set.slots[13].width, 64);
  EXPECT_EQ(set.slots[13].pixels[0], argb(255, 255, 233, 174));  // golden star
  ASSERT_EQ(set.slots[16].width, 186);
  EXPECT_EQ(set.slots[16].pixels[0], argb(255, 156, 117, 78));  // darker reindeer
  EXPECT_EQ(set.find(17), nullptr);                              // slot 5 was empty
}

TEST(RenderSprites, SoftDiscFallsOffOverItsRadius) {
  const Sprite d = kovra::drawSoftDiscPicture();
  auto grey = [&](int x, int y) {
    const uint32_t p = d.at(x, y);
    EXPECT_TRUE(A(p) == R(p) && R(p) == G(p) && G(p) == B(p));
    return A(p);
  };
  EXPECT_EQ(grey(23, 23), 252u);  // r = 0.707 px
  EXPECT_EQ(grey(32, 24), 210u);  // r = 8.51 px, just past 0.35 of the radius
  EXPECT_EQ(grey(24, 32), 210u);
  EXPECT_EQ(grey(0, 0), 0u);
  EXPECT_EQ(grey(47, 24), 0u);    // 23.5 px out: beyond the radius
  EXPECT_GT(grey(46, 24), 0u);    // 22.5 px out: still a trace
}

TEST(RenderSprites, CrystalsAreSixFoldWithABrightCentreAndEmptyCorners) {
  for (int shape = 0; shape < 3; ++shape) {
    const Sprite c = kovra::drawCrystalPicture(shape);
    ASSERT_EQ(c.width, 64);
    EXPECT_EQ(A(c.at(31, 31)), 255u) << shape;
    EXPECT_EQ(c.at(0, 0), 0u) << shape;
    EXPECT_EQ(c.at(63, 63), 0u) << shape;
    // The arm straight up (and down) ends 0.42 x 64 = 26.9 px from the centre.
    EXPECT_GT(A(c.at(31, 10)), 200u) << shape;
    EXPECT_GT(A(c.at(31, 53)), 200u) << shape;
    EXPECT_LT(A(c.at(46, 57)), 3u) << shape;  // between two arms, past their tips
    // The faint ice halo around the lines: grey under a stronger alpha.
    int halo = 0;
    for (uint32_t p : c.pixels) halo += A(p) > G(p) + 10;
    EXPECT_GT(halo, 100) << shape;
    // Mirror images left to right and top to bottom, and turned by 60 degrees.
    int worst = 0;
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x) {
        worst = std::max(worst, std::abs(int(A(c.at(x, y))) - int(A(c.at(63 - x, y)))));
        worst = std::max(worst, std::abs(int(A(c.at(x, y))) - int(A(c.at(x, 63 - y)))));
      }
    EXPECT_LE(worst, 1) << shape;
    int turnedOff = 0, compared = 0;
    for (int y = 8; y < 56; ++y)
      for (int x = 8; x < 56; ++x) {
        const float dx = x + 0.5f - 32, dy = y + 0.5f - 32;
        const float tx = dx * 0.5f - dy * 0.8660254f + 32, ty = dx * 0.8660254f + dy * 0.5f + 32;
        const int ix = static_cast<int>(std::floor(tx)), iy = static_cast<int>(std::floor(ty));
        if (ix < 0 || iy < 0 || ix > 63 || iy > 63) continue;
        ++compared;
        turnedOff += std::abs(int(A(c.at(x, y))) - int(A(c.at(ix, iy)))) > 60;
      }
    EXPECT_LT(turnedOff, compared / 50) << shape;
    EXPECT_TRUE(premultiplied(c));
  }
  // The three pictures differ in their branches.
  EXPECT_NE(kovra::drawCrystalPicture(0).pixels, kovra::drawCrystalPicture(1).pixels);
  EXPECT_NE(kovra::drawCrystalPicture(0).pixels, kovra::drawCrystalPicture(2).pixels);
}

TEST(RenderSprites, StreakBrightensTowardsItsHead) {
  const Sprite s = kovra::drawStreakPicture();
  // Halfway: alpha 0.375, red about 0.84 of it.
  const uint32_t mid = s.at(150, 5);
  EXPECT_NEAR(int(A(mid)), 96, 1);
  EXPECT_NEAR(int(R(mid)), 81, 1);
  EXPECT_NEAR(int(B(mid)), 96, 1);
  EXPECT_GE(A(s.at(293, 5)), 240u);          // the head is nearly white
  EXPECT_GE(R(s.at(293, 5)), 240u);
  EXPECT_GT(A(s.at(60, 5)), 0u);
  EXPECT_LT(A(s.at(60, 5)), A(s.at(200, 5)));
  EXPECT_EQ(s.at(150, 0), 0u);               // outside the tail's width
  EXPECT_EQ(s.at(20, 8), 0u);                // the tail narrows to nothing at the start
  EXPECT_EQ(s.at(299, 0), 0u);
  EXPECT_TRUE(premultiplied(s));
}

TEST(RenderSprites, GlowsAndSparksCarryTheirColours) {
  for (int c = 0; c < kovra::kGarlandColours; ++c) {
    const Sprite g = kovra::drawGlowPicture(c);
    const uint32_t centre = g.at(32, 32);
    const kovra::Rgba& want = kovra::kGarlandPalette[static_cast<size_t>(c)];
    EXPECT_NEAR(int(A(centre)), 216, 1) << c;  // g = 0.022: 0.9 less a tenth of the way to 0.38
    EXPECT_NEAR(R(centre), want.r * A(centre), 1.5) << c;
    EXPECT_NEAR(G(centre), want.g * A(centre), 1.5) << c;
    EXPECT_NEAR(B(centre), want.b * A(centre), 1.5) << c;
    EXPECT_EQ(g.at(0, 0), 0u);
  }
  for (int c = 0; c < kovra::kSparkColours; ++c) {
    const Sprite s = kovra::drawSparkPicture(c);
    EXPECT_GT(A(s.at(8, 8)), 200u);
    EXPECT_EQ(s.at(0, 0), 0u);
    EXPECT_LT(A(s.at(15, 8)), 30u);
  }
}

TEST(RenderSprites, BulbsHaveASocketOnTopOnlyWithTheirSocketSlots) {
  for (int c = 0; c < kovra::kGarlandColours; ++c) {
    const Sprite with = kovra::drawBulbPicture(c, true), body = kovra::drawBulbPicture(c, false);
    // The socket in the top quarter, the glass below it, a tip at the bottom.
    EXPECT_EQ(A(with.at(13, 5)), 255u) << c;
    EXPECT_EQ(body.at(13, 5), 0u) << c;
    EXPECT_EQ(A(body.at(13, 28)), 255u) << c;
    EXPECT_EQ(body.at(1, 12), 0u) << c;
    EXPECT_EQ(body.at(5, 44), 0u) << c;  // the tip is narrow
    // The lit body is brighter than the unlit glass.
    const uint32_t lit = body.at(18, 30), unlit = with.at(18, 30);
    EXPECT_GT(R(lit) + G(lit) + B(lit), R(unlit) + G(unlit) + B(unlit)) << c;
  }
  // Red glass is mostly red.
  const uint32_t red = kovra::drawBulbPicture(0, false).at(16, 34);
  EXPECT_GT(R(red), 2 * G(red));
}

TEST(RenderSprites, InstalledPicturesGoIntoTheProcessWideSet) {
  const int before = kovra::spritesPictureCount();
  const uint8_t bgra[8] = {1, 2, 3, 4, 5, 6, 7, 8};  // two pixels, bytes B, G, R, A
  EXPECT_FALSE(kovra::spritesInstallPicture(22, 2, 1, bgra));
  EXPECT_FALSE(kovra::spritesInstallPicture(-1, 2, 1, bgra));
  EXPECT_FALSE(kovra::spritesInstallPicture(8, 0, 1, bgra));
  EXPECT_FALSE(kovra::spritesInstallPicture(8, 2, -1, bgra));
  EXPECT_FALSE(kovra::spritesInstallPicture(8, 2, 1, nullptr));
  EXPECT_FALSE(kovra::spritesInstallPicture(8, 100000, 1, bgra));
  EXPECT_EQ(kovra::spritesPictureCount(), before);

  ASSERT_TRUE(kovra::spritesInstallPicture(8, 2, 1, bgra));
  const int after = kovra::spritesPictureCount();
  EXPECT_LE(after, before + 1);
  EXPECT_GE(after, 1);
  ASSERT_TRUE(kovra::spritesInstallPicture(8, 2, 1, bgra));
  EXPECT_EQ(kovra::spritesPictureCount(), after);  // the same slot counts once
  const Sprite& s = kovra::spriteSetStorage().slots[8];
  ASSERT_EQ(s.width, 2);
  EXPECT_EQ(s.pixels[0], argb(4, 3, 2, 1));
  EXPECT_EQ(s.pixels[1], argb(8, 7, 6, 5));

  kovra::spritesCompleteDrawn();
  EXPECT_NE(kovra::spriteSetStorage().find(kovra::kSpriteSoftDisc), nullptr);
  EXPECT_EQ(kovra::spriteSetStorage().slots[8].pixels[1], argb(8, 7, 6, 5));  // pictures stay
}

}  // namespace
