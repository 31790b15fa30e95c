// The window's layout: its size at 96 dpi, the scale of the monitor it is
// on, and the one table of where each control sits.
#pragma once

#include <windows.h>

namespace pravonell::ui {

inline constexpr const wchar_t* kContainerClass = L"PravonellContainer";
inline constexpr int kClientWidth = 646;   // at 96 dots per inch
inline constexpr int kClientHeight = 418;
inline constexpr int kPageInset = 2;       // the pages' single border
inline constexpr int kMemoWidthBeside = 17;  // the scroll bar beside the terms
inline constexpr int kFooterHeight = 39;
inline constexpr int kHeadingHeight = 300;  // the install page's upper part, above the labels

// The dots per inch of the monitor the window is on (96 when unknown).
int DpiOf(HWND window);

}  // namespace pravonell::ui
