// Renderer A: Direct2D on a Direct3D 11 device, presented through a
// DirectComposition swap chain per overlay window.
#include "render/gpu_renderer_win.h"

#include <dwmapi.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "base/log.h"
#include "base/win_util_win.h"
#include "render/overlay_win.h"
#include "render/sprites.h"
#include "render/sprites_win.h"

namespace {

using DCompositionCreateDeviceFn = HRESULT(WINAPI*)(IDXGIDevice*, REFIID, void**);

// Looked up once per process: absent before Windows 8 (and under Wine 8 it
// is there but answers E_NOTIMPL).
DCompositionCreateDeviceFn compositionCreate() {
  static DCompositionCreateDeviceFn fn =
      systemFunction<DCompositionCreateDeviceFn>(L"dcomp.dll", "DCompositionCreateDevice");
  return fn;
}

bool failed(HRESULT hr, const char* step) {
  if (SUCCEEDED(hr)) return false;
  logLine("GPU renderer: %s failed (0x%08lx)", step, static_cast<unsigned long>(hr));
  return true;
}

D2D1_COLOR_F colour(const kovra::Rgba& c) { return {c.r, c.g, c.b, c.a}; }

D2D1_MATRIX_3X2_F matrix(const kovra::Affine& m) { return {m.m11, m.m12, m.m21, m.m22, m.dx, m.dy}; }

constexpr D2D1_MATRIX_3X2_F kIdentity = {1, 0, 0, 1, 0, 0};

D2D1_BITMAP_PROPERTIES1 bitmapProperties(D2D1_BITMAP_OPTIONS options) {
  D2D1_BITMAP_PROPERTIES1 p{};
  p.pixelFormat = {DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED};
  p.dpiX = p.dpiY = 96.0f;
  p.bitmapOptions = options;
  return p;
}

// An overlay's share of the renderer: its swap chain and composition tree.
class GpuSurface final : public OverlaySurface {
 public:
  ComPtr<IDXGISwapChain1> swapChain;
  ComPtr<IDCompositionTarget> target;
  ComPtr<IDCompositionVisual> visual;
  ComPtr<ID2D1Bitmap1> targetBitmap;
  ComPtr<ID2D1Bitmap1> fadeBitmap;
  GpuDriftCache drifts;
  int checkCountdown = 0;
  int width = 0, height = 0;
};

GpuSurface* gpuOf(MonitorOverlay& o) { return dynamic_cast<GpuSurface*>(o.surface.get()); }

}  // namespace

GpuRenderer::~GpuRenderer() {
  // Everything made from the device goes before it, in reverse order.
  for (auto& s : sprites_) s.reset();
  roundStroke_.reset();
  brush_.reset();
  rimBrush_.reset();
  snowBrush_.reset();
  for (auto& f : flakes_) f.reset();
  composition_.reset();
  context_.reset();
  d2dDevice_.reset();
  d2dFactory_.reset();
  factory_.reset();
  dxgi_.reset();
  d3dContext_.reset();
  d3d_.reset();
}

