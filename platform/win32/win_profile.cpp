#include "platform/win32/win_profile.h"

#include <windows.h>

namespace pravonell::win32 {

std::uint32_t Win32ProfileWriter::WriteString(const std::wstring& section, const std::wstring& key,
                                              const std::wstring& value, const std::wstring& path) {
  if (WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), path.c_str())) return 0;
  const DWORD error = GetLastError();
  return error != 0 ? error : ERROR_WRITE_FAULT;
}

void Win32ProfileWriter::Flush(const std::wstring& path) {
  WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str());
}

}  // namespace pravonell::win32
