// The network as the HTTP client sees it: name resolution, a blocking
// connect, and a connection that can be polled and read without blocking.
//
// Failures are raised as SocketError with the Winsock error number, which
// the POSIX implementation maps errno onto, so texts match on both systems.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace pravonell::http {

struct SocketError {
  int code;  // a Winsock number, e.g. 10061 for a refused connection
};

class Connection {
 public:
  virtual ~Connection() = default;
  virtual void SendAll(std::span<const char> bytes) = 0;
  // True when data (or the peer's close) is there to read within the time.
  virtual bool WaitReadable(int milliseconds) = 0;
  // What is there, up to the buffer's size; 0 when the peer has closed;
  // nothing when reading now would block.
  virtual std::optional<std::size_t> TryReceive(std::span<char> buffer) = 0;
};

class Network {
 public:
  virtual ~Network() = default;
  // An IPv4 address for the host, as text ("127.0.0.1"). Blocks.
  virtual std::string Resolve(const std::string& host) = 0;
  // A connected socket. Blocks; called on a helper thread by the client.
  virtual std::unique_ptr<Connection> Connect(const std::string& address, std::uint16_t port) = 0;
};

// "Socket Error # 10061" followed by a line break and the error's description.
std::wstring SocketErrorText(int code);

}  // namespace pravonell::http
