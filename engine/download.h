// One download of the install plan, and the reachability probe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/http/http_client.h"
#include "engine/http/proxy.h"
#include "engine/ports.h"
#include "engine/progress.h"
#include "engine/waiting.h"

namespace pravonell {

// "host" or "host:port" as the build gives the vendor's hosts; anything else
// (a port out of range or not a number, a blank host) raises Error.
struct HostPort {
  std::string host;
  std::uint16_t port = 80;
};
HostPort ParseHostPort(const std::wstring& text);

// The downloads go through the proxy Windows would use for them. It is looked
// up once per run, on a helper thread with a bound of its own (automatic
// detection asks the network); without an answer in time, they go direct.
class HttpDownloader final : public Downloader {
 public:
  static constexpr unsigned kProxyLimitMs = 15000;
  HttpDownloader(http::HttpClient& client, std::wstring downloadHost, ProgressDisplay& progress,
                 std::shared_ptr<http::ProxyLookup> proxies = nullptr, Waits* waits = nullptr,
                 unsigned proxyLimitMs = kProxyLimitMs)
      : client_(client),
        host_(ParseHostPort(downloadHost)),
        progress_(progress),
        proxies_(std::move(proxies)),
        waits_(waits),
        proxyLimitMs_(proxyLimitMs) {}

  Fetched Fetch(const std::wstring& urlPath, OutputFile& file, const KnownFile* known,
                TransferRecorder* recorder) override;

  // A new run looks the proxy up again (the settings may have changed), and
  // asks again who you are if the proxy wants to know.
  void ForgetProxy() {
    proxyKnown_ = false;
    if (auth_ != nullptr) auth_->Forget();
  }
  // The proxy's 407s are answered by this.
  void UseProxyAuthentication(http::ProxyAuthenticator* authenticator) {
    auth_ = authenticator;
    client_.UseProxyAuthentication(authenticator);
  }

 private:
  const std::vector<std::optional<http::Proxy>>& ProxiesFor(const std::string& url);

  http::HttpClient& client_;
  HostPort host_;
  ProgressDisplay& progress_;
  std::shared_ptr<http::ProxyLookup> proxies_;
  Waits* waits_;
  unsigned proxyLimitMs_;
  bool proxyKnown_ = false;
  // Every way to the download host the settings give, and the one in use: a
  // proxy that does not connect is followed by the next, for the rest of
  // the run.
  std::vector<std::optional<http::Proxy>> proxies_list_;
  std::size_t proxyInUse_ = 0;
  http::ProxyAuthenticator* auth_ = nullptr;
};

// Asks the vendor's site for "/users/sign_in"; "200" or "302" means it
// answers, and so does a proxy's "407" (reachable through a proxy that asks).
// The request blocks for as long as the system's own time-outs, so it runs on
// a helper thread while the window is served, and a site that has not
// answered within limitMs counts as not answering.
class SiteProbe final : public ReachabilityProbe {
 public:
  static constexpr unsigned kLimitMs = 30000;
  SiteProbe(std::shared_ptr<StatusProbe> probe, std::wstring siteHost, Waits& waits,
            unsigned limitMs = kLimitMs)
      : probe_(std::move(probe)), siteHost_(std::move(siteHost)), waits_(waits), limitMs_(limitMs) {}

  bool CheckURL(const std::wstring& url, int varnisca) override;

  // The address a call probes.
  std::wstring AddressFor(const std::wstring& url, int varnisca) const;

 private:
  std::shared_ptr<StatusProbe> probe_;
  std::wstring siteHost_;
  Waits& waits_;
  unsigned limitMs_;
};

}  // namespace pravonell
