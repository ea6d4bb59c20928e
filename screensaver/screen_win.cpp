#include "screensaver/screen_win.h"

#include <algorithm>
#include <cmath>

#include "base/log.h"
#include "base/clock_win.h"
#include "base/win_util_win.h"
#include "render/soft_painter.h"
#include "render/sprites_win.h"
#include "world/scene.h"
#include "world/surfaces.h"

namespace {

const D2D1_COLOR_F kBackground = {0.035f, 0.055f, 0.13f, 1.0f};
const D2D1_COLOR_F kSnowColour = {0.975f, 0.985f, 1.0f, 1.0f};
constexpr float kPi = 3.14159265358979f;
constexpr double kSlowFrameSeconds = 0.08;
constexpr double kVerySlowFrameSeconds = 0.5;

D2D1_COLOR_F colourOf(const kovra::Rgba& c) { return {c.r, c.g, c.b, c.a}; }

D2D1_BITMAP_PROPERTIES bitmapProps() {
  return D2D1::BitmapProperties(D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED), 96.0f,
                                96.0f);
}

}  // namespace

// ------------------------------------------------------------------ pictures

ComPtr<IWICBitmapFrameDecode> PictureCache::firstFrame(const std::wstring& path, UINT& w, UINT& h) {
  ComPtr<IWICBitmapDecoder> decoder;
  HRESULT hr = wic_->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                               decoder.put());
  ComPtr<IWICBitmapFrameDecode> frame;
  if (SUCCEEDED(hr)) hr = decoder->GetFrame(0, frame.put());
  if (SUCCEEDED(hr)) hr = frame->GetSize(&w, &h);
  if (FAILED(hr) || w == 0 || h == 0) {
    logLine("screensaver: picture %s unreadable (0x%08lx)", logSafe(toUtf8(path)).c_str(),
            static_cast<unsigned long>(hr));
    frame.reset();
  }
  return frame;
}

IWICBitmap* PictureCache::get(const std::wstring& path, uint32_t width, uint32_t height) {
  if (path.empty() || !wic_) return nullptr;
  const std::wstring key = path + L"|" + std::to_wstring(width) + L"x" + std::to_wstring(height);
  if (auto it = decoded_.find(key); it != decoded_.end()) return it->second.get();
  ComPtr<IWICBitmap>& slot = decoded_[key];  // a failure is remembered as null
  UINT w = 0, h = 0;
  ComPtr<IWICBitmapFrameDecode> frame = firstFrame(path, w, h);
  if (!frame) return nullptr;
  HRESULT hr = S_OK;
  IWICBitmapSource* source = frame.get();
  ComPtr<IWICBitmapScaler> scaler;
  const kovra::PixelSize size = kovra::coverDecodeSize(w, h, width, height);
  if (size.width != w || size.height != h) {
    if (SUCCEEDED(wic_->CreateBitmapScaler(scaler.put())) &&
        SUCCEEDED(scaler->Initialize(frame.get(), size.width, size.height, WICBitmapInterpolationModeFant)))
      source = scaler.get();
  }
  ComPtr<IWICFormatConverter> converter;
  hr = wic_->CreateFormatConverter(converter.put());
  if (SUCCEEDED(hr))
    hr = converter->Initialize(source, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                               WICBitmapPaletteTypeCustom);
  if (SUCCEEDED(hr)) hr = wic_->CreateBitmapFromSource(converter.get(), WICBitmapCacheOnLoad, slot.put());
  if (FAILED(hr)) {
    logLine("screensaver: picture %s not decoded (0x%08lx)", logSafe(toUtf8(path)).c_str(),
            static_cast<unsigned long>(hr));
    slot.reset();
  }
  return slot.get();
}

