#include "customer/tax_id.h"

#include <gtest/gtest.h>

#include "tests/fakes/fake_customer_page.h"
#include "tests/fakes/text.h"

namespace pravonell::testing {
namespace {

TEST(SoNumeros, KeepsOnlyAsciiDigitsInOrder) {
  const struct {
    const wchar_t* in;
    const wchar_t* out;
  } rows[] = {
      {L"123.456.789-09", L"12345678909"},
      {L"", L""},
      {L"abc", L""},
      {L"a1b2c3", L"123"},
      {L"\xFF11\xFF12" L"3", L"3"},      // full-width digits are not digits
      {L"\x0661\x0662" L"45", L"45"},    // nor are Arabic-Indic ones
      {L"12ABC34501DE35", L"1234501" L"35"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Utf8(row.in));
    EXPECT_EQ(SoNumeros(row.in), row.out);
  }
}

TEST(FormatarCPFCNPJ, DisplayFormsByLength) {
  const struct {
    const wchar_t* in;
    const wchar_t* out;
  } rows[] = {
      {L"12345678909", L"123.456.789-09"},
      {L"11222333000181", L"11.222.333/0001-81"},
      {L"12ABC34501DE35", L"12.ABC.345/01DE-35"},
      {L"", L""},
      {L"1234567890", L""},
      {L"123456789012", L""},
      {L"1234567890123", L""},
      {L"123456789012345", L""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Utf8(row.in));
    EXPECT_EQ(FormatarCPFCNPJ(row.in), row.out);
  }
}

TEST(ValidaCPF, CheckDigitsAndRejections) {
  const struct {
    const wchar_t* in;
    bool valid;
  } rows[] = {
      {L"12345678909", true},
      {L"12345678900", false},
      {L"12345678919", false},  // second digit computed from the written tenth
      {L"52998224725", true},
      {L"", false},
      {L"1", false},
      {L"1234567890", false},
      {L"1234567890a", false},
      {L"a2345678909", false},
      {L"12345a78909", false},
      {L"\xFF11" L"2345678909", false},
      {L"123456789091", true},  // characters after the eleventh take no part
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Utf8(row.in));
    EXPECT_EQ(ValidaCPF(row.in), row.valid);
  }
  for (wchar_t digit = L'0'; digit <= L'9'; ++digit) {
    const std::wstring repeated(11, digit);
    SCOPED_TRACE(Utf8(repeated));
    EXPECT_FALSE(ValidaCPF(repeated));
  }
  for (std::size_t length = 1; length <= 10; ++length) {
    EXPECT_FALSE(ValidaCPF(std::wstring(L"12345678909").substr(0, length)));
  }
}

TEST(ValidaCNPJ, NumericAndAlphanumeric) {
  const struct {
    const wchar_t* in;
    bool valid;
  } rows[] = {
      {L"11222333000181", true},
      {L"11222333000180", false},
      {L"00000000000000", true},  // no list of repeated digits for a CNPJ
      {L"11111111111111", false},
      {L"", false},
      {L"1122233300018", false},
      {L"a1222333000181", false},
      {L"1122233300018a", false},
      // Alphanumeric, issued since July 2026.
      {L"12ABC34501DE35", true},
      {L"12345678000A08", true},
      {L"AA345678000A29", true},
      {L"ABCDEFGHIJKL80", true},
      {L"12ABC34501DE36", false},
      {L"12ABC34501DE25", false},
      {L"12345678000A09", false},
      {L"ABCDEFGHIJKL81", false},
      {L"12ABC34501DEA5", false},  // letters only in the first twelve
      {L"12ABC34501DE3A", false},
      {L"12abc34501de35", false},  // upper case only; the field upper-cases
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Utf8(row.in));
    EXPECT_EQ(ValidaCNPJ(row.in), row.valid);
  }
  for (std::size_t length = 1; length <= 13; ++length) {
    EXPECT_FALSE(ValidaCNPJ(std::wstring(L"11222333000181").substr(0, length)));
  }
}

TEST(TaxIdOf, KeepsLettersOnlyForAnAlphanumericCnpj) {
  const struct {
    const wchar_t* in;
    const wchar_t* out;
  } rows[] = {
      {L"12.ABC.345/01DE-35", L"12ABC34501DE35"},
      {L"12abc34501de35", L"12ABC34501DE35"},
      {L"11.222.333/0001-81", L"11222333000181"},
      {L"123.456.789-09", L"12345678909"},
      {L"12ABC34501DE3", L"12345013"},       // 13 characters: digits only
      {L"12ABC34501DE35X", L"123450135"},    // 15 characters
      {L"12ABC34501DEX5", L"12345015"},      // 13th is not a digit
      {L"\xFF21" L"2ABC34501DE35", L"23450135"},  // full-width letters do not count
      // Letters count only when they make a valid CNPJ; a label is dropped.
      {L"CPF 123.456.789-09", L"12345678909"},
      {L"cpf12345678909", L"12345678909"},
      {L"CNPJ 11.222.333/0001-81", L"11222333000181"},
      {L"12.ABC.345/01DE-36", L"12ABC34501DE36"},  // mistyped: kept, to be refused
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Utf8(row.in));
    EXPECT_EQ(TaxIdOf(row.in), row.out);
  }
}

TEST(VerificaCPFCNPJ, ReformatsTheFieldAndFollowsTheCount) {
  const struct {
    const wchar_t* typed;
    int before;
    const wchar_t* shown;
    int after;
  } rows[] = {
      {L"123.456.789-09", kPessoaFisica, L"123.456.789-09", kPessoaFisica},
      {L"12345678909", kPessoaJuridica, L"123.456.789-09", kPessoaFisica},
      {L"1234567890", kPessoaFisica, L"", kPessoaJuridica},
      {L"11222333000181", kPessoaFisica, L"11.222.333/0001-81", kPessoaJuridica},
      {L"", kPessoaFisica, L"", kPessoaJuridica},
      {L"12abc34501de35", kPessoaFisica, L"12.ABC.345/01DE-35", kPessoaJuridica},
      // Eleven digits inside an alphanumeric CNPJ still make a company.
      {L"12ABC345678990", kPessoaFisica, L"12.ABC.345/6789-90", kPessoaJuridica},
      {L"CPF: 123.456.789-09", kPessoaJuridica, L"123.456.789-09", kPessoaFisica},
      {L"cpf 123.456.789-0", kPessoaFisica, L"", kPessoaJuridica},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Utf8(row.typed));
    FakeCustomerPage page;
    page.texts[Field::CpfCnpj] = row.typed;
    page.personType = row.before;
    VerificaCPFCNPJ(page);
    EXPECT_EQ(page.texts[Field::CpfCnpj], row.shown);
    EXPECT_EQ(page.personType, row.after);
    VerificaCPFCNPJ(page);  // a normalised field stays as it is
    EXPECT_EQ(page.texts[Field::CpfCnpj], row.shown);
  }
}

}  // namespace
}  // namespace pravonell::testing
