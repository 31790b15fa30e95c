#include "ui/glossy.h"

#include <algorithm>
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

Palette Palette::Glossy() {
  Palette p{};
  p.window = RGB(0xE8, 0xEE, 0xF5);
  p.panel = RGB(0x1F, 0x5F, 0xA8);
  p.page = RGB(0xFF, 0xFF, 0xFF);
  p.installPage = RGB(0xF2, 0xF6, 0xFB);
  p.footer = RGB(0xF3, 0xF6, 0xFA);
  p.text = RGB(0x1B, 0x2A, 0x3A);
  p.subtleText = RGB(0x4A, 0x5B, 0x6E);
  p.border = RGB(0xA9, 0xBC, 0xD3);
  p.accent = RGB(0x1F, 0x5F, 0xA8);
  p.accentDark = RGB(0x16, 0x3F, 0x73);
  p.danger = RGB(0xB0, 0x3A, 0x2E);
  p.accentLight = RGB(0x4A, 0x8B, 0xD4);
  p.buttonFace = RGB(0xE3, 0xEA, 0xF2);
  p.buttonText = p.text;
  // Dark blue: about 10:1 against the pages, the footer and the tile.
  p.focus = p.accentDark;
  p.plain = false;
  return p;
}

Palette Palette::System() {
  Palette p{};
  p.window = GetSysColor(COLOR_BTNFACE);
  p.panel = GetSysColor(COLOR_ACTIVECAPTION);
  p.page = GetSysColor(COLOR_WINDOW);
  p.installPage = GetSysColor(COLOR_WINDOW);
  p.footer = GetSysColor(COLOR_WINDOW);
  p.text = GetSysColor(COLOR_WINDOWTEXT);
  p.subtleText = p.text;
  p.border = p.text;
  p.accent = GetSysColor(COLOR_HIGHLIGHT);
  p.accentDark = p.text;
  p.danger = p.text;
  p.accentLight = GetSysColor(COLOR_WINDOW);
  p.buttonFace = GetSysColor(COLOR_BTNFACE);
  p.buttonText = GetSysColor(COLOR_BTNTEXT);
  p.focus = p.text;
  p.plain = true;
  return p;
}

