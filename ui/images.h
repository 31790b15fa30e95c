// PNG pictures from the program's resources, decoded by Windows (WIC).
#pragma once

#include <windows.h>

#include <string>

namespace pravonell::ui {

// A 32-bit top-down bitmap with premultiplied alpha, ready for AlphaBlend.
class Picture {
 public:
  Picture() = default;
  ~Picture();
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  // Decodes the PNG held in an RCDATA resource; needs COM on this thread.
  bool Load(HINSTANCE instance, int resourceId);

  int width() const { return width_; }
  int height() const { return height_; }

  // Draws the source rectangle (whole picture by default) into dst, scaled.
  void Draw(HDC dc, const RECT& dst) const;
  void DrawPart(HDC dc, const RECT& dst, int srcX, int srcY, int srcW, int srcH) const;
  // Draws with one colour (magenta) as transparent, for pictures without alpha.
  void DrawKeyed(HDC dc, const RECT& dst, int srcX, int srcY, int srcW, int srcH, COLORREF key) const;

 private:
  HBITMAP bitmap_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

// The UTF-8 text held in an RCDATA resource.
std::wstring LoadTextResource(HINSTANCE instance, int resourceId);

}  // namespace pravonell::ui
