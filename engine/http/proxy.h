// Which proxy a download goes through: the one Windows would use for the URL.
//
// The Win32 side hands over the settings as WinHTTP gives them (the current
// user's fixed proxy and bypass list, and what an automatic configuration
// script or automatic detection answered); the choice made from them is
// here, where it can be tested without Windows.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/http/http_client.h"

namespace pravonell::http {

// The proxy settings for one URL, as text.
struct ProxySettings {
  // What the automatic configuration (a PAC script, or detection) answered:
  // nothing when there is none or it failed, "" for DIRECT, else its list.
  std::optional<std::string> automaticProxy;
  std::string automaticBypass;
  // The fixed settings: "host:port", or "http=host:port;https=host:port".
  std::string fixedProxy;
  std::string fixedBypass;  // "<local>;*.example.com;10.*"
};

// The proxy for an http:// URL to the host and port, or nothing for a
// direct connection. An automatic answer is taken first; when there is
// none, the fixed settings. A proxy entry that cannot be read means direct.
std::optional<Proxy> ChooseProxy(const ProxySettings& settings, std::string_view host, std::uint16_t port = 80);

// Every way to the host the settings give, in order: a PAC answer may list
// several proxies ("PROXY a:3128; PROXY b:3128; DIRECT"), and one that does
// not connect is followed by the next. Nothing in the list stands for
// direct; the list is never empty.
std::vector<std::optional<Proxy>> ChooseProxies(const ProxySettings& settings, std::string_view host,
                                                std::uint16_t port = 80);

// The first usable entry of a proxy list that serves http: "host:port",
// "[v6]:port", "http=host:port", "PROXY host:port" (a PAC answer); entries
// of other kinds (SOCKS, HTTPS, other schemes) and entries that cannot be
// read are passed over; nothing for none, or for a DIRECT that comes first.
std::optional<Proxy> HttpProxyOf(std::string_view list);

// Whether the bypass list sends the host direct: "<local>" for a name
// without a dot, "*" patterns, and loopback always unless "<-loopback>".
// An entry may name a scheme ("http://*.empresa.local": only http URLs) and
// a port ("servidor:8080": only that port), as Windows reads them.
bool Bypasses(std::string_view bypassList, std::string_view host, std::uint16_t port = 80);

// Every usable entry of a proxy list, in order, up to a DIRECT (nothing).
std::vector<std::optional<Proxy>> HttpProxiesOf(std::string_view list);

// The port: what Windows' settings say for a URL. Blocks (a PAC script is
// fetched, detection asks the network), so it is called on a helper thread.
class ProxyLookup {
 public:
  virtual ~ProxyLookup() = default;
  virtual ProxySettings SettingsFor(const std::string& url) = 0;
};

}  // namespace pravonell::http
