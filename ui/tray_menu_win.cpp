// The drawn tray menu's window: drawn off-screen with Direct2D into a
// premultiplied bitmap and put on screen as a layered window; mouse, keys,
// activation and the opening animation.
#include "ui/tray_menu_win.h"

#include <d2d1.h>
#include <windowsx.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "base/log.h"
#include "base/win_util_win.h"
#include "ui/d2d_painter_win.h"
#include "ui/tray_menu.h"

namespace kui {
namespace {

constexpr wchar_t kClass[] = L"QuillarMenu";
constexpr UINT_PTR kTimerOpening = 1;

struct MenuWindow {
  HWND hwnd = nullptr;
  std::vector<MenuItem> items;
  MenuLayout layout;
  std::function<void(Command)> onCommand;
  std::function<void()> onClosed;
  UINT dpi = 96;
  float scale = 1;
  int width = 0, height = 0;
  POINT position{};
  int hover = -1;
  bool activated = false;  // deactivation counts only once it was active
  double openedAt = 0;
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ oldBitmap = nullptr;
  Com<ID2D1DCRenderTarget> target;
  std::unique_ptr<D2DPainter> painter;
};

MenuWindow gMenu;

double seconds() {
  LARGE_INTEGER c{}, f{};
  QueryPerformanceCounter(&c);
  QueryPerformanceFrequency(&f);
  return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart > 0 ? f.QuadPart : 1);
}

UINT monitorDpi(HMONITOR m) {
  using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  static auto fn = systemFunction<GetDpiForMonitorFn>(L"shcore.dll", "GetDpiForMonitor");
  UINT x = 96, y = 96;
  if (fn && m && SUCCEEDED(fn(m, 0 /* effective */, &x, &y)) && x >= 48) return x;
  return 96;
}

void releaseSurface() {
  gMenu.painter.reset();
  gMenu.target.reset();
  if (gMenu.dc && gMenu.oldBitmap) SelectObject(gMenu.dc, gMenu.oldBitmap);
  if (gMenu.bitmap) DeleteObject(gMenu.bitmap);
  if (gMenu.dc) DeleteDC(gMenu.dc);
  gMenu.dc = nullptr;
  gMenu.bitmap = nullptr;
  gMenu.oldBitmap = nullptr;
}

bool makeSurface(DrawingContext* ctx) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = gMenu.width;
  bi.bmiHeader.biHeight = -gMenu.height;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  gMenu.dc = CreateCompatibleDC(screen);
  gMenu.bitmap = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (screen) ReleaseDC(nullptr, screen);
  if (!gMenu.dc || !gMenu.bitmap || !bits) return false;
  gMenu.oldBitmap = SelectObject(gMenu.dc, gMenu.bitmap);
  const D2D1_RENDER_TARGET_PROPERTIES props = D2D1::RenderTargetProperties(
      D2D1_RENDER_TARGET_TYPE_DEFAULT, D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED),
      96, 96);
  const HRESULT hr = ctx->d2d->CreateDCRenderTarget(&props, gMenu.target.put());
  if (FAILED(hr)) {
    logLine("tray menu: render target failed (0x%08lx)", static_cast<unsigned long>(hr));
    return false;
  }
  gMenu.painter = std::make_unique<D2DPainter>(ctx, nullptr);
  return true;
}

