#include "ui/master_window.h"

#include <stdexcept>

#include "customer/page_check.h"
#include "customer/tax_id.h"
#include "engine/error.h"
#include "engine/text.h"
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
  HWND front = FrontPage();
  return front != nullptr && IsDialogMessageW(front, &message);
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
      if (wParam == 0) throw Error(L"Falha provocada pelo teste");
      throw std::runtime_error("falha provocada pelo teste");
    case kTestCounterMessage:
      return wParam == kRunsFinished ? runsFinished_ : wParam == kClicksIgnored ? clicksIgnored_ : 0;
#endif
    case WM_DESTROY:
      if (frmMaster == this) frmMaster = nullptr;
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void MasterWindow::OnCommand(int id, int code) {
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
  if (engine_->ports.CanFocus(Field::CpfCnpj)) engine_->ports.SetFocus(Field::CpfCnpj);
  SendToBack(kSbTermos);
  BringToFront(kSbCadastro);
}

void MasterWindow::BitBtn2Click() { PostMessageW(hwnd_, WM_CLOSE, 0, 0); }

void MasterWindow::BitBtn3Click() {
  try {
    if (ValidaCadastro(engine_->ports)) {
      SendToBack(kSbCadastro);
      BringToFront(kSbInstall);
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
