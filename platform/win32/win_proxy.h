// The proxy settings Windows would apply to a URL, through WinHTTP.
#pragma once

#include "engine/http/proxy.h"

namespace pravonell::win32 {

class WinHttpProxyLookup final : public http::ProxyLookup {
 public:
  // The current user's settings, and what their automatic configuration
  // script or automatic detection answers for the URL. Blocks.
  http::ProxySettings SettingsFor(const std::string& url) override;
};

}  // namespace pravonell::win32
