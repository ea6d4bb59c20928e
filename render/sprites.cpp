#include "render/sprites.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

namespace kovra {

const std::array<Rgba, kGarlandColours> kGarlandPalette = {{
    {1.0f, 0.22f, 0.18f, 1},   // red
    {1.0f, 0.68f, 0.16f, 1},   // amber
    {0.20f, 0.86f, 0.38f, 1},  // green
    {0.26f, 0.55f, 1.0f, 1},   // blue
    {1.0f, 0.42f, 0.78f, 1},   // pink
}};

const std::array<Rgba, kSparkColours> kSparkPalette = {{
    {1.0f, 0.35f, 0.30f, 1},
    {1.0f, 1.0f, 0.85f, 1},
    {0.35f, 1.0f, 0.40f, 1},
    {0.90f, 0.50f, 1.0f, 1},
    {0.45f, 0.70f, 1.0f, 1},
    {1.0f, 0.95f, 0.50f, 1},
    {1.0f, 1.0f, 1.0f, 1},
}};

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr int kMaxPictureSide = 4096;

struct Knot {
  float at, value;
};

// Piecewise linear through the knots (ascending); 0 beyond the last one.
template <size_t N>
float piecewise(float x, const Knot (&k)[N]) {
  if (x <= k[0].at) return k[0].value;
  for (size_t i = 1; i < N; ++i) {
    if (x <= k[i].at) {
      const float t = (x - k[i - 1].at) / (k[i].at - k[i - 1].at);
      return k[i - 1].value + (k[i].value - k[i - 1].value) * t;
    }
  }
  return 0.0f;
}

uint8_t toByte(float c) {
  c = std::clamp(c, 0.0f, 1.0f);
  return static_cast<uint8_t>(std::floor(c * 255.0f + 0.5f));
}

// Premultiplied components to one pixel word.
uint32_t pack(float r, float g, float b, float a) {
  return (static_cast<uint32_t>(toByte(a)) << 24) | (static_cast<uint32_t>(toByte(r)) << 16) |
         (static_cast<uint32_t>(toByte(g)) << 8) | toByte(b);
}

float channel(uint32_t px, int shift) { return static_cast<float>((px >> shift) & 0xFFu) / 255.0f; }

Sprite blank(int w, int h) {
  Sprite s;
  s.width = w;
  s.height = h;
  s.pixels.assign(static_cast<size_t>(w) * h, 0u);
  return s;
}

float distanceToSegment(float px, float py, float ax, float ay, float bx, float by) {
  const float dx = bx - ax, dy = by - ay;
  const float len2 = dx * dx + dy * dy;
  float t = len2 > 0 ? ((px - ax) * dx + (py - ay) * dy) / len2 : 0.0f;
  t = std::clamp(t, 0.0f, 1.0f);
  const float ex = px - (ax + t * dx), ey = py - (ay + t * dy);
  return std::sqrt(ex * ex + ey * ey);
}

struct Segment {
  float ax, ay, bx, by;
};

// Half-width of a bulb's glass at o (0 at the neck, 1 at the tip), in units
// of the picture's width.
float bulbHalfWidth(float o) {
  if (o < 0.42f) return 0.25f * std::sin(o / 0.42f * kPi * 0.5f) + 0.17f;
  return 0.42f * std::sqrt(std::max(0.0f, (1.0f - o) / 0.58f));
}

struct Premul {
  float r = 0, g = 0, b = 0, a = 0;
  void add(float sr, float sg, float sb, float sa) {
    r += sr;
    g += sg;
    b += sb;
    a += sa;
  }
};

// One sample of a bulb at (w, m): w across from the middle in picture
// widths, m down from the top, 0..1.
Premul bulbSample(const Rgba& base, bool withSocket, float w, float m) {
  Premul out;
  if (m >= 0.24f) {
    const float o = (m - 0.24f) / 0.76f;
    const float hw = bulbHalfWidth(o);
    if (hw > 0 && std::fabs(w) <= hw) {
      const float nx = w / hw;                            // -1..1 across the glass
      const float nz = std::sqrt(std::max(0.0f, 1.0f - nx * nx));
      // A highlight up and to the left, a brighter core where the filament is.
      const float hx = (nx + 0.42f) / 0.22f, hy = (o - 0.3f) / 0.16f;
      const float gleam = std::max(0.0f, 1.0f - (hx * hx + hy * hy));
      const float cx = nx / 0.75f, cy = (o - 0.5f) / 0.4f;
      const float core = std::max(0.0f, 1.0f - std::sqrt(cx * cx + cy * cy));
      float r, g, b, a;
      if (withSocket) {
        // Unlit glass: deep and a little translucent, the lit body lies over it.
        const float shade = 0.30f + 0.25f * nz;
        r = base.r * shade;
        g = base.g * shade;
        b = base.b * shade;
        a = 0.96f;
        const float s = 0.45f * gleam;
        r += (1.0f - r) * s;
        g += (1.0f - g) * s;
        b += (1.0f - b) * s;
      } else {
        const float shade = 0.62f + 0.38f * nz;
        const float white = 0.55f * core * core + 0.75f * gleam;
        r = base.r * shade;
        g = base.g * shade;
        b = base.b * shade;
        r += (1.0f - r) * white;
        g += (1.0f - g) * white;
        b += (1.0f - b) * white;
        a = 1.0f;
      }
      out.add(r * a, g * a, b * a, a);
      return out;
    }
  }
  if (withSocket && m >= 0.02f && m < 0.26f && std::fabs(w) <= 0.19f) {
    // The socket: a short dark cylinder with a few ridges.
    const float nx = w / 0.19f;
    const float nz = std::sqrt(std::max(0.0f, 1.0f - nx * nx));
    const float ridge = 0.5f + 0.5f * std::cos((m - 0.02f) / 0.24f * 4.0f * 2.0f * kPi);
    const float shade = 0.45f + 0.40f * nz + 0.15f * ridge;
    const float stripe = std::max(0.0f, 1.0f - std::fabs(nx + 0.45f) / 0.18f) * 0.35f;
    const float r = 0.18f * shade + stripe, g = 0.24f * shade + stripe, b = 0.19f * shade + stripe;
    out.add(r, g, b, 1.0f);
  }
  return out;
}

// A round glow of the colour with alpha by the knots over g = 2 x distance /
// picture size.
template <size_t N>
Sprite roundGlow(int side, const Rgba& colour, const Knot (&knots)[N]) {
  Sprite s = blank(side, side);
  const float c = side * 0.5f;
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const float dx = x + 0.5f - c, dy = y + 0.5f - c;
      const float g = 2.0f * std::sqrt(dx * dx + dy * dy) / side;
      const float a = piecewise(g, knots);
      s.pixels[static_cast<size_t>(y) * side + x] = pack(colour.r * a, colour.g * a, colour.b * a, a);
    }
  }
  return s;
}

}  // namespace

