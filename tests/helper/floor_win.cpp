// Test-only: the floor under the overlay's cost. One layered, topmost,
// click-through window over the primary monitor, handed the same fixed
// picture of snow at a steady rate and drawing nothing itself, so the cost of
// giving a full-screen per-pixel-alpha picture to the window system can be
// told apart from the cost of drawing it (tools/perf.py).
//
//   quillar-floor.exe <picture.png> <seconds> [fps = 30]
//
// Prints "floor: N frames in S s" when the time is up.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/owners_win.h"
#include "render/png_read.h"

namespace {

double seconds() {
  static LARGE_INTEGER freq = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(freq.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: quillar-floor <picture.png> <seconds> [fps]\n");
    return 2;
  }
  char path[MAX_PATH * 3] = {};
  WideCharToMultiByte(CP_UTF8, 0, argv[1], -1, path, sizeof path, nullptr, nullptr);
  const double runFor = _wtof(argv[2]);
  const double fps = argc > 3 ? _wtof(argv[3]) : 30.0;
  // The Windows build of the reader opens narrow names as they are; the
  // harness passes plain ASCII paths.
  std::optional<kovra::PngPicture> pic = kovra::pngReadFile(path);
  if (!pic) {
    std::fprintf(stderr, "floor: cannot read %s\n", path);
    return 1;
  }
  SetProcessDPIAware();
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);

  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"QuillarFloor";
  RegisterClassW(&wc);
  HWND hwnd = CreateWindowExW(WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE,
                              wc.lpszClassName, L"floor", WS_POPUP, 0, 0, w, h, nullptr, nullptr, wc.hInstance,
                              nullptr);
  if (!hwnd) return 1;

  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(nullptr);
  UniqueDc dc(CreateCompatibleDC(screen));
  void* bits = nullptr;
  UniqueBitmap dib(CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  ReleaseDC(nullptr, screen);
  if (!dc || !dib || !bits) return 1;
  SelectedObject selection;
  selection.select(dc.get(), dib.get());
  auto* px = static_cast<uint32_t*>(bits);
  std::memset(px, 0, static_cast<size_t>(w) * h * 4);
  for (int y = 0; y < h && y < pic->height; ++y)
    std::memcpy(px + static_cast<size_t>(y) * w, pic->pixels.data() + static_cast<size_t>(y) * pic->width,
                static_cast<size_t>(w < pic->width ? w : pic->width) * 4);
  GdiFlush();

  POINT dst{0, 0}, src{0, 0};
  SIZE size{w, h};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  UpdateLayeredWindow(hwnd, nullptr, &dst, &size, dc.get(), &src, 0, &blend, ULW_ALPHA);
  ShowWindow(hwnd, SW_SHOWNOACTIVATE);

  const double start = seconds();
  double next = start;
  long frames = 0;
  for (;;) {
    double now = seconds();
    if (now - start >= runFor) break;
    if (now >= next) {
      UpdateLayeredWindow(hwnd, nullptr, &dst, &size, dc.get(), &src, 0, &blend, ULW_ALPHA);
      ++frames;
      next += 1.0 / fps;
      if (next < now) next = now + 1.0 / fps;  // a late frame is not caught up
      continue;
    }
    const DWORD wait = static_cast<DWORD>((next - now) * 1000.0) + 1;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  std::printf("floor: %ld frames in %.1f s\n", frames, seconds() - start);
  std::fflush(stdout);
  DestroyWindow(hwnd);
  return 0;
}
