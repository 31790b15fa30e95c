// Start-up: COM for the GUI thread, the common controls, the main window,
// and the message loop until the window closes.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "platform/win32/system_library.h"
#include "ui/control_ids.h"
#include "ui/master_window.h"

namespace {

// Two installers at once would run into the same folder, and one could
// empty an archive the other is unpacking. A second copy (a double click
// that seemed to do nothing, then another) brings the first one's window to
// the front and ends without a window of its own. The first copy may still
// be making its window; it is looked for a little while.
bool AnotherCopyIsRunning(HANDLE& instanceMutex) {
  instanceMutex = CreateMutexW(nullptr, FALSE, L"Local\\Pravonell.Instalador");
  if (instanceMutex == nullptr || GetLastError() != ERROR_ALREADY_EXISTS) return false;
  for (int i = 0; i < 100; ++i) {
    if (const HWND first = FindWindowW(pravonell::ui::kMainWindowClass, nullptr); first != nullptr) {
      if (IsIconic(first)) ShowWindow(first, SW_RESTORE);
      SetForegroundWindow(first);
      break;
    }
    Sleep(100);
  }
  return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  // Before anything else can load a DLL: only from the system folder.
  pravonell::win32::LoadDllsFromSystemFolderOnly();
  HANDLE instanceMutex = nullptr;
  if (AnotherCopyIsRunning(instanceMutex)) {
    CloseHandle(instanceMutex);
    return 0;
  }
  // A single-threaded apartment: the shell's link object and the picture
  // decoder need it.
  CoInitialize(nullptr);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
  if (const auto initCommonControlsEx =
          pravonell::win32::CommonControlsFunctionAs<decltype(&InitCommonControlsEx)>("InitCommonControlsEx")) {
    initCommonControlsEx(&controls);
  }

  int exitCode = 1;
  {
    pravonell::ui::MasterWindow window(instance);
    if (window.Create()) {
      pravonell::ui::frmMaster = &window;
      window.Show(show);
      MSG message;
      while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!window.PreTranslate(message)) {
          TranslateMessage(&message);
          DispatchMessageW(&message);
        }
      }
      exitCode = static_cast<int>(message.wParam);
    }
  }
  CoUninitialize();
  if (instanceMutex != nullptr) CloseHandle(instanceMutex);
  return exitCode;
}
