// Identifiers of the window's controls. The GUI tests find controls by them,
// so this header stays free of <windows.h>.
#pragma once

namespace pravonell::ui {

enum ControlId : int {
  kImage1 = 100,
  kPnPrincipal,
  kSbTermos,
  kSbCadastro,
  kSbInstall,
  // terms page
  kMemo1 = 200,
  kGroupBox2,
  kBitBtn1,
  kBitBtn2,
  kScrollBar1,
  // customer page
  kRgPessoa = 300,
  kRbPessoaFisica,
  kRbPessoaJuridica,
  kLabel2,
  kEdCPFCNPJ,
  kLabel3,
  kEdNomeRazao,
  kLabel4,
  kEdEmail,
  kGroupBox1,
  kLabel7,
  kBitBtn7,
  kEdDirInstalacao,
  kBitBtn3,
  // installation page
  kLblModulo = 400,
  kLblStatus,
  kPbProgresso,
  kPanel3,
  kImage2,
  kLabel1,
};

// Test builds only: posted to the window, makes its handler throw (an Error
// with wParam 0, a std::exception with 1); with 2 every later paint of a
// page throws, and 3 ends that; 4 paints as if high contrast were on, 5 as
// if it were off. WM_APP + 0x7F.
inline constexpr unsigned kTestFaultMessage = 0x8000 + 0x7F;

// Test builds only: sent to the window, answers one of its counters (the
// wParam), so a test can wait until a run has ended or a click on the tile
// has been handled instead of waiting a fixed time. WM_APP + 0x7E.
inline constexpr unsigned kTestCounterMessage = 0x8000 + 0x7E;
enum TestCounter : unsigned {
  kRunsFinished = 0,   // runs that have returned, however they ended
  kClicksIgnored = 1,  // clicks on the tile that came during a run
  kMarksSeen = 2,      // marks posted by a test (lParam 1), so it knows what it posted before was handled
};

inline constexpr const wchar_t* kMainWindowClass = L"TfrmMaster";
inline constexpr const wchar_t* kMainWindowCaption = L"Pravonell";

}  // namespace pravonell::ui
