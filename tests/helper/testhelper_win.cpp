// Test helper for the end-to-end tests: a console program that acts inside the
// Wine session on behalf of the Python harness. It reads one command per line
// on stdin and answers exactly one line on stdout ("ok ..." or "err ...").
//
// A reader thread owns stdin; every line is handed to the UI thread through a
// message-only window, so the UI thread keeps pumping messages for the test
// windows (other programs send them WM_GETTEXT and the like) while it waits.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr UINT kCommandMessage = WM_APP + 1;
const wchar_t kTestClass[] = L"QuillarTestWindow";
const wchar_t kControlClass[] = L"QuillarTestHelperControl";
const char kEndOfInput[] = "\x04";  // a control character that no harness sends as a command

HANDLE gStdout = INVALID_HANDLE_VALUE;
HWND gControl = nullptr;
CRITICAL_SECTION gQueueLock;
std::deque<std::string> gQueue;

std::map<long, HWND> gWindows;           // test windows by their id
std::map<std::wstring, HANDLE> gMutexes; // held named mutexes
std::map<DWORD, HANDLE> gProcesses;      // processes from "start", by pid
std::map<int, bool> gHotkeys;            // hotkey ids held by "hotkey"
std::map<long, long> gClicks;            // left-button presses received, by window id
std::map<std::pair<long, WPARAM>, long> gKeys;  // key presses received, by window id and virtual key

std::wstring widen(const std::string& s) {
  if (s.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

std::string narrow(const std::wstring& w) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

void reply(const std::string& line) {
  std::string out = line;
  // One line per answer: a stray line break would desynchronise the harness.
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  out += "\n";
  DWORD written = 0;
  WriteFile(gStdout, out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
  FlushFileBuffers(gStdout);
}

std::string format(const char* fmt, ...) {
  char buf[1024];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, args);
  va_end(args);
  return buf;
}

// Splits on blanks; the rest of the line after `keep` words stays one piece.
std::vector<std::string> split(const std::string& line, size_t keep = 0) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    if (keep && words.size() == keep) {
      words.push_back(line.substr(i));
      break;
    }
    size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t') ++j;
    words.push_back(line.substr(i, j - i));
    i = j;
  }
  return words;
}

// Decimal (optionally negative) or 0x-hex.
bool parseNumber(const std::string& s, long long& out) {
  if (s.empty()) return false;
  const char* p = s.c_str();
  bool negative = false;
  if (*p == '-') {
    negative = true;
    ++p;
  }
  int base = 10;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    base = 16;
    p += 2;
  }
  if (!*p) return false;
  char* end = nullptr;
  unsigned long long v = std::strtoull(p, &end, base);
  if (*end) return false;
  out = negative ? -static_cast<long long>(v) : static_cast<long long>(v);
  return true;
}

bool parseNumbers(const std::vector<std::string>& words, size_t from, size_t count, long long* out) {
  if (words.size() < from + count) return false;
  for (size_t i = 0; i < count; ++i)
    if (!parseNumber(words[from + i], out[i])) return false;
  return true;
}

bool hasWord(const std::vector<std::string>& words, size_t from, const char* word) {
  for (size_t i = from; i < words.size(); ++i)
    if (words[i] == word) return true;
  return false;
}

COLORREF colourFor(long id) {
  static const COLORREF colours[] = {RGB(200, 60, 60), RGB(60, 160, 60), RGB(60, 90, 200),
                                     RGB(200, 160, 40), RGB(150, 60, 170), RGB(40, 160, 170)};
  return colours[static_cast<unsigned long>(id) % (sizeof colours / sizeof colours[0])];
}

LRESULT CALLBACK testWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT rc;
      GetClientRect(hwnd, &rc);
      long id = static_cast<long>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
      HBRUSH brush = CreateSolidBrush(colourFor(id));
      FillRect(dc, &rc, brush);
      DeleteObject(brush);
      wchar_t title[64];
      GetWindowTextW(hwnd, title, 64);
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, RGB(255, 255, 255));
      DrawTextW(dc, title, -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_LBUTTONDOWN:
      gClicks[static_cast<long>(GetWindowLongPtrW(hwnd, GWLP_USERDATA))] += 1;
      return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      gKeys[{static_cast<long>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)), wp}] += 1;
      break;
    case WM_DESTROY: {
      for (auto it = gWindows.begin(); it != gWindows.end(); ++it)
        if (it->second == hwnd) {
          gWindows.erase(it);
          break;
        }
      return 0;
    }
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND windowById(const std::vector<std::string>& words, size_t at) {
  long long id;
  if (words.size() <= at || !parseNumber(words[at], id)) return nullptr;
  auto it = gWindows.find(static_cast<long>(id));
  return it == gWindows.end() ? nullptr : it->second;
}

