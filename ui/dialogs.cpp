#include "ui/dialogs.h"

#include <shlobj.h>

#include "customer/page_check.h"
#include "ui/barrier.h"
#include "ui/control_ids.h"

namespace pravonell::ui {

POINT CentredOnMonitorOf(HWND window, int width, int height) {
  MONITORINFO monitor{sizeof monitor};
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
  return {monitor.rcWork.left + (monitor.rcWork.right - monitor.rcWork.left - width) / 2,
          monitor.rcWork.top + (monitor.rcWork.bottom - monitor.rcWork.top - height) / 2};
}

namespace {

// Moves a dialog, keeping its size, to the centre of the owner's monitor.
void CentreOnMonitorOf(HWND dialog, HWND owner, UINT flags) {
  RECT rect;
  GetWindowRect(dialog, &rect);
  const POINT at = CentredOnMonitorOf(owner, rect.right - rect.left, rect.bottom - rect.top);
  SetWindowPos(dialog, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | flags);
}

// A message box is centred as it is activated, through a hook of this thread.
HHOOK centringHook = nullptr;
HWND centringOwner = nullptr;

LRESULT CALLBACK CentreMessageBox(int code, WPARAM wParam, LPARAM lParam) {
  Barrier(0, [&] {
    if (code != HCBT_ACTIVATE) return 0;
    CentreOnMonitorOf(reinterpret_cast<HWND>(wParam), centringOwner, SWP_NOZORDER | SWP_NOACTIVATE);
    UnhookWindowsHookEx(centringHook);
    centringHook = nullptr;
    return 0;
  });
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

int CALLBACK CentreFolderDialog(HWND dialog, UINT message, LPARAM, LPARAM owner) {
  return Barrier(0, [&] {
    if (message == BFFM_INITIALIZED) CentreOnMonitorOf(dialog, reinterpret_cast<HWND>(owner), SWP_NOZORDER);
    return 0;
  });
}

}  // namespace

void CentredMessageBox(HWND owner, const std::wstring& text, UINT type) {
  centringOwner = owner;
  centringHook = SetWindowsHookExW(WH_CBT, CentreMessageBox, nullptr, GetCurrentThreadId());
  MessageBoxW(owner, text.c_str(), kMainWindowCaption, type);
  if (centringHook != nullptr) UnhookWindowsHookEx(centringHook);
  centringHook = nullptr;
}

std::wstring SelectADirectory(HWND owner, const std::wstring& title) {
  BROWSEINFOW browse{};
  browse.hwndOwner = owner;
  browse.lpszTitle = title.c_str();
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_NONEWFOLDERBUTTON;
  browse.lpfn = CentreFolderDialog;
  browse.lParam = reinterpret_cast<LPARAM>(owner);
  std::wstring path;
  if (LPITEMIDLIST items = SHBrowseForFolderW(&browse)) {
    wchar_t buffer[MAX_PATH] = {};
    if (SHGetPathFromIDListW(items, buffer)) path = buffer;
    CoTaskMemFree(items);
  }
  return WithTrailingBackslash(path);
}

}  // namespace pravonell::ui
