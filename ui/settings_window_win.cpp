// The Quillar window: creation, the drawing pass through Direct2D, mouse,
// wheel and keys, the city edit, DPI changes and the page scale.
#include "ui/settings_window_win.h"

#include <commctrl.h>
#include <d2d1.h>
#include <dwmapi.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "base/log.h"
#include "base/settings.h"
#include "base/win_util_win.h"
#include "ui/d2d_painter_win.h"
#include "ui/guide.h"
#include "ui/text.h"

namespace kui {
namespace {

constexpr wchar_t kClass[] = L"KovraSettings";
constexpr UINT_PTR kTimerBanner = 7, kTimerSlow = 8, kTimerRepaint = 9;
constexpr UINT kMsgGuideSwitched = WM_APP + 7;  // the guide began or ended: new height
constexpr int kCityEditId = 2;
constexpr COLORREF kEditText = RGB(242, 244, 250), kEditBack = RGB(37, 40, 49);

struct WindowState {
  HWND hwnd = nullptr;
  HWND city = nullptr;
  RECT cityRect{};  // client pixels while the field shows, else empty
  HFONT cityFont = nullptr;
  HBRUSH cityBrush = nullptr;
  UINT dpi = 96;
  float pageScale = 1;
  SettingsModel model;
  HitLists hits;
  ScrollState scroll;
  int hoverKind = 0, hoverArg = 0;
  int activeSlider = 0;  // kind of the slider being dragged, 0 none
  bool bannerStill = false;  // drawing is too slow here to animate the banner
  double lastPaintMs = 0;    // how long the last page took to draw
  double lastPaintEnd = 0;   // seconds() when it was done
  HitArea sliderArea;
  int visibleThemes = 12;
  bool tracking = false;
  Com<ID2D1HwndRenderTarget> target;
  std::unique_ptr<D2DPainter> painter;
  double startTime = 0;
  bool guideShown = false;  // what the window is sized for
  bool paintNow = false;    // the next paint does not wait (a guide step changed)
  int guideStep = 0;
  uint32_t guideProgress = 0;  // the tricks last seen done
};

SettingsWindowHooks gHooks;
WindowState gWin;
// The city field's text outlives the window: the weather service sets it at
// start-up, before the window is ever opened.
std::string gCityText;

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

UINT monitorDpi(HMONITOR m) {
  static auto fn = systemFunction<GetDpiForMonitorFn>(L"shcore.dll", "GetDpiForMonitor");
  UINT x = 96, y = 96;
  if (fn && m && SUCCEEDED(fn(m, 0 /* effective */, &x, &y)) && x >= 48) return x;
  return 96;
}

UINT windowDpi(HWND h) {
  static auto fn = systemFunction<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
  UINT d = fn ? fn(h) : 0;
  return d >= 48 ? d : monitorDpi(MonitorFromWindow(h, MONITOR_DEFAULTTONEAREST));
}

// Logical pixels to device pixels.
float unit() { return static_cast<float>(gWin.dpi) / 96.0f * gWin.pageScale; }

double seconds() { return static_cast<double>(GetTickCount64()) / 1000.0; }

float pageScaleFor(HMONITOR monitor, UINT dpi) {
  MONITORINFO mi{sizeof mi};
  if (!GetMonitorInfoW(monitor, &mi)) return 1;
  const float s = pageScale(static_cast<float>(mi.rcWork.bottom - mi.rcWork.top), dpi);
  if (s < 1) logLine("settings window: the screen is narrow, the page is shown at %.0f %%", 100.0 * s);
  return s;
}

float logicalClientHeight() {
  RECT rc{};
  GetClientRect(gWin.hwnd, &rc);
  return static_cast<float>(rc.bottom - rc.top) / unit();
}

void rebuildModel() {
  if (gHooks.model) gWin.model = gHooks.model();
  gWin.model.visibleThemes = gWin.visibleThemes;
  gWin.model.values.city = settingsWindowCityText();
  // Switching between the guide and the page starts either at its top, the
  // guide at its first step.
  if (gWin.hwnd && gWin.model.guideActive != gWin.guideShown) {
    gWin.guideShown = gWin.model.guideActive;
    gWin.guideStep = 0;
    gWin.scroll.scrollTo(0);
    PostMessageW(gWin.hwnd, kMsgGuideSwitched, 0, 0);
  }
  gWin.model.guideStep = gWin.guideStep;
  // A trick just done is ticked at once.
  if (gWin.model.guideActive && gWin.model.guideProgress != gWin.guideProgress) gWin.paintNow = true;
  gWin.guideProgress = gWin.model.guideProgress;
}

void repaint() {
  if (gWin.hwnd) InvalidateRect(gWin.hwnd, nullptr, FALSE);
}

void sendCommand(int command) {
  if (command < 0 || !gHooks.command) return;
  gHooks.command(gWin.model.values, command);
}

// With "KOVRA_TEST_LAYOUT" set, the controls' rectangles (client pixels as
// the page lies now) are logged whenever they move, so that tests can click them.
void logLayoutForTests() {
  static const bool wanted = GetEnvironmentVariableW(L"KOVRA_TEST_LAYOUT", nullptr, 0) > 0;
  static std::string last;
  if (!wanted) return;
  const float k = unit();
  std::string all;
  char buf[96];
  auto add = [&](const HitArea& a, float dy) {
    std::snprintf(buf, sizeof buf, " %d.%d@%ld,%ld,%ld,%ld", a.kind, a.arg, std::lround(a.x * k),
                  std::lround((a.y + dy) * k), std::lround(a.w * k), std::lround(a.h * k));
    all += buf;
  };
  for (const HitArea& a : gWin.hits.header) add(a, 0);
  for (const HitArea& a : gWin.hits.content) add(a, kHeaderHeight - gWin.scroll.position);
  // The native city field is no drawn control; it goes out under a kind of its own.
  constexpr int kTestKindCityField = 90;
  const RECT& c = gWin.cityRect;
  if (c.right > c.left) {
    std::snprintf(buf, sizeof buf, " %d.0@%ld,%ld,%ld,%ld", kTestKindCityField, c.left, c.top, c.right - c.left,
                  c.bottom - c.top);
    all += buf;
  }
  POINT origin{0, 0};
  ClientToScreen(gWin.hwnd, &origin);
  std::snprintf(buf, sizeof buf, "origin %ld,%ld", origin.x, origin.y);
  all = buf + all;
  if (all != last) {
    last = all;
    logLine("settings window: %s", all.c_str());
  }
  // What the update texts say, for tests that cannot read drawn text.
  static std::string lastUpdate;
  const UpdateTexts u = updateTexts(gWin.model);
  std::string update = "update card \"" + u.cardTitle + "\" \"" + u.cardLine + "\", check line \"" + u.checkLine + "\"";
  if (update != lastUpdate) {
    lastUpdate = update;
    logLine("settings window: %s", update.c_str());
  }
  static std::string lastGuide;
  std::snprintf(buf, sizeof buf, "guide step %d, tricks 0x%02x", gWin.model.guideStep,
                static_cast<unsigned>(gWin.model.guideProgress));
  const std::string guide = gWin.model.guideActive ? buf : "guide off";
  if (guide == lastGuide) return;
  lastGuide = guide;
  logLine("settings window: %s", guide.c_str());
}

void releaseTarget() {
  gWin.target.reset();
  if (gWin.painter) gWin.painter->setTarget(nullptr);
}

void makeCityFont() {
  if (gWin.cityFont) DeleteObject(gWin.cityFont);
  gWin.cityFont = CreateFontW(-static_cast<int>(std::lround(13.0 * gWin.dpi / 96 * gWin.pageScale)), 0, 0, 0,
                              FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                              CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Segoe UI");
  if (gWin.city) SendMessageW(gWin.city, WM_SETFONT, reinterpret_cast<WPARAM>(gWin.cityFont), TRUE);
}

LRESULT CALLBACK cityProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
  switch (msg) {
    case WM_KEYDOWN:
      if (wp == VK_RETURN) {
        rebuildModel();
        if (!gWin.model.values.city.empty() && !gWin.model.citySearchBusy) sendCommand(kCommandFindCity);
        return 0;
      }
      if (wp == 'A' && (GetKeyState(VK_CONTROL) & 0x8000)) {
        SendMessageW(h, EM_SETSEL, 0, -1);
        return 0;
      }
      break;
    case WM_CHAR:
      if (wp == '\r' || wp == 1 /* Ctrl+A */) return 0;  // no beep
      break;
    case WM_MOUSEWHEEL:
      return SendMessageW(gWin.hwnd, msg, wp, lp);
    default:
      break;
  }
  return DefSubclassProc(h, msg, wp, lp);
}

void placeCityField(const PageResult& r) {
  gWin.cityRect = {};
  if (!r.cityFieldShown) {
    if (gWin.city) ShowWindow(gWin.city, SW_HIDE);
    return;
  }
  if (!gWin.city) {
    gWin.city = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | ES_AUTOHSCROLL, 0, 0, 10, 10, gWin.hwnd,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCityEditId)),
                                GetModuleHandleW(nullptr), nullptr);
    if (!gWin.city) {
      logLine("settings window: city field failed (%lu)", GetLastError());
      return;
    }
    SendMessageW(gWin.city, EM_LIMITTEXT, 200, 0);
    SetWindowTextW(gWin.city, toWide(gCityText).c_str());
    const std::wstring cue = toWide(tr("Ваше місто, напр. Київ, Краків, Берлін"));
    SendMessageW(gWin.city, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(cue.c_str()));
    SetWindowSubclass(gWin.city, cityProc, 1, 0);
    makeCityFont();
  }
  const float k = unit();
  const float top = (r.cityField.y + kHeaderHeight - gWin.scroll.position);
  // Hidden while the field is scrolled under the title band.
  if (top < kHeaderHeight) {
    ShowWindow(gWin.city, SW_HIDE);
    return;
  }
  const int x = static_cast<int>(std::lround(r.cityField.x * k)), y = static_cast<int>(std::lround(top * k));
  const int w = static_cast<int>(std::lround(r.cityField.w * k)), h = static_cast<int>(std::lround(r.cityField.h * k));
  // No copying of the field's old pixels: under Wine, a child window's bits
  // copied over a page drawn by Direct2D hang the move for good.
  SetWindowPos(gWin.city, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW | SWP_NOCOPYBITS);
  gWin.cityRect = {x, y, x + w, y + h};
}