// Waits for `handle` while still serving this thread's windows.
bool waitPumping(HANDLE handle, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    DWORD elapsed = GetTickCount() - start;
    DWORD left = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
    DWORD r = MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) return true;
    if (r != WAIT_OBJECT_0 + 1) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return false;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (GetTickCount() - start >= timeoutMs) return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
  }
}

void pumpFor(DWORD ms) {
  HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  waitPumping(never, ms);
  CloseHandle(never);
}

bool startProcess(const std::string& cmdline, PROCESS_INFORMATION& pi) {
  std::wstring cmd = widen(cmdline);
  std::vector<wchar_t> buf(cmd.begin(), cmd.end());
  buf.push_back(L'\0');
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  return CreateProcessW(nullptr, buf.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi) != 0;
}

struct FindState {
  std::wstring cls;
  std::vector<HWND> found;
};

BOOL CALLBACK collect(HWND hwnd, LPARAM lp) {
  auto* state = reinterpret_cast<FindState*>(lp);
  wchar_t cls[256];
  if (GetClassNameW(hwnd, cls, 256) && state->cls == cls) state->found.push_back(hwnd);
  return TRUE;
}

std::vector<HWND> topLevelOfClass(const std::string& cls) {
  FindState state{widen(cls), {}};
  EnumWindows(collect, reinterpret_cast<LPARAM>(&state));
  return state.found;
}

std::string describe(HWND hwnd) {
  RECT rc = {};
  GetWindowRect(hwnd, &rc);
  wchar_t title[256] = {};
  GetWindowTextW(hwnd, title, 256);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  return format("0x%llx visible %d iconic %d style 0x%08lx exstyle 0x%08lx pid %lu rect %ld %ld %ld %ld title ",
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd)), IsWindowVisible(hwnd) ? 1 : 0,
                IsIconic(hwnd) ? 1 : 0, static_cast<unsigned long>(GetWindowLongW(hwnd, GWL_STYLE)),
                static_cast<unsigned long>(GetWindowLongW(hwnd, GWL_EXSTYLE)), pid, rc.left, rc.top, rc.right,
                rc.bottom) +
         narrow(title);
}

void sendKey(WORD vk, bool down) {
  INPUT in = {};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  in.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  SendInput(1, &in, sizeof in);
}

void sendMouse(DWORD flags, LONG x, LONG y) {
  INPUT in = {};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = flags;
  in.mi.dx = x;
  in.mi.dy = y;
  SendInput(1, &in, sizeof in);
}

