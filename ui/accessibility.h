// What a screen reader hears: the names and roles of the controls whose own
// text does not say what they are (the terms text, the directory field, the
// progress bar, the picture buttons), and the status labels' changes during
// a run. Through MSAA, which UI Automation reads too.
#pragma once

#include <windows.h>

namespace pravonell::ui {

// Gives the control this name (and role, unless 0) for screen readers.
void Describe(HWND control, const wchar_t* name, long role = 0);
// The control's answer to WM_GETOBJECT, or nothing (0) when it has no
// description of ours: the message then goes on to the control itself.
LRESULT AccessibleObjectOf(HWND control, WPARAM flags, LPARAM objectId);
// Tells screen readers that what the label says has changed (a live region).
void AnnounceChange(HWND label);
// Tells them the name of a window (the install page's heading) has changed.
void AnnounceNameChange(HWND window);

}  // namespace pravonell::ui
