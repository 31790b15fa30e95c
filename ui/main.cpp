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
//
// The mark is one for the whole machine (Global\): a second person on the
// same terminal server must not install into the same folder at once. A
// mutex that exists but that this copy may not open belongs to a copy with
// more rights (a technician's "Executar como administrador") or to another
// person: that is another copy too. One whose window this copy cannot find
// (another session's) is told in a message, and this copy ends.
bool AnotherCopyIsRunning(HANDLE& instanceMutex) {
  instanceMutex = CreateMutexW(nullptr, FALSE, L"Global\\Pravonell.Instalador");
  const DWORD error = GetLastError();
  if (instanceMutex != nullptr && error != ERROR_ALREADY_EXISTS) return false;
  if (instanceMutex == nullptr && error != ERROR_ACCESS_DENIED) return false;  // no guard to be had
  for (int i = 0; i < 100; ++i) {
    if (const HWND first = FindWindowW(pravonell::ui::kMainWindowClass, nullptr); first != nullptr) {
      if (IsIconic(first)) ShowWindow(first, SW_RESTORE);
      SetForegroundWindow(first);
      return true;
    }
    Sleep(100);
  }
  MessageBoxW(nullptr,
              L"Já existe uma instalação do sistema Varnisca em andamento neste computador, talvez de outro usuário. "
              L"Aguarde o fim dela e execute o Pravonell novamente.",
              pravonell::ui::kMainWindowCaption, MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
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
