#pragma once
// The process-wide set of pictures drawSprite uses: 44 slots of premultiplied
// BGRA bitmaps. Slots 0..21 may come from the program's embedded pictures
// (handed in by the platform side after decoding); the rest are drawn here.

#include <array>
#include <cstdint>
#include <vector>

#include "render/draw_sink.h"

namespace kovra {

constexpr int kSpriteSlots = 44;
constexpr int kPictureSlots = 22;  // slots an embedded picture may fill

// Slot numbers.
constexpr int kSpriteSnowball = 0;
constexpr int kSpriteHeap = 1;
constexpr int kSpriteStar = 2;
constexpr int kSpriteSleigh = 3;
constexpr int kSpriteReindeer = 4;      // and 5: two running frames
constexpr int kSpriteBird = 6;          // 6..9: four poses
constexpr int kSpriteGift = 10;         // 10..12
constexpr int kSpriteGoldenStar = 13;
constexpr int kSpriteStreak = 14;
constexpr int kSpriteTwinkle = 15;
constexpr int kSpriteDarkReindeer = 16; // and 17
constexpr int kSpriteCrystal = 18;      // 18..20
constexpr int kSpriteSoftDisc = 21;
constexpr int kSpriteBulb = 22;         // 22..26, with socket
constexpr int kSpriteGlow = 27;         // 27..31
constexpr int kSpriteSpark = 32;        // 32..38
constexpr int kSpriteBulbBody = 39;     // 39..43, the lit body alone

constexpr int kGarlandColours = 5;
constexpr int kSparkColours = 7;

// One picture: rows of `width` 32-bit words, alpha in bits 24-31, then red,
// green and blue, premultiplied. Width or height 0 means the slot is empty.
struct Sprite {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;
  // The same picture at half, a quarter, ... of the size, for drawing it much
  // smaller than it is: sampled straight from the full size, thin strokes
  // would break up into stray dots.
  std::vector<Sprite> smaller;

  bool empty() const { return width <= 0 || height <= 0; }
  uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

struct SpriteSet {
  std::array<Sprite, kSpriteSlots> slots;

  // The picture in a slot, or nothing for an index out of range or an empty slot.
  const Sprite* find(int32_t index) const {
    if (index < 0 || index >= kSpriteSlots) return nullptr;
    const Sprite& s = slots[static_cast<size_t>(index)];
    return s.empty() ? nullptr : &s;
  }
};

// Garland colours in slot order, and the seven spark colours.
extern const std::array<Rgba, kGarlandColours> kGarlandPalette;
extern const std::array<Rgba, kSparkColours> kSparkPalette;

// Keeps each pixel's alpha A and moves every colour channel c towards A x
// target by `strength`.
Sprite recolour(const Sprite& source, const Rgba& target, float strength);

// The picture at half the size (odd sides round up), every pixel the mean
// of the 2 x 2 it covers, the last row or column doubled where one is missing.
Sprite halveSprite(const Sprite& source);
// Fills `smaller` with halved copies down to a side of 4 px or less.
void makeSmallerCopies(Sprite& sprite);
// The copy to sample when `texelsPerPixel` texels of the full picture fall on
// one pixel: each halving that keeps at least one texel per pixel is taken.
const Sprite& spriteForScale(const Sprite& sprite, float texelsPerPixel);

// The pictures drawn at start-up.
Sprite drawCrystalPicture(int shape);  // 0..2, 64 x 64
Sprite drawStreakPicture();            // 300 x 10, head at the right
Sprite drawTwinklePicture();           // 20 x 20
Sprite drawSoftDiscPicture();          // 48 x 48
Sprite drawBulbPicture(int colour, bool withSocket);  // 27 x 45
Sprite drawGlowPicture(int colour);    // 64 x 64
Sprite drawSparkPicture(int colour);   // 16 x 16

// Makes the tinted copies (13 from 2, 16 and 17 from 4 and 5, each only when
// its source is there), draws slots 14, 15 and 18..43 and gives every filled
// slot its smaller copies.
void completeDrawnSlots(SpriteSet& set);

// The process-wide set; every slot starts empty.
SpriteSet& spriteSetStorage();
// Copies a decoded picture (rows of width x 4 bytes, premultiplied BGRA) into
// slot 0..21 of the process-wide set. False for another slot, an empty or
// oversized picture or no pixels.
bool spritesInstallPicture(int slot, int width, int height, const uint8_t* bgra);
// Slots of the process-wide set filled by spritesInstallPicture.
int spritesPictureCount();
// completeDrawnSlots on the process-wide set.
void spritesCompleteDrawn();

// The process-wide set, loaded on the first call: the platform side decodes
// the embedded pictures into it (spritesInstallPicture), then completes the
// drawn slots. Defined with the picture decoder, not in the portable core.
const SpriteSet& loadSprites();

}  // namespace kovra
