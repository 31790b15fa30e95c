#include "platform/win32/win_text.h"

#include <windows.h>

namespace pravonell::win32 {

std::wstring SystemMessage(unsigned long code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = length != 0 ? std::wstring(buffer, length) : std::wstring();
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() <= L' ' || text.back() == L'.')) text.pop_back();
  if (text.empty()) text = L"System error " + std::to_wstring(code);
  return text;
}

}  // namespace pravonell::win32
