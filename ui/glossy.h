// The installer's look ("Glossy"): a light blue-grey frame around white
// pages, glossy rounded buttons, flat edits with a coloured focus border.
// Colours, fonts and the drawing of the custom-drawn parts live here.
#pragma once

#include <windows.h>

namespace pravonell::ui::glossy {

// The colours the window paints with. The glossy ones are the window's own;
// when the person has turned on a high-contrast theme, the system's colours
// stand in for them, without gradients or gloss.
struct Palette {
  COLORREF window;       // the form's face
  COLORREF panel;        // frame around the pages
  COLORREF page;         // terms and customer pages
  COLORREF installPage;
  COLORREF footer;
  COLORREF text;
  COLORREF subtleText;
  COLORREF border;
  COLORREF accent;
  COLORREF accentDark;
  COLORREF danger;       // a run that stopped
  COLORREF accentLight;
  COLORREF buttonFace;   // plain buttons (high contrast)
  COLORREF buttonText;
  COLORREF focus;        // focus rings: at least 3:1 against what is behind them
  bool plain;            // no gradients, gloss or shadows

  static Palette Glossy();
  static Palette System();
};

// Whether the person has a high-contrast theme on.
bool HighContrastOn();

enum class ButtonKind { Primary, Secondary };

struct ButtonState {
  bool pressed = false;
  bool hot = false;
  bool focused = false;
  bool disabled = false;
  bool hideAccessKey = false;  // the "&" of the caption is underlined only while the keyboard is in use
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
// A focus ring two pixels wide just inside the rectangle.
void DrawFocusRing(HDC dc, const RECT& rect, int radius, const Palette& colors, int dpi);
void DrawButton(HDC dc, const RECT& rect, const wchar_t* text, HFONT font, ButtonKind kind,
                const ButtonState& state, const Palette& colors, int dpi);
// A rounded frame with an optional caption on its top edge; the area under
// it is painted with the background colour first.
void DrawFrame(HDC dc, const RECT& rect, const wchar_t* caption, HFONT font, COLORREF background,
               const Palette& colors, int dpi);
// The install tile: a raised card with a soft gradient, ringed while it has
// the focus.
void DrawTile(HDC dc, const RECT& rect, bool hot, bool focused, const Palette& colors, int dpi);

}  // namespace pravonell::ui::glossy
