// The choice of a proxy from Windows' settings, and downloads through one.
#include "engine/http/proxy.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "engine/download.h"
#include "engine/error.h"
#include "platform/posix/posix_network.h"
#include "tests/fakes/recording_events.h"
#include "tests/fakes/downloader_rig.h"
#include "tests/fakes/run_fakes.h"
#include "tests/fakes/text.h"
#include "tests/server/test_server.h"

namespace pravonell::testing {
namespace {

std::string Chosen(const http::ProxySettings& settings, const char* host, std::uint16_t port = 80) {
  const auto proxy = http::ChooseProxy(settings, host, port);
  return proxy ? proxy->host + ":" + std::to_string(proxy->port) : "direct";
}

// Every way the settings give, in order, for a PAC answer of several.
std::string AllChosen(const http::ProxySettings& settings, const char* host) {
  std::string ways;
  for (const auto& proxy : http::ChooseProxies(settings, host)) {
    ways += (ways.empty() ? "" : ", ") + (proxy ? proxy->host + ":" + std::to_string(proxy->port) : "direct");
  }
  return ways;
}

TEST(ChooseProxy, SettingsAsWindowsReadsThem) {
  const auto fixed = [](const char* proxy, const char* bypass = "") {
    http::ProxySettings settings;
    settings.fixedProxy = proxy;
    settings.fixedBypass = bypass;
    return settings;
  };
  const auto automatic = [](const char* proxy, const char* bypass = "") {
    http::ProxySettings settings;
    settings.automaticProxy = proxy;
    settings.automaticBypass = bypass;
    settings.fixedProxy = "fixed.example:3128";
    return settings;
  };
  const struct {
    const char* name;
    http::ProxySettings settings;
    const char* host;
    const char* chosen;
    std::uint16_t port = 80;
  } rows[] = {
      {"no settings", {}, "download.varnisca.com.br", "direct"},
      {"one proxy for all", fixed("proxy.office:3128"), "download.varnisca.com.br", "proxy.office:3128"},
      {"no port means 80", fixed("proxy.office"), "download.varnisca.com.br", "proxy.office:80"},
      {"per scheme", fixed("https=secure:443;http=plain:8080"), "download.varnisca.com.br", "plain:8080"},
      {"per scheme without http", fixed("https=secure:443;ftp=files:21"), "download.varnisca.com.br", "direct"},
      {"bypassed by pattern", fixed("p:1", "*.varnisca.com.br;10.*"), "download.varnisca.com.br", "direct"},
      {"pattern of another host", fixed("p:1", "*.other.com"), "download.varnisca.com.br", "p:1"},
      {"<local> sends a plain name direct", fixed("p:1", "<local>"), "intranet", "direct"},
      {"<local> leaves a dotted name", fixed("p:1", "<local>"), "download.varnisca.com.br", "p:1"},
      {"loopback is always direct", fixed("p:1"), "127.0.0.1", "direct"},
      {"unless <-loopback>", fixed("p:1", "<-loopback>"), "127.0.0.1", "p:1"},
      {"a script's proxy", automatic("PROXY 127.0.0.1:38888"), "vendor.test", "127.0.0.1:38888"},
      {"a script's list: the first", automatic("PROXY a:1; PROXY b:2"), "vendor.test", "a:1"},
      {"a script that says DIRECT", automatic(""), "vendor.test", "direct"},
      {"a script's DIRECT entry", automatic("DIRECT"), "vendor.test", "direct"},
      {"the script's bypass list", automatic("a:1", "vendor.*"), "vendor.test", "direct"},
      {"a port that is no port", fixed("proxy:99999"), "download.varnisca.com.br", "direct"},
      {"a port with letters", fixed("proxy:80a"), "download.varnisca.com.br", "direct"},
      {"a host that is no host", fixed("pro%xy:80"), "download.varnisca.com.br", "direct"},
      {"an empty entry", fixed("http=;"), "download.varnisca.com.br", "direct"},
      {"a script's SOCKS entry is passed over", automatic("SOCKS s:1080; PROXY p:8080"), "vendor.test", "p:8080"},
      {"SOCKS4, SOCKS5 and HTTPS too", automatic("SOCKS4 a:1; SOCKS5 b:2; HTTPS c:3; PROXY d:4"), "vendor.test",
       "d:4"},
      {"only kinds we cannot use: direct", automatic("SOCKS s:1080"), "vendor.test", "direct"},
      {"an unreadable first entry: the next", automatic("PROXY pro%xy:1; PROXY good:2"), "vendor.test", "good:2"},
      {"an unreadable fixed entry: the next", fixed("pro%xy:99999;http=good:3128"), "download.varnisca.com.br",
       "good:3128"},
      {"DIRECT after an unusable entry", automatic("SOCKS s:1; DIRECT; PROXY p:2"), "vendor.test", "direct"},
      {"an IPv6 literal", automatic("PROXY [fd00::1]:3128"), "vendor.test", "fd00::1:3128"},
      {"an IPv6 literal without its port", fixed("[fd00::1]"), "download.varnisca.com.br", "fd00::1:80"},
      {"an IPv6 literal left open", fixed("[fd00::1:3128"), "download.varnisca.com.br", "direct"},
      {"a name with an underscore", fixed("proxy_sede.office:8080"), "download.varnisca.com.br",
       "proxy_sede.office:8080"},
      {"a bypass with a star in the middle", fixed("p:1", "down*.varnisca.*.br"), "download.varnisca.com.br",
       "direct"},
      {"a bypass whose middle piece is missing", fixed("p:1", "down*.other*.br"), "download.varnisca.com.br", "p:1"},
      {"a bypass with the http scheme", fixed("p:1", "http://*.empresa.local"), "servidor.empresa.local", "direct"},
      {"a bypass for another scheme only", fixed("p:1", "https://*.empresa.local"), "servidor.empresa.local", "p:1"},
      {"a bypass with the URL's port", fixed("p:1", "servidor:8080"), "servidor", "direct", 8080},
      {"a bypass with another port", fixed("p:1", "servidor:8080"), "servidor", "p:1", 80},
      {"a bypass with a scheme and a port", fixed("p:1", "http://*.empresa.local:80"), "a.empresa.local", "direct"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Chosen(row.settings, row.host, row.port), row.chosen);
  }
  http::ProxySettings several;
  several.automaticProxy = "PROXY a:3128; SOCKS s:1; PROXY b:3128; DIRECT; PROXY c:1";
  EXPECT_EQ(AllChosen(several, "vendor.test"), "a:3128, b:3128, direct");
  several.automaticProxy = "PROXY a:3128; PROXY b:3128";
  EXPECT_EQ(AllChosen(several, "vendor.test"), "a:3128, b:3128");
  EXPECT_EQ(AllChosen(http::ProxySettings{}, "vendor.test"), "direct");
}

// A bypass entry with many stars against a long host that it does not
// match: a matcher that goes back and tries again takes exponential time,
// and this test would not end. Only the verdicts are checked here.
TEST(ChooseProxy, ManyStarsAreMatchedWithoutTryingAgain) {
  http::ProxySettings settings;
  settings.fixedProxy = "p:1";
  settings.fixedBypass = std::string(18, '*') + "x";
  const std::string host(40, 'a');
  EXPECT_EQ(Chosen(settings, host.c_str()), "p:1");
  settings.fixedBypass = "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a";
  EXPECT_EQ(Chosen(settings, host.c_str()), "direct");
  settings.fixedBypass = "*a*b";
  EXPECT_EQ(Chosen(settings, "aaab.example"), "p:1");  // the last piece must end the host
  EXPECT_EQ(Chosen(settings, "xaxb"), "direct");
}

// What the Win32 side answered, as the test wants it.
class FixedLookup final : public http::ProxyLookup {
 public:
  explicit FixedLookup(http::ProxySettings settings) : settings_(std::move(settings)) {}
  std::vector<std::string> asked;
  http::ProxySettings SettingsFor(const std::string& url) override {
    asked.push_back(url);
    return settings_;
  }

