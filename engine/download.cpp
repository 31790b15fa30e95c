#include "engine/download.h"

#include "engine/error.h"

namespace pravonell {

HostPort ParseHostPort(const std::wstring& text) {
  // A host is letters, digits, dots and dashes; a port, 1 to 65535 in digits.
  HostPort result;
  const auto colon = text.find(L':');
  const std::wstring host = text.substr(0, colon);
  bool valid = !host.empty();
  for (wchar_t c : host) {
    const bool allowed = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') ||
                         (c >= L'0' && c <= L'9') || c == L'.' || c == L'-';
    valid = valid && allowed;
    result.host += static_cast<char>(c);
  }
  if (colon != std::wstring::npos) {
    const std::wstring port = text.substr(colon + 1);
    unsigned long value = 0;
    valid = valid && !port.empty() && port.size() <= 5;
    for (wchar_t c : port) {
      valid = valid && c >= L'0' && c <= L'9';
      if (valid) value = value * 10 + static_cast<unsigned long>(c - L'0');
    }
    valid = valid && value >= 1 && value <= 65535;
    result.port = static_cast<std::uint16_t>(value);
  }
  if (!valid) throw Error(L"Invalid host setting \"" + text + L"\": expected host or host:port.");
  return result;
}

const std::vector<std::optional<http::Proxy>>& HttpDownloader::ProxiesFor(const std::string& url) {
  if (proxyKnown_) return proxies_list_;
  proxies_list_ = {std::nullopt};
  proxyInUse_ = 0;
  if (proxies_ && waits_ != nullptr) {
    // Without settings in time (or with none to be had), the downloads go direct.
    const std::optional<http::ProxySettings> settings = AskBeside<http::ProxySettings>(
        *waits_, proxyLimitMs_, [proxies = proxies_, url]() -> http::ProxySettings {
          try {
            return proxies->SettingsFor(url);
          } catch (...) {
            return {};
          }
        });
    if (settings) proxies_list_ = http::ChooseProxies(*settings, host_.host, host_.port);
  }
  proxyKnown_ = true;
  return proxies_list_;
}

Fetched HttpDownloader::Fetch(const std::wstring& urlPath, OutputFile& file, const KnownFile* known,
                              TransferRecorder* recorder) {
  std::string path;
  for (wchar_t c : urlPath) path += static_cast<char>(c);  // the plan's paths are ASCII
  const std::string hostPort = host_.port == 80 ? host_.host : host_.host + ":" + std::to_string(host_.port);
  const std::vector<std::optional<http::Proxy>>& ways = ProxiesFor("http://" + hostPort + path);
  for (;;) {
    try {
      return client_.Get(host_.host, host_.port, path, file, progress_, ways[proxyInUse_], known, recorder);
    } catch (const http::ConnectFailed&) {
      // A proxy that cannot be reached is passed over for the next way the
      // settings give; nothing was asked of it, so nothing is lost.
      if (proxyInUse_ + 1 >= ways.size()) throw;
      ++proxyInUse_;
    }
  }
}

std::wstring SiteProbe::AddressFor(const std::wstring& url, int varnisca) const {
  if (varnisca == 1) return L"http://" + siteHost_ + L"/users/sign_in";
  std::wstring lower = url;
  for (wchar_t& c : lower) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return lower.find(L"http://") != std::wstring::npos ? url : L"http://" + url;
}

bool SiteProbe::CheckURL(const std::wstring& url, int varnisca) {
  // The probe never raises: no status means no answer, and so does a site
  // that has not answered within the limit.
  const std::optional<std::wstring> status = AskBeside<std::wstring>(
      waits_, limitMs_, [probe = probe_, address = AddressFor(url, varnisca)]() -> std::wstring {
        try {
          return probe->QueryStatus(address);
        } catch (...) {
          return L"";
        }
      });
  // A 407 comes from a proxy that asks who you are before it lets the
  // request through: the site is there beyond it, and the downloads, which
  // answer the proxy, go on (the probe itself cannot answer it).
  return status && (*status == L"200" || *status == L"302" || *status == L"407");
}

}  // namespace pravonell