void paint() {
  PAINTSTRUCT ps;
  BeginPaint(gWin.hwnd, &ps);
  DrawingContext* ctx = drawingContext();
  RECT rc{};
  GetClientRect(gWin.hwnd, &rc);
  const D2D1_SIZE_U size = D2D1::SizeU(static_cast<UINT32>(std::max(1L, rc.right)), static_cast<UINT32>(std::max(1L, rc.bottom)));
  bool newTarget = false;
  if (ctx && !gWin.target) {
    newTarget = true;
    D2D1_RENDER_TARGET_PROPERTIES props = D2D1::RenderTargetProperties();
    props.dpiX = props.dpiY = 96;  // the page scale is applied as a transform
    HRESULT hr = ctx->d2d->CreateHwndRenderTarget(props, D2D1::HwndRenderTargetProperties(gWin.hwnd, size),
                                                  gWin.target.put());
    if (FAILED(hr)) logLine("settings window: render target failed (0x%08lx)", static_cast<unsigned long>(hr));
  }
  if (ctx && gWin.target) {
    if (!gWin.painter) gWin.painter = std::make_unique<D2DPainter>(ctx, windowImageLoader(gHooks.themeThumbnail));
    gWin.painter->setTarget(gWin.target.get());
    rebuildModel();
    const float k = unit();
    gWin.painter->setVisible({0, 0, static_cast<float>(rc.right) / k, static_cast<float>(rc.bottom) / k}, k);
    PageView view;
    view.scroll = gWin.scroll.position;
    view.viewHeight = static_cast<float>(rc.bottom) / k - kHeaderHeight;
    view.hoverKind = gWin.hoverKind;
    view.hoverArg = gWin.hoverArg;
    view.time = seconds() - gWin.startTime;
    LARGE_INTEGER paintStart{}, paintEnd{}, frequency{};
    QueryPerformanceCounter(&paintStart);
    gWin.target->BeginDraw();
    gWin.target->SetTransform(D2D1::Matrix3x2F::Scale(k, k));
    gWin.target->Clear(D2D1::ColorF(0x0b1124));
    const PageResult r = paintSettingsWindow(*gWin.painter, gWin.hits, gWin.model, view);
    const HRESULT hr = gWin.target->EndDraw();
    if (hr == static_cast<HRESULT>(D2DERR_RECREATE_TARGET)) releaseTarget();
    // The content's height bounds the scroll; a change draws again.
    if (gWin.scroll.setHeights(r.contentHeight, view.viewHeight)) InvalidateRect(gWin.hwnd, nullptr, FALSE);
    // Under Wine a new target's first picture never reaches the screen (the
    // window stayed black until the next paint): one more follows at once.
    if (newTarget) {
      gWin.paintNow = true;
      InvalidateRect(gWin.hwnd, nullptr, FALSE);
    }
    placeCityField(r);
    logLayoutForTests();
    // A page that takes long to draw (software drawing, a slow machine) would
    // take the time of the snow's frames: the banner then stands still.
    QueryPerformanceCounter(&paintEnd);
    QueryPerformanceFrequency(&frequency);
    const double paintMs = 1000.0 * static_cast<double>(paintEnd.QuadPart - paintStart.QuadPart) /
                           static_cast<double>(frequency.QuadPart > 0 ? frequency.QuadPart : 1);
    gWin.lastPaintMs = paintMs;
    gWin.lastPaintEnd = seconds();
    if (!gWin.bannerStill && paintMs > 40.0) {
      gWin.bannerStill = true;
      logLine("settings window: a page takes %.0f ms to draw, the banner stands still", paintMs);
    }
    // The banner moves while any of it is in view.
    if (gWin.scroll.position < kStatusCardHeight && !gWin.bannerStill)
      SetTimer(gWin.hwnd, kTimerBanner, 33, nullptr);
    else
      KillTimer(gWin.hwnd, kTimerBanner);
  }
  EndPaint(gWin.hwnd, &ps);
}

