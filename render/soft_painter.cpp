#include "render/soft_painter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#define KOVRA_SSE2 1
#endif

namespace kovra {

namespace {

constexpr float kInv255 = 1.0f / 255.0f;
constexpr float kThreshold = 0.002f;  // coverage x opacity at or below this leaves a pixel alone

// Drift colours.
constexpr Rgba kSnowBody{0.975f, 0.985f, 1.0f, 1.0f};
constexpr Rgba kSnowRim{0.55f, 0.65f, 0.80f, 0.85f};

#if defined(__GNUC__)
#define KOVRA_HOT inline __attribute__((always_inline))
#else
#define KOVRA_HOT inline
#endif

bool finite(float v) { return std::isfinite(v); }

// Inclusive index range [floor(from), ceil(to)] clipped to 0..limit-1; false when
// nothing is left. The arguments are finite but may be far off the buffer.
bool span(float from, float to, int limit, int& lo, int& hi) {
  const float top = static_cast<float>(limit - 1);
  if (!(to >= 0.0f) || !(from <= top) || limit <= 0) return false;
  lo = static_cast<int>(std::floor(std::max(from, 0.0f)));
  hi = static_cast<int>(std::ceil(std::min(to, top)));
  return lo <= hi;
}

KOVRA_HOT uint32_t toByte(float c) {
  c = c < 0.0f ? 0.0f : (c > 1.0f ? 1.0f : c);
  return static_cast<uint32_t>(c * 255.0f + 0.5f);
}

KOVRA_HOT uint32_t pack(float r, float g, float b, float a) {
  return (toByte(a) << 24) | (toByte(r) << 16) | (toByte(g) << 8) | toByte(b);
}

#if KOVRA_SSE2
// The four channels of a pixel side by side as floats, blue in lane 0 and
// alpha in lane 3, so one instruction does what the scalar code does four
// times. Every lane goes through the same operations in the same order as
// the scalar code, so the bytes come out the same.
KOVRA_HOT __m128 lanes(uint32_t p) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i bytes = _mm_cvtsi32_si128(static_cast<int>(p));
  return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero));
}

// toByte on every lane, packed back into a pixel.
KOVRA_HOT uint32_t packLanes(__m128 c) {
  c = _mm_min_ps(_mm_max_ps(c, _mm_setzero_ps()), _mm_set1_ps(1.0f));
  const __m128i v = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(c, _mm_set1_ps(255.0f)), _mm_set1_ps(0.5f)));
  const __m128i w = _mm_packs_epi32(v, v);
  return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(w, w)));
}

KOVRA_HOT float alphaLane(__m128 c) { return _mm_cvtss_f32(_mm_shuffle_ps(c, c, _MM_SHUFFLE(3, 3, 3, 3))); }

// Premultiplied source over the pixel: new = source + old x (1 - source alpha).
KOVRA_HOT void over(uint32_t& d, __m128 s) {
  const uint32_t o = d;
  if (o == 0) {
    d = packLanes(s);
    return;
  }
  const float k = (1.0f - alphaLane(s)) * kInv255;
  d = packLanes(_mm_add_ps(s, _mm_mul_ps(lanes(o), _mm_set1_ps(k))));
}

// Premultiplied source added to the pixel, each component capped at 1.
KOVRA_HOT void add(uint32_t& d, __m128 s) {
  d = packLanes(_mm_add_ps(s, _mm_mul_ps(lanes(d), _mm_set1_ps(kInv255))));
}
#endif

// Premultiplied source over the pixel: new = source + old x (1 - source alpha).
KOVRA_HOT void over(uint32_t& d, float r, float g, float b, float a) {
#if KOVRA_SSE2
  over(d, _mm_set_ps(a, r, g, b));
#else
  const uint32_t o = d;
  if (o == 0) {
    d = pack(r, g, b, a);
    return;
  }
  const float k = (1.0f - a) * kInv255;
  d = pack(r + static_cast<float>((o >> 16) & 0xFFu) * k, g + static_cast<float>((o >> 8) & 0xFFu) * k,
           b + static_cast<float>(o & 0xFFu) * k, a + static_cast<float>(o >> 24) * k);
#endif
}

