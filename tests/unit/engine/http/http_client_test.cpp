// The HTTP client against the loopback test server.
#include "engine/http/http_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <thread>

#include "engine/error.h"
#include "platform/posix/posix_network.h"
#include "tests/fakes/recording_events.h"
#include "tests/fakes/text.h"
#include "tests/server/test_server.h"

namespace pravonell::testing {
namespace {

using testserver::Reply;
using testserver::Request;
using testserver::Respond;
using testserver::Server;

struct Outcome {
  std::vector<std::string> events;
  std::string file;
  std::vector<std::uint64_t> lengths;
  std::string error;
  std::optional<std::uint64_t> diskFullMissing;  // the bytes a full disk lacked
};

// Each case of these tests is about one answer, so a broken transfer is not
// resumed unless a test asks for it; the resumes' pauses are kept short.
http::ClientOptions Options(http::ClientOptions options, bool resumes) {
  options.resumePausesMs = resumes ? std::vector<unsigned>{1, 1, 1} : std::vector<unsigned>{};
  return options;
}

// One client that lives across the GETs of a test, like the window's.
class Client {
 public:
  explicit Client(http::ClientOptions options = {}, bool resumes = false)
      : client(std::make_shared<posix::PosixNetwork>(), pump, waits, Options(options, resumes)) {}

  // capacity: the most the disk can hold of the file, when limited.
  Outcome Get(std::uint16_t port, const std::string& path, std::optional<std::uint64_t> capacity = {}) {
    RecordingEvents events;
    MemoryFile file;
    file.capacity = capacity;
    Outcome outcome;
    try {
      client.Get("127.0.0.1", port, path, file, events);
    } catch (const DiskFull& e) {
      outcome.error = Utf8(e.message());
      outcome.diskFullMissing = e.missingBytes();
    } catch (const Error& e) {
      outcome.error = Utf8(e.message());
    }
    outcome.events = events.log;
    outcome.file = file.bytes;
    outcome.lengths = file.lengths;
    return outcome;
  }

  CountingPump pump;
  StandardPauses clock;
  PumpedWaits waits{pump, clock};
  http::HttpClient client;
};

std::string Pattern(std::uint64_t size) {
  std::string bytes(size, '\0');
  for (std::uint64_t i = 0; i < size; ++i) bytes[i] = testserver::PatternByte(i);
  return bytes;
}

TEST(HttpClient, SendsExactlyTheRequestItShould) {
  Server server([](const Request&) { return Respond("200 OK", "x"); });
  Client client;
  client.Get(server.port(), "/uploads/download/file/59/Kestrimo.7z");
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].head,
            "GET /uploads/download/file/59/Kestrimo.7z HTTP/1.1\r\n"
            "Host: 127.0.0.1:" + std::to_string(server.port()) + "\r\n"
            "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
            "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
            "\r\n");
}

TEST(HttpClient, AnnouncedLengthGivesOneBeginRisingCountsAndOneEnd) {
  const std::uint64_t size = 300000;
  Server server([&](const Request&) {
    return Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n")
        .SendPattern(size);
  });
  Client client;
  const Outcome outcome = client.Get(server.port(), "/big");
  EXPECT_EQ(outcome.error, "");
  ASSERT_GE(outcome.events.size(), 3u);
  EXPECT_EQ(outcome.events.front(), "begin 300000");
  EXPECT_EQ(outcome.events.back(), "end");
  std::int64_t last = 0;
  for (std::size_t i = 1; i + 1 < outcome.events.size(); ++i) {
    ASSERT_EQ(outcome.events[i].substr(0, 5), "work ");
    const std::int64_t count = std::stoll(outcome.events[i].substr(5));
    EXPECT_GT(count, last);
    EXPECT_LE(count - last, 32768);  // one receive block at most
    last = count;
  }
  EXPECT_EQ(last, 300000);
  EXPECT_TRUE(outcome.file == Pattern(size));
  EXPECT_EQ(outcome.lengths, std::vector<std::uint64_t>{size});  // extended first
  EXPECT_GE(client.pump.pumps, static_cast<int>(outcome.events.size()) - 3);
}

TEST(HttpClient, ResponsesWithoutABody) {
  for (const char* head : {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n",
                           "HTTP/1.1 204 No Content\r\n\r\n"}) {
    SCOPED_TRACE(head);
    Server server([&](const Request&) { return Reply().Send(head); });
    Client client;
    const Outcome outcome = client.Get(server.port(), "/empty");
    EXPECT_EQ(outcome.error, "");
    EXPECT_TRUE(outcome.events.empty());
    EXPECT_EQ(outcome.file, "");
  }
}

TEST(HttpClient, ErrorStatusReadsItsBodyAndRaisesTheStatusLine) {
  Server server([](const Request&) { return Respond("404 Not Found", "<html>gone</html>"); });
  Client client;
  const Outcome outcome = client.Get(server.port(), "/missing");
  EXPECT_EQ(outcome.error, "HTTP/1.1 404 Not Found");
  EXPECT_EQ(outcome.events, (std::vector<std::string>{"begin 17", "work 17", "end"}));
  EXPECT_EQ(outcome.file, "");
  EXPECT_TRUE(outcome.lengths.empty());
}

