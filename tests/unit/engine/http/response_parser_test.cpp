// The response parser fed each case twice: all at once and one byte at a time.
#include "engine/http/response_parser.h"

#include <gtest/gtest.h>

#include "tests/fakes/response_reader.h"

namespace pravonell::http {
namespace {

using testing::ReadAtOnce;
using testing::ReadOutcome;
using testing::ReadPerByte;

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
     "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: Chunked\r\n\r\n"
     "a\r\n0123456789\r\n0\r\n\r\n",
     false, 200, "0123456789", true, 20},
    {"chunked cut off", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nWi", true, 200,
     "Wi", false, 5},
    {"chunk size that overflows",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n8000000000000000\r\n", false, 200, "",
     false, 0, "Invalid chunked encoding."},
    {"chunk without its line end",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabXY\r\n", false, 200, "ab", false,
     0, "Invalid chunked encoding."},
    {"until close", "HTTP/1.0 200 OK\r\nServer: x\r\n\r\nall of it", true, 200, "all of it", true, 9},
    {"no body for 204", "HTTP/1.1 204 No Content\r\nContent-Length: 7\r\n\r\n", false, 204, "", true,
     0},
    {"content length zero", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", false, 200, "", true, 0},
    {"equal lengths, repeated or listed",
     "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nContent-Length: 3, 3\r\n\r\nabcd", false, 200,
     "abc", true, 3},
    {"largest length there is", "HTTP/1.1 200 OK\r\nContent-Length: 9223372036854775807\r\n\r\nab",
     true, 200, "ab", false, 2},
    {"chunk size with blanks before its extension",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3 \t;name=\"v\"\r\nabc\r\n0 \r\n\r\n",
     false, 200, "abc", true, 25},
    // A length, a coding or a chunk size that cannot be read for certain fails.
    {"length with a sign", "HTTP/1.1 200 OK\r\nContent-Length: +5\r\n\r\nabcde", true, 200, "",
     false, 0, "Invalid Content-Length."},
    {"negative length", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\nab", true, 200, "", false,
     0, "Invalid Content-Length."},
    {"length with a blank inside", "HTTP/1.1 200 OK\r\nContent-Length: 16 384\r\n\r\nab", true,
     200, "", false, 0, "Invalid Content-Length."},
    {"length past 63 bits", "HTTP/1.1 200 OK\r\nContent-Length: 9223372036854775808\r\n\r\nab",
     true, 200, "", false, 0, "Invalid Content-Length."},
    {"length that is not a number", "HTTP/1.1 200 OK\r\nContent-Length: abc\r\n\r\nxyz", true,
     200, "", false, 0, "Invalid Content-Length."},
    {"empty length", "HTTP/1.1 200 OK\r\nContent-Length:\r\n\r\nxyz", true, 200, "", false, 0,
     "Invalid Content-Length."},
    {"two different length lines",
     "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 16384\r\n\r\nabcde", true, 200,
     "", false, 0, "Invalid Content-Length."},
    {"two different lengths listed", "HTTP/1.1 200 OK\r\nContent-Length: 16384, 5\r\n\r\nabcde",
     true, 200, "", false, 0, "Invalid Content-Length."},
    {"list with an empty member", "HTTP/1.1 200 OK\r\nContent-Length: 5,\r\n\r\nabcde", true,
     200, "", false, 0, "Invalid Content-Length."},
    {"coding we cannot decode", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\n\x1f\x8b",
     true, 200, "", false, 0, "Unsupported Transfer-Encoding."},
    {"a coding line before the chunked one",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n\r\n"
     "0\r\n\r\n",
     false, 200, "", false, 0, "Unsupported Transfer-Encoding."},
    {"chunked not last", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked, gzip\r\n\r\n", true,
     200, "", false, 0, "Unsupported Transfer-Encoding."},
    {"chunked twice", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked, chunked\r\n\r\n", true,
     200, "", false, 0, "Unsupported Transfer-Encoding."},
    {"chunk size written as C", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0x4\r\nWiki",
     true, 200, "", false, 0, "Invalid chunked encoding."},
    {"chunk size with letters after it",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4zz\r\nWiki\r\n0\r\n\r\n", true,
     200, "", false, 0, "Invalid chunked encoding."},
    {"empty chunk size line", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n\r\n", true,
     200, "", false, 0, "Invalid chunked encoding."},
    {"header line without a colon", "HTTP/1.1 200 OK\r\nContent-Length 5\r\n\r\nabcde", true, 0,
     "", false, 0, "Invalid response header."},
    {"blank before the colon", "HTTP/1.1 200 OK\r\nContent-Length : 5\r\n\r\nabcde", true, 0, "",
     false, 0, "Invalid response header."},
};

TEST(ResponseParser, CasesAtOnceAndPerByte) {
  for (const Case& c : kCases) {
    const ReadOutcome atOnce = ReadAtOnce(c.wire, c.closeAtEnd);
    SCOPED_TRACE(c.name);
    EXPECT_EQ(atOnce.error, c.error);
    EXPECT_FALSE(atOnce.cutInHead);
    if (c.error.empty()) {
      EXPECT_EQ(atOnce.status, c.status);
      EXPECT_EQ(atOnce.bodyBytes, c.bodyBytes);
    }
    EXPECT_EQ(atOnce.payload, c.payload);
    EXPECT_EQ(atOnce.bodyDone, c.bodyDone);
    EXPECT_TRUE(ReadPerByte(c.wire, c.closeAtEnd) == atOnce) << "per byte differs";
  }
}

TEST(ResponseParser, HeadThatTheCloseCutsIsNotAHead) {
  for (const char* wire : {"HTTP/1.1 200 OK\r\n", "HTTP/1.1 404 Not Found\r\nContent-Type: text/html",
                           "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n", "HTTP/1.1 20"}) {
    SCOPED_TRACE(wire);
    EXPECT_TRUE(ReadAtOnce(wire, true).cutInHead);
    EXPECT_TRUE(ReadPerByte(wire, true).cutInHead);
  }
}

TEST(ResponseParser, HeadKeepsTheStatusLineAsSentAndFindsHeadersIgnoringCase) {
  const std::string wire =
      "HTTP/1.1 302 Found it\r\nlocation: /x\r\nSet-Cookie: a=1\r\nX-Long: one\r\n two\r\n"
      "set-cookie: b=2\r\n\r\n";
  HeadParser parser;
  EXPECT_EQ(parser.Feed(wire), wire.size());
  ASSERT_TRUE(parser.done());
  const ResponseHead& head = parser.head();
  EXPECT_EQ(head.statusLine, "HTTP/1.1 302 Found it");
  EXPECT_EQ(head.status, 302);
  EXPECT_EQ(head.Header("Location").value_or(""), "/x");
  EXPECT_EQ(head.Header("X-LONG").value_or(""), "one two");
  EXPECT_EQ(head.All("Set-Cookie"), (std::vector<std::string>{"a=1", "b=2"}));
}

TEST(ResponseParser, StatusLineThatIsNotHttp) {
  for (const char* line : {"SSH-2.0-OpenSSH\r\n", "HTTP/1.1 2x0 OK\r\n\r\n", "HTTP/1.1 2000\r\n\r\n",
                           "<html>\r\n<body>\r\n"}) {
    SCOPED_TRACE(line);
    const ReadOutcome read = ReadAtOnce(line, true);
    EXPECT_EQ(read.status, 0);
    EXPECT_EQ(read.statusLine + "\r\n", std::string(line).substr(0, read.statusLine.size() + 2));
    EXPECT_EQ(read.error, "");
  }
}

TEST(ResponseParser, HeadTooLargeIsRefused) {
  std::string wire = "HTTP/1.1 200 OK\r\n";
  while (wire.size() <= HeadParser::kMaxHead) wire += "X-Filler: " + std::string(100, 'x') + "\r\n";
  EXPECT_EQ(ReadAtOnce(wire, false).error, "Response head too large.");
}

}  // namespace
}  // namespace pravonell::http
