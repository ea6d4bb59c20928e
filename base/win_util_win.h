#pragma once
// Small Win32 helpers shared by every folder: text conversion, system DLLs,
// the executable's path.
#include <windows.h>

#include <string>

#include "base/owners_win.h"  // UniqueHandle, UniqueHkey and the other owners

std::wstring toWide(const std::string& utf8);
std::string toUtf8(const std::wstring& wide);
std::string toUtf8(const wchar_t* wide);

// Loads a DLL from the system folder only, never from the current or the
// program's folder, where a planted copy could stand in for it. An already
// loaded module is used as it is. Null when missing.
HMODULE systemModule(const wchar_t* dll);

// Looks a function up in a system DLL; null when the DLL or the function is
// missing.
template <typename Fn>
Fn systemFunction(const wchar_t* dll, const char* name) {
  HMODULE m = systemModule(dll);
  if (!m) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m, name)));
}

// The full path of a loaded module (null: the executable), however long;
// empty when it cannot be read.
std::wstring moduleFileName(HMODULE module = nullptr);
