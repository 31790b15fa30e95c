#include "engine/http/cookies.h"

#include "engine/text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdint>
#include <cstdlib>

namespace pravonell::http {

namespace {

std::string Lower(std::string_view text) { return AsciiLower(text); }
std::string Trim(std::string_view text) { return TrimBlanks(text); }

// The folder part of a request path: "/a/b/c" gives "/a/b", "/x" gives "/".
std::string DefaultPath(const std::string& requestPath) {
  const std::string path = requestPath.substr(0, requestPath.find('?'));
  if (path.empty() || path[0] != '/') return "/";
  const auto last = path.rfind('/');
  return last == 0 ? "/" : path.substr(0, last);
}

// An address, not a name: four dotted numbers, or anything with a colon (IPv6).
bool IsIpAddress(const std::string& host) {
  if (host.find(':') != std::string::npos) return true;
  int parts = 0;
  std::size_t start = 0;
  for (;;) {
    const auto dot = host.find('.', start);
    const std::string part = host.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    if (part.empty() || part.size() > 3 || part.find_first_not_of("0123456789") != std::string::npos) return false;
    ++parts;
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return parts == 4;
}

bool DomainMatches(const std::string& host, const std::string& domain) {
  if (host == domain) return true;
  // An address has no parent domains: "0.0.1" is no domain of 127.0.0.1.
  if (IsIpAddress(host)) return false;
  return host.size() > domain.size() &&
         host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
         host[host.size() - domain.size() - 1] == '.';
}

bool PathMatches(const std::string& requestPath, const std::string& cookiePath) {
  if (requestPath.compare(0, cookiePath.size(), cookiePath) != 0) return false;
  return requestPath.size() == cookiePath.size() || cookiePath.back() == '/' ||
         requestPath[cookiePath.size()] == '/';
}

// A run of up to `most` decimal digits, or -1: large numbers from a server
// must not overflow anything.
int SmallNumber(const std::string& text, std::size_t most) {
  if (text.empty() || text.size() > most) return -1;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

// "Wed, 21 Oct 2015 07:28:00 GMT" (and the older forms with dashes). Fields
// out of their ranges make the date unreadable, and the attribute is ignored.
bool ParseHttpDate(const std::string& text, std::int64_t& secondsSinceEpoch) {
  static const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                  "jul", "aug", "sep", "oct", "nov", "dec"};
  int day = -1, year = -1, month = -1, hour = -1, minute = -1, second = -1;
  std::string token;
  auto take = [&](const std::string& t) {
    if (t.empty()) return;
    if (hour < 0 && t.find(':') != std::string::npos) {
      const auto first = t.find(':'), last = t.rfind(':');
      if (first == last) return;
      hour = SmallNumber(t.substr(0, first), 2);
      minute = SmallNumber(t.substr(first + 1, last - first - 1), 2);
      second = SmallNumber(t.substr(last + 1), 2);
      if (hour < 0 || minute < 0 || second < 0) hour = 99;  // unreadable: fails below
    } else if (std::isdigit(static_cast<unsigned char>(t[0]))) {
      if (day < 0 && t.size() <= 2) {
        day = SmallNumber(t, 2);
      } else if (year < 0) {
        const int n = SmallNumber(t, 4);
        year = n < 0 ? 0 : n < 70 && t.size() <= 2 ? n + 2000 : n < 100 && t.size() <= 2 ? n + 1900 : n;
      }
    } else if (month < 0) {
      const std::string l = Lower(t.substr(0, 3));
      for (int i = 0; i < 12; ++i) {
        if (l == kMonths[i]) month = i;
      }
    }
  };
  for (char c : text) {
    if (c == ' ' || c == ',' || c == '-') {
      take(token);
      token.clear();
    } else {
      token += c;
    }
  }
  take(token);
  if (day < 1 || day > 31 || month < 0 || year < 1601 || hour < 0 || hour > 23 || minute > 59 ||
      second > 60) {
    return false;
  }
  // Days since the epoch by the days-from-civil rule (months counted from
  // March), without the C library's time zone.
  const int y = month < 2 ? year - 1 : year;
  const int era = y / 400;
  const int yoe = y - era * 400;
  const int mp = (month + 10) % 12;  // month is 0 for January
  const int doy = (153 * mp + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t days = static_cast<std::int64_t>(era) * 146097 + doe - 719468;
  secondsSinceEpoch = days * 86400 + hour * 3600 + minute * 60 + second;
  return true;
}

// A cookie lives at most 400 days from now, whatever the server says; an
// expiry in the past is kept as near as that too. Both keep the clock's
// arithmetic far from overflowing.
constexpr std::int64_t kLongestLifetime = 400LL * 86400;

CookieJar::Clock::time_point ExpiryIn(CookieJar::Clock::time_point now, std::int64_t seconds) {
  return now + std::chrono::seconds(std::clamp(seconds, -kLongestLifetime, kLongestLifetime));
}

}  // namespace

void CookieJar::Store(const std::vector<std::string>& setCookies, const std::string& host,
                      const std::string& requestPath, Clock::time_point now) {
  const std::string requestHost = Lower(host);
  for (const std::string& header : setCookies) {
    const auto semicolon = header.find(';');
    const std::string pair = header.substr(0, semicolon);
    const auto equals = pair.find('=');
    if (equals == std::string::npos) continue;
    Cookie cookie;
    cookie.name = Trim(pair.substr(0, equals));
    cookie.value = Trim(pair.substr(equals + 1));
    if (cookie.name.empty()) continue;
    cookie.domain = requestHost;
    cookie.path = DefaultPath(requestPath);
    bool remove = false, haveMaxAge = false;

    std::size_t at = semicolon;
    while (at != std::string::npos) {
      const auto end = header.find(';', at + 1);
      const std::string attribute = header.substr(at + 1, end == std::string::npos ? end : end - at - 1);
      at = end;
      const auto eq = attribute.find('=');
      const std::string key = Lower(Trim(attribute.substr(0, eq)));
      const std::string value = eq == std::string::npos ? "" : Trim(attribute.substr(eq + 1));
      if (key == "domain" && !value.empty()) {
        std::string domain = Lower(value);
        if (domain[0] == '.') domain.erase(0, 1);
        if (!DomainMatches(requestHost, domain)) cookie.name.clear();  // another site's: refused
        cookie.domain = domain;
        cookie.hostOnly = false;
      } else if (key == "path" && !value.empty() && value[0] == '/') {
        cookie.path = value;
      } else if (key == "secure") {
        cookie.secure = true;
      } else if (key == "max-age") {
        // An optional minus, then digits; more digits than any lifetime needs
        // simply mean "as long as allowed".
        const bool negative = !value.empty() && value[0] == '-';
        const std::string digits = value.substr(negative ? 1 : 0);
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) {
          continue;  // not a number: ignored
        }
        haveMaxAge = true;
        const std::int64_t seconds =
            digits.size() > 12 ? kLongestLifetime : std::stoll(digits);
        if (negative || seconds == 0) remove = true;
        cookie.expires = true;
        cookie.expiry = ExpiryIn(now, seconds);
      } else if (key == "expires" && !haveMaxAge) {
        std::int64_t when = 0;
        if (ParseHttpDate(value, when)) {
          const std::int64_t nowSeconds =
              std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
          cookie.expires = true;
          cookie.expiry = ExpiryIn(now, when - nowSeconds);
          if (when <= nowSeconds) remove = true;
        }
      }
    }
    if (cookie.name.empty()) continue;

    auto same = std::find_if(cookies_.begin(), cookies_.end(), [&](const Cookie& c) {
      return c.name == cookie.name && c.domain == cookie.domain && c.path == cookie.path;
    });
    if (remove) {
      if (same != cookies_.end()) cookies_.erase(same);
      continue;
    }
    if (same != cookies_.end()) {
      cookie.order = same->order;  // a replaced cookie keeps its place
      *same = cookie;
    } else {
      cookie.order = next_++;
      cookies_.push_back(cookie);
    }
  }
}

std::string CookieJar::HeaderFor(const std::string& host, const std::string& path,
                                 Clock::time_point now) const {
  const std::string requestHost = Lower(host);
  const std::string requestPath = path.substr(0, path.find('?'));
  std::vector<const Cookie*> matching;
  for (const Cookie& cookie : cookies_) {
    if (cookie.secure) continue;  // never over plain HTTP
    if (cookie.expires && cookie.expiry <= now) continue;
    const bool hostOk = cookie.hostOnly ? requestHost == cookie.domain
                                        : DomainMatches(requestHost, cookie.domain);
    if (hostOk && PathMatches(requestPath, cookie.path)) matching.push_back(&cookie);
  }
  // Longer paths first, then the older cookie first.
  std::stable_sort(matching.begin(), matching.end(), [](const Cookie* a, const Cookie* b) {
    if (a->path.size() != b->path.size()) return a->path.size() > b->path.size();
    return a->order < b->order;
  });
  std::string header;
  for (const Cookie* cookie : matching) {
    if (!header.empty()) header += "; ";
    header += cookie->name + "=" + cookie->value;
  }
  return header;
}

}  // namespace pravonell::http