// A straight colour at coverage x opacity u.
KOVRA_HOT void blend(uint32_t& d, const Rgba& c, float u) {
  if (u <= kThreshold) return;
  over(d, c.r * u, c.g * u, c.b * u, u);
}

struct FlakeSum {
  float r = 0, g = 0, b = 0, a = 0;
};

// The flake picture at (u, v), offsets from the centre in footprint sides, v
// downwards: premultiplied colour and alpha, added to the sums.
KOVRA_HOT void flakeSample(float u, float v, FlakeSum& sum) {
  const float uu = u * u;
  const float r2 = uu + v * v;
  // Beyond 0.495 of the footprint neither the body nor the shadow (0.45
  // around a point 0.045 lower) reaches, so those samples stay empty too.
  if (r2 > 0.2451f) return;
  // Body: alpha through (0, 1), (0.6, 0.95), (0.85, 0.5), (1, 0) over the
  // distance in units of 0.4, written out in plain distances.
  float h = 0.0f;
  if (r2 < 0.16f) {
    const float r = std::sqrt(r2);
    if (r < 0.24f) {
      h = 1.0f - r * (0.05f / 0.24f);
    } else if (r < 0.34f) {
      h = 0.95f - (r - 0.24f) * (0.45f / 0.1f);
    } else {
      h = 0.5f - (r - 0.34f) * (0.5f / 0.06f);
    }
  }
  // Shadow 0.045 lower: (0, 0.36), (0.6, 0.24), (0.85, 0.07), (1, 0) over
  // the distance in units of 0.45.
  const float vs = v - 0.045f;
  const float c2 = uu + vs * vs;
  float s = 0.0f;
  if (c2 < 0.2025f) {
    const float c = std::sqrt(c2);
    if (c < 0.27f) {
      s = 0.36f - c * (0.12f / 0.27f);
    } else if (c < 0.3825f) {
      s = 0.24f - (c - 0.27f) * (0.17f / 0.1125f);
    } else {
      s = 0.07f - (c - 0.3825f) * (0.07f / 0.0675f);
    }
  }
  s *= 1.0f - h;
  sum.r += 0.25f * s + h;
  sum.g += 0.26f * s + h;
  sum.b += 0.29f * s + h;
  sum.a += s + h;
}

KOVRA_HOT float texel(uint32_t t, int shift) { return static_cast<float>((t >> shift) & 0xFFu); }

// Four neighbouring texels mixed at fractions (fx, fy), scaled by the
// opacity over 255 and then added to the pixel (each component capped at 1)
// or laid over it. Nothing is touched where the result is too faint.
KOVRA_HOT void blendTexels(uint32_t& d, uint32_t t00, uint32_t t10, uint32_t t01, uint32_t t11, float fx, float fy,
                           float opByte, bool additive) {
  const float w00 = (1.0f - fx) * (1.0f - fy), w10 = fx * (1.0f - fy), w01 = (1.0f - fx) * fy, w11 = fx * fy;
#if KOVRA_SSE2
  __m128 m = _mm_mul_ps(lanes(t00), _mm_set1_ps(w00));
  m = _mm_add_ps(m, _mm_mul_ps(lanes(t10), _mm_set1_ps(w10)));
  m = _mm_add_ps(m, _mm_mul_ps(lanes(t01), _mm_set1_ps(w01)));
  m = _mm_add_ps(m, _mm_mul_ps(lanes(t11), _mm_set1_ps(w11)));
  m = _mm_mul_ps(m, _mm_set1_ps(opByte));
  if (additive) {
    if (_mm_movemask_ps(_mm_cmpgt_ps(m, _mm_set1_ps(kThreshold))) == 0) return;
    add(d, m);
  } else {
    if (alphaLane(m) <= kThreshold) return;
    over(d, m);
  }
#else
  auto mix = [&](int shift) {
    return (texel(t00, shift) * w00 + texel(t10, shift) * w10 + texel(t01, shift) * w01 + texel(t11, shift) * w11) *
           opByte;
  };
  const float sa8 = mix(24);
  const float sr = mix(16), sg = mix(8), sb = mix(0);
  if (additive) {
    if (sa8 <= kThreshold && sr <= kThreshold && sg <= kThreshold && sb <= kThreshold) return;
    const uint32_t o = d;
    d = pack(sr + texel(o, 16) * kInv255, sg + texel(o, 8) * kInv255, sb + texel(o, 0) * kInv255,
             sa8 + texel(o, 24) * kInv255);
  } else {
    if (sa8 <= kThreshold) return;
    over(d, sr, sg, sb, sa8);
  }
#endif
}

}  // namespace

