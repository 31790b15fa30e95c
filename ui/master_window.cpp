#include "ui/master_window.h"

#include <oleacc.h>

#include <stdexcept>

#include "customer/page_check.h"
#include "customer/tax_id.h"
#include "engine/error.h"
#include "engine/text.h"
#include "ui/accessibility.h"
#include "ui/dialogs.h"
#include "ui/engine_wiring.h"
#include "ui/layout.h"
#include "ui/painting.h"
#include "ui/resources.h"

namespace pravonell::ui {

MasterWindow* frmMaster = nullptr;

MasterWindow::MasterWindow(HINSTANCE instance) : instance_(instance), painter_(std::make_unique<Painter>(*this)) {}

MasterWindow::~MasterWindow() {
  if (frmMaster == this) frmMaster = nullptr;
}

HWND MasterWindow::Control(ControlId id) const {
  const auto found = controls_.find(id);
  return found != controls_.end() ? found->second : nullptr;
}

bool MasterWindow::Create() {
  WNDCLASSEXW windowClass{sizeof windowClass};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance_;
  windowClass.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(IDI_PRAVONELL));
  windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_PRAVONELL), IMAGE_ICON,
                                                      GetSystemMetrics(SM_CXSMICON),
                                                      GetSystemMetrics(SM_CYSMICON), 0));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kMainWindowClass;
  RegisterClassExW(&windowClass);

  WNDCLASSEXW containerClass{sizeof containerClass};
  containerClass.lpfnWndProc = ContainerProc;
  containerClass.hInstance = instance_;
  containerClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  containerClass.lpszClassName = kContainerClass;
  RegisterClassExW(&containerClass);

  engine_ = std::make_unique<Engine>(*this);
  banner_.Load(instance_, IDR_BANNER);
  tile_.Load(instance_, IDR_TILE);
  browse_.Load(instance_, IDR_BROWSE);

  // Sizeable, with the system menu and the close button only.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN;
  hwnd_ = CreateWindowExW(0, kMainWindowClass, kMainWindowCaption, style, CW_USEDEFAULT, CW_USEDEFAULT,
                          kClientWidth, kClientHeight, nullptr, nullptr, instance_, this);
  if (hwnd_ == nullptr) return false;
  dpi_ = DpiOf(hwnd_);
  fonts_.Create(dpi_);
  // A screen reader reaches only the page in front.
  SetReachable([this](HWND control) { return OnFrontPage(control); });
  CreateControls();
  FormCreate();
  return true;
}

void MasterWindow::Show(int showCommand) {
  // The client area at this monitor's scale, centred on its work area.
  RECT frame{0, 0, Scale(kClientWidth + 2 * kPageInset), Scale(kClientHeight + 2 * kPageInset)};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE, 0);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  const POINT at = CentredOnMonitorOf(hwnd_, width, height);
  SetWindowPos(hwnd_, nullptr, at.x, at.y, width, height, SWP_NOZORDER);
  FormShow();
  ShowWindow(hwnd_, showCommand);
  UpdateWindow(hwnd_);
  SetFocus(Control(kMemo1));
}

bool MasterWindow::PreTranslate(MSG& message) {
  if (hwnd_ == nullptr || !IsWindow(hwnd_)) return false;
  if (HandleKeyboard(message)) return true;
  HWND front = FrontPage();
  return front != nullptr && IsDialogMessageW(front, &message);
}

