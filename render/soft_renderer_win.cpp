// The compatible renderer: each monitor's frame drawn on the CPU into a DIB
// section and handed to the system with UpdateLayeredWindow.
#include <windows.h>

#include <algorithm>

#include "base/log.h"
#include "base/owners_win.h"
#include "render/layered_alpha.h"
#include "render/overlay_win.h"
#include "render/renderer_win.h"
#include "render/soft_painter.h"
#include "render/sprites_win.h"

namespace {

int gPresentFailures = 0;

// A memory DC with a top-down 32-bit DIB section selected into it.
class DibSurface final : public OverlaySurface {
 public:
  UniqueDc dc;
  UniqueBitmap dib;
  SelectedObject selection;  // released first: the DIB leaves the DC before either is freed
  uint32_t* pixels = nullptr;
  int width = 0, height = 0;
  ~DibSurface() override { selection.reset(); }
};

DibSurface* dibOf(MonitorOverlay& o) { return static_cast<DibSurface*>(o.surface.get()); }

void present(MonitorOverlay& o, DibSurface& s, float opacity) {
  POINT dst{o.display.monitorRect.left, o.display.monitorRect.top};
  SIZE size{s.width, s.height};
  POINT src{0, 0};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, layeredAlpha(opacity), AC_SRC_ALPHA};
  if (!UpdateLayeredWindow(o.window, nullptr, &dst, &size, s.dc.get(), &src, 0, &blend, ULW_ALPHA)) {
    if (gPresentFailures < 5) {
      ++gPresentFailures;
      logLine("UpdateLayeredWindow failed (%lu)", GetLastError());
    }
  }
}

}  // namespace

bool SoftRenderer::attach(MonitorOverlay& o) {
  int w = static_cast<int>(o.display.monitorRect.right - o.display.monitorRect.left);
  int h = static_cast<int>(o.display.monitorRect.bottom - o.display.monitorRect.top);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;  // top-down rows
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  auto s = std::make_unique<DibSurface>();
  HDC screen = GetDC(nullptr);
  s->dc.reset(CreateCompatibleDC(screen));
  void* bits = nullptr;
  s->dib.reset(CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  DWORD error = GetLastError();
  if (screen) ReleaseDC(nullptr, screen);
  o.surface.reset();
  if (!s->dc || !s->dib || !bits) {
    logLine("compatible renderer: CreateDIBSection %dx%d failed (%lu)", w, h, error);
    return false;
  }
  s->selection.select(s->dc.get(), s->dib.get());
  s->pixels = static_cast<uint32_t*>(bits);
  s->width = w;
  s->height = h;
  std::fill(s->pixels, s->pixels + static_cast<size_t>(w) * h, 0u);
  present(o, *s, 0.0f);
  o.surface = std::move(s);
  return true;
}

void SoftRenderer::detach(MonitorOverlay& o) { o.surface.reset(); }

bool SoftRenderer::drawFrame(MonitorOverlay& o, float opacity, const SceneDrawer& draw) {
  DibSurface* s = dibOf(o);
  if (!s || !s->pixels) return true;
  kovra::SoftPainter painter(s->pixels, s->width, s->height, s->width, o.display.scale, o.heightDip, loadSprites());
  painter.clear();
  if (draw) draw(painter);
  GdiFlush();
  present(o, *s, opacity);
  return true;
}
