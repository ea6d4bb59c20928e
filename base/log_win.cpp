#include <shlobj.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "base/log.h"
#include "base/log_win.h"
#include "base/win_util_win.h"

namespace {
std::wstring gLogPath;
}

const std::wstring& logPath() { return gLogPath; }

void logOpen(const wchar_t* baseName) {
  LARGE_INTEGER freq{}, start{};
  QueryPerformanceFrequency(&freq);
  QueryPerformanceCounter(&start);

  PWSTR local = nullptr;
  if (FAILED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local)) || !local) {
    if (local) CoTaskMemFree(local);
    return;
  }
  std::wstring folder = std::wstring(local) + L"\\Kovra";
  CoTaskMemFree(local);
  CreateDirectoryW(folder.c_str(), nullptr);

  std::wstring path = folder + L"\\" + baseName + L".txt";
  std::wstring previous = folder + L"\\" + baseName + L"-previous.txt";
  MoveFileExW(path.c_str(), previous.c_str(), MOVEFILE_REPLACE_EXISTING);

  FILE* f = _wfopen(path.c_str(), L"wb");
  if (!f) return;
  gLogPath = path;

  double frequency = static_cast<double>(freq.QuadPart);
  LONGLONG origin = start.QuadPart;
  LogClock clock;
  clock.elapsed = [frequency, origin]() {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return frequency > 0 ? static_cast<double>(now.QuadPart - origin) / frequency : 0.0;
  };
  clock.localTime = [](int& h, int& m, int& s) {
    SYSTEMTIME st{};
    GetLocalTime(&st);
    h = st.wHour;
    m = st.wMinute;
    s = st.wSecond;
  };
  logAttach(f, std::move(clock));
}