TEST(HttpClient, OtherFinalStatusesFailWithTheirLineAsSent) {
  for (const char* status : {"302 Found", "301 Moved Permanently", "401 Unauthorized",
                             "407 Proxy Authentication Required", "500  Odd  spacing "}) {
    SCOPED_TRACE(status);
    Server server([&](const Request&) {
      return Respond(status, "see elsewhere", "Location: http://127.0.0.1:1/elsewhere\r\n");
    });
    Client client;
    const Outcome outcome = client.Get(server.port(), "/file");
    EXPECT_EQ(outcome.error, std::string("HTTP/1.1 ") + status);
    EXPECT_EQ(outcome.file, "");
    EXPECT_EQ(server.requests().size(), 1u);  // a redirect is not followed
  }
}

TEST(HttpClient, InterimResponsesAreSkipped) {
  Server server([](const Request&) {
    return Reply().Send("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\nX: y\r\n\r\n")
        .Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
  });
  Client client;
  const Outcome outcome = client.Get(server.port(), "/");
  EXPECT_EQ(outcome.error, "");
  EXPECT_EQ(outcome.file, "ok");
}

TEST(HttpClient, ChunkedBodyCountsItsFramingBytes) {
  Server server([](const Request&) {
    return Reply()
        .Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n")
        .Pause(100)
        .Send("4\r\nWiki\r\n")
        .Pause(100)
        .Send("5\r\npedia\r\n0\r\n\r\n");
  });
  Client client;
  const Outcome outcome = client.Get(server.port(), "/chunked");
  EXPECT_EQ(outcome.error, "");
  EXPECT_EQ(outcome.file, "Wikipedia");
  EXPECT_EQ(outcome.events, (std::vector<std::string>{"begin 0", "work 9", "work 24", "end"}));
  EXPECT_TRUE(outcome.lengths.empty());
}

TEST(HttpClient, BodyUntilTheClose) {
  Server server([](const Request&) {
    return Reply().Send("HTTP/1.1 200 OK\r\n\r\n").Pause(30).Send("all of it").Close();
  });
  Client client;
  const Outcome outcome = client.Get(server.port(), "/");
  EXPECT_EQ(outcome.error, "");
  EXPECT_EQ(outcome.file, "all of it");
  EXPECT_EQ(outcome.events.back(), "end");
}

TEST(HttpClient, BodyCutShortFailsAfterTheEndEventAndKeepsWhatCame) {
  Server server([](const Request&) {
    return Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n").SendPattern(50000).Close();
  });
  Client client;
  const Outcome outcome = client.Get(server.port(), "/cut");
  EXPECT_EQ(outcome.error, "Connection Closed Gracefully.");
  EXPECT_EQ(outcome.events.front(), "begin 100000");
  EXPECT_EQ(outcome.events[outcome.events.size() - 2], "work 50000");
  EXPECT_EQ(outcome.events.back(), "end");
  EXPECT_TRUE(outcome.file == Pattern(50000));
  EXPECT_EQ(outcome.lengths, (std::vector<std::uint64_t>{100000, 50000}));  // cut back
}

// A disk without room for the announced body: nothing is written and the
// file is not extended; the error says how much is lacking. A disk that
// fills up during a body of unknown length stops it at the failed write,
// keeping what was written.
TEST(HttpClient, DiskWithoutRoomStopsTheBody) {
  Server server([](const Request& request) {
    if (request.path == "/chunked") {
      return Reply().Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n186a0\r\n").SendPattern(100000)
          .Send("\r\n0\r\n\r\n");
    }
    return Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n").SendPattern(100000);
  });
  Client client;
  const Outcome announced = client.Get(server.port(), "/sized", 40000);
  EXPECT_EQ(announced.diskFullMissing, std::optional<std::uint64_t>(60000));
  EXPECT_EQ(announced.file, "");
  EXPECT_EQ(std::count(announced.lengths.begin(), announced.lengths.end(), 100000u), 0);  // never extended
  EXPECT_EQ(announced.events.back(), "end");

  const Outcome chunked = client.Get(server.port(), "/chunked", 40000);
  ASSERT_TRUE(chunked.diskFullMissing.has_value());
  EXPECT_LE(chunked.file.size(), 40000u);
  EXPECT_TRUE(chunked.file == Pattern(chunked.file.size()));

  const Outcome roomy = client.Get(server.port(), "/sized", 100000);
  EXPECT_EQ(roomy.error, "");
  EXPECT_TRUE(roomy.file == Pattern(100000));
}