// Returns false when the helper should end (after "quit").
bool execute(const std::string& line, int& exitCode) {
  std::vector<std::string> w = split(line);
  if (w.empty()) {
    reply("err empty");
    return true;
  }
  const std::string& cmd = w[0];
  if (cmd == kEndOfInput) return false;
  long long n[8];

  if (cmd == "ping") {
    reply("ok pong");
  } else if (cmd == "quit") {
    long long code = 0;
    if (w.size() > 1 && !parseNumber(w[1], code)) {
      reply("err usage: quit [CODE]");
      return true;
    }
    exitCode = static_cast<int>(code);
    reply("ok");
    return false;
  } else if (cmd == "open") {
    if (!parseNumbers(w, 1, 5, n))
      return reply("err usage: open ID X Y W H [popup|caption] [topmost] [layered] [owner=ID]"), true;
    if (gWindows.count(static_cast<long>(n[0]))) return reply("err exists"), true;
    DWORD style = hasWord(w, 6, "popup") ? WS_POPUP : WS_OVERLAPPEDWINDOW;
    DWORD exStyle = (hasWord(w, 6, "topmost") ? WS_EX_TOPMOST : 0) | (hasWord(w, 6, "layered") ? WS_EX_LAYERED : 0);
    HWND owner = nullptr;
    for (size_t i = 6; i < w.size(); ++i)
      if (w[i].rfind("owner=", 0) == 0) {
        auto it = gWindows.find(std::atol(w[i].c_str() + 6));
        if (it == gWindows.end()) return reply("err no owner"), true;
        owner = it->second;
      }
    std::wstring title = L"test " + widen(w[1]);
    HWND hwnd = CreateWindowExW(exStyle, kTestClass, title.c_str(), style, static_cast<int>(n[1]),
                                static_cast<int>(n[2]), static_cast<int>(n[3]), static_cast<int>(n[4]), owner,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!hwnd) return reply(format("err create %lu", GetLastError())), true;
    if (exStyle & WS_EX_LAYERED) SetLayeredWindowAttributes(hwnd, 0, 255, LWA_ALPHA);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, static_cast<LONG_PTR>(n[0]));
    gWindows[static_cast<long>(n[0])] = hwnd;
    ShowWindow(hwnd, SW_SHOWNORMAL);
    UpdateWindow(hwnd);
    reply(format("ok 0x%llx", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd))));
  } else if (cmd == "move") {
    HWND hwnd = windowById(w, 1);
    if (!hwnd) return reply("err nowindow"), true;
    if (!parseNumbers(w, 2, 4, n)) return reply("err usage: move ID X Y W H"), true;
    if (!SetWindowPos(hwnd, nullptr, static_cast<int>(n[0]), static_cast<int>(n[1]), static_cast<int>(n[2]),
                      static_cast<int>(n[3]), SWP_NOZORDER | SWP_NOACTIVATE))
      return reply(format("err move %lu", GetLastError())), true;
    reply("ok");
  } else if (cmd == "minimize" || cmd == "restore" || cmd == "maximize" || cmd == "hide" || cmd == "show") {
    HWND hwnd = windowById(w, 1);
    if (!hwnd) return reply("err nowindow"), true;
    int how = cmd == "minimize" ? SW_MINIMIZE
              : cmd == "restore" ? SW_RESTORE
              : cmd == "maximize" ? SW_MAXIMIZE
              : cmd == "hide"     ? SW_HIDE
                                  : SW_SHOWNA;
    ShowWindow(hwnd, how);
    reply("ok");
  } else if (cmd == "close") {
    HWND hwnd = windowById(w, 1);
    if (!hwnd) return reply("err nowindow"), true;
    if (!DestroyWindow(hwnd)) return reply(format("err destroy %lu", GetLastError())), true;
    reply("ok");
  } else if (cmd == "zorder") {
    // zorder: the ids of the test windows in the system's z-order, front first.
    std::string ids;
    for (HWND h = GetTopWindow(nullptr); h; h = GetWindow(h, GW_HWNDNEXT))
      for (auto& [id, hwnd] : gWindows)
        if (hwnd == h) ids += format(" %ld", id);
    reply("ok" + ids);
  } else if (cmd == "raise") {
    // raise ID: to the top of the z-order, activated.
    HWND hwnd = windowById(w, 1);
    if (!hwnd) return reply("err nowindow"), true;
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(hwnd);
    reply("ok");
  } else if (cmd == "foreground") {
    // foreground: the id of the test window in the foreground, or 0.
    HWND fg = GetForegroundWindow();
    long id = 0;
    for (auto& [wid, hwnd] : gWindows)
      if (hwnd == fg) id = wid;
    reply(format("ok %ld", id));
  } else if (cmd == "clicks") {
    // clicks ID: left-button presses that reached the window so far.
    if (!parseNumbers(w, 1, 1, n)) return reply("err usage: clicks ID"), true;
    reply(format("ok %ld", gClicks[static_cast<long>(n[0])]));
  } else if (cmd == "keys") {
    // keys ID VK: presses of that virtual key that reached the window so far.
    if (!parseNumbers(w, 1, 2, n)) return reply("err usage: keys ID VK"), true;
    reply(format("ok %ld", gKeys[{static_cast<long>(n[0]), static_cast<WPARAM>(n[1])}]));
  } else if (cmd == "rect") {
    HWND hwnd = windowById(w, 1);
    if (!hwnd) return reply("err nowindow"), true;
    RECT rc;
    GetWindowRect(hwnd, &rc);
    reply(format("ok %ld %ld %ld %ld", rc.left, rc.top, rc.right, rc.bottom));
  } else if (cmd == "post" || cmd == "send") {
    if (w.size() < 5 || !parseNumbers(w, 2, 3, n))
      return reply("err usage: " + cmd + " CLASS MSG WPARAM LPARAM"), true;
    HWND target = FindWindowW(widen(w[1]).c_str(), nullptr);
    if (!target) return reply("err notfound"), true;
    if (cmd == "post") {
      if (!PostMessageW(target, static_cast<UINT>(n[0]), static_cast<WPARAM>(n[1]), static_cast<LPARAM>(n[2])))
        return reply(format("err post %lu", GetLastError())), true;
      reply("ok");
    } else {
      DWORD_PTR result = 0;
      if (!SendMessageTimeoutW(target, static_cast<UINT>(n[0]), static_cast<WPARAM>(n[1]),
                               static_cast<LPARAM>(n[2]), SMTO_NORMAL, 5000, &result))
        return reply(GetLastError() == ERROR_TIMEOUT ? "err timeout" : format("err send %lu", GetLastError())),
               true;
      reply(format("ok %lld", static_cast<long long>(result)));
    }
  } else if (cmd == "clipboard") {
    // clipboard HEX: UTF-8 text, hex-encoded (spaces and tabs survive the line)
    if (w.size() != 2 || w[1].size() % 2) return reply("err usage: clipboard HEX"), true;
    std::string text;
    for (size_t i = 0; i < w[1].size(); i += 2) text.push_back(static_cast<char>(std::stoi(w[1].substr(i, 2), nullptr, 16)));
    const std::wstring wide = widen(text);
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (wide.size() + 1) * sizeof(wchar_t));
    if (!mem) return reply("err alloc"), true;
    memcpy(GlobalLock(mem), wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(mem);
    if (!OpenClipboard(nullptr)) return GlobalFree(mem), reply("err open"), true;
    EmptyClipboard();
    const bool ok = SetClipboardData(CF_UNICODETEXT, mem) != nullptr;
    CloseClipboard();
    if (!ok) return GlobalFree(mem), reply("err set"), true;
    reply("ok");
  } else if (cmd == "find") {
    if (w.size() < 2) return reply("err usage: find CLASS"), true;
    HWND hwnd = FindWindowW(widen(w[1]).c_str(), nullptr);
    if (!hwnd) return reply("err notfound"), true;
    reply(format("ok 0x%llx", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd))));
  } else if (cmd == "count") {
    if (w.size() < 2) return reply("err usage: count CLASS"), true;
    reply(format("ok %zu", topLevelOfClass(w[1]).size()));
  } else if (cmd == "child") {
    // child ID CLASS: the first child window of that class inside test window ID.
    HWND hwnd = windowById(w, 1);
    if (!hwnd) return reply("err nowindow"), true;
    if (w.size() < 3) return reply("err usage: child ID CLASS"), true;
    HWND found = FindWindowExW(hwnd, nullptr, widen(w[2]).c_str(), nullptr);
    if (!found) return reply("err notfound"), true;
    reply("ok " + describe(found));
  } else if (cmd == "info") {
    // info CLASS [INDEX]: the INDEXth top-level window of that class, in z order.
    if (w.size() < 2) return reply("err usage: info CLASS [INDEX]"), true;
    long long index = 0;
    if (w.size() > 2 && !parseNumber(w[2], index)) return reply("err usage: info CLASS [INDEX]"), true;
    std::vector<HWND> found = topLevelOfClass(w[1]);
    if (index < 0 || static_cast<size_t>(index) >= found.size()) return reply("err notfound"), true;
    reply("ok " + describe(found[static_cast<size_t>(index)]));
  } else if (cmd == "run" || cmd == "start") {
    std::vector<std::string> parts = split(line, 2);
    long long waitMs = 0;
    if (cmd == "run" && (parts.size() < 3 || !parseNumber(parts[1], waitMs)))
      return reply("err usage: run EXITWAIT_MS CMDLINE"), true;
    if (cmd == "start") {
      parts = split(line, 1);
      if (parts.size() < 2) return reply("err usage: start CMDLINE"), true;
    }
    PROCESS_INFORMATION pi = {};
    if (!startProcess(parts.back(), pi)) return reply(format("err create %lu", GetLastError())), true;
    CloseHandle(pi.hThread);
    if (cmd == "start") {
      gProcesses[pi.dwProcessId] = pi.hProcess;
      return reply(format("ok %lu", pi.dwProcessId)), true;
    }
    if (!waitPumping(pi.hProcess, static_cast<DWORD>(waitMs))) {
      // Kept so that a later "wait PID MS" can still collect the exit code.
      gProcesses[pi.dwProcessId] = pi.hProcess;
      return reply(format("err timeout %lu", pi.dwProcessId)), true;
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    reply(format("ok %lu", code));
  } else if (cmd == "wait") {
    if (!parseNumbers(w, 1, 2, n)) return reply("err usage: wait PID MS"), true;
    auto it = gProcesses.find(static_cast<DWORD>(n[0]));
    if (it == gProcesses.end()) return reply("err unknown"), true;
    if (!waitPumping(it->second, static_cast<DWORD>(n[1]))) return reply("err timeout"), true;
    DWORD code = 0;
    GetExitCodeProcess(it->second, &code);
    CloseHandle(it->second);
    gProcesses.erase(it);
    reply(format("ok %lu", code));
  } else if (cmd == "mutex") {
    if (w.size() < 2) return reply("err usage: mutex NAME"), true;
    std::wstring name = widen(w[1]);
    if (gMutexes.count(name)) return reply("err held"), true;
    HANDLE m = CreateMutexW(nullptr, TRUE, name.c_str());
    DWORD err = GetLastError();
    if (!m) return reply(format("err create %lu", err)), true;
    gMutexes[name] = m;
    reply(err == ERROR_ALREADY_EXISTS ? "ok existed" : "ok created");
  } else if (cmd == "release") {
    if (w.size() < 2) return reply("err usage: release NAME"), true;
    auto it = gMutexes.find(widen(w[1]));
    if (it == gMutexes.end()) return reply("err unknown"), true;
    ReleaseMutex(it->second);
    CloseHandle(it->second);
    gMutexes.erase(it);
    reply("ok");
  } else if (cmd == "hotkey" || cmd == "unhotkey") {
    // hotkey ID MODIFIERS VK: holds a global hotkey, as another program would.
    if (cmd == "hotkey") {
      if (!parseNumbers(w, 1, 3, n)) return reply("err usage: hotkey ID MODIFIERS VK"), true;
      if (!RegisterHotKey(gControl, static_cast<int>(n[0]), static_cast<UINT>(n[1]), static_cast<UINT>(n[2])))
        return reply(format("err register %lu", GetLastError())), true;
      gHotkeys[static_cast<int>(n[0])] = true;
    } else {
      if (!parseNumbers(w, 1, 1, n)) return reply("err usage: unhotkey ID"), true;
      if (!UnregisterHotKey(gControl, static_cast<int>(n[0])))
        return reply(format("err unregister %lu", GetLastError())), true;
      gHotkeys.erase(static_cast<int>(n[0]));
    }
    reply("ok");
  } else if (cmd == "key") {
    if (!parseNumbers(w, 1, 1, n)) return reply("err usage: key VK [down|up]"), true;
    WORD vk = static_cast<WORD>(n[0]);
    bool down = w.size() < 3 || w[2] == "down";
    bool up = w.size() < 3 || w[2] == "up";
    if (!down && !up) return reply("err usage: key VK [down|up]"), true;
    if (down) sendKey(vk, true);
    if (up) sendKey(vk, false);
    reply("ok");
  } else if (cmd == "mouse") {
    // mouse X Y [down|up|click|rdown|rup|rclick]: absolute screen pixels.
    if (!parseNumbers(w, 1, 2, n)) return reply("err usage: mouse X Y [down|up|click|rdown|rup|rclick]"), true;
    if (!SetCursorPos(static_cast<int>(n[0]), static_cast<int>(n[1])))
      return reply(format("err cursor %lu", GetLastError())), true;
    std::string action = w.size() > 3 ? w[3] : "";
    if (action == "down" || action == "click") sendMouse(MOUSEEVENTF_LEFTDOWN, 0, 0);
    if (action == "up" || action == "click") sendMouse(MOUSEEVENTF_LEFTUP, 0, 0);
    if (action == "rdown" || action == "rclick") sendMouse(MOUSEEVENTF_RIGHTDOWN, 0, 0);
    if (action == "rup" || action == "rclick") sendMouse(MOUSEEVENTF_RIGHTUP, 0, 0);
    reply("ok");
  } else if (cmd == "sleep") {
    if (!parseNumbers(w, 1, 1, n)) return reply("err usage: sleep MS"), true;
    pumpFor(static_cast<DWORD>(n[0]));
    reply("ok");
  } else if (cmd == "texts") {
    // texts CLASS: the texts of the child windows of that top-level window, joined by " | ".
    if (w.size() < 2) return reply("err usage: texts CLASS"), true;
    HWND hwnd = FindWindowW(widen(w[1]).c_str(), nullptr);
    if (!hwnd) return reply("err notfound"), true;
    std::string all;
    for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      wchar_t text[1024] = {};
      // Asked of the control itself: across processes GetWindowText gives an
      // edit control's caption, not what it holds.
      DWORD_PTR copied = 0;
      SendMessageTimeoutW(child, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &copied);
      if (!text[0]) continue;
      if (!all.empty()) all += " | ";
      all += narrow(text);
    }
    reply("ok " + all);
  } else if (cmd == "map") {
    // map PATH: keeps the executable mapped as an image, as a running copy has it.
    std::vector<std::string> parts = split(line, 1);
    if (parts.size() < 2) return reply("err usage: map PATH"), true;
    if (!LoadLibraryExW(widen(parts[1]).c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES))
      return reply(format("err load %lu", GetLastError())), true;
    reply("ok");
  } else if (cmd == "screen") {
    reply(format("ok %d %d %d %d", GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                 GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)));
  } else {
    reply("err unknown command " + cmd);
  }
  return true;
}

