#pragma once
// The drawing surface everything the snow world shows goes through: six
// operations in world points of one monitor (x to the right from its left
// edge, y up from its bottom edge). A sink knows its monitor's scale and
// height and turns points into pixels itself.

#include <cstdint>
#include <span>
#include <vector>

namespace kovra {

// One point of a drift's outline, relative to the drift's origin.
struct OutlinePoint {
  float x = 0, height = 0;
};

// Straight (not premultiplied) colour, every component 0..1.
struct Rgba {
  float r = 0, g = 0, b = 0, a = 1;
};

struct DrawPoint {
  float x = 0, y = 0;
};

struct FlakeDraw {
  float x = 0, y = 0;   // centre
  float size = 1;       // the footprint is 1.5 x size on each side
  float opacity = 1;
};

struct SpriteDraw {
  int32_t index = -1;           // sprite set slot; anything outside 0..43 draws nothing
  float x = 0, y = 0;           // centre
  float width = 0, height = 0;  // points
  float angle = 0;              // radians, counter-clockwise on screen
  float opacity = 1;
  bool mirrored = false;        // flipped left to right
  bool additive = false;        // added to what lies below instead of laid over it
};

// A drift as a sink sees it: runs of (x, height) points, x increasing, x from
// the origin and height above the ground line. Runs with fewer than two points
// are skipped; the version changes whenever the profile does, so sinks may
// cache shapes by it.
struct DriftDraw {
  float originX = 0;  // added to every profile x
  float baseY = 0;    // the ground line the drift sits on
  std::span<const std::vector<OutlinePoint>> runs;
  uint64_t version = 0;
};

class DrawSink {
 public:
  virtual ~DrawSink() = default;

  // The snow body of every run with its rim along the top.
  virtual void drawDrift(const DriftDraw& drift) = 0;
  // One soft round flake with its faint shadow; nothing at opacity 0.01 or less.
  virtual void drawFlake(const FlakeDraw& flake) = 0;
  // A picture of the sprite set, scaled, rotated and optionally mirrored.
  virtual void drawSprite(const SpriteDraw& sprite) = 0;
  virtual void fillCircle(DrawPoint centre, float radius, const Rgba& colour) = 0;
  // A line of the given width with round caps.
  virtual void drawLine(DrawPoint p0, DrawPoint p1, float width, const Rgba& colour) = 0;
  // Either winding fills; a triangle of (almost) no area draws nothing.
  virtual void fillTriangle(DrawPoint p0, DrawPoint p1, DrawPoint p2, const Rgba& colour) = 0;
};

// Scales the opacity of everything drawn through it and hands it on. Drifts
// carry no opacity: they pass while the factor is above one half and are
// dropped otherwise. Nested fades multiply, each level dropping drifts itself.
class FadeSink final : public DrawSink {
 public:
  FadeSink(DrawSink& inner, float factor) : inner_(inner), factor_(factor) {}

  void drawDrift(const DriftDraw& drift) override;
  void drawFlake(const FlakeDraw& flake) override;
  void drawSprite(const SpriteDraw& sprite) override;
  void fillCircle(DrawPoint centre, float radius, const Rgba& colour) override;
  void drawLine(DrawPoint p0, DrawPoint p1, float width, const Rgba& colour) override;
  void fillTriangle(DrawPoint p0, DrawPoint p1, DrawPoint p2, const Rgba& colour) override;

  float factor() const { return factor_; }

 private:
  Rgba faded(const Rgba& c) const { return {c.r, c.g, c.b, c.a * factor_}; }

  DrawSink& inner_;
  float factor_;
};

}  // namespace kovra