bool HighContrastOn() {
  HIGHCONTRASTW contrast{sizeof contrast};
  return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
         (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

void DrawFocusRing(HDC dc, const RECT& rect, int radius, const Palette& colors, int dpi) {
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  const int width = std::max(2, Scale(2, dpi));
  HPEN pen = CreatePen(PS_INSIDEFRAME, width, colors.focus);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  RoundRect(dc, rect.left, rect.top, rect.right, rect.bottom, radius, radius);
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  DeleteObject(pen);
}

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
                const ButtonState& state, const Palette& colors, int dpi) {
  const int radius = Scale(8, dpi);
  COLORREF top, bottom, border, ink;
  if (colors.plain) {
    top = bottom = state.pressed ? colors.accent : colors.buttonFace;
    border = colors.buttonText;
    ink = state.pressed ? colors.page : colors.buttonText;
  } else if (kind == ButtonKind::Primary) {
    top = state.hot ? RGB(0x5A, 0x98, 0xDD) : colors.accentLight;
    bottom = state.hot ? RGB(0x22, 0x68, 0xB6) : colors.accent;
    border = colors.accentDark;
    ink = RGB(0xFF, 0xFF, 0xFF);
  } else {
    top = state.hot ? RGB(0xFF, 0xFF, 0xFF) : RGB(0xFB, 0xFC, 0xFE);
    bottom = state.hot ? RGB(0xDC, 0xE7, 0xF3) : colors.buttonFace;
    border = colors.border;
    ink = colors.text;
  }
  if (state.pressed && !colors.plain) std::swap(top, bottom);
  if (state.disabled) {
    top = bottom = colors.plain ? colors.buttonFace : RGB(0xE6, 0xE9, 0xED);
    border = colors.plain ? GetSysColor(COLOR_GRAYTEXT) : RGB(0xC4, 0xCB, 0xD3);
    ink = colors.plain ? GetSysColor(COLOR_GRAYTEXT) : RGB(0x9A, 0xA4, 0xAF);
  }

  // The body: a rounded gradient, then a brighter upper half for the gloss
  // (one plain colour in high contrast).
  HRGN shape = CreateRoundRectRgn(rect.left, rect.top, rect.right + 1, rect.bottom + 1, radius, radius);
  SelectClipRgn(dc, shape);
  FillVerticalGradient(dc, rect, top, bottom);
  if (!colors.plain) {
    RECT gloss = rect;
    gloss.bottom = rect.top + (rect.bottom - rect.top) / 2;
    FillVerticalGradient(dc, gloss, Mix(top, RGB(0xFF, 0xFF, 0xFF), 35), Mix(top, bottom, 40));
  }
  SelectClipRgn(dc, nullptr);
  DeleteObject(shape);
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  HPEN pen = CreatePen(PS_SOLID, 1, border);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  RoundRect(dc, rect.left, rect.top, rect.right, rect.bottom, radius, radius);
  SelectObject(dc, oldPen);
  DeleteObject(pen);
  SelectObject(dc, oldBrush);
  // The focus: a solid ring over the button's own edge, in a colour that
  // stands out from the background around the button.
  if (state.focused && !state.disabled) DrawFocusRing(dc, rect, radius, colors, dpi);

  RECT label = rect;
  if (state.pressed) OffsetRect(&label, 0, 1);
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, ink);
  DrawTextW(dc, text, -1, &label, DT_CENTER | DT_VCENTER | DT_SINGLELINE | (state.hideAccessKey ? DT_HIDEPREFIX : 0));
  SelectObject(dc, oldFont);
}

void DrawFrame(HDC dc, const RECT& rect, const wchar_t* caption, HFONT font, COLORREF background,
               const Palette& colors, int dpi) {
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
  HPEN pen = CreatePen(PS_SOLID, 1, colors.border);
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
    SetTextColor(dc, colors.accentDark);
    DrawTextW(dc, caption, -1, &label, DT_CENTER | DT_SINGLELINE | DT_VCENTER);
  }
  SelectObject(dc, oldFont);
}

void DrawTile(HDC dc, const RECT& rect, bool hot, bool focused, const Palette& colors, int dpi) {
  const int radius = Scale(12, dpi);
  HBRUSH window = CreateSolidBrush(colors.installPage);
  FillRect(dc, &rect, window);
  DeleteObject(window);
  RECT card = rect;
  card.bottom -= Scale(2, dpi);
  card.right -= 1;
  if (colors.plain) {
    FillRoundRect(dc, card, radius, hot ? colors.buttonFace : colors.installPage, colors.border);
  } else {
    RECT shadow = rect;
    OffsetRect(&shadow, 0, Scale(2, dpi));
    shadow.right -= 1;
    shadow.bottom -= 1;
    FillRoundRect(dc, shadow, radius, RGB(0xD5, 0xDF, 0xEA), RGB(0xD5, 0xDF, 0xEA));
    HRGN shape = CreateRoundRectRgn(card.left, card.top, card.right + 1, card.bottom + 1, radius, radius);
    SelectClipRgn(dc, shape);
    FillVerticalGradient(dc, card, RGB(0xFF, 0xFF, 0xFF), hot ? RGB(0xD6, 0xE7, 0xF8) : RGB(0xE7, 0xEF, 0xF8));
    SelectClipRgn(dc, nullptr);
    DeleteObject(shape);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    HPEN pen = CreatePen(PS_SOLID, 1, hot ? colors.accent : colors.border);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    RoundRect(dc, card.left, card.top, card.right, card.bottom, radius, radius);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
  }
  if (focused) DrawFocusRing(dc, card, radius, colors, dpi);
}

}  // namespace pravonell::ui::glossy
