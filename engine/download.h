// One download of the install plan, and the reachability probe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/http/http_client.h"
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

class HttpDownloader final : public Downloader {
 public:
  HttpDownloader(http::HttpClient& client, std::wstring downloadHost, ProgressDisplay& progress)
      : client_(client), host_(ParseHostPort(downloadHost)), progress_(progress) {}

  void BaixarArquivo(const std::wstring& urlPath, OutputFile& file) override;

 private:
  http::HttpClient& client_;
  HostPort host_;
  ProgressDisplay& progress_;
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
