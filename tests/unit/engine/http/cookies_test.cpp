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

TEST(CookieJar, IgnoresHeadersThatAreNotCookies) {
  CookieJar jar;
  jar.Store({"", "novalue", "=nameless", ";"}, "h", "/", kNow);
  EXPECT_EQ(jar.HeaderFor("h", "/", kNow), "");
}

}  // namespace
}  // namespace pravonell::http