bool MasterWindow::HandleKeyboard(const MSG& message) {
  const HWND front = FrontPage();
  if (front == nullptr) return false;
  if (message.message == WM_SYSKEYDOWN && (message.lParam & (1 << 29)) != 0) {
    // Each page's own access keys press its buttons, as a click would.
    struct AccessKey {
      WPARAM key;
      ControlId page, button;
    };
    static constexpr AccessKey kAccessKeys[] = {{'A', kSbTermos, kBitBtn1},
                                                {'C', kSbTermos, kBitBtn2},
                                                {'G', kSbCadastro, kBitBtn3},
                                                {'I', kSbInstall, kImage2}};
    for (const AccessKey& access : kAccessKeys) {
      if (message.wParam == access.key && front == Control(access.page)) {
        SendMessageW(hwnd_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEACCEL | UISF_HIDEFOCUS), 0);
        SetFocus(Control(access.button));
        SendMessageW(Control(access.button), BM_CLICK, 0, 0);
        return true;
      }
    }
    return false;
  }
  if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) {
    // CANCELAR closes without asking, so a stray Escape must not: it does
    // nothing on any page.
    return true;
  }
  if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN) {
    // Enter presses the button that has the focus, and on the customer page
    // GRAVAR, its default button, from any field; the terms text keeps it.
    const int id = GetDlgCtrlID(message.hwnd);
    if (IsChild(front, message.hwnd) &&
        (id == kBitBtn1 || id == kBitBtn2 || id == kBitBtn3 || id == kBitBtn7 || id == kImage2)) {
      SendMessageW(message.hwnd, BM_CLICK, 0, 0);
      return true;
    }
    if (front == Control(kSbCadastro) && IsChild(front, message.hwnd)) {
      SendMessageW(Control(kBitBtn3), BM_CLICK, 0, 0);
      return true;
    }
    return false;
  }
  // The terms text keeps Tab for itself, as a multi-line text does; Ctrl+Tab
  // (with Shift, backwards) is the usual way out of it.
  if (message.message == WM_KEYDOWN && message.wParam == VK_TAB && message.hwnd == Control(kMemo1) &&
      (GetKeyState(VK_CONTROL) & 0x8000) != 0) {
    const bool back = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    if (const HWND next = GetNextDlgTabItem(front, message.hwnd, back ? TRUE : FALSE)) SetFocus(next);
    return true;
  }
  return false;
}

bool MasterWindow::UsesHighContrast() const {
  if (forcedHighContrast_ >= 0) return forcedHighContrast_ == 1;
  return glossy::HighContrastOn();
}

void MasterWindow::Describe(HWND control) {
  switch (GetDlgCtrlID(control)) {
    case kMemo1: ui::Describe(control, L"Termos de serviço"); break;
    case kEdDirInstalacao: ui::Describe(control, L"DIRETÓRIO DE INSTALAÇÃO"); break;
    case kPbProgresso: ui::Describe(control, L"Progresso", ROLE_SYSTEM_PROGRESSBAR); break;
    case kBitBtn7: ui::Describe(control, L"Selecionar pasta de instalação", ROLE_SYSTEM_PUSHBUTTON); break;
    case kImage2: ui::Describe(control, L"INSTALAR", ROLE_SYSTEM_PUSHBUTTON); break;
    default: break;
  }
}