Sprite recolour(const Sprite& source, const Rgba& target, float strength) {
  Sprite out;
  if (source.empty()) return out;
  out.width = source.width;
  out.height = source.height;
  out.pixels.resize(source.pixels.size());
  for (size_t i = 0; i < source.pixels.size(); ++i) {
    const uint32_t px = source.pixels[i];
    const float a = channel(px, 24);
    const float r = channel(px, 16), g = channel(px, 8), b = channel(px, 0);
    out.pixels[i] = (px & 0xFF000000u) | (static_cast<uint32_t>(toByte(r + (a * target.r - r) * strength)) << 16) |
                    (static_cast<uint32_t>(toByte(g + (a * target.g - g) * strength)) << 8) |
                    toByte(b + (a * target.b - b) * strength);
  }
  return out;
}

Sprite drawCrystalPicture(int shape) {
  struct Pair {
    float c, o;
  };
  static const Pair kBranches0[] = {{0.42f, 0.26f}, {0.68f, 0.18f}};
  static const Pair kBranches1[] = {{0.34f, 0.16f}, {0.56f, 0.16f}, {0.76f, 0.11f}};
  static const Pair kBranches2[] = {{0.5f, 0.3f}};
  const Pair* pairs = kBranches0;
  size_t pairCount = 2;
  if (shape == 1) {
    pairs = kBranches1;
    pairCount = 3;
  } else if (shape == 2) {
    pairs = kBranches2;
    pairCount = 1;
  }

  constexpr float kArm = 0.42f;
  std::vector<Segment> segments;
  for (int k = 0; k < 6; ++k) {
    const float a = kPi * 0.5f + k * kPi / 3.0f;
    const float ux = std::cos(a), uy = std::sin(a);
    segments.push_back({0, 0, kArm * ux, kArm * uy});
    for (size_t i = 0; i < pairCount; ++i) {
      const float sx = kArm * pairs[i].c * ux, sy = kArm * pairs[i].c * uy;
      const float len = kArm * pairs[i].o;
      for (float side : {-1.0f, 1.0f}) {
        const float b = a + side * kPi / 3.0f;
        segments.push_back({sx, sy, sx + len * std::cos(b), sy + len * std::sin(b)});
      }
    }
  }

  constexpr int kSide = 64;
  Sprite s = blank(kSide, kSide);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      float grey = 0, alpha = 0;
      for (int j = 0; j < 3; ++j) {
        for (int i = 0; i < 3; ++i) {
          const float px = (x + (i + 0.5f) / 3.0f) / kSide - 0.5f;
          const float py = (y + (j + 0.5f) / 3.0f) / kSide - 0.5f;
          float e = 1e9f;
          for (const Segment& seg : segments) e = std::min(e, distanceToSegment(px, py, seg.ax, seg.ay, seg.bx, seg.by));
          const float l = std::clamp((0.0275f - e) * 64.0f + 0.5f, 0.0f, 1.0f);
          const float h = e > 0.0275f ? 0.385f * std::exp(-(e - 0.0275f) * (e - 0.0275f) / 0.000648f) : 0.0f;
          const float q = std::sqrt(px * px + py * py) / 0.09f;
          const float d = q < 0.4f ? 1.0f : (q < 1.0f ? 1.0f - (q - 0.4f) / 0.6f : 0.0f);
          const float bright = std::max({l, h, d});
          if (e < 0.07f) {
            grey += bright + (1.0f - bright) * 0.108f;
            alpha += bright + (1.0f - bright) * 0.36f;
          } else {
            grey += bright;
            alpha += bright;
          }
        }
      }
      grey /= 9.0f;
      alpha /= 9.0f;
      s.pixels[static_cast<size_t>(y) * kSide + x] = pack(grey, grey, grey, alpha);
    }
  }
  return s;
}