void PixelBox::add(int ax0, int ay0, int ax1, int ay1) {
  if (ax1 < ax0 || ay1 < ay0) return;
  if (empty()) {
    *this = {ax0, ay0, ax1, ay1};
    return;
  }
  x0 = std::min(x0, ax0);
  y0 = std::min(y0, ay0);
  x1 = std::max(x1, ax1);
  y1 = std::max(y1, ay1);
}

PixelBox unite(const PixelBox& a, const PixelBox& b) {
  PixelBox u = a;
  u.add(b.x0, b.y0, b.x1, b.y1);
  return u;
}

void SoftPainter::clear(const PixelBox& box) {
  if (!pixels || box.empty()) return;
  const int x0 = std::max(box.x0, 0), x1 = std::min(box.x1, width - 1);
  const int y0 = std::max(box.y0, 0), y1 = std::min(box.y1, height - 1);
  if (x1 < x0) return;
  for (int y = y0; y <= y1; ++y) std::memset(row(y) + x0, 0, static_cast<size_t>(x1 - x0 + 1) * 4);
}

void SoftPainter::clear() {
  if (!pixels || width <= 0) return;
  if (stride == width) {
    std::memset(pixels, 0, static_cast<size_t>(width) * static_cast<size_t>(std::max(height, 0)) * 4);
    return;
  }
  for (int y = 0; y < height; ++y) std::memset(row(y), 0, static_cast<size_t>(width) * 4);
}

void SoftPainter::fillCircle(DrawPoint centre, float radius, const Rgba& colour) {
  if (!pixels || !(colour.a > kThreshold)) return;  // coverage never exceeds 1
  const float cx = px(centre.x), cy = py(centre.y), r = radius * scale;
  if (!finite(cx) || !finite(cy) || !finite(r)) return;
  const float reach = r + 0.5f;  // beyond this distance the coverage is 0
  if (!(reach > 0.0f)) return;
  int y0, y1, x0, x1;
  if (!span(cy - r - 1.0f, cy + r + 1.0f, height, y0, y1) || !span(cx - r - 1.0f, cx + r + 1.0f, width, x0, x1))
    return;
  drawn.add(x0, y0, x1, y1);
  for (int j = y0; j <= y1; ++j) {
    const float dy = static_cast<float>(j) + 0.5f - cy;
    const float left = reach * reach - dy * dy;
    if (left <= 0.0f) continue;
    const float half = std::sqrt(left);
    int a, b;
    if (!span(cx - half - 1.0f, cx + half + 1.0f, width, a, b)) continue;
    a = std::max(a, x0);
    b = std::min(b, x1);
    uint32_t* line = row(j);
    for (int i = a; i <= b; ++i) {
      const float dx = static_cast<float>(i) + 0.5f - cx;
      const float cover = std::clamp(r - std::sqrt(dx * dx + dy * dy) + 0.5f, 0.0f, 1.0f);
      blend(line[i], colour, cover * colour.a);
    }
  }
}

