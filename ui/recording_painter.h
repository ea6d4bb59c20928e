#pragma once
// A painter that keeps every call, so tests (and the page preview) can look
// at what a page drew without Windows. Measurement goes through the same
// cache as on screen, over a measurer the caller chooses.
#include <string>
#include <vector>

#include "ui/painter.h"
#include "ui/toolkit.h"

namespace kui {

enum class Op { FillRect, StrokeRoundRect, FillGradientRect, FillCircle, Line, FillPolygon, Text, Image };

struct DrawCall {
  Op op = Op::FillRect;
  Rect rect;              // rectangles, text and image boxes; a circle's bounds
  float radius = 0;       // corner or circle radius
  Color colour, colour2;  // fill (gradient top / polygon A) and second colour
  float stroke = 0;       // outline or line width
  std::vector<Point> points;  // line ends; polygon corners, then g0 and g1
  std::string text;
  int style = 0, align = 0;
  bool wrap = false;
  int image = -1;
  float opacity = 1;
  bool contain = false;
};

class RecordingPainter final : public Painter {
 public:
  explicit RecordingPainter(TextMeasurer* measurer = nullptr) : measure_(measurer) {}

  void fillRect(const Rect& r, float radius, const Color& c) override;
  void strokeRoundRect(const Rect& r, float radius, const Color& c, float stroke) override;
  void fillGradientRect(const Rect& r, float radius, const Color& top, const Color& bottom) override;
  void fillCircle(float cx, float cy, float radius, const Color& c) override;
  void line(Point from, Point to, float width, const Color& c) override;
  void fillPolygon(std::span<const Point> points, Point g0, Point g1, const Color& a, const Color& b) override;
  void text(std::string_view text, const Rect& r, int style, const Color& c, int align, bool wrap) override;
  float textWidth(std::string_view text, int style) override { return measure_.width(text, style); }
  float textHeight(std::string_view text, int style, float width) override {
    return measure_.height(text, style, width);
  }
  void image(const Rect& r, int id, float radius, float opacity, bool contain) override;

  std::vector<DrawCall> calls;
  TextMeasureCache& measureCache() { return measure_; }

  // The first text call whose text equals `t`, or null.
  const DrawCall* findText(std::string_view t) const;

 private:
  TextMeasureCache measure_;
};

// A measurer with a fixed advance per character (0.55 of the style's size,
// 0.6 for the bold serif) and greedy wrapping at spaces; lines are 1.33 of
// the size apart. Good enough for layout tests.
class FixedAdvanceMeasurer final : public TextMeasurer {
 public:
  float measure(std::string_view text, int style, bool wrap, bool wantHeight, float layoutWidth) override;
  static float advance(int style);
  static float lineHeight(int style);
};

// Number of characters (UTF-8 code points) of a text.
size_t codePoints(std::string_view text);

}  // namespace kui
