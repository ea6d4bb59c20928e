// Gifts, bullfinches and Santa's team as sprite and shape calls.
#include <algorithm>
#include <cmath>

#include "render/sprites.h"
#include "world/actor_drawing.h"
#include "world/world.h"

namespace kovra {

namespace {

constexpr float kGiftWidth = 22.0f, kGiftHeight = 24.0f;
constexpr float kBirdWidth = 26.0f, kBirdHeight = 22.0f;
constexpr float kBirdLift = 9.24f;  // the picture's centre above the bird's feet
constexpr float kReindeerWidth = 62.0f, kReindeerHeight = 54.0f;
constexpr float kSleighWidth = 96.0f, kSleighHeight = 76.0f;

const Rgba kRein{0.98f, 0.80f, 0.35f, 0.95f};
const Rgba kSleeve{0.80f, 0.11f, 0.13f, 1.0f};
const Rgba kCuff{0.99f, 0.99f, 1.0f, 1.0f};
const Rgba kMitten{0.15f, 0.40f, 0.25f, 1.0f};

// The team is laid out in the sleigh's own frame: p along the flight
// (negative is ahead, where the reindeer run), q up; the frame is scaled,
// mirrored for a flight to the right and tilted by the heading.
struct TeamFrame {
  float x, y, B, S, c, s, angle;
  bool mirrored;

  DrawPoint at(float p, float q) const {
    const float X = p * B, Y = q * S;
    return {x + c * X - s * Y, y + s * X + c * Y};
  }
  void picture(DrawSink& sink, int slot, float p, float q, float w, float h) const {
    const DrawPoint at0 = at(p, q);
    SpriteDraw d;
    d.index = slot;
    d.x = at0.x;
    d.y = at0.y;
    d.width = w * S;
    d.height = h * S;
    d.angle = angle;
    d.opacity = 1.0f;
    d.mirrored = mirrored;
    sink.drawSprite(d);
  }
};

// The pair's running frame: the two gallop pictures alternate, each reindeer
// a little behind the one ahead of it.
int gallopFrame(float t, float lag) { return static_cast<int>(std::max(0.0f, t - lag) / 0.13f) % 2; }

void drawArm(DrawSink& sink, const TeamFrame& f, float alpha) {
  const float sa = std::sin(alpha), ca = std::cos(alpha);
  const DrawPoint shoulder = f.at(55.0f, 54.0f);
  const DrawPoint hand = f.at(55.0f + 18.0f * sa, 54.0f + 18.0f * ca);
  const DrawPoint cuff = f.at(55.0f + 14.0f * sa, 54.0f + 14.0f * ca);
  sink.drawLine(shoulder, hand, 5.2f * f.S, kSleeve);
  sink.fillCircle(cuff, 2.9f * f.S, kCuff);
  sink.fillCircle(hand, 2.6f * f.S, kMitten);
}

}  // namespace

void drawGifts(const SnowWorld& world, DrawSink& sink) {
  for (const Gift& g : world.gifts) {
    if (g.covered || !(g.alpha > 0.0f)) continue;
    const float k = g.sizeFactor;
    // The box stands on its bottom edge at the resting point and tilts about it.
    const float lift = 0.45f * kGiftHeight * k;
    SpriteDraw d;
    d.index = g.picture;
    d.x = g.x - lift * std::sin(g.tilt);
    d.y = g.y + lift * std::cos(g.tilt);
    d.width = kGiftWidth * k;
    d.height = kGiftHeight * k;
    d.angle = g.tilt;
    d.opacity = std::min(1.0f, g.alpha);
    sink.drawSprite(d);
  }
}

int birdPose(const Bird& b) {
  if (b.state != BirdState::Perched) return kSpriteBird + 2 + static_cast<int>(b.anim / 0.07f) % 2;
  if (b.peck >= 0.0f && (b.peck < 0.18f || (b.peck >= 0.3f && b.peck <= 0.45f))) return kSpriteBird + 1;
  return kSpriteBird;
}

void drawBirds(const SnowWorld& world, DrawSink& sink) {
  for (const Bird& b : world.birds) {
    SpriteDraw d;
    d.index = birdPose(b);
    d.x = b.x;
    d.y = b.y + kBirdLift;
    d.width = kBirdWidth;
    d.height = kBirdHeight;
    d.opacity = 1.0f;
    d.mirrored = b.facingRight;  // the pictures face left
    sink.drawSprite(d);
  }
}

void drawSanta(const SnowWorld& world, DrawSink& sink) {
  const SantaFlight& f = world.santa;
  if (!f.active) return;
  const float S = f.scale;
  const float B = f.leftToRight ? -S : S;  // the pictures face left
  const TeamFrame team{f.x, f.y, B, S, std::cos(f.heading), std::sin(f.heading), f.heading, B < 0.0f};
  const float t = f.elapsed;

  // The far reindeer of each pair, darker, behind everything.
  for (int i = 0; i < 3; ++i) {
    const float fi = static_cast<float>(i);
    team.picture(sink, kSpriteDarkReindeer + gallopFrame(t, 0.05f + 0.07f * fi), -54.0f * (fi + 1.0f) + 30.0f,
                 45.0f + 2.2f * std::sin(0.6f + 1.3f * fi + 7.0f * t), kReindeerWidth, kReindeerHeight);
  }

  // Reins from the sleigh's front to each near reindeer's collar in turn,
  // sagging a little between them.
  float x0 = 26.0f, y0 = 40.0f;
  for (int i = 0; i < 3; ++i) {
    const float fi = static_cast<float>(i);
    const float hx = -54.0f * (fi + 1.0f) + 12.0f, hy = 45.0f + 2.2f * std::sin(1.3f * fi + 7.0f * t);
    const float cx = 0.5f * (x0 + hx), cy = std::min(hy, y0) - 4.0f;
    DrawPoint prev = team.at(x0, y0);
    for (int k = 1; k <= 6; ++k) {
      const float u = static_cast<float>(k) / 6.0f, v = 1.0f - u;
      const DrawPoint next =
          team.at(v * v * x0 + 2.0f * u * v * cx + u * u * hx, v * v * y0 + 2.0f * u * v * cy + u * u * hy);
      sink.drawLine(prev, next, 1.2f * S, kRein);
      prev = next;
    }
    x0 = hx;
    y0 = hy;
  }

  // Santa waves: his arm swings up from behind the sleigh's side.
  const bool waving = f.cheer > 0.01f;
  float alpha = 0.0f;
  bool low = false;
  if (waving) {
    const float c = f.cheer;
    alpha = c * c * (3.0f - 2.0f * c) * (2.4f + 0.42f * std::sin(11.0f * t)) - 2.75f;
    low = 18.0f * std::cos(alpha) + 54.0f <= 64.0f;
    if (low) drawArm(sink, team, alpha);
  }
  team.picture(sink, kSpriteSleigh, 48.0f, 38.0f, kSleighWidth, kSleighHeight);
  if (waving && !low) drawArm(sink, team, alpha);

  for (int i = 0; i < 3; ++i) {
    const float fi = static_cast<float>(i);
    team.picture(sink, kSpriteReindeer + gallopFrame(t, 0.07f * fi), -54.0f * (fi + 1.0f) + 23.0f,
                 41.0f + 2.2f * std::sin(1.3f * fi + 7.0f * t), kReindeerWidth, kReindeerHeight);
  }
}

}  // namespace kovra