const HitArea* hitAt(LPARAM lp, float* lx = nullptr) {
  const float k = unit();
  const float x = static_cast<float>(GET_X_LPARAM(lp)) / k, y = static_cast<float>(GET_Y_LPARAM(lp)) / k;
  if (lx) *lx = x;
  return hitTest(gWin.hits, x, y, gWin.scroll.position);
}

void languageMenu() {
  HMENU menu = CreatePopupMenu();
  if (!menu) return;
  const std::string system = trFormat("Як у системі (%@)", languageName(windowsLanguage()));
  AppendMenuW(menu, MF_STRING, 1, toWide(system).c_str());
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  for (int i = 0; i < kLanguageCount; ++i)
    AppendMenuW(menu, MF_STRING | (i == uiLanguage() ? MF_CHECKED : 0), 10 + i, toWide(languageName(i)).c_str());
  POINT p{};
  GetCursorPos(&p);
  const int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, p.x, p.y, 0, gWin.hwnd, nullptr);
  DestroyMenu(menu);
  if (chosen && gHooks.language) gHooks.language(chosen == 1 ? -1 : chosen - 10);
  repaint();
}

void click(const HitArea& a, float x) {
  if (gWin.model.guideActive && (a.kind == kKindGuideNext || a.kind == kKindGuideBack)) {
    const GuideMove move = guideMove(gWin.guideStep, a.kind);
    gWin.guideStep = move.step;
    gWin.model.guideStep = move.step;
    gWin.scroll.scrollTo(0);
    for (int command : move.commands) sendCommand(command);
    gWin.paintNow = true;
    repaint();
    return;
  }
  if (a.kind == kKindAmountSlider || a.kind == kKindWindSlider) {
    gWin.activeSlider = a.kind;
    gWin.sliderArea = a;
    applySlider(a.kind, sliderFraction(a, x), gWin.model.values);
    sendCommand(kCommandApply);
    return;
  }
  const ClickEffect e = clickEffect(a, gWin.model);
  gWin.visibleThemes = gWin.model.visibleThemes;
  switch (e.action) {
    case WindowAction::LanguageMenu: languageMenu(); return;
    case WindowAction::Minimise: ShowWindow(gWin.hwnd, SW_MINIMIZE); return;
    case WindowAction::Close: PostMessageW(gWin.hwnd, WM_CLOSE, 0, 0); return;
    case WindowAction::None: break;
  }
  sendCommand(e.command);
}