void SoftPainter::drawLine(DrawPoint p0, DrawPoint p1, float lineWidth, const Rgba& colour) {
  if (!pixels || !(colour.a > kThreshold)) return;
  const float ax = px(p0.x), ay = py(p0.y), bx = px(p1.x), by = py(p1.y);
  const float w = lineWidth * scale * 0.5f;
  if (!finite(ax) || !finite(ay) || !finite(bx) || !finite(by) || !finite(w)) return;
  const float reach = w + 0.5f;
  if (!(reach > 0.0f)) return;
  int y0, y1, x0, x1;
  if (!span(std::min(ay, by) - w - 1.0f, std::max(ay, by) + w + 1.0f, height, y0, y1) ||
      !span(std::min(ax, bx) - w - 1.0f, std::max(ax, bx) + w + 1.0f, width, x0, x1))
    return;
  drawn.add(x0, y0, x1, y1);
  const float dx = bx - ax, dy = by - ay;
  const float len2 = dx * dx + dy * dy;
  const float invLen = len2 > 0.0f ? 1.0f / std::sqrt(len2) : 0.0f;
  for (int j = y0; j <= y1; ++j) {
    const float yc = static_cast<float>(j) + 0.5f;
    // Only the part of the segment within `reach` of this row can cover it.
    float t0 = 0.0f, t1 = 1.0f;
    if (dy != 0.0f) {
      t0 = (yc - reach - ay) / dy;
      t1 = (yc + reach - ay) / dy;
      if (t0 > t1) std::swap(t0, t1);
      t0 = std::max(t0, 0.0f);
      t1 = std::min(t1, 1.0f);
      if (t0 > t1) continue;
    } else if (std::fabs(yc - ay) >= reach) {
      continue;
    }
    // A pixel centre further than `reach` to either side of that part is
    // further than `reach` from the whole segment, so it gets no coverage;
    // 1/16 px to spare absorbs the rounding of the ends.
    const float xa = ax + t0 * dx, xb = ax + t1 * dx;
    int a, b;
    if (!span(std::min(xa, xb) - reach - 0.5625f, std::max(xa, xb) + reach - 0.4375f, width, a, b)) continue;
    a = std::max(a, x0);
    b = std::min(b, x1);
    uint32_t* line = row(j);
    const float ry = yc - ay;
    for (int i = a; i <= b; ++i) {
      const float rx = static_cast<float>(i) + 0.5f - ax;
      // Distance to the segment: to an end point beyond either end, else
      // across it (the cross product keeps pixels on the axis at exactly 0).
      const float along = rx * dx + ry * dy;
      float dist;
      if (along <= 0.0f) {
        dist = std::sqrt(rx * rx + ry * ry);
      } else if (along >= len2) {
        const float ex = rx - dx, ey = ry - dy;
        dist = std::sqrt(ex * ex + ey * ey);
      } else {
        dist = std::fabs(rx * dy - ry * dx) * invLen;
      }
      const float cover = std::clamp(w - dist + 0.5f, 0.0f, 1.0f);
      blend(line[i], colour, cover * colour.a);
    }
  }
}