bool GpuRenderer::startDevice(bool composition) {
  if (composition && !compositionCreate()) {
    logLine("GPU renderer: %s failed (0x%08lx)", "dcomp.dll / DCompositionCreateDevice missing",
            static_cast<unsigned long>(E_NOINTERFACE));
    return false;
  }
  const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_1, D3D_FEATURE_LEVEL_11_0, D3D_FEATURE_LEVEL_10_1,
                                      D3D_FEATURE_LEVEL_10_0, D3D_FEATURE_LEVEL_9_3};
  D3D_FEATURE_LEVEL level{};
  HRESULT hr = D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT, levels,
                                 5, D3D11_SDK_VERSION, d3d_.put(), &level, d3dContext_.put());
  // Systems before 11.1 refuse a list that names it.
  if (FAILED(hr))
    hr = D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT, levels + 1,
                           4, D3D11_SDK_VERSION, d3d_.put(), &level, d3dContext_.put());
  if (failed(hr, "D3D11CreateDevice")) return false;
  if (failed(d3d_->QueryInterface(__uuidof(IDXGIDevice), dxgi_.putVoid()), "IDXGIDevice")) return false;
  ComPtr<IDXGIAdapter> adapter;
  if (failed(dxgi_->GetAdapter(adapter.put()), "GetAdapter")) return false;
  DXGI_ADAPTER_DESC desc{};
  if (SUCCEEDED(adapter->GetDesc(&desc))) {
    std::string name = toUtf8(desc.Description);
    if (name.size() > 127) name.resize(127);
    logLine("GPU: %s, feature level 0x%x", name.c_str(), static_cast<unsigned>(level));
  }
  if (failed(adapter->GetParent(__uuidof(IDXGIFactory2), factory_.putVoid()), "IDXGIFactory2")) return false;
  D2D1_FACTORY_OPTIONS options{};
  if (failed(D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory1), &options,
                               d2dFactory_.putVoid()),
             "D2D1CreateFactory"))
    return false;
  if (failed(d2dFactory_->CreateDevice(dxgi_.get(), d2dDevice_.put()), "ID2D1Factory1::CreateDevice")) return false;
  if (failed(d2dDevice_->CreateDeviceContext(D2D1_DEVICE_CONTEXT_OPTIONS_NONE, context_.put()), "CreateDeviceContext"))
    return false;
  context_->SetDpi(96.0f, 96.0f);
  context_->SetUnitMode(D2D1_UNIT_MODE_PIXELS);
  if (composition) {
    hr = compositionCreate()(dxgi_.get(), __uuidof(IDCompositionDevice), composition_.putVoid());
    if (failed(hr, "DCompositionCreateDevice")) return false;
  }

  for (size_t i = 0; i < flakes_.size(); ++i) {
    const int side = kovra::kFlakeBitmapSides[i];
    const std::vector<uint32_t> px = kovra::flakeBitmapPixels(side);
    hr = context_->CreateBitmap(D2D1::SizeU(side, side), px.data(), static_cast<UINT32>(side * 4),
                                bitmapProperties(D2D1_BITMAP_OPTIONS_NONE), flakes_[i].put());
    if (failed(hr, "CreateBitmap (flake)")) return false;
  }
  if (failed(context_->CreateSolidColorBrush(colour({0.975f, 0.985f, 1.0f, 1.0f}), snowBrush_.put()), "brush") ||
      failed(context_->CreateSolidColorBrush(colour({0.55f, 0.65f, 0.80f, 0.85f}), rimBrush_.put()), "brush") ||
      failed(context_->CreateSolidColorBrush(colour({1, 1, 1, 1}), brush_.put()), "brush"))
    return false;
  D2D1_STROKE_STYLE_PROPERTIES stroke{D2D1_CAP_STYLE_ROUND, D2D1_CAP_STYLE_ROUND, D2D1_CAP_STYLE_ROUND,
                                      D2D1_LINE_JOIN_MITER, 10.0f, D2D1_DASH_STYLE_SOLID, 0.0f};
  d2dFactory_->CreateStrokeStyle(&stroke, nullptr, 0, roundStroke_.put());
  const kovra::SpriteSet& set = loadSprites();
  for (int i = 0; i < kovra::kSpriteSlots; ++i) {
    const kovra::Sprite* s = set.find(i);
    if (!s) continue;
    // A sprite whose bitmap cannot be made is simply not drawn.
    if (SUCCEEDED(context_->CreateBitmap(D2D1::SizeU(s->width, s->height), s->pixels.data(),
                                         static_cast<UINT32>(s->width * 4), bitmapProperties(D2D1_BITMAP_OPTIONS_NONE),
                                         sprites_[static_cast<size_t>(i)].put()))) {
      spriteWidths_[static_cast<size_t>(i)] = s->width;
      spriteHeights_[static_cast<size_t>(i)] = s->height;
    }
  }
  return true;
}

