#pragma once
// A fixed scene that touches every drawing operation: flakes of every size,
// crystals, a sprite mirrored and turned, additive sparks, drifts and a faded
// part. The GPU scene driver and the native preview tool both draw it, so
// their pictures can be compared pixel by pixel.

#include <vector>

#include "render/draw_sink.h"
#include "render/sprites.h"

namespace kovra::sample {

constexpr int kWidth = 400, kHeight = 250;  // pixels
constexpr float kScale = 1.25f;
constexpr float kHeightDip = kHeight / kScale;  // 200 points
// The whole frame's opacity of the faded variant (the overlay fading in).
constexpr float kFadedFrame = 0.6f;

inline void drawScene(DrawSink& sink) {
  static const std::vector<std::vector<OutlinePoint>> ground = {
      {{0, 0}, {20, 6}, {50, 9.5f}, {80, 4}, {100, 0}},
      {{130, 0}, {150, 5}, {170, 0.5f}},
  };
  static const std::vector<std::vector<OutlinePoint>> ledge = {{{0, 0}, {30, 3.5f}, {60, 2}, {90, 0}}};
  static const std::vector<std::vector<OutlinePoint>> faded = {{{0, 0}, {15, 4}, {40, 0}}};

  sink.drawDrift({10, 8, ground, 1});
  sink.drawDrift({200, 118, ledge, 4});

  sink.fillCircle({60, 150}, 12, {0.9f, 0.3f, 0.2f, 0.8f});
  sink.drawLine({20, 182}, {120, 168}, 3, {0.3f, 0.6f, 1.0f, 0.9f});
  sink.drawLine({20, 190}, {120, 190}, 0, {1, 1, 1, 1});  // no width: still a soft hairline
  sink.fillTriangle({150, 160}, {190, 190}, {200, 140}, {0.2f, 0.8f, 0.4f, 0.7f});
  sink.fillTriangle({300, 190}, {240, 185}, {270, 150}, {0.95f, 0.8f, 0.3f, 0.6f});  // the other winding

  // Flakes from a few pixels to beyond the largest bitmap, at two opacities.
  const float sizes[] = {2.5f, 3.2f, 4.5f, 6, 8, 11, 15, 21, 30, 40};
  float x = 12;
  for (float size : sizes) {
    sink.drawFlake({x, 70, size, 1.0f});
    sink.drawFlake({x, 40 + size * 0.3f, size, 0.55f});
    x += size * 1.5f + 8;
  }
  sink.drawFlake({-3, 100, 10, 1});  // partly off the left edge

  for (int k = 0; k < 3; ++k) {
    SpriteDraw c;
    c.index = kSpriteCrystal + k;
    c.x = 240 + 26.0f * k;
    c.y = 95;
    c.width = c.height = 22;
    c.angle = 0.45f * k;
    c.opacity = 0.9f;
    sink.drawSprite(c);
  }
  // A bullfinch at its own size, mirrored and turned, and the streak likewise.
  SpriteDraw bird;
  bird.index = kSpriteBird;
  bird.x = 110;
  bird.y = 120;
  bird.width = 78 / kScale;
  bird.height = 66 / kScale;
  bird.angle = 0.3f;
  bird.mirrored = true;
  sink.drawSprite(bird);
  SpriteDraw streak;
  streak.index = kSpriteStreak;
  streak.x = 250;
  streak.y = 170;
  streak.width = 240 / kScale;
  streak.height = 8 / kScale;
  streak.angle = -0.25f;
  streak.mirrored = true;
  sink.drawSprite(streak);

  // Sparks added over the disc and over each other.
  for (int k = 0; k < kSparkColours; ++k) {
    SpriteDraw s;
    s.index = kSpriteSpark + k;
    s.x = 52 + 4.0f * k;
    s.y = 146 + 2.0f * (k % 3);
    s.width = s.height = 14;
    s.opacity = 0.8f;
    s.additive = true;
    sink.drawSprite(s);
  }
  SpriteDraw glow;
  glow.index = kSpriteGlow + 1;
  glow.x = 175;
  glow.y = 35;
  glow.width = glow.height = 40;
  glow.additive = true;
  sink.drawSprite(glow);

  // A faded part of the world, the way a paused scene fades out.
  FadeSink fade(sink, 0.6f);
  fade.drawDrift({250, 100, faded, 2});
  fade.fillCircle({300, 140}, 10, {0.4f, 0.5f, 1.0f, 1.0f});
  fade.drawFlake({305, 112, 12, 1.0f});
  SpriteDraw fadedBird = bird;
  fadedBird.x = 178;
  fadedBird.y = 108;
  fadedBird.angle = 0;
  fadedBird.mirrored = false;
  fade.drawSprite(fadedBird);
}

}  // namespace kovra::sample