const std::vector<uint32_t>* PictureCache::screenPixels(const std::wstring& path, uint32_t width, uint32_t height) {
  if (path.empty() || !wic_ || width == 0 || height == 0) return nullptr;
  const std::wstring key = path + L"|" + std::to_wstring(width) + L"x" + std::to_wstring(height);
  if (auto it = pixels_.find(key); it != pixels_.end()) return it->second.get();
  std::unique_ptr<std::vector<uint32_t>>& slot = pixels_[key];  // a failure is remembered as null
  UINT w = 0, h = 0;
  ComPtr<IWICBitmapFrameDecode> frame = firstFrame(path, w, h);
  if (!frame) return nullptr;
  HRESULT hr = S_OK;
  const kovra::PixelRect32 clip = kovra::coverClip(w, h, width, height);
  const WICRect rect{static_cast<INT>(clip.x), static_cast<INT>(clip.y), static_cast<INT>(clip.width),
                     static_cast<INT>(clip.height)};
  ComPtr<IWICBitmapClipper> clipper;
  ComPtr<IWICBitmapScaler> scaler;
  ComPtr<IWICFormatConverter> converter;
  hr = wic_->CreateBitmapClipper(clipper.put());
  if (SUCCEEDED(hr)) hr = clipper->Initialize(frame.get(), &rect);
  if (SUCCEEDED(hr)) hr = wic_->CreateBitmapScaler(scaler.put());
  if (SUCCEEDED(hr)) hr = scaler->Initialize(clipper.get(), width, height, WICBitmapInterpolationModeFant);
  if (SUCCEEDED(hr)) hr = wic_->CreateFormatConverter(converter.put());
  if (SUCCEEDED(hr))
    hr = converter->Initialize(scaler.get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                               WICBitmapPaletteTypeCustom);
  auto px = std::make_unique<std::vector<uint32_t>>(static_cast<size_t>(width) * height);
  if (SUCCEEDED(hr))
    hr = converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(px->size() * 4),
                               reinterpret_cast<BYTE*>(px->data()));
  if (FAILED(hr)) {
    logLine("screensaver: picture %s not decoded (0x%08lx)", logSafe(toUtf8(path)).c_str(),
            static_cast<unsigned long>(hr));
    return nullptr;
  }
  slot = std::move(px);
  return slot.get();
}

// -------------------------------------------------------------------- screen

Screen::Screen(HWND window, int width, int height, float scale, bool primary, uint64_t seed)
    : window_(window),
      width_(std::max(1, width)),
      height_(std::max(1, height)),
      scale_(scale),
      widthDip_(static_cast<float>(std::max(1, width)) / scale),
      heightDip_(static_cast<float>(std::max(1, height)) / scale),
      primary_(primary) {
  world_ = std::make_unique<kovra::SnowWorld>(widthDip_, heightDip_, seed);
  world_->primary = primary;
  if (primary) {
    // Santa comes sooner and more often than over the desktop.
    world_->santaInterval = {180.0f, 300.0f};
    world_->nextSanta = 40.0f + static_cast<float>(seed % 21);
  }
  // Nothing to settle on but the bottom of the screen.
  kovra::WorldInput input;
  input.onWindows = false;
  world_->updateDrifts(kovra::SurfaceScene{}, input, 0.0);
  input.density = kovra::saverSnowAmount(0);
  world_->prefill(input);
}

Screen::~Screen() {
  // Direct2D lets go of the window before the window goes.
  releaseTarget();
}

void Screen::releaseTarget() {
  current_.first.reset();
  current_.second.reset();
  previous_.first.reset();
  previous_.second.reset();
  drifts_.clear();
  sprites_.clear();
  for (auto& f : flakes_) f.reset();
  round_.reset();
  brush_.reset();
  snow_.reset();
  context_.reset();
  target_.reset();
}

bool Screen::ensureTarget(ID2D1Factory* factory) {
  if (target_) return true;
  factory_ = factory;
  const D2D1_RENDER_TARGET_PROPERTIES props = D2D1::RenderTargetProperties(
      D2D1_RENDER_TARGET_TYPE_DEFAULT, D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED),
      96.0f, 96.0f);
  const D2D1_HWND_RENDER_TARGET_PROPERTIES hwndProps = D2D1::HwndRenderTargetProperties(
      window_, D2D1::SizeU(static_cast<UINT32>(width_), static_cast<UINT32>(height_)),
      D2D1_PRESENT_OPTIONS_IMMEDIATELY);  // the frame loop paces itself
  HRESULT hr = factory->CreateHwndRenderTarget(props, hwndProps, target_.put());
  if (FAILED(hr)) {
    static int failures = 0;
    if (failures++ < 3) logLine("screensaver: CreateHwndRenderTarget failed (0x%08lx)", static_cast<unsigned long>(hr));
    target_.reset();
    return false;
  }
  target_->QueryInterface(IID_PPV_ARGS(context_.put()));
  target_->CreateSolidColorBrush(kSnowColour, snow_.put());
  target_->CreateSolidColorBrush(kSnowColour, brush_.put());
  const D2D1_STROKE_STYLE_PROPERTIES stroke = D2D1::StrokeStyleProperties(
      D2D1_CAP_STYLE_ROUND, D2D1_CAP_STYLE_ROUND, D2D1_CAP_STYLE_ROUND, D2D1_LINE_JOIN_MITER, 10.0f);
  factory->CreateStrokeStyle(stroke, nullptr, 0, round_.put());
  for (int i = 0; i < kovra::kSaverFlakeBitmaps; ++i) {
    const int side = kovra::kSaverFlakeSides[i];
    const std::vector<uint32_t> px = kovra::saverFlakePixels(side);
    target_->CreateBitmap(D2D1::SizeU(side, side), px.data(), static_cast<UINT32>(side * 4), bitmapProps(),
                          flakes_[static_cast<size_t>(i)].put());
  }
  const kovra::SpriteSet& set = loadSprites();
  sprites_.resize(kovra::kSpriteSlots);
  for (int i = 0; i < kovra::kSpriteSlots; ++i)
    if (const kovra::Sprite* s = set.find(i))
      target_->CreateBitmap(D2D1::SizeU(s->width, s->height), s->pixels.data(), static_cast<UINT32>(s->width * 4),
                            bitmapProps(), sprites_[static_cast<size_t>(i)].put());
  reloadPictures();
  return true;
}

