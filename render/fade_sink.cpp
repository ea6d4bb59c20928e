#include "render/draw_sink.h"

namespace kovra {

void FadeSink::drawDrift(const DriftDraw& drift) {
  if (factor_ > 0.5f) inner_.drawDrift(drift);
}

void FadeSink::drawFlake(const FlakeDraw& flake) {
  FlakeDraw f = flake;
  f.opacity *= factor_;
  inner_.drawFlake(f);
}

void FadeSink::drawSprite(const SpriteDraw& sprite) {
  SpriteDraw s = sprite;
  s.opacity *= factor_;
  inner_.drawSprite(s);
}

void FadeSink::fillCircle(DrawPoint centre, float radius, const Rgba& colour) {
  inner_.fillCircle(centre, radius, faded(colour));
}

void FadeSink::drawLine(DrawPoint p0, DrawPoint p1, float width, const Rgba& colour) {
  inner_.drawLine(p0, p1, width, faded(colour));
}

void FadeSink::fillTriangle(DrawPoint p0, DrawPoint p1, DrawPoint p2, const Rgba& colour) {
  inner_.fillTriangle(p0, p1, p2, faded(colour));
}

}  // namespace kovra
