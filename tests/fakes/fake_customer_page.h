// A customer page held in memory that records focus moves.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "customer/customer_page.h"

namespace pravonell::testing {

class FakeCustomerPage final : public CustomerPage {
 public:
  std::map<Field, std::wstring> texts{{Field::CpfCnpj, L""},
                                      {Field::NomeRazao, L"ACME LTDA"},
                                      {Field::Email, L"contato@acme.com.br"},
                                      {Field::DirInstalacao, L"C:\\VARNISCA\\"}};
  int personType = kPessoaFisica;
  bool focusable = true;
  std::vector<Field> focusMoves;

  std::wstring Text(Field field) override { return texts[field]; }
  void SetText(Field field, const std::wstring& text) override { texts[field] = text; }
  bool CanFocus(Field) override { return focusable; }
  void SetFocus(Field field) override { focusMoves.push_back(field); }
  int PersonType() override { return personType; }
  void SetPersonType(int item) override { personType = item; }
};

}  // namespace pravonell::testing