ComPtr<ID2D1Bitmap> Screen::bitmapFrom(IWICBitmap* picture) {
  ComPtr<ID2D1Bitmap> out;
  if (picture && target_) target_->CreateBitmapFromWicBitmap(picture, nullptr, out.put());
  return out;
}

void Screen::reloadPictures() {
  if (!cache_) return;
  auto load = [this](const std::wstring& path) {
    return bitmapFrom(cache_->get(path, static_cast<uint32_t>(width_), static_cast<uint32_t>(height_)));
  };
  if (current_.shown) {
    current_.first = load(currentFiles_.first);
    current_.second = load(currentFiles_.second);
  }
  if (previous_.shown) {
    previous_.first = load(previousFiles_.first);
    previous_.second = load(previousFiles_.second);
  }
}

void Screen::showPicture(const kovra::SlotKey& key, const std::wstring& first, const std::wstring& second,
                         PictureCache& cache) {
  cache_ = &cache;
  if (current_.shown) {
    // The old picture fades out under the new one; the first shows at once.
    previous_ = std::move(current_);
    previousFiles_ = std::move(currentFiles_);
    fade_.start();
  }
  current_ = PictureSlot{};
  current_.key = key;
  current_.shown = true;
  currentFiles_ = {first, second};
  auto load = [&](const std::wstring& path) {
    return bitmapFrom(cache.get(path, static_cast<uint32_t>(width_), static_cast<uint32_t>(height_)));
  };
  if (!cpu_) {
    current_.first = load(first);
    current_.second = load(second);
  } else {
    previousBg_.swap(currentBg_);
    composeBackground(key, first, second, currentBg_);
  }
}

void Screen::drawCover(ID2D1Bitmap* bitmap, float opacity) {
  if (!bitmap || opacity <= 0.003f) return;
  const D2D1_SIZE_U size = bitmap->GetPixelSize();
  const kovra::CropRect crop = kovra::coverCrop(static_cast<float>(size.width), static_cast<float>(size.height),
                                                static_cast<float>(width_), static_cast<float>(height_));
  const D2D1_RECT_F dest = D2D1::RectF(0, 0, static_cast<float>(width_), static_cast<float>(height_));
  const D2D1_RECT_F src = D2D1::RectF(crop.x, crop.y, crop.x + crop.width, crop.y + crop.height);
  target_->DrawBitmap(bitmap, dest, std::min(1.0f, opacity), D2D1_BITMAP_INTERPOLATION_MODE_LINEAR, src);
}

void Screen::drawSlot(const PictureSlot& slot, float opacity) {
  if (!slot.shown) return;
  drawCover(slot.first.get(), opacity);
  drawCover(slot.second.get(), opacity * static_cast<float>(slot.key.blend));
}

