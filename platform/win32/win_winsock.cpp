#include "platform/win32/win_winsock.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>


namespace pravonell::win32 {

namespace {

[[noreturn]] void Fail(int code) { throw http::SocketError{code}; }

class WinsockConnection final : public http::Connection {
 public:
  explicit WinsockConnection(SOCKET s) : socket_(s) {}
  ~WinsockConnection() override { closesocket(socket_); }

  void SendAll(std::span<const char> bytes) override {
    while (!bytes.empty()) {
      const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20));
      const int sent = send(socket_, bytes.data(), chunk, 0);
      if (sent == SOCKET_ERROR) {
        const int error = WSAGetLastError();
        if (error != WSAEWOULDBLOCK) Fail(error);
        Wait(false, 1000);
        continue;
      }
      bytes = bytes.subspan(static_cast<std::size_t>(sent));
    }
  }

  bool WaitReadable(int milliseconds) override { return Wait(true, milliseconds); }

  std::optional<std::size_t> TryReceive(std::span<char> buffer) override {
    const int got = recv(socket_, buffer.data(), static_cast<int>(buffer.size()), 0);
    if (got != SOCKET_ERROR) return static_cast<std::size_t>(got);
    const int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) return std::nullopt;
    Fail(error);
  }

 private:
  bool Wait(bool read, int milliseconds) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket_, &set);
    timeval timeout{milliseconds / 1000, (milliseconds % 1000) * 1000};
    const int ready = read ? select(0, &set, nullptr, nullptr, &timeout)
                           : select(0, nullptr, &set, nullptr, &timeout);
    if (ready == SOCKET_ERROR) Fail(WSAGetLastError());
    return ready > 0;
  }

  SOCKET socket_;
};

}  // namespace

WinsockNetwork::WinsockNetwork() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

std::string WinsockNetwork::Resolve(const std::string& host) {
  // An IPv6 address (a proxy given as "[fd00::1]:3128") is its own answer.
  in6_addr v6{};
  if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) return host;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
    const int error = WSAGetLastError();
    Fail(error != 0 ? error : WSAHOST_NOT_FOUND);
  }
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr, text, sizeof text);
  freeaddrinfo(found);
  return text;
}

std::unique_ptr<http::Connection> WinsockNetwork::Connect(const std::string& address,
                                                         std::uint16_t port) {
  sockaddr_storage peer{};
  int peerLength = 0;
  if (address.find(':') != std::string::npos) {
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&peer);
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    if (inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) != 1) Fail(WSAHOST_NOT_FOUND);
    peerLength = sizeof *v6;
  } else {
    auto* v4 = reinterpret_cast<sockaddr_in*>(&peer);
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) != 1) Fail(WSAHOST_NOT_FOUND);
    peerLength = sizeof *v4;
  }
  SOCKET s = socket(peer.ss_family, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) Fail(WSAGetLastError());
  if (connect(s, reinterpret_cast<sockaddr*>(&peer), peerLength) == SOCKET_ERROR) {
    const int error = WSAGetLastError();
    closesocket(s);
    Fail(error);
  }
  BOOL noDelay = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
  u_long nonBlocking = 1;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  return std::make_unique<WinsockConnection>(s);
}

}  // namespace pravonell::win32
