// The shooting star, sparks and the garland of fairy lights.
#include <algorithm>
#include <cmath>

#include "render/sprites.h"
#include "world/actor_drawing.h"
#include "world/world.h"

namespace kovra {

namespace {

constexpr float kPi = 3.14159265f;
constexpr uint32_t kSpanSalt = 0x2F5E53B8u, kSagSalt = 0xB54A1E2Fu, kFlashSalt = 0x5EBCA770u;
constexpr int kWireSamples = 23;
constexpr float kPatternPeriod = 40.0f;  // s each light pattern runs
constexpr float kPatternBlend = 4.0f;    // s the next one takes to come in

const Rgba kStrandLight{0.17f, 0.33f, 0.21f, 1.0f};
const Rgba kStrandDark{0.09f, 0.20f, 0.12f, 1.0f};
const Rgba kHook{0.07f, 0.12f, 0.09f, 1.0f};

float frac(float v) { return v - std::floor(v); }

float pattern(int which, int i, float t) {
  const float fi = static_cast<float>(i);
  switch (which) {
    case 0: {  // twinkle, with a short flash now and then
      float v = 0.8f + 0.2f * std::sin((0.13f * static_cast<float>(i % 7) + 0.9f) * t + 2.3f * fi);
      const float f = frac(garlandHash(static_cast<uint32_t>(i), kFlashSalt) + 0.11f * t);
      if (f < 0.05f) v = std::max(v, 1.0f - std::fabs(f - 0.025f) / 0.025f * 0.2f);
      return v;
    }
    case 1: {  // a wave running along
      const float b = 0.5f + 0.5f * std::sin(0.55f * fi - 1.8f * t);
      return 0.3f + 0.7f * b * b;
    }
    case 2: {  // a chase through the five colours
      float c = std::fabs(static_cast<float>(i % 5) - std::fmod(0.35f * t, 5.0f));
      c = std::min(c, 5.0f - c);
      return 0.3f + 0.7f * std::exp(-1.6f * c * c);
    }
    default:  // a calm glow
      return 0.9f + 0.1f * std::sin(0.6f * t + 0.4f * fi);
  }
}

// One span of wire: a quadratic curve from (a, y0) to (a + v, y0) sagging
// towards its control point.
struct Span {
  float a, v, y0;
  DrawPoint p1;  // control point

