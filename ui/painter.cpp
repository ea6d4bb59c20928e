// The scrolling decorator: everything lower by a fixed offset.
#include "ui/painter.h"

#include <array>
#include <vector>

namespace kui {

Shift::Shift(Painter& inner, float dy) : inner_(&inner), dy_(dy) {
  // Nested scroll shifts cost one forwarding call, not one per level.
  if (auto* shift = dynamic_cast<Shift*>(&inner)) {
    inner_ = shift->inner_;
    dy_ += shift->dy_;
  }
}

void Shift::fillRect(const Rect& r, float radius, const Color& c) { inner_->fillRect(moved(r), radius, c); }

void Shift::strokeRoundRect(const Rect& r, float radius, const Color& c, float stroke) {
  inner_->strokeRoundRect(moved(r), radius, c, stroke);
}

void Shift::fillGradientRect(const Rect& r, float radius, const Color& top, const Color& bottom) {
  inner_->fillGradientRect(moved(r), radius, top, bottom);
}

void Shift::fillCircle(float cx, float cy, float radius, const Color& c) {
  inner_->fillCircle(cx, cy + dy_, radius, c);
}

void Shift::line(Point from, Point to, float width, const Color& c) {
  inner_->line(moved(from), moved(to), width, c);
}

void Shift::fillPolygon(std::span<const Point> points, Point g0, Point g1, const Color& a, const Color& b) {
  // Page polygons are small; they are moved on the stack.
  std::array<Point, 32> local;
  std::vector<Point> large;
  std::span<Point> out;
  if (points.size() <= local.size()) {
    out = std::span<Point>(local.data(), points.size());
  } else {
    large.resize(points.size());
    out = large;
  }
  for (size_t i = 0; i < points.size(); ++i) out[i] = moved(points[i]);
  inner_->fillPolygon(out, moved(g0), moved(g1), a, b);
}

void Shift::text(std::string_view text, const Rect& r, int style, const Color& c, int align, bool wrap) {
  inner_->text(text, moved(r), style, c, align, wrap);
}

float Shift::textWidth(std::string_view text, int style) { return inner_->textWidth(text, style); }

float Shift::textHeight(std::string_view text, int style, float width) {
  return inner_->textHeight(text, style, width);
}

void Shift::image(const Rect& r, int id, float radius, float opacity, bool contain) {
  inner_->image(moved(r), id, radius, opacity, contain);
}

}  // namespace kui
