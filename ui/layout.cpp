#include "ui/layout.h"

#include <windows.h>
#include <commctrl.h>
#include <uxtheme.h>

#include "platform/win32/system_library.h"
#include "ui/images.h"
#include "ui/master_window.h"
#include "ui/painting.h"
#include "ui/resources.h"

namespace pravonell::ui {

namespace {

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
  // The pages, in their tab order; the one in front is shown, the others hidden.
  Add(kSbTermos, kPnPrincipal, kContainerClass, L"", page, WS_EX_CONTROLPARENT);
  Add(kSbCadastro, kPnPrincipal, kContainerClass, L"", page, WS_EX_CONTROLPARENT);
  Add(kSbInstall, kPnPrincipal, kContainerClass, L"", page, WS_EX_CONTROLPARENT);

  // Terms: the memo takes the Tab key for itself, as a multi-line edit does.
  Add(kMemo1, kSbTermos, L"EDIT", L"", WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY | ES_WANTRETURN);
  Add(kGroupBox2, kSbTermos, kContainerClass, L"", container, WS_EX_CONTROLPARENT);
  // "&": the access keys, Alt+A and Alt+C (underlined while the keyboard is in use).
  Add(kBitBtn1, kGroupBox2, L"BUTTON", L"&AVANÇAR", button);
  Add(kBitBtn2, kGroupBox2, L"BUTTON", L"&CANCELAR", button);
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
  // A picture without a caption; its text is the name a screen reader says.
  Add(kBitBtn7, kGroupBox1, L"BUTTON", L"Selecionar pasta de instalação", button);
  Add(kEdDirInstalacao, kGroupBox1, L"EDIT", L"C:\\VARNISCA\\", edit | ES_UPPERCASE);
  Add(kBitBtn3, kSbCadastro, L"BUTTON", L"&GRAVAR", button);

  // Installation
  Add(kPanel3, kSbInstall, kContainerClass, L"", container, WS_EX_CONTROLPARENT);
  // The tile's picture is a button: a tab stop that Enter, Space and Alt+I
  // press as a click does, and that a screen reader names INSTALAR.
  Add(kImage2, kPanel3, L"BUTTON", L"&INSTALAR", button);
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

  SendMessageW(Control(kEdCPFCNPJ), EM_LIMITTEXT, 30, 0);
  SendMessageW(Control(kRbPessoaFisica), BM_SETCHECK, BST_CHECKED, 0);
  SetWindowTextW(Control(kMemo1), TermsText(instance_).c_str());

  // Every control of the pages: for the look, and for what a screen reader
  // may reach.
  for (ControlId id : {kBitBtn1, kBitBtn2, kBitBtn3, kBitBtn7, kImage2, kEdCPFCNPJ, kEdNomeRazao, kEdEmail,
                       kEdDirInstalacao, kMemo1, kPbProgresso, kLabel2, kLabel3, kLabel4, kLabel7, kScrollBar1,
                       kRbPessoaFisica, kRbPessoaJuridica, kLabel1, kLblModulo, kLblStatus}) {
    AddSubclass(Control(id));
  }
  SetWindowTextW(Control(kSbInstall), heading_.Text().c_str());
  for (ControlId id : {kMemo1, kEdDirInstalacao, kPbProgresso, kBitBtn7, kImage2}) Describe(Control(id));
  ApplyFonts();
  ApplyPalette();
  Layout();
}

// The window's colours, or the system's while high contrast is on; every
// control is painted again with them.
void MasterWindow::ApplyPalette() {
  const glossy::Palette colors = UsesHighContrast() ? glossy::Palette::System() : glossy::Palette::Glossy();
  painter_->UsePalette(colors);
  const HWND progress = Control(kPbProgresso);
  SendMessageW(progress, PBM_SETBARCOLOR, 0, colors.plain ? CLR_DEFAULT : colors.accent);
  SendMessageW(progress, PBM_SETBKCOLOR, 0, colors.plain ? CLR_DEFAULT : RGB(0xE1, 0xE9, 0xF2));
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
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
  EnableWindow(Control(page), TRUE);
  SetWindowPos(Control(page), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  RedrawWindow(Control(page), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// A page behind is hidden and disabled, not only covered: a screen reader
// goes by what is visible, not by what is on top, and would otherwise read
// and press the controls behind the page in front.
void MasterWindow::SendToBack(ControlId page) {
  SetWindowPos(Control(page), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_HIDEWINDOW);
  EnableWindow(Control(page), FALSE);
}

bool MasterWindow::OnFrontPage(HWND control) const {
  for (HWND at = control; at != nullptr && at != hwnd_; at = GetParent(at)) {
    const int id = GetDlgCtrlID(at);
    if (id == kSbTermos || id == kSbCadastro || id == kSbInstall) return at == FrontPage();
  }
  return true;
}

}  // namespace pravonell::ui
