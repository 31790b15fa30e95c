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

inline constexpr const wchar_t* kMainWindowClass = L"TfrmMaster";
inline constexpr const wchar_t* kMainWindowCaption = L"Pravonell";

}  // namespace pravonell::ui
