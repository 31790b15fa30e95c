// The HTTP/1.1 client of the downloads: a GET of one URL into an open file.
//
// It runs on the GUI thread and keeps the window alive while it waits: the
// name lookup and the connect run on a helper thread while the pumped wait
// serves the window; waits for data pump after each empty 250 ms slice; and
// each block received is followed by a pump. A stop raised by the pump ends
// the transfer.
// Redirects are not followed. The connection is kept for the next GET when
// the server allows it, and cookies are kept in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/http/cookies.h"
#include "engine/http/response_parser.h"
#include "engine/http/socket.h"
#include "engine/ports.h"
#include "engine/waiting.h"

namespace pravonell::http {

// Progress of one response body: the client's work events.
class WorkEvents {
 public:
  virtual ~WorkEvents() = default;
  // countMax is the announced Content-Length, or 0 when none was announced.
  virtual void OnWorkBegin(std::int64_t countMax) = 0;
  // count is the bytes taken from the connection since the body began.
  virtual void OnWork(std::int64_t count) = 0;
  virtual void OnWorkEnd() = 0;
};

struct ClientOptions {
  std::string accept = "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
  std::string userAgent = "Mozilla/3.0 (compatible; Indy Library)";
  unsigned connectLimitMs = 120000;  // the name lookup and the connect together
  int readSliceMs = 250;
  int readIdleLimitMs = 120000;  // longest wait for data once connected
  unsigned redirectBodyWaitMs = 5000;
  std::size_t receiveBlock = 32768;
};

class HttpClient {
 public:
  HttpClient(std::shared_ptr<Network> network, MessagePump& pump, Waits& waits,
             ClientOptions options = {});
  ~HttpClient();

  // GET http://host[:port]path. A 2xx body goes into the file as it arrives;
  // anything else raises Error with the response's status line. Failures of
  // the network raise Error with their own texts.
  void Get(const std::string& host, std::uint16_t port, const std::string& path,
           OutputFile& file, WorkEvents& events);

 private:
  struct RetryFresh {};

  void Exchange(const std::string& host, std::uint16_t port, const std::string& path,
                OutputFile& file, WorkEvents& events, bool reused);
  std::unique_ptr<Connection> Connect(const std::string& host, std::uint16_t port);
  bool ReusableFor(const std::string& host, std::uint16_t port);
  std::size_t ReceiveBlock();
  void ReadHead(HeadParser& parser, bool reused);
  void ReadBody(BodyFraming framing, bool success, OutputFile& file, WorkEvents& events);
  void Drop();

  std::shared_ptr<Network> network_;
  MessagePump& pump_;
  Waits& waits_;
  ClientOptions options_;
  CookieJar cookies_;

  std::unique_ptr<Connection> connection_;
  std::string connectedHost_;
  std::uint16_t connectedPort_ = 0;

  // Bytes received and not yet used lie in buffer_[begin_, end_).
  std::vector<char> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

}  // namespace pravonell::http