bool GpuRenderer::attach(MonitorOverlay& o) {
  o.surface.reset();
  if (!composition_) return false;
  // The window shows its composition content only as an opaque layered window.
  if (!SetLayeredWindowAttributes(o.window, 0, 255, LWA_ALPHA))
    logLine("SetLayeredWindowAttributes failed (%lu)", GetLastError());
  auto s = std::make_unique<GpuSurface>();
  s->width = std::max<int>(1, o.display.monitorRect.right - o.display.monitorRect.left);
  s->height = std::max<int>(1, o.display.monitorRect.bottom - o.display.monitorRect.top);
  DXGI_SWAP_CHAIN_DESC1 desc{};
  desc.Width = static_cast<UINT>(s->width);
  desc.Height = static_cast<UINT>(s->height);
  desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
  desc.SampleDesc.Count = 1;
  desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
  desc.BufferCount = 2;
  desc.Scaling = DXGI_SCALING_STRETCH;
  desc.SwapEffect = DXGI_SWAP_EFFECT_FLIP_SEQUENTIAL;
  desc.AlphaMode = DXGI_ALPHA_MODE_PREMULTIPLIED;
  if (failed(factory_->CreateSwapChainForComposition(d3d_.get(), &desc, nullptr, s->swapChain.put()),
             "CreateSwapChainForComposition"))
    return false;
  ComPtr<IDXGISurface> buffer;
  if (failed(s->swapChain->GetBuffer(0, __uuidof(IDXGISurface), buffer.putVoid()), "GetBuffer")) return false;
  D2D1_BITMAP_PROPERTIES1 props = bitmapProperties(D2D1_BITMAP_OPTIONS_TARGET | D2D1_BITMAP_OPTIONS_CANNOT_DRAW);
  if (failed(context_->CreateBitmapFromDxgiSurface(buffer.get(), &props, s->targetBitmap.put()),
             "CreateBitmapFromDxgiSurface"))
    return false;
  if (failed(composition_->CreateTargetForHwnd(o.window, TRUE, s->target.put()), "CreateTargetForHwnd")) return false;
  if (failed(composition_->CreateVisual(s->visual.put()), "CreateVisual")) return false;
  s->visual->SetContent(s->swapChain.get());
  s->target->SetRoot(s->visual.get());
  if (failed(composition_->Commit(), "Commit")) return false;
  s->checkCountdown = kovra::kCheckFramesAfterAttach;
  o.surface = std::move(s);
  return true;
}

void GpuRenderer::detach(MonitorOverlay& o) {
  GpuSurface* s = gpuOf(o);
  if (s) {
    s->drifts.entries.clear();
    if (s->target) s->target->SetRoot(nullptr);
    s->visual.reset();
    s->target.reset();
    s->fadeBitmap.reset();
    s->targetBitmap.reset();
    s->swapChain.reset();
    if (composition_) composition_->Commit();
  }
  o.surface.reset();
}

HRESULT GpuRenderer::drawTo(const Target& t, float opacity, const SceneDrawer& draw, bool checkDot) {
  frame_ = &t;
  transformSet_ = false;
  // A faded frame is drawn into a bitmap of its own and laid down at the
  // opacity: the same picture a layer gives, and it also works where layers
  // are not implemented (Wine draws them at full opacity).
  ID2D1Bitmap1* fade = nullptr;
  if (opacity < 0.999f && t.fade) {
    if (!*t.fade)
      context_->CreateBitmap(D2D1::SizeU(static_cast<UINT32>(t.width), static_cast<UINT32>(t.height)), nullptr, 0,
                             bitmapProperties(D2D1_BITMAP_OPTIONS_TARGET), t.fade->put());
    fade = t.fade->get();
  }
  context_->SetTarget(t.bitmap);
  context_->BeginDraw();
  context_->Clear(D2D1::ColorF(0, 0, 0, 0));
  if (fade) {
    context_->SetTarget(fade);
    context_->Clear(D2D1::ColorF(0, 0, 0, 0));
    if (draw) draw(*this);
    context_->SetTarget(t.bitmap);
    context_->SetTransform(&kIdentity);
    const D2D1_RECT_F whole{0, 0, static_cast<float>(t.width), static_cast<float>(t.height)};
    context_->DrawBitmap(fade, &whole, std::max(opacity, 0.0f), D2D1_INTERPOLATION_MODE_NEAREST_NEIGHBOR, nullptr,
                         nullptr);
  } else if (opacity < 0.999f) {
    D2D1_LAYER_PARAMETERS1 layer{};
    layer.contentBounds = D2D1::InfiniteRect();
    layer.maskTransform = kIdentity;
    layer.opacity = std::max(opacity, 0.0f);
    context_->PushLayer(&layer, nullptr);
    if (draw) draw(*this);
    context_->PopLayer();
  } else if (draw) {
    draw(*this);
  }
  if (checkDot) {
    context_->SetTransform(&kIdentity);
    brush_->SetColor(D2D1::ColorF(1, 0, 1, 1));
    context_->FillRectangle(D2D1::RectF(0, 0, 3, 3), brush_.get());
  }
  HRESULT hr = context_->EndDraw();
  context_->SetTarget(nullptr);
  if (t.drifts) t.drifts->sweep();
  frame_ = nullptr;
  return hr;
}

