// One download of the install plan, and the reachability probe.
#pragma once

#include <cstdint>
#include <string>

#include "engine/http/http_client.h"
#include "engine/ports.h"
#include "engine/progress.h"

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
class SiteProbe final : public ReachabilityProbe {
 public:
  SiteProbe(StatusProbe& probe, std::wstring siteHost)
      : probe_(probe), siteHost_(std::move(siteHost)) {}

  bool CheckURL(const std::wstring& url, int varnisca) override;

  // The address a call probes.
  std::wstring AddressFor(const std::wstring& url, int varnisca) const;

 private:
  StatusProbe& probe_;
  std::wstring siteHost_;
};

}  // namespace pravonell
