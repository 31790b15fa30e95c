// Small helpers shared by the Win32 implementations of the ports.
#pragma once

#include <string>

namespace pravonell::win32 {

// The system's description of an error code, without the final line break or
// full stop (the error display adds its own).
std::wstring SystemMessage(unsigned long code);

}  // namespace pravonell::win32
