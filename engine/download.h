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

  // A new run looks the proxy up again: the settings may have changed.
  void ForgetProxy() { proxyKnown_ = false; }

 private:
  std::optional<http::Proxy> ProxyFor(const std::string& url);

  http::HttpClient& client_;
  HostPort host_;
  ProgressDisplay& progress_;
  std::shared_ptr<http::ProxyLookup> proxies_;
  Waits* waits_;
  unsigned proxyLimitMs_;
  bool proxyKnown_ = false;
  std::optional<http::Proxy> proxy_;
};

// Asks the vendor's site for "/users/sign_in"; "200" or "302" means it answers.
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
