// The procedures of the window's child windows: its containers (pages,
// frames, the tile), which paint themselves and hand their controls'
// notifications to the window, and the subclass of the buttons, the tile and
// the edits, for hover and the edits' flat border.
#include <windows.h>
#include <commctrl.h>

#include "platform/win32/system_library.h"
#include "ui/accessibility.h"
#include "ui/master_window.h"
#include "ui/painting.h"

namespace pravonell::ui {

namespace {

class PaintScope {
 public:
  explicit PaintScope(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
  ~PaintScope() { EndPaint(window_, &paint_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  HDC dc() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

// The subclass procedures' default, from the common controls.
LRESULT DefaultSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  static const auto defSubclassProc = win32::CommonControlsFunctionAs<decltype(&DefSubclassProc)>("DefSubclassProc");
  return defSubclassProc != nullptr ? defSubclassProc(window, message, wParam, lParam)
                                    : DefWindowProcW(window, message, wParam, lParam);
}

constexpr UINT_PTR kSubclassId = 1;

}  // namespace

void MasterWindow::AddSubclass(HWND control) {
  static const auto setWindowSubclass =
      win32::CommonControlsFunctionAs<decltype(&SetWindowSubclass)>("SetWindowSubclass");
  if (setWindowSubclass != nullptr) {
    setWindowSubclass(control, ControlSubclass, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
  }
}

void MasterWindow::RemoveSubclass(HWND control) {
  static const auto removeWindowSubclass =
      win32::CommonControlsFunctionAs<decltype(&RemoveWindowSubclass)>("RemoveWindowSubclass");
  if (removeWindowSubclass != nullptr) removeWindowSubclass(control, ControlSubclass, kSubclassId);
}

// Pages, frames and the tile: they paint themselves the window's way and
// hand their controls' notifications to the window.
LRESULT CALLBACK MasterWindow::ContainerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return Barrier<LRESULT>(0, [&]() -> LRESULT {
    MasterWindow* self = FromWindow(window);
    switch (message) {
      case WM_COMMAND:
      case WM_NOTIFY:
      case WM_DRAWITEM:
      case WM_VSCROLL:
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLOREDIT:
      case WM_CTLCOLORBTN:
        if (self != nullptr) return self->HandleMessage(message, wParam, lParam);
        break;
      case WM_ERASEBKGND:
        return 1;
      case WM_CLOSE:
        // A multi-line text in a page answers Escape by asking its parent to
        // close: a page is never closed, and Escape does nothing.
        return 0;
      case WM_GETOBJECT:
        if (const LRESULT named = AccessibleObjectOf(window, wParam, lParam); named != 0) return named;
        break;
      case DM_GETDEFID: {
        // Enter presses the page's default button: AVANÇAR, GRAVAR, INSTALAR.
        const int id = GetDlgCtrlID(window);
        const int button = id == kSbTermos ? kBitBtn1 : id == kSbCadastro ? kBitBtn3 : id == kSbInstall ? kImage2 : 0;
        if (button != 0) return MAKELRESULT(button, DC_HASDEFID);
        break;
      }
      case WM_PAINT: {
        // Ended however the painting ends: a region left invalid would be
        // painted again and again.
        const PaintScope paint(window);
        if (self != nullptr) self->painter_->PaintContainer(window, paint.dc());
        return 0;
      }
      default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
  });
}

// Hover for the glossy buttons and the tile, and the edits' flat border.
LRESULT CALLBACK MasterWindow::ControlSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                               UINT_PTR, DWORD_PTR selfData) {
  return Barrier<LRESULT>(0, [&]() -> LRESULT {
    auto* self = reinterpret_cast<MasterWindow*>(selfData);
    const int id = GetDlgCtrlID(window);
    const bool isEdit = id == kEdCPFCNPJ || id == kEdNomeRazao || id == kEdEmail || id == kEdDirInstalacao;
    const bool isLabel = id == kLabel2 || id == kLabel3 || id == kLabel4 || id == kLabel7;
    switch (message) {
      case WM_MOUSEMOVE:
        if (!isEdit && self->hot_.insert(window).second) {
          TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window, 0};
          TrackMouseEvent(&track);
          InvalidateRect(id == kImage2 ? self->Control(kPanel3) : window, nullptr, FALSE);
          InvalidateRect(window, nullptr, FALSE);
          if (id == kImage2) InvalidateRect(self->Control(kLabel1), nullptr, FALSE);
        }
        break;
      case WM_MOUSELEAVE:
        if (self->hot_.erase(window) != 0) {
          InvalidateRect(id == kImage2 ? self->Control(kPanel3) : window, nullptr, FALSE);
          InvalidateRect(window, nullptr, FALSE);
          if (id == kImage2) InvalidateRect(self->Control(kLabel1), nullptr, FALSE);
        }
        break;
      case WM_SETCURSOR:
        if (id == kImage2) {
          SetCursor(LoadCursorW(nullptr, IDC_HAND));
          return TRUE;
        }
        break;
      case WM_NCPAINT:
        if (isEdit) {
          self->painter_->FrameEdit(window);
          return 0;
        }
        break;
      case WM_PAINT:
        if (isLabel) {
          // A label above an edit paints over part of the edit's focus ring;
          // that part is drawn again on top.
          const LRESULT result = DefaultSubclassProc(window, message, wParam, lParam);
          HDC dc = GetDC(window);
          self->painter_->RingOver(window, dc);
          ReleaseDC(window, dc);
          return result;
        }
        break;
      case WM_NCDESTROY:
        // The subclass goes with its control.
        RemoveSubclass(window);
        break;
      case WM_GETOBJECT:
        if (const LRESULT named = AccessibleObjectOf(window, wParam, lParam); named != 0) return named;
        break;
      case WM_SETFOCUS:
      case WM_KILLFOCUS:
        if (isEdit) {
          // The focus ring is drawn on the parent, around the edit, and again
          // over the labels and the button it reaches under.
          const LRESULT result = DefaultSubclassProc(window, message, wParam, lParam);
          RedrawWindow(window, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
          RECT ring;
          GetWindowRect(window, &ring);
          MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&ring), 2);
          InflateRect(&ring, 4, 4);
          RedrawWindow(GetParent(window), &ring, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
          return result;
        }
        if (id == kImage2) {
          // The tile's ring goes round the whole card.
          const LRESULT result = DefaultSubclassProc(window, message, wParam, lParam);
          InvalidateRect(self->Control(kPanel3), nullptr, FALSE);
          InvalidateRect(window, nullptr, FALSE);
          InvalidateRect(self->Control(kLabel1), nullptr, FALSE);
          return result;
        }
        break;
      default:
        break;
    }
    return DefaultSubclassProc(window, message, wParam, lParam);
  });
}

}  // namespace pravonell::ui