void darkTitleBar(HWND h) {
  const BOOL dark = TRUE;
  const COLORREF band = RGB(9, 14, 33);
  const int round = 2;  // DWMWCP_ROUND
  HRESULT hr = DwmSetWindowAttribute(h, 20 /* DWMWA_USE_IMMERSIVE_DARK_MODE */, &dark, sizeof dark);
  if (FAILED(hr)) logLine("settings window: dark title bar refused (0x%08lx)", static_cast<unsigned long>(hr));
  DwmSetWindowAttribute(h, 35 /* DWMWA_CAPTION_COLOR */, &band, sizeof band);
  DwmSetWindowAttribute(h, 34 /* DWMWA_BORDER_COLOR */, &band, sizeof band);
  DwmSetWindowAttribute(h, 33 /* DWMWA_WINDOW_CORNER_PREFERENCE */, &round, sizeof round);
}

void resetState() {
  releaseTarget();
  gWin.painter.reset();
  if (gWin.cityFont) DeleteObject(gWin.cityFont);
  if (gWin.cityBrush) DeleteObject(gWin.cityBrush);
  gWin = WindowState{};
}

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

// The window's rectangle for the page (800 logical pixels high) or the guide
// (560), centred in the work area.
RECT windowRect(const RECT& work, bool guide) {
  const float k = unit();
  RECT r{0, 0, static_cast<LONG>(std::lround(kPageWidth * k)),
         static_cast<LONG>(std::lround((guide ? kGuidePageHeight : kPageHeight) * k))};
  static auto adjust = systemFunction<AdjustForDpiFn>(L"user32.dll", "AdjustWindowRectExForDpi");
  if (adjust)
    adjust(&r, kStyle, FALSE, 0, gWin.dpi);
  else
    AdjustWindowRectEx(&r, kStyle, FALSE, 0);
  const LONG workW = work.right - work.left, workH = work.bottom - work.top;
  const LONG w = std::min(r.right - r.left, workW), hgt = std::min(r.bottom - r.top, workH - 16);
  const LONG x = work.left + (workW - w) / 2, y = std::max(work.top, work.top + (workH - hgt) / 2);
  return {x, y, x + w, y + hgt};
}

