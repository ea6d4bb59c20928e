#pragma once
// The drawing interface of the Quillar window and the tray menu: ten
// operations in logical pixels (y down from the top), implemented on Direct2D
// for the screen and by a recorder for the tests. Pages call it and register
// their hit areas in the same pass.
#include <span>
#include <string_view>

namespace kui {

struct Rect {
  float x = 0, y = 0, w = 0, h = 0;
  float right() const { return x + w; }
  float bottom() const { return y + h; }
  bool contains(float px, float py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

struct Point {
  float x = 0, y = 0;
};

// Straight colour, every component 0..1.
struct Color {
  float r = 0, g = 0, b = 0, a = 1;
};

// Colour from 0xRRGGBB and an alpha.
constexpr Color rgb(unsigned hex, float alpha = 1.0f) {
  return {static_cast<float>((hex >> 16) & 0xff) / 255.0f, static_cast<float>((hex >> 8) & 0xff) / 255.0f,
          static_cast<float>(hex & 0xff) / 255.0f, alpha};
}

enum Align : int { kAlignLeading = 0, kAlignCentre = 1, kAlignTrailing = 2 };

// Text styles; the index is what `text`, `textWidth` and `textHeight` take.
// 0..2 the serif titles (36, 19, 25 px bold), 3..10 the UI face at several
// sizes and weights, 11 the monospace face.
constexpr int kStyleCount = 12;
struct TextStyle {
  int family;  // 0 serif, 1 UI, 2 monospace
  int weight;
  float size;  // logical pixels
};
constexpr TextStyle kTextStyles[kStyleCount] = {
    {0, 700, 36}, {0, 700, 19}, {0, 700, 25},   {1, 400, 13}, {1, 600, 13.5f}, {1, 400, 12},
    {1, 400, 11.5f}, {1, 600, 15}, {1, 500, 12.5f}, {1, 600, 12}, {1, 500, 12}, {2, 400, 14},
};

class Painter {
 public:
  virtual ~Painter() = default;

  // Filled rectangle, rounded when `radius` > 0.
  virtual void fillRect(const Rect& r, float radius, const Color& c) = 0;
  // Outline drawn inside the rectangle.
  virtual void strokeRoundRect(const Rect& r, float radius, const Color& c, float stroke) = 0;
  // Vertical gradient from the top edge to the bottom edge.
  virtual void fillGradientRect(const Rect& r, float radius, const Color& top, const Color& bottom) = 0;
  virtual void fillCircle(float cx, float cy, float radius, const Color& c) = 0;
  virtual void line(Point from, Point to, float width, const Color& c) = 0;
  // Closed polygon (fewer than three points draw nothing) with a linear
  // gradient from `a` at `g0` to `b` at `g1`; solid `a` when g0 == g1.
  virtual void fillPolygon(std::span<const Point> points, Point g0, Point g1, const Color& a, const Color& b) = 0;
  // UTF-8 text laid out in `r`; one line unless `wrap`.
  virtual void text(std::string_view text, const Rect& r, int style, const Color& c, int align, bool wrap) = 0;
  // Width of the text on one line.
  virtual float textWidth(std::string_view text, int style) = 0;
  // Height of the text wrapped in `width`, rounded up to a whole pixel.
  virtual float textHeight(std::string_view text, int style, float width) = 0;
  // A cached image scaled into `r`: whole and centred with `contain`, else
  // covering it, cropped at the centre. Unknown ids draw nothing.
  virtual void image(const Rect& r, int id, float radius, float opacity, bool contain) = 0;
};

// Draws on another painter `dy` lower. A Shift of a Shift draws straight on
// the innermost painter with the summed offset.
class Shift final : public Painter {
 public:
  Shift(Painter& inner, float dy);

  Painter& target() const { return *inner_; }
  float dy() const { return dy_; }

  void fillRect(const Rect& r, float radius, const Color& c) override;
  void strokeRoundRect(const Rect& r, float radius, const Color& c, float stroke) override;
  void fillGradientRect(const Rect& r, float radius, const Color& top, const Color& bottom) override;
  void fillCircle(float cx, float cy, float radius, const Color& c) override;
  void line(Point from, Point to, float width, const Color& c) override;
  void fillPolygon(std::span<const Point> points, Point g0, Point g1, const Color& a, const Color& b) override;
  void text(std::string_view text, const Rect& r, int style, const Color& c, int align, bool wrap) override;
  float textWidth(std::string_view text, int style) override;
  float textHeight(std::string_view text, int style, float width) override;
  void image(const Rect& r, int id, float radius, float opacity, bool contain) override;

 private:
  Rect moved(const Rect& r) const { return {r.x, r.y + dy_, r.w, r.h}; }
  Point moved(Point p) const { return {p.x, p.y + dy_}; }

  Painter* inner_;
  float dy_;
};

// Draws nothing; measures through the real painter. Layouts that need their
// own height first (a card around its content) make a dry run through it.
class MeasureOnly final : public Painter {
 public:
  explicit MeasureOnly(Painter& inner) : inner_(inner) {}
  void fillRect(const Rect&, float, const Color&) override {}
  void strokeRoundRect(const Rect&, float, const Color&, float) override {}
  void fillGradientRect(const Rect&, float, const Color&, const Color&) override {}
  void fillCircle(float, float, float, const Color&) override {}
  void line(Point, Point, float, const Color&) override {}
  void fillPolygon(std::span<const Point>, Point, Point, const Color&, const Color&) override {}
  void text(std::string_view, const Rect&, int, const Color&, int, bool) override {}
  float textWidth(std::string_view t, int style) override { return inner_.textWidth(t, style); }
  float textHeight(std::string_view t, int style, float w) override { return inner_.textHeight(t, style, w); }
  void image(const Rect&, int, float, float, bool) override {}

 private:
  Painter& inner_;
};

}  // namespace kui
