#include "platform/posix/posix_network.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pravonell::posix {

namespace {

// The Winsock number for an errno, so errors read the same on both systems.
int WinsockCode(int error) {
  switch (error) {
    case EINTR: return 10004;
    case EACCES: return 10013;
    case EINVAL: return 10022;
    case EMFILE: return 10024;
    case EWOULDBLOCK: return 10035;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case EPIPE:
    case ECONNRESET: return 10054;
    case ENOBUFS: return 10055;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    default: return 10000 + error;
  }
}

[[noreturn]] void Fail(int error) { throw http::SocketError{WinsockCode(error)}; }

class PosixConnection final : public http::Connection {
 public:
  explicit PosixConnection(int fd) : fd_(fd) {}
  ~PosixConnection() override { close(fd_); }

  void SendAll(std::span<const char> bytes) override {
    while (!bytes.empty()) {
      if (!WaitWritable()) continue;
      const ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent < 0) {
        if (errno == EINTR || errno == EAGAIN) continue;
        Fail(errno);
      }
      bytes = bytes.subspan(static_cast<std::size_t>(sent));
    }
  }

  bool WaitReadable(int milliseconds) override {
    pollfd p{fd_, POLLIN, 0};
    const int ready = poll(&p, 1, milliseconds);
    if (ready < 0) {
      if (errno == EINTR) return false;
      Fail(errno);
    }
    return ready > 0;
  }

  std::optional<std::size_t> TryReceive(std::span<char> buffer) override {
    for (;;) {
      const ssize_t got = recv(fd_, buffer.data(), buffer.size(), 0);
      if (got >= 0) return static_cast<std::size_t>(got);
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return std::nullopt;
      Fail(errno);
    }
  }

 private:
  bool WaitWritable() {
    pollfd p{fd_, POLLOUT, 0};
    const int ready = poll(&p, 1, 1000);
    if (ready < 0 && errno != EINTR) Fail(errno);
    return ready > 0;
  }
  int fd_;
};

}  // namespace

std::string PosixNetwork::Resolve(const std::string& host) {
  // An IPv6 address (a proxy given as "[fd00::1]:3128") is its own answer.
  in6_addr v6{};
  if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) return host;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
    throw http::SocketError{11001};
  }
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr, text, sizeof text);
  freeaddrinfo(found);
  return text;
}

std::unique_ptr<http::Connection> PosixNetwork::Connect(const std::string& address,
                                                        std::uint16_t port) {
  sockaddr_storage peer{};
  socklen_t peerLength = 0;
  if (address.find(':') != std::string::npos) {
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&peer);
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    if (inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) != 1) throw http::SocketError{11001};
    peerLength = sizeof *v6;
  } else {
    auto* v4 = reinterpret_cast<sockaddr_in*>(&peer);
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) != 1) throw http::SocketError{11001};
    peerLength = sizeof *v4;
  }
  const int fd = socket(peer.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) Fail(errno);
  if (connect(fd, reinterpret_cast<sockaddr*>(&peer), peerLength) != 0) {
    const int error = errno;
    close(fd);
    Fail(error);
  }
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  return std::make_unique<PosixConnection>(fd);
}

}  // namespace pravonell::posix
