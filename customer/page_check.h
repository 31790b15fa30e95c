// The check the customer page must pass before the wizard moves on.
#pragma once

#include "customer/customer_page.h"

namespace pravonell {

// True when every entry is acceptable. At the first failure it moves the
// focus to the failing field (not for the directory) and raises Error with
// the message for the person.
bool ValidaCadastro(CustomerPage& page);

}  // namespace pravonell
