// The probe over WinINet and the HTTP client over Winsock, against the
// loopback test server the test script started.
#include <windows.h>

#include <gtest/gtest.h>

#include "engine/download.h"
#include "engine/error.h"
#include "platform/win32/win_pauses.h"
#include "platform/win32/win_wininet.h"
#include "platform/win32/win_winsock.h"
#include "tests/fakes/recording_events.h"
#include "tests/wine/site.h"

namespace pravonell::testing {
namespace {

std::wstring Local(int port) { return L"127.0.0.1:" + std::to_wstring(port); }

// The window side of a probe or a download, without a window.
struct Waiting {
  CountingPump pump;
  win32::Win32Pauses clock;
  PumpedWaits waits{pump, clock};
};

TEST(WinInetProbe, AnswersTrueOnlyFor200And302) {
  ASSERT_GT(SitePort(), 0) << "PRAVONELL_SITE_PORT is not set";
  WriteSiteFile(L"probe\\ok", "<html>sign in</html>");
  WriteSiteFile(L"probe\\found.reply", "status 302 Found\n");
  WriteSiteFile(L"probe\\moved.reply", "status 301 Moved Permanently\n");
  WriteSiteFile(L"probe\\broken.reply", "status 500 Internal Server Error\n");

  Waiting waiting;
  SiteProbe probe(std::make_shared<win32::WinInetProbe>(), Local(SitePort()), waiting.waits);
  const struct {
    std::wstring url;
    bool reachable;
  } rows[] = {
      {L"http://" + Local(SitePort()) + L"/probe/ok", true},
      {Local(SitePort()) + L"/probe/ok", true},  // "http://" is put in front
      {L"HTTP://" + Local(SitePort()) + L"/probe/found", true},
      {L"http://" + Local(SitePort()) + L"/probe/moved", false},
      {L"http://" + Local(SitePort()) + L"/probe/missing", false},
      {L"http://" + Local(SitePort()) + L"/probe/broken", false},
      {L"http://127.0.0.1:1/nobody-listens", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.url.begin(), row.url.end()));
    EXPECT_EQ(probe.CheckURL(row.url, 0), row.reachable);
  }
}

TEST(WinInetProbe, VendorSiteIsAskedForTheSignInPage) {
  WriteSiteFile(L"users\\sign_in.reply", "status 302 Found\n");
  Waiting waiting;
  auto wininet = std::make_shared<win32::WinInetProbe>();
  EXPECT_TRUE(SiteProbe(wininet, Local(SitePort()), waiting.waits).CheckURL(L"", 1));
  EXPECT_FALSE(SiteProbe(wininet, L"127.0.0.1:1", waiting.waits).CheckURL(L"", 1));
}

class WinsockClient : public ::testing::Test {
 protected:
  CountingPump pump;
  win32::Win32Pauses clock;
  PumpedWaits waits{pump, clock};
  http::HttpClient client{std::make_shared<win32::WinsockNetwork>(), pump, waits};
  RecordingEvents events;
  MemoryFile file;
};

TEST_F(WinsockClient, DownloadsAFileWithItsEvents) {
  std::string body(100000, 'x');
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>('a' + i % 26);
  WriteSiteFile(L"net\\file.bin", body);
  client.Get("127.0.0.1", static_cast<std::uint16_t>(DownloadPort()), "/net/file.bin", file, events);
  EXPECT_TRUE(file.bytes == body);
  EXPECT_EQ(events.log.front(), "begin 100000");
  EXPECT_EQ(events.log[events.log.size() - 2], "work 100000");
  EXPECT_EQ(events.log.back(), "end");
}

TEST_F(WinsockClient, ErrorsReadTheSameAsOnWindows) {
  WriteSiteFile(L"net\\cut.bin", std::string(50000, 'c'));
  WriteSiteFile(L"net\\cut.bin.reply", "cut half\n");
  const struct {
    int port;
    const char* path;
    const wchar_t* error;
  } rows[] = {
      {1, "/x", L"Socket Error # 10061\r\nConnection refused."},
      {DownloadPort(), "/net/absent.bin", L"HTTP/1.1 404 Not Found"},
      {DownloadPort(), "/net/cut.bin", L"Connection Closed Gracefully."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    try {
      client.Get("127.0.0.1", static_cast<std::uint16_t>(row.port), row.path, file, events);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.message(), row.error);
    }
  }
}

}  // namespace
}  // namespace pravonell::testing
