#pragma once
// The painter on a Direct2D render target, with the DirectWrite text styles
// and the image cache. The factories and styles are made once per process,
// when the first drawn window opens.
#include <d2d1.h>
#include <dwrite.h>
#include <wincodec.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "ui/fonts.h"
#include "ui/painter.h"
#include "ui/toolkit.h"

namespace kui {

// Owns one COM interface pointer.
template <typename T>
class Com {
 public:
  Com() = default;
  ~Com() { reset(); }
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  Com(Com&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  Com& operator=(Com&& o) noexcept {
    if (this != &o) {
      reset();
      p_ = o.p_;
      o.p_ = nullptr;
    }
    return *this;
  }
  void reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  T** put() {
    reset();
    return &p_;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// Process-wide drawing factories and the twelve text formats.
struct DrawingContext {
  Com<ID2D1Factory> d2d;
  Com<IDWriteFactory> dwrite;
  Com<IWICImagingFactory> wic;
  Com<IDWriteTextFormat> styles[kStyleCount];
  FontChoice fonts;
};

// Creates the factories and styles on first use (logging "settings: Direct2D
// unavailable" / "settings: DirectWrite unavailable" and giving null on
// failure, and "window fonts: ..." on success); the same context afterwards.
// Main thread only.
DrawingContext* drawingContext();

// An image as premultiplied BGRA pixels, rows top-down.
struct ImagePixels {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  explicit operator bool() const { return width > 0 && height > 0; }
};

// Decodes an image file or in-memory PNG/JPEG with WIC; empty on failure.
ImagePixels decodeImageFile(const wchar_t* path);
ImagePixels decodeImageBytes(const void* data, size_t size);
// Icon resource 1 of the executable at size x size.
ImagePixels programIconPixels(int size);

// The window's images by id: 0 the program icon, sprite ids the embedded
// pictures, theme ids through `themeThumbnailPath` (empty: no picture).
std::function<ImagePixels(int id)> windowImageLoader(std::function<std::wstring(int themeIndex)> themeThumbnailPath);

// Lays text out with the context's formats for the measurement cache.
class DWriteMeasurer final : public TextMeasurer {
 public:
  explicit DWriteMeasurer(DrawingContext* context) : context_(context) {}
  float measure(std::string_view text, int style, bool wrap, bool wantHeight, float layoutWidth) override;

 private:
  DrawingContext* context_;
};

class D2DPainter final : public Painter {
 public:
  // `loader` gives the pixels of an image id; results are kept for the
  // painter's life.
  D2DPainter(DrawingContext* context, std::function<ImagePixels(int id)> loader);

  // The render target to draw on (not owned). A new target drops the brushes
  // and bitmaps made for the old one.
  void setTarget(ID2D1RenderTarget* target);
  ID2D1RenderTarget* target() const { return target_; }
  // What lies outside this rectangle (in the painter's units) is not drawn;
  // `scale` is the target's transform, device pixels per unit.
  void setVisible(const Rect& visible, float scale);
  // Loads every image afresh at its next use (its file may have changed).
  void forgetImages() {
    pixels_.clear();
    bitmaps_.clear();
  }

  void fillRect(const Rect& r, float radius, const Color& c) override;
  void strokeRoundRect(const Rect& r, float radius, const Color& c, float stroke) override;
  void fillGradientRect(const Rect& r, float radius, const Color& top, const Color& bottom) override;
  void fillCircle(float cx, float cy, float radius, const Color& c) override;
  void line(Point from, Point to, float width, const Color& c) override;
  void fillPolygon(std::span<const Point> points, Point g0, Point g1, const Color& a, const Color& b) override;
  void text(std::string_view text, const Rect& r, int style, const Color& c, int align, bool wrap) override;
  float textWidth(std::string_view text, int style) override { return measureCache_.width(text, style); }
  float textHeight(std::string_view text, int style, float width) override {
    return measureCache_.height(text, style, width);
  }
  void image(const Rect& r, int id, float radius, float opacity, bool contain) override;

 private:
  ID2D1SolidColorBrush* solid(const Color& c);
  Com<ID2D1LinearGradientBrush> gradient(Point from, Point to, const Color& a, const Color& b);
  void fillShape(const Rect& r, float radius, ID2D1Brush* brush);
  ID2D1Bitmap* bitmap(int id);
  bool shown(const Rect& r) const;
  struct TextPicture {
    Com<ID2D1Bitmap> bitmap;  // null when it could not be made
    Com<IDWriteTextLayout> layout;  // set instead for text too large for a picture
    float width = 0, height = 0;  // device pixels
  };
  const TextPicture* textPicture(const std::wstring& text, const Rect& r, int style, const Color& c, int align,
                                 bool wrap);

  DrawingContext* context_;
  ID2D1RenderTarget* target_ = nullptr;
  Com<ID2D1SolidColorBrush> brush_;
  DWriteMeasurer measurer_;
  TextMeasureCache measureCache_;
  ImageCache<ImagePixels> pixels_;
  std::map<int, Com<ID2D1Bitmap>> bitmaps_;  // for the current target
  Rect visible_{-1e9f, -1e9f, 2e9f, 2e9f};
  float scale_ = 1;
  // Laid-out text drawn once into a bitmap: software Direct2D (as under
  // Wine) takes most of a page's time drawing glyphs, a bitmap is one quad.
  std::map<std::string, TextPicture> texts_;
};

}  // namespace kui
