#pragma once
// Renderer A: each monitor's frame drawn with Direct2D into a DirectComposition
// swap chain bound to its overlay window. It checks once after attaching that
// its drawing reaches the screen and asks for the compatible renderer when it
// does not.
#include <d2d1_1.h>
#include <d3d11.h>
#include <dcomp.h>
#include <dxgi1_2.h>
#include <windows.h>

#include <array>

#include "base/owners_win.h"
#include "render/draw_sink.h"
#include "render/gpu_rules.h"
#include "render/renderer_win.h"

// A drift's shapes in drift units: the filled body and the stroked rim.
struct GpuDriftShapes {
  ComPtr<ID2D1PathGeometry> body, rim;
};
// The drift shapes of one monitor, by drift.
using GpuDriftCache = kovra::DriftShapeCache<GpuDriftShapes>;

class GpuRenderer final : public Renderer, public kovra::DrawSink {
 public:
  GpuRenderer() = default;
  ~GpuRenderer() override;
  GpuRenderer(const GpuRenderer&) = delete;
  GpuRenderer& operator=(const GpuRenderer&) = delete;

  bool start() override { return startDevice(true); }
  DWORD extraExStyle() const override { return WS_EX_NOREDIRECTIONBITMAP; }
  bool attach(MonitorOverlay& overlay) override;
  void detach(MonitorOverlay& overlay) override;
  bool drawFrame(MonitorOverlay& overlay, float opacity, const SceneDrawer& draw) override;
  const char* displayName() const override { return "GPU (DirectComposition)"; }

  // The device and everything drawing needs; with `composition` also the
  // composition device that attach needs. Logs the failing step.
  bool startDevice(bool composition);
  // The on-screen check failed three times: the compatible renderer should take over.
  bool switchWanted() const override { return switchWanted_; }
  void clearSwitch() override { switchWanted_ = false; }

  // One frame drawn onto a target bitmap of this renderer's context: cleared,
  // the scene (as a whole at `opacity` when below 1), and the check dot when
  // asked for. Returns EndDraw's result.
  struct Target {
    ID2D1Bitmap1* bitmap = nullptr;
    int width = 0, height = 0;  // pixels
    float scale = 1, heightDip = 0;
    GpuDriftCache* drifts = nullptr;
    ComPtr<ID2D1Bitmap1>* fade = nullptr;  // where a faded frame is drawn first; made on first use
  };
  HRESULT drawTo(const Target& target, float opacity, const SceneDrawer& draw, bool checkDot);
  ID2D1DeviceContext* context() const { return context_.get(); }

  void drawDrift(const kovra::DriftDraw& drift) override;
  void drawFlake(const kovra::FlakeDraw& flake) override;
  void drawSprite(const kovra::SpriteDraw& sprite) override;
  void fillCircle(kovra::DrawPoint centre, float radius, const kovra::Rgba& colour) override;
  void drawLine(kovra::DrawPoint p0, kovra::DrawPoint p1, float width, const kovra::Rgba& colour) override;
  void fillTriangle(kovra::DrawPoint p0, kovra::DrawPoint p1, kovra::DrawPoint p2, const kovra::Rgba& colour) override;

 private:
  void identity();
  ID2D1Brush* colourBrush(const kovra::Rgba& c);
  D2D1_POINT_2F pixel(kovra::DrawPoint p) const;
  bool buildDriftShapes(const kovra::DriftDraw& drift, GpuDriftShapes& shapes);
  void runCheck(MonitorOverlay& overlay, int& countdown);

  ComPtr<ID3D11Device> d3d_;
  ComPtr<ID3D11DeviceContext> d3dContext_;
  ComPtr<IDXGIDevice> dxgi_;
  ComPtr<IDXGIFactory2> factory_;
  ComPtr<ID2D1Factory1> d2dFactory_;
  ComPtr<ID2D1Device> d2dDevice_;
  ComPtr<ID2D1DeviceContext> context_;
  ComPtr<IDCompositionDevice> composition_;
  std::array<ComPtr<ID2D1Bitmap1>, kovra::kFlakeBitmapSides.size()> flakes_;
  ComPtr<ID2D1SolidColorBrush> snowBrush_, rimBrush_, brush_;
  ComPtr<ID2D1StrokeStyle> roundStroke_;
  std::array<ComPtr<ID2D1Bitmap1>, 44> sprites_;
  std::array<int, 44> spriteWidths_{}, spriteHeights_{};

  bool switchWanted_ = false;
  int checkMisses_ = 0;

  // During a frame.
  const Target* frame_ = nullptr;
  bool transformSet_ = false;
};
