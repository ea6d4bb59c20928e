// The mitten's shape: the cursor artwork's outlines flattened into polygons.
#include "ui/mitten.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace kui {
namespace {

// The artwork is drawn on a 64-unit square with the hotspot at (32, 30); the
// cursor box is 46 x 52 units with the hotspot at (23, 24).
constexpr float kArtScale = 0.72f;

struct Path {
  std::vector<Point> pts;
  float s;
  Point map(float x, float y) const { return {((x - 32) * kArtScale + 23) * s, ((y - 30) * kArtScale + 24) * s}; }
  void move(float x, float y) { pts.push_back(map(x, y)); }
  void line(float x, float y) { pts.push_back(map(x, y)); }
  // A cubic from the last point, in artwork units.
  void cubic(float x1, float y1, float x2, float y2, float x3, float y3) {
    const Point a = pts.back();
    const Point b = map(x1, y1), c = map(x2, y2), d = map(x3, y3);
    for (int i = 1; i <= 6; ++i) {
      const float t = static_cast<float>(i) / 6, u = 1 - t;
      pts.push_back({u * u * u * a.x + 3 * u * u * t * b.x + 3 * u * t * t * c.x + t * t * t * d.x,
                     u * u * u * a.y + 3 * u * u * t * b.y + 3 * u * t * t * c.y + t * t * t * d.y});
    }
  }
};

const Color kOutline = rgb(0x3b070c);
const Color kWoolLight = rgb(0xf2474f);
const Color kWoolDark = rgb(0xb5141f);
const Color kCuff = rgb(0xfbfbfd);
const Color kCuffRib = rgb(0xc6cfdc);
const Color kShine = rgb(0xff9aa0);
const Color kFold = rgb(0x8a0e18);

// A filled shape with a dark rim: the rim is the shape drawn in the rim colour
// a little off centre all round, then the fill on top.
void outlined(Painter& p, const Path& path, float rim, const Color& a, const Color& b) {
  for (int k = 0; k < 8; ++k) {
    const float ang = static_cast<float>(k) * 0.785398f;
    std::vector<Point> moved(path.pts);
    for (Point& q : moved) {
      q.x += rim * std::cos(ang);
      q.y += rim * std::sin(ang);
    }
    p.fillPolygon(moved, {}, {}, kOutline, kOutline);
  }
  const float s = path.s;
  p.fillPolygon(path.pts, {8 * s, 4 * s}, {40 * s, 48 * s}, a, b);
}

Path cuff(float s) {
  Path c{{}, s};
  c.move(17, 50);
  c.cubic(17, 47, 19, 46, 22, 46.5f);
  c.cubic(28, 45.5f, 38, 45.5f, 45, 46.5f);
  c.cubic(48, 46, 50, 47, 50, 50);
  c.line(50, 57);
  c.cubic(50, 60, 48, 61, 45, 60.5f);
  c.cubic(38, 61.5f, 28, 61.5f, 22, 60.5f);
  c.cubic(19, 61, 17, 60, 17, 57);
  return c;
}

void stroke(Painter& p, const Path& path, float width, const Color& c) {
  for (size_t i = 1; i < path.pts.size(); ++i) p.line(path.pts[i - 1], path.pts[i], width, c);
}

}  // namespace

MittenSize mittenSize(unsigned dpi) {
  if (dpi == 0) dpi = 96;
  const float l = static_cast<float>(dpi) / 96.0f * 0.72f;
  MittenSize m;
  m.scale = l;
  m.width = static_cast<int>(46 * l);
  m.height = static_cast<int>(52 * l);
  m.hotX = static_cast<int>(std::lround(23 * l));
  m.hotY = static_cast<int>(std::lround(24 * l));
  return m;
}