Sprite drawStreakPicture() {
  constexpr int kW = 300, kH = 10;
  Sprite s = blank(kW, kH);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      Premul sum;
      for (float oy : {0.25f, 0.75f}) {
        for (float ox : {0.25f, 0.75f}) {
          const float sx = x + ox, sy = y + oy;
          if (sx > 294.0f) continue;
          if (std::fabs(sy - 5.0f) > 2.2f * std::min(1.0f, sx / 294.0f)) continue;
          const float p = sx / 300.0f;
          float a, r, g, b = 1.0f;
          if (p < 0.8f) {
            a = 0.75f * p;
            r = 0.75f + 0.1875f * p;
            g = 0.85f + 0.125f * p;
          } else {
            a = 0.6f + 2.0f * (p - 0.8f);
            r = 0.9f + 0.5f * (p - 0.8f);
            g = 0.95f + 0.25f * (p - 0.8f);
          }
          sum.add(r * a, g * a, b * a, a);
        }
      }
      float r = sum.r * 0.25f, g = sum.g * 0.25f, b = sum.b * 0.25f, a = sum.a * 0.25f;
      const float dx = x + 0.5f - 294.0f, dy = y + 0.5f - 5.0f;
      const float v = std::sqrt(dx * dx + dy * dy) / 4.5f;
      if (v < 1.0f) {
        const float add = (1.0f - a) * (1.0f - v);
        r += add;
        g += add;
        b += add;
        a += add;
      }
      s.pixels[static_cast<size_t>(y) * kW + x] = pack(r, g, b, a);
    }
  }
  return s;
}

