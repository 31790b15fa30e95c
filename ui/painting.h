// The window's look: the pages, frames and tile, the owner-drawn pictures
// and buttons, the controls' colours and the edits' borders. The painter
// owns its brushes and makes them once; the fonts, which depend on the
// scale, are the window's, made again when the scale changes.
#pragma once

#include <windows.h>

#include "ui/glossy.h"

namespace pravonell::ui {

class MasterWindow;

class Painter {
 public:
  explicit Painter(const MasterWindow& window);
  ~Painter();
  Painter(const Painter&) = delete;
  Painter& operator=(const Painter&) = delete;

  // A page, frame or the tile (the window's own container class).
  void PaintContainer(HWND container, HDC dc) const;
  void DrawItem(const DRAWITEMSTRUCT& item) const;
  // The brush (and text colours) of a WM_CTLCOLOR* message.
  HBRUSH ColorFor(UINT message, HWND control, HDC dc) const;
  // The window's own background.
  void EraseWindow(HDC dc, const RECT& rect) const { FillRect(dc, &rect, windowBrush_); }
  // An edit's flat border, in the focus colour while it has the focus.
  void FrameEdit(HWND edit) const;
  // The part of the focused edit's ring that falls on this control (a label
  // above the edit, the button beside it), drawn after the control painted
  // itself, so the ring shows whole.
  void RingOver(HWND control, HDC dc) const;
  // The colours to paint with: the window's own, or the system's in high
  // contrast. The brushes are made again from them.
  void UsePalette(const glossy::Palette& colors);
  const glossy::Palette& colors() const { return colors_; }

#ifdef PRAVONELL_TEST_HOOKS
  bool failPaints = false;  // a GUI test's fault: painting a page throws
#endif

 private:
  void PaintInstallHeading(HDC dc, const RECT& client) const;
  void RingFocusedEdit(HWND container, HDC dc) const;
  bool KeyboardCuesHidden() const;
  void ReleaseBrushes();

  const MasterWindow& w_;
  glossy::Palette colors_{};
  HBRUSH pageBrush_ = nullptr, installBrush_ = nullptr, windowBrush_ = nullptr, footerBrush_ = nullptr;
  HBRUSH panelBrush_ = nullptr, borderBrush_ = nullptr, accentBrush_ = nullptr, bannerBrush_ = nullptr;
  HBRUSH focusBrush_ = nullptr;
  HPEN checkPen_ = nullptr;
};

}  // namespace pravonell::ui