void SoftPainter::fillTriangle(DrawPoint p0, DrawPoint p1, DrawPoint p2, const Rgba& colour) {
  if (!pixels || !(colour.a > kThreshold)) return;
  float x[3] = {px(p0.x), px(p1.x), px(p2.x)};
  float y[3] = {py(p0.y), py(p1.y), py(p2.y)};
  for (int k = 0; k < 3; ++k)
    if (!finite(x[k]) || !finite(y[k])) return;
  const float area2 = (x[1] - x[0]) * (y[2] - y[0]) - (y[1] - y[0]) * (x[2] - x[0]);
  if (!(std::fabs(area2) >= 0.01f)) return;
  if (area2 < 0.0f) {  // one winding for both orientations
    std::swap(x[1], x[2]);
    std::swap(y[1], y[2]);
  }
  int y0, y1, x0, x1;
  if (!span(std::min({y[0], y[1], y[2]}), std::max({y[0], y[1], y[2]}), height, y0, y1) ||
      !span(std::min({x[0], x[1], x[2]}), std::max({x[0], x[1], x[2]}), width, x0, x1))
    return;
  drawn.add(x0, y0, x1, y1);
  // Edge k runs from vertex k to vertex k+1; inside is where all three
  // e = ex * (py - y) - ey * (px - x) are at least 0.
  float ex[3], ey[3];
  for (int k = 0; k < 3; ++k) {
    ex[k] = x[(k + 1) % 3] - x[k];
    ey[k] = y[(k + 1) % 3] - y[k];
  }
  const float u = colour.a;
  const float pr = colour.r * u, pg = colour.g * u, pb = colour.b * u;
  for (int j = y0; j <= y1; ++j) {
    const float yc = static_cast<float>(j) + 0.5f;
    // Each edge bounds the row on one side; narrow the scan to where all
    // three can hold, with a pixel to spare, and test exactly there.
    float lo = static_cast<float>(x0), hi = static_cast<float>(x1) + 1.0f;
    bool empty = false;
    for (int k = 0; k < 3; ++k) {
      const float c = ex[k] * (yc - y[k]);  // e(px) = c - ey * (px - x)
      if (ey[k] == 0.0f) {
        if (c < 0.0f) empty = true;
      } else {
        const float at = x[k] + c / ey[k];
        if (ey[k] > 0.0f) hi = std::min(hi, at + 1.0f);
        else lo = std::max(lo, at - 1.0f);
      }
    }
    if (empty || lo > hi) continue;
    int a, b;
    if (!span(lo - 0.5f, hi - 0.5f, width, a, b)) continue;
    a = std::max(a, x0);
    b = std::min(b, x1);
    uint32_t* line = row(j);
    for (int i = a; i <= b; ++i) {
      const float xc = static_cast<float>(i) + 0.5f;
      bool inside = true;
      for (int k = 0; k < 3 && inside; ++k) inside = ex[k] * (yc - y[k]) - ey[k] * (xc - x[k]) >= 0.0f;
      if (inside) over(line[i], pr, pg, pb, u);
    }
  }
}

Rgba flakePictureAt(float u, float v) {
  FlakeSum s;
  flakeSample(u, v, s);
  return {s.r, s.g, s.b, s.a};
}

void SoftPainter::drawFlake(const FlakeDraw& flake) {
  if (!pixels || !(flake.opacity > 0.01f)) return;
  const float cx = px(flake.x), cy = py(flake.y), d = 1.5f * flake.size * scale;
  if (!finite(cx) || !finite(cy) || !finite(d) || !(d > 0.0f)) return;
  const float half = d * 0.5f;
  int y0, y1, x0, x1;
  if (!span(cy - half - 0.5f, cy + half - 0.5f, height, y0, y1) ||
      !span(cx - half - 0.5f, cx + half - 0.5f, width, x0, x1))
    return;
  drawn.add(x0, y0, x1, y1);
  const float inv = 1.0f / d;
  const float op = flake.opacity;
  const bool small = d < 10.0f;
  for (int j = y0; j <= y1; ++j) {
    uint32_t* line = row(j);
    const float vc = (static_cast<float>(j) + 0.5f - cy) * inv;
    const float v0 = (static_cast<float>(j) + 0.25f - cy) * inv, v1 = (static_cast<float>(j) + 0.75f - cy) * inv;
    // Only the columns whose samples can fall inside the picture's circle.
    const float vn = small ? std::min(std::fabs(v0), std::fabs(v1)) : std::fabs(vc);
    const float room = 0.2451f - vn * vn;
    if (room < 0.0f) continue;
    const float reach = std::sqrt(room) * d + 1.0f;
    const int a = static_cast<int>(std::floor(std::clamp(cx - reach, static_cast<float>(x0), static_cast<float>(x1))));
    const int b = static_cast<int>(std::floor(std::clamp(cx + reach, static_cast<float>(x0), static_cast<float>(x1))));
    for (int i = a; i <= b; ++i) {
      FlakeSum s;
      if (small) {
        const float u0 = (static_cast<float>(i) + 0.25f - cx) * inv, u1 = (static_cast<float>(i) + 0.75f - cx) * inv;
        flakeSample(u0, v0, s);
        flakeSample(u1, v0, s);
        flakeSample(u0, v1, s);
        flakeSample(u1, v1, s);
        s.r *= 0.25f;
        s.g *= 0.25f;
        s.b *= 0.25f;
        s.a *= 0.25f;
      } else {
        flakeSample((static_cast<float>(i) + 0.5f - cx) * inv, vc, s);
      }
      const float u = s.a * op;
      if (u <= kThreshold) continue;
      over(line[i], s.r * op, s.g * op, s.b * op, u);
    }
  }
}

