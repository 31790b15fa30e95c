#include "customer/page_check.h"

#include <gtest/gtest.h>

#include <optional>

#include "engine/error.h"
#include "tests/fakes/fake_customer_page.h"
#include "tests/fakes/text.h"

namespace pravonell::testing {
namespace {

struct Entry {
  const char* name;
  const wchar_t* cpfCnpj;
  const wchar_t* nome;
  const wchar_t* email;
  const wchar_t* dir;
  int personTypeBefore;
  const char* message;           // nullptr when the check passes
  std::optional<Field> focus;    // where the focus was moved
  const wchar_t* fieldAfter;     // the CPF/CNPJ field after the check
  int personTypeAfter;
};

const Entry kEntries[] = {
    {"valid CPF typed bare while company is chosen", L"12345678909", L"JOSE", L"j@x.br",
     L"C:\\VARNISCA\\", kPessoaJuridica, nullptr, std::nullopt, L"123.456.789-09", kPessoaFisica},
    {"valid CNPJ", L"11.222.333/0001-81", L"ACME", L"a@b", L"C:\\X\\", kPessoaFisica, nullptr,
     std::nullopt, L"11.222.333/0001-81", kPessoaJuridica},
    {"fourteen zeros pass as a CNPJ", L"00000000000000", L"ACME", L"a@b", L"C:\\X\\",
     kPessoaFisica, nullptr, std::nullopt, L"00.000.000/0000-00", kPessoaJuridica},
    {"alphanumeric CNPJ in lower case", L"12abc34501de35", L"ACME", L"a@b", L"C:\\X\\",
     kPessoaFisica, nullptr, std::nullopt, L"12.ABC.345/01DE-35", kPessoaJuridica},
    {"e-mail without an at-sign passes", L"12345678909", L"JOSE", L"no at sign", L"C:\\X\\",
     kPessoaFisica, nullptr, std::nullopt, L"123.456.789-09", kPessoaFisica},
    {"empty CPF/CNPJ field: the tax id is reported before the name", L"", L"", L"j@x.br",
     L"C:\\X\\", kPessoaFisica, "Digite um CNPJ Válido.", Field::CpfCnpj, L"", kPessoaJuridica},
    {"ten digits are erased", L"1234567890", L"JOSE", L"j@x.br", L"C:\\X\\", kPessoaFisica,
     "Digite um CNPJ Válido.", Field::CpfCnpj, L"", kPessoaJuridica},
    {"CPF with wrong check digits", L"12345678900", L"JOSE", L"j@x.br", L"C:\\X\\", kPessoaFisica,
     "Digite um CPF Válido", Field::CpfCnpj, L"123.456.789-00", kPessoaFisica},
    {"repeated-digit CPF", L"111.111.111-11", L"JOSE", L"j@x.br", L"C:\\X\\", kPessoaFisica,
     "Digite um CPF Válido", Field::CpfCnpj, L"111.111.111-11", kPessoaFisica},
    {"alphanumeric CNPJ with a wrong check digit", L"12ABC34501DE36", L"ACME", L"a@b", L"C:\\X\\",
     kPessoaFisica, "Digite um CNPJ Válido.", Field::CpfCnpj, L"12.ABC.345/01DE-36",
     kPessoaJuridica},
    {"name of spaces only", L"12345678909", L"   ", L"j@x.br", L"C:\\X\\", kPessoaFisica,
     "Informe um NOME/RAZÃO SOCIAL.", Field::NomeRazao, L"123.456.789-09", kPessoaFisica},
    {"name and e-mail empty: only the name is reported", L"12345678909", L"", L"", L"C:\\X\\",
     kPessoaFisica, "Informe um NOME/RAZÃO SOCIAL.", Field::NomeRazao, L"123.456.789-09",
     kPessoaFisica},
    {"e-mail of control characters: reported before the directory", L"12345678909", L"JOSE",
     L"\t\r\n ", L"  ", kPessoaFisica, "Informe um EMAIL", Field::Email, L"123.456.789-09",
     kPessoaFisica},
    {"directory of spaces: the focus stays", L"12345678909", L"JOSE", L"j@x.br", L"  ",
     kPessoaFisica, "Diretorio de instalação não informado.", std::nullopt, L"123.456.789-09",
     kPessoaFisica},
    // An entry labelled "CPF" is a CPF; letters count only in a valid CNPJ.
    {"CPF with a label and a blank", L"CPF 123.456.789-09", L"JOSE", L"j@x.br", L"C:\\X\\",
     kPessoaJuridica, nullptr, std::nullopt, L"123.456.789-09", kPessoaFisica},
    {"CPF with a label and a colon", L"CPF: 123.456.789-09", L"JOSE", L"j@x.br", L"C:\\X\\",
     kPessoaJuridica, nullptr, std::nullopt, L"123.456.789-09", kPessoaFisica},
    {"CPF with a label in lower case", L"cpf12345678909", L"JOSE", L"j@x.br", L"C:\\X\\",
     kPessoaJuridica, nullptr, std::nullopt, L"123.456.789-09", kPessoaFisica},
    {"CNPJ with a label", L"CNPJ 11.222.333/0001-81", L"ACME", L"a@b", L"C:\\X\\", kPessoaFisica,
     nullptr, std::nullopt, L"11.222.333/0001-81", kPessoaJuridica},
    {"alphanumeric CNPJ typed in lower case with its punctuation", L"12.abc.345/01de-35", L"ACME",
     L"a@b", L"C:\\X\\", kPessoaFisica, nullptr, std::nullopt, L"12.ABC.345/01DE-35",
     kPessoaJuridica},
    {"mistyped alphanumeric CNPJ stays as typed", L"12.ABC.345/01DE-36", L"ACME", L"a@b",
     L"C:\\X\\", kPessoaFisica, "Digite um CNPJ Válido.", Field::CpfCnpj, L"12.ABC.345/01DE-36",
     kPessoaJuridica},
};

TEST(ValidaCadastro, ChecksInOrderWithMessageAndFocus) {
  for (const Entry& entry : kEntries) {
    SCOPED_TRACE(entry.name);
    FakeCustomerPage page;
    page.texts[Field::CpfCnpj] = entry.cpfCnpj;
    page.texts[Field::NomeRazao] = entry.nome;
    page.texts[Field::Email] = entry.email;
    page.texts[Field::DirInstalacao] = entry.dir;
    page.personType = entry.personTypeBefore;

    std::string message;
    try {
      EXPECT_TRUE(ValidaCadastro(page));
    } catch (const Error& e) {
      message = Utf8(e.message());
    }
    EXPECT_EQ(message, entry.message ? entry.message : "");
    std::vector<Field> expectedFocus;
    if (entry.focus) expectedFocus.push_back(*entry.focus);
    EXPECT_EQ(page.focusMoves, expectedFocus);
    EXPECT_EQ(page.texts[Field::CpfCnpj], entry.fieldAfter);
    EXPECT_EQ(page.personType, entry.personTypeAfter);
  }
}

TEST(ValidaCadastro, FocusIsLeftAloneWhenTheFieldCannotTakeIt) {
  FakeCustomerPage page;
  page.texts[Field::CpfCnpj] = L"12345678900";
  page.focusable = false;
  EXPECT_THROW(ValidaCadastro(page), Error);
  EXPECT_TRUE(page.focusMoves.empty());
}

TEST(ValidaCadastro, FieldsKeepTheirSpaces) {
  FakeCustomerPage page;
  page.texts[Field::CpfCnpj] = L"12345678909";
  page.texts[Field::NomeRazao] = L" JOSE ";
  EXPECT_TRUE(ValidaCadastro(page));
  EXPECT_EQ(page.texts[Field::NomeRazao], L" JOSE ");
}

TEST(WithTrailingBackslash, AddsOneOnlyWhereItIsMissing) {
  const struct {
    const wchar_t* in;
    const wchar_t* out;
  } rows[] = {
      {L"D:\\ERP", L"D:\\ERP\\"},
      {L"C:\\VARNISCA\\", L"C:\\VARNISCA\\"},
      {L"C:\\", L"C:\\"},
      {L"", L""},
      {L"   ", L"   "},
      {L"\t", L"\t"},
      {L"D:\\ERP ", L"D:\\ERP \\"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Utf8(row.in));
    EXPECT_EQ(WithTrailingBackslash(row.in), row.out);
  }
}

}  // namespace
}  // namespace pravonell::testing
