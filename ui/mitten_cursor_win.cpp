// The mitten drawn with the painter into a bitmap through a DC render target,
// made into a cursor.
#include "ui/mitten_cursor_win.h"

#include <map>
#include <vector>

#include "base/log.h"
#include "base/win_util_win.h"
#include "ui/d2d_painter_win.h"
#include "ui/mitten.h"

namespace kui {
namespace {

using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

UINT pointerDpi() {
  static auto fn = systemFunction<GetDpiForMonitorFn>(L"shcore.dll", "GetDpiForMonitor");
  POINT p{};
  GetCursorPos(&p);
  UINT x = 96, y = 96;
  if (fn && SUCCEEDED(fn(MonitorFromPoint(p, MONITOR_DEFAULTTONEAREST), 0, &x, &y)) && x >= 48) return x;
  return 96;
}

HCURSOR drawCursor(UINT dpi, int variant) {
  DrawingContext* ctx = drawingContext();
  if (!ctx) return nullptr;
  const MittenSize size = mittenSize(dpi);
  if (size.width <= 0 || size.height <= 0) return nullptr;

  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = size.width;
  bi.bmiHeader.biHeight = -size.height;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP colour = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  ReleaseDC(nullptr, screen);
  HBITMAP mask = CreateBitmap(size.width, size.height, 1, 1, nullptr);
  HCURSOR cursor = nullptr;
  if (dc && colour && bits && mask) {
    HGDIOBJ old = SelectObject(dc, colour);
    const D2D1_RENDER_TARGET_PROPERTIES props = D2D1::RenderTargetProperties(
        D2D1_RENDER_TARGET_TYPE_DEFAULT, D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED),
        96, 96);
    Com<ID2D1DCRenderTarget> target;
    const RECT rc{0, 0, size.width, size.height};
    bool drawn = false;
    if (SUCCEEDED(ctx->d2d->CreateDCRenderTarget(&props, target.put())) && SUCCEEDED(target->BindDC(dc, &rc))) {
      D2DPainter painter(ctx, nullptr);
      painter.setTarget(target.get());
      target->BeginDraw();
      target->Clear(D2D1::ColorF(0, 0, 0, 0));
      drawMitten(painter, size.scale, variant);
      drawn = SUCCEEDED(target->EndDraw());
    }
    SelectObject(dc, old);
    if (drawn) {
      GdiFlush();
      unpremultiply(static_cast<uint32_t*>(bits), static_cast<size_t>(size.width) * size.height);
      std::vector<uint8_t> zeros(static_cast<size_t>((size.width + 15) / 16 * 2) * size.height, 0);
      SetBitmapBits(mask, static_cast<LONG>(zeros.size()), zeros.data());
      ICONINFO info{};
      info.fIcon = FALSE;
      info.xHotspot = static_cast<DWORD>(size.hotX);
      info.yHotspot = static_cast<DWORD>(size.hotY);
      info.hbmMask = mask;
      info.hbmColor = colour;
      cursor = CreateIconIndirect(&info);
    }
  }
  if (mask) DeleteObject(mask);
  if (colour) DeleteObject(colour);
  if (dc) DeleteDC(dc);
  static bool logged = false;
  if (cursor && !logged) {
    logged = true;
    logLine("mitten cursor: %d×%d px at dpi %u", size.width, size.height, dpi);
  }
  return cursor;
}

}  // namespace

HCURSOR mittenCursor(int variant) {
  static std::map<unsigned, HCURSOR> cursors;  // until exit
  const UINT dpi = pointerDpi();
  const unsigned key = mittenKey(dpi, variant);
  if (auto it = cursors.find(key); it != cursors.end()) return it->second;
  HCURSOR c = drawCursor(dpi, variant);
  if (!c) {
    logLine("mitten cursor failed (dpi %u): the Windows hand instead", dpi);
    c = LoadCursorW(nullptr, IDC_HAND);
  }
  cursors.emplace(key, c);
  return c;
}

}  // namespace kui
