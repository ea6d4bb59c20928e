// The painter on Direct2D and DirectWrite, the process-wide factories and
// text styles, and the window's image decoding.
#include "ui/d2d_painter_win.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "base/log.h"
#include "base/win_util_win.h"

namespace kui {
namespace {

D2D1_COLOR_F colour(const Color& c) { return D2D1::ColorF(c.r, c.g, c.b, c.a); }
D2D1_RECT_F rectF(const Rect& r) { return D2D1::RectF(r.x, r.y, r.x + r.w, r.y + r.h); }

std::wstring wide(std::string_view utf8) { return toWide(std::string(utf8)); }

bool familyPresent(IDWriteFontCollection* fonts, const std::string& name) {
  UINT32 index = 0;
  BOOL exists = FALSE;
  return fonts && SUCCEEDED(fonts->FindFamilyName(wide(name).c_str(), &index, &exists)) && exists;
}

std::string firstFamily(IDWriteFontCollection* fonts) {
  if (!fonts || fonts->GetFontFamilyCount() == 0) return "Arial";
  Com<IDWriteFontFamily> family;
  Com<IDWriteLocalizedStrings> names;
  if (FAILED(fonts->GetFontFamily(0, family.put())) || FAILED(family->GetFamilyNames(names.put()))) return "Arial";
  UINT32 length = 0;
  if (names->GetCount() == 0 || FAILED(names->GetStringLength(0, &length))) return "Arial";
  std::wstring name(length + 1, L'\0');
  if (FAILED(names->GetString(0, name.data(), length + 1))) return "Arial";
  name.resize(length);
  return toUtf8(name);
}

bool makeContext(DrawingContext& c) {
  HRESULT hr = D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory), nullptr,
                                 reinterpret_cast<void**>(c.d2d.put()));
  if (FAILED(hr) || !c.d2d) {
    logLine("settings: Direct2D unavailable");
    return false;
  }
  hr = DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                           reinterpret_cast<IUnknown**>(c.dwrite.put()));
  if (FAILED(hr) || !c.dwrite) {
    logLine("settings: DirectWrite unavailable");
    return false;
  }
  // Pictures are a nicety: without WIC the window draws without them.
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(c.wic.put()))))
    logLine("settings: image decoder unavailable (no pictures)");

  Com<IDWriteFontCollection> fonts;
  c.dwrite->GetSystemFontCollection(fonts.put(), FALSE);
  const std::string any = firstFamily(fonts.get());
  c.fonts = chooseFonts([&](const std::string& n) { return familyPresent(fonts.get(), n); }, any);
  for (int i = 0; i < kStyleCount; ++i) {
    const TextStyle& s = kTextStyles[i];
    hr = c.dwrite->CreateTextFormat(wide(styleFamily(c.fonts, i)).c_str(), nullptr,
                                    static_cast<DWRITE_FONT_WEIGHT>(s.weight), DWRITE_FONT_STYLE_NORMAL,
                                    DWRITE_FONT_STRETCH_NORMAL, s.size, L"", c.styles[i].put());
    if (FAILED(hr)) {
      logLine("settings: text style %d failed (0x%08lx)", i, static_cast<unsigned long>(hr));
      return false;
    }
  }
  logLine("window fonts: %s", windowFontsText(c.fonts).c_str());
  return true;
}

ImagePixels pixelsFrom(IWICImagingFactory* wic, IWICBitmapSource* source) {
  ImagePixels out;
  if (!wic || !source) return out;
  Com<IWICFormatConverter> converter;
  if (FAILED(wic->CreateFormatConverter(converter.put()))) return out;
  if (FAILED(converter->Initialize(source, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom)))
    return out;
  UINT w = 0, h = 0;
  if (FAILED(converter->GetSize(&w, &h)) || w == 0 || h == 0 || w > 8192 || h > 8192) return out;
  std::vector<uint32_t> px(static_cast<size_t>(w) * h);
  if (FAILED(converter->CopyPixels(nullptr, w * 4, static_cast<UINT>(px.size() * 4),
                                   reinterpret_cast<BYTE*>(px.data()))))
    return out;
  out.width = static_cast<int>(w);
  out.height = static_cast<int>(h);
  out.pixels = std::move(px);
  return out;
}

ImagePixels firstFrame(IWICImagingFactory* wic, IWICBitmapDecoder* decoder) {
  Com<IWICBitmapFrameDecode> frame;
  if (!decoder || FAILED(decoder->GetFrame(0, frame.put()))) return {};
  return pixelsFrom(wic, frame.get());
}

}  // namespace

