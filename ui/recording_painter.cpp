// The recording painter and the fixed-advance measurer.
#include "ui/recording_painter.h"

#include <algorithm>
#include <cmath>

namespace kui {

void RecordingPainter::fillRect(const Rect& r, float radius, const Color& c) {
  DrawCall d;
  d.op = Op::FillRect;
  d.rect = r;
  d.radius = radius;
  d.colour = c;
  calls.push_back(std::move(d));
}

void RecordingPainter::strokeRoundRect(const Rect& r, float radius, const Color& c, float stroke) {
  DrawCall d;
  d.op = Op::StrokeRoundRect;
  d.rect = r;
  d.radius = radius;
  d.colour = c;
  d.stroke = stroke;
  calls.push_back(std::move(d));
}

void RecordingPainter::fillGradientRect(const Rect& r, float radius, const Color& top, const Color& bottom) {
  DrawCall d;
  d.op = Op::FillGradientRect;
  d.rect = r;
  d.radius = radius;
  d.colour = top;
  d.colour2 = bottom;
  calls.push_back(std::move(d));
}

void RecordingPainter::fillCircle(float cx, float cy, float radius, const Color& c) {
  DrawCall d;
  d.op = Op::FillCircle;
  d.rect = {cx - radius, cy - radius, 2 * radius, 2 * radius};
  d.radius = radius;
  d.colour = c;
  calls.push_back(std::move(d));
}

void RecordingPainter::line(Point from, Point to, float width, const Color& c) {
  DrawCall d;
  d.op = Op::Line;
  d.points = {from, to};
  d.stroke = width;
  d.colour = c;
  calls.push_back(std::move(d));
}

void RecordingPainter::fillPolygon(std::span<const Point> points, Point g0, Point g1, const Color& a,
                                   const Color& b) {
  if (points.size() < 3) return;
  DrawCall d;
  d.op = Op::FillPolygon;
  d.points.assign(points.begin(), points.end());
  d.points.push_back(g0);
  d.points.push_back(g1);
  d.colour = a;
  d.colour2 = b;
  calls.push_back(std::move(d));
}

void RecordingPainter::text(std::string_view text, const Rect& r, int style, const Color& c, int align, bool wrap) {
  DrawCall d;
  d.op = Op::Text;
  d.text.assign(text);
  d.rect = r;
  d.style = style;
  d.colour = c;
  d.align = align;
  d.wrap = wrap;
  calls.push_back(std::move(d));
}

void RecordingPainter::image(const Rect& r, int id, float radius, float opacity, bool contain) {
  DrawCall d;
  d.op = Op::Image;
  d.rect = r;
  d.image = id;
  d.radius = radius;
  d.opacity = opacity;
  d.contain = contain;
  calls.push_back(std::move(d));
}

const DrawCall* RecordingPainter::findText(std::string_view t) const {
  for (const DrawCall& d : calls)
    if (d.op == Op::Text && d.text == t) return &d;
  return nullptr;
}

size_t codePoints(std::string_view text) {
  size_t n = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

float FixedAdvanceMeasurer::advance(int style) {
  const TextStyle& s = kTextStyles[std::clamp(style, 0, kStyleCount - 1)];
  return s.size * (s.family == 0 ? 0.6f : 0.55f);
}

float FixedAdvanceMeasurer::lineHeight(int style) {
  return kTextStyles[std::clamp(style, 0, kStyleCount - 1)].size * 1.33f;
}

float FixedAdvanceMeasurer::measure(std::string_view text, int style, bool wrap, bool wantHeight,
                                    float layoutWidth) {
  const float adv = advance(style);
  if (!wrap) {
    return wantHeight ? lineHeight(style) : adv * static_cast<float>(codePoints(text));
  }
  // Greedy: words go on the line while they fit; a word wider than the line
  // stands alone on it.
  int lines = 1;
  float widest = 0, lineWidth = 0;
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find(' ', at);
    if (end == std::string_view::npos) end = text.size();
    const float word = adv * static_cast<float>(codePoints(text.substr(at, end - at)));
    const float withSpace = lineWidth > 0 ? lineWidth + adv + word : word;
    if (lineWidth > 0 && withSpace > layoutWidth) {
      ++lines;
      lineWidth = word;
    } else {
      lineWidth = withSpace;
    }
    widest = std::max(widest, lineWidth);
    at = end + 1;
  }
  return wantHeight ? static_cast<float>(lines) * lineHeight(style) : widest;
}

}  // namespace kui