LRESULT CALLBACK controlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kCommandMessage) {
    // A command that waits pumps messages, so this can be re-entered; the
    // outermost call drains the queue, which keeps the answers in order.
    static bool busy = false;
    if (busy) return 0;
    busy = true;
    for (;;) {
      std::string line;
      EnterCriticalSection(&gQueueLock);
      bool have = !gQueue.empty();
      if (have) {
        line = gQueue.front();
        gQueue.pop_front();
      }
      LeaveCriticalSection(&gQueueLock);
      if (!have) break;
      int code = 0;
      if (!execute(line, code)) {
        // At once: a later end of input must not overwrite the exit code.
        for (auto& held : gMutexes) ReleaseMutex(held.second);
        ExitProcess(static_cast<UINT>(code));
      }
    }
    busy = false;
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

DWORD WINAPI readStdin(void*) {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  std::string pending;
  char buf[4096];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(in, buf, sizeof buf, &got, nullptr) || got == 0) break;
    pending.append(buf, got);
    size_t eol;
    while ((eol = pending.find('\n')) != std::string::npos) {
      std::string line = pending.substr(0, eol);
      pending.erase(0, eol + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      EnterCriticalSection(&gQueueLock);
      gQueue.push_back(line);
      LeaveCriticalSection(&gQueueLock);
      PostMessageW(gControl, kCommandMessage, 0, 0);
    }
  }
  // End of input ends the helper, but only after the commands before it ran.
  EnterCriticalSection(&gQueueLock);
  gQueue.push_back(kEndOfInput);
  LeaveCriticalSection(&gQueueLock);
  PostMessageW(gControl, kCommandMessage, 0, 0);
  return 0;
}

}  // namespace

int wmain() {
  gStdout = GetStdHandle(STD_OUTPUT_HANDLE);
  InitializeCriticalSection(&gQueueLock);
  HINSTANCE instance = GetModuleHandleW(nullptr);

  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = testWindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kTestClass;
  RegisterClassExW(&wc);

  WNDCLASSEXW cc = {};
  cc.cbSize = sizeof cc;
  cc.lpfnWndProc = controlProc;
  cc.hInstance = instance;
  cc.lpszClassName = kControlClass;
  RegisterClassExW(&cc);
  // Message-only: it never shows up among the desktop's top-level windows.
  gControl = CreateWindowExW(0, kControlClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
  if (!gControl) {
    reply("err control window");
    return 1;
  }

  HANDLE reader = CreateThread(nullptr, 0, readStdin, nullptr, 0, nullptr);
  if (!reader) {
    reply("err reader thread");
    return 1;
  }
  reply("ok ready");

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  // ExitProcess rather than return: the reader thread may still sit in ReadFile.
  ExitProcess(static_cast<UINT>(msg.wParam));
}