void SoftPainter::drawSprite(const SpriteDraw& sprite) {
  if (!pixels || !sprites) return;
  const Sprite* pic = sprites->find(sprite.index);
  if (!pic || !(sprite.opacity > 0.01f)) return;
  const float gx = sprite.width * scale * 0.5f, gy = sprite.height * scale * 0.5f;
  if (!(gx >= 0.3f) || !(gy >= 0.3f)) return;
  const float cx = px(sprite.x), cy = py(sprite.y);
  const float ca = std::cos(sprite.angle), sa = std::sin(sprite.angle);
  if (!finite(cx) || !finite(cy) || !finite(gx) || !finite(gy) || !finite(ca) || !finite(sa)) return;
  pic = &spriteForScale(*pic, std::sqrt(static_cast<float>(pic->width) / (2.0f * gx) *
                                        static_cast<float>(pic->height) / (2.0f * gy)));
  const float ex = std::fabs(gx * ca) + std::fabs(gy * sa);
  const float ey = std::fabs(gx * sa) + std::fabs(gy * ca);
  int y0, y1, x0, x1;
  if (!span(cy - ey - 0.5f, cy + ey - 0.5f, height, y0, y1) || !span(cx - ex - 0.5f, cx + ex - 0.5f, width, x0, x1))
    return;
  drawn.add(x0, y0, x1, y1);

  if (uprightSprites && sa == 0.0f && ca == 1.0f) {
    drawUprightSprite(sprite, *pic, cx, cy, gx, gy, x0, x1, y0, y1);
    return;
  }

  const int sw = pic->width, sh = pic->height;
  const float kx = static_cast<float>(sw) / (2.0f * gx), ky = static_cast<float>(sh) / (2.0f * gy);
  const float op = sprite.opacity;
  const float opByte = op * kInv255;
  const uint32_t* tex = pic->pixels.data();
  auto fetch = [&](int tx, int ty) -> uint32_t {
    if (tx < 0 || ty < 0 || tx >= sw || ty >= sh) return 0u;
    return tex[static_cast<size_t>(ty) * sw + tx];
  };

  for (int j = y0; j <= y1; ++j) {
    const float dy = static_cast<float>(j) + 0.5f - cy;
    // The row meets the rotated rectangle in one interval of dx: intersect the
    // bands |dx cos - dy sin| <= gx and |dx sin + dy cos| <= gy.
    float lo = static_cast<float>(x0) - cx, hi = static_cast<float>(x1) + 1.0f - cx;
    if (std::fabs(ca) > 1e-6f) {
      float a = (-gx + dy * sa) / ca, b = (gx + dy * sa) / ca;
      if (a > b) std::swap(a, b);
      lo = std::max(lo, a - 1.0f);
      hi = std::min(hi, b + 1.0f);
    } else if (std::fabs(dy * sa) > gx + 1.0f) {
      continue;
    }
    if (std::fabs(sa) > 1e-6f) {
      float a = (-gy - dy * ca) / sa, b = (gy - dy * ca) / sa;
      if (a > b) std::swap(a, b);
      lo = std::max(lo, a - 1.0f);
      hi = std::min(hi, b + 1.0f);
    } else if (std::fabs(dy * ca) > gy + 1.0f) {
      continue;
    }
    if (lo > hi) continue;
    int a, b;
    if (!span(cx + lo - 0.5f, cx + hi - 0.5f, width, a, b)) continue;
    a = std::max(a, x0);
    b = std::min(b, x1);
    uint32_t* line = row(j);
    for (int i = a; i <= b; ++i) {
      const float dx = static_cast<float>(i) + 0.5f - cx;
      const float xr = dx * ca - dy * sa, yr = dx * sa + dy * ca;
      if (std::fabs(xr) > gx || std::fabs(yr) > gy) continue;
      float sx = kx * (xr + gx) - 0.5f;
      const float sy = ky * (yr + gy) - 0.5f;
      if (sprite.mirrored) sx = static_cast<float>(sw) - 1.0f - sx;
      const float fx0 = std::floor(sx), fy0 = std::floor(sy);
      const int tx = static_cast<int>(fx0), ty = static_cast<int>(fy0);
      const float fx = sx - fx0, fy = sy - fy0;
      uint32_t t00, t10, t01, t11;
      if (tx >= 0 && ty >= 0 && tx + 1 < sw && ty + 1 < sh) {
        const uint32_t* p = tex + static_cast<size_t>(ty) * sw + tx;
        t00 = p[0];
        t10 = p[1];
        t01 = p[sw];
        t11 = p[sw + 1];
      } else {
        t00 = fetch(tx, ty);
        t10 = fetch(tx + 1, ty);
        t01 = fetch(tx, ty + 1);
        t11 = fetch(tx + 1, ty + 1);
      }
      if ((t00 | t10 | t01 | t11) == 0u) continue;
      blendTexels(line[i], t00, t10, t01, t11, fx, fy, opByte, sprite.additive);
    }
  }
}