LRESULT CALLBACK windowProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case kMsgGuideSwitched: {
      MONITORINFO mi{sizeof mi};
      if (GetMonitorInfoW(MonitorFromWindow(h, MONITOR_DEFAULTTONEAREST), &mi)) {
        const RECT r = windowRect(mi.rcWork, gWin.guideShown);
        SetWindowPos(h, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
      }
      gWin.paintNow = true;
      repaint();
      return 0;
    }
    case WM_NCHITTEST: {
      LRESULT r = DefWindowProcW(h, msg, wp, lp);
      if (r != HTCLIENT) return r;
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      ScreenToClient(h, &p);
      const float k = unit();
      // The band outside its glyphs drags the window.
      return headerState(gWin.hits, static_cast<float>(p.x) / k, static_cast<float>(p.y) / k) == 1 ? HTCAPTION
                                                                                                  : HTCLIENT;
    }
    case WM_PAINT:
      // Where a page takes long to draw, repaints wait so that drawing takes
      // at most a quarter of the time and the snow's frames go on meanwhile.
      // A step of the guide or the switch to or from it shows at once.
      if (!gWin.paintNow && gWin.lastPaintMs > 40.0) {
        // The wait runs from the end of the last paint: later requests do not push it out.
        const double waitMs = gWin.lastPaintMs * 3.0 - 1000.0 * (seconds() - gWin.lastPaintEnd);
        if (waitMs > 0) {
          ValidateRect(h, nullptr);
          SetTimer(h, kTimerRepaint, static_cast<UINT>(waitMs) + 1, nullptr);
          return 0;
        }
      }
      gWin.paintNow = false;
      paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SIZE:
      if (gWin.target) gWin.target->Resize(D2D1::SizeU(LOWORD(lp), HIWORD(lp)));
      repaint();
      return 0;
    case WM_MOUSEMOVE: {
      if (!gWin.tracking) {
        TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, h, 0};
        gWin.tracking = TrackMouseEvent(&t) != FALSE;
      }
      rebuildModel();
      float x = 0;
      const HitArea* a = hitAt(lp, &x);
      if (gWin.activeSlider) {
        applySlider(gWin.activeSlider, sliderFraction(gWin.sliderArea, x), gWin.model.values);
        sendCommand(kCommandApply);
        repaint();
        return 0;
      }
      const int kind = a ? a->kind : 0, arg = a ? a->arg : 0;
      if (kind != gWin.hoverKind || arg != gWin.hoverArg) {
        gWin.hoverKind = kind;
        gWin.hoverArg = arg;
        repaint();
      }
      return 0;
    }
    case WM_MOUSELEAVE:
      gWin.tracking = false;
      if (gWin.hoverKind) {
        gWin.hoverKind = 0;
        repaint();
      }
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lp) == HTCLIENT) {
        POINT p{};
        GetCursorPos(&p);
        ScreenToClient(h, &p);
        const float k = unit();
        const bool over =
            hitTest(gWin.hits, static_cast<float>(p.x) / k, static_cast<float>(p.y) / k, gWin.scroll.position);
        SetCursor(LoadCursorW(nullptr, over ? IDC_HAND : IDC_ARROW));
        return TRUE;
      }
      break;
    case WM_LBUTTONDOWN: {
      SetCapture(h);
      SetFocus(h);
      rebuildModel();
      float x = 0;
      if (const HitArea* a = hitAt(lp, &x)) {
        const HitArea copy = *a;  // the command may repaint and refill the list
        click(copy, x);
        rebuildModel();  // the command may have opened or closed the guide
      }
      repaint();
      return 0;
    }
    case WM_LBUTTONUP:
      ReleaseCapture();
      if (gWin.activeSlider) {
        rebuildModel();
        applySlider(gWin.activeSlider, sliderFraction(gWin.sliderArea, static_cast<float>(GET_X_LPARAM(lp)) / unit()),
                    gWin.model.values);
        gWin.activeSlider = 0;
        sendCommand(kCommandApply);
        repaint();
      }
      return 0;
    case WM_MOUSEWHEEL:
      if (gWin.scroll.scrollBy(-56.0f * static_cast<float>(GET_WHEEL_DELTA_WPARAM(wp)) / 120.0f)) repaint();
      return 0;
    case WM_KEYDOWN: {
      const float d = keyScrollDelta(static_cast<unsigned>(wp), logicalClientHeight());
      if (d != 0 && gWin.scroll.scrollBy(d)) repaint();
      return 0;
    }
    case WM_TIMER:
      if (wp == kTimerRepaint) {
        KillTimer(h, kTimerRepaint);
        InvalidateRect(h, nullptr, FALSE);
        return 0;
      }
      if (wp == kTimerBanner) {
        // Only the band of the window that still shows the banner.
        const float k = unit();
        const float bottom = kHeaderHeight + kStatusCardHeight - gWin.scroll.position;
        RECT band{0, static_cast<LONG>(kHeaderHeight * k), 32000, static_cast<LONG>(std::ceil(bottom * k))};
        if (bottom > kHeaderHeight) InvalidateRect(h, &band, FALSE);
      } else if (wp == kTimerSlow) {
        const bool before = gWin.model.screensaverSet;
        rebuildModel();
        if (gWin.model.screensaverSet != before) repaint();
      }
      return 0;
    case WM_CTLCOLOREDIT:
      if (reinterpret_cast<HWND>(lp) == gWin.city) {
        HDC dc = reinterpret_cast<HDC>(wp);
        SetTextColor(dc, kEditText);
        SetBkColor(dc, kEditBack);
        if (!gWin.cityBrush) gWin.cityBrush = CreateSolidBrush(kEditBack);
        return reinterpret_cast<LRESULT>(gWin.cityBrush);
      }
      break;
    case WM_DPICHANGED: {
      gWin.dpi = HIWORD(wp) >= 48 ? HIWORD(wp) : 96;
      const RECT* suggested = reinterpret_cast<const RECT*>(lp);
      gWin.pageScale = pageScaleFor(MonitorFromRect(suggested, MONITOR_DEFAULTTONEAREST), gWin.dpi);
      releaseTarget();
      SetWindowPos(h, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      makeCityFont();
      logLine("settings window: dpi %u", gWin.dpi);
      repaint();
      return 0;
    }
    case WM_ENTERMENULOOP:
    case WM_ENTERSIZEMOVE:
      if (gHooks.modalLoop) gHooks.modalLoop(true);
      break;
    case WM_EXITMENULOOP:
    case WM_EXITSIZEMOVE:
      if (gHooks.modalLoop) gHooks.modalLoop(false);
      break;
    case WM_CLOSE:
      DestroyWindow(h);
      return 0;
    case WM_DESTROY: {
      KillTimer(h, kTimerBanner);
      KillTimer(h, kTimerSlow);
      if (gWin.city) RemoveWindowSubclass(gWin.city, cityProc, 1);
      resetState();
      logLine("settings window closed");
      if (gHooks.closed) gHooks.closed();
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
  wc.lpfnWndProc = windowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(1));
  wc.lpszClassName = kClass;
  done = RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  return done;
}

}  // namespace

