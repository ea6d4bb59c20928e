#pragma once
// Small Win32 helpers shared by the shell: text conversion and RAII owners.
#include <windows.h>

#include <string>
#include <utility>

std::wstring toWide(const std::string& utf8);
std::string toUtf8(const std::wstring& wide);
std::string toUtf8(const wchar_t* wide);

// Owns a kernel handle (CloseHandle); copying is deleted.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : h_(h) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) { reset(); h_ = std::exchange(o.h_, nullptr); }
    return *this;
  }
  void reset(HANDLE h = nullptr) {
    if (h_ && h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    h_ = h;
  }
  HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ && h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_ = nullptr;
};

// Owns an open registry key; copying is deleted.
class UniqueHkey {
 public:
  UniqueHkey() = default;
  ~UniqueHkey() { reset(); }
  UniqueHkey(const UniqueHkey&) = delete;
  UniqueHkey& operator=(const UniqueHkey&) = delete;
  void reset() {
    if (k_) RegCloseKey(k_);
    k_ = nullptr;
  }
  HKEY get() const { return k_; }
  HKEY* put() { reset(); return &k_; }
  explicit operator bool() const { return k_ != nullptr; }

 private:
  HKEY k_ = nullptr;
};

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