// The general route with the turn taken out: a pixel's place along x alone
// picks its texel column and along y alone its texel row, so both are worked
// out once per column and once per row, with the same arithmetic (and so the
// same pixels) as the general route.
void SoftPainter::drawUprightSprite(const SpriteDraw& sprite, const Sprite& pic, float cx, float cy, float gx,
                                    float gy, int x0, int x1, int y0, int y1) {
  const int sw = pic.width, sh = pic.height;
  const float kx = static_cast<float>(sw) / (2.0f * gx), ky = static_cast<float>(sh) / (2.0f * gy);
  const float opByte = sprite.opacity * kInv255;
  const uint32_t* tex = pic.pixels.data();
  auto fetch = [&](int tx, int ty) -> uint32_t {
    if (tx < 0 || ty < 0 || tx >= sw || ty >= sh) return 0u;
    return tex[static_cast<size_t>(ty) * sw + tx];
  };
  auto tap = [](float s, int size) {
    const float f0 = std::floor(s);
    const int t = static_cast<int>(f0);
    return Tap{t, s - f0, t >= 0 && t + 1 < size};
  };

  // The columns whose centre lies within the sprite's half-width of its
  // centre; the offset grows with the column, so they are one run.
  auto dxOf = [&](int i) { return static_cast<float>(i) + 0.5f - cx; };
  int a = x0, b = x1;
  while (a <= b && std::fabs(dxOf(a)) > gx) ++a;
  while (b >= a && std::fabs(dxOf(b)) > gx) --b;
  if (a > b) return;
  columnTaps_.clear();
  for (int i = a; i <= b; ++i) {
    float sx = kx * (dxOf(i) + gx) - 0.5f;
    if (sprite.mirrored) sx = static_cast<float>(sw) - 1.0f - sx;
    columnTaps_.push_back(tap(sx, sw));
  }
  const Tap* cols = columnTaps_.data();

  for (int j = y0; j <= y1; ++j) {
    const float dy = static_cast<float>(j) + 0.5f - cy;
    if (std::fabs(dy) > gy) continue;
    const Tap r = tap(ky * (dy + gy) - 0.5f, sh);
    const uint32_t* texRow = r.inside ? tex + static_cast<size_t>(r.texel) * sw : nullptr;
    uint32_t* line = row(j);
    for (int i = a; i <= b; ++i) {
      const Tap& c = cols[i - a];
      uint32_t t00, t10, t01, t11;
      if (texRow && c.inside) {
        const uint32_t* p = texRow + c.texel;
        t00 = p[0];
        t10 = p[1];
        t01 = p[sw];
        t11 = p[sw + 1];
      } else {
        t00 = fetch(c.texel, r.texel);
        t10 = fetch(c.texel + 1, r.texel);
        t01 = fetch(c.texel, r.texel + 1);
        t11 = fetch(c.texel + 1, r.texel + 1);
      }
      if ((t00 | t10 | t01 | t11) == 0u) continue;
      blendTexels(line[i], t00, t10, t01, t11, c.frac, r.frac, opByte, sprite.additive);
    }
  }
}