 private:
  http::ProxySettings settings_;
};

// The loopback server plays the proxy: requests name the whole address and
// keep their own Host header, and the connection to it is kept.
TEST(HttpDownloader, GoesThroughTheProxyWindowsWouldUse) {
  testserver::Server proxy([](const testserver::Request& request) {
    if (request.path == "http://download.varnisca.com.br/uploads/denied") {
      return testserver::Respond("407 Proxy Authentication Required", "");
    }
    return testserver::Respond("200 OK", "via proxy");
  });
  http::ProxySettings settings;
  settings.fixedProxy = "127.0.0.1:" + std::to_string(proxy.port());
  auto lookup = std::make_shared<FixedLookup>(settings);
  DownloaderRig rig;
  HttpDownloader downloader(rig.client, L"download.varnisca.com.br", rig.progress, lookup, &rig.waits);

  MemoryFile first, second;
  downloader.BaixarArquivo(L"/uploads/download/file/73/quilmarde.ini", first);
  downloader.BaixarArquivo(L"/uploads/download/file/59/Kestrimo.7z", second);
  EXPECT_EQ(first.bytes, "via proxy");
  EXPECT_EQ(second.bytes, "via proxy");
  const auto requests = proxy.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].head.substr(0, requests[0].head.find("\r\nAccept")),
            "GET http://download.varnisca.com.br/uploads/download/file/73/quilmarde.ini HTTP/1.1\r\n"
            "Host: download.varnisca.com.br");
  EXPECT_EQ(requests[1].connection, requests[0].connection);
  EXPECT_EQ(lookup->asked, (std::vector<std::string>{"http://download.varnisca.com.br/uploads/download/file/73/quilmarde.ini"}));

  // The proxy's own refusal is an answer like any other.
  MemoryFile denied;
  try {
    downloader.BaixarArquivo(L"/uploads/denied", denied);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(Utf8(e.message()), "HTTP/1.1 407 Proxy Authentication Required");
  }