void settingsWindowSetHooks(SettingsWindowHooks hooks) { gHooks = std::move(hooks); }

bool settingsWindowOpen() {
  if (gWin.hwnd) {
    if (IsIconic(gWin.hwnd)) ShowWindow(gWin.hwnd, SW_RESTORE);
    SetForegroundWindow(gWin.hwnd);
    repaint();
    return true;
  }
  if (!registerClass()) {
    logLine("settings window failed (%lu)", GetLastError());
    return false;
  }
  if (!drawingContext()) return false;  // logged there

  POINT cursor{};
  GetCursorPos(&cursor);
  HMONITOR monitor = MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST);
  gWin.dpi = monitorDpi(monitor);
  rebuildModel();
  MONITORINFO mi{sizeof mi};
  GetMonitorInfoW(monitor, &mi);
  const RECT work = mi.rcWork;

  gWin.pageScale = pageScaleFor(monitor, gWin.dpi);
  const RECT placed = windowRect(work, gWin.model.guideActive);
  const LONG x = placed.left, y = placed.top, w = placed.right - placed.left, hgt = placed.bottom - placed.top;

  gWin.startTime = seconds();
  HWND h = CreateWindowExW(0, kClass, L"Quillar", kStyle, x, y, w, hgt, nullptr, nullptr, GetModuleHandleW(nullptr),
                           nullptr);
  if (!h) {
    logLine("settings window failed (%lu)", GetLastError());
    resetState();
    return false;
  }
  gWin.hwnd = h;
  gWin.guideShown = gWin.model.guideActive;
  // The window may have landed on a monitor of another DPI.
  gWin.dpi = windowDpi(h);
  darkTitleBar(h);
  SetWindowPos(h, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
  ShowWindow(h, SW_SHOW);
  SetTimer(h, kTimerSlow, 2000, nullptr);
  SetForegroundWindow(h);
  logLine("settings window opened (dpi %u)", gWin.dpi);
  return true;
}

void settingsWindowRefresh() {
  // The live state now: a guide opened or closed, or a trick done, shows at once.
  if (gWin.hwnd) rebuildModel();
  repaint();
}

void settingsWindowForgetImages() {
  if (gWin.painter) gWin.painter->forgetImages();
}

void settingsWindowClose() {
  if (gWin.hwnd) DestroyWindow(gWin.hwnd);
}

HWND settingsWindowHandle() { return gWin.hwnd; }

std::string settingsWindowCityText() {
  if (gWin.city) {
    wchar_t buf[256] = {};
    GetWindowTextW(gWin.city, buf, 255);
    gCityText = toUtf8(buf);
  }
  return gCityText;
}

void settingsWindowSetCityText(const std::string& utf8) {
  gCityText = utf8;
  if (gWin.city) SetWindowTextW(gWin.city, toWide(utf8).c_str());
}

}  // namespace kui