void MasterWindow::ProcessMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    if (!PreTranslate(message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

void MasterWindow::ShowMessagePos(const std::wstring& text) { CentredMessageBox(hwnd_, text, MB_OK); }

void MasterWindow::SetHeading(const InstallHeading& heading) {
  if (heading == heading_) return;
  heading_ = heading;
  const HWND page = Control(kSbInstall);
  SetWindowTextW(page, heading_.Text().c_str());
  AnnounceNameChange(page);
  RECT upper;
  GetClientRect(page, &upper);
  upper.bottom = Scale(kHeadingHeight);
  InvalidateRect(page, &upper, FALSE);
}

void MasterWindow::ShowError(const std::wstring& message) {
  std::wstring text = message;
  if (!text.empty() && text.back() > L'.') text += L'.';
  CentredMessageBox(hwnd_, text, MB_OK | MB_ICONERROR);
}

// ---- messages ---------------------------------------------------------------

LRESULT MasterWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_VSCROLL:
      if (reinterpret_cast<HWND>(lParam) == Control(kScrollBar1)) {
        OnScroll(reinterpret_cast<HWND>(lParam), LOWORD(wParam));
        return 0;
      }
      break;
    case WM_DRAWITEM:
      painter_->DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
      return reinterpret_cast<LRESULT>(
          painter_->ColorFor(message, reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam)));
    case WM_ERASEBKGND: {
      RECT rect;
      GetClientRect(hwnd_, &rect);
      painter_->EraseWindow(reinterpret_cast<HDC>(wParam), rect);
      return 1;
    }
    case WM_SIZE:
      Layout();
      return 0;
    case WM_SETTINGCHANGE:
      // The person turned high contrast on or off while the window is open.
      if (wParam == SPI_SETHIGHCONTRAST) ApplyPalette();
      break;
    case WM_SYSCOLORCHANGE:
    case WM_THEMECHANGED:
      ApplyPalette();
      break;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      RECT frame{0, 0, Scale(kClientWidth + 2 * kPageInset), Scale(kClientHeight + 2 * kPageInset)};
      AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE, 0);
      info->ptMinTrackSize = {frame.right - frame.left, frame.bottom - frame.top};
      return 0;
    }
    case WM_DPICHANGED: {  // the window moved to a monitor of another scale
      dpi_ = HIWORD(wParam);
      fonts_.Create(dpi_);
      ApplyFonts();
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      Layout();
      return 0;
    }
    case WM_ACTIVATE:
      // The control that had the focus gets it back when the window is
      // active again, after a message box for instance.
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(hwnd_, focus)) lastFocus_ = focus;
      } else if (lastFocus_ != nullptr && IsWindow(lastFocus_)) {
        SetFocus(lastFocus_);
        return 0;
      }
      break;
    case WM_SETFOCUS:
      if (lastFocus_ != nullptr && IsWindow(lastFocus_)) SetFocus(lastFocus_);
      return 0;
    case WM_CLOSE:
      if (FormClose()) DestroyWindow(hwnd_);
      return 0;
#ifdef PRAVONELL_TEST_HOOKS
    case kTestFaultMessage:
      // Lets the GUI tests see what an error escaping a handler does.
      if (wParam == 2 || wParam == 3) {
        painter_->failPaints = wParam == 2;
        return 0;
      }
      if (wParam == 4 || wParam == 5) {
        // High contrast as if the system had it on (4) or off (5).
        forcedHighContrast_ = wParam == 4 ? 1 : 0;
        ApplyPalette();
        return 0;
      }
      if (wParam == 0) throw Error(L"Falha provocada pelo teste");
      throw std::runtime_error("falha provocada pelo teste");
    case kTestCounterMessage:
      // A mark posted (lParam 1) is counted once the messages posted before
      // it have been handled.
      if (wParam == kMarksSeen && lParam == 1) return ++marksSeen_;
      return wParam == kRunsFinished    ? runsFinished_
             : wParam == kClicksIgnored ? clicksIgnored_
             : wParam == kMarksSeen     ? marksSeen_
                                        : 0;
#endif
    case WM_DESTROY:
      SetReachable(nullptr);
      if (frmMaster == this) frmMaster = nullptr;
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void MasterWindow::OnCommand(int id, int code) {
  // A control of a page behind does nothing, whatever pressed it (a screen
  // reader's object navigation can reach what is hidden).
  if ((code == BN_CLICKED || code == STN_CLICKED) && !OnFrontPage(Control(static_cast<ControlId>(id)))) return;
  if (code == BN_CLICKED) {
    switch (id) {
      case kBitBtn1: BitBtn1Click(); return;
      case kBitBtn2: BitBtn2Click(); return;
      case kBitBtn3: BitBtn3Click(); return;
      case kBitBtn7: BitBtn7Click(); return;
      default: break;
    }
  }
  if (code == STN_CLICKED && id == kImage2) Image2Click();
  if (code == EN_KILLFOCUS && id == kEdCPFCNPJ) edCPFCNPJExit();
  if (code == EN_KILLFOCUS && id == kEdDirInstalacao) edDirInstalacaoExit();
}

// The bar moves by one for an arrow or a page click and follows the thumb.
void MasterWindow::OnScroll(HWND bar, int code) {
  SCROLLINFO info{sizeof info, SIF_ALL};
  GetScrollInfo(bar, SB_CTL, &info);
  int position = info.nPos;
  switch (code) {
    case SB_LINEUP:
    case SB_PAGEUP: position -= 1; break;
    case SB_LINEDOWN:
    case SB_PAGEDOWN: position += 1; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: position = info.nTrackPos; break;
    case SB_TOP: position = info.nMin; break;
    case SB_BOTTOM: position = info.nMax; break;
    default: return;
  }
  position = std::max(info.nMin, std::min(info.nMax, position));
  if (position == info.nPos) return;
  SetScrollPos(bar, SB_CTL, position, TRUE);
  ScrollBar1Change();
}

