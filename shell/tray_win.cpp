// The tray icon: drawn snowflake icons, the tooltip that tells whether it
// snows, balloon notices, and the classic popup menu built from the same
// items as the drawn menu.
#include "shell/tray_win.h"

#include <windows.h>

#include <shellapi.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/log.h"
#include "base/settings.h"
#include "setup/update.h"
#include "setup/update_win.h"
#include "shell/shell_win.h"
#include "base/win_util_win.h"
#include "ui/menu_model.h"
#include "ui/text.h"
#include "ui/tray_icon_art.h"
#include "ui/tray_menu_win.h"

namespace {

constexpr UINT kIconId = 1;
constexpr DWORD kReopenGuardMs = 300;

struct TrayState {
  bool added = false;
  std::wstring tooltip;  // the last text set successfully
  HICON normal = nullptr;
  HICON paused = nullptr;
  bool normalOwned = false;  // false: loaded from the resources, not ours to destroy
  bool pausedIsNormal = false;
  DWORD menuClosedTick = 0;
  bool menuClosedKnown = false;
  bool classicOpen = false;
} gTray;

int smallIconSize() {
  using MetricsForDpi = int(WINAPI*)(int, UINT);
  using DpiForSystem = UINT(WINAPI*)();
  static auto metrics = systemFunction<MetricsForDpi>(L"user32.dll", "GetSystemMetricsForDpi");
  static auto dpi = systemFunction<DpiForSystem>(L"user32.dll", "GetDpiForSystem");
  int size = (metrics && dpi) ? metrics(SM_CXSMICON, dpi()) : GetSystemMetrics(SM_CXSMICON);
  return size < 16 ? 16 : size;
}

// A 32-bit icon with an alpha channel from straight-alpha BGRA pixels.
HICON iconFromPixels(const std::vector<uint32_t>& px, int n) {
  if (px.size() != static_cast<size_t>(n) * n) return nullptr;
  BITMAPV5HEADER h{};
  h.bV5Size = sizeof h;
  h.bV5Width = n;
  h.bV5Height = -n;  // top-down
  h.bV5Planes = 1;
  h.bV5BitCount = 32;
  h.bV5Compression = BI_BITFIELDS;
  h.bV5RedMask = 0x00FF0000;
  h.bV5GreenMask = 0x0000FF00;
  h.bV5BlueMask = 0x000000FF;
  h.bV5AlphaMask = 0xFF000000;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP colour =
      CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&h), DIB_RGB_COLORS, &bits, nullptr, 0);
  if (screen) ReleaseDC(nullptr, screen);
  if (!colour || !bits) {
    if (colour) DeleteObject(colour);
    return nullptr;
  }
  std::memcpy(bits, px.data(), px.size() * sizeof(uint32_t));
  std::vector<uint8_t> zeros(static_cast<size_t>((n + 15) / 16 * 2) * n, 0);
  HBITMAP mask = CreateBitmap(n, n, 1, 1, zeros.data());
  HICON icon = nullptr;
  if (mask) {
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmMask = mask;
    info.hbmColor = colour;
    icon = CreateIconIndirect(&info);
    DeleteObject(mask);
  }
  DeleteObject(colour);
  return icon;
}

// True when something hides the snow for a full-screen program.
bool fullScreenHides() {
  const AppState& a = app();
  if (a.exclusiveFullScreen) return true;
  for (const MonitorState& m : a.monitors)
    if (m.fullScreenApp) return true;
  return false;
}

std::wstring tooltipText() {
  const char* key = app().settings.paused ? "Quillar — пауза"
                    : fullScreenHides() ? "Quillar — сніг сховано: повноекранна програма"
                                        : "Quillar — йде сніг";
  return toWide(tr(key));
}

// Copies at most `max` UTF-16 units, never half a surrogate pair.
void copyCut(wchar_t* dst, size_t max, const std::wstring& src) {
  size_t n = src.size() < max ? src.size() : max;
  if (n > 0 && n < src.size() && src[n - 1] >= 0xD800 && src[n - 1] <= 0xDBFF) --n;
  std::memcpy(dst, src.data(), n * sizeof(wchar_t));
  dst[n] = L'\0';
}

HWND drawnMenuWindow() {
  HWND w = FindWindowW(L"QuillarMenu", nullptr);
  if (!w) return nullptr;
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  return pid == GetCurrentProcessId() ? w : nullptr;
}

void showClassicMenu(const std::vector<ClassicEntry>& entries) {
  HWND main = shellState().mainWindow;
  HMENU menu = CreatePopupMenu();
  if (!menu) return;
  for (const ClassicEntry& e : entries) {
    if (e.separator) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    std::wstring text = toWide(e.text);
    MENUITEMINFOW mi{};
    mi.cbSize = sizeof mi;
    mi.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
    mi.fType = MFT_STRING | (e.radioChecked ? MFT_RADIOCHECK : 0);
    mi.fState = (e.grayed ? MFS_GRAYED : MFS_ENABLED) | (e.radioChecked ? MFS_CHECKED : 0);
    mi.wID = static_cast<UINT>(e.command);  // the menu ids are the command numbers
    mi.dwTypeData = text.data();
    InsertMenuItemW(menu, GetMenuItemCount(menu), TRUE, &mi);
  }
  POINT pt{};
  GetCursorPos(&pt);
  // Without the foreground the menu would not close when the user clicks elsewhere.
  SetForegroundWindow(main);
  gTray.classicOpen = true;
  startTimer(ShellTimer::ClassicMenuFrames, 30);
  int chosen = static_cast<int>(
      TrackPopupMenu(menu, TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, pt.x, pt.y, 0, main, nullptr));
  stopTimer(ShellTimer::ClassicMenuFrames);
  gTray.classicOpen = false;
  PostMessageW(main, WM_NULL, 0, 0);
  DestroyMenu(menu);
  if (chosen == 0) return;
  if (std::optional<Command> c = menuCommandFrom(chosen)) runCommand(*c);
}

}  // namespace

