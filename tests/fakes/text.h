// UTF-8 views of wide texts, so test logs and failures read plainly.
#pragma once

#include <string>
#include <vector>

#include "engine/text.h"

namespace pravonell::testing {

inline std::string Utf8(const std::wstring& text) { return Utf8Of(text); }

// One entry per line: gtest shows a line diff when two such texts differ.
inline std::string Lines(const std::vector<std::string>& entries) {
  std::string text;
  for (const std::string& entry : entries) text += entry + "\n";
  return text;
}

}  // namespace pravonell::testing
