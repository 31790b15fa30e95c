#include "engine/http/http_client.h"

#include <cctype>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "engine/error.h"

namespace pravonell::http {

namespace {

constexpr const wchar_t* kClosedGracefully = L"Connection Closed Gracefully.";
constexpr const wchar_t* kReadTimedOut = L"Read timed out.";

std::wstring Widen(const std::string& text) {
  // Status lines are meant to be ASCII; other bytes are shown as Latin-1.
  std::wstring wide;
  wide.reserve(text.size());
  for (unsigned char c : text) wide += static_cast<wchar_t>(c);
  return wide;
}

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return i == a.size() && b[i] == '\0';
}

// What the helper thread of one connect attempt and the waiting caller share.
struct PendingConnect {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  bool abandoned = false;
  int error = 0;
  std::unique_ptr<Connection> connection;
};

}  // namespace

HttpClient::HttpClient(std::shared_ptr<Network> network, MessagePump& pump, Waits& waits,
                       ClientOptions options)
    : network_(std::move(network)),
      pump_(pump),
      waits_(waits),
      options_(std::move(options)),
      buffer_(options_.receiveBlock) {}

HttpClient::~HttpClient() = default;

void HttpClient::Drop() {
  connection_.reset();
  begin_ = end_ = 0;
}

std::unique_ptr<Connection> HttpClient::Connect(const std::string& host, std::uint16_t port) {
  // The name lookup and the connect block, so they run on a helper thread
  // while the window is served. An attempt given up on is left to finish on
  // its own; its socket is closed by the thread.
  auto pending = std::make_shared<PendingConnect>();
  std::thread([pending, network = network_, host, port] {
    std::unique_ptr<Connection> connection;
    int error = 0;
    try {
      connection = network->Connect(network->Resolve(host), port);
    } catch (const SocketError& e) {
      error = e.code;
    } catch (...) {
      error = 10060;
    }
    std::lock_guard lock(pending->mutex);
    if (!pending->abandoned) {
      pending->connection = std::move(connection);
      pending->error = error;
    }
    pending->done = true;
    pending->finished.notify_all();
  }).detach();

  const auto abandon = [&] {
    std::lock_guard lock(pending->mutex);
    pending->abandoned = true;
  };
  bool done = false;
  try {
    done = waits_.Until(
        [&](unsigned ms) {
          std::unique_lock lock(pending->mutex);
          return pending->finished.wait_for(lock, std::chrono::milliseconds(ms), [&] { return pending->done; });
        },
        options_.connectLimitMs);
  } catch (...) {
    abandon();
    throw;
  }
  std::lock_guard lock(pending->mutex);
  if (!done && !pending->done) {
    pending->abandoned = true;
    throw Error(L"Connect timed out.");
  }
  if (pending->error != 0) throw SocketError{pending->error};
  return std::move(pending->connection);
}

// A kept connection is used again only while the server has neither closed
// it nor sent anything unasked.
bool HttpClient::ReusableFor(const std::string& host, std::uint16_t port) {
  if (!connection_ || connectedHost_ != host || connectedPort_ != port || begin_ != end_) {
    return false;
  }
  try {
    if (!connection_->WaitReadable(0)) return true;
  } catch (const SocketError&) {
  }
  return false;
}

// A server that keeps the connection open and sends nothing is given up on
// after the idle limit; until then the window is pumped after each empty slice.
std::size_t HttpClient::ReceiveBlock() {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.readIdleLimitMs);
  for (;;) {
    const auto got = connection_->TryReceive(std::span(buffer_.data(), buffer_.size()));
    if (got) {
      begin_ = 0;
      end_ = *got;
      return *got;
    }
    if (connection_->WaitReadable(options_.readSliceMs)) continue;
    pump_.ProcessMessages();
    if (std::chrono::steady_clock::now() >= deadline) throw Error(kReadTimedOut);
  }
}

void HttpClient::Get(const std::string& host, std::uint16_t port, const std::string& path,
                     OutputFile& file, WorkEvents& events) {
  try {
    const bool reused = ReusableFor(host, port);
    if (!reused) {
      Drop();
      connection_ = Connect(host, port);
      connectedHost_ = host;
      connectedPort_ = port;
    }
    try {
      Exchange(host, port, path, file, events, reused);
    } catch (const RetryFresh&) {
      // The kept connection had been closed by the server before it answered.
      Drop();
      connection_ = Connect(host, port);
      Exchange(host, port, path, file, events, false);
    }
  } catch (const SocketError& e) {
    Drop();
    throw Error(SocketErrorText(e.code));
  } catch (const ProtocolError& e) {
    Drop();
    throw Error(e.message);
  } catch (...) {
    Drop();
    throw;
  }
}

