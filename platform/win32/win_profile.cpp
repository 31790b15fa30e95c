#include "platform/win32/win_profile.h"

#include <windows.h>

namespace pravonell::win32 {

bool Win32ProfileWriter::WriteString(const std::wstring& section, const std::wstring& key,
                                     const std::wstring& value, const std::wstring& path) {
  return WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), path.c_str()) != 0;
}

void Win32ProfileWriter::Flush(const std::wstring& path) {
  WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str());
}

}  // namespace pravonell::win32
