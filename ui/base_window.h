// The window-procedure wrapper: the static procedure Windows calls keeps the
// object at WM_NCCREATE and hands every message to the object's
// HandleMessage, through the exception barrier.
#pragma once

#include <windows.h>

#include "ui/barrier.h"

namespace pravonell::ui {

template <typename Derived>
class BaseWindow {
 public:
  HWND hwnd() const { return hwnd_; }

 protected:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return Barrier<LRESULT>(0, [&]() -> LRESULT {
      if (message == WM_NCCREATE) {
        auto* created = static_cast<Derived*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        static_cast<BaseWindow*>(created)->hwnd_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
      }
      Derived* self = FromWindow(window);
      if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
      return self->HandleMessage(message, wParam, lParam);
    });
  }

  // The object of the top-level window that `window` is or lies in.
  static Derived* FromWindow(HWND window) {
    return reinterpret_cast<Derived*>(GetWindowLongPtrW(GetAncestor(window, GA_ROOT), GWLP_USERDATA));
  }

  HWND hwnd_ = nullptr;
};

}  // namespace pravonell::ui
