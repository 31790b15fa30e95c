// Start-up: COM for the GUI thread, the common controls, the main window,
// and the message loop until the window closes.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "platform/win32/system_library.h"
#include "ui/master_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  // Before anything else can load a DLL: only from the system folder.
  pravonell::win32::LoadDllsFromSystemFolderOnly();
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
  return exitCode;
}