bool Screen::frame(ID2D1Factory* factory, float step, const kovra::WorldInput& input, double now) {
  if (fade_.advance(step)) {
    previous_ = PictureSlot{};
    previousFiles_ = {};
    previousBg_.clear();
  }
  world_->stepWorld(step, input, kovra::PointerInput{}, now);
  if (cpu_) {
    drawOnCpu();
    return true;
  }
  if (!ensureTarget(factory)) return false;
  const double drawStart = shellClock();
  target_->BeginDraw();
  target_->Clear(kBackground);
  target_->SetTransform(D2D1::Matrix3x2F::Identity());
  if (fade_.progress < 1.0f) drawSlot(previous_, 1.0f);
  drawSlot(current_, fade_.progress < 1.0f ? fade_.progress : 1.0f);
  for (DriftShape& d : drifts_) d.used = false;
  kovra::drawScene(*world_, *this);
  std::erase_if(drifts_, [](const DriftShape& d) { return !d.used; });
  const HRESULT hr = target_->EndDraw();
  const double drawTime = shellClock() - drawStart;
  slowFrames_ = drawTime > kSlowFrameSeconds ? slowFrames_ + 1 : 0;
  if (SUCCEEDED(hr) && (slowFrames_ >= 2 || drawTime > kVerySlowFrameSeconds)) {
    // Some Direct2D implementations (Wine's) take seconds for a path or a
    // full-screen picture: the frame is then made on the CPU instead. One
    // slowish frame (a first upload) is forgiven.
    logLine("screensaver: Direct2D took %.0f ms for a frame — drawing on the CPU from now on", drawTime * 1000.0);
    switchToCpu();
    return true;
  }
  if (hr == static_cast<HRESULT>(D2DERR_RECREATE_TARGET)) {
    logLine("screensaver: drawing target lost (0x%08lx) — made again", static_cast<unsigned long>(hr));
    releaseTarget();
    return false;
  }
  return true;
}

void Screen::composeBackground(const kovra::SlotKey& key, const std::wstring& first, const std::wstring& second,
                               std::vector<uint32_t>& out) {
  const size_t n = static_cast<size_t>(width_) * static_cast<size_t>(height_);
  out.assign(n, kovra::kSaverBackground);
  if (!cache_) return;
  const uint32_t w = static_cast<uint32_t>(width_), h = static_cast<uint32_t>(height_);
  if (const std::vector<uint32_t>* a = cache_->screenPixels(first, w, h)) kovra::layOver(out.data(), a->data(), n, 1.0f);
  if (const std::vector<uint32_t>* b = cache_->screenPixels(second, w, h))
    kovra::layOver(out.data(), b->data(), n, static_cast<float>(key.blend));
}

void Screen::switchToCpu() {
  releaseTarget();  // GDI draws on the window from now on
  cpu_ = true;
  if (current_.shown) composeBackground(current_.key, currentFiles_.first, currentFiles_.second, currentBg_);
  if (previous_.shown) composeBackground(previous_.key, previousFiles_.first, previousFiles_.second, previousBg_);
}

void Screen::drawOnCpu() {
  const size_t n = static_cast<size_t>(width_) * static_cast<size_t>(height_);
  frame_.resize(n);
  if (currentBg_.size() != n) currentBg_.assign(n, kovra::kSaverBackground);
  if (fade_.progress < 1.0f && previousBg_.size() == n)
    kovra::crossFadeInto(frame_.data(), previousBg_.data(), currentBg_.data(), n, fade_.progress);
  else
    std::copy(currentBg_.begin(), currentBg_.end(), frame_.begin());
  kovra::SoftPainter painter(frame_.data(), width_, height_, width_, scale_, heightDip_, loadSprites());
  kovra::drawScene(*world_, painter);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width_;
  bi.bmiHeader.biHeight = -height_;  // top-down rows
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  if (HDC dc = GetDC(window_)) {
    SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(width_), static_cast<DWORD>(height_), 0, 0, 0,
                      static_cast<UINT>(height_), frame_.data(), &bi, DIB_RGB_COLORS);
    ReleaseDC(window_, dc);
  }
}

// ------------------------------------------------------------------ DrawSink

void Screen::drawDrift(const kovra::DriftDraw& drift) {
  if (!factory_) return;
  // The body's path is made again only when the profile changed.
  DriftShape* shape = nullptr;
  for (DriftShape& d : drifts_)
    if (d.key == drift.runs.data()) shape = &d;
  if (!shape) {
    drifts_.push_back(DriftShape{drift.runs.data(), drift.version + 1, {}, false});
    shape = &drifts_.back();
  }
  shape->used = true;
  if (shape->version != drift.version || !shape->body) {
    shape->version = drift.version;
    shape->body.reset();
    ComPtr<ID2D1GeometrySink> sink;
    if (FAILED(factory_->CreatePathGeometry(shape->body.put())) || FAILED(shape->body->Open(sink.put()))) {
      shape->body.reset();
      return;
    }
    for (const std::vector<kovra::OutlinePoint>& run : drift.runs) {
      if (run.size() < 2) continue;
      const float base = drift.baseY - 0.6f;
      sink->BeginFigure(pixel({drift.originX + run.front().x, base}), D2D1_FIGURE_BEGIN_FILLED);
      for (const kovra::OutlinePoint& p : run) sink->AddLine(pixel({drift.originX + p.x, drift.baseY + p.height}));
      sink->AddLine(pixel({drift.originX + run.back().x, base}));
      sink->EndFigure(D2D1_FIGURE_END_CLOSED);
    }
    if (FAILED(sink->Close())) {
      shape->body.reset();
      return;
    }
  }
  if (shape->body) target_->FillGeometry(shape->body.get(), snow_.get());
}

