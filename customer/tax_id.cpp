#include "customer/tax_id.h"

#include <array>

namespace pravonell {

namespace {

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool IsUpper(wchar_t c) { return c >= L'A' && c <= L'Z'; }
bool IsLower(wchar_t c) { return c >= L'a' && c <= L'z'; }

// 11 minus the remainder, with 10 and 11 giving 0.
int CheckDigit(int soma) {
  const int digit = 11 - soma % 11;
  return digit > 9 ? 0 : digit;
}

}  // namespace

std::wstring SoNumeros(const std::wstring& texto) {
  std::wstring digits;
  for (wchar_t c : texto) {
    if (IsDigit(c)) digits += c;
  }
  return digits;
}

std::wstring TaxIdOf(const std::wstring& texto) {
  std::wstring characters;
  bool hasLetter = false;
  for (wchar_t c : texto) {
    if (IsDigit(c)) {
      characters += c;
    } else if (IsUpper(c) || IsLower(c)) {
      characters += IsLower(c) ? static_cast<wchar_t>(c - L'a' + L'A') : c;
      hasLetter = true;
    }
  }
  const bool alphanumericShape =
      hasLetter && characters.size() == 14 && IsDigit(characters[12]) && IsDigit(characters[13]);
  // Letters count only when they make a valid CNPJ: "CPF 123.456.789-09" is a
  // labelled CPF, not the company "CP.F12.345/6789-09".
  if (alphanumericShape && ValidaCNPJ(characters)) return characters;
  const std::wstring digits = SoNumeros(texto);
  if (digits.size() == 11 || digits.size() == 14) return digits;
  // A mistyped alphanumeric CNPJ stays as typed, to be refused as a CNPJ.
  return alphanumericShape ? characters : digits;
}

std::wstring FormatarCPFCNPJ(const std::wstring& doc) {
  if (doc.size() == 11) {
    return doc.substr(0, 3) + L"." + doc.substr(3, 3) + L"." + doc.substr(6, 3) + L"-" +
           doc.substr(9, 2);
  }
  if (doc.size() == 14) {
    return doc.substr(0, 2) + L"." + doc.substr(2, 3) + L"." + doc.substr(5, 3) + L"/" +
           doc.substr(8, 4) + L"-" + doc.substr(12, 2);
  }
  return L"";
}

bool ValidaCPF(const std::wstring& value) {
  // These satisfy the check-digit equations, so only this list rejects them.
  if (value.size() == 11) {
    bool allSame = true;
    for (wchar_t c : value) allSame = allSame && c == value[0];
    if (allSame && IsDigit(value[0])) return false;
  }
  if (value.size() < 11) return false;
  std::array<int, 11> d{};
  for (std::size_t p = 0; p < 11; ++p) {
    if (!IsDigit(value[p])) return false;
    d[p] = value[p] - L'0';
  }
  int soma = 0;
  for (int p = 0; p < 9; ++p) soma += d[p] * (10 - p);
  const int digit1 = CheckDigit(soma);
  soma = 0;
  for (int p = 0; p < 10; ++p) soma += d[p] * (11 - p);  // the written position 10 digit
  const int digit2 = CheckDigit(soma);
  return d[9] == digit1 && d[10] == digit2;
}

bool ValidaCNPJ(const std::wstring& value) {
  if (value.size() < 14) return false;
  // Each character counts as its code minus that of '0', so digits keep their
  // value and the letters of an alphanumeric CNPJ take 17 ('A') to 42 ('Z').
  std::array<int, 14> d{};
  for (std::size_t p = 0; p < 14; ++p) {
    const wchar_t c = value[p];
    if (!(IsDigit(c) || (p < 12 && IsUpper(c)))) return false;
    d[p] = c - L'0';
  }
  static constexpr std::array<int, 12> kWeights1{5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
  static constexpr std::array<int, 13> kWeights2{6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
  int soma = 0;
  for (int p = 0; p < 12; ++p) soma += d[p] * kWeights1[p];
  const int digit1 = CheckDigit(soma);
  soma = 0;
  for (int p = 0; p < 13; ++p) soma += d[p] * kWeights2[p];
  const int digit2 = CheckDigit(soma);
  return d[12] == digit1 && d[13] == digit2;
}

void VerificaCPFCNPJ(CustomerPage& page) {
  page.SetText(Field::CpfCnpj, FormatarCPFCNPJ(TaxIdOf(page.Text(Field::CpfCnpj))));
  // Read back: the field holds what the window made of the text.
  const std::size_t count = TaxIdOf(page.Text(Field::CpfCnpj)).size();
  page.SetPersonType(count == 11 ? kPessoaFisica : kPessoaJuridica);
}

}  // namespace pravonell
