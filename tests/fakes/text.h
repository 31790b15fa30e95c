// UTF-8 views of wide texts, so test logs and failures read plainly.
#pragma once

#include <string>
#include <vector>

namespace pravonell::testing {

inline std::string Utf8(const std::wstring& text) {
  std::string out;
  for (wchar_t wc : text) {
    auto c = static_cast<char32_t>(wc);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// One entry per line: gtest shows a line diff when two such texts differ.
inline std::string Lines(const std::vector<std::string>& entries) {
  std::string text;
  for (const std::string& entry : entries) text += entry + "\n";
  return text;
}

}  // namespace pravonell::testing
