// The installer's look ("Glossy"): a light blue-grey frame around white
// pages, glossy rounded buttons, flat edits with a coloured focus border.
// Colours, fonts and the drawing of the custom-drawn parts live here.
#pragma once

#include <windows.h>

namespace pravonell::ui::glossy {

inline constexpr COLORREF kWindow = RGB(0xE8, 0xEE, 0xF5);      // the form's face
inline constexpr COLORREF kPanel = RGB(0x1F, 0x5F, 0xA8);       // frame around the pages
inline constexpr COLORREF kPage = RGB(0xFF, 0xFF, 0xFF);
inline constexpr COLORREF kInstallPage = RGB(0xF2, 0xF6, 0xFB);
inline constexpr COLORREF kFooter = RGB(0xF3, 0xF6, 0xFA);
inline constexpr COLORREF kText = RGB(0x1B, 0x2A, 0x3A);
inline constexpr COLORREF kSubtleText = RGB(0x4A, 0x5B, 0x6E);
inline constexpr COLORREF kBorder = RGB(0xA9, 0xBC, 0xD3);
inline constexpr COLORREF kAccent = RGB(0x1F, 0x5F, 0xA8);
inline constexpr COLORREF kAccentDark = RGB(0x16, 0x3F, 0x73);
inline constexpr COLORREF kDanger = RGB(0xB0, 0x3A, 0x2E);  // a run that stopped
inline constexpr COLORREF kAccentLight = RGB(0x4A, 0x8B, 0xD4);

enum class ButtonKind { Primary, Secondary };

struct ButtonState {
  bool pressed = false;
  bool hot = false;
  bool focused = false;
  bool disabled = false;
};

// Fonts at one DPI: Tahoma 8 pt for the form, bold for buttons and
// captions, 16 pt for the progress labels, 13 pt bold for headings.
class Fonts {
 public:
  ~Fonts() { Release(); }
  void Create(int dpi);
  HFONT normal() const { return normal_; }
  HFONT bold() const { return bold_; }
  HFONT large() const { return large_; }
  HFONT heading() const { return heading_; }

 private:
  void Release();
  HFONT normal_ = nullptr, bold_ = nullptr, large_ = nullptr, heading_ = nullptr;
};

void FillVerticalGradient(HDC dc, const RECT& rect, COLORREF top, COLORREF bottom);
void FillRoundRect(HDC dc, const RECT& rect, int radius, COLORREF fill, COLORREF border);
void DrawButton(HDC dc, const RECT& rect, const wchar_t* text, HFONT font, ButtonKind kind,
                const ButtonState& state, int dpi);
// A rounded frame with an optional caption on its top edge; the area under
// it is painted with the background colour first.
void DrawFrame(HDC dc, const RECT& rect, const wchar_t* caption, HFONT font, COLORREF background, int dpi);
// The install tile: a raised card with a soft gradient.
void DrawTile(HDC dc, const RECT& rect, bool hot, int dpi);

}  // namespace pravonell::ui::glossy
