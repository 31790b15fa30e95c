#include "engine/http/cookies.h"

#include <gtest/gtest.h>

namespace pravonell::http {
namespace {

using namespace std::chrono_literals;

const CookieJar::Clock::time_point kNow{std::chrono::seconds(1'800'000'000)};  // 2027

TEST(CookieJar, AppliesByHostPathAndLifetime) {
  CookieJar jar;
  jar.Store({"session=abc; Path=/; HttpOnly", "deep=1; Path=/uploads/download",
             "dir=2",  // default path: the request's folder, "/uploads/download/file/73"
             "wide=3; Domain=.varnisca.com.br; Path=/", "secure=4; Secure",
             "foreign=5; Domain=example.org", "short=6; Max-Age=60; Path=/"},
            "download.varnisca.com.br", "/uploads/download/file/73/quilmarde.ini", kNow);

  const struct {
    const char* host;
    const char* path;
    CookieJar::Clock::time_point when;
    const char* header;
  } rows[] = {
      {"download.varnisca.com.br", "/uploads/download/file/73/x", kNow,
       "dir=2; deep=1; session=abc; wide=3; short=6"},
      {"download.varnisca.com.br", "/uploads/downloads", kNow, "session=abc; wide=3; short=6"},
      {"DOWNLOAD.varnisca.com.br", "/", kNow + 61s, "session=abc; wide=3"},
      {"www.varnisca.com.br", "/users/sign_in", kNow, "wide=3"},
      {"varnisca.com.br.evil.example", "/", kNow, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.host) + row.path);
    EXPECT_EQ(jar.HeaderFor(row.host, row.path, row.when), row.header);
  }
}

// An address has no parent domains: a Domain attribute from 127.0.0.1 other
// than the address itself is another site's, and is refused.
TEST(CookieJar, AnAddressIsNoDomain) {
  CookieJar jar;
  jar.Store({"suffix=1; Domain=0.0.1; Path=/", "same=2; Domain=127.0.0.1; Path=/", "plain=3; Path=/"}, "127.0.0.1",
            "/", kNow);
  EXPECT_EQ(jar.HeaderFor("127.0.0.1", "/", kNow), "same=2; plain=3");
  EXPECT_EQ(jar.HeaderFor("10.0.0.1", "/", kNow), "");
  // A name made of numbers and dots that is not four of them is still a name.
  CookieJar names;
  names.Store({"wide=1; Domain=example.1; Path=/"}, "www.example.1", "/", kNow);
  EXPECT_EQ(names.HeaderFor("a.example.1", "/", kNow), "wide=1");
}

TEST(CookieJar, LaterValuesReplaceAndPastExpiryRemoves) {
  CookieJar jar;
  jar.Store({"a=1", "b=2"}, "h", "/", kNow);
  jar.Store({"a=9"}, "h", "/", kNow);
  EXPECT_EQ(jar.HeaderFor("h", "/", kNow), "a=9; b=2");
  jar.Store({"a=gone; Expires=Thu, 01 Jan 1970 00:00:00 GMT"}, "h", "/", kNow);
  EXPECT_EQ(jar.HeaderFor("h", "/", kNow), "b=2");
  jar.Store({"b=; Max-Age=0"}, "h", "/", kNow);
  EXPECT_EQ(jar.HeaderFor("h", "/", kNow), "");
  jar.Store({"c=3; Expires=Wed, 21 Oct 2037 07:28:00 GMT"}, "h", "/", kNow);
  EXPECT_EQ(jar.HeaderFor("h", "/", kNow), "c=3");
}

TEST(CookieJar, ExpiresDatesAreReadToTheSecond) {
  const struct {
    const char* date;
    std::int64_t epoch;
  } rows[] = {
      {"Wed, 21 Oct 2015 07:28:00 GMT", 1445412480},
      {"Fri, 01 Mar 2024 00:00:00 GMT", 1709251200},
      {"Thu, 29 Feb 2024 00:00:00 GMT", 1709164800},
      {"Friday, 31-Dec-99 23:59:59 GMT", 946684799},
      {"Sun Jan  1 00:00:00 2034", 2019686400},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.date);
    const CookieJar::Clock::time_point at{std::chrono::seconds(row.epoch)};
    CookieJar jar;
    jar.Store({std::string("k=v; Expires=") + row.date}, "h", "/", at - 10s);
    EXPECT_EQ(jar.HeaderFor("h", "/", at - 1s), "k=v");
    EXPECT_EQ(jar.HeaderFor("h", "/", at), "");
  }
}

TEST(CookieJar, LifetimesFromTheServerAreBounded) {
  // Huge or malformed numbers must neither overflow nor live for ever.
  const struct {
    const char* attributes;
    bool kept;           // stored at all
    bool afterAYear;     // still sent 366 days later
    bool afterTwoYears;  // still sent 800 days later
  } rows[] = {
      {"Max-Age=36999999999", true, true, false},
      {"Max-Age=99999999999999999999999", true, true, false},
      {"Expires=Fri, 31 Dec 9999 23:59:59 GMT", true, true, false},
      {"Expires=Wed, 21 Oct 2015 99999999999:00:00 GMT", true, true, true},  // unreadable: no expiry
      {"Expires=Wed, 99999999999 Oct 2015 07:28:00 GMT", true, true, true},
      {"Max-Age=-5", false, false, false},
      {"Max-Age=soon", true, true, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.attributes);
    CookieJar jar;
    jar.Store({std::string("k=v; ") + row.attributes}, "h", "/", kNow);
    EXPECT_EQ(jar.HeaderFor("h", "/", kNow), row.kept ? "k=v" : "");
    EXPECT_EQ(jar.HeaderFor("h", "/", kNow + 366 * 24h), row.afterAYear ? "k=v" : "");
    EXPECT_EQ(jar.HeaderFor("h", "/", kNow + 800 * 24h), row.afterTwoYears ? "k=v" : "");
  }
}

TEST(CookieJar, IgnoresHeadersThatAreNotCookies) {
  CookieJar jar;
  jar.Store({"", "novalue", "=nameless", ";"}, "h", "/", kNow);
  EXPECT_EQ(jar.HeaderFor("h", "/", kNow), "");
}

}  // namespace
}  // namespace pravonell::http
