// The compatible renderer: each monitor's frame drawn on the CPU into a DIB
// section and handed to the system with UpdateLayeredWindow.
#include <windows.h>

#include <algorithm>

#include "base/log.h"
#include "base/owners_win.h"
#include "render/layered_alpha.h"
#include "render/layered_damage.h"
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
  kovra::LayeredDamage damage;
  ~DibSurface() override { selection.reset(); }
};

DibSurface* dibOf(MonitorOverlay& o) { return static_cast<DibSurface*>(o.surface.get()); }

// Gives the window its box of the monitor and hands it the part `dirty` of
// the picture under that box (the rest of the window keeps what it was given
// before); false when the system refused.
bool present(MonitorOverlay& o, DibSurface& s, int alpha, const kovra::PresentPlan& plan) {
  const kovra::PixelBox& box = plan.window;
  POINT dst{o.display.monitorRect.left + box.x0, o.display.monitorRect.top + box.y0};
  SIZE size{box.x1 - box.x0 + 1, box.y1 - box.y0 + 1};
  POINT src{box.x0, box.y0};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, static_cast<BYTE>(alpha), AC_SRC_ALPHA};
  RECT rect{plan.dirty.x0 - box.x0, plan.dirty.y0 - box.y0, plan.dirty.x1 + 1 - box.x0, plan.dirty.y1 + 1 - box.y0};
  UPDATELAYEREDWINDOWINFO info{};
  info.cbSize = sizeof info;
  info.pptDst = &dst;
  info.psize = &size;
  info.hdcSrc = s.dc.get();
  info.pptSrc = &src;
  info.pblend = &blend;
  info.dwFlags = ULW_ALPHA;
  info.prcDirty = plan.whole ? nullptr : &rect;
  if (UpdateLayeredWindowIndirect(o.window, &info)) return true;
  if (gPresentFailures < 5) {
    ++gPresentFailures;
    logLine("UpdateLayeredWindow failed (%lu)", GetLastError());
  }
  return false;
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
  // The window starts out empty and transparent.
  const kovra::PresentPlan first = kovra::planPresent(s->damage, {}, layeredAlpha(0.0f), w, h);
  if (!present(o, *s, layeredAlpha(0.0f), first)) s->damage.wholeNext = true;
  o.surface = std::move(s);
  return true;
}

void SoftRenderer::detach(MonitorOverlay& o) { o.surface.reset(); }

bool SoftRenderer::drawFrame(MonitorOverlay& o, float opacity, const SceneDrawer& draw) {
  DibSurface* s = dibOf(o);
  if (!s || !s->pixels) return true;
  kovra::SoftPainter painter(s->pixels, s->width, s->height, s->width, o.display.scale, o.heightDip, loadSprites());
  // Only what the last frame drew is cleared and only what changed is
  // handed on: most of a snowy screen is empty, and a full-screen picture
  // per frame costs the window system far more than drawing the snow.
  painter.clear(s->damage.lastDrawn);
  if (draw) draw(painter);
  const int alpha = layeredAlpha(opacity);
  const kovra::PresentPlan plan = kovra::planPresent(s->damage, painter.drawn, alpha, s->width, s->height);
  if (!plan.present) return true;
  GdiFlush();
  if (!present(o, *s, alpha, plan)) s->damage.wholeNext = true;
  return true;
}