  // The next run asks again.
  downloader.ForgetProxy();
  MemoryFile again;
  downloader.BaixarArquivo(L"/uploads/download/file/73/quilmarde.ini", again);
  EXPECT_EQ(lookup->asked.size(), 2u);
}

// A proxy that cannot be reached gives the socket error; a lookup that does
// not answer within its bound leaves the downloads direct.
class SilentLookup final : public http::ProxyLookup {
 public:
  http::ProxySettings SettingsFor(const std::string&) override {
    std::unique_lock lock(mutex_);
    released_.wait(lock, [&] { return release_; });
    http::ProxySettings settings;
    settings.fixedProxy = "127.0.0.1:1";
    return settings;
  }
  void Release() {
    std::lock_guard lock(mutex_);
    release_ = true;
    released_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  bool release_ = false;
};

TEST(HttpDownloader, ProxyThatCannotBeReachedOrALookupThatNeverAnswers) {
  std::uint16_t closedPort;
  {
    testserver::Server gone([](const testserver::Request&) { return testserver::Respond("200 OK", ""); });
    closedPort = gone.port();
  }
  http::ProxySettings settings;
  settings.fixedProxy = "127.0.0.1:" + std::to_string(closedPort);
  DownloaderRig rig;
  HttpDownloader unreachable(rig.client, L"download.varnisca.com.br", rig.progress,
                             std::make_shared<FixedLookup>(settings), &rig.waits);
  MemoryFile file;
  try {
    unreachable.BaixarArquivo(L"/uploads/download/file/73/quilmarde.ini", file);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(Utf8(e.message()), "Socket Error # 10061\r\nConnection refused.");
  }

  testserver::Server site([](const testserver::Request&) { return testserver::Respond("200 OK", "direct"); });
  auto silent = std::make_shared<SilentLookup>();
  HttpDownloader bounded(rig.client, L"127.0.0.1:" + std::to_wstring(site.port()), rig.progress, silent, &rig.waits,
                         /*proxyLimitMs=*/200);
  MemoryFile direct;
  bounded.BaixarArquivo(L"/uploads/download/file/73/quilmarde.ini", direct);
  EXPECT_EQ(direct.bytes, "direct");
  EXPECT_EQ(site.requests().size(), 1u);
  silent->Release();  // the abandoned lookup ends on its own
}

// A PAC answer that lists several proxies: one that does not connect is
// passed over for the next, which serves the rest of the run; a DIRECT at
// the end is taken when no proxy connects.
TEST(HttpDownloader, ProxyThatDoesNotConnectIsFollowedByTheNextOfTheList) {
  std::uint16_t closedPort;
  {
    testserver::Server gone([](const testserver::Request&) { return testserver::Respond("200 OK", ""); });
    closedPort = gone.port();
  }
  testserver::Server second([](const testserver::Request&) { return testserver::Respond("200 OK", "via b"); });
  http::ProxySettings settings;
  settings.automaticProxy = "PROXY 127.0.0.1:" + std::to_string(closedPort) + "; PROXY 127.0.0.1:" +
                            std::to_string(second.port()) + "; DIRECT";
  DownloaderRig rig;
  HttpDownloader downloader(rig.client, L"download.varnisca.com.br", rig.progress,
                            std::make_shared<FixedLookup>(settings), &rig.waits);
  for (const wchar_t* path : {L"/uploads/download/file/73/quilmarde.ini", L"/uploads/download/file/59/Kestrimo.7z"}) {
    MemoryFile file;
    downloader.BaixarArquivo(path, file);
    EXPECT_EQ(file.bytes, "via b");
  }
  EXPECT_EQ(second.requests().size(), 2u);

  testserver::Server site([](const testserver::Request&) { return testserver::Respond("200 OK", "direct"); });
  settings.automaticProxy = "PROXY 127.0.0.1:" + std::to_string(closedPort) + "; DIRECT";
  HttpDownloader lastResort(rig.client, L"127.0.0.1:" + std::to_wstring(site.port()), rig.progress,
                            std::make_shared<FixedLookup>(settings), &rig.waits);
  MemoryFile file;
  lastResort.BaixarArquivo(L"/uploads/download/file/73/quilmarde.ini", file);
  EXPECT_EQ(file.bytes, "direct");
}

// Without proxy settings the request is the one it always was.
TEST(HttpDownloader, WithoutProxySettingsGoesDirect) {
  testserver::Server site([](const testserver::Request&) { return testserver::Respond("200 OK", "direct"); });
  auto lookup = std::make_shared<FixedLookup>(http::ProxySettings{});
  DownloaderRig rig;
  HttpDownloader downloader(rig.client, L"127.0.0.1:" + std::to_wstring(site.port()), rig.progress, lookup, &rig.waits);
  MemoryFile file;
  downloader.BaixarArquivo(L"/uploads/download/file/73/quilmarde.ini", file);
  ASSERT_EQ(site.requests().size(), 1u);
  EXPECT_EQ(site.requests()[0].head.substr(0, site.requests()[0].head.find("\r\n")),
            "GET /uploads/download/file/73/quilmarde.ini HTTP/1.1");
}

}  // namespace
}  // namespace pravonell::testing
