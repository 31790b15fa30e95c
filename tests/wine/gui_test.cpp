// The real pravonell.exe under Wine, driven through its window.
#include <windows.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <vector>

#include "tests/fakes/text.h"
#include "tests/wine/driver.h"
#include "tests/wine/scratch.h"
#include "tests/wine/site.h"

namespace pravonell::testing {
namespace {

using namespace ui;

std::wstring Exe() { return ProgramUnderTest(PRAVONELL_EXE); }

TEST(Startup, StartsShowsItsWindowAndClosesCleanly) {
  Driver app;
  ASSERT_TRUE(app.Start(Exe()));
  wchar_t caption[64] = {};
  GetWindowTextW(app.window(), caption, 64);
  EXPECT_STREQ(caption, L"Pravonell");
  // No minimise or maximise button; a frame that can be resized.
  const LONG style = GetWindowLongW(app.window(), GWL_STYLE);
  EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
  EXPECT_NE(style & WS_THICKFRAME, 0);
  PostMessageW(app.window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(app.WaitForExit(), 0);
}

TEST(Wizard, CancelarEndsTheProgram) {
  Driver app;
  ASSERT_TRUE(app.Start(Exe()));
  app.Press(app.Control(kBitBtn2));
  EXPECT_EQ(app.WaitForExit(), 0);
  EXPECT_EQ(app.OpenDialog(), nullptr);
}

TEST(Wizard, TermsPageScrollsOneLineDownForEveryChange) {
  Driver app;
  ASSERT_TRUE(app.Start(Exe()));
  const HWND memo = app.Control(kMemo1), bar = app.Control(kScrollBar1);
  EXPECT_EQ(app.FrontPage(), app.Control(kSbTermos));
  EXPECT_TRUE(app.Screenshot(L"1-termos"));

  int minimum = -1, maximum = -1;
  GetScrollRange(bar, SB_CTL, &minimum, &maximum);
  EXPECT_EQ(minimum, 0);
  EXPECT_EQ(maximum, static_cast<int>(SendMessageW(memo, WM_GETTEXTLENGTH, 0, 0)));
  EXPECT_GT(maximum, 5000);
  EXPECT_EQ(app.Text(memo).rfind(L"SERVIÇOS NÃO CONTRATADOS.\r\n", 0), 0u);
  EXPECT_GE(SendMessageW(memo, EM_GETLINECOUNT, 0, 0), 159);
  EXPECT_EQ(GetScrollPos(bar, SB_CTL), 0);

  auto firstLine = [&] { return SendMessageW(memo, EM_GETFIRSTVISIBLELINE, 0, 0); };
  auto arrow = [&](int code) {
    SendMessageW(app.Control(kSbTermos), WM_VSCROLL, static_cast<WPARAM>(code), reinterpret_cast<LPARAM>(bar));
  };
  EXPECT_EQ(firstLine(), 0);
  arrow(SB_LINEUP);  // at 0 the bar cannot move, and the text does not
  EXPECT_EQ(firstLine(), 0);
  arrow(SB_LINEDOWN);
  EXPECT_EQ(GetScrollPos(bar, SB_CTL), 1);
  EXPECT_EQ(firstLine(), 1);
  arrow(SB_LINEUP);  // up moves the bar back, and the text down
  EXPECT_EQ(GetScrollPos(bar, SB_CTL), 0);
  EXPECT_EQ(firstLine(), 2);
  arrow(SB_PAGEDOWN);
  EXPECT_EQ(firstLine(), 3);
  PostMessageW(app.window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(app.WaitForExit(), 0);
}

struct BadEntry {
  const char* name;
  const wchar_t* cpfCnpj;
  const wchar_t* nome;
  const wchar_t* email;
  const wchar_t* dir;
  const wchar_t* message;
  std::optional<ControlId> focus;
};

TEST(Wizard, CustomerPageChecksAndTheInstallPage) {
  CreateDirectoryW(L"C:\\PREVIA", nullptr);
  Scratch::WriteAbsolute(L"C:\\PREVIA\\Kestrimo.exe", "MZ");

  Driver app;
  ASSERT_TRUE(app.Start(Exe()));
  app.Press(app.Control(kBitBtn1));  // AVANÇAR, without scrolling the terms
  ASSERT_TRUE(WaitFor([&] { return app.FrontPage() == app.Control(kSbCadastro); }));
  EXPECT_EQ(app.Focus(), app.Control(kEdCPFCNPJ));

  // The directory gets its final backslash when the focus leaves it.
  const HWND dir = app.Control(kEdDirInstalacao), email = app.Control(kEdEmail);
  EXPECT_EQ(app.Text(dir), L"C:\\VARNISCA\\");
  const struct {
    const wchar_t* typed;
    const wchar_t* after;
  } paths[] = {{L"d:\\erp", L"D:\\ERP\\"}, {L"C:\\VARNISCA\\", L"C:\\VARNISCA\\"}, {L"   ", L"   "},
               {L"", L""},                 {L"D:\\ERP ", L"D:\\ERP \\"}};
  for (const auto& path : paths) {
    SCOPED_TRACE(Utf8(path.typed));
    app.SetText(dir, L"");
    app.Type(dir, path.typed);
    app.ClickInto(email);
    EXPECT_EQ(app.Text(dir), path.after);
  }

  // Typing: the name is held in capitals, the CPF/CNPJ field takes 30 characters.
  app.SetText(app.Control(kEdNomeRazao), L"");
  app.Type(app.Control(kEdNomeRazao), L"josé da silva");
  EXPECT_EQ(app.Text(app.Control(kEdNomeRazao)), L"JOSÉ DA SILVA");
  app.Type(app.Control(kEdCPFCNPJ), std::wstring(40, L'1'));
  EXPECT_EQ(app.Text(app.Control(kEdCPFCNPJ)).size(), 30u);

  const BadEntry entries[] = {
      {"empty CPF/CNPJ", L"", L"JOSE", L"j@x.br", L"C:\\VARNISCA\\", L"Digite um CNPJ Válido.", kEdCPFCNPJ},
      {"CPF with wrong digits", L"123.456.789-00", L"JOSE", L"j@x.br", L"C:\\VARNISCA\\",
       L"Digite um CPF Válido", kEdCPFCNPJ},
      {"blank name", L"12345678909", L"   ", L"j@x.br", L"C:\\VARNISCA\\", L"Informe um NOME/RAZÃO SOCIAL.",
       kEdNomeRazao},
      {"empty e-mail", L"12345678909", L"JOSE", L"", L"C:\\VARNISCA\\", L"Informe um EMAIL", kEdEmail},
      {"blank directory", L"12345678909", L"JOSE", L"j@x.br", L"  ", L"Diretorio de instalação não informado.",
       std::nullopt},
  };
  for (const BadEntry& entry : entries) {
    SCOPED_TRACE(entry.name);
    app.SetText(app.Control(kEdCPFCNPJ), entry.cpfCnpj);
    app.SetText(app.Control(kEdNomeRazao), entry.nome);
    app.SetText(email, entry.email);
    app.SetText(dir, entry.dir);
    app.ClickInto(app.Control(kEdNomeRazao));
    app.Press(app.Control(kBitBtn3));
    const HWND box = app.WaitForDialog();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(app.DialogText(box), entry.message);
    app.Answer(box, IDOK);
    EXPECT_EQ(app.FrontPage(), app.Control(kSbCadastro));
    // Without a field to go to, the focus stays on GRAVAR, which the click gave it.
    const HWND expectedFocus = entry.focus ? app.Control(*entry.focus) : app.Control(kBitBtn3);
    EXPECT_TRUE(WaitFor([&] { return app.Focus() == expectedFocus; }, 3000))
        << "focus on control " << GetDlgCtrlID(app.Focus()) << " " << app.Focus() << " active "
        << GetDlgCtrlID(GetActiveWindow());
  }

  // The person type follows the digits when the focus leaves the field.
  app.SetText(app.Control(kEdCPFCNPJ), L"11222333000181");
  app.ClickInto(app.Control(kEdCPFCNPJ));
  app.ClickInto(email);
  EXPECT_EQ(app.Text(app.Control(kEdCPFCNPJ)), L"11.222.333/0001-81");
  EXPECT_EQ(SendMessageW(app.Control(kRbPessoaJuridica), BM_GETCHECK, 0, 0), BST_CHECKED);

  app.SetText(app.Control(kEdNomeRazao), L"JOSE DA SILVA");
  app.SetText(email, L"jose@exemplo.com.br");
  app.SetText(dir, L"C:\\VARNISCA\\");
  app.SetText(app.Control(kEdCPFCNPJ), L"12345678909");
  app.ClickInto(app.Control(kEdCPFCNPJ));
  app.ClickInto(email);
  EXPECT_TRUE(app.Screenshot(L"2-cadastro"));
  app.Press(app.Control(kBitBtn3));
  ASSERT_TRUE(WaitFor([&] { return app.FrontPage() == app.Control(kSbInstall); }));
  EXPECT_EQ(app.Text(app.Control(kEdCPFCNPJ)), L"123.456.789-09");
  EXPECT_EQ(SendMessageW(app.Control(kRbPessoaFisica), BM_GETCHECK, 0, 0), BST_CHECKED);
  for (ControlId hidden : {kLblModulo, kLblStatus, kPbProgresso}) {
    EXPECT_FALSE(IsWindowVisible(app.Control(hidden))) << hidden;
  }
  EXPECT_TRUE(app.Screenshot(L"3-instalacao"));

  // A click on the tile shows the bar before anything is fetched; here the
  // folder holds a previous installation, so the run stops and closes.
  app.SetText(dir, L"C:\\PREVIA\\");
  PostMessageW(app.Control(kImage2), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
  PostMessageW(app.Control(kImage2), WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
  const HWND box = app.WaitForDialog();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(app.DialogText(box), L"Já existe uma instalação anterior do sistema neste computador!");
  EXPECT_TRUE(IsWindowVisible(app.Control(kPbProgresso)));
  EXPECT_FALSE(IsWindowVisible(app.Control(kLblModulo)));
  app.Answer(box, IDOK);
  EXPECT_EQ(app.WaitForExit(), 0);
}

TEST(Wizard, CancelledFolderDialogEmptiesTheDirectory) {
  Driver app;
  ASSERT_TRUE(app.Start(Exe()));
  app.Press(app.Control(kBitBtn1));
  ASSERT_TRUE(WaitFor([&] { return app.FrontPage() == app.Control(kSbCadastro); }));
  app.Press(app.Control(kBitBtn7));
  const HWND dialog = app.WaitForDialog();
  ASSERT_NE(dialog, nullptr);
  app.Answer(dialog, IDCANCEL);
  EXPECT_TRUE(WaitFor([&] { return app.Text(app.Control(kEdDirInstalacao)).empty(); }, 5000));
  PostMessageW(app.window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(app.WaitForExit(), 0);
}

TEST(Wizard, ErrorEscapingAHandlerIsShownAndTheWindowCarriesOn) {
  Driver app;
  ASSERT_TRUE(app.Start(Exe()));
  const struct {
    WPARAM kind;
    const wchar_t* shown;
  } faults[] = {{0, L"Falha provocada pelo teste."}, {1, L"falha provocada pelo teste."}};
  for (const auto& fault : faults) {
    SCOPED_TRACE(Utf8(fault.shown));
    PostMessageW(app.window(), kTestFaultMessage, fault.kind, 0);
    const HWND box = app.WaitForDialog();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(app.DialogText(box), fault.shown);
    EXPECT_TRUE(app.DialogShowsIcon(box));
    app.Answer(box, IDOK);
    EXPECT_TRUE(app.Running());
  }
  // The window is where it was and still answers.
  EXPECT_EQ(app.FrontPage(), app.Control(kSbTermos));
  app.Press(app.Control(kBitBtn1));
  EXPECT_TRUE(WaitFor([&] { return app.FrontPage() == app.Control(kSbCadastro); }));
  PostMessageW(app.window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(app.WaitForExit(), 0);
}

// Painting that fails still ends the paint: the page's region is made valid,
// rather than painted (and failing) again and again.
TEST(Wizard, PaintingThatFailsIsShownOnceAndEnded) {
  Driver app;
  ASSERT_TRUE(app.Start(Exe()));
  const HWND page = app.Control(kSbTermos);
  DWORD_PTR result = 0;
  ASSERT_NE(SendMessageTimeoutW(app.window(), kTestFaultMessage, 2, 0, SMTO_NORMAL, 5000, &result), 0);
  InvalidateRect(page, nullptr, FALSE);
  const HWND box = app.WaitForDialog();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(app.DialogText(box), L"Falha ao pintar provocada pelo teste.");
  // While the box is open, the failed paint has been ended: nothing of the
  // page waits to be painted.
  EXPECT_TRUE(WaitFor([&] { return !GetUpdateRect(page, nullptr, FALSE); }, 5000));
  PostMessageW(app.window(), kTestFaultMessage, 3, 0);
  app.Answer(box, IDOK);
  EXPECT_TRUE(WaitFor([&] { return app.OpenDialog() == nullptr; }, 5000));
  PostMessageW(app.window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(app.WaitForExit(), 0);
}

// The scale Wine gives new programs, set for the prefix's user.
class ScreenScale {
 public:
  explicit ScreenScale(DWORD dpi) { Set(dpi); }
  ~ScreenScale() { Set(96); }

 private:
  static void Set(DWORD dpi) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) == ERROR_SUCCESS) {
      RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
      RegCloseKey(key);
    }
  }
};

TEST(Wizard, LayoutScalesAtOneHundredFiftyPercent) {
  ScreenScale scale(144);
  Driver app;
  ASSERT_TRUE(app.Start(Exe()));
  RECT client, tile, memo;
  GetClientRect(app.window(), &client);
  GetClientRect(app.Control(kPanel3), &tile);
  GetClientRect(app.Control(kMemo1), &memo);
  // 646 x 418 and a 2-pixel margin at 96 dpi, one and a half times as large.
  EXPECT_EQ(client.right, 975);
  EXPECT_EQ(client.bottom, 633);
  EXPECT_EQ(tile.right, 146);  // the 97-pixel tile, rounded up
  EXPECT_GT(memo.right, 600);
  EXPECT_TRUE(app.Screenshot(L"6-termos-144dpi"));

  // On to the install page at this scale.
  app.Press(app.Control(kBitBtn1));
  ASSERT_TRUE(WaitFor([&] { return app.FrontPage() == app.Control(kSbCadastro); }));
  app.SetText(app.Control(kEdCPFCNPJ), L"11.222.333/0001-81");
  app.SetText(app.Control(kEdNomeRazao), L"ACME LTDA");
  app.SetText(app.Control(kEdEmail), L"fiscal@acme.com.br");
  EXPECT_TRUE(app.Screenshot(L"7-cadastro-144dpi"));
  app.Press(app.Control(kBitBtn3));
  ASSERT_TRUE(WaitFor([&] { return app.FrontPage() == app.Control(kSbInstall); }));
  GetClientRect(app.Control(kPanel3), &tile);
  EXPECT_EQ(tile.right, 146);
  EXPECT_TRUE(app.Screenshot(L"8-instalacao-144dpi"));
  PostMessageW(app.window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(app.WaitForExit(), 0);
}

// ---- every person: the keyboard alone, a screen reader, high contrast --------

// Escape on each page changes nothing: the page stays in front, none of the
// three pages is gone, and the window stays. (A multi-line text answers
// Escape by asking its parent to close; a page must not.)
TEST(Keyboard, EscapeChangesNothingOnAnyPage) {
  Driver app;
  ASSERT_TRUE(app.Start(Exe()));
  const auto escape = [&](ControlId page) {
    SCOPED_TRACE(page);
    ASSERT_EQ(app.FrontPage(), app.Control(page));
    app.PostKey(VK_ESCAPE);
    ASSERT_TRUE(app.Settle());
    EXPECT_EQ(app.FrontPage(), app.Control(page));
    for (ControlId each : {kSbTermos, kSbCadastro, kSbInstall}) EXPECT_TRUE(IsWindow(app.Control(each)));
    EXPECT_TRUE(app.Running());
    EXPECT_EQ(app.OpenDialog(), nullptr);
  };
  ASSERT_TRUE(WaitFor([&] { return app.Focus() == app.Control(kMemo1); }));
  escape(kSbTermos);
  app.PostAltKey(L'A');
  ASSERT_TRUE(WaitFor([&] { return app.FrontPage() == app.Control(kSbCadastro); }));
  escape(kSbCadastro);
  app.SetText(app.Control(kEdCPFCNPJ), L"11.222.333/0001-81");
  app.SetText(app.Control(kEdNomeRazao), L"ACME LTDA");
  app.SetText(app.Control(kEdEmail), L"fiscal@acme.com.br");
  app.PostAltKey(L'G');
  ASSERT_TRUE(WaitFor([&] { return app.FrontPage() == app.Control(kSbInstall); }));
  EXPECT_EQ(app.Focus(), app.Control(kImage2));  // after GRAVAR, the focus is on INSTALAR
  escape(kSbInstall);
  PostMessageW(app.window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(app.WaitForExit(), 0);
}

struct Accessible {
  std::wstring name;
  long role = 0;
};

// What a screen reader asks the control, through MSAA from this process.
std::optional<Accessible> AccessibleOf(HWND control) {
  IAccessible* object = nullptr;
  // The interface's identifier written out: the import library's symbol of
  // that name is not the GUID itself with this toolchain.
  constexpr GUID kIidAccessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
  if (FAILED(AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT), kIidAccessible,
                                        reinterpret_cast<void**>(&object))) ||
      object == nullptr) {
    return std::nullopt;
  }
  VARIANT self;
  VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  Accessible found;
  BSTR name = nullptr;
  if (SUCCEEDED(object->get_accName(self, &name)) && name != nullptr) {
    found.name = name;
    SysFreeString(name);
  }
  VARIANT role;
  VariantInit(&role);
  if (SUCCEEDED(object->get_accRole(self, &role)) && role.vt == VT_I4) found.role = role.lVal;
  object->Release();
  return found;
}

TEST(ScreenReader, EveryControlHasANameAndItsRole) {
  CoInitialize(nullptr);
  Driver app;
  ASSERT_TRUE(app.Start(Exe()));
  const struct {
    ControlId id;
    const wchar_t* name;
    long role;
  } rows[] = {
      {kMemo1, L"Termos de serviço", 0},
      {kEdDirInstalacao, L"DIRETÓRIO DE INSTALAÇÃO", 0},
      {kPbProgresso, L"Progresso", ROLE_SYSTEM_PROGRESSBAR},
      {kBitBtn7, L"Selecionar pasta de instalação", ROLE_SYSTEM_PUSHBUTTON},
      {kImage2, L"INSTALAR", ROLE_SYSTEM_PUSHBUTTON},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Utf8(row.name));
    const std::optional<Accessible> found = AccessibleOf(app.Control(row.id));
    ASSERT_TRUE(found.has_value()) << "no accessible object";
    EXPECT_EQ(found->name, row.name);
    if (row.role != 0) {
      EXPECT_EQ(found->role, row.role);
    }
  }
  // The heading's steps can be read: they are the install page's name.
  const std::optional<Accessible> heading = AccessibleOf(app.Control(kSbInstall));
  ASSERT_TRUE(heading.has_value());
  EXPECT_NE(heading->name.find(L"Baixar o sistema, o banco de dados e as ferramentas"), std::wstring::npos)
      << Utf8(heading->name);
  PostMessageW(app.window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(app.WaitForExit(), 0);
  CoUninitialize();
}

// Every accessible object under the window that has a window of its own:
// the tree a screen reader walks, from the window down (AccessibleChildren).
struct Reached {
  HWND window;
  long state;
};

constexpr GUID kIidAccessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// From a window's client object down: each child window's own client
// object, its state, and its children in turn.
void Walk(HWND window, std::vector<Reached>& reached, int depth = 0) {
  IAccessible* object = nullptr;
  if (depth > 12 || FAILED(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), kIidAccessible,
                                                      reinterpret_cast<void**>(&object))) ||
      object == nullptr) {
    return;
  }
  VARIANT self;
  VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  VARIANT state;
  VariantInit(&state);
  if (depth > 0 && SUCCEEDED(object->get_accState(self, &state)) && state.vt == VT_I4) {
    reached.push_back({window, state.lVal});
  }
  long count = 0;
  if (SUCCEEDED(object->get_accChildCount(&count)) && count > 0) {
    std::vector<VARIANT> children(static_cast<std::size_t>(count));
    long got = 0;
    if (SUCCEEDED(AccessibleChildren(object, 0, count, children.data(), &got))) {
      for (long i = 0; i < got; ++i) {
        VARIANT& child = children[static_cast<std::size_t>(i)];
        IAccessible* inner = nullptr;
        HWND childWindow = nullptr;
        if (child.vt == VT_DISPATCH && child.pdispVal != nullptr &&
            SUCCEEDED(child.pdispVal->QueryInterface(kIidAccessible, reinterpret_cast<void**>(&inner))) && inner) {
          if (SUCCEEDED(WindowFromAccessibleObject(inner, &childWindow)) && childWindow != nullptr &&
              childWindow != window) {
            Walk(childWindow, reached, depth + 1);
          }
          inner->Release();
        }
        VariantClear(&child);
      }
    }
  }
  object->Release();
}

// The page a control is on (one of the three), or nullptr.
HWND PageOf(Driver& app, HWND control) {
  for (HWND at = control; at != nullptr && at != app.window(); at = GetParent(at)) {
    for (ControlId page : {kSbTermos, kSbCadastro, kSbInstall}) {
      if (at == app.Control(page)) return at;
    }
  }
  return nullptr;
}

// A screen reader reaches only the page in front: every control of the
// pages behind is in its tree as invisible, and its "press" does nothing
// (CANCELAR of the terms, pressed from the install page, would end a run).
TEST(ScreenReader, PagesBehindAreOutOfReach) {
  CoInitialize(nullptr);
  Driver app;
  ASSERT_TRUE(app.Start(Exe()));
  const auto check = [&](ControlId front) {
    SCOPED_TRACE(front);
    std::vector<Reached> reached;
    Walk(app.window(), reached);
    int behind = 0, inFront = 0;
    for (const Reached& object : reached) {
      const HWND page = PageOf(app, object.window);
      if (page == nullptr) continue;
      if (page == app.Control(front)) {
        ++inFront;
      } else {
        ++behind;
        EXPECT_NE(object.state & STATE_SYSTEM_INVISIBLE, 0) << "reachable behind: control " << GetDlgCtrlID(object.window);
      }
    }
    EXPECT_GT(inFront, 0);
    EXPECT_GT(behind, 0);
  };
  // "Press" a control as a screen reader does, from its accessible object.
  const auto press = [&](ControlId id) -> HRESULT {
    IAccessible* object = nullptr;
    if (FAILED(AccessibleObjectFromWindow(app.Control(id), static_cast<DWORD>(OBJID_CLIENT), kIidAccessible,
                                          reinterpret_cast<void**>(&object))) ||
        object == nullptr) {
      ADD_FAILURE() << "no accessible object for control " << id;
      return E_FAIL;
    }
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    const HRESULT pressed = object->accDoDefaultAction(self);
    object->Release();
    EXPECT_TRUE(app.Settle());
    return pressed;
  };
  check(kSbTermos);
  EXPECT_EQ(press(kBitBtn3), E_ACCESSDENIED);  // GRAVAR, behind the terms
  EXPECT_EQ(app.FrontPage(), app.Control(kSbTermos));
  EXPECT_EQ(app.OpenDialog(), nullptr);  // not even the check's message
  // AVANÇAR, in front, is pressed as a screen reader presses it (Wine's own
  // objects answer "not implemented" there; Windows' press the button).
  if (press(kBitBtn1) != S_OK) app.Press(app.Control(kBitBtn1));
  ASSERT_TRUE(WaitFor([&] { return app.FrontPage() == app.Control(kSbCadastro); }));
  EXPECT_EQ(app.Focus(), app.Control(kEdCPFCNPJ));  // as it always did
  check(kSbCadastro);
  EXPECT_EQ(press(kBitBtn2), E_ACCESSDENIED);  // CANCELAR, behind
  EXPECT_TRUE(app.Running());
  app.SetText(app.Control(kEdCPFCNPJ), L"11.222.333/0001-81");
  app.SetText(app.Control(kEdNomeRazao), L"ACME LTDA");
  app.SetText(app.Control(kEdEmail), L"fiscal@acme.com.br");
  app.PostAltKey(L'G');
  ASSERT_TRUE(WaitFor([&] { return app.FrontPage() == app.Control(kSbInstall); }));
  check(kSbInstall);
  EXPECT_EQ(press(kBitBtn2), E_ACCESSDENIED);  // CANCELAR of the terms, from the install page
  EXPECT_EQ(press(kBitBtn7), E_ACCESSDENIED);  // the folder dialog of the customer page
  // Nor does a click that reaches them otherwise (BM_CLICK, as the
  // system's own objects press a button).
  SendMessageW(app.Control(kBitBtn2), BM_CLICK, 0, 0);
  EXPECT_TRUE(app.Running());
  EXPECT_EQ(app.OpenDialog(), nullptr);
  EXPECT_EQ(app.FrontPage(), app.Control(kSbInstall));
  PostMessageW(app.window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(app.WaitForExit(), 0);
  CoUninitialize();
}

// The focus ring of an edit shows on all four sides, also where a label
// above it or the button beside it would paint over it: the middle pixel of
// each side is the ring's colour (that of its left side, which nothing
// covers), not the page's. At 96 and 144 dpi, and in high contrast.
TEST(Keyboard, FocusRingOfAnEditShowsOnAllFourSides) {
  for (const DWORD dpi : {96u, 144u}) {
    for (const bool contrast : {false, true}) {
      SCOPED_TRACE(std::to_string(dpi) + (contrast ? " dpi, high contrast" : " dpi"));
      ScreenScale scale(dpi);
      Driver app;
      ASSERT_TRUE(app.Start(Exe()));
      if (contrast) PostMessageW(app.window(), kTestFaultMessage, 4, 0);
      app.Press(app.Control(kBitBtn1));
      ASSERT_TRUE(WaitFor([&] { return app.FrontPage() == app.Control(kSbCadastro); }));
      for (ControlId id : {kEdCPFCNPJ, kEdEmail, kEdDirInstalacao}) {
        SCOPED_TRACE(id);
        app.ClickInto(app.Control(id));
        ASSERT_TRUE(WaitFor([&] { return app.Focus() == app.Control(id); }));
        ASSERT_TRUE(app.Settle());
        RECT edit;
        GetWindowRect(app.Control(id), &edit);
        const int midX = (edit.left + edit.right) / 2, midY = (edit.top + edit.bottom) / 2;
        HDC screen = GetDC(nullptr);
        const auto sides = [&] {
          return std::vector<COLORREF>{GetPixel(screen, edit.left - 3, midY), GetPixel(screen, midX, edit.top - 3),
                                       GetPixel(screen, edit.right + 2, midY), GetPixel(screen, midX, edit.bottom + 2)};
        };
        // The ring is painted once the focus has moved; wait for its four sides.
        const bool whole = WaitFor([&] {
          const std::vector<COLORREF> now = sides();
          return now[1] == now[0] && now[2] == now[0] && now[3] == now[0];
        }, 10000);
        const std::vector<COLORREF> seen = sides();
        // The one-pixel gap between the ring and the edit's border: the page.
        const COLORREF background = GetPixel(screen, edit.left - 1, midY);
        ReleaseDC(nullptr, screen);
        EXPECT_TRUE(whole) << std::hex << "left " << seen[0] << ", top " << seen[1] << ", right " << seen[2]
                           << ", bottom " << seen[3];
        EXPECT_NE(seen[0], background);
      }
      if (dpi == 96 && !contrast) {
        EXPECT_TRUE(app.Screenshot(L"20-anel-de-foco-email"));
      }
      PostMessageW(app.window(), WM_CLOSE, 0, 0);
      EXPECT_EQ(app.WaitForExit(), 0);
    }
  }
}

// The pages in the system's high-contrast colours (a test hook stands for
// the system's setting, which the window follows while open), at 96 and 144
// dpi; and the focus ring on the tile, in the window's own colours.
TEST(HighContrast, PagesInTheSystemsColoursAndTheFocusRing) {
  for (const DWORD dpi : {96u, 144u}) {
    SCOPED_TRACE(dpi);
    ScreenScale scale(dpi);
    const std::wstring suffix = dpi == 96 ? L"" : L"-144dpi";
    Driver app;
    ASSERT_TRUE(app.Start(Exe()));
    PostMessageW(app.window(), kTestFaultMessage, 4, 0);
    ASSERT_TRUE(app.Settle());
    // The page's footer is painted again in the window colour of the
    // system's scheme (it was the glossy footer's).
    RECT page;
    GetWindowRect(app.Control(kSbTermos), &page);
    HDC screen = GetDC(nullptr);
    const auto footer = [&] { return GetPixel(screen, page.right - 5, page.bottom - 5); };
    EXPECT_TRUE(WaitFor([&] { return footer() == GetSysColor(COLOR_WINDOW); }, 10000))
        << std::hex << footer() << " instead of " << GetSysColor(COLOR_WINDOW);
    ReleaseDC(nullptr, screen);
    EXPECT_TRUE(app.Screenshot(L"16-alto-contraste-termos" + suffix));
    app.PostAltKey(L'A');
    ASSERT_TRUE(WaitFor([&] { return app.FrontPage() == app.Control(kSbCadastro); }));
    app.SetText(app.Control(kEdCPFCNPJ), L"11.222.333/0001-81");
    app.SetText(app.Control(kEdNomeRazao), L"ACME LTDA");
    app.SetText(app.Control(kEdEmail), L"fiscal@acme.com.br");
    EXPECT_TRUE(app.Screenshot(L"17-alto-contraste-cadastro" + suffix));
    app.PostAltKey(L'G');
    ASSERT_TRUE(WaitFor([&] { return app.FrontPage() == app.Control(kSbInstall); }));
    ASSERT_TRUE(app.Settle());
    EXPECT_TRUE(app.Screenshot(L"18-alto-contraste-instalacao" + suffix));
    // Back to the window's own colours, as when the person turns it off.
    PostMessageW(app.window(), kTestFaultMessage, 5, 0);
    ASSERT_TRUE(app.Settle());
    EXPECT_EQ(app.Focus(), app.Control(kImage2));
    EXPECT_TRUE(app.Screenshot(L"19-foco-no-instalar" + suffix));
    PostMessageW(app.window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(app.WaitForExit(), 0);
  }
}

}  // namespace
}  // namespace pravonell::testing
