// Building Windows command lines.
#pragma once

#include <string>

namespace pravonell {

// The argument as a program's standard command-line parser will read it back:
// unchanged when it has no blank or quote, otherwise in quotes, with the
// backslashes before a quote (and at the end) doubled so "C:\A B\" survives.
std::wstring QuoteArgument(const std::wstring& argument);

}  // namespace pravonell