bool GpuRenderer::drawFrame(MonitorOverlay& o, float opacity, const SceneDrawer& draw) {
  GpuSurface* s = gpuOf(o);
  if (!s || !s->targetBitmap) return true;
  Target t{s->targetBitmap.get(), s->width, s->height, o.display.scale, o.heightDip, &s->drifts, &s->fadeBitmap};
  const bool check = kovra::checkFrameDue(s->checkCountdown, opacity);
  HRESULT hr = drawTo(t, opacity, draw, check);
  if (hr == static_cast<HRESULT>(D2DERR_RECREATE_TARGET)) {
    logLine("GPU device lost at %s (0x%08lx) — rebuilding", "EndDraw", static_cast<unsigned long>(hr));
    return false;
  }
  hr = s->swapChain->Present(0, 0);
  if (hr == DXGI_ERROR_DEVICE_REMOVED || hr == DXGI_ERROR_DEVICE_RESET) {
    logLine("device removed reason 0x%08lx", static_cast<unsigned long>(d3d_->GetDeviceRemovedReason()));
    logLine("GPU device lost at %s (0x%08lx) — rebuilding", "Present", static_cast<unsigned long>(hr));
    return false;
  }
  if (check) runCheck(o, s->checkCountdown);
  return true;
}

void GpuRenderer::runCheck(MonitorOverlay& o, int& countdown) {
  DwmFlush();
  uint32_t pixel = kovra::kInvalidPixel;
  if (HDC screen = GetDC(nullptr)) {
    pixel = static_cast<uint32_t>(GetPixel(screen, o.display.monitorRect.left + 1, o.display.monitorRect.top + 1));
    ReleaseDC(nullptr, screen);
  }
  const kovra::CheckOutcome outcome = kovra::checkCount(pixel, checkMisses_, countdown);
  logLine("%s", kovra::checkLogLine(outcome, pixel).c_str());
  if (outcome == kovra::CheckOutcome::Switch) switchWanted_ = true;
}

void GpuRenderer::identity() {
  if (transformSet_) return;
  context_->SetTransform(&kIdentity);
  transformSet_ = true;
}

ID2D1Brush* GpuRenderer::colourBrush(const kovra::Rgba& c) {
  brush_->SetColor(colour(c));
  return brush_.get();
}

D2D1_POINT_2F GpuRenderer::pixel(kovra::DrawPoint p) const {
  return {p.x * frame_->scale, (frame_->heightDip - p.y) * frame_->scale};
}

void GpuRenderer::fillCircle(kovra::DrawPoint centre, float radius, const kovra::Rgba& c) {
  if (!frame_) return;
  identity();
  const float r = radius * frame_->scale;
  D2D1_ELLIPSE e{pixel(centre), r, r};
  context_->FillEllipse(&e, colourBrush(c));
}

void GpuRenderer::drawLine(kovra::DrawPoint p0, kovra::DrawPoint p1, float width, const kovra::Rgba& c) {
  if (!frame_) return;
  identity();
  context_->DrawLine(pixel(p0), pixel(p1), colourBrush(c), kovra::strokeWidthFor(width * frame_->scale),
                     roundStroke_.get());
}

void GpuRenderer::fillTriangle(kovra::DrawPoint p0, kovra::DrawPoint p1, kovra::DrawPoint p2, const kovra::Rgba& c) {
  if (!frame_) return;
  identity();
  const D2D1_POINT_2F a = pixel(p0), b = pixel(p1), d = pixel(p2);
  if (std::fabs((b.x - a.x) * (d.y - a.y) - (b.y - a.y) * (d.x - a.x)) < 0.01f) return;
  ComPtr<ID2D1PathGeometry> path;
  if (FAILED(d2dFactory_->CreatePathGeometry(path.put()))) return;
  ComPtr<ID2D1GeometrySink> sink;
  if (FAILED(path->Open(sink.put()))) return;
  sink->BeginFigure(a, D2D1_FIGURE_BEGIN_FILLED);
  const D2D1_POINT_2F rest[2] = {b, d};
  sink->AddLines(rest, 2);
  sink->EndFigure(D2D1_FIGURE_END_CLOSED);
  if (FAILED(sink->Close())) return;
  context_->FillGeometry(path.get(), colourBrush(c), nullptr);
}

