// The check the customer page must pass before the wizard moves on.
#pragma once

#include <string>

#include "customer/customer_page.h"

namespace pravonell {

// True when every entry is acceptable. At the first failure it moves the
// focus to the failing field (not for the directory) and raises Error with
// the message for the person.
bool ValidaCadastro(CustomerPage& page);

// A folder path with its final backslash: one is added unless the text is
// blank (only spaces and control characters) or already ends in one. A text
// ending in a blank gets the backslash after that blank.
std::wstring WithTrailingBackslash(const std::wstring& text);

}  // namespace pravonell