// Draws the menu as it stands and puts it on screen.
bool draw() {
  if (!gMenu.target || !gMenu.painter) return false;
  const RECT rc{0, 0, gMenu.width, gMenu.height};
  if (FAILED(gMenu.target->BindDC(gMenu.dc, &rc))) return false;
  gMenu.painter->setTarget(gMenu.target.get());
  const float progress = menuOpeningProgress(seconds() - gMenu.openedAt);
  gMenu.target->BeginDraw();
  gMenu.target->SetTransform(D2D1::Matrix3x2F::Scale(gMenu.scale, gMenu.scale));
  gMenu.target->Clear(D2D1::ColorF(0, 0, 0, 0));
  drawTrayMenu(*gMenu.painter, gMenu.items, gMenu.layout, gMenu.hover, progress);
  const HRESULT hr = gMenu.target->EndDraw();
  if (FAILED(hr)) {
    logLine("tray menu: drawing failed (0x%08lx)", static_cast<unsigned long>(hr));
    return false;
  }
  GdiFlush();
  const float eased = 1 - std::pow(1 - progress, 3.0f);
  BLENDFUNCTION blend{AC_SRC_OVER, 0, static_cast<BYTE>(std::lround(255.0f * (0.3f + 0.7f * eased))), AC_SRC_ALPHA};
  POINT source{0, 0};
  SIZE size{gMenu.width, gMenu.height};
  if (!UpdateLayeredWindow(gMenu.hwnd, nullptr, &gMenu.position, &size, gMenu.dc, &source, 0, &blend, ULW_ALPHA)) {
    logLine("tray menu: UpdateLayeredWindow failed (%lu)", GetLastError());
    return false;
  }
  return true;
}

// With "KOVRA_TEST_LAYOUT" set, the rows that can be chosen are logged in
// screen pixels, so that tests can point at them.
void logLayoutForTests() {
  if (GetEnvironmentVariableW(L"KOVRA_TEST_LAYOUT", nullptr, 0) == 0) return;
  std::string all;
  char buf[96];
  for (size_t i = 0; i < gMenu.items.size(); ++i) {
    if (!gMenu.items[i].selectable) continue;
    const Rect& r = gMenu.layout.rows[i];
    std::snprintf(buf, sizeof buf, " %d@%ld,%ld,%ld,%ld", static_cast<int>(gMenu.items[i].command),
                  gMenu.position.x + std::lround(r.x * gMenu.scale), gMenu.position.y + std::lround(r.y * gMenu.scale),
                  std::lround(r.w * gMenu.scale), std::lround(r.h * gMenu.scale));
    all += buf;
  }
  logLine("tray menu: rows%s", all.c_str());
  std::string lines;
  for (const MenuItem& m : gMenu.items) {
    if (m.kind == MenuKind::Separator) continue;
    if (!lines.empty()) lines += " | ";
    lines += m.text;
  }
  logLine("tray menu: lines %s", lines.c_str());
}

void setHover(int item) {
  if (item == gMenu.hover) return;
  gMenu.hover = item;
  draw();
}

void choose(int item) {
  if (item < 0 || item >= static_cast<int>(gMenu.items.size()) || !gMenu.items[item].selectable) return;
  const Command command = gMenu.items[item].command;
  std::function<void(Command)> onCommand = gMenu.onCommand;
  trayMenuClose();
  if (onCommand) onCommand(command);
}

Point logical(LPARAM lp) {
  return {static_cast<float>(GET_X_LPARAM(lp)) / gMenu.scale, static_cast<float>(GET_Y_LPARAM(lp)) / gMenu.scale};
}

MenuKey keyOf(WPARAM vk) {
  switch (vk) {
    case VK_DOWN: return MenuKey::Down;
    case VK_TAB: return (GetKeyState(VK_SHIFT) & 0x8000) ? MenuKey::Up : MenuKey::Tab;
    case VK_UP: return MenuKey::Up;
    case VK_RETURN: return MenuKey::Enter;
    case VK_SPACE: return MenuKey::Space;
    case VK_ESCAPE: return MenuKey::Escape;
    default: return MenuKey::Other;
  }
}

