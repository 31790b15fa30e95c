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

bool IsNameCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
}

// "host", "host:port" or "[v6 address]:port", with an optional "http://" in
// front; nothing when the host is blank or holds anything but letters,
// digits, dots, dashes and underscores (hex digits and colons inside the
// brackets of an IPv6 address), or the port is not 1 to 65535.
std::optional<Proxy> HostPortOf(std::string text) {
  if (Lower(text).rfind("http://", 0) == 0) text.erase(0, 7);
  if (!text.empty() && text.back() == '/') text.pop_back();
  Proxy proxy;
  std::string port;
  bool hasPort = false;
  if (!text.empty() && text.front() == '[') {
    const auto close = text.find(']');
    if (close == std::string::npos) return std::nullopt;
    proxy.host = text.substr(1, close - 1);
    if (proxy.host.find(':') == std::string::npos) return std::nullopt;
    for (char c : proxy.host) {
      if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.') return std::nullopt;
    }
    const std::string rest = text.substr(close + 1);
    if (!rest.empty() && rest.front() != ':') return std::nullopt;
    hasPort = !rest.empty();
    if (hasPort) port = rest.substr(1);
  } else {
    const auto colon = text.find(':');
    proxy.host = text.substr(0, colon);
    for (char c : proxy.host) {
      if (!IsNameCharacter(c)) return std::nullopt;
    }
    hasPort = colon != std::string::npos;
    if (hasPort) port = text.substr(colon + 1);
  }
  if (proxy.host.empty()) return std::nullopt;
  if (hasPort) {
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

bool SameLetter(char a, char b) {
  return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

// Where the literal first appears in the host from `from` on, ignoring case.
std::size_t FindIgnoringCase(std::string_view host, std::string_view literal, std::size_t from) {
  for (std::size_t at = from; at + literal.size() <= host.size(); ++at) {
    if (std::equal(literal.begin(), literal.end(), host.begin() + static_cast<std::ptrdiff_t>(at), SameLetter)) {
      return at;
    }
  }
  return std::string_view::npos;
}

// A "*" pattern against a host, ignoring case. The pieces between the stars
// are found from left to right, each at its first place after the last:
// a pattern with many stars never makes the match go back and try again.
bool Matches(std::string_view pattern, std::string_view host) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  for (std::size_t star; (star = pattern.find('*', start)) != std::string_view::npos; start = star + 1) {
    pieces.push_back(pattern.substr(start, star - start));
  }
  pieces.push_back(pattern.substr(start));
  if (pieces.size() == 1) {
    return pattern.size() == host.size() && std::equal(pattern.begin(), pattern.end(), host.begin(), SameLetter);
  }
  const std::string_view first = pieces.front(), last = pieces.back();
  if (first.size() + last.size() > host.size()) return false;
  if (!std::equal(first.begin(), first.end(), host.begin(), SameLetter)) return false;
  if (!std::equal(last.begin(), last.end(), host.end() - static_cast<std::ptrdiff_t>(last.size()), SameLetter)) {
    return false;
  }
  std::size_t at = first.size();
  const std::size_t end = host.size() - last.size();
  for (std::size_t i = 1; i + 1 < pieces.size(); ++i) {
    const std::size_t found = FindIgnoringCase(host.substr(0, end), pieces[i], at);
    if (found == std::string_view::npos) return false;
    at = found + pieces[i].size();
  }
  return true;
}

bool IsLoopback(std::string_view host) {
  const std::string lower = Lower(host);
  return lower == "localhost" || lower.rfind("127.", 0) == 0 || lower == "::1" || lower == "[::1]";
}


// What a PAC answer's keyword says of the address after it.
enum class Keyword { None, Direct, Usable, Unusable };

Keyword KeywordOf(const std::string& token) {
  const std::string lower = Lower(token);
  if (lower == "direct") return Keyword::Direct;
  if (lower == "proxy" || lower == "http") return Keyword::Usable;
  // Kinds of proxy this client cannot speak through.
  if (lower == "socks" || lower == "socks4" || lower == "socks5" || lower == "https") return Keyword::Unusable;
  return Keyword::None;
}

}  // namespace

std::vector<std::optional<Proxy>> HttpProxiesOf(std::string_view list) {
  // Entries that can be used, in order: entries of other kinds ("SOCKS
  // s:1080", "https=h:443") and entries that cannot be read are passed over;
  // a DIRECT ends the list (it always works).
  std::vector<std::optional<Proxy>> proxies;
  const std::vector<std::string> tokens = Entries(list);
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    std::string entry = tokens[i];
    switch (KeywordOf(entry)) {
      case Keyword::Direct:
        proxies.push_back(std::nullopt);  // a PAC answer that says go direct
        return proxies;
      case Keyword::Unusable:
        ++i;  // and its address
        continue;
      case Keyword::Usable:
        if (++i >= tokens.size()) return proxies;
        entry = tokens[i];
        break;
      case Keyword::None:
        break;
    }
    const auto equals = entry.find('=');
    if (equals != std::string::npos) {
      if (Lower(entry.substr(0, equals)) != "http") continue;  // another scheme's proxy
      entry = entry.substr(equals + 1);
    }
    if (const std::optional<Proxy> proxy = HostPortOf(entry)) proxies.push_back(proxy);
  }
  return proxies;
}

std::optional<Proxy> HttpProxyOf(std::string_view list) {
  const std::vector<std::optional<Proxy>> proxies = HttpProxiesOf(list);
  return proxies.empty() ? std::nullopt : proxies.front();
}

bool Bypasses(std::string_view bypassList, std::string_view host, std::uint16_t port) {
  bool loopbackToo = false;
  for (const std::string& entry : Entries(bypassList)) {
    std::string lower = Lower(entry);
    if (lower == "<-loopback>") {
      loopbackToo = true;
      continue;
    }
    if (lower == "<local>") {
      if (host.find('.') == std::string_view::npos && host.find(':') == std::string_view::npos) return true;
      continue;
    }
    // "[scheme://]host[:port]": an entry for another scheme is not this
    // URL's, and one with a port only that port's.
    if (const auto scheme = lower.find("://"); scheme != std::string::npos) {
      if (lower.substr(0, scheme) != "http") continue;
      lower = lower.substr(scheme + 3);
    }
    if (const auto colon = lower.rfind(':');
        colon != std::string::npos && lower.find(']', colon) == std::string::npos && lower.front() != '[' &&
        lower.find(':') == colon) {
      const std::string digits = lower.substr(colon + 1);
      lower = lower.substr(0, colon);
      if (digits != "*" && digits != std::to_string(port)) continue;
    }
    if (Matches(lower, host)) return true;
  }
  return IsLoopback(host) && !loopbackToo;
}

std::vector<std::optional<Proxy>> ChooseProxies(const ProxySettings& settings, std::string_view host,
                                                std::uint16_t port) {
  const std::string name = Trim(host);
  std::vector<std::optional<Proxy>> proxies;
  if (settings.automaticProxy) {
    if (!Bypasses(settings.automaticBypass, name, port)) proxies = HttpProxiesOf(*settings.automaticProxy);
  } else if (!Trim(settings.fixedProxy).empty() && !Bypasses(settings.fixedBypass, name, port)) {
    proxies = HttpProxiesOf(settings.fixedProxy);
  }
  if (proxies.empty()) proxies.push_back(std::nullopt);
  return proxies;
}

std::optional<Proxy> ChooseProxy(const ProxySettings& settings, std::string_view host, std::uint16_t port) {
  return ChooseProxies(settings, host, port).front();
}

}  // namespace pravonell::http
