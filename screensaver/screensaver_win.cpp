// The screensaver role: the system starts the executable (as Quillar.scr)
// with "/s", "/p <window>" or "/c"; full screen and preview fill their
// windows with the time-of-day picture and let it snow over it.
#include "screensaver/screensaver_win.h"

#include <windows.h>

#include <d2d1.h>
#include <dwmapi.h>
#include <shellapi.h>
#include <wincodec.h>

#include <cmath>
#include <ctime>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/clock_win.h"
#include "base/log.h"
#include "base/log_win.h"
#include "base/settings_win.h"
#include "base/win_util_win.h"
#include "screensaver/screen_win.h"
#include "screensaver/screensaver_rules.h"
#include "wallpaper/catalog_win.h"
#include "wallpaper/wallpaper_win.h"
#include "weather/day_phase.h"
#include "weather/weather_state.h"

namespace {

const wchar_t kSaverClass[] = L"QuillarScreensaver";

struct SaverState {
  kovra::SaverMode mode = kovra::SaverMode::None;
  HWND parent = nullptr;
  double start = 0;
  POINT startCursor{};
  POINT lastCursor{};
  bool quit = false;
};
SaverState gSaver;

void quitOn(kovra::SaverInput input, long dx = 0, long dy = 0) {
  if (kovra::saverInputQuits(gSaver.mode, input, shellClock() - gSaver.start, dx, dy)) gSaver.quit = true;
}

// A pointer that moved since it was last looked at; moved by another
// program, it may send no message to our windows.
void checkCursor() {
  POINT p{};
  if (!GetCursorPos(&p) || (p.x == gSaver.lastCursor.x && p.y == gSaver.lastCursor.y)) return;
  gSaver.lastCursor = p;
  quitOn(kovra::SaverInput::Move, p.x - gSaver.startCursor.x, p.y - gSaver.startCursor.y);
}

LRESULT CALLBACK saverProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  const bool full = gSaver.mode == kovra::SaverMode::FullScreen;
  switch (msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      quitOn(kovra::SaverInput::Key);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_XBUTTONDOWN:
      quitOn(kovra::SaverInput::Button);
      return 0;
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
      quitOn(kovra::SaverInput::Wheel);
      return 0;
    case WM_MOUSEMOVE: {
      POINT p{};
      if (full && GetCursorPos(&p)) {
        gSaver.lastCursor = p;
        quitOn(kovra::SaverInput::Move, p.x - gSaver.startCursor.x, p.y - gSaver.startCursor.y);
      }
      return 0;
    }
    case WM_ACTIVATEAPP:
      if (!wp) quitOn(kovra::SaverInput::Deactivate);
      return 0;
    case WM_SETCURSOR:
      if (full) {
        SetCursor(nullptr);
        return TRUE;
      }
      break;
    case WM_SYSCOMMAND:
      if ((wp & 0xFFF0) == SC_SCREENSAVE || (wp & 0xFFF0) == SC_CLOSE) return 0;
      break;
    case WM_CLOSE:
      quitOn(kovra::SaverInput::Close);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      ValidateRect(h, nullptr);
      return 0;
    case WM_DESTROY:
      // The control panel closes its preview by destroying our window.
      if (gSaver.mode == kovra::SaverMode::Preview) gSaver.quit = true;
      return 0;
  }
  return DefWindowProcW(h, msg, wp, lp);
}

// ------------------------------------------------------------- command line

kovra::SaverCommand readCommandLine(const wchar_t* commandLine) {
  int n = 0;
  LPWSTR* argv = CommandLineToArgvW(commandLine, &n);
  std::vector<std::string> args;
  if (argv) {
    for (int i = 1; i < n; ++i) args.push_back(toUtf8(argv[i]));
    LocalFree(argv);
  }
  // The name the system started us under, not what the command line claims.
  std::wstring exe = moduleFileName();
  const size_t slash = exe.find_last_of(L"\\/");
  if (slash != std::wstring::npos) exe.erase(0, slash + 1);
  return kovra::saverCommand(args, toUtf8(exe));
}

int configure(const char* (*translate)(const char*)) {
  const std::wstring appDir = toWide(quillarReadString(L"AppDir"));
  if (!appDir.empty()) {
    const std::wstring exe = appDir + L"\\Quillar.exe";
    const DWORD attrs = GetFileAttributesW(exe.c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
      // The wallpaper is picked in the program's window.
      ShellExecuteW(nullptr, L"open", exe.c_str(), nullptr, appDir.c_str(), SW_SHOWNORMAL);
      return 0;
    }
  }
  languageChoose();
  const char* text =
      "Заставка Quillar: живі шпалери, що змінюються з порою дня, сніг і Санта. Оберіть шпалери у вікні Quillar.";
  MessageBoxW(nullptr, toWide(translate ? translate(text) : text).c_str(), L"Quillar", MB_OK | MB_ICONINFORMATION);
  return 0;
}

