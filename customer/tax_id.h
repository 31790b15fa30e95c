// Brazilian tax identifiers: the CPF of a person (11 digits) and the CNPJ of
// a company (14 characters; since July 2026 the first twelve may be letters).
#pragma once

#include <string>

#include "customer/customer_page.h"

namespace pravonell {

// The ASCII digits of the text, in order.
std::wstring SoNumeros(const std::wstring& texto);

// What an entry in the CPF/CNPJ field stands for: its digits, or, for an
// alphanumeric CNPJ, its 14 letters and digits with the letters upper-cased.
// Letters and digits that come to 14, ending in two digits, are read as an
// alphanumeric CNPJ when that CNPJ is valid; otherwise 11 or 14 digits are
// read as they stand (a label such as "CPF" is dropped), and only failing
// that is the alphanumeric reading kept, to be refused as a CNPJ.
std::wstring TaxIdOf(const std::wstring& texto);

// "123.456.789-09" for 11 characters, "11.222.333/0001-81" for 14, else "".
std::wstring FormatarCPFCNPJ(const std::wstring& doc);

bool ValidaCPF(const std::wstring& value);
bool ValidaCNPJ(const std::wstring& value);

// Puts the CPF/CNPJ field into its display form (erasing an entry of any
// other length) and sets the person type from what it now holds.
void VerificaCPFCNPJ(CustomerPage& page);

}  // namespace pravonell
