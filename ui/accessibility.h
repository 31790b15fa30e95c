// What a screen reader hears: the names and roles of the controls whose own
// text does not say what they are (the terms text, the directory field, the
// progress bar, the picture buttons), and the status labels' changes during
// a run. Through MSAA, which UI Automation reads too.
#pragma once

#include <windows.h>

#include <functional>

namespace pravonell::ui {

// Gives the control this name (and role, unless 0) for screen readers.
void Describe(HWND control, const wchar_t* name, long role = 0);
// Which controls can be reached now (false for a page behind's): those that
// cannot are invisible and unavailable to a screen reader, and can be
// neither pressed nor changed through it.
void SetReachable(std::function<bool(HWND)> reachable);
// The control's answer to WM_GETOBJECT: the system's accessible object with
// our name and role (when the control has a description) and the reach
// above; 0 when there is none to give, and the message goes on to the
// control itself.
LRESULT AccessibleObjectOf(HWND control, WPARAM flags, LPARAM objectId);
// Tells screen readers that what the label says has changed (a live region).
void AnnounceChange(HWND label);
// Tells them the name of a window (the install page's heading) has changed.
void AnnounceNameChange(HWND window);

}  // namespace pravonell::ui
