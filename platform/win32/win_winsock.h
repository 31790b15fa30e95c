// The network port over Winsock: name lookups and non-blocking connections.
#pragma once

#include "engine/http/socket.h"

namespace pravonell::win32 {

class WinsockNetwork final : public http::Network {
 public:
  WinsockNetwork();
  std::string Resolve(const std::string& host) override;
  std::unique_ptr<http::Connection> Connect(const std::string& address, std::uint16_t port) override;
};

}  // namespace pravonell::win32
