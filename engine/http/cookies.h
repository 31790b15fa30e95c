// Cookies that responses set, kept in memory for the client's lifetime and
// sent on later requests to which they apply.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace pravonell::http {

class CookieJar {
 public:
  using Clock = std::chrono::system_clock;

  // Takes the Set-Cookie values of a response to a request for host and path.
  void Store(const std::vector<std::string>& setCookies, const std::string& host,
             const std::string& requestPath, Clock::time_point now = Clock::now());

  // The Cookie header value for a plain-HTTP request, or "" when none applies.
  std::string HeaderFor(const std::string& host, const std::string& path,
                        Clock::time_point now = Clock::now()) const;

 private:
  struct Cookie {
    std::string name, value, domain, path;
    bool hostOnly = true;
    bool secure = false;
    bool expires = false;
    Clock::time_point expiry;
    unsigned long long order = 0;
  };
  std::vector<Cookie> cookies_;
  unsigned long long next_ = 0;
};

}  // namespace pravonell::http
