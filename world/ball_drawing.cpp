// Snowballs, heaps and snowmen, and the snow shovel, as sprite and shape calls.
#include "world/ball_drawing.h"

#include <algorithm>
#include <cmath>

#include "render/sprites.h"
#include "world/world.h"

namespace kovra {

namespace {

constexpr float kPi = 3.14159265f;

const Rgba kTwig{0.40f, 0.25f, 0.12f, 1.0f};
const Rgba kCoal{0.08f, 0.08f, 0.08f, 1.0f};
const Rgba kCarrot{0.98f, 0.52f, 0.12f, 1.0f};

// The scarf in three shades: the dark body of the band, a lighter fold along
// it and pale stripes.
struct ScarfColours {
  Rgba dark, fold, stripe;
};
const ScarfColours kRedScarf{{0.70f, 0.096f, 0.12f, 1.0f}, {0.86f, 0.20f, 0.20f, 1.0f}, {0.98f, 0.90f, 0.86f, 1.0f}};
const ScarfColours kGreenScarf{
    {0.116f, 0.396f, 0.266f, 1.0f}, {0.20f, 0.56f, 0.38f, 1.0f}, {0.90f, 0.96f, 0.90f, 1.0f}};

DrawPoint at(float x, float y) { return DrawPoint{x, y}; }

void drawArms(DrawSink& sink, float x, float y, float r) {
  const float w = std::max(1.2f, 0.07f * r);
  for (float s : {-1.0f, 1.0f}) {
    const DrawPoint from = at(x + 0.8f * s * r, y + 0.25f * r);
    const DrawPoint to = at(x + 1.55f * s * r, y + 0.75f * r);
    sink.drawLine(from, to, w, kTwig);
    const DrawPoint mid = at((from.x + to.x) * 0.5f + 0.1f * s * r, (from.y + to.y) * 0.5f + 0.05f * r);
    sink.drawLine(mid, at(mid.x + 0.05f * s * r, mid.y + 0.3f * r), w, kTwig);
  }
}

void drawButtons(DrawSink& sink, float x, float y, float r) {
  const float radius = std::max(1.0f, 0.07f * r);
  for (float k : {0.4f, 0.05f, -0.3f}) sink.fillCircle(at(x, y + k * r), radius, kCoal);
}

// Knitted band round the neck, following the head's lower outline, with a
// knot at the side and two fringed tails hanging down.
void drawScarf(DrawSink& sink, float x, float y, float r, const ScarfColours& c) {
  constexpr int kSegments = 6;
  const float bandWidth = std::max(2.0f, 0.2f * r);
  auto bandPoint = [&](int i) {
    const float u = -0.62f + 1.24f * static_cast<float>(i) / kSegments;  // across the neck, in radii
    const float drop = 0.87f * std::sqrt(std::max(0.0f, 1.0f - u * u * 0.55f));
    return at(x + u * r, y - drop * r);
  };
  for (int i = 0; i < kSegments; ++i) sink.drawLine(bandPoint(i), bandPoint(i + 1), bandWidth, c.dark);
  for (int i = 0; i < kSegments; ++i) {
    DrawPoint a = bandPoint(i), b = bandPoint(i + 1);
    a.y += 0.04f * r;
    b.y += 0.04f * r;
    sink.drawLine(a, b, 0.45f * bandWidth, c.fold);
  }
  const float stripe = std::max(0.8f, 0.045f * r);
  for (int i = 1; i < kSegments; i += 2) {
    const DrawPoint p = bandPoint(i);
    sink.drawLine(at(p.x, p.y - 0.08f * r), at(p.x, p.y + 0.08f * r), stripe, c.stripe);
  }

  const DrawPoint knot = at(x + 0.48f * r, y - 0.87f * r);
  const float tailWidth = std::max(1.6f, 0.15f * r);
  const DrawPoint ends[2] = {at(x + 0.44f * r, y - 1.6f * r), at(x + 0.66f * r, y - 1.5f * r)};
  for (const DrawPoint& end : ends) {
    sink.drawLine(knot, end, tailWidth, c.dark);
    const DrawPoint band = at(knot.x + (end.x - knot.x) * 0.72f, knot.y + (end.y - knot.y) * 0.72f);
    sink.drawLine(at(band.x - 0.07f * r, band.y), at(band.x + 0.07f * r, band.y), stripe, c.stripe);
    for (float f : {-0.06f, 0.0f, 0.06f}) {
      sink.drawLine(at(end.x + f * r, end.y), at(end.x + f * r * 1.3f, end.y - 0.12f * r), stripe, c.dark);
    }
  }
  sink.fillCircle(knot, std::max(1.4f, 0.13f * r), c.dark);
  sink.fillCircle(at(knot.x - 0.02f * r, knot.y + 0.03f * r), std::max(0.8f, 0.07f * r), c.fold);
}

void drawFace(DrawSink& sink, float x, float y, float r, bool variant) {
  drawScarf(sink, x, y, r, variant ? kGreenScarf : kRedScarf);
  const float eye = std::max(1.2f, 0.09f * r);
  sink.fillCircle(at(x - 0.32f * r, y + 0.22f * r), eye, kCoal);
  sink.fillCircle(at(x + 0.32f * r, y + 0.22f * r), eye, kCoal);
  sink.fillTriangle(at(x, y + 0.05f * r), at(x + 0.62f * r, y - 0.04f * r), at(x, y - 0.14f * r), kCarrot);
  const float dot = std::max(0.8f, 0.05f * r);
  for (float k : {1.25f, 1.375f, 1.5f, 1.625f, 1.75f}) {
    const float a = k * kPi;
    sink.fillCircle(at(x + 0.45f * r * std::cos(a), y - 0.02f * r + 0.45f * r * std::sin(a)), dot, kCoal);
  }
}

}  // namespace

void drawBall(DrawSink& sink, const Snowball& b) {
  const float x = b.drawValid ? b.drawX : b.x;
  const float y = b.drawValid ? b.drawY : b.y;
  const float r = b.radius;
  if (b.role == kRoleBody) drawArms(sink, x, y, r);

  SpriteDraw s;
  if (b.heap) {
    s.index = kSpriteHeap;
    s.width = s.height = 2.5f * r;
    s.angle = b.tilt;
    s.x = x - 0.25f * r * std::sin(b.tilt);
    s.y = y - 0.25f * r * std::cos(b.tilt);
  } else {
    s.index = kSpriteSnowball;
    s.width = s.height = 2.0f * r;
    s.x = x;
    s.y = y;
  }
  s.opacity = 1.0f;
  sink.drawSprite(s);

  if (b.role == kRoleHead) drawFace(sink, x, y, r, b.variant);
  if (b.role == kRoleBody) drawButtons(sink, x, y, r);
}

void drawBalls(const SnowWorld& world, DrawSink& sink) {
  for (const auto& b : world.balls) {
    if (!b->covered && b->role != kRoleHead) drawBall(sink, *b);
  }
  for (const auto& b : world.balls) {
    if (!b->covered && b->role == kRoleHead) drawBall(sink, *b);
  }
}

void drawShovelShape(DrawSink& sink, const Shovel& sh) {
  const float a = sh.visibility;
  if (!(a > 0.01f)) return;
  const float d = sh.direction < 0.0f ? -1.0f : 1.0f;
  const float c = std::cos(sh.lean), s = std::sin(sh.lean);
  // Points in the shovel's own frame: p along the blade, q up the shaft.
  auto local = [&](float p, float q) { return at(sh.x + p * c - q * s, sh.y + p * s + q * c); };
  auto colour = [a](float r, float g, float b) { return Rgba{r, g, b, a}; };

  sink.drawLine(local(-2 * d, 10), local(-20 * d, 44), 3.6f, colour(0.40f, 0.25f, 0.13f));
  sink.drawLine(local(-2 * d, 10), local(-20 * d, 44), 2.4f, colour(0.55f, 0.36f, 0.20f));
  sink.drawLine(local(-25 * d, 41.5f), local(-15 * d, 46.5f), 3.4f, colour(0.14f, 0.14f, 0.16f));
  const Rgba blade = colour(0.66f, 0.73f, 0.82f);
  sink.fillTriangle(local(-13 * d, 0), local(13 * d, 0), local(11 * d, 12), blade);
  sink.fillTriangle(local(-13 * d, 0), local(11 * d, 12), local(-11 * d, 12), blade);
  sink.drawLine(local(-13 * d, 0), local(13 * d, 0), 2.2f, colour(0.36f, 0.42f, 0.52f));
  sink.drawLine(local(-11 * d, 12), local(11 * d, 12), 1.2f, colour(0.88f, 0.92f, 0.97f));
  sink.drawLine(local(-2 * d, 10), local(-2 * d, 3), 2.6f, colour(0.36f, 0.42f, 0.52f));
  if (sh.load > 0.5f) {
    const float w = std::min(1.0f, sh.load / 60.0f);
    const Rgba snow = colour(0.97f, 0.98f, 1.0f);
    sink.fillCircle(local(-5 * d, 12 + 2 * w), 3 + 3 * w, snow);
    sink.fillCircle(local(3 * d, 12 + 3 * w), 3.5f + 3.5f * w, snow);
    sink.fillCircle(local(9 * d, 11 + 1.5f * w), 2.5f + 2 * w, snow);
  }
}

void drawShovel(const SnowWorld& world, DrawSink& sink) { drawShovelShape(sink, world.snowShovel); }

}  // namespace kovra