// What a hostile or broken server may send: each must fail with its message
// and leave in the file only what a well-framed body had delivered.
TEST(HttpClient, ResponsesThatCannotBeTrustedFail) {
  const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  const struct {
    const char* name;
    Reply reply;
    const char* error;
    const char* file;
  } rows[] = {
      {"length with a sign",
       Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: +16384\r\n\r\n").SendPattern(10000).Close(),
       "Invalid Content-Length.", ""},
      {"length of 20 digits",
       Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: 16384000000000000000\r\n\r\n")
           .SendPattern(10000).Close(),
       "Invalid Content-Length.", ""},
      {"length with a blank", Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: 16 384\r\n\r\nab").Close(),
       "Invalid Content-Length.", ""},
      {"negative length", Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\nab").Close(),
       "Invalid Content-Length.", ""},
      {"two lengths",
       Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 16384\r\n\r\n")
           .SendPattern(16384),
       "Invalid Content-Length.", ""},
      {"two lengths in a list",
       Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: 16384, 5\r\n\r\nabcde").Close(),
       "Invalid Content-Length.", ""},
      {"gzip, then chunked",
       Reply().Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n\r\n"
                    "4\r\nWiki\r\n0\r\n\r\n"),
       "Unsupported Transfer-Encoding.", ""},
      {"gzip until the close",
       Reply().Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\n\x1f\x8b\x08").Close(),
       "Unsupported Transfer-Encoding.", ""},
      {"chunk size 0x4000", Reply().Send(chunked + "0x4000\r\n").SendPattern(0x4000).Close(),
       "Invalid chunked encoding.", ""},
      {"chunk size 4000zz", Reply().Send(chunked + "4\r\nWiki\r\n4000zz\r\n").SendPattern(0x4000).Close(),
       "Invalid chunked encoding.", "Wiki"},
      {"close after the status line", Reply().Send("HTTP/1.1 200 OK\r\n").Close(),
       "Connection Closed Gracefully.", ""},
      {"close inside a header line", Reply().Send("HTTP/1.1 200 OK\r\nContent-Le").Close(),
       "Connection Closed Gracefully.", ""},
      {"error answer cut short",
       Reply().Send("HTTP/1.1 404 Not Found\r\nContent-Length: 100\r\n\r\n0123456789").Close(),
       "HTTP/1.1 404 Not Found", ""},
      {"error answer with a garbled length",
       Reply().Send("HTTP/1.1 500 Oops\r\nContent-Length: x\r\n\r\n").Close(), "HTTP/1.1 500 Oops", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Server server([&](const Request&) { return row.reply; });
    Client client;
    const Outcome outcome = client.Get(server.port(), "/file");
    EXPECT_EQ(outcome.error, row.error);
    EXPECT_EQ(outcome.file, row.file);
    EXPECT_TRUE(outcome.lengths.empty());  // never extended to a length it could not trust
    if (!outcome.events.empty()) {
      EXPECT_EQ(outcome.events.back(), "end");
    }
  }
}

TEST(HttpClient, ServerThatStopsSendingTimesOutWhileThePumpRuns) {
  Server server([](const Request& request) {
    if (request.path == "/before-head") return Reply().Stall();
    return Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc").Stall();
  });
  http::ClientOptions options;
  options.readIdleLimitMs = 600;
  for (const char* path : {"/before-head", "/mid-body"}) {
    SCOPED_TRACE(path);
    Client client(options);
    const Outcome outcome = client.Get(server.port(), path);
    EXPECT_EQ(outcome.error, "Read timed out.");
    EXPECT_GE(client.pump.pumps, 1);  // the window was served while it waited
    if (std::string(path) == "/mid-body") {
      EXPECT_EQ(outcome.events.back(), "end");
      EXPECT_EQ(outcome.file, "abc");
      EXPECT_EQ(outcome.lengths, (std::vector<std::uint64_t>{10, 3}));  // cut back
    } else {
      EXPECT_TRUE(outcome.events.empty());
    }
  }
}

TEST(HttpClient, ChunkedBodyCutShortFails) {
  Server server([](const Request&) {
    return Reply().Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nWi").Close();
  });
  Client client;
  const Outcome outcome = client.Get(server.port(), "/");
  EXPECT_EQ(outcome.error, "Connection Closed Gracefully.");
  EXPECT_EQ(outcome.file, "Wi");
  EXPECT_EQ(outcome.events.back(), "end");
}

TEST(HttpClient, CloseBeforeTheStatusLine) {
  Server server([](const Request&) { return Reply().Close(); });
  Client client;
  const Outcome outcome = client.Get(server.port(), "/");
  EXPECT_EQ(outcome.error, "Connection Closed Gracefully.");
  EXPECT_TRUE(outcome.events.empty());
}

TEST(HttpClient, RefusedConnect) {
  std::uint16_t port;
  {
    Server closed([](const Request&) { return Reply(); });
    port = closed.port();
  }
  Client client;
  const Outcome outcome = client.Get(port, "/");
  EXPECT_EQ(outcome.error, "Socket Error # 10061\r\nConnection refused.");
  EXPECT_TRUE(outcome.events.empty());
}

