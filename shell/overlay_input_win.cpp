// The overlay windows' messages: clicks on grabbable snow reach the world of
// their monitor; everything else passes through.
#include <windows.h>

#include "base/log.h"
#include "render/overlay_win.h"
#include "shell/recording_win.h"
#include "shell/shell_win.h"
#include "ui/mitten_cursor_win.h"

namespace {

// The monitor of an overlay window, or null.
MonitorState* monitorOf(HWND hwnd, std::size_t& index) {
  int i = overlayIndexOf(hwnd);
  AppState& a = app();
  if (i < 0 || static_cast<std::size_t>(i) >= a.monitors.size()) return nullptr;
  index = static_cast<std::size_t>(i);
  return &a.monitors[index];
}

// The cursor in the monitor's world points, y up from its bottom edge.
kovra::Vec2 worldPoint(const MonitorState& m) {
  POINT p{};
  GetCursorPos(&p);
  return {static_cast<float>(p.x - m.monitorRect.left) / m.scale,
          m.heightDip - static_cast<float>(p.y - m.monitorRect.top) / m.scale};
}

}  // namespace

LRESULT CALLBACK overlayWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  std::size_t index = 0;
  switch (msg) {
    case WM_PAINT:
      ValidateRect(hwnd, nullptr);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_NCHITTEST: {
      MonitorState* m = monitorOf(hwnd, index);
      return m && m->takesClicks ? HTCLIENT : HTTRANSPARENT;
    }
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_SETCURSOR: {
      MonitorState* m = monitorOf(hwnd, index);
      if (m && m->takesClicks) {
        SetCursor(kui::mittenCursor(m->grabbing ? 1 : 0));
        return 1;
      }
      break;
    }
    case WM_LBUTTONDOWN: {
      MonitorState* m = monitorOf(hwnd, index);
      if (!m || !m->world) return 0;
      bool heap = GetKeyState(VK_MENU) < 0;
      kovra::Vec2 at = worldPoint(*m);
      recordPointer(PointerEvent::Press, index, at, heap);
      if (appPointerPress(app(), index, at, heap)) {
        SetCapture(hwnd);
        SetCursor(kui::mittenCursor(1));
      }
      return 0;
    }
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED: {
      MonitorState* m = monitorOf(hwnd, index);
      if (!m || !m->grabbing) return 0;
      recordPointer(PointerEvent::Release, index, {}, false);
      appPointerRelease(app(), index);
      if (msg == WM_LBUTTONUP) ReleaseCapture();
      return 0;
    }
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN: {
      MonitorState* m = monitorOf(hwnd, index);
      if (!m || !m->world) return 0;
      bool wasGrabbing = m->grabbing;
      kovra::Vec2 at = worldPoint(*m);
      recordPointer(PointerEvent::Burst, index, at, false);
      appPointerBurst(app(), index, at);
      if (wasGrabbing) ReleaseCapture();
      return 0;
    }
    case WM_DISPLAYCHANGE:
      requestRebuild(0.6);
      return 0;
    case WM_DPICHANGED:
      requestRebuild(0.5);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}
