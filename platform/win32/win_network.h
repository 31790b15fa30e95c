// The network port over Winsock, and the reachability probe over WinINet.
#pragma once

#include "engine/http/socket.h"
#include "engine/ports.h"

namespace pravonell::win32 {

class WinsockNetwork final : public http::Network {
 public:
  WinsockNetwork();
  std::string Resolve(const std::string& host) override;
  std::unique_ptr<http::Connection> Connect(const std::string& address, std::uint16_t port) override;
};

// One WinINet request; the status code as text, or "" when none was read.
class WinInetProbe final : public StatusProbe {
 public:
  std::wstring QueryStatus(const std::wstring& address) override;
};

}  // namespace pravonell::win32
