#include "base/win_util_win.h"

#include "base/grow_read.h"

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

std::wstring toWide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string toUtf8(const wchar_t* wide) { return wide ? toUtf8(std::wstring(wide)) : std::string(); }

std::string toUtf8(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
  return out;
}

HMODULE systemModule(const wchar_t* dll) {
  HMODULE m = GetModuleHandleW(dll);
  if (!m) m = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  return m;
}

std::wstring moduleFileName(HMODULE module) {
  // 32768 characters hold the longest path the system has.
  return readGrowing<wchar_t>([module](wchar_t* buf, size_t capacity) {
    return static_cast<size_t>(GetModuleFileNameW(module, buf, static_cast<DWORD>(capacity)));
  }, MAX_PATH, 32768);
}
