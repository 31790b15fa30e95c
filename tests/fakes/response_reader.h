// Reads one response from bytes the way the HTTP client reads it off a
// socket: head (interim answers skipped), framing, body, then the close. The
// pieces it is fed in are chosen by the caller, so a test or the fuzzer can
// check that how the bytes were split never changes the outcome.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "engine/http/response_parser.h"

namespace pravonell::testing {

struct ReadOutcome {
  int status = 0;
  std::string statusLine;
  std::string payload;
  bool bodyDone = false;      // the body ended as its framing says
  std::size_t bodyBytes = 0;  // wire bytes the body took (0 after an error)
  std::string error;          // the protocol error's text, as UTF-8 (ASCII)
  bool cutInHead = false;     // the bytes ended before the head's empty line

  bool operator==(const ReadOutcome&) const = default;
};

// next(at, left) says how many bytes the next piece has (at least 1).
// closeAtEnd: the server closes after the last byte.
inline ReadOutcome ReadResponse(const std::string& wire, bool closeAtEnd,
                                const std::function<std::size_t(std::size_t, std::size_t)>& next) {
  ReadOutcome out;
  std::size_t at = 0;
  auto piece = [&] {
    std::size_t n = next(at, wire.size() - at);
    if (n == 0) n = 1;
    return std::span(wire.data() + at, std::min(n, wire.size() - at));
  };
  try {
    http::HeadParser head;
    for (;;) {
      while (at < wire.size() && !head.done()) at += head.Feed(piece());
      if (!head.done()) {
        out.cutInHead = true;
        return out;
      }
      const int status = head.head().status;
      if (status >= 100 && status < 200 && status != 101) {
        head.Reset();
        continue;
      }
      break;
    }
    out.status = head.head().status;
    out.statusLine = head.head().statusLine;
    if (out.status == 0) return out;
    http::BodyDecoder body(http::FramingOf(head.head()));
    auto payload = [&](std::span<const char> p) { out.payload.append(p.data(), p.size()); };
    while (at < wire.size() && !body.done()) {
      const std::size_t used = body.Feed(piece(), payload);
      out.bodyBytes += used;
      at += used;
      if (used == 0) break;
    }
    out.bodyDone = body.done() || (closeAtEnd && at == wire.size() && body.FinishAtClose());
  } catch (const http::ProtocolError& e) {
    out.bodyBytes = 0;  // how far into the piece the fault lay is not counted
    for (const wchar_t* c = e.message; *c != 0; ++c) out.error += static_cast<char>(*c);
  }
  return out;
}

inline ReadOutcome ReadAtOnce(const std::string& wire, bool closeAtEnd) {
  return ReadResponse(wire, closeAtEnd, [](std::size_t, std::size_t left) { return left; });
}

inline ReadOutcome ReadPerByte(const std::string& wire, bool closeAtEnd) {
  return ReadResponse(wire, closeAtEnd, [](std::size_t, std::size_t) { return 1; });
}

}  // namespace pravonell::testing