void HttpClient::ReadHead(HeadParser& parser, bool reused) {
  for (;;) {
    if (begin_ < end_) {
      begin_ += parser.Feed(std::span(buffer_.data() + begin_, end_ - begin_));
      if (parser.done()) return;
    }
    if (ReceiveBlock() == 0) {
      if (reused && parser.empty()) throw RetryFresh{};
      // A head is complete only with its empty line: one the close cuts short
      // may have lost the very header that frames the body.
      throw Error(kClosedGracefully);
    }
  }
}

void HttpClient::Exchange(const std::string& host, std::uint16_t port, const std::string& path,
                          OutputFile& file, WorkEvents& events, bool reused) {
  const std::string hostHeader = port == 80 ? host : host + ":" + std::to_string(port);
  std::string request = "GET " + path + " HTTP/1.1\r\nHost: " + hostHeader +
                        "\r\nAccept: " + options_.accept + "\r\nUser-Agent: " + options_.userAgent +
                        "\r\n";
  if (const std::string cookie = cookies_.HeaderFor(host, path); !cookie.empty()) {
    request += "Cookie: " + cookie + "\r\n";
  }
  request += "\r\n";
  try {
    connection_->SendAll(request);
  } catch (const SocketError&) {
    if (reused) throw RetryFresh{};
    throw;
  }

  HeadParser parser;
  for (;;) {
    ReadHead(parser, reused);
    const int status = parser.head().status;
    // Interim answers (100 Continue and the like) are skipped; the real one follows.
    if (status >= 100 && status < 200 && status != 101) {
      parser.Reset();
      reused = false;
      continue;
    }
    break;
  }
  const ResponseHead& head = parser.head();
  if (head.status == 0) throw Error(Widen(head.statusLine));
  cookies_.Store(head.All("Set-Cookie"), host, path);

  const bool success = head.status >= 200 && head.status < 300;
  const bool redirect = head.status >= 300 && head.status < 400 && head.status != 304;
  BodyFraming framing;
  bool bodyRead = true;
  try {
    framing = FramingOf(head);
    if (framing.framing != Framing::None) {
      // A redirect's body is read only if it starts arriving soon.
      if (redirect && begin_ == end_ &&
          !waits_.Until([&](unsigned ms) { return connection_->WaitReadable(static_cast<int>(ms)); },
                        options_.redirectBodyWaitMs)) {
        bodyRead = false;
      } else {
        ReadBody(framing, success, file, events);
      }
    }
  } catch (const RunStopped&) {
    throw;
  } catch (...) {
    // The body of an error answer is dropped anyway: whatever went wrong
    // with it, the answer's own status line says more.
    if (success) throw;
    Drop();
    throw Error(Widen(head.statusLine));
  }

  const auto connectionHeader = head.Header("Connection");
  if (!bodyRead || framing.framing == Framing::UntilClose || begin_ != end_ ||
      (connectionHeader && EqualsIgnoringCase(*connectionHeader, "close"))) {
    Drop();
  }
  if (!success) throw Error(Widen(head.statusLine));
}

void HttpClient::ReadBody(BodyFraming framing, bool success, OutputFile& file, WorkEvents& events) {
  BodyDecoder decoder(framing);
  std::int64_t count = 0;
  std::uint64_t written = 0;
  const bool sized = success && framing.framing == Framing::Length;
  const BodyDecoder::Payload payload = [&](std::span<const char> piece) {
    if (success) file.Write(piece);  // an error's body is read and dropped
    written += piece.size();
  };

  events.OnWorkBegin(framing.framing == Framing::Length ? static_cast<std::int64_t>(framing.length) : 0);
  try {
    // The file is given its announced length first, and cut back if less comes.
    if (sized) file.SetLength(framing.length);
    if (begin_ < end_) {
      const std::size_t used =
          decoder.Feed(std::span(buffer_.data() + begin_, end_ - begin_), payload);
      begin_ += used;
      count += static_cast<std::int64_t>(used);
      events.OnWork(count);
    }
    while (!decoder.done()) {
      if (ReceiveBlock() == 0) {
        if (decoder.FinishAtClose()) break;
        // Cut short: a partial archive or setup must not pass as complete.
        throw Error(kClosedGracefully);
      }
      const std::size_t used = decoder.Feed(std::span(buffer_.data(), end_), payload);
      begin_ = used;
      count += static_cast<std::int64_t>(used);
      events.OnWork(count);
      pump_.ProcessMessages();
    }
  } catch (...) {
    Drop();
    if (sized && written < framing.length) {
      try {
        file.SetLength(written);
      } catch (...) {
      }
    }
    events.OnWorkEnd();
    throw;
  }
  events.OnWorkEnd();
}

}  // namespace pravonell::http