Sprite drawTwinklePicture() {
  // A small four-pointed glint: a soft core with thin rays along the axes.
  constexpr int kSide = 20;
  static const Knot kCore[] = {{0.0f, 1.0f}, {0.3f, 0.45f}, {1.0f, 0.0f}};
  Sprite s = blank(kSide, kSide);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const float dx = x + 0.5f - 10.0f, dy = y + 0.5f - 10.0f;
      const float g = std::sqrt(dx * dx + dy * dy) / 10.0f;
      const float core = piecewise(g, kCore);
      const float rayX = std::max(0.0f, 1.0f - std::fabs(dx) / 10.0f) * std::exp(-dy * dy / 1.1f);
      const float rayY = std::max(0.0f, 1.0f - std::fabs(dy) / 10.0f) * std::exp(-dx * dx / 1.1f);
      const float a = std::min(1.0f, core + 0.85f * std::max(rayX, rayY));
      s.pixels[static_cast<size_t>(y) * kSide + x] = pack(0.93f * a, 0.97f * a, a, a);
    }
  }
  return s;
}

Sprite drawSoftDiscPicture() {
  constexpr int kSide = 48;
  static const Knot kKnots[] = {{0.0f, 1.0f}, {0.35f, 0.85f}, {0.7f, 0.4f}, {1.0f, 0.0f}};
  Sprite s = blank(kSide, kSide);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const float dx = x + 0.5f - 24.0f, dy = y + 0.5f - 24.0f;
      const float r = std::sqrt(dx * dx + dy * dy) / 23.04f;
      const float v = piecewise(r, kKnots);
      s.pixels[static_cast<size_t>(y) * kSide + x] = pack(v, v, v, v);
    }
  }
  return s;
}

Sprite drawBulbPicture(int colour, bool withSocket) {
  constexpr int kW = 27, kH = 45;
  const Rgba& base = kGarlandPalette[static_cast<size_t>(std::clamp(colour, 0, kGarlandColours - 1))];
  Sprite s = blank(kW, kH);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      Premul sum;
      for (int j = 0; j < 4; ++j) {
        for (int i = 0; i < 4; ++i) {
          const float w = (x + (i + 0.5f) / 4.0f) / kW - 0.5f;
          const float m = (y + (j + 0.5f) / 4.0f) / kH;
          const Premul p = bulbSample(base, withSocket, w, m);
          sum.add(p.r, p.g, p.b, p.a);
        }
      }
      s.pixels[static_cast<size_t>(y) * kW + x] = pack(sum.r / 16, sum.g / 16, sum.b / 16, sum.a / 16);
    }
  }
  return s;
}

Sprite drawGlowPicture(int colour) {
  static const Knot kKnots[] = {{0.0f, 0.9f}, {0.22f, 0.38f}, {1.0f, 0.0f}};
  return roundGlow(64, kGarlandPalette[static_cast<size_t>(std::clamp(colour, 0, kGarlandColours - 1))], kKnots);
}

Sprite drawSparkPicture(int colour) {
  static const Knot kKnots[] = {{0.0f, 1.0f}, {0.3f, 0.5f}, {1.0f, 0.0f}};
  return roundGlow(16, kSparkPalette[static_cast<size_t>(std::clamp(colour, 0, kSparkColours - 1))], kKnots);
}