// ------------------------------------------------------------------ pictures

struct PictureState {
  kovra::CatalogRef catalog;
  int theme = -1;
  bool kept = false;
  std::set<std::string> missingLogged;
};

std::vector<bool> themesOnDisk(const kovra::Catalog& c) {
  std::vector<bool> out(c.themes.size());
  for (size_t i = 0; i < out.size(); ++i) out[i] = themeAvailable(static_cast<int>(i));
  return out;
}

kovra::SlotKey phaseNow(int theme) {
  const std::time_t now = std::time(nullptr);
  const double offset = localUtcOffset(now);
  const double lat = storedCoordinate(quillarReadString(L"CityLat"), 90);
  const double lon = storedCoordinate(quillarReadString(L"CityLon"), 180);
  const PhaseLocation where = phaseLocation(lat, lon, offset);
  const DayPhase p = dayPhaseAt(static_cast<double>(now), where.latitude, where.longitude, offset);
  kovra::SlotKey key;
  key.theme = theme;
  key.from = phaseIndex(p.from);
  key.to = phaseIndex(p.to);
  key.blend = p.blend;
  return key;
}

std::wstring picturePath(PictureState& ps, int theme, int phase) {
  if (!ps.catalog || theme < 0 || theme >= static_cast<int>(ps.catalog->themes.size()) || phase < 0 ||
      phase >= kPhaseCount)
    return {};
  const kovra::Theme& t = ps.catalog->themes[static_cast<size_t>(theme)];
  const std::string path = themePicturePath(t, kPhaseNames[phase]);
  if (path.empty()) {
    const std::string name = t.id + "-" + kPhaseNames[phase] + ".jpg";
    if (ps.missingLogged.insert(name).second)
      logLine("screensaver: picture %s missing", logSafe(name).c_str());
    return {};
  }
  return toWide(path);
}

void showOn(Screen& screen, PictureState& ps, const kovra::SlotKey& key, PictureCache& cache) {
  std::wstring first = picturePath(ps, key.theme, key.from);
  std::wstring second;
  if (key.blend > 0.0 && key.to != key.from) second = picturePath(ps, key.theme, key.to);
  screen.showPicture(key, first, second, cache);
}

std::string themeName(const PictureState& ps) {
  if (!ps.catalog || ps.theme < 0) return "none (no theme on disk)";
  return logSafe(ps.catalog->themes[static_cast<size_t>(ps.theme)].id);
}

// ------------------------------------------------------------------- windows

using DpiForMonitor = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

float monitorScale(HMONITOR monitor) {
  static const DpiForMonitor dpiFor = systemFunction<DpiForMonitor>(L"shcore.dll", "GetDpiForMonitor");
  UINT x = 96, y = 96;
  if (!dpiFor || FAILED(dpiFor(monitor, 0 /* effective */, &x, &y)) || x < 48) x = 96;
  return static_cast<float>(x) / 96.0f;
}

struct MonitorPlace {
  RECT rect;
  HMONITOR monitor;
  bool primary;
};

BOOL CALLBACK collectMonitor(HMONITOR m, HDC, LPRECT, LPARAM data) {
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  if (GetMonitorInfoW(m, &mi))
    reinterpret_cast<std::vector<MonitorPlace>*>(data)->push_back(
        {mi.rcMonitor, m, (mi.dwFlags & MONITORINFOF_PRIMARY) != 0});
  return TRUE;
}

uint64_t seedFor(HWND h) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(h)) ^ GetTickCount64(); }