DrawingContext* drawingContext() {
  static DrawingContext* context = nullptr;
  static bool tried = false;
  if (!tried) {
    tried = true;
    auto* c = new DrawingContext;  // lives until exit
    if (makeContext(*c)) {
      context = c;
    } else {
      delete c;
      tried = false;  // the next window opening tries again
    }
  }
  return context;
}

ImagePixels decodeImageFile(const wchar_t* path) {
  DrawingContext* c = drawingContext();
  if (!c || !c->wic || !path || !*path) return {};
  Com<IWICBitmapDecoder> decoder;
  if (FAILED(c->wic->CreateDecoderFromFilename(path, nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                               decoder.put())))
    return {};
  return firstFrame(c->wic.get(), decoder.get());
}

ImagePixels decodeImageBytes(const void* data, size_t size) {
  DrawingContext* c = drawingContext();
  if (!c || !c->wic || !data || size == 0 || size > 0x7fffffff) return {};
  Com<IWICStream> stream;
  if (FAILED(c->wic->CreateStream(stream.put())) ||
      FAILED(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(data)), static_cast<DWORD>(size))))
    return {};
  Com<IWICBitmapDecoder> decoder;
  if (FAILED(c->wic->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.put())))
    return {};
  return firstFrame(c->wic.get(), decoder.get());
}

ImagePixels programIconPixels(int size) {
  DrawingContext* c = drawingContext();
  if (!c || !c->wic) return {};
  HICON icon = static_cast<HICON>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
  if (!icon) return {};
  Com<IWICBitmap> bitmap;
  ImagePixels out;
  if (SUCCEEDED(c->wic->CreateBitmapFromHICON(icon, bitmap.put()))) out = pixelsFrom(c->wic.get(), bitmap.get());
  DestroyIcon(icon);
  return out;
}

