// The window's dialogs: message boxes and the folder dialog, each centred on
// the work area of the monitor the window is on.
#pragma once

#include <windows.h>

#include <string>

namespace pravonell::ui {

// The top-left corner that centres a width x height rectangle on the work
// area of the monitor that `window` is on.
POINT CentredOnMonitorOf(HWND window, int width, int height);

// A message box with the program's caption, centred on the owner's monitor.
void CentredMessageBox(HWND owner, const std::wstring& text, UINT type);

// The folder dialog: the chosen folder with its final backslash, or "".
std::wstring SelectADirectory(HWND owner, const std::wstring& title);

}  // namespace pravonell::ui