LRESULT CALLBACK menuProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ACTIVATE:
      if (LOWORD(wp) != WA_INACTIVE)
        gMenu.activated = true;
      else if (gMenu.activated)
        PostMessageW(h, WM_CLOSE, 0, 0);
      return 0;
    case WM_MOUSEMOVE: {
      const Point p = logical(lp);
      setHover(menuItemAt(gMenu.items, gMenu.layout, p.x, p.y));
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
      const Point p = logical(lp);
      if (!insideMenuPanel(gMenu.layout, p.x, p.y)) trayMenuClose();
      return 0;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP: {
      const Point p = logical(lp);
      choose(menuItemAt(gMenu.items, gMenu.layout, p.x, p.y));
      return 0;
    }
    case WM_KEYDOWN: {
      const MenuKeyResult r = menuKey(gMenu.items, gMenu.hover, keyOf(wp));
      if (r.close) {
        trayMenuClose();
      } else if (r.choose) {
        choose(r.selected);
      } else {
        setHover(r.selected);
      }
      return 0;
    }
    case WM_TIMER:
      if (wp == kTimerOpening) {
        if (menuOpeningProgress(seconds() - gMenu.openedAt) >= 1) KillTimer(h, kTimerOpening);
        draw();
      }
      return 0;
    case WM_CLOSE:
      trayMenuClose();
      return 0;
    case WM_DESTROY: {
      KillTimer(h, kTimerOpening);
      if (GetCapture() == h) ReleaseCapture();
      releaseSurface();
      std::function<void()> onClosed = std::move(gMenu.onClosed);
      gMenu = MenuWindow{};
      if (onClosed) onClosed();
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(h, msg, wp, lp);
}

bool registerClass() {
  static bool done = false;
  if (done) return true;
  WNDCLASSEXW wc{sizeof wc};
  wc.lpfnWndProc = menuProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kClass;
  done = RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  return done;
}

}  // namespace

bool trayMenuShow(std::vector<MenuItem> items, std::function<void(Command)> onCommand,
                  std::function<void()> onClosed) {
  trayMenuClose();
  DrawingContext* ctx = drawingContext();
  if (!ctx || !registerClass()) return false;

  POINT cursor{};
  GetCursorPos(&cursor);
  HMONITOR monitor = MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST);
  MONITORINFO mi{sizeof mi};
  if (!GetMonitorInfoW(monitor, &mi)) SystemParametersInfoW(SPI_GETWORKAREA, 0, &mi.rcWork, 0);
  const UINT dpi = monitorDpi(monitor);
  const float d = static_cast<float>(dpi) / 96.0f;

  gMenu.items = std::move(items);
  gMenu.layout = layoutTrayMenu(gMenu.items);
  gMenu.dpi = dpi;
  gMenu.scale = d;
  gMenu.width = static_cast<int>(std::ceil(kMenuWindowWidth * d));
  gMenu.height = static_cast<int>(std::ceil(gMenu.layout.windowHeight * d));
  const long margin = std::lround(kMenuMargin * d);
  const MenuPixelRect work{mi.rcWork.left, mi.rcWork.top, mi.rcWork.right, mi.rcWork.bottom};
  const MenuPixelPoint at =
      placeTrayMenu({cursor.x, cursor.y}, gMenu.width - 2 * margin, gMenu.height - 2 * margin, margin, work);
  gMenu.position = {at.x, at.y};

  HWND h = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kClass, L"Quillar", WS_POPUP, at.x, at.y,
                           gMenu.width, gMenu.height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!h) {
    logLine("tray menu: window failed (%lu)", GetLastError());
    gMenu = MenuWindow{};
    return false;
  }
  gMenu.hwnd = h;
  gMenu.openedAt = seconds();
  if (!makeSurface(ctx) || !draw()) {
    gMenu.onClosed = nullptr;  // never shown: nothing was closed
    DestroyWindow(h);
    return false;
  }
  gMenu.onCommand = std::move(onCommand);
  gMenu.onClosed = std::move(onClosed);
  SetTimer(h, kTimerOpening, 10, nullptr);
  ShowWindow(h, SW_SHOW);
  SetForegroundWindow(h);
  SetFocus(h);
  // Presses anywhere come here while the menu is in front, so that one outside closes it.
  SetCapture(h);
  logLine("tray menu: drawn (dpi %u, %d×%d px)", dpi, gMenu.width, gMenu.height);
  logLayoutForTests();
  return true;
}

void trayMenuClose() {
  if (gMenu.hwnd) DestroyWindow(gMenu.hwnd);
}

HWND trayMenuWindow() { return gMenu.hwnd; }

}  // namespace kui