void SoftPainter::drawDrift(const DriftDraw& drift) {
  if (!pixels) return;
  const float t = std::max(0.9f, 0.9f * scale);
  const float body = (heightDip - (drift.baseY - 0.6f)) * scale;  // E, the same for every column
  if (!finite(body) || !finite(drift.originX) || !finite(drift.baseY)) return;
  const uint32_t solid = pack(kSnowBody.r, kSnowBody.g, kSnowBody.b, 1.0f);
  for (const std::vector<OutlinePoint>& run : drift.runs) {
    if (run.size() < 2) continue;
    const float first = drift.originX + run.front().x, last = drift.originX + run.back().x;
    // Columns whose centre (i + 0.5) / scale lies within [first, last].
    int c0, c1;
    if (!span(first * scale - 0.5f, last * scale - 0.5f, width, c0, c1)) continue;
    size_t k = 0;
    for (int i = c0; i <= c1; ++i) {
      const float wx = (static_cast<float>(i) + 0.5f) / scale;
      if (wx < first || wx > last) continue;
      const float lx = wx - drift.originX;
      while (k + 2 < run.size() && run[k + 1].x < lx) ++k;
      const OutlinePoint& p = run[k];
      const OutlinePoint& q = run[k + 1];
      const float dxr = q.x - p.x;
      const float h = dxr > 0.0f ? p.height + (q.height - p.height) * std::clamp((lx - p.x) / dxr, 0.0f, 1.0f)
                                 : q.height;
      const float top = (heightDip - (drift.baseY + h)) * scale;
      if (!finite(top)) continue;
      const float rimTop = top - t * 0.5f, rimBottom = top + t * 0.5f;
      int j0, j1;
      if (!span(top - t, body, height, j0, j1)) continue;
      drawn.add(i, j0, i, j1);
      for (int j = j0; j <= j1; ++j) {
        uint32_t& d = row(j)[i];
        const float fj = static_cast<float>(j);
        if (fj >= rimBottom && fj + 1.0f <= body) {
          d = solid;  // wholly inside the body, below the rim
          continue;
        }
        const float cover = std::min(fj + 1.0f, body) - std::max(fj, top);
        if (cover > 0.0f) blend(d, kSnowBody, cover);
        const float rim = std::min(1.0f, std::min(fj + 1.0f, rimBottom) - std::max(fj, rimTop));
        if (rim > 0.0f) blend(d, kSnowRim, rim * kSnowRim.a);
      }
    }
  }
}

}  // namespace kovra
