#pragma once
// The CPU rasteriser: draws the six sink operations into a premultiplied BGRA
// buffer (alpha in bits 24-31, then red, green, blue), top-down rows. Pixel
// centres lie at integer + 0.5; everything is clipped to the buffer, and a
// pixel whose coverage times opacity is 0.002 or less is not touched.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/draw_sink.h"
#include "render/sprites.h"

namespace kovra {

// A rectangle of pixels, both corners inclusive; empty when x1 < x0 or y1 < y0.
struct PixelBox {
  int x0 = 0, y0 = 0, x1 = -1, y1 = -1;
  bool empty() const { return x1 < x0 || y1 < y0; }
  void add(int ax0, int ay0, int ax1, int ay1);
  friend bool operator==(const PixelBox&, const PixelBox&) = default;
};
PixelBox unite(const PixelBox& a, const PixelBox& b);

// The flake picture at (u, v), offsets from the flake's centre in footprint
// sides (v downwards): premultiplied colour and alpha.
Rgba flakePictureAt(float u, float v);

class SoftPainter final : public DrawSink {
 public:
  // `stride` is the distance between rows in pixels (at least `width`).
  SoftPainter(uint32_t* pixels, int width, int height, int stride, float scale, float heightDip,
              const SpriteSet& sprites)
      : pixels(pixels), width(width), height(height), stride(stride), scale(scale), heightDip(heightDip),
        sprites(&sprites) {}

  // Every row to transparent black.
  void clear();
  // Only the pixels of `box` (clipped to the buffer).
  void clear(const PixelBox& box);

  void drawDrift(const DriftDraw& drift) override;
  void drawFlake(const FlakeDraw& flake) override;
  void drawSprite(const SpriteDraw& sprite) override;
  void fillCircle(DrawPoint centre, float radius, const Rgba& colour) override;
  void drawLine(DrawPoint p0, DrawPoint p1, float width, const Rgba& colour) override;
  void fillTriangle(DrawPoint p0, DrawPoint p1, DrawPoint p2, const Rgba& colour) override;

  uint32_t* pixels;
  int width, height, stride;
  float scale;      // pixels per point
  float heightDip;  // the monitor's height in points
  const SpriteSet* sprites;
  // Holds every pixel the operations since construction may have changed,
  // so a caller can clear and hand on only that part of the buffer.
  PixelBox drawn;
  // Sprites drawn without a turn take a quicker route to the same pixels;
  // tests switch it off to compare that route with the general one.
  bool uprightSprites = true;

 private:
  // Where one pixel column (or row) samples an unturned sprite: the first of
  // the two texels it mixes, the weight of the second, and whether both lie
  // inside the picture.
  struct Tap {
    int texel;
    float frac;
    bool inside;
  };

  void drawUprightSprite(const SpriteDraw& sprite, const Sprite& pic, float cx, float cy, float gx, float gy, int x0,
                         int x1, int y0, int y1);

  float px(float x) const { return x * scale; }
  float py(float y) const { return (heightDip - y) * scale; }
  uint32_t* row(int y) const { return pixels + static_cast<ptrdiff_t>(y) * stride; }

  std::vector<Tap> columnTaps_;  // kept between sprites so they cost no allocation
};

}  // namespace kovra
