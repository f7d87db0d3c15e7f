// The one window procedure: our classes' entry, the subclass entry, and the dispatch they share.
#include "toolkit/WindowProc.h"

#include <commctrl.h>

#include <string>

#include "base/Exception.h"
#include "toolkit/Component.h"

namespace toolkit {

LRESULT Dispatch(WindowTarget* target, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool bound);

namespace {

// Our one subclass in a window's chain.
constexpr UINT_PTR kSubclassId = 0x54524C4B;

LRESULT CALLBACK ClassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref);

bool OwnClass(HWND hwnd) {
  return GetClassLongPtrA(hwnd, GCLP_WNDPROC) == reinterpret_cast<ULONG_PTR>(&ClassProc);
}

LRESULT CALLBACK ClassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* target = static_cast<WindowTarget*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(target));
  }
  return Dispatch(reinterpret_cast<WindowTarget*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)), hwnd, msg, wp, lp,
                  msg == WM_NCCREATE);
}

LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
  return Dispatch(reinterpret_cast<WindowTarget*>(ref), hwnd, msg, wp, lp, false);
}

}  // namespace

LRESULT Dispatch(WindowTarget* target, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool bound) {
  if (!target) return DefaultWindowProc(hwnd, msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    const LRESULT result = DefaultWindowProc(hwnd, msg, wp, lp);
    UnbindWindow(hwnd);
    target->WindowGone(hwnd);
    return result;
  }
  try {
    if (bound) target->WindowBound(hwnd);
    return target->WndProc(hwnd, msg, wp, lp);
  } catch (...) {
    ReportCurrentException();
  }
  return 0;
}

void RegisterWindowClass(const char* name, UINT style, HCURSOR cursor, HICON icon) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA existing{sizeof existing};
  if (GetClassInfoExA(instance, name, &existing)) {
    if (existing.lpfnWndProc == &ClassProc) return;
    throw base::Exception(std::string("Fensterklasse ") + name + " ist schon vergeben");
  }
  WNDCLASSEXA wc{sizeof wc};
  wc.style = style;
  wc.lpfnWndProc = &ClassProc;
  wc.hInstance = instance;
  wc.hCursor = cursor;
  wc.hIcon = icon;
  wc.lpszClassName = name;
  if (!RegisterClassExA(&wc))
    throw base::Exception(std::string("Fensterklasse ") + name + " kann nicht registriert werden");
}

bool SubclassWindow(HWND hwnd, WindowTarget* target) {
  return SetWindowSubclass(hwnd, &SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(target)) != FALSE;
}

void UnbindWindow(HWND hwnd) {
  if (OwnClass(hwnd)) SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
  RemoveWindowSubclass(hwnd, &SubclassProc, kSubclassId);
}

LRESULT DefaultWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  // Our classes are never subclassed by us, the system's windows always are.
  if (OwnClass(hwnd)) return DefWindowProcA(hwnd, msg, wp, lp);
  return DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace toolkit
