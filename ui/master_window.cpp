#include "ui/master_window.h"

#include <commctrl.h>
#include <shlobj.h>
#include <uxtheme.h>

#include <stdexcept>

#include "customer/config_writer.h"
#include "customer/page_check.h"
#include "customer/tax_id.h"
#include "engine/download.h"
#include "engine/error.h"
#include "engine/extraction.h"
#include "engine/installation_run.h"
#include "engine/progress.h"
#include "engine/setups.h"
#include "platform/win32/system_library.h"
#include "platform/win32/win_files.h"
#include "platform/win32/win_network.h"
#include "platform/win32/win_processes.h"
#include "platform/win32/win_proxy.h"
#include "platform/win32/win_profile.h"
#include "ui/resources.h"
#include "ui/window_ports.h"

#define PRAVONELL_WIDEN2(x) L##x
#define PRAVONELL_WIDEN(x) PRAVONELL_WIDEN2(x)

namespace pravonell::ui {

MasterWindow* frmMaster = nullptr;

namespace {

constexpr const wchar_t* kContainerClass = L"PravonellContainer";
constexpr int kClientWidth = 646;   // at 96 dots per inch
constexpr int kClientHeight = 418;
constexpr int kPageInset = 2;       // the pages' single border
constexpr int kMemoWidthBeside = 17;  // the scroll bar beside the terms
constexpr int kFooterHeight = 39;

// Where each control sits inside its parent's client area, at 96 dpi. The
// controls aligned to an edge of their parent are placed by Layout().
struct Placement {
  ControlId id;
  int x, y, w, h;
};

constexpr Placement kPlacements[] = {
    {kBitBtn1, 281, 8, 75, 25},
    {kRbPessoaFisica, 10, 9, 200, 18},
    {kRbPessoaJuridica, 10, 30, 200, 18},
    {kLabel2, 3, 72, 200, 13},
    {kEdCPFCNPJ, 3, 85, 203, 21},
    {kLabel3, 3, 115, 250, 13},
    {kEdNomeRazao, 3, 134, 431, 21},
    {kLabel4, 3, 164, 200, 13},
    {kEdEmail, 3, 178, 431, 21},
    {kGroupBox1, 3, 223, 431, 66},
    {kLabel7, 6, 20, 250, 13},
    {kBitBtn7, 403, 35, 23, 23},
    {kEdDirInstalacao, 6, 36, 394, 21},
    {kBitBtn3, 3, 380, 75, 25},
    {kLblModulo, 6, 303, 326, 24},
    {kLblStatus, 6, 334, 326, 24},
    {kPbProgresso, 6, 365, 332, 40},
    {kPanel3, 339, 309, 97, 97},
    {kImage2, 7, 4, 81, 72},
};

int DpiOf(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (getDpiForWindow != nullptr && window != nullptr) {
    const UINT dpi = getDpiForWindow(window);
    if (dpi != 0) return static_cast<int>(dpi);
  }
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

// What the error display says of an exception that carries no message.
constexpr const wchar_t* kUnexpectedError = L"Erro inesperado.";

// An exception's what() as the person sees it; bytes past ASCII as Latin-1.
std::wstring Widen(const char* text) {
  std::wstring wide;
  for (const char* c = text; *c != '\0'; ++c) wide += static_cast<wchar_t>(static_cast<unsigned char>(*c));
  return wide;
}

// Shows an error that escaped a handler the way the window shows every
// error. One at a time: a fault in painting, say, would otherwise stack a
// box for every repaint the first box causes.
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

// Every procedure that Windows calls runs its body through this barrier.
// An exception must not reach the system's frames: in the 32-bit program it
// cannot unwind through them, and the program would end on the spot. What
// escapes is shown, and the procedure answers `fallback`.
template <typename Result, typename Body>
Result Barrier(Result fallback, Body body) noexcept {
  try {
    return body();
  } catch (const Error& e) {
    ReportEscaped(e.message());
  } catch (const RunStopped&) {
    // a stop that outlived its run: nothing to tell
  } catch (const std::exception& e) {
    ReportEscaped(Widen(e.what()));
  } catch (...) {
    ReportEscaped(kUnexpectedError);
  }
  return fallback;
}

// The subclass procedures' default, from the common controls.
LRESULT DefaultSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  static const auto defSubclassProc = win32::CommonControlsFunctionAs<decltype(&DefSubclassProc)>("DefSubclassProc");
  return defSubclassProc != nullptr ? defSubclassProc(window, message, wParam, lParam)
                                    : DefWindowProcW(window, message, wParam, lParam);
}

// Message boxes are centred on the monitor of the window that owns them.
HHOOK centringHook = nullptr;
HWND centringOwner = nullptr;

LRESULT CALLBACK CentreMessageBox(int code, WPARAM wParam, LPARAM lParam) {
  Barrier(0, [&] {
    if (code != HCBT_ACTIVATE) return 0;
    HWND box = reinterpret_cast<HWND>(wParam);
    MONITORINFO monitor{sizeof monitor};
    GetMonitorInfoW(MonitorFromWindow(centringOwner, MONITOR_DEFAULTTOPRIMARY), &monitor);
    RECT rect;
    GetWindowRect(box, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    SetWindowPos(box, nullptr, monitor.rcWork.left + (monitor.rcWork.right - monitor.rcWork.left - width) / 2,
                 monitor.rcWork.top + (monitor.rcWork.bottom - monitor.rcWork.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    UnhookWindowsHookEx(centringHook);
    centringHook = nullptr;
    return 0;
  });
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

void CentredMessageBox(HWND owner, const std::wstring& text, UINT type) {
  centringOwner = owner;
  centringHook = SetWindowsHookExW(WH_CBT, CentreMessageBox, nullptr, GetCurrentThreadId());
  MessageBoxW(owner, text.c_str(), kMainWindowCaption, type);
  if (centringHook != nullptr) UnhookWindowsHookEx(centringHook);
  centringHook = nullptr;
}

// The terms, one line per line of the resource, each ended by CR LF.
std::wstring TermsText(HINSTANCE instance) {
  const std::wstring raw = LoadTextResource(instance, IDR_TERMS);
  std::wstring text;
  std::size_t start = 0;
  while (start < raw.size()) {
    auto end = raw.find(L'\n', start);
    if (end == std::wstring::npos) end = raw.size();
    std::wstring line = raw.substr(start, end - start);
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    text += line + L"\r\n";
    start = end + 1;
  }
  return text;
}

}  // namespace

namespace {

#ifdef PRAVONELL_TEST_HOOKS
// Test builds only: a name lookup as slow as a test wants. While
// C:\standin\resolve.hold exists, a lookup writes C:\standin\resolving and
// waits (a minute at most) for the hold to go, as a slow DNS server would.
class HeldLookups final : public http::Network {
 public:
  explicit HeldLookups(std::shared_ptr<http::Network> inner) : inner_(std::move(inner)) {}
  std::string Resolve(const std::string& host) override {
    const wchar_t* const hold = L"C:\\standin\\resolve.hold";
    if (GetFileAttributesW(hold) != INVALID_FILE_ATTRIBUTES) {
      CloseHandle(CreateFileW(L"C:\\standin\\resolving", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
      for (int i = 0; i < 600 && GetFileAttributesW(hold) != INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
    }
    return inner_->Resolve(host);
  }
  std::unique_ptr<http::Connection> Connect(const std::string& address, std::uint16_t port) override {
    return inner_->Connect(address, port);
  }

 private:
  std::shared_ptr<http::Network> inner_;
};
#endif

std::shared_ptr<http::Network> MakeNetwork() {
  auto network = std::make_shared<win32::WinsockNetwork>();
#ifdef PRAVONELL_TEST_HOOKS
  return std::make_shared<HeldLookups>(network);
#else
  return network;
#endif
}

}  // namespace

// The engine, wired to this window and to the Win32 ports.
struct MasterWindow::Engine {
  explicit Engine(MasterWindow& window) : ports(window) {}

  WindowPorts ports;
  ProgramState state;
  win32::Win32FileSystem files;
  win32::Win32Pauses pauses;
  win32::Win32Bitness bitness;
  win32::Win32Processes processes;
  win32::Win32Shell shell;
  win32::Win32ProfileWriter profile;
  RunControl control{ports};
  // Every wait of a run goes through this one, so the window is always served.
  PumpedWaits waits{control, pauses};
  GuardedStatusDisplay display{ports, control};
  ProgressDisplay progress{display, kMainWindowCaption};
  http::HttpClient client{MakeNetwork(), control, waits};
  HttpDownloader downloader{client, PRAVONELL_WIDEN(PRAVONELL_DOWNLOAD_HOST), progress,
                            std::make_shared<win32::WinHttpProxyLookup>(), &waits};
  SiteProbe probe{std::make_shared<win32::WinInetProbe>(), PRAVONELL_WIDEN(PRAVONELL_SITE_HOST), waits};
  ArchiverExtraction extraction{state, files, processes, waits, pauses, ports, control};
  SetupRunner setups{files, processes, waits, pauses};
  DesktopShortcuts shortcuts{state, shell};
  ConfigWriter config{files, profile, ports};
  InstallationRun run{state, RunPorts{ports, files, pauses, waits, display, ports, control, bitness, probe,
                                      downloader, extraction, setups, shortcuts, config}};
};

MasterWindow::MasterWindow(HINSTANCE instance)
    : instance_(instance),
      pageBrush_(CreateSolidBrush(glossy::kPage)),
      installBrush_(CreateSolidBrush(glossy::kInstallPage)),
      windowBrush_(CreateSolidBrush(glossy::kWindow)),
      footerBrush_(CreateSolidBrush(glossy::kFooter)) {}

MasterWindow::~MasterWindow() {
  if (frmMaster == this) frmMaster = nullptr;
  for (HBRUSH brush : {pageBrush_, installBrush_, windowBrush_, footerBrush_}) DeleteObject(brush);
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
  MONITORINFO monitor{sizeof monitor};
  GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  SetWindowPos(hwnd_, nullptr, monitor.rcWork.left + (monitor.rcWork.right - monitor.rcWork.left - width) / 2,
               monitor.rcWork.top + (monitor.rcWork.bottom - monitor.rcWork.top - height) / 2, width, height,
               SWP_NOZORDER);
  FormShow();
  ShowWindow(hwnd_, showCommand);
  UpdateWindow(hwnd_);
  SetFocus(Control(kMemo1));
}

HWND MasterWindow::Add(ControlId id, ControlId parent, const wchar_t* className, const wchar_t* text,
                       DWORD style, DWORD exStyle) {
  HWND parentWindow = parent == 0 ? hwnd_ : Control(parent);
  HWND control = CreateWindowExW(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10,
                                 parentWindow, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_,
                                 nullptr);
  controls_[id] = control;
  return control;
}

void MasterWindow::CreateControls() {
  const DWORD container = WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  const DWORD page = container | WS_TABSTOP;
  const DWORD edit = WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL;
  const DWORD label = SS_LEFT | SS_NOPREFIX;
  const DWORD button = WS_TABSTOP | BS_OWNERDRAW;

  Add(kImage1, ControlId{}, L"STATIC", L"", SS_OWNERDRAW);
  Add(kPnPrincipal, ControlId{}, kContainerClass, L"", container, WS_EX_CONTROLPARENT);
  // The pages, in their tab order; all stay visible and the one in front is shown.
  Add(kSbTermos, kPnPrincipal, kContainerClass, L"", page, WS_EX_CONTROLPARENT);
  Add(kSbCadastro, kPnPrincipal, kContainerClass, L"", page, WS_EX_CONTROLPARENT);
  Add(kSbInstall, kPnPrincipal, kContainerClass, L"", page, WS_EX_CONTROLPARENT);

  // Terms: the memo takes the Tab key for itself, as a multi-line edit does.
  Add(kMemo1, kSbTermos, L"EDIT", L"", WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY | ES_WANTRETURN);
  Add(kGroupBox2, kSbTermos, kContainerClass, L"", container, WS_EX_CONTROLPARENT);
  Add(kBitBtn1, kGroupBox2, L"BUTTON", L"AVANÇAR", button);
  Add(kBitBtn2, kGroupBox2, L"BUTTON", L"CANCELAR", button);
  Add(kScrollBar1, kSbTermos, L"SCROLLBAR", L"", WS_TABSTOP | SBS_VERT);

  // Customer data, created in tab order: the three fields, the person type,
  // the directory frame, then GRAVAR.
  Add(kLabel2, kSbCadastro, L"STATIC", L"CPF/CNPJ", label);
  Add(kEdCPFCNPJ, kSbCadastro, L"EDIT", L"", edit);
  Add(kLabel3, kSbCadastro, L"STATIC", L"NOME/RAZAO SOCIAL", label);
  Add(kEdNomeRazao, kSbCadastro, L"EDIT", L"", edit | ES_UPPERCASE);
  Add(kLabel4, kSbCadastro, L"STATIC", L"EMAIL", label);
  Add(kEdEmail, kSbCadastro, L"EDIT", L"", edit);
  Add(kRgPessoa, kSbCadastro, kContainerClass, L"", container, WS_EX_CONTROLPARENT);
  Add(kRbPessoaFisica, kRgPessoa, L"BUTTON", L"PESSOA FÍSICA", WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON);
  Add(kRbPessoaJuridica, kRgPessoa, L"BUTTON", L"PESSOA JURÍDICA", BS_AUTORADIOBUTTON);
  Add(kGroupBox1, kSbCadastro, kContainerClass, L"Configurações do Computador", container,
      WS_EX_CONTROLPARENT);
  Add(kLabel7, kGroupBox1, L"STATIC", L"DIRETÓRIO DE INSTALAÇÃO", label);
  Add(kBitBtn7, kGroupBox1, L"BUTTON", L"", button);
  Add(kEdDirInstalacao, kGroupBox1, L"EDIT", L"C:\\VARNISCA\\", edit | ES_UPPERCASE);
  Add(kBitBtn3, kSbCadastro, L"BUTTON", L"GRAVAR", button);

  // Installation
  Add(kPanel3, kSbInstall, kContainerClass, L"", container, WS_EX_CONTROLPARENT);
  Add(kImage2, kPanel3, L"STATIC", L"", SS_OWNERDRAW | SS_NOTIFY);
  Add(kLabel1, kPanel3, L"STATIC", L"INSTALAR", SS_OWNERDRAW);
  HWND progress = Add(kPbProgresso, kSbInstall, PROGRESS_CLASSW, L"", PBS_SMOOTH);
  Add(kLblModulo, kSbInstall, L"STATIC", L"", label | SS_ENDELLIPSIS);
  Add(kLblStatus, kSbInstall, L"STATIC", L"", label | SS_ENDELLIPSIS);
  for (ControlId hidden : {kLblModulo, kLblStatus, kPbProgresso}) ShowWindow(Control(hidden), SW_HIDE);

  // A flat bar in the window's own colours rather than the system theme's.
  // UxTheme is not a KnownDLL: it comes from the system folder only.
  if (const auto setWindowTheme =
          win32::SystemFunctionAs<decltype(&SetWindowTheme)>(L"uxtheme.dll", "SetWindowTheme")) {
    setWindowTheme(progress, L" ", L" ");
  }
  SendMessageW(progress, PBM_SETBARCOLOR, 0, glossy::kAccent);
  SendMessageW(progress, PBM_SETBKCOLOR, 0, RGB(0xE1, 0xE9, 0xF2));

  SendMessageW(Control(kEdCPFCNPJ), EM_LIMITTEXT, 30, 0);
  SendMessageW(Control(kRbPessoaFisica), BM_SETCHECK, BST_CHECKED, 0);
  SetWindowTextW(Control(kMemo1), TermsText(instance_).c_str());

  const auto setWindowSubclass =
      win32::CommonControlsFunctionAs<decltype(&SetWindowSubclass)>("SetWindowSubclass");
  for (ControlId id : {kBitBtn1, kBitBtn2, kBitBtn3, kBitBtn7, kImage2, kEdCPFCNPJ, kEdNomeRazao, kEdEmail,
                       kEdDirInstalacao}) {
    if (setWindowSubclass != nullptr) {
      setWindowSubclass(Control(id), ControlSubclass, 1, reinterpret_cast<DWORD_PTR>(this));
    }
  }
  ApplyFonts();
  Layout();
}

void MasterWindow::ApplyFonts() {
  for (const auto& [id, control] : controls_) {
    HFONT font = fonts_.normal();
    if (id == kLblModulo || id == kLblStatus) font = fonts_.large();
    if (id == kLabel1 || id == kLabel2 || id == kLabel3 || id == kLabel4 || id == kLabel7) font = fonts_.bold();
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  for (ControlId id : {kEdCPFCNPJ, kEdNomeRazao, kEdEmail, kEdDirInstalacao, kMemo1}) {
    SendMessageW(Control(id), EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(Scale(4), Scale(4)));
  }
}

void MasterWindow::Layout() {
  if (hwnd_ == nullptr) return;
  RECT client;
  GetClientRect(hwnd_, &client);
  auto place = [&](ControlId id, int x, int y, int w, int h) {
    SetWindowPos(Control(id), nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
  };
  const int inset = Scale(kPageInset);
  const int height = client.bottom - inset * 2;
  // The banner on the left, full height; the panel takes the rest.
  place(kImage1, inset, inset, Scale(200), height);
  const int panelWidth = client.right - inset * 2 - Scale(200);
  place(kPnPrincipal, inset + Scale(200), inset, panelWidth, height);
  const int pageWidth = panelWidth - 2, pageHeight = height - 2;
  for (ControlId page : {kSbTermos, kSbCadastro, kSbInstall}) place(page, 1, 1, pageWidth, pageHeight);

  // Inside a page, positions count from its client area within the border.
  const int innerWidth = pageWidth - 2 * inset, innerHeight = pageHeight - 2 * inset;
  const int footer = Scale(kFooterHeight), bar = Scale(kMemoWidthBeside);
  place(kMemo1, inset, inset, innerWidth - bar, innerHeight - footer);
  place(kScrollBar1, inset + innerWidth - bar, inset, bar, innerHeight - footer);
  place(kGroupBox2, inset, inset + innerHeight - footer, innerWidth, footer);
  place(kRgPessoa, inset, inset, innerWidth, Scale(57));

  for (const Placement& p : kPlacements) {
    const HWND parent = GetParent(Control(p.id));
    const bool onPage = parent == Control(kSbTermos) || parent == Control(kSbCadastro) ||
                        parent == Control(kSbInstall);
    const int offset = onPage ? inset : 0;
    place(p.id, offset + Scale(p.x), offset + Scale(p.y), Scale(p.w), Scale(p.h));
  }
  // CANCELAR keeps its distance from the right edge of the footer.
  place(kBitBtn2, innerWidth - Scale(440 - 362), Scale(8), Scale(75), Scale(25));
  // INSTALAR sits at the bottom of the tile, centred.
  place(kLabel1, 0, Scale(97 - 20), Scale(97), Scale(14));
  InvalidateRect(hwnd_, nullptr, TRUE);
}

HWND MasterWindow::FrontPage() const { return GetWindow(Control(kPnPrincipal), GW_CHILD); }

void MasterWindow::BringToFront(ControlId page) {
  SetWindowPos(Control(page), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  RedrawWindow(Control(page), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void MasterWindow::SendToBack(ControlId page) {
  SetWindowPos(Control(page), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
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

void MasterWindow::ShowError(const std::wstring& message) {
  std::wstring text = message;
  if (!text.empty() && text.back() > L'.') text += L'.';
  CentredMessageBox(hwnd_, text, MB_OK | MB_ICONERROR);
}

// ---- painting -------------------------------------------------------------

void MasterWindow::Paint(HWND container, HDC dc) {
  RECT rect;
  GetClientRect(container, &rect);
  const int id = GetDlgCtrlID(container);
  switch (id) {
    case kPnPrincipal: {
      HBRUSH brush = CreateSolidBrush(glossy::kPanel);
      FillRect(dc, &rect, brush);
      DeleteObject(brush);
      break;
    }
    case kSbTermos:
    case kSbCadastro:
    case kSbInstall: {
      FillRect(dc, &rect, id == kSbInstall ? installBrush_ : pageBrush_);
      HBRUSH border = CreateSolidBrush(glossy::kBorder);
      FrameRect(dc, &rect, border);
      DeleteObject(border);
      if (id == kSbInstall) PaintInstallHeading(dc, rect);
      break;
    }
    case kGroupBox2: {
      FillRect(dc, &rect, footerBrush_);
      RECT line{rect.left, rect.top, rect.right, rect.top + 1};
      HBRUSH border = CreateSolidBrush(glossy::kBorder);
      FillRect(dc, &line, border);
      DeleteObject(border);
      break;
    }
    case kRgPessoa:
      glossy::DrawFrame(dc, rect, nullptr, fonts_.bold(), glossy::kPage, dpi_);
      break;
    case kGroupBox1:
      glossy::DrawFrame(dc, rect, L"Configurações do Computador", fonts_.bold(), glossy::kPage, dpi_);
      break;
    case kPanel3:
      glossy::DrawTile(dc, rect, hot_.count(Control(kImage2)) != 0, dpi_);
      break;
    default:
      FillRect(dc, &rect, windowBrush_);
  }
}

// The install page's upper part: what the click on INSTALAR will do.
void MasterWindow::PaintInstallHeading(HDC dc, const RECT& client) {
  const int left = client.left + Scale(kPageInset + 16), right = client.right - Scale(16);
  SetBkMode(dc, TRANSPARENT);
  HGDIOBJ oldFont = SelectObject(dc, fonts_.heading());
  SetTextColor(dc, glossy::kAccentDark);
  RECT title{left, Scale(22), right, Scale(46)};
  DrawTextW(dc, L"Pronto para instalar", -1, &title, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);

  SelectObject(dc, fonts_.normal());
  SetTextColor(dc, glossy::kSubtleText);
  RECT intro{left, Scale(52), right, Scale(84)};
  DrawTextW(dc,
            L"Clique em INSTALAR. O instalador baixa os arquivos do sistema, instala o que "
            L"faltar no computador e cria o atalho na área de trabalho.",
            -1, &intro, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);

  static const wchar_t* const kSteps[] = {
      L"Baixar o sistema, o banco de dados e as ferramentas",
      L"Descompactar os arquivos na pasta de instalação",
      L"Instalar o Firebird 5.0 e o ACBrNFeMonitor, se faltarem",
      L"Criar o atalho e gravar os dados do cliente",
  };
  int y = Scale(100);
  for (const wchar_t* step : kSteps) {
    RECT dot{left, y + Scale(3), left + Scale(8), y + Scale(11)};
    glossy::FillRoundRect(dc, dot, Scale(8), glossy::kAccentLight, glossy::kAccent);
    RECT text{left + Scale(16), y, right, y + Scale(16)};
    SetTextColor(dc, glossy::kText);
    DrawTextW(dc, step, -1, &text, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    y += Scale(24);
  }
  SetTextColor(dc, glossy::kSubtleText);
  RECT note{left, y + Scale(8), right, y + Scale(40)};
  DrawTextW(dc, L"Mantenha o computador ligado à internet até a mensagem de conclusão.", -1, &note,
            DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(dc, oldFont);
}

void MasterWindow::DrawItem(const DRAWITEMSTRUCT& item) {
  const RECT& rect = item.rcItem;
  switch (item.CtlID) {
    case kImage1: {
      // The banner at its natural size from the top-left corner; what does
      // not fit is cut off.
      HBRUSH back = CreateSolidBrush(RGB(0xDC, 0xEB, 0xF8));
      FillRect(item.hDC, &rect, back);
      DeleteObject(back);
      RECT natural{0, 0, Scale(banner_.width()), Scale(banner_.height())};
      banner_.Draw(item.hDC, natural);
      break;
    }
    case kImage2:
    case kLabel1: {
      // Both sit on the tile: its surface first, then the picture (at twice
      // its size, centred) or the caption.
      HWND panel = Control(kPanel3);
      RECT panelRect;
      GetClientRect(panel, &panelRect);
      POINT origin{0, 0};
      MapWindowPoints(item.hwndItem, panel, &origin, 1);
      HDC dc = item.hDC;
      const int saved = SaveDC(dc);
      SetViewportOrgEx(dc, -origin.x, -origin.y, nullptr);
      glossy::DrawTile(dc, panelRect, hot_.count(Control(kImage2)) != 0, dpi_);
      RestoreDC(dc, saved);
      if (item.CtlID == kLabel1) {
        HGDIOBJ oldFont = SelectObject(dc, fonts_.bold());
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, glossy::kAccentDark);
        RECT text = rect;
        DrawTextW(dc, L"INSTALAR", -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, oldFont);
        break;
      }
      const int side = std::min<int>(rect.right - rect.left, rect.bottom - rect.top) * 8 / 9;
      RECT picture{rect.left + (rect.right - rect.left - side) / 2, rect.top + (rect.bottom - rect.top - side) / 2,
                   0, 0};
      picture.right = picture.left + side;
      picture.bottom = picture.top + side;
      tile_.Draw(dc, picture);
      break;
    }
    case kBitBtn7: {
      // Four states side by side in the picture; magenta is transparent.
      FillRect(item.hDC, &rect, pageBrush_);
      glossy::ButtonState state;
      state.pressed = (item.itemState & ODS_SELECTED) != 0;
      state.hot = hot_.count(item.hwndItem) != 0;
      state.focused = (item.itemState & ODS_FOCUS) != 0;
      state.disabled = (item.itemState & ODS_DISABLED) != 0;
      glossy::DrawButton(item.hDC, rect, L"", fonts_.bold(), glossy::ButtonKind::Secondary, state, dpi_);
      const int frame = state.disabled ? 1 : state.pressed ? 2 : state.hot ? 3 : 0;
      const int side = Scale(16);
      RECT glyph{rect.left + (rect.right - rect.left - side) / 2, rect.top + (rect.bottom - rect.top - side) / 2, 0, 0};
      glyph.right = glyph.left + side;
      glyph.bottom = glyph.top + side;
      browse_.DrawKeyed(item.hDC, glyph, frame * 16, 0, 16, 16, RGB(255, 0, 255));
      break;
    }
    case kBitBtn1:
    case kBitBtn2:
    case kBitBtn3: {
      FillRect(item.hDC, &rect, item.CtlID == kBitBtn3 ? pageBrush_ : footerBrush_);
      glossy::ButtonState state;
      state.pressed = (item.itemState & ODS_SELECTED) != 0;
      state.hot = hot_.count(item.hwndItem) != 0;
      state.focused = (item.itemState & ODS_FOCUS) != 0;
      state.disabled = (item.itemState & ODS_DISABLED) != 0;
      wchar_t text[64] = {};
      GetWindowTextW(item.hwndItem, text, 64);
      glossy::DrawButton(item.hDC, rect, text, fonts_.bold(),
                         item.CtlID == kBitBtn2 ? glossy::ButtonKind::Secondary : glossy::ButtonKind::Primary,
                         state, dpi_);
      break;
    }
    default:
      break;
  }
}

HBRUSH MasterWindow::ColorFor(HWND control, HDC dc) {
  SetTextColor(dc, glossy::kText);
  SetBkMode(dc, TRANSPARENT);
  const int id = GetDlgCtrlID(control);
  HWND parent = GetParent(control);
  if (id == kLblModulo) SetTextColor(dc, glossy::kAccentDark);
  if (id == kLabel7 || id == kLabel2 || id == kLabel3 || id == kLabel4) SetTextColor(dc, glossy::kSubtleText);
  SetBkColor(dc, glossy::kPage);
  if (parent == Control(kSbInstall)) {
    SetBkColor(dc, glossy::kInstallPage);
    return installBrush_;
  }
  return pageBrush_;
}

// ---- messages ---------------------------------------------------------------

LRESULT CALLBACK MasterWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return Barrier<LRESULT>(0, [&]() -> LRESULT {
    if (message == WM_NCCREATE) {
      auto* self = static_cast<MasterWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
      self->hwnd_ = window;
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MasterWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    return self->HandleMessage(message, wParam, lParam);
  });
}

// Pages, frames and the tile: they paint themselves the window's way and
// hand their controls' notifications to the window.
LRESULT CALLBACK MasterWindow::ContainerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return Barrier<LRESULT>(0, [&]() -> LRESULT {
    HWND root = GetAncestor(window, GA_ROOT);
    auto* self = reinterpret_cast<MasterWindow*>(GetWindowLongPtrW(root, GWLP_USERDATA));
    switch (message) {
      case WM_COMMAND:
      case WM_NOTIFY:
      case WM_DRAWITEM:
      case WM_VSCROLL:
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLOREDIT:
      case WM_CTLCOLORBTN:
      case WM_CTLCOLORSCROLLBAR:
        if (self != nullptr) return self->HandleMessage(message, wParam, lParam);
        break;
      case WM_ERASEBKGND:
        return 1;
      case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        if (self != nullptr) self->Paint(window, dc);
        EndPaint(window, &paint);
        return 0;
      }
      default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
  });
}

// Hover for the glossy buttons and the tile, and the edits' flat border.
LRESULT CALLBACK MasterWindow::ControlSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                               UINT_PTR, DWORD_PTR selfData) {
  return Barrier<LRESULT>(0, [&]() -> LRESULT {
    auto* self = reinterpret_cast<MasterWindow*>(selfData);
    const int id = GetDlgCtrlID(window);
    const bool isEdit = id == kEdCPFCNPJ || id == kEdNomeRazao || id == kEdEmail || id == kEdDirInstalacao;
    switch (message) {
      case WM_MOUSEMOVE:
        if (!isEdit && self->hot_.insert(window).second) {
          TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window, 0};
          TrackMouseEvent(&track);
          InvalidateRect(id == kImage2 ? self->Control(kPanel3) : window, nullptr, FALSE);
          InvalidateRect(window, nullptr, FALSE);
          if (id == kImage2) InvalidateRect(self->Control(kLabel1), nullptr, FALSE);
        }
        break;
      case WM_MOUSELEAVE:
        if (self->hot_.erase(window) != 0) {
          InvalidateRect(id == kImage2 ? self->Control(kPanel3) : window, nullptr, FALSE);
          InvalidateRect(window, nullptr, FALSE);
          if (id == kImage2) InvalidateRect(self->Control(kLabel1), nullptr, FALSE);
        }
        break;
      case WM_SETCURSOR:
        if (id == kImage2) {
          SetCursor(LoadCursorW(nullptr, IDC_HAND));
          return TRUE;
        }
        break;
      case WM_NCPAINT:
        if (isEdit) {
          HDC dc = GetWindowDC(window);
          RECT rect;
          GetWindowRect(window, &rect);
          OffsetRect(&rect, -rect.left, -rect.top);
          HBRUSH border = CreateSolidBrush(GetFocus() == window ? glossy::kAccent : glossy::kBorder);
          FrameRect(dc, &rect, border);
          DeleteObject(border);
          ReleaseDC(window, dc);
          return 0;
        }
        break;
      case WM_SETFOCUS:
      case WM_KILLFOCUS:
        if (isEdit) {
          const LRESULT result = DefaultSubclassProc(window, message, wParam, lParam);
          RedrawWindow(window, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
          return result;
        }
        break;
      default:
        break;
    }
    return DefaultSubclassProc(window, message, wParam, lParam);
  });
}

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
      DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
      return reinterpret_cast<LRESULT>(ColorFor(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam)));
    case WM_ERASEBKGND: {
      RECT rect;
      GetClientRect(hwnd_, &rect);
      FillRect(reinterpret_cast<HDC>(wParam), &rect, windowBrush_);
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
    case 0x02E0: {  // WM_DPICHANGED: the window moved to a monitor of another scale
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
    if (!closeAfterRun_) ShowError(Widen(e.what()));
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

// ---- folder dialog ------------------------------------------------------------

namespace {

int CALLBACK CentreFolderDialog(HWND dialog, UINT message, LPARAM, LPARAM owner) {
  return Barrier(0, [&] {
    if (message == BFFM_INITIALIZED) {
      MONITORINFO monitor{sizeof monitor};
      GetMonitorInfoW(MonitorFromWindow(reinterpret_cast<HWND>(owner), MONITOR_DEFAULTTONEAREST), &monitor);
      RECT rect;
      GetWindowRect(dialog, &rect);
      const int width = rect.right - rect.left, height = rect.bottom - rect.top;
      SetWindowPos(dialog, nullptr, monitor.rcWork.left + (monitor.rcWork.right - monitor.rcWork.left - width) / 2,
                   monitor.rcWork.top + (monitor.rcWork.bottom - monitor.rcWork.top - height) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER);
    }
    return 0;
  });
}

}  // namespace

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
