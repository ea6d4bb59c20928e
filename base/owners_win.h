#pragma once
// RAII owners, one per kind of system handle the program keeps: each frees
// its handle the way that kind needs, and copying is deleted.
#include <windows.h>
#include <unknwn.h>

#include <utility>

// The shape every owner shares; Traits say what "none" is and how to free.
template <typename Traits>
class UniqueOwner {
 public:
  using Handle = typename Traits::Handle;
  UniqueOwner() = default;
  explicit UniqueOwner(Handle h) : h_(h) {}
  ~UniqueOwner() { reset(); }
  UniqueOwner(const UniqueOwner&) = delete;
  UniqueOwner& operator=(const UniqueOwner&) = delete;
  UniqueOwner(UniqueOwner&& o) noexcept : h_(std::exchange(o.h_, Traits::none())) {}
  UniqueOwner& operator=(UniqueOwner&& o) noexcept {
    if (this != &o) {
      reset();
      h_ = std::exchange(o.h_, Traits::none());
    }
    return *this;
  }
  void reset(Handle h = Traits::none()) {
    if (Traits::valid(h_)) Traits::free(h_);
    h_ = h;
  }
  Handle release() { return std::exchange(h_, Traits::none()); }
  Handle get() const { return h_; }
  Handle* put() {
    reset();
    return &h_;
  }
  explicit operator bool() const { return Traits::valid(h_); }

 private:
  Handle h_ = Traits::none();
};

struct KernelTraits {
  using Handle = HANDLE;
  static Handle none() { return nullptr; }
  static bool valid(Handle h) { return h && h != INVALID_HANDLE_VALUE; }
  static void free(Handle h) { CloseHandle(h); }
};
struct HkeyTraits {
  using Handle = HKEY;
  static Handle none() { return nullptr; }
  static bool valid(Handle h) { return h != nullptr; }
  static void free(Handle h) { RegCloseKey(h); }
};
struct DcTraits {
  using Handle = HDC;
  static Handle none() { return nullptr; }
  static bool valid(Handle h) { return h != nullptr; }
  static void free(Handle h) { DeleteDC(h); }
};
struct GdiObjectTraits {
  using Handle = HGDIOBJ;
  static Handle none() { return nullptr; }
  static bool valid(Handle h) { return h != nullptr; }
  static void free(Handle h) { DeleteObject(h); }
};
struct WindowTraits {
  using Handle = HWND;
  static Handle none() { return nullptr; }
  static bool valid(Handle h) { return h != nullptr; }
  static void free(Handle h) { DestroyWindow(h); }
};
struct IconTraits {
  using Handle = HICON;
  static Handle none() { return nullptr; }
  static bool valid(Handle h) { return h != nullptr; }
  static void free(Handle h) { DestroyIcon(h); }
};

using UniqueHandle = UniqueOwner<KernelTraits>;  // a file, process or thread
using UniqueHkey = UniqueOwner<HkeyTraits>;     // an open registry key
using UniqueEvent = UniqueOwner<KernelTraits>;
using UniqueWaitableTimer = UniqueOwner<KernelTraits>;
using UniqueThread = UniqueOwner<KernelTraits>;
using UniqueDc = UniqueOwner<DcTraits>;          // a memory DC (CreateCompatibleDC)
using UniqueBitmap = UniqueOwner<GdiObjectTraits>;  // a bitmap or another GDI object
using UniqueWindow = UniqueOwner<WindowTraits>;
using UniqueIcon = UniqueOwner<IconTraits>;

// The named single-instance mutex: released when it was ours, then closed.
class UniqueMutex {
 public:
  UniqueMutex() = default;
  UniqueMutex(const UniqueMutex&) = delete;
  UniqueMutex& operator=(const UniqueMutex&) = delete;
  ~UniqueMutex() { reset(); }
  // Creates or opens the mutex asking for ownership; false when another process holds it.
  bool create(const wchar_t* name) {
    reset();
    h_.reset(CreateMutexW(nullptr, TRUE, name));
    existed_ = GetLastError() == ERROR_ALREADY_EXISTS;
    owned_ = h_ && !existed_;
    return owned_;
  }
  // Another process held it: waits up to `ms` for it to be released (or its
  // holder to end); true when it is owned here now.
  bool waitOwnership(DWORD ms) {
    if (!h_ || owned_) return owned_;
    DWORD r = WaitForSingleObject(h_.get(), ms);
    owned_ = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
    return owned_;
  }
  bool existed() const { return existed_; }
  bool owned() const { return owned_; }
  void reset() {
    if (owned_ && h_) ReleaseMutex(h_.get());
    owned_ = false;
    h_.reset();
  }

 private:
  UniqueOwner<KernelTraits> h_;
  bool owned_ = false;
  bool existed_ = false;
};

// A bitmap selected into a DC, put back out on release so both can be freed.
class SelectedObject {
 public:
  SelectedObject() = default;
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;
  ~SelectedObject() { reset(); }
  void select(HDC dc, HGDIOBJ object) {
    reset();
    dc_ = dc;
    previous_ = SelectObject(dc, object);
  }
  void reset() {
    if (dc_ && previous_) SelectObject(dc_, previous_);
    dc_ = nullptr;
    previous_ = nullptr;
  }

 private:
  HDC dc_ = nullptr;
  HGDIOBJ previous_ = nullptr;
};

// A COM interface pointer: Release on reset.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& o) noexcept {
    if (this != &o) {
      reset();
      p_ = std::exchange(o.p_, nullptr);
    }
    return *this;
  }
  void reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T** put() {
    reset();
    return &p_;
  }
  void** putVoid() { return reinterpret_cast<void**>(put()); }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};
