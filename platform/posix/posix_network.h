// The network port over POSIX sockets, for the native build (tests, tools).
#pragma once

#include "engine/http/socket.h"

namespace pravonell::posix {

class PosixNetwork final : public http::Network {
 public:
  std::string Resolve(const std::string& host) override;
  std::unique_ptr<http::Connection> Connect(const std::string& address, std::uint16_t port) override;
};

}  // namespace pravonell::posix
