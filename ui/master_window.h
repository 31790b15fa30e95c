// The installer's one window, TfrmMaster: the banner, and three stacked
// pages (terms, customer data, installation) of which the one in front is
// shown. Its handlers lead from page to page and start the installation run.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <set>
#include <string>

#include "ui/base_window.h"
#include "ui/control_ids.h"
#include "ui/glossy.h"
#include "ui/images.h"
#include "ui/install_heading.h"

namespace pravonell::ui {

struct Engine;
class Painter;

class MasterWindow final : public BaseWindow<MasterWindow> {
 public:
  explicit MasterWindow(HINSTANCE instance);
  ~MasterWindow();
  MasterWindow(const MasterWindow&) = delete;
  MasterWindow& operator=(const MasterWindow&) = delete;

  // Creates the window and its controls; FormCreate runs here.
  bool Create();
  // Shows the window centred on its monitor; FormShow runs here.
  void Show(int showCommand);
  // Keyboard navigation (Tab, arrows, Enter, the access keys) within the
  // page in front.
  bool PreTranslate(MSG& message);

  HWND Control(ControlId id) const;

  // The window operations the engine uses.
  void ProcessMessages();
  void ShowMessagePos(const std::wstring& text);  // no icon, OK, centred on the screen
  void ShowError(const std::wstring& message);     // the default error display

  // The install page's heading: repainted only when what it says changes.
  const InstallHeading& heading() const { return heading_; }
  void SetHeading(const InstallHeading& heading);

 private:
  friend class BaseWindow<MasterWindow>;
  friend class Painter;

  static LRESULT CALLBACK ContainerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ControlSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR id, DWORD_PTR self);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void AddSubclass(HWND control);
  static void RemoveSubclass(HWND control);

  void CreateControls();
  // Names for screen readers of the controls whose text does not say it.
  void Describe(HWND control);
  // The window's colours or, in high contrast, the system's.
  void ApplyPalette();
  bool UsesHighContrast() const;
  // The access keys (Alt+A, Alt+C, Alt+G, Alt+I) and Ctrl+Tab out of the
  // terms text; true when the key was one of them.
  bool HandleKeyboard(const MSG& message);
  HWND Add(ControlId id, ControlId parent, const wchar_t* className, const wchar_t* text, DWORD style,
           DWORD exStyle = 0);
  void Layout();
  void ApplyFonts();
  int Scale(int value) const { return MulDiv(value, dpi_, 96); }
  HWND FrontPage() const;
  // True unless the control is on a page that is not in front.
  bool OnFrontPage(HWND control) const;
  void BringToFront(ControlId page);
  void SendToBack(ControlId page);

  void OnCommand(int id, int code);
  void OnScroll(HWND bar, int code);

  // Handlers
  void FormCreate();
  void FormShow();
  void AbreTela();
  void ScrollBar1Change();
  void BitBtn1Click();
  void BitBtn2Click();
  void BitBtn3Click();
  void BitBtn7Click();
  void edCPFCNPJExit();
  void edDirInstalacaoExit();
  void Image2Click();
  bool FormClose();

  HINSTANCE instance_;
  int dpi_ = 96;
  std::map<int, HWND> controls_;
  glossy::Fonts fonts_;
  Picture banner_, tile_, browse_;
  std::unique_ptr<Painter> painter_;
  InstallHeading heading_;
  std::set<HWND> hot_;
  HWND lastFocus_ = nullptr;
  bool running_ = false;
  int forcedHighContrast_ = -1;  // test builds: 1 or 0 stands for the system's setting
  bool closeAfterRun_ = false;
  unsigned runsFinished_ = 0;
  unsigned clicksIgnored_ = 0;
  unsigned marksSeen_ = 0;
  std::unique_ptr<Engine> engine_;
};

// The one main window; cleared when it closes, so nothing is written
// through it afterwards.
extern MasterWindow* frmMaster;

}  // namespace pravonell::ui
