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
#include <optional>
#include <string>
#include <vector>

#include "engine/http/cookies.h"
#include "engine/http/proxy_auth.h"
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
  virtual void IdHttpWorkBegin(std::int64_t countMax) = 0;
  // count is the bytes taken from the connection since the body began.
  virtual void IdHttpWork(std::int64_t count) = 0;
  virtual void IdHttpWorkEnd() = 0;
  // The network broke the transfer; it is resumed, attempt of attempts.
  virtual void OnReconnect(int attempt, int attempts) = 0;
};

// A proxy server that requests go through.
struct Proxy {
  std::string host;
  std::uint16_t port = 80;
};

struct ClientOptions {
  std::string accept = "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
  std::string userAgent = "Mozilla/3.0 (compatible; Indy Library)";
  unsigned connectLimitMs = 120000;  // the name lookup and the connect together
  int readSliceMs = 250;
  int readIdleLimitMs = 120000;  // longest wait for data once connected
  unsigned redirectBodyWaitMs = 5000;
  // The pauses before each resume of a transfer the network broke; as many
  // resumes as pauses.
  std::vector<unsigned> resumePausesMs = {2000, 5000, 10000};
  std::size_t receiveBlock = 32768;
};

// No connection could be made (the name lookup or the connect failed, or
// took too long): nothing was asked of the host.
class ConnectFailed final : public Error {
 public:
  using Error::Error;
};

class ProxyAuthenticator;

class HttpClient {
 public:
  HttpClient(std::shared_ptr<Network> network, MessagePump& pump, Waits& waits,
             ClientOptions options = {});
  ~HttpClient();

  // GET http://host[:port]path, through the proxy when one is given. A 2xx
  // body goes into the file as it arrives; anything else raises Error with
  // the response's status line. A transfer the network breaks (a reset, a
  // close before the end, a silence past the idle limit) is resumed from the
  // bytes the file has, a few times; then its error is raised. Failures of
  // the network raise Error with their own texts.
  //
  // With what an earlier run knows of the file (`known`): a complete file is
  // asked for with If-None-Match (or If-Modified-Since), and a 304 leaves it
  // as it is (Fetched::Kept, no work event); a partial one is continued with
  // Range and If-Range. A continuation the server refuses (any answer but a
  // 206 that fits, or a 200) starts the file over with a request for all of
  // it. The recorder, when given, is told when the file starts over, the
  // validators of a body that begins it, each time more of it is written,
  // and whether it reached an end the answer marks.
  Fetched Get(const std::string& host, std::uint16_t port, const std::string& path, OutputFile& file,
              WorkEvents& events, const std::optional<Proxy>& proxy = std::nullopt,
              const KnownFile* known = nullptr, TransferRecorder* recorder = nullptr);

  // The proxy's 407s are answered by this (nothing: a 407 is the error it
  // says).
  void UseProxyAuthentication(ProxyAuthenticator* authenticator) { auth_ = authenticator; }

 private:
  // A proxy that closes the connection in the middle of its authentication
  // is connected to again this many times in one request.
  static constexpr int kMostAuthReconnects = 3;
  struct RetryFresh {};
  // The server would not continue the file; the whole file is asked for.
  struct StartAgain {
    std::wstring message;  // the error, should the whole file never come
  };
  // Where a request is for (host, port) and where it connects to.
  struct Target {
    std::string host;
    std::uint16_t port;
    std::string connectHost;
    std::uint16_t connectPort;
    bool viaProxy;
  };
  // What one file's transfer knows across its attempts.
  struct Transfer {
    std::uint64_t received = 0;          // body bytes in the file
    std::optional<std::uint64_t> total;  // the whole body's length, when announced
    std::string etag;                    // the first answer's validators
    std::string lastModified;
    bool began = false;                  // the work events have begun
    bool ended = false;                  // and ended
    bool final = false;                  // the error being raised is not to be resumed
    bool confirm = false;                // ask whether the complete file is still current
    bool kept = false;                   // it was: the file is left as it is
    bool whole = false;                  // the file reached an end the answer marks
    TransferRecorder* recorder = nullptr;
  };

  void Attempt(const Target& target, const std::string& path, OutputFile& file, WorkEvents& events,
               Transfer& transfer, bool firstTry);
  void Exchange(const Target& target, const std::string& path, OutputFile& file, WorkEvents& events,
                bool reused, Transfer& transfer);
  std::uint64_t ResumeOffset(const ResponseHead& head, OutputFile& file, Transfer& transfer);
  void StartOver(OutputFile& file, Transfer& transfer);
  [[noreturn]] void Refused(OutputFile& file, Transfer& transfer, const std::wstring& why);
  static bool SameVersion(const ResponseHead& head, const Transfer& transfer);
  static std::string IfRangeValidator(const Transfer& transfer);
  std::unique_ptr<Connection> Connect(const std::string& host, std::uint16_t port);
  bool ReusableFor(const std::string& host, std::uint16_t port);
  std::size_t ReceiveBlock();
  void ReadHead(HeadParser& parser, bool reused);
  bool SetAsideProxyAnswer(const ResponseHead& head);
  void ReadBody(BodyFraming framing, bool success, std::uint64_t offset, OutputFile& file, WorkEvents& events,
                Transfer& transfer);
  void Drop();

  std::shared_ptr<Network> network_;
  MessagePump& pump_;
  Waits& waits_;
  ClientOptions options_;
  CookieJar cookies_;
  ProxyAuthenticator* auth_ = nullptr;

  std::unique_ptr<Connection> connection_;
  std::string connectedHost_;
  std::uint16_t connectedPort_ = 0;

  // Bytes received and not yet used lie in buffer_[begin_, end_).
  std::vector<char> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

}  // namespace pravonell::http
