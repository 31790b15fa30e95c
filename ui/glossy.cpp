#include "ui/glossy.h"

#include <utility>

namespace pravonell::ui::glossy {

namespace {

int Scale(int value, int dpi) { return MulDiv(value, dpi, 96); }

COLORREF Mix(COLORREF a, COLORREF b, int percentOfB) {
  auto channel = [&](int x, int y) { return (x * (100 - percentOfB) + y * percentOfB) / 100; };
  return RGB(channel(GetRValue(a), GetRValue(b)), channel(GetGValue(a), GetGValue(b)),
             channel(GetBValue(a), GetBValue(b)));
}

HFONT MakeFont(int pixelHeight, int weight, int dpi) {
  LOGFONTW font{};
  font.lfHeight = -Scale(pixelHeight, dpi);
  font.lfWeight = weight;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = CLEARTYPE_QUALITY;
  lstrcpyW(font.lfFaceName, L"Tahoma");
  return CreateFontIndirectW(&font);
}

}  // namespace

void Fonts::Create(int dpi) {
  Release();
  normal_ = MakeFont(11, FW_NORMAL, dpi);   // 8 pt at 96 dpi
  bold_ = MakeFont(11, FW_BOLD, dpi);
  large_ = MakeFont(21, FW_NORMAL, dpi);    // 16 pt
  heading_ = MakeFont(17, FW_BOLD, dpi);    // 13 pt
}

void Fonts::Release() {
  for (HFONT* font : {&normal_, &bold_, &large_, &heading_}) {
    if (*font != nullptr) DeleteObject(*font);
    *font = nullptr;
  }
}

void FillVerticalGradient(HDC dc, const RECT& rect, COLORREF top, COLORREF bottom) {
  TRIVERTEX vertices[2] = {
      {rect.left, rect.top, static_cast<COLOR16>(GetRValue(top) << 8),
       static_cast<COLOR16>(GetGValue(top) << 8), static_cast<COLOR16>(GetBValue(top) << 8), 0},
      {rect.right, rect.bottom, static_cast<COLOR16>(GetRValue(bottom) << 8),
       static_cast<COLOR16>(GetGValue(bottom) << 8), static_cast<COLOR16>(GetBValue(bottom) << 8), 0}};
  GRADIENT_RECT gradient{0, 1};
  GdiGradientFill(dc, vertices, 2, &gradient, 1, GRADIENT_FILL_RECT_V);  // gdi32's own, not msimg32's
}

void FillRoundRect(HDC dc, const RECT& rect, int radius, COLORREF fill, COLORREF border) {
  HBRUSH brush = CreateSolidBrush(fill);
  HPEN pen = CreatePen(PS_SOLID, 1, border);
  HGDIOBJ oldBrush = SelectObject(dc, brush);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  RoundRect(dc, rect.left, rect.top, rect.right, rect.bottom, radius, radius);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(brush);
  DeleteObject(pen);
}

void DrawButton(HDC dc, const RECT& rect, const wchar_t* text, HFONT font, ButtonKind kind,
                const ButtonState& state, int dpi) {
  const int radius = Scale(8, dpi);
  COLORREF top, bottom, border, ink;
  if (kind == ButtonKind::Primary) {
    top = state.hot ? RGB(0x5A, 0x98, 0xDD) : kAccentLight;
    bottom = state.hot ? RGB(0x22, 0x68, 0xB6) : kAccent;
    border = kAccentDark;
    ink = RGB(0xFF, 0xFF, 0xFF);
  } else {
    top = state.hot ? RGB(0xFF, 0xFF, 0xFF) : RGB(0xFB, 0xFC, 0xFE);
    bottom = state.hot ? RGB(0xDC, 0xE7, 0xF3) : RGB(0xE3, 0xEA, 0xF2);
    border = kBorder;
    ink = kText;
  }
  if (state.pressed) std::swap(top, bottom);
  if (state.disabled) {
    top = bottom = RGB(0xE6, 0xE9, 0xED);
    border = RGB(0xC4, 0xCB, 0xD3);
    ink = RGB(0x9A, 0xA4, 0xAF);
  }

  // The body: a rounded gradient, then a brighter upper half for the gloss.
  HRGN shape = CreateRoundRectRgn(rect.left, rect.top, rect.right + 1, rect.bottom + 1, radius, radius);
  SelectClipRgn(dc, shape);
  FillVerticalGradient(dc, rect, top, bottom);
  RECT gloss = rect;
  gloss.bottom = rect.top + (rect.bottom - rect.top) / 2;
  FillVerticalGradient(dc, gloss, Mix(top, RGB(0xFF, 0xFF, 0xFF), 35), Mix(top, bottom, 40));
  SelectClipRgn(dc, nullptr);
  DeleteObject(shape);
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  HPEN pen = CreatePen(PS_SOLID, 1, border);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  RoundRect(dc, rect.left, rect.top, rect.right, rect.bottom, radius, radius);
  SelectObject(dc, oldPen);
  DeleteObject(pen);
  if (state.focused && !state.disabled) {
    RECT ring = rect;
    InflateRect(&ring, -Scale(3, dpi), -Scale(3, dpi));
    HPEN focus = CreatePen(PS_DOT, 1, kind == ButtonKind::Primary ? RGB(0xFF, 0xFF, 0xFF) : kAccent);
    oldPen = SelectObject(dc, focus);
    RoundRect(dc, ring.left, ring.top, ring.right, ring.bottom, radius / 2, radius / 2);
    SelectObject(dc, oldPen);
    DeleteObject(focus);
  }
  SelectObject(dc, oldBrush);

  RECT label = rect;
  if (state.pressed) OffsetRect(&label, 0, 1);
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, ink);
  DrawTextW(dc, text, -1, &label, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  SelectObject(dc, oldFont);
}

void DrawFrame(HDC dc, const RECT& rect, const wchar_t* caption, HFONT font, COLORREF background, int dpi) {
  HBRUSH fill = CreateSolidBrush(background);
  FillRect(dc, &rect, fill);
  DeleteObject(fill);
  const int radius = Scale(10, dpi);
  RECT box = rect;
  int captionWidth = 0, captionHeight = 0;
  HGDIOBJ oldFont = SelectObject(dc, font);
  if (caption != nullptr && caption[0] != L'\0') {
    SIZE size{};
    GetTextExtentPoint32W(dc, caption, lstrlenW(caption), &size);
    captionWidth = size.cx;
    captionHeight = size.cy;
    box.top += captionHeight / 2;
  }
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  HPEN pen = CreatePen(PS_SOLID, 1, kBorder);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  RoundRect(dc, box.left, box.top, box.right, box.bottom, radius, radius);
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  DeleteObject(pen);
  if (captionWidth > 0) {
    RECT label{rect.left + Scale(8, dpi), rect.top, rect.left + Scale(16, dpi) + captionWidth,
               rect.top + captionHeight};
    HBRUSH behind = CreateSolidBrush(background);
    FillRect(dc, &label, behind);
    DeleteObject(behind);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kAccentDark);
    DrawTextW(dc, caption, -1, &label, DT_CENTER | DT_SINGLELINE | DT_VCENTER);
  }
  SelectObject(dc, oldFont);
}