  DrawPoint at(float u) const {
    const float w = 1.0f - u;
    return {w * w * a + 2.0f * u * w * p1.x + u * u * (a + v), w * w * y0 + 2.0f * u * w * p1.y + u * u * y0};
  }
  DrawPoint slope(float u) const {
    return {2.0f * (1.0f - u) * (p1.x - a) + 2.0f * u * (a + v - p1.x), 2.0f * (1.0f - u) * (p1.y - y0) + 2.0f * u * (y0 - p1.y)};
  }
};

// Calls fn(span index, span) for every span of the garland.
template <typename Fn>
void forEachSpan(const SnowWorld& w, Fn fn) {
  float stretch = 1.0f;
  const int count = garlandSpanCount(w.width, stretch);
  const float t = w.clock, y0 = w.height - w.topInset - 1.0f;
  float a = 0.0f;
  for (int k = 0; k < count; ++k) {
    const float fk = static_cast<float>(k);
    const float v = garlandSpanLength(k) * stretch;
    const float sag = (1.0f + 0.07f * std::sin(0.8f * t + 1.7f * fk)) *
                      (13.0f + 11.0f * garlandHash(static_cast<uint32_t>(k), kSagSalt)) * v / 150.0f;
    const Span span{a, v, y0, {a + 0.5f * v + 3.0f * std::sin(0.55f * t + 2.1f * fk), y0 - 2.0f * sag}};
    fn(k, span);
    a += v;
  }
}

// Calls fn(bulb number, hook point, hanging angle) for every bulb.
template <typename Fn>
void forEachBulb(const SnowWorld& w, Fn fn) {
  int i = 0;
  const float t = w.clock;
  forEachSpan(w, [&](int, const Span& span) {
    const int n = std::max(3, static_cast<int>(std::lround(span.v / 32.0f)));
    for (int k = 0; k < n; ++k, ++i) {
      const float u = static_cast<float>(k + 1) / static_cast<float>(n + 1);
      const DrawPoint d = span.slope(u);
      const float phi = 0.25f * std::atan2(d.y, d.x) + 0.07f * std::sin(0.9f * static_cast<float>(i) + 1.5f * t);
      fn(i, span.at(u), phi);
    }
  });
}

}  // namespace

float garlandHash(uint32_t i, uint32_t salt) {
  uint32_t x = (i * 0x9E3779B1u) ^ salt;
  x ^= x >> 15;
  x *= 0x85EBCA77u;
  x ^= x >> 13;
  return static_cast<float>(x % 10000u) / 10000.0f;
}

float garlandSpanLength(int span) { return 120.0f + 70.0f * garlandHash(static_cast<uint32_t>(span), kSpanSalt); }

int garlandSpanCount(float width, float& stretch) {
  int n = 0;
  float sum = 0.0f;
  do {
    sum += garlandSpanLength(n++);
  } while (sum < width && n < 100000);
  stretch = width > 0.0f ? width / sum : 0.0f;
  return n;
}

float garlandBrightness(int bulb, float t) {
  const float inPeriod = std::fmod(std::max(0.0f, t), kPatternPeriod);
  const int now = static_cast<int>(std::max(0.0f, t) / kPatternPeriod) % 4;
  const float v = pattern(now, bulb, t);
  if (inPeriod < kPatternPeriod - kPatternBlend) return v;
  const float s = (inPeriod - (kPatternPeriod - kPatternBlend)) / kPatternBlend;
  const float weight = s * s * (3.0f - 2.0f * s);
  return v + (pattern((now + 1) % 4, bulb, t) - v) * weight;
}

void drawShootingStar(const SnowWorld& w, DrawSink& sink) {
  if (!w.starActive) return;
  const float t = w.starElapsed;
  const float reach = w.starDistance * (t / 0.9f) * (t / 0.9f);
  const float headX = w.starStart.x + w.starDir.x * reach, headY = w.starStart.y + w.starDir.y * reach;
  float opacity = t < 0.12f ? t / 0.12f : (t <= 0.6f ? 1.0f : std::max(0.0f, 1.0f - (t - 0.6f) / 0.3f));
  SpriteDraw d;
  d.index = kSpriteStreak;
  d.x = headX - w.starDir.x * 75.0f;  // the streak trails behind its head
  d.y = headY - w.starDir.y * 75.0f;
  d.width = 150.0f;
  d.height = 5.0f;
  d.angle = std::atan2(w.starDir.y, w.starDir.x);
  d.opacity = opacity;
  d.additive = true;
  sink.drawSprite(d);
}

void drawSparks(const SnowWorld& w, DrawSink& sink) {
  for (const Spark& s : w.sparks) {
    SpriteDraw d;
    d.index = s.colour;
    d.x = s.x;
    d.y = s.y;
    d.width = d.height = s.size;
    d.opacity = std::clamp(s.brightness, 0.0f, 1.0f);
    d.additive = true;
    sink.drawSprite(d);
  }
}

void drawGarland(const SnowWorld& w, DrawSink& sink) {
  const float L = w.garlandLevel;
  if (!(L > 0.01f)) return;

  // Wires: two strands twisted about each other, and a hook where spans meet.
  const Rgba light{kStrandLight.r, kStrandLight.g, kStrandLight.b, 0.95f * L};
  const Rgba dark{kStrandDark.r, kStrandDark.g, kStrandDark.b, 0.95f * L};
  const Rgba hook{kHook.r, kHook.g, kHook.b, L};
  forEachSpan(w, [&](int, const Span& span) {
    DrawPoint prevA{}, prevB{};
    for (int j = 0; j < kWireSamples; ++j) {
      const float u = static_cast<float>(j) / static_cast<float>(kWireSamples - 1);
      const DrawPoint p = span.at(u), d = span.slope(u);
      const float len = std::max(1e-6f, std::sqrt(d.x * d.x + d.y * d.y));
      const float nx = -d.y / len, ny = d.x / len;
      const float twist = 0.75f * std::sin(u * (span.v / 5.5f) * kPi);
      const DrawPoint a{p.x + nx * twist, p.y + ny * twist}, b{p.x - nx * twist, p.y - ny * twist};
      if (j > 0) {
        sink.drawLine(prevA, a, 1.25f, light);
        sink.drawLine(prevB, b, 1.25f, dark);
      }
      prevA = a;
      prevB = b;
    }
    sink.fillCircle({span.a, span.y0}, 1.8f, hook);
  });

  // The glows first, so no bulb is washed over by its neighbour's light.
  const float t = w.clock;
  forEachBulb(w, [&](int i, DrawPoint at, float phi) {
    SpriteDraw d;
    d.index = kSpriteGlow + i % kGarlandColours;
    d.x = at.x + 10.0f * std::sin(phi);
    d.y = at.y - 10.0f * std::cos(phi);
    d.width = d.height = 46.0f;
    d.opacity = garlandBrightness(i, t) * 0.85f * L;
    d.additive = true;
    sink.drawSprite(d);
  });
  forEachBulb(w, [&](int i, DrawPoint at, float phi) {
    SpriteDraw d;
    d.index = kSpriteBulb + i % kGarlandColours;
    d.x = at.x + 7.5f * std::sin(phi);
    d.y = at.y - 7.5f * std::cos(phi);
    d.width = 9.0f;
    d.height = 15.0f;
    d.angle = phi;
    d.opacity = L;
    sink.drawSprite(d);
    d.index = kSpriteBulbBody + i % kGarlandColours;
    d.opacity = garlandBrightness(i, t) * L;
    sink.drawSprite(d);
  });
}

}  // namespace kovra
