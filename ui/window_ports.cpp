#include "ui/window_ports.h"

#include <windows.h>
#include <commctrl.h>

#include "ui/accessibility.h"
#include "ui/master_window.h"

namespace pravonell::ui {

namespace {

std::wstring TextOf(HWND control) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return text;
}

ControlId IdOf(Field field) {
  switch (field) {
    case Field::CpfCnpj: return kEdCPFCNPJ;
    case Field::NomeRazao: return kEdNomeRazao;
    case Field::Email: return kEdEmail;
    case Field::DirInstalacao: return kEdDirInstalacao;
  }
  return kEdCPFCNPJ;
}

}  // namespace

// What the labels say during a run is announced to screen readers; the
// percentage of a download, which changes many times a second, is not (the
// heading's line says where a download stands).
void WindowPorts::SetModuleText(const std::wstring& text) {
  const HWND label = window_.Control(kLblModulo);
  if (TextOf(label) == text) return;
  SetWindowTextW(label, text.c_str());
  AnnounceChange(label);
}
void WindowPorts::SetModuleVisible(bool visible) {
  ShowWindow(window_.Control(kLblModulo), visible ? SW_SHOW : SW_HIDE);
}
void WindowPorts::SetStatusText(const std::wstring& text) {
  const HWND label = window_.Control(kLblStatus);
  const bool percentage = text.rfind(L"Download ... ", 0) == 0;
  SetWindowTextW(label, text.c_str());
  if (!percentage && !text.empty()) AnnounceChange(label);
}
std::wstring WindowPorts::StatusText() { return TextOf(window_.Control(kLblStatus)); }
void WindowPorts::SetStatusVisible(bool visible) {
  ShowWindow(window_.Control(kLblStatus), visible ? SW_SHOW : SW_HIDE);
}
// The maximum is answered from what was last set, not read back from the
// bar: a bar asked for a range of 0 to 0 (a download of unknown length) may
// keep its old range, and a percentage of that would mean nothing.
void WindowPorts::SetProgressMax(std::int32_t max) {
  progressMax_ = max;
  SendMessageW(window_.Control(kPbProgresso), PBM_SETRANGE32, 0, max);
}
std::int32_t WindowPorts::ProgressMax() { return progressMax_; }
void WindowPorts::SetProgressPosition(std::int32_t position) {
  SendMessageW(window_.Control(kPbProgresso), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}
void WindowPorts::SetCaption(const std::wstring& caption) {
  if (frmMaster != nullptr) SetWindowTextW(frmMaster->hwnd(), caption.c_str());
}

void WindowPorts::SetStep(InstallStep step, const std::wstring& detail) {
  window_.SetHeading(window_.heading().With(step, detail));
}
void WindowPorts::SetStopped() { window_.SetHeading(window_.heading().Stopped()); }

void WindowPorts::Repaint() {
  RedrawWindow(window_.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}
void WindowPorts::ProcessMessages() { window_.ProcessMessages(); }
void WindowPorts::ShowMessage(const std::wstring& text) { window_.ShowMessagePos(text); }
void WindowPorts::RequestClose() { PostMessageW(window_.hwnd(), WM_CLOSE, 0, 0); }

std::wstring WindowPorts::Text(Field field) { return TextOf(window_.Control(IdOf(field))); }
void WindowPorts::SetText(Field field, const std::wstring& text) {
  SetWindowTextW(window_.Control(IdOf(field)), text.c_str());
}
bool WindowPorts::CanFocus(Field field) {
  // The field and every container up to the window are visible and enabled.
  HWND control = window_.Control(IdOf(field));
  for (HWND w = control; w != nullptr; w = GetParent(w)) {
    if (!IsWindowVisible(w) || !IsWindowEnabled(w)) return false;
    if (w == window_.hwnd()) return true;
  }
  return false;
}
void WindowPorts::SetFocus(Field field) { ::SetFocus(window_.Control(IdOf(field))); }
int WindowPorts::PersonType() {
  if (SendMessageW(window_.Control(kRbPessoaFisica), BM_GETCHECK, 0, 0) == BST_CHECKED) return kPessoaFisica;
  if (SendMessageW(window_.Control(kRbPessoaJuridica), BM_GETCHECK, 0, 0) == BST_CHECKED) return kPessoaJuridica;
  return -1;
}
void WindowPorts::SetPersonType(int item) {
  SendMessageW(window_.Control(kRbPessoaFisica), BM_SETCHECK, item == kPessoaFisica ? BST_CHECKED : BST_UNCHECKED, 0);
  SendMessageW(window_.Control(kRbPessoaJuridica), BM_SETCHECK,
               item == kPessoaJuridica ? BST_CHECKED : BST_UNCHECKED, 0);
}

}  // namespace pravonell::ui
