// Negotiate and NTLM with Windows' own security packages (SSPI, from the
// system folder's secur32.dll): the logged-on person's credentials when
// none are given, what the person typed otherwise.
#pragma once

#include "engine/http/proxy_auth.h"

namespace pravonell::win32 {

class Win32SecurityPackages final : public http::SecurityPackages {
 public:
  std::unique_ptr<http::AuthHandshake> Begin(http::AuthScheme scheme, const std::wstring& target,
                                             const http::Credentials* credentials) override;
};

}  // namespace pravonell::win32