std::vector<std::unique_ptr<Screen>> makeScreens(HINSTANCE instance) {
  std::vector<std::unique_ptr<Screen>> screens;
  if (gSaver.mode == kovra::SaverMode::Preview) {
    RECT rc{};
    GetClientRect(gSaver.parent, &rc);
    const int w = std::max(1L, rc.right - rc.left), h = std::max(1L, rc.bottom - rc.top);
    HWND win = CreateWindowExW(0, kSaverClass, L"Quillar", WS_CHILD | WS_VISIBLE, 0, 0, w, h, gSaver.parent, nullptr,
                               instance, nullptr);
    if (!win) {
      logLine("screensaver: preview window failed (%lu)", GetLastError());
      return screens;
    }
    screens.push_back(std::make_unique<Screen>(win, w, h, kovra::previewScale(w), true, seedFor(win)));
    return screens;
  }
  std::vector<MonitorPlace> monitors;
  EnumDisplayMonitors(nullptr, nullptr, collectMonitor, reinterpret_cast<LPARAM>(&monitors));
  if (monitors.empty()) {
    RECT all{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    monitors.push_back({all, MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), true});
  }
  for (const MonitorPlace& m : monitors) {
    const int w = m.rect.right - m.rect.left, h = m.rect.bottom - m.rect.top;
    HWND win = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kSaverClass, L"Quillar", WS_POPUP | WS_VISIBLE,
                               m.rect.left, m.rect.top, w, h, nullptr, nullptr, instance, nullptr);
    if (!win) {
      logLine("screensaver: window for monitor %ld,%ld failed (%lu)", m.rect.left, m.rect.top, GetLastError());
      continue;
    }
    screens.push_back(std::make_unique<Screen>(win, w, h, monitorScale(m.monitor), m.primary, seedFor(win)));
  }
  if (!screens.empty()) {
    SetForegroundWindow(screens.front()->window());
    SetFocus(screens.front()->window());
  }
  return screens;
}

// ---------------------------------------------------------------- the frame

// The display's refresh period, or 0 when the compositor gives none.
double displayPeriod() {
  DWM_TIMING_INFO info{};
  info.cbSize = sizeof info;
  if (FAILED(DwmGetCompositionTimingInfo(nullptr, &info))) return 0;
  LARGE_INTEGER f{};
  QueryPerformanceFrequency(&f);
  if (f.QuadPart <= 0) return 0;
  const double period = static_cast<double>(static_cast<uint64_t>(info.qpcRefreshPeriod)) / static_cast<double>(f.QuadPart);
  return (period > 0.002 && period < 0.05) ? period : 0;
}