std::function<ImagePixels(int id)> windowImageLoader(std::function<std::wstring(int themeIndex)> themeThumbnailPath) {
  return [path = std::move(themeThumbnailPath)](int id) -> ImagePixels {
    if (id == kImageProgramIcon) return programIconPixels(256);
    const int resource = spriteResourceOfImage(id);
    if (resource >= 0) {
      HMODULE self = GetModuleHandleW(nullptr);
      HRSRC res = FindResourceW(self, MAKEINTRESOURCEW(resource), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
      HGLOBAL mem = res ? LoadResource(self, res) : nullptr;
      const void* data = mem ? LockResource(mem) : nullptr;
      return data ? decodeImageBytes(data, SizeofResource(self, res)) : ImagePixels{};
    }
    const int theme = themeIndexOfImage(id);
    if (theme >= 0 && path) {
      const std::wstring file = path(theme);
      if (!file.empty()) return decodeImageFile(file.c_str());
    }
    return {};
  };
}

// ------------------------------------------------------------ measurement

float DWriteMeasurer::measure(std::string_view text, int style, bool wrap, bool wantHeight, float layoutWidth) {
  if (!context_ || style < 0 || style >= kStyleCount || !context_->styles[style]) return -1;
  const std::wstring w = wide(text);
  Com<IDWriteTextLayout> layout;
  if (FAILED(context_->dwrite->CreateTextLayout(w.c_str(), static_cast<UINT32>(w.size()),
                                                context_->styles[style].get(), std::max(1.0f, layoutWidth),
                                                kMeasureLayoutHeight, layout.put())))
    return -1;
  layout->SetWordWrapping(wrap ? DWRITE_WORD_WRAPPING_WRAP : DWRITE_WORD_WRAPPING_NO_WRAP);
  DWRITE_TEXT_METRICS m{};
  if (FAILED(layout->GetMetrics(&m))) return -1;
  return wantHeight ? m.height : m.widthIncludingTrailingWhitespace;
}

// ------------------------------------------------------------------ painter

constexpr float kTextMargin = 4;
constexpr float kTextPictureMaxSide = 4096;

D2DPainter::D2DPainter(DrawingContext* context, std::function<ImagePixels(int id)> loader)
    : context_(context), measurer_(context), measureCache_(&measurer_), pixels_(std::move(loader)) {}

void D2DPainter::setTarget(ID2D1RenderTarget* target) {
  if (target == target_) return;
  target_ = target;
  brush_.reset();
  bitmaps_.clear();
  texts_.clear();
}

void D2DPainter::setVisible(const Rect& visible, float scale) {
  visible_ = visible;
  if (scale != scale_) texts_.clear();  // drawn for the old pixel size
  scale_ = scale;
}

bool D2DPainter::shown(const Rect& r) const {
  return r.right() >= visible_.x && r.x <= visible_.right() && r.bottom() >= visible_.y && r.y <= visible_.bottom();
}

ID2D1SolidColorBrush* D2DPainter::solid(const Color& c) {
  if (!target_) return nullptr;
  if (!brush_) {
    if (FAILED(target_->CreateSolidColorBrush(colour(c), brush_.put()))) return nullptr;
  } else {
    brush_->SetColor(colour(c));
  }
  return brush_.get();
}

Com<ID2D1LinearGradientBrush> D2DPainter::gradient(Point from, Point to, const Color& a, const Color& b) {
  Com<ID2D1LinearGradientBrush> brush;
  if (!target_) return brush;
  D2D1_GRADIENT_STOP stops[2] = {{0.0f, colour(a)}, {1.0f, colour(b)}};
  Com<ID2D1GradientStopCollection> collection;
  if (FAILED(target_->CreateGradientStopCollection(stops, 2, D2D1_GAMMA_2_2, D2D1_EXTEND_MODE_CLAMP,
                                                   collection.put())))
    return brush;
  target_->CreateLinearGradientBrush(D2D1::LinearGradientBrushProperties(D2D1::Point2F(from.x, from.y),
                                                                         D2D1::Point2F(to.x, to.y)),
                                     collection.get(), brush.put());
  return brush;
}

void D2DPainter::fillShape(const Rect& r, float radius, ID2D1Brush* brush) {
  if (!target_ || !brush || r.w <= 0 || r.h <= 0 || !shown(r)) return;
  if (radius > 0) {
    const float rr = std::min(radius, std::min(r.w, r.h) / 2);
    target_->FillRoundedRectangle(D2D1::RoundedRect(rectF(r), rr, rr), brush);
  } else {
    target_->FillRectangle(rectF(r), brush);
  }
}

void D2DPainter::fillRect(const Rect& r, float radius, const Color& c) {
  if (shown(r)) fillShape(r, radius, solid(c));
}

void D2DPainter::strokeRoundRect(const Rect& r, float radius, const Color& c, float stroke) {
  if (!shown(r)) return;
  ID2D1SolidColorBrush* b = solid(c);
  if (!b || stroke <= 0) return;
  // Inside the rectangle: inset by half the stroke.
  const float h = stroke / 2;
  const D2D1_RECT_F inner = D2D1::RectF(r.x + h, r.y + h, r.x + r.w - h, r.y + r.h - h);
  const float rr = std::max(0.0f, radius - h);
  if (rr > 0)
    target_->DrawRoundedRectangle(D2D1::RoundedRect(inner, rr, rr), b, stroke);
  else
    target_->DrawRectangle(inner, b, stroke);
}

void D2DPainter::fillGradientRect(const Rect& r, float radius, const Color& top, const Color& bottom) {
  if (!shown(r)) return;
  Com<ID2D1LinearGradientBrush> g = gradient({r.x, r.y}, {r.x, r.y + r.h}, top, bottom);
  fillShape(r, radius, g.get());
}

void D2DPainter::fillCircle(float cx, float cy, float radius, const Color& c) {
  if (!shown({cx - radius, cy - radius, 2 * radius, 2 * radius})) return;
  ID2D1SolidColorBrush* b = solid(c);
  if (b && radius > 0) target_->FillEllipse(D2D1::Ellipse(D2D1::Point2F(cx, cy), radius, radius), b);
}

void D2DPainter::line(Point from, Point to, float width, const Color& c) {
  if (!shown({std::min(from.x, to.x) - width, std::min(from.y, to.y) - width, std::fabs(to.x - from.x) + 2 * width,
              std::fabs(to.y - from.y) + 2 * width}))
    return;
  ID2D1SolidColorBrush* b = solid(c);
  if (b && width > 0) target_->DrawLine(D2D1::Point2F(from.x, from.y), D2D1::Point2F(to.x, to.y), b, width);
}

void D2DPainter::fillPolygon(std::span<const Point> points, Point g0, Point g1, const Color& a, const Color& b) {
  if (!target_ || points.size() < 3) return;
  Rect box{points[0].x, points[0].y, 0, 0};
  for (const Point& p : points) {
    const float right = std::max(box.right(), p.x), bottom = std::max(box.bottom(), p.y);
    box.x = std::min(box.x, p.x);
    box.y = std::min(box.y, p.y);
    box.w = right - box.x;
    box.h = bottom - box.y;
  }
  if (!shown(box)) return;
  Com<ID2D1PathGeometry> path;
  if (FAILED(context_->d2d->CreatePathGeometry(path.put()))) return;
  Com<ID2D1GeometrySink> sink;
  if (FAILED(path->Open(sink.put()))) return;
  sink->BeginFigure(D2D1::Point2F(points[0].x, points[0].y), D2D1_FIGURE_BEGIN_FILLED);
  for (size_t i = 1; i < points.size(); ++i) sink->AddLine(D2D1::Point2F(points[i].x, points[i].y));
  sink->EndFigure(D2D1_FIGURE_END_CLOSED);
  if (FAILED(sink->Close())) return;
  if (g0.x == g1.x && g0.y == g1.y) {
    if (ID2D1SolidColorBrush* s = solid(a)) target_->FillGeometry(path.get(), s);
  } else {
    Com<ID2D1LinearGradientBrush> g = gradient(g0, g1, a, b);
    if (g) target_->FillGeometry(path.get(), g.get());
  }
}

const D2DPainter::TextPicture* D2DPainter::textPicture(const std::wstring& w, const Rect& r, int style,
                                                      const Color& c, int align, bool wrap) {
  // One key per look: the text, its box, style, colour and alignment.
  std::string key(reinterpret_cast<const char*>(w.data()), w.size() * sizeof(wchar_t));
  char tail[96];
  std::snprintf(tail, sizeof tail, "|%d|%d|%d|%.2f|%.2f|%.3f,%.3f,%.3f,%.3f", style, align, wrap ? 1 : 0, r.w, r.h, c.r,
                c.g, c.b, c.a);
  key += tail;
  if (auto it = texts_.find(key); it != texts_.end()) return &it->second;
  constexpr size_t kTextPictureLimit = 800;
  if (texts_.size() >= kTextPictureLimit) texts_.clear();
  TextPicture& out = texts_[key];

  Com<IDWriteTextLayout> layout;
  if (FAILED(context_->dwrite->CreateTextLayout(w.c_str(), static_cast<UINT32>(w.size()),
                                                context_->styles[style].get(), std::max(1.0f, r.w),
                                                std::max(1.0f, r.h), layout.put())))
    return &out;
  layout->SetWordWrapping(wrap ? DWRITE_WORD_WRAPPING_WRAP : DWRITE_WORD_WRAPPING_NO_WRAP);
  layout->SetTextAlignment(align == kAlignCentre     ? DWRITE_TEXT_ALIGNMENT_CENTER
                           : align == kAlignTrailing ? DWRITE_TEXT_ALIGNMENT_TRAILING
                                                     : DWRITE_TEXT_ALIGNMENT_LEADING);
  if (!wrap) {
    // A line too long for its box ends in an ellipsis instead of running on.
    DWRITE_TRIMMING trimming{DWRITE_TRIMMING_GRANULARITY_CHARACTER, 0, 0};
    Com<IDWriteInlineObject> ellipsis;
    if (SUCCEEDED(context_->dwrite->CreateEllipsisTrimmingSign(context_->styles[style].get(), ellipsis.put())))
      layout->SetTrimming(&trimming, ellipsis.get());
  }
  DWRITE_TEXT_METRICS m{};
  layout->GetMetrics(&m);
  // Ink may stand out of the box (descenders, italics, a wrapped text taller
  // than its box): a margin all round.
  const float margin = kTextMargin;
  // The picture holds the ink, not the box: a box may be far larger than its
  // text (an unbounded height), and a huge bitmap would cost seconds.
  const float inkRight = align == kAlignLeading ? m.left + m.widthIncludingTrailingWhitespace : r.w;
  const float wUnits = std::min(std::max(1.0f, inkRight), r.w + 2 * margin) + 2 * margin;
  const float hUnits = std::max(1.0f, m.top + m.height) + 2 * margin;
  if (wUnits * scale_ > kTextPictureMaxSide || hUnits * scale_ > kTextPictureMaxSide) {
    out.layout = std::move(layout);  // drawn directly each time
    return &out;
  }
  const D2D1_SIZE_U px = D2D1::SizeU(static_cast<UINT32>(std::ceil(wUnits * scale_)),
                                     static_cast<UINT32>(std::ceil(hUnits * scale_)));
  Com<ID2D1BitmapRenderTarget> rt;
  if (FAILED(target_->CreateCompatibleRenderTarget(D2D1::SizeF(static_cast<float>(px.width) / scale_,
                                                               static_cast<float>(px.height) / scale_),
                                                   px, D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM,
                                                                         D2D1_ALPHA_MODE_PREMULTIPLIED),
                                                   D2D1_COMPATIBLE_RENDER_TARGET_OPTIONS_NONE, rt.put())))
    return &out;
  // A transparent background leaves no room for ClearType's colour fringes.
  rt->SetTextAntialiasMode(D2D1_TEXT_ANTIALIAS_MODE_GRAYSCALE);
  Com<ID2D1SolidColorBrush> brush;
  rt->BeginDraw();
  rt->Clear(D2D1::ColorF(0, 0, 0, 0));
  if (SUCCEEDED(rt->CreateSolidColorBrush(colour(c), brush.put())))
    rt->DrawTextLayout(D2D1::Point2F(margin, margin), layout.get(), brush.get(), D2D1_DRAW_TEXT_OPTIONS_NONE);
  if (FAILED(rt->EndDraw()) || FAILED(rt->GetBitmap(out.bitmap.put()))) out.bitmap.reset();
  out.width = static_cast<float>(px.width);
  out.height = static_cast<float>(px.height);
  return &out;
}

