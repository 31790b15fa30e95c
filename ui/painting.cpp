#include "ui/painting.h"

#include <algorithm>

#include "engine/error.h"
#include "ui/glossy.h"
#include "ui/install_heading.h"
#include "ui/layout.h"
#include "ui/master_window.h"

namespace pravonell::ui {

Painter::Painter(const MasterWindow& window) : w_(window) {
  UsePalette(glossy::HighContrastOn() ? glossy::Palette::System() : glossy::Palette::Glossy());
}

Painter::~Painter() { ReleaseBrushes(); }

void Painter::ReleaseBrushes() {
  for (HBRUSH* brush : {&pageBrush_, &installBrush_, &windowBrush_, &footerBrush_, &panelBrush_, &borderBrush_,
                        &accentBrush_, &bannerBrush_, &focusBrush_}) {
    if (*brush != nullptr) DeleteObject(*brush);
    *brush = nullptr;
  }
  if (checkPen_ != nullptr) DeleteObject(checkPen_);
  checkPen_ = nullptr;
}

void Painter::UsePalette(const glossy::Palette& colors) {
  ReleaseBrushes();
  colors_ = colors;
  pageBrush_ = CreateSolidBrush(colors_.page);
  installBrush_ = CreateSolidBrush(colors_.installPage);
  windowBrush_ = CreateSolidBrush(colors_.window);
  footerBrush_ = CreateSolidBrush(colors_.footer);
  panelBrush_ = CreateSolidBrush(colors_.panel);
  borderBrush_ = CreateSolidBrush(colors_.border);
  accentBrush_ = CreateSolidBrush(colors_.accent);
  bannerBrush_ = CreateSolidBrush(colors_.plain ? colors_.window : RGB(0xDC, 0xEB, 0xF8));
  focusBrush_ = CreateSolidBrush(colors_.focus);
  checkPen_ = CreatePen(PS_SOLID, 2, colors_.plain ? colors_.page : RGB(0xFF, 0xFF, 0xFF));
}

bool Painter::KeyboardCuesHidden() const {
  return (SendMessageW(w_.hwnd_, WM_QUERYUISTATE, 0, 0) & UISF_HIDEACCEL) != 0;
}

// An edit shows the focus by a ring two pixels wide drawn on its parent,
// one pixel outside its border.
void Painter::RingFocusedEdit(HWND container, HDC dc) const {
  const HWND focus = GetFocus();
  if (focus == nullptr || GetParent(focus) != container) return;
  const int id = GetDlgCtrlID(focus);
  if (id != kEdCPFCNPJ && id != kEdNomeRazao && id != kEdEmail && id != kEdDirInstalacao) return;
  RECT ring;
  GetWindowRect(focus, &ring);
  MapWindowPoints(nullptr, container, reinterpret_cast<POINT*>(&ring), 2);
  InflateRect(&ring, 3, 3);
  for (int i = 0; i < 2; ++i) {
    FrameRect(dc, &ring, focusBrush_);
    InflateRect(&ring, -1, -1);
  }
}

void Painter::RingOver(HWND control, HDC dc) const {
  const HWND focus = GetFocus();
  if (focus == nullptr || focus == control || GetParent(focus) != GetParent(control)) return;
  const int id = GetDlgCtrlID(focus);
  if (id != kEdCPFCNPJ && id != kEdNomeRazao && id != kEdEmail && id != kEdDirInstalacao) return;
  RECT ring, mine;
  GetWindowRect(focus, &ring);
  GetWindowRect(control, &mine);
  InflateRect(&ring, 3, 3);
  RECT overlap;
  if (!IntersectRect(&overlap, &ring, &mine)) return;
  MapWindowPoints(nullptr, control, reinterpret_cast<POINT*>(&ring), 2);
  for (int i = 0; i < 2; ++i) {
    FrameRect(dc, &ring, focusBrush_);
    InflateRect(&ring, -1, -1);
  }
}

void Painter::FrameEdit(HWND edit) const {
  HDC dc = GetWindowDC(edit);
  RECT rect;
  GetWindowRect(edit, &rect);
  OffsetRect(&rect, -rect.left, -rect.top);
  FrameRect(dc, &rect, GetFocus() == edit ? focusBrush_ : borderBrush_);
  ReleaseDC(edit, dc);
}

void Painter::PaintContainer(HWND container, HDC dc) const {
#ifdef PRAVONELL_TEST_HOOKS
  if (failPaints) throw Error(L"Falha ao pintar provocada pelo teste");
#endif
  RECT rect;
  GetClientRect(container, &rect);
  const int id = GetDlgCtrlID(container);
  switch (id) {
    case kPnPrincipal: {
      FillRect(dc, &rect, panelBrush_);
      break;
    }
    case kSbTermos:
    case kSbCadastro:
    case kSbInstall: {
      FillRect(dc, &rect, id == kSbInstall ? installBrush_ : pageBrush_);
      FrameRect(dc, &rect, borderBrush_);
      if (id == kSbInstall) PaintInstallHeading(dc, rect);
      RingFocusedEdit(container, dc);
      break;
    }
    case kGroupBox2: {
      FillRect(dc, &rect, footerBrush_);
      RECT line{rect.left, rect.top, rect.right, rect.top + 1};
      FillRect(dc, &line, borderBrush_);
      break;
    }
    case kRgPessoa:
      glossy::DrawFrame(dc, rect, nullptr, w_.fonts_.bold(), colors_.page, colors_, w_.dpi_);
      break;
    case kGroupBox1:
      glossy::DrawFrame(dc, rect, L"Configurações do Computador", w_.fonts_.bold(), colors_.page, colors_, w_.dpi_);
      RingFocusedEdit(container, dc);
      break;
    case kPanel3:
      glossy::DrawTile(dc, rect, w_.hot_.count(w_.Control(kImage2)) != 0, GetFocus() == w_.Control(kImage2), colors_,
                       w_.dpi_);
      break;
    default:
      FillRect(dc, &rect, windowBrush_);
  }
}

// The install page's upper part: where the installation stands. Before the
// click, what INSTALAR will do; during a run, the steps checked off as they
// are done, the one under way marked with where it is; after a stop, that
// the installation did not finish.
void Painter::PaintInstallHeading(HDC dc, const RECT& client) const {
  const InstallHeading& heading = w_.heading_;
  const int left = client.left + w_.Scale(kPageInset + 16), right = client.right - w_.Scale(16);
  SetBkMode(dc, TRANSPARENT);
  HGDIOBJ oldFont = SelectObject(dc, w_.fonts_.heading());
  SetTextColor(dc, heading.stopped ? colors_.danger : colors_.accentDark);
  RECT title{left, w_.Scale(22), right, w_.Scale(46)};
  DrawTextW(dc, heading.Title().c_str(), -1, &title, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);

  SelectObject(dc, w_.fonts_.normal());
  SetTextColor(dc, colors_.subtleText);
  RECT intro{left, w_.Scale(52), right, w_.Scale(84)};
  DrawTextW(dc, heading.Intro().c_str(), -1, &intro, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);

  int y = w_.Scale(96);
  for (int i = 0; i < 4; ++i) {
    const bool done = heading.started && i < heading.current;
    const bool current = heading.started && i == heading.current;
    RECT mark{left, y + w_.Scale(1), left + w_.Scale(12), y + w_.Scale(13)};
    if (done) {
      // A check mark on a filled disc.
      glossy::FillRoundRect(dc, mark, w_.Scale(12), colors_.accent, colors_.accent);
      HGDIOBJ oldPen = SelectObject(dc, checkPen_);
      const POINT check[] = {{mark.left + w_.Scale(3), mark.top + w_.Scale(6)},
                             {mark.left + w_.Scale(5), mark.top + w_.Scale(9)},
                             {mark.left + w_.Scale(9), mark.top + w_.Scale(3)}};
      Polyline(dc, check, 3);
      SelectObject(dc, oldPen);
    } else if (current) {
      glossy::FillRoundRect(dc, mark, w_.Scale(12), heading.stopped ? colors_.danger : colors_.accentDark,
                            heading.stopped ? colors_.danger : colors_.accentDark);
    } else {
      RECT dot{left + w_.Scale(2), y + w_.Scale(3), left + w_.Scale(10), y + w_.Scale(11)};
      glossy::FillRoundRect(dc, dot, w_.Scale(8), colors_.accentLight, colors_.accent);
    }
    SelectObject(dc, current ? w_.fonts_.bold() : w_.fonts_.normal());
    SetTextColor(dc, done ? colors_.subtleText : colors_.text);
    RECT text{left + w_.Scale(20), y, right, y + w_.Scale(16)};
    DrawTextW(dc, kInstallSteps[i], -1, &text, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    y += w_.Scale(22);
    if (current && !heading.stopped && !heading.detail.empty()) {
      SelectObject(dc, w_.fonts_.normal());
      SetTextColor(dc, colors_.accentDark);
      RECT where{left + w_.Scale(20), y - w_.Scale(4), right, y + w_.Scale(12)};
      DrawTextW(dc, heading.detail.c_str(), -1, &where, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
      y += w_.Scale(16);
    }
  }
  SelectObject(dc, w_.fonts_.normal());
  SetTextColor(dc, colors_.subtleText);
  RECT note{left, y + w_.Scale(8), right, y + w_.Scale(40)};
  DrawTextW(dc, L"Mantenha o computador ligado à internet até a mensagem de conclusão.", -1, &note,
            DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(dc, oldFont);
}

void Painter::DrawItem(const DRAWITEMSTRUCT& item) const {
  const RECT& rect = item.rcItem;
  switch (item.CtlID) {
    case kImage1: {
      // The banner at its natural size from the top-left corner; what does
      // not fit is cut off.
      FillRect(item.hDC, &rect, bannerBrush_);
      RECT natural{0, 0, w_.Scale(w_.banner_.width()), w_.Scale(w_.banner_.height())};
      w_.banner_.Draw(item.hDC, natural);
      break;
    }
    case kImage2:
    case kLabel1: {
      // Both sit on the tile: its surface first, then the picture (at twice
      // its size, centred) or the caption.
      HWND panel = w_.Control(kPanel3);
      RECT panelRect;
      GetClientRect(panel, &panelRect);
      POINT origin{0, 0};
      MapWindowPoints(item.hwndItem, panel, &origin, 1);
      HDC dc = item.hDC;
      const int saved = SaveDC(dc);
      SetViewportOrgEx(dc, -origin.x, -origin.y, nullptr);
      glossy::DrawTile(dc, panelRect, w_.hot_.count(w_.Control(kImage2)) != 0, GetFocus() == w_.Control(kImage2),
                       colors_, w_.dpi_);
      RestoreDC(dc, saved);
      if (item.CtlID == kLabel1) {
        HGDIOBJ oldFont = SelectObject(dc, w_.fonts_.bold());
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, colors_.accentDark);
        RECT text = rect;
        DrawTextW(dc, L"&INSTALAR", -1, &text,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | (KeyboardCuesHidden() ? DT_HIDEPREFIX : 0));
        SelectObject(dc, oldFont);
        break;
      }
      const int side = std::min<int>(rect.right - rect.left, rect.bottom - rect.top) * 8 / 9;
      RECT picture{rect.left + (rect.right - rect.left - side) / 2, rect.top + (rect.bottom - rect.top - side) / 2,
                   0, 0};
      picture.right = picture.left + side;
      picture.bottom = picture.top + side;
      w_.tile_.Draw(dc, picture);
      break;
    }
    case kBitBtn7: {
      // Four states side by side in the picture; magenta is transparent.
      FillRect(item.hDC, &rect, pageBrush_);
      glossy::ButtonState state;
      state.pressed = (item.itemState & ODS_SELECTED) != 0;
      state.hot = w_.hot_.count(item.hwndItem) != 0;
      state.focused = (item.itemState & ODS_FOCUS) != 0;
      state.disabled = (item.itemState & ODS_DISABLED) != 0;
      // The picture first, then the ring over the edge, so the picture never
      // covers the focus.
      glossy::ButtonState body = state;
      body.focused = false;
      glossy::DrawButton(item.hDC, rect, L"", w_.fonts_.bold(), glossy::ButtonKind::Secondary, body, colors_,
                         w_.dpi_);
      const int frame = state.disabled ? 1 : state.pressed ? 2 : state.hot ? 3 : 0;
      const int side = w_.Scale(16);
      RECT glyph{rect.left + (rect.right - rect.left - side) / 2, rect.top + (rect.bottom - rect.top - side) / 2, 0, 0};
      glyph.right = glyph.left + side;
      glyph.bottom = glyph.top + side;
      w_.browse_.DrawKeyed(item.hDC, glyph, frame * 16, 0, 16, 16, RGB(255, 0, 255));
      if (state.focused && !state.disabled) glossy::DrawFocusRing(item.hDC, rect, w_.Scale(8), colors_, w_.dpi_);
      RingOver(item.hwndItem, item.hDC);  // the directory's ring reaches under this button
      break;
    }
    case kBitBtn1:
    case kBitBtn2:
    case kBitBtn3: {
      FillRect(item.hDC, &rect, item.CtlID == kBitBtn3 ? pageBrush_ : footerBrush_);
      glossy::ButtonState state;
      state.pressed = (item.itemState & ODS_SELECTED) != 0;
      state.hot = w_.hot_.count(item.hwndItem) != 0;
      state.focused = (item.itemState & ODS_FOCUS) != 0;
      state.disabled = (item.itemState & ODS_DISABLED) != 0;
      state.hideAccessKey = (item.itemState & ODS_NOACCEL) != 0;
      wchar_t text[64] = {};
      GetWindowTextW(item.hwndItem, text, 64);
      glossy::DrawButton(item.hDC, rect, text, w_.fonts_.bold(),
                         item.CtlID == kBitBtn2 ? glossy::ButtonKind::Secondary : glossy::ButtonKind::Primary,
                         state, colors_, w_.dpi_);
      break;
    }
    default:
      break;
  }
}

HBRUSH Painter::ColorFor(UINT message, HWND control, HDC dc) const {
  SetTextColor(dc, colors_.text);
  // An edit draws its text on the background colour: transparent, the old
  // text would stay under the new one when the edit scrolls sideways.
  SetBkMode(dc, message == WM_CTLCOLOREDIT ? OPAQUE : TRANSPARENT);
  const int id = GetDlgCtrlID(control);
  HWND parent = GetParent(control);
  if (id == kLblModulo) SetTextColor(dc, colors_.accentDark);
  if (id == kLabel7 || id == kLabel2 || id == kLabel3 || id == kLabel4) SetTextColor(dc, colors_.subtleText);
  SetBkColor(dc, colors_.page);
  if (parent == w_.Control(kSbInstall)) {
    SetBkColor(dc, colors_.installPage);
    return installBrush_;
  }
  return pageBrush_;
}

}  // namespace pravonell::ui