int run(HINSTANCE instance) {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  shellClockInit();
  logOpen(L"quillar-screensaver-log");
  // The pointer's place is taken with the start time: the grace period and
  // the distance count from the same moment.
  gSaver.start = shellClock();
  GetCursorPos(&gSaver.startCursor);
  gSaver.lastCursor = gSaver.startCursor;

  ComPtr<ID2D1Factory> d2d;
  ComPtr<IWICImagingFactory> wic;
  HRESULT hr = D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory), nullptr, d2d.putVoid());
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(wic.put()));
  if (FAILED(hr) || !d2d || !wic) {
    logLine("screensaver: Direct2D / WIC unavailable");
    if (SUCCEEDED(com)) CoUninitialize();
    return 1;
  }

  PictureState ps;
  ps.catalog = currentCatalog();
  const std::vector<bool> onDisk = ps.catalog ? themesOnDisk(*ps.catalog) : std::vector<bool>{};
  const double pick = static_cast<double>((GetTickCount64() ^ (GetCurrentProcessId() * 2654435761ull)) % 10007) / 10007.0;
  const kovra::PictureChoice choice = kovra::choosePicture(wallpaperChoiceNow(), onDisk, pick);
  ps.theme = choice.theme;
  ps.kept = choice.kept;
  if (ps.theme < 0 && ps.catalog && !ps.catalog->themes.empty()) {
    // No theme is complete on disk: the chosen (else the first) one shows
    // what it has, and its missing pictures are named in the log.
    const int app = wallpaperChoiceNow();
    ps.theme = (app >= 0 && app < static_cast<int>(ps.catalog->themes.size())) ? app : 0;
  }
  const bool full = gSaver.mode == kovra::SaverMode::FullScreen;
  logLine("screensaver: %s, picture %s", full ? "full screen" : "preview", themeName(ps).c_str());

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = saverProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  wc.lpszClassName = kSaverClass;
  RegisterClassExW(&wc);

  std::vector<std::unique_ptr<Screen>> screens = makeScreens(instance);
  PictureCache cache(wic.get());
  {
    const kovra::SlotKey key = phaseNow(ps.theme);
    for (auto& s : screens) showOn(*s, ps, key, cache);
  }
  logLine("screensaver: snow always on (the app's pause / snowfall / weather do not apply here), picture %s",
          ps.kept ? "chosen in the app — kept" : "changes every 10 min");
  const double period = displayPeriod();
  if (period > 0) logLine("screensaver: in step with the display, %.2f Hz", 1.0 / period);
  else logLine("screensaver: no display clock — clock timing");

  kovra::PictureSchedule schedule = kovra::pictureScheduleFrom(gSaver.start);
  kovra::FlushWatch flushWatch;
  bool clockTiming = period <= 0;
  double previous = shellClock(), lastFrameEnd = previous;
  int frames = 0;
  kovra::WorldInput input;
  input.snowfall = true;
  input.level = 1;
  input.wind = 0.14f;
  input.onWindows = false;
  input.sweep = false;
  input.birds = false;
  input.garland = false;

  while (!gSaver.quit && !screens.empty()) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) gSaver.quit = true;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (gSaver.quit) break;
    if (gSaver.mode == kovra::SaverMode::Preview && !IsWindow(gSaver.parent)) break;
    if (full) checkCursor();
    if (gSaver.quit) break;

    const double now = shellClock();
    const float step = static_cast<float>(std::min(kovra::kMaxFrameStep, std::max(0.0, now - previous)));
    previous = now;
    input.density = kovra::saverSnowAmount(now - gSaver.start);

    switch (kovra::pictureStep(schedule, ps.kept, now)) {
      case kovra::PictureStep::NextTheme: {
        const int next = ps.catalog ? kovra::nextPictureTheme(themesOnDisk(*ps.catalog), ps.theme) : -1;
        if (next >= 0 && next != ps.theme) {
          ps.theme = next;
          logLine("screensaver: next picture %s", themeName(ps).c_str());
          const kovra::SlotKey key = phaseNow(ps.theme);
          for (auto& s : screens) showOn(*s, ps, key, cache);
        }
        break;
      }
      case kovra::PictureStep::PhaseCheck: {
        const kovra::SlotKey key = phaseNow(ps.theme);
        for (auto& s : screens)
          if (kovra::slotDiffers(s->shownKey(), key)) showOn(*s, ps, key, cache);
        break;
      }
      case kovra::PictureStep::None:
        break;
    }

    for (auto& s : screens) s->frame(d2d.get(), step, input, now);
    if (++frames == 1)
      logLine("screensaver: first frame drawn after %.0f ms (%s)", (shellClock() - gSaver.start) * 1000.0,
              screens.front()->onCpu() ? "CPU" : "Direct2D");

    if (!clockTiming) {
      const int n = kovra::flushesPerFrame(period);
      HRESULT flush = S_OK;
      const double before = shellClock();
      for (int i = 0; i < n && SUCCEEDED(flush); ++i) flush = DwmFlush();
      const double end = shellClock();
      // Wine's DwmFlush succeeds and returns at once.
      if (flushWatch.frame(SUCCEEDED(flush), end - lastFrameEnd, end - before)) {
        logLine("screensaver: DwmFlush does not wait (0x%08lx) — clock timing", static_cast<unsigned long>(flush));
        clockTiming = true;
      }
      lastFrameEnd = end;
    }
    if (clockTiming) {
      MsgWaitForMultipleObjectsEx(0, nullptr, 15, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
      lastFrameEnd = shellClock();
    }
  }

  logLine("screensaver: %d frames in %.1f s", frames, shellClock() - gSaver.start);
  logLine("screensaver ended");
  std::vector<HWND> windows;
  for (auto& s : screens) windows.push_back(s->window());
  screens.clear();  // the render targets go before their windows
  for (HWND w : windows)
    if (IsWindow(w)) DestroyWindow(w);
  cache = PictureCache(nullptr);
  wic.reset();
  d2d.reset();
  if (SUCCEEDED(com)) CoUninitialize();
  return 0;
}

}  // namespace

bool screensaverOffer(const wchar_t* commandLine, const char* (*translate)(const char*), int& exitCode) {
  const kovra::SaverCommand cmd = readCommandLine(commandLine ? commandLine : L"");
  switch (cmd.mode) {
    case kovra::SaverMode::None:
      return false;
    case kovra::SaverMode::Configure:
      exitCode = configure(translate);
      return true;
    case kovra::SaverMode::Preview: {
      HWND parent = reinterpret_cast<HWND>(static_cast<uintptr_t>(cmd.parent));
      // Anything but a window is left to the rest of the start-up.
      if (!IsWindow(parent)) return false;
      gSaver.parent = parent;
      break;
    }
    case kovra::SaverMode::FullScreen:
      break;
  }
  gSaver.mode = cmd.mode;
  exitCode = run(GetModuleHandleW(nullptr));
  return true;
}