void Screen::drawFlake(const kovra::FlakeDraw& f) {
  if (!(f.opacity > 0.01f)) return;
  const float s = 1.5f * f.size * scale_;
  const D2D1_POINT_2F c = pixel({f.x, f.y});
  const float h = s * 0.5f;
  if (c.x + h < 0 || c.y + h < 0 || c.x - h > static_cast<float>(width_) || c.y - h > static_cast<float>(height_))
    return;
  ID2D1Bitmap* bmp = flakes_[static_cast<size_t>(kovra::saverFlakeBitmapFor(s))].get();
  if (!bmp) return;
  target_->DrawBitmap(bmp, D2D1::RectF(c.x - h, c.y - h, c.x + h, c.y + h), std::min(1.0f, f.opacity),
                      D2D1_BITMAP_INTERPOLATION_MODE_LINEAR);
}

void Screen::drawSprite(const kovra::SpriteDraw& s) {
  if (s.index < 0 || s.index >= static_cast<int32_t>(sprites_.size()) || !(s.opacity > 0.01f)) return;
  ID2D1Bitmap* bmp = sprites_[static_cast<size_t>(s.index)].get();
  if (!bmp) return;
  const D2D1_SIZE_U size = bmp->GetPixelSize();
  if (size.width == 0 || size.height == 0) return;
  const float bw = static_cast<float>(size.width), bh = static_cast<float>(size.height);
  float sx = s.width * scale_ / bw;
  const float sy = s.height * scale_ / bh;
  if (s.mirrored) sx = -sx;
  const D2D1_POINT_2F c = pixel({s.x, s.y});
  const D2D1::Matrix3x2F m = D2D1::Matrix3x2F::Scale(sx, sy) * D2D1::Matrix3x2F::Rotation(-s.angle * 180.0f / kPi) *
                             D2D1::Matrix3x2F::Translation(c.x, c.y);
  target_->SetTransform(m);
  if (s.additive && context_) context_->SetPrimitiveBlend(D2D1_PRIMITIVE_BLEND_ADD);
  target_->DrawBitmap(bmp, D2D1::RectF(-bw / 2, -bh / 2, bw / 2, bh / 2), std::min(1.0f, s.opacity),
                      D2D1_BITMAP_INTERPOLATION_MODE_LINEAR);
  if (s.additive && context_) context_->SetPrimitiveBlend(D2D1_PRIMITIVE_BLEND_SOURCE_OVER);
  target_->SetTransform(D2D1::Matrix3x2F::Identity());
}

void Screen::fillCircle(kovra::DrawPoint centre, float radius, const kovra::Rgba& colour) {
  if (!(colour.a > 0.002f) || !(radius > 0)) return;
  brush_->SetColor(colourOf(colour));
  target_->FillEllipse(D2D1::Ellipse(pixel(centre), radius * scale_, radius * scale_), brush_.get());
}

void Screen::drawLine(kovra::DrawPoint p0, kovra::DrawPoint p1, float width, const kovra::Rgba& colour) {
  if (!(colour.a > 0.002f) || !(width > 0)) return;
  brush_->SetColor(colourOf(colour));
  target_->DrawLine(pixel(p0), pixel(p1), brush_.get(), width * scale_, round_.get());
}

void Screen::fillTriangle(kovra::DrawPoint p0, kovra::DrawPoint p1, kovra::DrawPoint p2, const kovra::Rgba& colour) {
  if (!(colour.a > 0.002f) || !factory_) return;
  const D2D1_POINT_2F a = pixel(p0), b = pixel(p1), c = pixel(p2);
  if (std::fabs((b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y)) < 0.01f) return;
  ComPtr<ID2D1PathGeometry> path;
  ComPtr<ID2D1GeometrySink> sink;
  if (FAILED(factory_->CreatePathGeometry(path.put())) || FAILED(path->Open(sink.put()))) return;
  sink->BeginFigure(a, D2D1_FIGURE_BEGIN_FILLED);
  sink->AddLine(b);
  sink->AddLine(c);
  sink->EndFigure(D2D1_FIGURE_END_CLOSED);
  if (FAILED(sink->Close())) return;
  brush_->SetColor(colourOf(colour));
  target_->FillGeometry(path.get(), brush_.get());
}
