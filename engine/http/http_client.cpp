#include "engine/http/http_client.h"

#include <algorithm>
#include <cctype>
#include <chrono>

#include "engine/error.h"
#include "engine/text.h"

namespace pravonell::http {

namespace {

constexpr const wchar_t* kClosedGracefully = L"Connection Closed Gracefully.";
constexpr const wchar_t* kReadTimedOut = L"Read timed out.";
constexpr const wchar_t* kInvalidContentRange = L"Invalid Content-Range.";

}  // namespace

HttpClient::HttpClient(std::shared_ptr<Network> network, MessagePump& pump, Waits& waits,
                       ClientOptions options)
    : network_(std::move(network)),
      pump_(pump),
      waits_(waits),
      options_(std::move(options)),
      buffer_(options_.receiveBlock) {}

HttpClient::~HttpClient() = default;

// The body of a 407 is read and set aside, so the next leg goes on the same
// connection; true when the connection cannot be used for it (the proxy
// closes it, or the body runs to the close).
bool HttpClient::SetAsideProxyAnswer(const ResponseHead& head) {
  const BodyFraming framing = FramingOf(head);
  const auto connection = head.Header("Connection");
  if (framing.framing == Framing::UntilClose) return true;
  if (framing.framing != Framing::None) {
    BodyDecoder decoder(framing);
    const BodyDecoder::Payload drop = [](std::span<const char>) {};
    if (begin_ < end_) begin_ += decoder.Feed(std::span(buffer_.data() + begin_, end_ - begin_), drop);
    while (!decoder.done()) {
      if (ReceiveBlock() == 0) return true;
      begin_ = decoder.Feed(std::span(buffer_.data(), end_), drop);
      pump_.ProcessMessages();
    }
  }
  return begin_ != end_ || (connection && EqualsIgnoringCase(*connection, "close"));
}

void HttpClient::Drop() {
  connection_.reset();
  begin_ = end_ = 0;
}

std::unique_ptr<Connection> HttpClient::Connect(const std::string& host, std::uint16_t port) {
  // The name lookup and the connect block, so they run on a helper thread
  // while the window is served. An attempt given up on finishes on its own,
  // and its socket is closed with it. What they raise (a SocketError, or
  // anything else) is raised here as it is, never passed off as a time-out.
  std::optional<std::unique_ptr<Connection>> connection = AskBeside<std::unique_ptr<Connection>>(
      waits_, options_.connectLimitMs,
      [network = network_, host, port] { return network->Connect(network->Resolve(host), port); });
  if (!connection) throw ConnectFailed(L"Connect timed out.");
  return std::move(*connection);
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

namespace {

// A transfer the network broke; it may be resumed.
struct Break {
  std::wstring message;
};

bool IsBreak(const std::wstring& message) { return message == kClosedGracefully || message == kReadTimedOut; }

}  // namespace

Fetched HttpClient::Get(const std::string& host, std::uint16_t port, const std::string& path, OutputFile& file,
                        WorkEvents& events, const std::optional<Proxy>& proxy, const KnownFile* known,
                        TransferRecorder* recorder) {
  Target target{host, port, proxy ? proxy->host : host, proxy ? proxy->port : port, proxy.has_value()};
  Transfer transfer;
  transfer.recorder = recorder;
  if (known != nullptr) {
    transfer.etag = known->etag;
    transfer.lastModified = known->lastModified;
    transfer.total = known->total;
    transfer.confirm = known->complete && (!known->etag.empty() || !known->lastModified.empty());
    if (!known->complete) transfer.received = known->have;
  }
  // A refused continuation asks for the whole file at once; it can follow
  // only a request for a part, which only a break (or a file an earlier run
  // left halfway) leads to, so this bound is never reached by a sane
  // exchange and only guards the loop.
  const std::size_t startsLimit = options_.resumePausesMs.size() + 2;
  std::size_t resumes = 0, starts = 0;
  bool firstTry = true;
  for (;;) {
    try {
      Attempt(target, path, file, events, transfer, firstTry);
      if (transfer.whole && transfer.recorder != nullptr) transfer.recorder->Whole();
      return transfer.kept ? Fetched::Kept : Fetched::Body;
    } catch (const StartAgain& refused) {
      firstTry = false;
      if (++starts > startsLimit) {
        if (transfer.began && !transfer.ended) events.IdHttpWorkEnd();
        throw Error(refused.message);
      }
    } catch (const Break& broken) {
      // A transfer the network broke is resumed on a new connection, after a
      // pause that a close of the window still ends; past the last resume,
      // its error stands.
      firstTry = false;
      if (resumes >= options_.resumePausesMs.size()) {
        if (transfer.began) events.IdHttpWorkEnd();
        throw Error(broken.message);
      }
      events.OnReconnect(static_cast<int>(resumes + 1), static_cast<int>(options_.resumePausesMs.size()));
      try {
        waits_.Pause(options_.resumePausesMs[resumes]);
      } catch (...) {
        if (transfer.began) events.IdHttpWorkEnd();
        throw;
      }
      ++resumes;
    } catch (...) {
      if (transfer.began && !transfer.ended) events.IdHttpWorkEnd();
      throw;
    }
  }
}

// The file starts over from its first byte, and the record hears of it
// before anything of a new answer is written: it must never say that bytes
// of one version are there once those of another are being written.
void HttpClient::StartOver(OutputFile& file, Transfer& transfer) {
  file.Restart();
  transfer.received = 0;
  transfer.total.reset();
  transfer.etag.clear();
  transfer.lastModified.clear();
  transfer.began = false;
  if (transfer.recorder != nullptr) transfer.recorder->Began("", "", std::nullopt);
}

// The server would not continue the file: whatever it sent instead is not
// read, and the whole file is asked for at once, on a new connection. What
// it says is never final: a filter that refuses every range, or a server
// that cannot say its total, must not keep an installation from finishing.
void HttpClient::Refused(OutputFile& file, Transfer& transfer, const std::wstring& why) {
  Drop();
  StartOver(file, transfer);
  throw StartAgain{why};
}

// One request of a transfer, on a kept connection or a new one. Failures of
// the network after the connection stood (and, when resuming, of the
// connect too) are raised as Break; everything else as Error.
void HttpClient::Attempt(const Target& target, const std::string& path, OutputFile& file, WorkEvents& events,
                         Transfer& transfer, bool firstTry) {
  bool connected = false;
  try {
    const bool reused = ReusableFor(target.connectHost, target.connectPort);
    if (!reused) {
      Drop();
      connection_ = Connect(target.connectHost, target.connectPort);
      connectedHost_ = target.connectHost;
      connectedPort_ = target.connectPort;
      if (auth_ != nullptr) auth_->NewConnection();
    }
    connected = true;
    try {
      Exchange(target, path, file, events, reused, transfer);
    } catch (const RetryFresh&) {
      // The kept connection had been closed by the server before it answered.
      Drop();
      connected = false;
      connection_ = Connect(target.connectHost, target.connectPort);
      if (auth_ != nullptr) auth_->NewConnection();
      connected = true;
      Exchange(target, path, file, events, false, transfer);
    }
  } catch (const SocketError& e) {
    Drop();
    if (connected || !firstTry) throw Break{SocketErrorText(e.code)};
    throw ConnectFailed(SocketErrorText(e.code));
  } catch (const ProtocolError& e) {
    Drop();
    throw Error(e.message);
  } catch (const Error& e) {
    Drop();
    if (transfer.final) throw;
    if (IsBreak(e.message()) || (!firstTry && !connected)) throw Break{e.message()};
    throw;
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

void HttpClient::Exchange(const Target& target, const std::string& path, OutputFile& file, WorkEvents& events,
                          bool reused, Transfer& transfer) {
  const std::string hostHeader =
      target.port == 80 ? target.host : target.host + ":" + std::to_string(target.port);
  // Through a proxy the request line names the whole address; the headers
  // stay as they are.
  const std::string requestTarget = target.viaProxy ? "http://" + hostHeader + path : path;
  std::string request = "GET " + requestTarget + " HTTP/1.1\r\nHost: " + hostHeader +
                        "\r\nAccept: " + options_.accept + "\r\nUser-Agent: " + options_.userAgent +
                        "\r\n";
  // A transfer the network broke goes on from the bytes it has, as long as
  // the file is still the one the first answer described: the part is asked
  // for with a validator the server compares strongly, and without one the
  // file starts over.
  if (transfer.received > 0 && IfRangeValidator(transfer).empty()) StartOver(file, transfer);
  const bool resuming = transfer.received > 0;
  const bool confirming = transfer.confirm;
  if (confirming) {
    // A file an earlier run fetched whole: is it still the server's?
    request += !transfer.etag.empty() ? "If-None-Match: " + transfer.etag + "\r\n"
                                      : "If-Modified-Since: " + transfer.lastModified + "\r\n";
  }
  if (resuming) {
    request += "Range: bytes=" + std::to_string(transfer.received) + "-\r\nIf-Range: " +
               IfRangeValidator(transfer) + "\r\n";
  }
  if (const std::string cookie = cookies_.HeaderFor(target.host, path); !cookie.empty()) {
    request += "Cookie: " + cookie + "\r\n";
  }
  // A proxy that asks who you are gets, with each request, what passed
  // before (Basic's user and password) or the next leg of a handshake.
  const bool answersProxy = target.viaProxy && auth_ != nullptr;
  std::optional<std::string> authorization = answersProxy ? auth_->Preemptive() : std::nullopt;
  const auto send = [&](bool onKeptConnection) {
    const std::string whole =
        request + (authorization ? "Proxy-Authorization: " + *authorization + "\r\n" : std::string()) + "\r\n";
    try {
      connection_->SendAll(whole);
    } catch (const SocketError&) {
      if (onKeptConnection) throw RetryFresh{};
      throw;
    }
  };
  HeadParser parser;
  const auto readHead = [&](bool onKeptConnection) {
    for (;;) {
      ReadHead(parser, onKeptConnection);
      const int status = parser.head().status;
      // Interim answers (100 Continue and the like) are skipped; the real one follows.
      if (status >= 100 && status < 200 && status != 101) {
        parser.Reset();
        onKeptConnection = false;
        continue;
      }
      break;
    }
  };
  send(reused);
  readHead(reused);
  // Each 407 of the proxy is answered on the same connection, its body read
  // and set aside; a proxy that closes the connection after a leg is
  // connected to again, and a handshake it forgot so is started over.
  for (int reconnects = 0; answersProxy && parser.head().status == 407;) {
    const bool closing = SetAsideProxyAnswer(parser.head());
    authorization = auth_->Answer(target.connectHost, parser.head().All("Proxy-Authenticate"));
    // A handshake this client gave up starts over on a connection of its own.
    const bool fresh = auth_->NeedsFreshConnection();
    if (closing || fresh) {
      Drop();
      if (closing && ++reconnects > kMostAuthReconnects) {
        transfer.final = true;
        throw ProxyAuthError(L"O proxy " + WidenLatin1(target.connectHost) +
                             L" fechou a conexão no meio da autenticação, repetidas vezes.");
      }
      connection_ = Connect(target.connectHost, target.connectPort);
      connectedHost_ = target.connectHost;
      connectedPort_ = target.connectPort;
      if (auth_->MidHandshake()) {
        auth_->NewConnection();
        authorization = auth_->Answer(target.connectHost, parser.head().All("Proxy-Authenticate"));
      }
    }
    parser.Reset();
    send(false);
    readHead(false);
  }
  if (authorization && parser.head().status != 407) auth_->Passed();
  const ResponseHead& head = parser.head();
  // From here on the answer decides: a break of its body may be resumed,
  // but what it says is never asked again.
  if (head.status == 0) {
    transfer.final = true;
    throw Error(WidenLatin1(head.statusLine));
  }
  cookies_.Store(head.All("Set-Cookie"), target.host, path);

  bool success = head.status >= 200 && head.status < 300;
  const bool redirect = head.status >= 300 && head.status < 400 && head.status != 304;
  if (confirming) {
    transfer.confirm = false;
    if (head.status == 304) {
      // Still the server's file: it is left as it is, and no body comes.
      const auto connectionHeader = head.Header("Connection");
      if (begin_ != end_ || (connectionHeader && EqualsIgnoringCase(*connectionHeader, "close"))) Drop();
      transfer.kept = true;
      transfer.whole = true;
      return;
    }
    // Any other success is another file now (a 200), or an answer that must
    // not be taken for what follows the bytes there (a 203 from a proxy, say):
    // the file is fetched anew from this answer.
    if (success) StartOver(file, transfer);
  }
  std::uint64_t offset = 0;  // where this answer's body goes in the file
  if (resuming) {
    if (head.status == 416) {
      // Every byte was there already (a chunked body cut before its last
      // chunk): the server's total says so, for the same version of the file.
      const auto range = head.Header("Content-Range");
      const auto total = range ? ParseUnsatisfiedRange(*range) : std::nullopt;
      if (total && *total == transfer.received && (!transfer.total || *transfer.total == *total)) {
        Drop();
        if (transfer.began && !transfer.ended) events.IdHttpWorkEnd();
        transfer.ended = true;
        transfer.total = *total;
        transfer.whole = true;
        return;
      }
      Refused(file, transfer, WidenLatin1(head.statusLine));
    }
    if (head.status == 206) {
      // A server that ignored If-Range sent a part of another version of the
      // file: it is never spliced onto these bytes.
      if (!SameVersion(head, transfer)) Refused(file, transfer, kInvalidContentRange);
      offset = ResumeOffset(head, file, transfer);
    } else if (head.status == 200) {
      // The server sends the whole file (no ranges, or the file changed).
      StartOver(file, transfer);
    } else {
      Refused(file, transfer, WidenLatin1(head.statusLine));
    }
  } else if (head.status == 206) {
    // A part where the whole file was asked for can never be the file.
    transfer.final = true;
    throw Error(kInvalidContentRange);
  }
  // An error's answer is final, whatever becomes of its body.
  if (!success) transfer.final = true;
  if (success && offset == 0) {
    transfer.etag = head.Header("ETag").value_or("");
    transfer.lastModified = head.Header("Last-Modified").value_or("");
  }

  BodyFraming framing;
  bool bodyRead = true;
  try {
    framing = FramingOf(head);
    if (success && offset == 0) {
      transfer.total = framing.framing == Framing::Length ? std::optional(framing.length)
                       : framing.framing == Framing::None  ? std::optional<std::uint64_t>(0)
                                                           : std::nullopt;
      if (transfer.recorder != nullptr) transfer.recorder->Began(transfer.etag, transfer.lastModified, transfer.total);
    }
    if (framing.framing != Framing::None) {
      // A redirect's body is read only if it starts arriving soon.
      if (redirect && begin_ == end_ &&
          !waits_.Until([&](unsigned ms) { return connection_->WaitReadable(static_cast<int>(ms)); },
                        options_.redirectBodyWaitMs)) {
        bodyRead = false;
      } else {
        ReadBody(framing, success, offset, file, events, transfer);
      }
    }
  } catch (const RunStopped&) {
    throw;
  } catch (...) {
    // The body of an error answer is dropped anyway: whatever went wrong
    // with it, the answer's own status line says more.
    if (success) throw;
    Drop();
    transfer.final = true;
    throw Error(WidenLatin1(head.statusLine));
  }

  const auto connectionHeader = head.Header("Connection");
  if (!bodyRead || framing.framing == Framing::UntilClose || begin_ != end_ ||
      (connectionHeader && EqualsIgnoringCase(*connectionHeader, "close"))) {
    Drop();
  }
  if (!success) {
    transfer.final = true;
    throw Error(WidenLatin1(head.statusLine));
  }
  // Only a body whose end the answer itself marks is known to be whole: one
  // framed by the close alone may have been cut, and is used as it is but
  // never recorded as whole.
  transfer.whole = framing.framing != Framing::UntilClose || transfer.total.has_value();
}

// If-Range is compared strongly by the server, so a weak ETag there would
// never match: Last-Modified stands in for it. Nothing means no resume.
std::string HttpClient::IfRangeValidator(const Transfer& transfer) {
  if (!transfer.etag.empty() && transfer.etag.rfind("W/", 0) != 0) return transfer.etag;
  return transfer.lastModified;
}

// A part is of the same version as the bytes it would continue when the
// validators it carries are the first answer's.
bool HttpClient::SameVersion(const ResponseHead& head, const Transfer& transfer) {
  const auto etag = head.Header("ETag");
  const auto lastModified = head.Header("Last-Modified");
  if (etag && !transfer.etag.empty() && *etag != transfer.etag) return false;
  if (lastModified && !transfer.lastModified.empty() && *lastModified != transfer.lastModified) return false;
  return true;
}

// A 206 continues the file only when it starts exactly at the bytes the
// file has and covers the rest of the same file, with a body of that length
// (or one framed otherwise, checked against the total at its end); anything
// else would splice another file, or another part of it, into this one, or
// leave the file short. Such an answer is refused.
std::uint64_t HttpClient::ResumeOffset(const ResponseHead& head, OutputFile& file, Transfer& transfer) {
  const auto range = head.Header("Content-Range");
  const auto parsed = range ? ParseContentRange(*range) : std::nullopt;
  const bool fits = parsed && parsed->first == transfer.received && parsed->last + 1 == parsed->total &&
                    (!transfer.total || *transfer.total == parsed->total);
  if (!fits) Refused(file, transfer, kInvalidContentRange);
  const BodyFraming framing = FramingOf(head);
  if (framing.framing == Framing::None ||
      (framing.framing == Framing::Length && framing.length != parsed->last - parsed->first + 1)) {
    Refused(file, transfer, kInvalidContentRange);
  }
  transfer.total = parsed->total;
  return transfer.received;
}

void HttpClient::ReadBody(BodyFraming framing, bool success, std::uint64_t offset, OutputFile& file,
                          WorkEvents& events, Transfer& transfer) {
  BodyDecoder decoder(framing);
  std::int64_t count = static_cast<std::int64_t>(offset);
  std::uint64_t written = 0;
  const bool sized = success && framing.framing == Framing::Length;
  const BodyDecoder::Payload payload = [&](std::span<const char> piece) {
    if (success) {  // an error's body is read and dropped
      try {
        file.Write(piece);
      } catch (const DiskFull& full) {
        // The disk filled up meanwhile: what is still to come is what it lacks.
        const std::uint64_t toCome = sized ? framing.length - written : 0;
        throw DiskFull(full.message(), std::max<std::uint64_t>(full.missingBytes(), toCome));
      }
    }
    written += piece.size();
    if (success) {
      transfer.received = offset + written;
      if (transfer.recorder != nullptr) transfer.recorder->Written(transfer.received);
    }
  };

  // A resumed body goes on where the progress was; a new one begins it.
  if (!success) {
    events.IdHttpWorkBegin(framing.framing == Framing::Length ? static_cast<std::int64_t>(framing.length) : 0);
  } else if (!transfer.began) {
    events.IdHttpWorkBegin(transfer.total ? static_cast<std::int64_t>(*transfer.total) : 0);
    transfer.began = true;
  }
  const auto endEvents = [&] {
    events.IdHttpWorkEnd();
    if (success) transfer.ended = true;
  };
  try {
    // A body the disk has no room for is not begun; the file is given its
    // announced length first, and cut back if less comes.
    if (sized) {
      file.EnsureRoom(framing.length);
      file.SetLength(offset + framing.length);
    }
    if (begin_ < end_) {
      const std::size_t used =
          decoder.Feed(std::span(buffer_.data() + begin_, end_ - begin_), payload);
      begin_ += used;
      count += static_cast<std::int64_t>(used);
      events.IdHttpWork(count);
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
      events.IdHttpWork(count);
      pump_.ProcessMessages();
    }
    // A body counts as the whole file only when it reaches the total the
    // server announced (a part without a length ends at the close).
    if (success && transfer.total && transfer.received != *transfer.total) throw Error(kClosedGracefully);
  } catch (...) {
    Drop();
    if (sized && written < framing.length) {
      try {
        file.SetLength(offset + written);
      } catch (...) {
      }
    }
    // An error's body ends its events here; a file's stay open while the
    // transfer may still be resumed.
    if (!success) events.IdHttpWorkEnd();
    throw;
  }
  endEvents();
}

}  // namespace pravonell::http