void DrawTile(HDC dc, const RECT& rect, bool hot, int dpi) {
  const int radius = Scale(12, dpi);
  RECT shadow = rect;
  OffsetRect(&shadow, 0, Scale(2, dpi));
  HBRUSH window = CreateSolidBrush(kInstallPage);
  FillRect(dc, &rect, window);
  DeleteObject(window);
  shadow.right -= 1;
  shadow.bottom -= 1;
  FillRoundRect(dc, shadow, radius, RGB(0xD5, 0xDF, 0xEA), RGB(0xD5, 0xDF, 0xEA));
  RECT card = rect;
  card.bottom -= Scale(2, dpi);
  card.right -= 1;
  HRGN shape = CreateRoundRectRgn(card.left, card.top, card.right + 1, card.bottom + 1, radius, radius);
  SelectClipRgn(dc, shape);
  FillVerticalGradient(dc, card, RGB(0xFF, 0xFF, 0xFF), hot ? RGB(0xD6, 0xE7, 0xF8) : RGB(0xE7, 0xEF, 0xF8));
  SelectClipRgn(dc, nullptr);
  DeleteObject(shape);
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  HPEN pen = CreatePen(PS_SOLID, 1, hot ? kAccent : kBorder);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  RoundRect(dc, card.left, card.top, card.right, card.bottom, radius, radius);
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  DeleteObject(pen);
}

}  // namespace pravonell::ui::glossy
