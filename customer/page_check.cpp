#include "customer/page_check.h"

#include "customer/tax_id.h"
#include "engine/error.h"

namespace pravonell {

namespace {

// Blank once the space and the control characters at both ends are ignored.
bool IsBlank(const std::wstring& text) {
  for (wchar_t c : text) {
    if (c > L' ') return false;
  }
  return true;
}

[[noreturn]] void Reject(CustomerPage& page, Field field, const wchar_t* message) {
  // The field holds the focus before the message comes up, and gets it back
  // when the message box closes.
  if (page.CanFocus(field)) page.SetFocus(field);
  throw Error(message);
}

}  // namespace

std::wstring WithTrailingBackslash(const std::wstring& text) {
  if (IsBlank(text) || text.back() == L'\\') return text;
  return text + L"\\";
}

bool ValidaCadastro(CustomerPage& page) {
  VerificaCPFCNPJ(page);

  const std::wstring taxId = TaxIdOf(page.Text(Field::CpfCnpj));
  switch (page.PersonType()) {
    case kPessoaFisica:
      if (!ValidaCPF(taxId)) Reject(page, Field::CpfCnpj, L"Digite um CPF Válido");
      break;
    case kPessoaJuridica:
      if (!ValidaCNPJ(taxId)) Reject(page, Field::CpfCnpj, L"Digite um CNPJ Válido.");
      break;
    default:
      break;
  }
  if (IsBlank(page.Text(Field::NomeRazao))) {
    Reject(page, Field::NomeRazao, L"Informe um NOME/RAZÃO SOCIAL.");
  }
  if (IsBlank(page.Text(Field::Email))) Reject(page, Field::Email, L"Informe um EMAIL");
  if (IsBlank(page.Text(Field::DirInstalacao))) {
    throw Error(L"Diretorio de instalação não informado.");
  }
  return true;
}

}  // namespace pravonell