void GpuRenderer::drawFlake(const kovra::FlakeDraw& flake) {
  if (!frame_ || !(flake.opacity > 0.01f)) return;
  const float side = 1.5f * flake.size * frame_->scale;
  const D2D1_POINT_2F c = pixel({flake.x, flake.y});
  if (!(side > 0.0f) ||
      !kovra::flakeSquareVisible(c.x, c.y, side, static_cast<float>(frame_->width), static_cast<float>(frame_->height)))
    return;
  identity();
  ID2D1Bitmap1* bitmap = flakes_[static_cast<size_t>(kovra::flakeBitmapFor(side))].get();
  const D2D1_RECT_F dest{c.x - side / 2, c.y - side / 2, c.x + side / 2, c.y + side / 2};
  context_->DrawBitmap(bitmap, &dest, std::min(flake.opacity, 1.0f), D2D1_INTERPOLATION_MODE_LINEAR, nullptr, nullptr);
}

void GpuRenderer::drawSprite(const kovra::SpriteDraw& sprite) {
  if (!frame_ || sprite.index < 0 || sprite.index >= kovra::kSpriteSlots || !(sprite.opacity > 0.01f)) return;
  const size_t i = static_cast<size_t>(sprite.index);
  ID2D1Bitmap1* bitmap = sprites_[i].get();
  if (!bitmap) return;
  const float w = static_cast<float>(spriteWidths_[i]), h = static_cast<float>(spriteHeights_[i]);
  const D2D1_MATRIX_3X2_F m =
      matrix(kovra::spriteToPixels(sprite, spriteWidths_[i], spriteHeights_[i], frame_->heightDip, frame_->scale));
  context_->SetTransform(&m);
  transformSet_ = false;
  if (sprite.additive) context_->SetPrimitiveBlend(D2D1_PRIMITIVE_BLEND_ADD);
  const D2D1_RECT_F dest{-w / 2, -h / 2, w / 2, h / 2};
  context_->DrawBitmap(bitmap, &dest, std::min(sprite.opacity, 1.0f), D2D1_INTERPOLATION_MODE_LINEAR, nullptr,
                       nullptr);
  if (sprite.additive) context_->SetPrimitiveBlend(D2D1_PRIMITIVE_BLEND_SOURCE_OVER);
}

bool GpuRenderer::buildDriftShapes(const kovra::DriftDraw& drift, GpuDriftShapes& shapes) {
  const kovra::DriftFigures figures = kovra::driftFigures(drift.runs);
  auto build = [&](const std::vector<std::vector<kovra::DrawPoint>>& list, bool filled, ComPtr<ID2D1PathGeometry>& out) {
    out.reset();
    ComPtr<ID2D1PathGeometry> path;
    if (FAILED(d2dFactory_->CreatePathGeometry(path.put()))) return false;
    ComPtr<ID2D1GeometrySink> sink;
    if (FAILED(path->Open(sink.put()))) return false;
    for (const auto& figure : list) {
      sink->BeginFigure({figure[0].x, figure[0].y}, filled ? D2D1_FIGURE_BEGIN_FILLED : D2D1_FIGURE_BEGIN_HOLLOW);
      for (size_t k = 1; k < figure.size(); ++k) sink->AddLine({figure[k].x, figure[k].y});
      sink->EndFigure(filled ? D2D1_FIGURE_END_CLOSED : D2D1_FIGURE_END_OPEN);
    }
    if (FAILED(sink->Close())) return false;
    out = std::move(path);
    return true;
  };
  return build(figures.bodies, true, shapes.body) && build(figures.rims, false, shapes.rim);
}

void GpuRenderer::drawDrift(const kovra::DriftDraw& drift) {
  if (!frame_ || drift.runs.empty()) return;
  GpuDriftShapes local;
  GpuDriftShapes* shapes = &local;
  if (frame_->drifts) {
    bool stale = false;
    shapes = &frame_->drifts->find(drift, stale).shape;
    if (stale || !shapes->body) buildDriftShapes(drift, *shapes);
  } else {
    buildDriftShapes(drift, local);
  }
  if (!shapes->body || !shapes->rim) return;
  const D2D1_MATRIX_3X2_F m =
      matrix(kovra::driftToPixels(drift.originX, drift.baseY, frame_->heightDip, frame_->scale));
  context_->SetTransform(&m);
  transformSet_ = false;
  context_->FillGeometry(shapes->body.get(), snowBrush_.get(), nullptr);
  context_->DrawGeometry(shapes->rim.get(), rimBrush_.get(), 0.9f, nullptr);
}