void completeDrawnSlots(SpriteSet& set) {
  auto& slot = set.slots;
  if (!slot[kSpriteStar].empty()) slot[kSpriteGoldenStar] = recolour(slot[kSpriteStar], {1.0f, 0.84f, 0.42f, 1}, 0.55f);
  for (int f = 0; f < 2; ++f) {
    if (!slot[kSpriteReindeer + f].empty())
      slot[kSpriteDarkReindeer + f] = recolour(slot[kSpriteReindeer + f], {0, 0, 0, 1}, 0.22f);
  }
  slot[kSpriteStreak] = drawStreakPicture();
  slot[kSpriteTwinkle] = drawTwinklePicture();
  for (int k = 0; k < 3; ++k) slot[kSpriteCrystal + k] = drawCrystalPicture(k);
  slot[kSpriteSoftDisc] = drawSoftDiscPicture();
  for (int c = 0; c < kGarlandColours; ++c) {
    slot[kSpriteBulb + c] = drawBulbPicture(c, true);
    slot[kSpriteGlow + c] = drawGlowPicture(c);
    slot[kSpriteBulbBody + c] = drawBulbPicture(c, false);
  }
  for (int c = 0; c < kSparkColours; ++c) slot[kSpriteSpark + c] = drawSparkPicture(c);
  for (Sprite& s : slot) {
    if (!s.empty()) makeSmallerCopies(s);
  }
}

Sprite halveSprite(const Sprite& source) {
  Sprite half;
  if (source.empty()) return half;
  half.width = (source.width + 1) / 2;
  half.height = (source.height + 1) / 2;
  half.pixels.resize(static_cast<size_t>(half.width) * static_cast<size_t>(half.height));
  for (int y = 0; y < half.height; ++y) {
    const int y0 = 2 * y, y1 = std::min(2 * y + 1, source.height - 1);
    for (int x = 0; x < half.width; ++x) {
      const int x0 = 2 * x, x1 = std::min(2 * x + 1, source.width - 1);
      const uint32_t four[4] = {source.at(x0, y0), source.at(x1, y0), source.at(x0, y1), source.at(x1, y1)};
      uint32_t out = 0;
      for (int shift = 0; shift < 32; shift += 8) {
        uint32_t sum = 2;  // rounds to nearest
        for (uint32_t p : four) sum += (p >> shift) & 0xFFu;
        out |= (sum / 4) << shift;
      }
      half.pixels[static_cast<size_t>(y) * static_cast<size_t>(half.width) + static_cast<size_t>(x)] = out;
    }
  }
  return half;
}

void makeSmallerCopies(Sprite& sprite) {
  sprite.smaller.clear();
  if (sprite.empty()) return;
  Sprite next = halveSprite(sprite);
  while (!next.empty()) {
    const bool last = next.width <= 4 || next.height <= 4;
    Sprite after = last ? Sprite{} : halveSprite(next);
    sprite.smaller.push_back(std::move(next));
    next = std::move(after);
  }
}

const Sprite& spriteForScale(const Sprite& sprite, float texelsPerPixel) {
  size_t level = 0;
  // NaN compares false and stays on the full picture.
  while (texelsPerPixel >= 2.0f && level < sprite.smaller.size()) {
    texelsPerPixel *= 0.5f;
    ++level;
  }
  return level == 0 ? sprite : sprite.smaller[level - 1];
}

namespace {

std::mutex& storageLock() {
  static std::mutex m;
  return m;
}

std::array<bool, kPictureSlots>& installed() {
  static std::array<bool, kPictureSlots> flags{};
  return flags;
}

}  // namespace

SpriteSet& spriteSetStorage() {
  static SpriteSet set;  // one-time, thread-safe initialisation of the storage
  return set;
}

bool spritesInstallPicture(int slot, int width, int height, const uint8_t* bgra) {
  if (slot < 0 || slot >= kPictureSlots || !bgra) return false;
  if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide) return false;
  Sprite s;
  s.width = width;
  s.height = height;
  s.pixels.resize(static_cast<size_t>(width) * height);
  std::memcpy(s.pixels.data(), bgra, s.pixels.size() * 4);
  std::lock_guard<std::mutex> hold(storageLock());
  spriteSetStorage().slots[static_cast<size_t>(slot)] = std::move(s);
  installed()[static_cast<size_t>(slot)] = true;
  return true;
}

int spritesPictureCount() {
  std::lock_guard<std::mutex> hold(storageLock());
  return static_cast<int>(std::count(installed().begin(), installed().end(), true));
}

void spritesCompleteDrawn() {
  std::lock_guard<std::mutex> hold(storageLock());
  completeDrawnSlots(spriteSetStorage());
}

}  // namespace kovra
