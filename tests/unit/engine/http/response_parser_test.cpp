// The response parser fed each case twice: all at once and one byte at a time.
#include "engine/http/response_parser.h"

#include <gtest/gtest.h>

namespace pravonell::http {
namespace {

struct Parsed {
  ResponseHead head;
  bool headDone = false;
  std::string payload;
  bool bodyDone = false;
  std::size_t bodyBytes = 0;  // wire bytes the body took
  std::string error;
};

Parsed Parse(const std::string& wire, bool perByte, bool closeAtEnd) {
  Parsed out;
  HeadParser head;
  std::size_t at = 0;
  try {
    while (at < wire.size() && !head.done()) {
      const std::size_t n = perByte ? 1 : wire.size() - at;
      at += head.Feed(std::span(wire.data() + at, n));
    }
    if (!head.done() && closeAtEnd) head.FinishAtClose();
    out.headDone = head.done();
    out.head = head.head();
    if (!out.headDone) return out;
    BodyDecoder body(FramingOf(out.head));
    auto payload = [&](std::span<const char> p) { out.payload.append(p.data(), p.size()); };
    while (at < wire.size() && !body.done()) {
      const std::size_t n = perByte ? 1 : wire.size() - at;
      const std::size_t used = body.Feed(std::span(wire.data() + at, n), payload);
      out.bodyBytes += used;
      at += used;
      if (used == 0) break;
    }
    out.bodyDone = body.done() || (closeAtEnd && body.FinishAtClose());
  } catch (const ProtocolError&) {
    out.error = "protocol";
  }
  return out;
}

struct Case {
  const char* name;
  std::string wire;
  bool closeAtEnd;
  int status;
  std::string payload;
  bool bodyDone;
  std::size_t bodyBytes;
  std::string error = "";
};

const Case kCases[] = {
    {"content length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhelloEXTRA", false, 200, "hello",
     true, 5},
    {"bare line feeds", "HTTP/1.1 200 OK\nContent-Length: 2\n\nhi", false, 200, "hi", true, 2},
    {"short body is not done", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhalf", true, 200,
     "half", false, 4},
    {"chunked with extension and trailer",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4;x=y\r\nWiki\r\n5\r\npedia\r\n0\r\n"
     "Trailer: v\r\n\r\nNEXT",
     false, 200, "Wikipedia", true, 40},
    {"chunked beats content length",
     "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: gzip, Chunked\r\n\r\n"
     "a\r\n0123456789\r\n0\r\n\r\n",
     false, 200, "0123456789", true, 20},
    {"chunked cut off", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nWi", true, 200,
     "Wi", false, 5},
    {"chunk size that overflows",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nffffffffffffffffff\r\n", false, 200, "",
     false, 0, "protocol"},
    {"chunk without its line end",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabXY\r\n", false, 200, "ab", false,
     0, "protocol"},
    {"until close", "HTTP/1.0 200 OK\r\nServer: x\r\n\r\nall of it", true, 200, "all of it", true, 9},
    {"no body for 204", "HTTP/1.1 204 No Content\r\nContent-Length: 7\r\n\r\n", false, 204, "", true,
     0},
    {"content length zero", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", false, 200, "", true, 0},
    {"unreadable length runs to the close", "HTTP/1.1 200 OK\r\nContent-Length: abc\r\n\r\nxyz",
     true, 200, "xyz", true, 3},
    {"headers cut off by the close", "HTTP/1.1 404 Not Found\r\nContent-Type: text/html", true, 404,
     "", true, 0},
};

TEST(ResponseParser, CasesAtOnceAndPerByte) {
  for (const Case& c : kCases) {
    for (bool perByte : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (perByte ? " (per byte)" : " (at once)"));
      const Parsed parsed = Parse(c.wire, perByte, c.closeAtEnd);
      EXPECT_EQ(parsed.error, c.error);
      if (!c.error.empty()) continue;
      ASSERT_TRUE(parsed.headDone);
      EXPECT_EQ(parsed.head.status, c.status);
      EXPECT_EQ(parsed.payload, c.payload);
      EXPECT_EQ(parsed.bodyDone, c.bodyDone);
      EXPECT_EQ(parsed.bodyBytes, c.bodyBytes);
    }
  }
}

TEST(ResponseParser, HeadKeepsTheStatusLineAsSentAndFindsHeadersIgnoringCase) {
  const Parsed parsed = Parse(
      "HTTP/1.1 302 Found it\r\nlocation: /x\r\nSet-Cookie: a=1\r\nX-Long: one\r\n two\r\n"
      "set-cookie: b=2\r\n\r\n",
      false, false);
  EXPECT_EQ(parsed.head.statusLine, "HTTP/1.1 302 Found it");
  EXPECT_EQ(parsed.head.status, 302);
  EXPECT_EQ(parsed.head.Header("Location").value_or(""), "/x");
  EXPECT_EQ(parsed.head.Header("X-LONG").value_or(""), "one two");
  EXPECT_EQ(parsed.head.All("Set-Cookie"), (std::vector<std::string>{"a=1", "b=2"}));
}

TEST(ResponseParser, StatusLineThatIsNotHttp) {
  for (const char* line : {"SSH-2.0-OpenSSH\r\n\r\n", "HTTP/1.1 2x0 OK\r\n\r\n", "HTTP/1.1 2000\r\n\r\n"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(Parse(line, false, true).head.status, 0);
  }
}

TEST(ResponseParser, HeadTooLargeIsRefused) {
  std::string wire = "HTTP/1.1 200 OK\r\n";
  while (wire.size() <= HeadParser::kMaxHead) wire += "X-Filler: " + std::string(100, 'x') + "\r\n";
  EXPECT_EQ(Parse(wire, false, false).error, "protocol");
}

}  // namespace
}  // namespace pravonell::http