void D2DPainter::text(std::string_view text, const Rect& r, int style, const Color& c, int align, bool wrap) {
  if (!target_ || text.empty() || style < 0 || style >= kStyleCount || !context_->styles[style]) return;
  // Wrapped text may run below its box; a line never does.
  if (!shown({r.x - kTextMargin, r.y - kTextMargin, r.w + 2 * kTextMargin, (wrap ? 4 * r.h : r.h) + 2 * kTextMargin}))
    return;
  const TextPicture* pic = textPicture(wide(text), r, style, c, align, wrap);
  if (!pic) return;
  if (!pic->bitmap) {
    if (ID2D1SolidColorBrush* b = pic->layout ? solid(c) : nullptr)
      target_->DrawTextLayout(D2D1::Point2F(r.x, r.y), pic->layout.get(), b, D2D1_DRAW_TEXT_OPTIONS_NONE);
    return;
  }
  // Whole device pixels, so the glyphs stay as sharp as they were drawn.
  const float x = std::round((r.x - kTextMargin) * scale_) / scale_;
  const float y = std::round((r.y - kTextMargin) * scale_) / scale_;
  target_->DrawBitmap(pic->bitmap.get(), D2D1::RectF(x, y, x + pic->width / scale_, y + pic->height / scale_), 1.0f,
                      D2D1_BITMAP_INTERPOLATION_MODE_NEAREST_NEIGHBOR, nullptr);
}

