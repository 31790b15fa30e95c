#include "engine/http/proxy.h"

#include "engine/text.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace pravonell::http {

namespace {

std::string Lower(std::string_view text) { return AsciiLower(text); }
std::string Trim(std::string_view text) { return TrimBlanks(text); }

// Entries separated by ';', ',' or blanks.
std::vector<std::string> Entries(std::string_view list) {
  std::vector<std::string> entries;
  std::string entry;
  for (char c : list) {
    if (c == ';' || c == ',' || c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (!entry.empty()) entries.push_back(entry);
      entry.clear();
    } else {
      entry += c;
    }
  }
  if (!entry.empty()) entries.push_back(entry);
  return entries;
}

// "host" or "host:port" with an optional "http://" in front; nothing when
// the host is blank or holds anything but letters, digits, dots and dashes,
// or the port is not 1 to 65535.
std::optional<Proxy> HostPortOf(std::string text) {
  if (Lower(text).rfind("http://", 0) == 0) text.erase(0, 7);
  if (!text.empty() && text.back() == '/') text.pop_back();
  const auto colon = text.find(':');
  Proxy proxy;
  proxy.host = text.substr(0, colon);
  if (proxy.host.empty()) return std::nullopt;
  for (char c : proxy.host) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') return std::nullopt;
  }
  if (colon != std::string::npos) {
    const std::string port = text.substr(colon + 1);
    if (port.empty() || port.size() > 5) return std::nullopt;
    unsigned long value = 0;
    for (char c : port) {
      if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
      value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (value < 1 || value > 65535) return std::nullopt;
    proxy.port = static_cast<std::uint16_t>(value);
  }
  return proxy;
}

// A "*" pattern against a host, ignoring case.
bool Matches(std::string_view pattern, std::string_view host) {
  if (pattern.empty()) return host.empty();
  if (pattern.front() == '*') {
    for (std::size_t skip = 0; skip <= host.size(); ++skip) {
      if (Matches(pattern.substr(1), host.substr(skip))) return true;
    }
    return false;
  }
  return !host.empty() && std::tolower(static_cast<unsigned char>(pattern.front())) ==
                              std::tolower(static_cast<unsigned char>(host.front())) &&
         Matches(pattern.substr(1), host.substr(1));
}

bool IsLoopback(std::string_view host) {
  const std::string lower = Lower(host);
  return lower == "localhost" || lower.rfind("127.", 0) == 0 || lower == "::1" || lower == "[::1]";
}

}  // namespace

std::optional<Proxy> HttpProxyOf(std::string_view list) {
  for (std::string entry : Entries(list)) {
    const std::string lower = Lower(entry);
    if (lower == "direct") return std::nullopt;  // a PAC answer that says go direct
    if (lower == "proxy" || lower == "http") continue;  // "PROXY host:port" comes as two entries
    const auto equals = entry.find('=');
    if (equals != std::string::npos) {
      if (Lower(entry.substr(0, equals)) != "http") continue;  // another scheme's proxy
      entry = entry.substr(equals + 1);
    }
    return HostPortOf(entry);
  }
  return std::nullopt;
}

bool Bypasses(std::string_view bypassList, std::string_view host) {
  bool loopbackToo = false;
  for (const std::string& entry : Entries(bypassList)) {
    const std::string lower = Lower(entry);
    if (lower == "<-loopback>") {
      loopbackToo = true;
    } else if (lower == "<local>") {
      if (host.find('.') == std::string_view::npos && host.find(':') == std::string_view::npos) return true;
    } else if (Matches(lower, host)) {
      return true;
    }
  }
  return IsLoopback(host) && !loopbackToo;
}

std::optional<Proxy> ChooseProxy(const ProxySettings& settings, std::string_view host) {
  const std::string name = Trim(host);
  if (settings.automaticProxy) {
    if (Bypasses(settings.automaticBypass, name)) return std::nullopt;
    return HttpProxyOf(*settings.automaticProxy);
  }
  if (Trim(settings.fixedProxy).empty() || Bypasses(settings.fixedBypass, name)) return std::nullopt;
  return HttpProxyOf(settings.fixedProxy);
}

}  // namespace pravonell::http