TEST(HttpClient, StallIsAnsweredByAStopRequest) {
  Server server([](const Request& request) {
    if (request.path == "/before-head") return Reply().Stall();
    return Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc").Stall();
  });
  for (const char* path : {"/before-head", "/mid-body"}) {
    SCOPED_TRACE(path);
    Client client;
    client.pump.stopAt = 3;
    RecordingEvents events;
    MemoryFile file;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_THROW(client.client.Get("127.0.0.1", server.port(), path, file, events), RunStopped);
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(client.pump.pumps, 3);
    // Two empty 250 ms slices came before the third pump; nothing waits for ever.
    EXPECT_GE(waited, std::chrono::milliseconds(400));
    if (std::string(path) == "/mid-body") {
      EXPECT_EQ(events.log.back(), "end");
      EXPECT_EQ(file.bytes, "abc");
    } else {
      EXPECT_TRUE(events.log.empty());
    }
  }
}

TEST(HttpClient, ConnectionIsReusedAndCookiesAreSentBack) {
  Server server([](const Request& request) {
    if (request.path == "/first") {
      return Respond("200 OK", "one", "Set-Cookie: session=abc123; Path=/; HttpOnly\r\n"
                                      "Set-Cookie: other=zz; Path=/elsewhere\r\n");
    }
    return Respond("200 OK", "two");
  });
  Client client;
  EXPECT_EQ(client.Get(server.port(), "/first").file, "one");
  EXPECT_EQ(client.Get(server.port(), "/uploads/second").file, "two");
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].connection, requests[0].connection);
  EXPECT_EQ(requests[0].head.find("Cookie:"), std::string::npos);
  EXPECT_NE(requests[1].head.find("\r\nCookie: session=abc123\r\n\r\n"), std::string::npos)
      << requests[1].head;
}

TEST(HttpClient, ConnectionCloseOrAServerThatLeftMeansANewConnection) {
  Server server([](const Request& request) {
    if (request.path == "/close") return Respond("200 OK", "a", "Connection: Close \r\n");
    if (request.path == "/then-leave") return Respond("200 OK", "b").Close();
    return Respond("200 OK", "c");
  });
  Client client;
  EXPECT_EQ(client.Get(server.port(), "/close").error, "");
  EXPECT_EQ(client.Get(server.port(), "/then-leave").error, "");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const Outcome third = client.Get(server.port(), "/again");
  EXPECT_EQ(third.error, "");
  EXPECT_EQ(third.file, "c");
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_NE(requests[1].connection, requests[0].connection);
  EXPECT_NE(requests[2].connection, requests[1].connection);
}

// A network whose connect never completes, and one whose lookups fail.
class SlowNetwork final : public http::Network {
 public:
  std::string Resolve(const std::string& host) override {
    if (host == "unknown.invalid") throw http::SocketError{11001};
    return "127.0.0.1";
  }
  std::unique_ptr<http::Connection> Connect(const std::string&, std::uint16_t) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    throw http::SocketError{10060};
  }
};

TEST(HttpClient, ConnectThatTakesTooLongTimesOutWhilePumping) {
  http::ClientOptions options;
  options.connectLimitMs = 400;
  CountingPump pump;
  StandardPauses clock;
  PumpedWaits waits(pump, clock);
  http::HttpClient client(std::make_shared<SlowNetwork>(), pump, waits, options);
  RecordingEvents events;
  MemoryFile file;
  try {
    client.Get("vendor", 80, "/", file, events);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(Utf8(e.message()), "Connect timed out.");
  }
  EXPECT_GE(pump.pumps, 1);  // served after each slice that ended without a connection

  pump.stopAt = pump.pumps + 1;  // the window closes while connecting
  EXPECT_THROW(client.Get("vendor", 80, "/", file, events), RunStopped);
}

// A connect that fails with something other than the network's own error
// is reported as that, not as a time-out.
class BrokenNetwork final : public http::Network {
 public:
  std::string Resolve(const std::string&) override { return "127.0.0.1"; }
  std::unique_ptr<http::Connection> Connect(const std::string&, std::uint16_t) override {
    throw std::runtime_error("sem memoria para o socket");
  }
};

TEST(HttpClient, ConnectThatFailsOtherwiseSaysWhy) {
  CountingPump pump;
  StandardPauses clock;
  PumpedWaits waits(pump, clock);
  http::HttpClient client(std::make_shared<BrokenNetwork>(), pump, waits);
  RecordingEvents events;
  MemoryFile file;
  try {
    client.Get("vendor", 80, "/", file, events);
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "sem memoria para o socket");
  }
}

TEST(HttpClient, NameThatDoesNotResolve) {
  CountingPump pump;
  StandardPauses clock;
  PumpedWaits waits(pump, clock);
  http::HttpClient client(std::make_shared<SlowNetwork>(), pump, waits);
  RecordingEvents events;
  MemoryFile file;
  try {
    client.Get("unknown.invalid", 80, "/", file, events);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(Utf8(e.message()), "Socket Error # 11001\r\nHost not found.");
  }
}

// ---- resuming a transfer the network broke ---------------------------------