// ---- handlers -----------------------------------------------------------------

void MasterWindow::FormCreate() { engine_->shortcuts.LookUpDesktop(); }

void MasterWindow::FormShow() { AbreTela(); }

void MasterWindow::AbreTela() {
  SendToBack(kSbInstall);
  SendToBack(kSbCadastro);
  BringToFront(kSbTermos);
  // The range is the length of the whole terms text, lines and line ends.
  const int length = GetWindowTextLengthW(Control(kMemo1));
  SetScrollRange(Control(kScrollBar1), SB_CTL, 0, length, TRUE);
}

void MasterWindow::ScrollBar1Change() {
  // Every change of the bar moves the terms one line down.
  SendMessageW(Control(kMemo1), WM_VSCROLL, SB_LINEDOWN, 0);
}

void MasterWindow::BitBtn1Click() {
  // The customer page comes to the front first: a page behind is hidden, and
  // a hidden field cannot take the focus.
  SendToBack(kSbTermos);
  BringToFront(kSbCadastro);
  if (engine_->ports.CanFocus(Field::CpfCnpj)) engine_->ports.SetFocus(Field::CpfCnpj);
}

void MasterWindow::BitBtn2Click() { PostMessageW(hwnd_, WM_CLOSE, 0, 0); }

void MasterWindow::BitBtn3Click() {
  try {
    if (ValidaCadastro(engine_->ports)) {
      SendToBack(kSbCadastro);
      BringToFront(kSbInstall);
      // The next thing to do is INSTALAR: the focus goes there, and not stay
      // on GRAVAR, now on a page behind.
      SetFocus(Control(kImage2));
    }
  } catch (const Error& e) {
    ShowMessagePos(e.message());
  }
}

void MasterWindow::BitBtn7Click() {
  engine_->ports.SetText(Field::DirInstalacao, SelectADirectory(hwnd_, L"Selecione a Pasta de Instalação!"));
}

void MasterWindow::edCPFCNPJExit() { VerificaCPFCNPJ(engine_->ports); }

void MasterWindow::edDirInstalacaoExit() {
  const std::wstring text = engine_->ports.Text(Field::DirInstalacao);
  const std::wstring fixed = WithTrailingBackslash(text);
  if (fixed != text) engine_->ports.SetText(Field::DirInstalacao, fixed);
}

void MasterWindow::Image2Click() {
  // A click while a run is going on is not a second run.
  if (running_) {
    ++clicksIgnored_;
    return;
  }
  ShowWindow(Control(kPbProgresso), SW_SHOW);
  UpdateWindow(Control(kPbProgresso));
  running_ = true;
  engine_->downloader.ForgetProxy();
  try {
    engine_->run.InstalarSistema();
  } catch (const Error& e) {
    if (!closeAfterRun_) ShowError(e.message());
  } catch (const std::exception& e) {
    if (!closeAfterRun_) ShowError(WidenLatin1(e.what()));
  } catch (...) {
    // Whatever it was, the run is over: the tile must work again and a
    // close that came meanwhile must still take effect.
    if (!closeAfterRun_) ShowError(kUnexpectedError);
  }
  running_ = false;
  ++runsFinished_;
  if (closeAfterRun_) {
    // The window was closed during the run; it goes now that the run has ended.
    frmMaster = nullptr;
    DestroyWindow(hwnd_);
  }
}

// True when the window may go now. During a run the close asks the run to
// stop; the window goes once the run has returned.
bool MasterWindow::FormClose() {
  if (running_) {
    closeAfterRun_ = true;
    engine_->control.RequestStop();
    return false;
  }
  frmMaster = nullptr;
  return true;
}

}  // namespace pravonell::ui