void drawMitten(Painter& p, float s, int variant) {
  const float rim = 1.5f * kArtScale * s;
  if (variant == 0) {
    Path thumb{{}, s};
    thumb.move(23, 40);
    thumb.cubic(16, 38, 9, 32, 6, 25.5f);
    thumb.cubic(4.5f, 21.5f, 8, 18, 11.5f, 20);
    thumb.cubic(15.5f, 22.5f, 19, 26, 24, 28.5f);
    outlined(p, thumb, rim, kWoolLight, kWoolDark);
    Path hand{{}, s};
    hand.move(21, 50);
    hand.cubic(17, 40, 15, 28, 17.5f, 18);
    hand.cubic(20, 8, 27, 3.5f, 35, 4);
    hand.cubic(44, 4.5f, 50, 11, 50, 21);
    hand.cubic(50, 31, 48.5f, 41, 46.5f, 50);
    outlined(p, hand, rim, kWoolLight, kWoolDark);
    // Knitted band and a shine on the back of the hand.
    Path band{{}, s};
    band.move(17, 33);
    for (float x = 22; x <= 46; x += 6) band.line(x, (static_cast<int>(x) / 6) % 2 ? 33 : 29);
    band.line(49, 31);
    stroke(p, band, 2.2f * kArtScale * s, kCuff);
    for (float x : {22.0f, 31.0f, 40.0f}) {
      const Point c = band.map(x, 39);
      p.fillCircle(c.x, c.y, 1.6f * kArtScale * s, kCuff);
    }
    Path shine{{}, s};
    shine.move(24, 12);
    shine.cubic(28, 8, 34, 7, 38, 8);
    stroke(p, shine, 2.6f * kArtScale * s, kShine);
  } else {
    Path fist{{}, s};
    fist.move(20, 50);
    fist.cubic(15, 43, 13, 33, 16, 24);
    fist.cubic(18, 17, 23, 13.5f, 29, 14);
    fist.cubic(32, 11.5f, 37, 11.5f, 40, 13.5f);
    fist.cubic(43.5f, 12.5f, 47.5f, 14, 49.5f, 17);
    fist.cubic(53, 20, 54, 25, 53, 31);
    fist.cubic(52.5f, 38, 50, 45, 47, 50);
    outlined(p, fist, rim, kWoolLight, kWoolDark);
    Path fold{{}, s};
    fold.move(18, 26);
    fold.cubic(26, 23, 40, 22.5f, 52, 26);
    stroke(p, fold, 2.0f * kArtScale * s, kFold);
    Path band{{}, s};
    band.move(16, 41);
    for (float x = 22; x <= 46; x += 6) band.line(x, (static_cast<int>(x) / 6) % 2 ? 41 : 37);
    band.line(50, 39);
    stroke(p, band, 2.2f * kArtScale * s, kCuff);
    Path thumb{{}, s};
    thumb.move(14.5f, 33);
    thumb.cubic(16, 28, 24, 27, 31, 29.5f);
    thumb.cubic(35, 31, 35.5f, 35.5f, 32, 36.8f);
    thumb.cubic(26, 38.5f, 20, 38, 16.5f, 37);
    thumb.cubic(14.5f, 36, 14, 34.5f, 14.5f, 33);
    outlined(p, thumb, rim * 0.9f, kWoolLight, kWoolDark);
    Path shine{{}, s};
    shine.move(24, 16);
    shine.cubic(28, 13.5f, 34, 13, 38, 13.5f);
    stroke(p, shine, 2.6f * kArtScale * s, kShine);
  }
  Path c = cuff(s);
  outlined(p, c, rim, kCuff, kCuff);
  for (float x = 22; x <= 46; x += 6) p.line(c.map(x, 51), c.map(x, 56), 1.6f * kArtScale * s, kCuffRib);
}

void unpremultiply(uint32_t* pixels, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const uint32_t px = pixels[i];
    const uint32_t a = px >> 24;
    if (a == 0 || a == 255) continue;
    uint32_t out = a << 24;
    for (int shift = 0; shift < 24; shift += 8) {
      const uint32_t c = std::min<uint32_t>(255, ((px >> shift) & 0xff) * 255 / a);
      out |= c << shift;
    }
    pixels[i] = out;
  }
}

}  // namespace kui