// The head of a whole answer, and of the 206 that continues it from `from`.
std::string WholeHead(std::uint64_t size, const std::string& validator = "ETag: \"v1\"\r\n") {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\n" + validator + "\r\n";
}
std::string PartHead(std::uint64_t from, std::uint64_t size, std::uint64_t total) {
  return "HTTP/1.1 206 Partial Content\r\nContent-Length: " + std::to_string(size) +
         "\r\nContent-Range: bytes " + std::to_string(from) + "-" + std::to_string(from + size - 1) + "/" +
         std::to_string(total) + "\r\nETag: \"v1\"\r\n\r\n";
}

// The same bytes, one step a byte, so the client reads the head piece by piece.
Reply Trickle(const std::string& bytes) {
  Reply reply;
  for (char c : bytes) reply.Send(std::string(1, c)).Pause(1);
  return reply;
}

// The part of the pattern from `from`, as the second answer's body.
Reply& AppendPatternFrom(Reply& reply, std::uint64_t from, std::uint64_t size) {
  return reply.Send(Pattern(from + size).substr(from));
}

TEST(HttpClientResume, CutAtHalfThenPartialContentGivesTheWholeFile) {
  constexpr std::uint64_t kSize = 200000, kHalf = kSize / 2;
  for (bool trickle : {false, true}) {
    SCOPED_TRACE(trickle ? "206 head byte by byte" : "206 head at once");
    Server server([&](const Request& request) {
      if (request.head.find("Range:") == std::string::npos) {
        return Reply().Send(WholeHead(kSize)).SendPattern(kHalf).Close();
      }
      Reply reply = trickle ? Trickle(PartHead(kHalf, kSize - kHalf, kSize)) : Reply().Send(PartHead(kHalf, kSize - kHalf, kSize));
      return AppendPatternFrom(reply, kHalf, kSize - kHalf);
    });
    Client client({}, /*resumes=*/true);
    const Outcome outcome = client.Get(server.port(), "/suite.7z");
    EXPECT_EQ(outcome.error, "");
    EXPECT_TRUE(outcome.file == Pattern(kSize));
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].head.find("Range:"), std::string::npos);  // the first request as ever
    EXPECT_NE(requests[1].head.find("\r\nRange: bytes=100000-\r\nIf-Range: \"v1\"\r\n"), std::string::npos)
        << requests[1].head;
    // One begin, the reconnect, the work going on from the half, one end.
    EXPECT_EQ(outcome.events.front(), "begin 200000");
    EXPECT_EQ(std::count(outcome.events.begin(), outcome.events.end(), "begin 200000"), 1);
    const auto reconnect = std::find(outcome.events.begin(), outcome.events.end(), "reconnect 1 of 3");
    ASSERT_NE(reconnect, outcome.events.end());
    EXPECT_EQ(*(reconnect - 1), "work 100000");
    EXPECT_GT(std::stoll((reconnect + 1)->substr(5)), 100000);
    EXPECT_EQ(outcome.events[outcome.events.size() - 2], "work 200000");
    EXPECT_EQ(outcome.events.back(), "end");
  }
}

TEST(HttpClientResume, WhatTheSecondAnswerDecides) {
  constexpr std::uint64_t kSize = 5000, kCut = 2000;
  const std::string changed(3000, 'n');
  const struct {
    const char* name;
    std::string firstValidator;  // a header line of the first answer, or ""
    std::function<Reply(const Request&)> second;
    std::string error;
    std::string file;
    std::string ifRange;  // the If-Range line the second request must carry, or ""
  } rows[] = {
      {"ranges not supported: 200 starts the file over, once",
       "ETag: \"v1\"\r\n", [](const Request&) { return Reply().Send(WholeHead(kSize)).SendPattern(kSize); },
       "", Pattern(kSize), "If-Range: \"v1\"\r\n"},
      {"the file changed: the new file",
       "ETag: \"v1\"\r\n",
       [&](const Request&) { return Respond("200 OK", changed, "ETag: \"v2\"\r\n"); }, "", changed,
       "If-Range: \"v1\"\r\n"},
      {"Last-Modified when there is no ETag",
       "Last-Modified: Tue, 01 Dec 2026 10:00:00 GMT\r\n",
       [](const Request&) {
         Reply reply = Reply().Send(PartHead(kCut, kSize - kCut, kSize));
         return AppendPatternFrom(reply, kCut, kSize - kCut);
       },
       "", Pattern(kSize), "If-Range: Tue, 01 Dec 2026 10:00:00 GMT\r\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Server server([&](const Request& request) {
      if (request.head.find("Range:") == std::string::npos) {
        return Reply().Send(WholeHead(kSize, row.firstValidator)).SendPattern(kCut).Close();
      }
      return row.second(request);
    });
    Client client({}, /*resumes=*/true);
    const Outcome outcome = client.Get(server.port(), "/f");
    EXPECT_EQ(outcome.error, row.error);
    EXPECT_TRUE(outcome.file == row.file) << outcome.file.size() << " bytes";
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);  // an answer is never asked again
    if (!row.ifRange.empty()) {
      EXPECT_NE(requests[1].head.find(row.ifRange), std::string::npos) << requests[1].head;
    }
    EXPECT_EQ(outcome.events.back(), "end");
  }
}