ID2D1Bitmap* D2DPainter::bitmap(int id) {
  if (!target_) return nullptr;
  if (auto it = bitmaps_.find(id); it != bitmaps_.end()) return it->second.get();
  Com<ID2D1Bitmap> made;
  if (const ImagePixels* px = pixels_.get(id)) {
    const D2D1_BITMAP_PROPERTIES props =
        D2D1::BitmapProperties(D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED));
    target_->CreateBitmap(D2D1::SizeU(static_cast<UINT32>(px->width), static_cast<UINT32>(px->height)),
                          px->pixels.data(), static_cast<UINT32>(px->width) * 4, props, made.put());
  }
  ID2D1Bitmap* raw = made.get();
  bitmaps_.emplace(id, std::move(made));
  return raw;
}

void D2DPainter::image(const Rect& r, int id, float radius, float opacity, bool contain) {
  ID2D1Bitmap* bmp = bitmap(id);
  if (!bmp || r.w <= 0 || r.h <= 0 || opacity <= 0) return;
  const D2D1_SIZE_F size = bmp->GetSize();
  if (size.width <= 0 || size.height <= 0) return;
  // Contain: the whole picture fits, centred. Cover: it fills the box and is
  // cropped at the centre.
  const float sx = r.w / size.width, sy = r.h / size.height;
  const float s = contain ? std::min(sx, sy) : std::max(sx, sy);
  const float w = size.width * s, h = size.height * s;
  const float x = r.x + (r.w - w) / 2, y = r.y + (r.h - h) / 2;
  const Rect shown = contain ? Rect{x, y, w, h} : r;
  if (radius <= 0) {
    const D2D1_RECT_F src = D2D1::RectF((shown.x - x) / s, (shown.y - y) / s, (shown.x + shown.w - x) / s,
                                        (shown.y + shown.h - y) / s);
    target_->DrawBitmap(bmp, rectF(shown), opacity, D2D1_BITMAP_INTERPOLATION_MODE_LINEAR, src);
    return;
  }
  // Rounded corners: the picture as a brush under a rounded rectangle.
  Com<ID2D1BitmapBrush> brush;
  if (FAILED(target_->CreateBitmapBrush(bmp, brush.put()))) return;
  brush->SetTransform(D2D1::Matrix3x2F::Scale(s, s) * D2D1::Matrix3x2F::Translation(x, y));
  brush->SetOpacity(opacity);
  fillShape(shown, radius, brush.get());
}

}  // namespace kui