void trayIconsMake() {
  trayIconsDestroy();
  const int n = smallIconSize();
  gTray.normal = iconFromPixels(traySnowflakePixels(n, false), n);
  gTray.normalOwned = gTray.normal != nullptr;
  if (!gTray.normal) gTray.normal = LoadIconW(shellState().instance, MAKEINTRESOURCEW(1));
  gTray.paused = iconFromPixels(traySnowflakePixels(n, true), n);
  gTray.pausedIsNormal = gTray.paused == nullptr;
  if (!gTray.paused) gTray.paused = gTray.normal;
}

void trayIconsDestroy() {
  if (gTray.paused && !gTray.pausedIsNormal) DestroyIcon(gTray.paused);
  if (gTray.normal && gTray.normalOwned) DestroyIcon(gTray.normal);
  gTray.paused = gTray.normal = nullptr;
  gTray.normalOwned = gTray.pausedIsNormal = false;
}

void trayUpdate() {
  HWND main = shellState().mainWindow;
  if (!main) return;
  std::wstring tip = tooltipText();
  if (gTray.added && tip == gTray.tooltip) return;

  NOTIFYICONDATAW nid{};
  nid.cbSize = sizeof nid;
  nid.hWnd = main;
  nid.uID = kIconId;
  nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  nid.uCallbackMessage = kMsgTray;
  nid.hIcon = app().settings.paused ? gTray.paused : gTray.normal;
  copyCut(nid.szTip, 127, tip);

  BOOL ok = Shell_NotifyIconW(gTray.added ? NIM_MODIFY : NIM_ADD, &nid);
  // An icon that survived a spurious "TaskbarCreated" refuses a second add.
  if (!ok && !gTray.added) ok = Shell_NotifyIconW(NIM_MODIFY, &nid);
  gTray.added = ok != FALSE;
  if (ok) gTray.tooltip = tip;
}

bool trayBalloon(const char* title, const char* text) {
  HWND main = shellState().mainWindow;
  if (!gTray.added || !main) return false;
  NOTIFYICONDATAW nid{};
  nid.cbSize = sizeof nid;
  nid.hWnd = main;
  nid.uID = kIconId;
  nid.uFlags = NIF_INFO;
  nid.dwInfoFlags = NIIF_INFO;
  copyCut(nid.szInfoTitle, 63, toWide(title ? title : ""));
  copyCut(nid.szInfo, 255, toWide(text ? text : ""));
  return Shell_NotifyIconW(NIM_MODIFY, &nid) != FALSE;
}

void trayRemove() {
  if (!gTray.added) return;
  NOTIFYICONDATAW nid{};
  nid.cbSize = sizeof nid;
  nid.hWnd = shellState().mainWindow;
  nid.uID = kIconId;
  Shell_NotifyIconW(NIM_DELETE, &nid);
  gTray.added = false;
}

bool trayIconAdded() { return gTray.added; }

void trayForgetTooltip() { gTray.tooltip.clear(); }

void trayTaskbarCreated() {
  logLine("taskbar re-created (Explorer restarted)");
  gTray.added = false;
  gTray.tooltip.clear();
  trayIconsMake();
  trayUpdate();
}

void trayEvent(UINT event) {
  switch (event) {
    case WM_LBUTTONUP:
      runCommand(Command::OpenSettings);
      break;
    case WM_RBUTTONUP:
    case WM_CONTEXTMENU: {
      if (gTray.classicOpen) break;
      HWND drawn = drawnMenuWindow();
      if (drawn && IsWindowVisible(drawn)) break;
      if (gTray.menuClosedKnown && GetTickCount() - gTray.menuClosedTick <= kReopenGuardMs) break;
      showTrayMenu();
      break;
    }
    default:
      break;
  }
}

void showTrayMenu() {
  MenuState s;
  const AppState& a = app();
  s.paused = a.settings.paused;
  s.weather = a.settings.weather;
  s.smartPauseHides = a.pause.current != nullptr;
  // An offered update joins the menu.
  if (updateStateNow() == UpdateAvailable) s.updateVersion = updateNewestVersion();
  std::vector<MenuItem> items = trayMenuItems(s);
  if (kui::trayMenuShow(items, [](Command c) { runCommand(c); }, trayMenuClosed)) return;
  logLine("tray menu: drawing failed, the Windows menu instead");
  showClassicMenu(classicMenuEntries(items));
}

bool trayClassicMenuOpen() { return gTray.classicOpen; }

void trayMenuClosed() {
  gTray.menuClosedTick = GetTickCount();
  gTray.menuClosedKnown = true;
}
