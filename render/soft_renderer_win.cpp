// The compatible renderer: each monitor's frame drawn on the CPU into a DIB
// section and handed to the system with UpdateLayeredWindow.
#include <windows.h>

#include "render/layered_alpha.h"
#include "render/overlay_win.h"
#include "render/renderer_win.h"
#include "render/soft_painter.h"
#include "render/sprites_win.h"
#include "base/log.h"
#include "world/scene.h"

namespace {

int gPresentFailures = 0;

void present(MonitorOverlay& o) {
  LONG w = o.monitorRect.right - o.monitorRect.left;
  LONG h = o.monitorRect.bottom - o.monitorRect.top;
  POINT dst{o.monitorRect.left, o.monitorRect.top};
  SIZE size{w, h};
  POINT src{0, 0};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, layeredAlpha(o.opacity), AC_SRC_ALPHA};
  if (!UpdateLayeredWindow(o.window, nullptr, &dst, &size, o.memDc, &src, 0, &blend, ULW_ALPHA)) {
    if (gPresentFailures < 5) {
      ++gPresentFailures;
      logLine("UpdateLayeredWindow failed (%lu)", GetLastError());
    }
  }
}

}  // namespace

bool SoftRenderer::attach(MonitorOverlay& o) {
  int w = static_cast<int>(o.monitorRect.right - o.monitorRect.left);
  int h = static_cast<int>(o.monitorRect.bottom - o.monitorRect.top);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;  // top-down rows
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  DWORD error = GetLastError();
  if (screen) ReleaseDC(nullptr, screen);
  if (!dc || !dib || !bits) {
    logLine("compatible renderer: CreateDIBSection %dx%d failed (%lu)", w, h, error);
    if (dib) DeleteObject(dib);
    if (dc) DeleteDC(dc);
    o.memDc = nullptr;
    o.dib = nullptr;
    o.previousBitmap = nullptr;
    o.pixels = nullptr;
    return false;
  }
  o.memDc = dc;
  o.dib = dib;
  o.previousBitmap = SelectObject(dc, dib);
  o.pixels = static_cast<uint32_t*>(bits);
  std::fill(o.pixels, o.pixels + static_cast<size_t>(w) * h, 0u);
  present(o);
  return true;
}

void SoftRenderer::detach(MonitorOverlay& o) {
  if (o.memDc && o.previousBitmap) SelectObject(o.memDc, o.previousBitmap);
  if (o.dib) DeleteObject(o.dib);
  if (o.memDc) DeleteDC(o.memDc);
  o.memDc = nullptr;
  o.dib = nullptr;
  o.previousBitmap = nullptr;
  o.pixels = nullptr;
}

bool SoftRenderer::drawFrame(MonitorOverlay& o) {
  if (!o.pixels || !o.world) return true;
  int w = static_cast<int>(o.monitorRect.right - o.monitorRect.left);
  int h = static_cast<int>(o.monitorRect.bottom - o.monitorRect.top);
  kovra::SoftPainter painter(o.pixels, w, h, w, o.scale, o.heightDip, loadSprites());
  painter.clear();
  kovra::drawScene(*o.world, painter);
  GdiFlush();
  present(o);
  return true;
}
