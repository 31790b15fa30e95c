#include "ui/barrier.h"

#include <windows.h>

#include "ui/control_ids.h"
#include "ui/master_window.h"

namespace pravonell::ui {

void ReportEscaped(const std::wstring& message) {
  static bool reporting = false;
  if (reporting) return;
  reporting = true;
  if (frmMaster != nullptr) {
    frmMaster->ShowError(message);
  } else {
    MessageBoxW(nullptr, message.c_str(), kMainWindowCaption, MB_OK | MB_ICONERROR);
  }
  reporting = false;
}

}  // namespace pravonell::ui
