// The system's profile writer (WritePrivateProfileStringW).
#pragma once

#include "customer/customer_page.h"

namespace pravonell::win32 {

class Win32ProfileWriter final : public ProfileWriter {
 public:
  std::uint32_t WriteString(const std::wstring& section, const std::wstring& key, const std::wstring& value,
                   const std::wstring& path) override;
  void Flush(const std::wstring& path) override;
};

}  // namespace pravonell::win32