// A continuation the server refuses, in whatever way, is never the end of
// the file: the whole file is asked for at once, without a range, and a
// part that does not fit is never spliced in.
TEST(HttpClientResume, RefusedContinuationFetchesTheWholeFileAtOnce) {
  constexpr std::uint64_t kSize = 5000, kCut = 2000;
  const struct {
    const char* name;
    std::function<Reply()> refusal;
  } rows[] = {
      {"a 206 that starts elsewhere",
       [] {
         Reply reply = Reply().Send(PartHead(0, kSize, kSize));
         return AppendPatternFrom(reply, 0, kSize);
       }},
      {"a 206 of another total",
       [] {
         Reply reply = Reply().Send(PartHead(kCut, kSize, kSize + kCut));
         return AppendPatternFrom(reply, kCut, kSize);
       }},
      {"a 206 without its range", [] { return Respond("206 Partial Content", "xyz"); }},
      {"a 206 whose range has no total",
       [] {
         return Reply().Send("HTTP/1.1 206 Partial Content\r\nContent-Length: 3000\r\nContent-Range: bytes "
                             "2000-4999/*\r\nETag: \"v1\"\r\n\r\n" + Pattern(kSize).substr(kCut));
       }},
      {"a 206 with an empty body",
       [] {
         return Reply().Send("HTTP/1.1 206 Partial Content\r\nContent-Length: 0\r\nContent-Range: bytes "
                             "2000-4999/5000\r\nETag: \"v1\"\r\n\r\n");
       }},
      {"a 206 with a body shorter than its range",
       [] {
         return Reply().Send("HTTP/1.1 206 Partial Content\r\nContent-Length: 10\r\nContent-Range: bytes "
                             "2000-4999/5000\r\nETag: \"v1\"\r\n\r\n" + Pattern(kSize).substr(kCut, 10));
       }},
      {"a filter's 403", [] { return Respond("403 Forbidden", "<html>bloqueado</html>"); }},
      {"a 416 without a total", [] { return Respond("416 Range Not Satisfiable", ""); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::atomic<int> plain{0};
    Server server([&](const Request& request) {
      if (request.head.find("Range:") != std::string::npos) return row.refusal();
      // The first whole answer is cut; the one after the refusal is whole.
      if (plain++ == 0) return Reply().Send(WholeHead(kSize)).SendPattern(kCut).Close();
      return Reply().Send(WholeHead(kSize)).SendPattern(kSize);
    });
    Client client({}, /*resumes=*/true);
    const Outcome outcome = client.Get(server.port(), "/f");
    EXPECT_EQ(outcome.error, "");
    EXPECT_TRUE(outcome.file == Pattern(kSize)) << outcome.file.size() << " bytes";
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_NE(requests[1].head.find("Range: bytes=2000-"), std::string::npos) << requests[1].head;
    EXPECT_EQ(requests[2].head.find("Range:"), std::string::npos) << requests[2].head;
    EXPECT_EQ(outcome.events.back(), "end");
    EXPECT_EQ(std::count(outcome.events.begin(), outcome.events.end(), "end"), 1);
  }
  // A server that refuses the range and then cannot send the whole file
  // either: its own answer is the error, after one request for the whole.
  std::atomic<int> plain{0};
  Server server([&](const Request& request) {
    if (request.head.find("Range:") != std::string::npos) return Respond("403 Forbidden", "");
    if (plain++ == 0) return Reply().Send(WholeHead(kSize)).SendPattern(kCut).Close();
    return Respond("404 Not Found", "");
  });
  Client client({}, /*resumes=*/true);
  EXPECT_EQ(client.Get(server.port(), "/f").error, "HTTP/1.1 404 Not Found");
  EXPECT_EQ(server.requests().size(), 3u);
}

// A transfer counts as complete only when what arrived matches what the
// server announced, and a part is spliced only onto bytes of the same
// version. Each answer is scripted whole, and sent whole and byte by byte.
TEST(HttpClientResume, OnlyTheSameVersionIsSplicedAndOnlyTheWholeFileCompletes) {
  constexpr std::uint64_t kSize = 600;  // small: every byte is also sent alone
  const std::string whole = Pattern(kSize);
  const std::string other(kSize, 'n');
  const auto part = [&](std::uint64_t from, std::uint64_t to, const std::string& headers) {
    return "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(from) + "-" +
           std::to_string(kSize - 1) + "/" + std::to_string(kSize) + "\r\n" + headers + "\r\n" +
           whole.substr(from, to - from);
  };
  const std::string lastModified = "Last-Modified: Tue, 01 Dec 2026 10:00:00 GMT\r\n";
  const struct {
    const char* name;
    std::vector<std::string> answers;   // one per request, each followed by a close
    std::vector<std::string> requested; // what each later request must carry ("" for no Range)
    std::string error;
    std::string file;
  } rows[] = {
      {"a part without a length that is cut again is resumed again, not passed as whole",
       {WholeHead(kSize) + whole.substr(0, 100), part(100, 300, "ETag: \"v1\"\r\n"),
        part(300, kSize, "ETag: \"v1\"\r\n")},
       {"Range: bytes=100-\r\nIf-Range: \"v1\"\r\n", "Range: bytes=300-\r\nIf-Range: \"v1\"\r\n"},
       "", whole},
      {"a part of another version (If-Range ignored) starts the file over",
       {WholeHead(kSize) + whole.substr(0, 100), part(100, kSize, "ETag: \"v2\"\r\n"),
        "HTTP/1.1 200 OK\r\nContent-Length: 600\r\nETag: \"v2\"\r\n\r\n" + other},
       {"Range: bytes=100-\r\nIf-Range: \"v1\"\r\n", ""}, "", other},
      {"a weak ETag is never sent in If-Range: Last-Modified is",
       {WholeHead(kSize, "ETag: W/\"w1\"\r\n" + lastModified) + whole.substr(0, 100),
        part(100, kSize, "ETag: W/\"w1\"\r\n" + lastModified)},
       {"Range: bytes=100-\r\nIf-Range: Tue, 01 Dec 2026 10:00:00 GMT\r\n"}, "", whole},
      {"a weak ETag alone: the file starts over without a Range",
       {WholeHead(kSize, "ETag: W/\"w1\"\r\n") + whole.substr(0, 100),
        WholeHead(kSize, "ETag: W/\"w1\"\r\n") + whole},
       {""}, "", whole},
      {"a chunked body cut before its last chunk: a 416 with that total says it is whole",
       {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nETag: \"v1\"\r\n\r\n258\r\n" + whole + "\r\n",
        "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */600\r\nContent-Length: 0\r\n\r\n"},
       {"Range: bytes=600-\r\nIf-Range: \"v1\"\r\n"}, "", whole},
      {"a 416 of another total: the whole file is asked for",
       {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nETag: \"v1\"\r\n\r\n258\r\n" + whole + "\r\n",
        "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */900\r\nContent-Length: 0\r\n\r\n",
        "HTTP/1.1 200 OK\r\nContent-Length: 600\r\nETag: \"v2\"\r\n\r\n" + other},
       {"Range: bytes=600-\r\n", ""}, "", other},
  };
  for (const auto& row : rows) {
    for (bool trickle : {false, true}) {
      SCOPED_TRACE(std::string(row.name) + (trickle ? ", byte by byte" : ", at once"));
      std::atomic<std::size_t> asked{0};
      Server server([&](const Request&) {
        const std::size_t at = std::min(asked++, row.answers.size() - 1);
        Reply reply = trickle ? Trickle(row.answers[at]) : Reply().Send(row.answers[at]);
        return reply.Close();
      });
      Client client({}, /*resumes=*/true);
      const Outcome outcome = client.Get(server.port(), "/f");
      EXPECT_EQ(outcome.error, row.error);
      EXPECT_TRUE(outcome.file == row.file) << outcome.file.size() << " bytes";
      const auto requests = server.requests();
      ASSERT_EQ(requests.size(), row.answers.size());
      for (std::size_t i = 0; i < row.requested.size(); ++i) {
        const std::string& head = requests[i + 1].head;
        if (row.requested[i].empty()) {
          EXPECT_EQ(head.find("Range:"), std::string::npos) << head;
        } else {
          EXPECT_NE(head.find(row.requested[i]), std::string::npos) << head;
        }
        EXPECT_EQ(head.find("W/"), std::string::npos) << head;
      }
      EXPECT_EQ(outcome.events.back(), "end");
      EXPECT_EQ(std::count(outcome.events.begin(), outcome.events.end(), "end"), 1);
    }
  }
}

// What a run started again asks of a file an earlier run fetched: a whole
// one is confirmed (a 304 leaves it, with no work event; a 200 replaces
// it), a partial one is continued. The recorder hears of a body that begins
// the file and of what is written.
TEST(HttpClientResume, AnEarlierRunsFileIsConfirmedOrContinued) {
  constexpr std::uint64_t kSize = 3000;
  const std::string whole = Pattern(kSize);
  struct Recorder final : TransferRecorder {
    std::vector<std::string> heard;
    void Began(const std::string& etag, const std::string& lastModified, std::optional<std::uint64_t> total) override {
      heard.push_back("began " + etag + "|" + lastModified + "|" + (total ? std::to_string(*total) : "-"));
    }
    void Written(std::uint64_t bytes) override { last = bytes; }
    void Whole() override { heard.push_back("whole"); }
    std::uint64_t last = 0;
  };
  const auto known = [&](bool complete, std::string etag, std::string lastModified, std::uint64_t have) {
    KnownFile k;
    k.complete = complete;
    k.etag = std::move(etag);
    k.lastModified = std::move(lastModified);
    k.total = kSize;
    k.have = have;
    return k;
  };
  const std::string lm = "Tue, 01 Dec 2026 10:00:00 GMT";
  const struct {
    const char* name;
    KnownFile known;
    std::string inFile;  // what the file holds when opened
    std::string answer;
    std::string asked;   // a header line the request must carry
    Fetched fetched;
    std::string file;
    std::vector<std::string> events;
  } rows[] = {
      {"a whole file the server still has: kept", known(true, "\"v1\"", lm, kSize), whole,
       "HTTP/1.1 304 Not Modified\r\nETag: \"v1\"\r\n\r\n", "If-None-Match: \"v1\"\r\n", Fetched::Kept, whole,
       {}},
      {"no ETag: asked by its date", known(true, "", lm, kSize), whole,
       "HTTP/1.1 304 Not Modified\r\n\r\n", "If-Modified-Since: " + lm + "\r\n", Fetched::Kept, whole, {}},
      {"the server has another file: fetched anew", known(true, "\"v1\"", "", kSize), whole,
       "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nETag: \"v2\"\r\n\r\nnew", "If-None-Match: \"v1\"\r\n",
       Fetched::Body, "new", {"begin 3", "work 3", "end"}},
      {"a partial file goes on", known(false, "\"v1\"", "", 1000), whole.substr(0, 1000),
       PartHead(1000, kSize - 1000, kSize) + whole.substr(1000), "Range: bytes=1000-\r\nIf-Range: \"v1\"\r\n",
       Fetched::Body, whole, {"begin 3000", "work 3000", "end"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Server server([&](const Request&) { return Reply().Send(row.answer); });
    Client client({}, /*resumes=*/true);
    MemoryFile file;
    file.bytes = row.inFile;
    file.position = row.inFile.size();
    RecordingEvents events;
    Recorder recorder;
    const Fetched fetched =
        client.client.Get("127.0.0.1", server.port(), "/f", file, events, std::nullopt, &row.known, &recorder);
    EXPECT_EQ(fetched, row.fetched);
    EXPECT_TRUE(file.bytes == row.file) << file.bytes.size() << " bytes";
    EXPECT_EQ(events.log, row.events);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_NE(server.requests()[0].head.find(row.asked), std::string::npos) << server.requests()[0].head;
    EXPECT_EQ(recorder.heard.back(), "whole");
    if (row.fetched == Fetched::Kept) {
      EXPECT_EQ(recorder.heard.size(), 1u);  // nothing began: the file is left as it was
    } else {
      EXPECT_EQ(recorder.last, row.file.size());
    }
  }
}

TEST(HttpClientResume, BreaksAreResumedThreeTimesThenTheErrorStands) {
  Server server([](const Request&) {
    return Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nab").Close();
  });
  Client client({}, /*resumes=*/true);
  const Outcome outcome = client.Get(server.port(), "/always-cut");
  EXPECT_EQ(outcome.error, "Connection Closed Gracefully.");
  EXPECT_EQ(server.requests().size(), 4u);
  for (const char* reconnect : {"reconnect 1 of 3", "reconnect 2 of 3", "reconnect 3 of 3"}) {
    EXPECT_NE(std::find(outcome.events.begin(), outcome.events.end(), reconnect), outcome.events.end()) << reconnect;
  }
  EXPECT_EQ(std::count(outcome.events.begin(), outcome.events.end(), "end"), 1);
  EXPECT_EQ(outcome.file, "ab");  // each 200 started the file over
}

TEST(HttpClientResume, ErrorStatusesAreAnswersAndABreakBeforeTheBodyStartsOver) {
  {
    Server server([](const Request&) { return Respond("404 Not Found", "nope"); });
    Client client({}, /*resumes=*/true);
    EXPECT_EQ(client.Get(server.port(), "/missing").error, "HTTP/1.1 404 Not Found");
    EXPECT_EQ(server.requests().size(), 1u);
  }
  {
    // An error answer whose body breaks is still that answer.
    Server server([](const Request&) {
      return Reply().Send("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 100\r\n\r\nab").Close();
    });
    Client client({}, /*resumes=*/true);
    EXPECT_EQ(client.Get(server.port(), "/broken").error, "HTTP/1.1 500 Internal Server Error");
    EXPECT_EQ(server.requests().size(), 1u);
  }
  {
    int seen = 0;
    Server server([&](const Request&) { return ++seen == 1 ? Reply().Close() : Respond("200 OK", "whole"); });
    Client client({}, /*resumes=*/true);
    const Outcome outcome = client.Get(server.port(), "/closed-first");
    EXPECT_EQ(outcome.error, "");
    EXPECT_EQ(outcome.file, "whole");
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].head.find("Range:"), std::string::npos);  // nothing had come: from the start
  }
}

TEST(HttpClientResume, CloseDuringThePauseStopsTheTransfer) {
  Server server([](const Request&) { return Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nab").Close(); });
  http::ClientOptions options;
  Client client(options, /*resumes=*/true);
  client.pump.stopAt = 1;  // the first time the window is served: in the pause after the break
  RecordingEvents events;
  MemoryFile file;
  EXPECT_THROW(client.client.Get("127.0.0.1", server.port(), "/f", file, events), RunStopped);
  EXPECT_EQ(events.log.back(), "end");
  EXPECT_EQ(server.requests().size(), 1u);
}

}  // namespace
}  // namespace pravonell::testing
