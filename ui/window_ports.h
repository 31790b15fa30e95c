// The engine's view of the window: the status display, the window
// operations, the customer page and the directory field, bound to the
// window's controls.
#pragma once

#include "customer/customer_page.h"
#include "engine/ports.h"

namespace pravonell::ui {

class MasterWindow;

class WindowPorts final : public StatusDisplay,
                          public WindowOps,
                          public CustomerPage,
                          public InstallForm,
                          public InstallOverview {
 public:
  explicit WindowPorts(MasterWindow& window) : window_(window) {}

  // StatusDisplay
  void SetModuleText(const std::wstring& text) override;
  void SetModuleVisible(bool visible) override;
  void SetStatusText(const std::wstring& text) override;
  std::wstring StatusText() override;
  void SetStatusVisible(bool visible) override;
  void SetProgressMax(std::int32_t max) override;
  std::int32_t ProgressMax() override;
  void SetProgressPosition(std::int32_t position) override;
  void SetCaption(const std::wstring& caption) override;

  // WindowOps
  void Repaint() override;
  void ProcessMessages() override;
  void ShowMessage(const std::wstring& text) override;
  void RequestClose() override;

  // CustomerPage
  std::wstring Text(Field field) override;
  void SetText(Field field, const std::wstring& text) override;
  bool CanFocus(Field field) override;
  void SetFocus(Field field) override;
  int PersonType() override;
  void SetPersonType(int item) override;

  // InstallForm
  std::wstring DirectoryText() override { return Text(Field::DirInstalacao); }

  // InstallOverview
  void SetStep(InstallStep step, const std::wstring& detail) override;
  void SetStopped() override;

 private:
  MasterWindow& window_;
  std::int32_t progressMax_ = 100;  // the bar's own default range
};

}  // namespace pravonell::ui
