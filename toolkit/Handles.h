// Move-only owners for Win32 handles: each closes its handle exactly once. Beside them the
// guards that put something back at scope end: the selected GDI object, a variable's value.
#pragma once

#include <windows.h>

#include <utility>

namespace toolkit {

// Owner of one handle of the kind described by Traits (invalid value and release function).
template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;
  UniqueHandle() = default;
  explicit UniqueHandle(Handle h) : h_(h) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  ~UniqueHandle() { reset(); }

  Handle get() const { return h_; }
  explicit operator bool() const { return h_ != Traits::Invalid(); }
  Handle release() { return std::exchange(h_, Traits::Invalid()); }
  void reset(Handle h = Traits::Invalid()) {
    if (h_ != Traits::Invalid()) Traits::Close(h_);
    h_ = h;
  }

 private:
  Handle h_ = Traits::Invalid();
};

struct KeyTraits {
  using Handle = HKEY;
  static HKEY Invalid() { return nullptr; }
  static void Close(HKEY h) { RegCloseKey(h); }
};
struct KernelTraits {  // handles closed with CloseHandle whose invalid value is null
  using Handle = HANDLE;
  static HANDLE Invalid() { return nullptr; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct FileTraits {  // file handles, invalid value INVALID_HANDLE_VALUE
  using Handle = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct GdiTraits {
  using Handle = HGDIOBJ;
  static HGDIOBJ Invalid() { return nullptr; }
  static void Close(HGDIOBJ h) { DeleteObject(h); }
};
struct MemoryDcTraits {
  using Handle = HDC;
  static HDC Invalid() { return nullptr; }
  static void Close(HDC h) { DeleteDC(h); }
};
struct WindowTraits {
  using Handle = HWND;
  static HWND Invalid() { return nullptr; }
  static void Close(HWND h) { DestroyWindow(h); }
};
struct IconTraits {
  using Handle = HICON;
  static HICON Invalid() { return nullptr; }
  static void Close(HICON h) { DestroyIcon(h); }
};
struct ModuleTraits {
  using Handle = HMODULE;
  static HMODULE Invalid() { return nullptr; }
  static void Close(HMODULE h) { FreeLibrary(h); }
};

using ScopedKey = UniqueHandle<KeyTraits>;
using ScopedHandle = UniqueHandle<KernelTraits>;
using ScopedFile = UniqueHandle<FileTraits>;
using ScopedGdiObject = UniqueHandle<GdiTraits>;
using ScopedMemoryDc = UniqueHandle<MemoryDcTraits>;
using ScopedWindow = UniqueHandle<WindowTraits>;
using ScopedIcon = UniqueHandle<IconTraits>;
using ScopedModule = UniqueHandle<ModuleTraits>;

// Selects a GDI object into a DC and puts the previous one back at scope end.
class ScopedSelectObject {
 public:
  ScopedSelectObject(HDC dc, HGDIOBJ obj) : dc_(dc), previous_(SelectObject(dc, obj)) {}
  ScopedSelectObject(const ScopedSelectObject&) = delete;
  ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;
  ~ScopedSelectObject() {
    if (previous_ && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
  }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// A window's painting: BeginPaint at its making, EndPaint at scope end (also when the painting
// throws).
class ScopedPaint {
 public:
  explicit ScopedPaint(HWND hwnd) : hwnd_(hwnd), dc_(BeginPaint(hwnd, &ps_)) {}
  ScopedPaint(const ScopedPaint&) = delete;
  ScopedPaint& operator=(const ScopedPaint&) = delete;
  ~ScopedPaint() { EndPaint(hwnd_, &ps_); }
  HDC get() const { return dc_; }
  // The part of the window to paint.
  const RECT& Area() const { return ps_.rcPaint; }

 private:
  HWND hwnd_;
  PAINTSTRUCT ps_{};
  HDC dc_;
};

// A window's DC got with GetDC, released at scope end.
class ScopedGetDc {
 public:
  explicit ScopedGetDc(HWND hwnd) : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
  ScopedGetDc(const ScopedGetDc&) = delete;
  ScopedGetDc& operator=(const ScopedGetDc&) = delete;
  ~ScopedGetDc() {
    if (dc_) ReleaseDC(hwnd_, dc_);
  }
  HDC get() const { return dc_; }

 private:
  HWND hwnd_;
  HDC dc_;
};

// A search handle of FindFirstFileA, closed with FindClose; invalid value INVALID_HANDLE_VALUE.
struct FindTraits {
  using Handle = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { FindClose(h); }
};
using ScopedFind = UniqueHandle<FindTraits>;

// Gives a variable a value for the scope and puts the value it had back at scope end, also when
// the scope is left by an exception. The variable is borrowed and must outlive the guard.
template <typename T>
class ScopedValue {
 public:
  ScopedValue(T& slot, T value) : slot_(slot), previous_(std::exchange(slot, std::move(value))) {}
  ScopedValue(const ScopedValue&) = delete;
  ScopedValue& operator=(const ScopedValue&) = delete;
  ~ScopedValue() { slot_ = std::move(previous_); }

 private:
  T& slot_;
  T previous_;
};
// The variable's type decides: ScopedValue lock(canvas_, &canvas), ScopedValue busy(flag, true).
template <typename T, typename V>
ScopedValue(T&, V) -> ScopedValue<T>;

}  // namespace toolkit
