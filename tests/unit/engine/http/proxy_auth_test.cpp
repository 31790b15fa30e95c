// A proxy that asks who you are, answered by the HTTP client: the handshake
// against a fake of the system's security packages and a scripted proxy on
// loopback, and the person's prompt.
#include "engine/http/proxy_auth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>

#include "engine/http/http_client.h"
#include "platform/posix/posix_network.h"
#include "tests/fakes/recording_events.h"
#include "tests/fakes/text.h"
#include "tests/server/test_server.h"

namespace pravonell::testing {
namespace {

using http::AuthScheme;
using testserver::Reply;
using testserver::Request;
using testserver::Respond;
using testserver::Server;

// Tokens the fake package makes: "<scheme>/<who>/<leg>" and, after the
// first leg, "<- <the proxy's token>".
class FakePackages final : public http::SecurityPackages {
 public:
  std::vector<std::string> log;
  bool logonRefused = false;                // no credentials in the logon session
  std::vector<AuthScheme> missing;          // packages not on this system
  std::vector<AuthScheme> typedRefused;     // packages that will not take typed credentials
  bool logonGivesUp = false;                // the logon session's handshake stops at the challenge

  std::unique_ptr<http::AuthHandshake> Begin(AuthScheme scheme, const std::wstring& target,
                                             const http::Credentials* credentials) override {
    const std::string who = credentials == nullptr ? "logon" : Utf8(credentials->Typed()) + ":" + Utf8(credentials->password);
    log.push_back(std::string("begin ") + http::SchemeName(scheme) + " " + Utf8(target) + " as " + who);
    if (std::find(missing.begin(), missing.end(), scheme) != missing.end()) {
      throw http::AuthUnavailable(std::wstring(L"sem ") + WidenLatin1(http::SchemeName(scheme)));
    }
    if (credentials == nullptr && logonRefused) throw http::AuthRefused(L"no logon credentials");
    if (credentials != nullptr && std::find(typedRefused.begin(), typedRefused.end(), scheme) != typedRefused.end()) {
      throw http::AuthRefused(L"typed credentials refused");
    }
    return std::make_unique<Handshake>(std::string(http::SchemeName(scheme)) + "/" + who,
                                       credentials == nullptr && logonGivesUp);
  }

 private:
  class Handshake final : public http::AuthHandshake {
   public:
    Handshake(std::string name, bool givesUp) : name_(std::move(name)), givesUp_(givesUp) {}
    std::string Next(const std::optional<std::string>& proxyToken) override {
      if (proxyToken && givesUp_) throw http::AuthRefused(L"no password for the challenge");
      return name_ + "/" + std::to_string(++legs_) + (proxyToken ? " <- " + *proxyToken : "");
    }

   private:
    std::string name_;
    bool givesUp_;
    int legs_ = 0;
  };
};

class FakePrompt final : public http::CredentialsPrompt {
 public:
  std::vector<std::optional<std::pair<std::wstring, std::wstring>>> answers;  // nothing: cancel
  std::vector<int> asked;
  std::optional<http::Credentials> Ask(const std::string&, int attempt) override {
    asked.push_back(attempt);
    if (asked.size() > answers.size() || !answers[asked.size() - 1]) return std::nullopt;
    return http::CredentialsOf(answers[asked.size() - 1]->first, answers[asked.size() - 1]->second);
  }
};

std::string AuthorizationOf(const Request& request) {
  const auto at = request.head.find("\r\nProxy-Authorization: ");
  if (at == std::string::npos) return "";
  const auto start = at + 23;
  return request.head.substr(start, request.head.find("\r\n", start) - start);
}

// The token of a header value "Scheme <base64>", decoded.
std::string TokenOf(const std::string& value) {
  const auto space = value.find(' ');
  if (space == std::string::npos) return "";
  return http::FromBase64(value.substr(space + 1)).value_or("<not base64>");
}

Reply Challenge(const std::string& authenticate, bool close = false) {
  std::string head = "HTTP/1.1 407 Proxy Authentication Required\r\n" + authenticate +
                     "Content-Length: 19\r\n" + (close ? "Connection: close\r\n" : "") + "\r\n";
  Reply reply = Reply().Send(head + "<html>login</html>\n");
  return close ? reply.Close() : reply;
}

// What of the system's packages a row changes.
struct System {
  bool logonRefused = false;
  std::vector<AuthScheme> missing;
  std::vector<AuthScheme> typedRefused;
  bool logonGivesUp = false;
};

struct Row {
  const char* name;
  System system;
  std::vector<std::optional<std::pair<std::wstring, std::wstring>>> typed;
  // The proxy: what it answers to the n-th request (0-based), given what it carried.
  std::function<Reply(int n, const std::string& authorization, const std::string& token)> proxy;
  std::string error;                     // "" when the file came
  std::vector<std::string> sent;         // the Proxy-Authorization tokens, in order ("" for none)
  std::vector<int> asked;                // the prompts' attempts
  bool sameConnection;                   // every leg on one connection
  std::vector<int> connections = {};     // when given: the connection of each request
};

const std::string kNegotiate = "Proxy-Authenticate: Negotiate\r\n";
const std::string kNtlm = "Proxy-Authenticate: NTLM\r\n";
const std::string kBasic = "Proxy-Authenticate: Basic realm=\"Empresa, Matriz\"\r\n";

TEST(ProxyAuthentication, HandshakesPromptsAndRefusals) {
  const Row rows[] = {
      {"Negotiate with the logon session, preferred to NTLM and Basic", {}, {},
       [](int n, const std::string&, const std::string& token) {
         if (n == 0) return Challenge(kBasic + kNtlm + kNegotiate);
         if (n == 1 && token == "Negotiate/logon/1") return Challenge("Proxy-Authenticate: Negotiate " + http::Base64Of("s1") + "\r\n");
         if (n == 2 && token == "Negotiate/logon/2 <- s1") return Respond("200 OK", "file");
         return Respond("500 Bad Leg", "");
       },
       "", {"", "Negotiate/logon/1", "Negotiate/logon/2 <- s1"}, {}, true},
      {"NTLM in three legs", {}, {},
       [](int n, const std::string&, const std::string& token) {
         if (n == 0) return Challenge(kNtlm);
         if (n == 1 && token == "NTLM/logon/1") return Challenge("Proxy-Authenticate: NTLM " + http::Base64Of("type2") + "\r\n");
         if (n == 2 && token == "NTLM/logon/2 <- type2") return Respond("200 OK", "file");
         return Respond("500 Bad Leg", "");
       },
       "", {"", "NTLM/logon/1", "NTLM/logon/2 <- type2"}, {}, true},
      {"a proxy that closes after its first 407 (keep-alive off): the first leg on a new connection", {}, {},
       [](int n, const std::string&, const std::string& token) {
         if (n == 0) return Challenge(kNtlm, /*close=*/true);
         if (n == 1 && token == "NTLM/logon/1") return Challenge("Proxy-Authenticate: NTLM " + http::Base64Of("type2") + "\r\n");
         if (n == 2 && token == "NTLM/logon/2 <- type2") return Respond("200 OK", "file");
         return Respond("500 Bad Leg", "");
       },
       "", {"", "NTLM/logon/1", "NTLM/logon/2 <- type2"}, {}, false},
      {"a close in the middle of the handshake: it starts over on a new connection", {}, {},
       [](int n, const std::string&, const std::string& token) {
         if (n == 0) return Challenge(kNtlm);
         if (n == 1) return Challenge("Proxy-Authenticate: NTLM " + http::Base64Of("lost") + "\r\n", /*close=*/true);
         if (n == 2 && token == "NTLM/logon/1") return Challenge("Proxy-Authenticate: NTLM " + http::Base64Of("type2") + "\r\n");
         if (n == 3 && token == "NTLM/logon/2 <- type2") return Respond("200 OK", "file");
         return Respond("500 Bad Leg", "");
       },
       "", {"", "NTLM/logon/1", "NTLM/logon/1", "NTLM/logon/2 <- type2"}, {}, false},
      {"a scheme that changes between legs", {}, {},
       [](int n, const std::string&, const std::string&) {
         if (n == 0) return Challenge(kNtlm);
         return Challenge(kBasic);
       },
       "O proxy 127.0.0.1 mudou o tipo de autenticação no meio da conversa.", {"", "NTLM/logon/1"}, {}, true},
      {"Basic: asked once, the user with its domain", {}, {{{L"EMPRESA\\ana", L"s3nh@"}}},
       [](int n, const std::string& authorization, const std::string& token) {
         if (n == 0) return Challenge(kBasic);
         if (authorization.rfind("Basic ", 0) == 0 && token == "EMPRESA\\ana:s3nh@") return Respond("200 OK", "file");
         return Respond("500 Bad Leg", "");
       },
       "", {"", "EMPRESA\\ana:s3nh@"}, {1}, true},
      {"the logon session has no credentials: the person is asked, and NTLM goes on with them", {.logonRefused = true},
       {{{L"EMPRESA\\ana", L"x"}}},
       [](int n, const std::string&, const std::string& token) {
         if (n == 0) return Challenge(kNtlm);
         if (n == 1 && token == "NTLM/EMPRESA\\ana:x/1") return Challenge("Proxy-Authenticate: NTLM " + http::Base64Of("t2") + "\r\n");
         if (n == 2 && token == "NTLM/EMPRESA\\ana:x/2 <- t2") return Respond("200 OK", "file");
         return Respond("500 Bad Leg", "");
       },
       "", {"", "NTLM/EMPRESA\\ana:x/1", "NTLM/EMPRESA\\ana:x/2 <- t2"}, {1}, true},
      {"the proxy refuses the logon session: then what the person types", {}, {{{L"ana", L"certa"}}},
       [](int n, const std::string&, const std::string& token) {
         if (n == 0) return Challenge(kNtlm);
         if (token.rfind("NTLM/", 0) == 0 && token.find("/1") != std::string::npos) {
           return Challenge("Proxy-Authenticate: NTLM " + http::Base64Of("t2") + "\r\n");
         }
         if (token == "NTLM/logon/2 <- t2") return Challenge(kNtlm);  // refused
         if (token == "NTLM/ana:certa/2 <- t2") return Respond("200 OK", "file");
         return Respond("500 Bad Leg", "");
       },
       "", {"", "NTLM/logon/1", "NTLM/logon/2 <- t2", "NTLM/ana:certa/1", "NTLM/ana:certa/2 <- t2"}, {1}, true},
      {"a wrong password three times", {}, {{{L"ana", L"1"}}, {{L"ana", L"2"}}, {{L"ana", L"3"}}},
       [](int, const std::string&, const std::string&) { return Challenge(kBasic); },
       "O proxy 127.0.0.1 recusou o usuário e a senha informados. Confira-os com o responsável pela rede e execute o "
       "Pravonell novamente.",
       {"", "ana:1", "ana:2", "ana:3"}, {1, 2, 3}, true},
      {"a wrong password, then the right one", {}, {{{L"ana", L"errada"}}, {{L"ana", L"certa"}}},
       [](int, const std::string&, const std::string& token) {
         return token == "ana:certa" ? Respond("200 OK", "file") : Challenge(kBasic);
       },
       "", {"", "ana:errada", "ana:certa"}, {1, 2}, true},
      {"a cancel", {}, {std::nullopt},
       [](int, const std::string&, const std::string&) { return Challenge(kBasic); },
       "A autenticação no proxy foi cancelada. O que já foi baixado está guardado: execute o Pravonell novamente para "
       "continuar.",
       {""}, {1}, true},
      {"a scheme this client does not speak", {}, {},
       [](int, const std::string&, const std::string&) {
         return Challenge("Proxy-Authenticate: Digest realm=\"x\", nonce=\"abc\"\r\n");
       },
       "O proxy 127.0.0.1 pede um tipo de autenticação que o Pravonell não conhece.", {""}, {}, true},
      {"the logon session's package stops at the challenge (no password to answer it): the person is asked, "
       "and NTLM starts again on a new connection, as the proxy still waits for the rest on the first",
       {.logonGivesUp = true}, {{{L"EMPRESA\\ana", L"x"}}},
       [](int n, const std::string&, const std::string& token) {
         if (n == 0) return Challenge(kNtlm);
         if (n == 1 && token == "NTLM/logon/1") return Challenge("Proxy-Authenticate: NTLM " + http::Base64Of("t1") + "\r\n");
         if (n == 2 && token == "NTLM/EMPRESA\\ana:x/1") return Challenge("Proxy-Authenticate: NTLM " + http::Base64Of("t2") + "\r\n");
         if (n == 3 && token == "NTLM/EMPRESA\\ana:x/2 <- t2") return Respond("200 OK", "file");
         return Respond("500 Bad Leg", "");
       },
       "", {"", "NTLM/logon/1", "NTLM/EMPRESA\\ana:x/1", "NTLM/EMPRESA\\ana:x/2 <- t2"}, {1}, false, {0, 0, 1, 1}},
      {"NTLM is not on this system and the proxy offers Basic too: Basic, nobody asked twice",
       {.missing = {AuthScheme::Ntlm}}, {{{L"ana", L"certa"}}},
       [](int n, const std::string& authorization, const std::string& token) {
         if (n == 0) return Challenge(kNtlm + kBasic);
         if (authorization.rfind("Basic ", 0) == 0 && token == "ana:certa") return Respond("200 OK", "file");
         return Respond("500 Bad Leg", "");
       },
       "", {"", "ana:certa"}, {1}, true},
      {"the only scheme offered is not on this system: said, and nobody asked",
       {.missing = {AuthScheme::Ntlm}}, {{{L"ana", L"certa"}}},
       [](int, const std::string&, const std::string&) { return Challenge(kNtlm); },
       "O proxy 127.0.0.1 pede a autenticação NTLM, que este computador não conseguiu fazer (sem NTLM). Peça ao "
       "responsável pela rede que ative no proxy a autenticação Basic ou libere o acesso do Pravonell.",
       {""}, {}, true},
      {"Negotiate will not take what was typed: NTLM with it, asked once",
       {.logonRefused = true, .typedRefused = {AuthScheme::Negotiate}}, {{{L"EMPRESA\\ana", L"x"}}},
       [](int n, const std::string&, const std::string& token) {
         if (n == 0) return Challenge(kNegotiate + kNtlm);
         if (n == 1 && token == "NTLM/EMPRESA\\ana:x/1") return Challenge("Proxy-Authenticate: NTLM " + http::Base64Of("t2") + "\r\n");
         if (n == 2 && token == "NTLM/EMPRESA\\ana:x/2 <- t2") return Respond("200 OK", "file");
         return Respond("500 Bad Leg", "");
       },
       "", {"", "NTLM/EMPRESA\\ana:x/1", "NTLM/EMPRESA\\ana:x/2 <- t2"}, {1}, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::mutex lock;
    std::vector<std::string> sent;
    std::atomic<int> seen{0};
    Server proxy([&](const Request& request) {
      const std::string authorization = AuthorizationOf(request);
      const std::string token = TokenOf(authorization);
      {
        std::lock_guard guard(lock);
        sent.push_back(token);
      }
      return row.proxy(seen++, authorization, token);
    });
    FakePackages packages;
    packages.logonRefused = row.system.logonRefused;
    packages.missing = row.system.missing;
    packages.typedRefused = row.system.typedRefused;
    packages.logonGivesUp = row.system.logonGivesUp;
    FakePrompt prompt;
    prompt.answers = row.typed;
    http::ProxyAuthenticator authenticator(packages, prompt);
    CountingPump pump;
    StandardPauses clock;
    PumpedWaits waits(pump, clock);
    http::ClientOptions options;
    options.resumePausesMs = {};
    http::HttpClient client(std::make_shared<posix::PosixNetwork>(), pump, waits, options);
    client.UseProxyAuthentication(&authenticator);
    RecordingEvents events;
    MemoryFile file;
    std::string error;
    try {
      client.Get("vendor.test", 80, "/f", file, events, http::Proxy{"127.0.0.1", proxy.port()});
    } catch (const Error& e) {
      error = Utf8(e.message());
    }
    EXPECT_EQ(error, row.error);
    EXPECT_EQ(file.bytes, row.error.empty() ? "file" : "");
    EXPECT_EQ(Lines(sent), Lines(row.sent));
    EXPECT_EQ(prompt.asked, row.asked);
    if (row.sameConnection) {
      for (const Request& request : proxy.requests()) EXPECT_EQ(request.connection, 0) << request.head;
    }
    if (!row.connections.empty()) {
      std::vector<int> connections;
      for (const Request& request : proxy.requests()) connections.push_back(request.connection);
      EXPECT_EQ(connections, row.connections);
    }
    for (const Request& request : proxy.requests()) {
      EXPECT_EQ(request.head.rfind("GET http://vendor.test/f HTTP/1.1\r\n", 0), 0u) << request.head;
    }
    // No 407's body reached the file or the progress.
    for (const std::string& event : events.log) EXPECT_NE(event, "begin 19") << event;
  }
}

// What was typed serves every later request of the run (Basic goes along
// with each, unasked); a new run asks again.
TEST(ProxyAuthentication, WhatWasTypedServesTheRunAndOnlyIt) {
  std::vector<std::string> sent;
  std::mutex lock;
  Server proxy([&](const Request& request) {
    const std::string token = TokenOf(AuthorizationOf(request));
    std::lock_guard guard(lock);
    sent.push_back(token);
    return token == "ana:certa" ? Respond("200 OK", "file") : Challenge(kBasic);
  });
  FakePackages packages;
  FakePrompt prompt;
  prompt.answers = {{{L"ana", L"certa"}}, {{L"ana", L"certa"}}};
  http::ProxyAuthenticator authenticator(packages, prompt);
  CountingPump pump;
  StandardPauses clock;
  PumpedWaits waits(pump, clock);
  http::HttpClient client(std::make_shared<posix::PosixNetwork>(), pump, waits);
  client.UseProxyAuthentication(&authenticator);
  for (int i = 0; i < 3; ++i) {
    RecordingEvents events;
    MemoryFile file;
    client.Get("vendor.test", 80, "/f" + std::to_string(i), file, events, http::Proxy{"127.0.0.1", proxy.port()});
    EXPECT_EQ(file.bytes, "file");
  }
  EXPECT_EQ(Lines(sent), Lines({"", "ana:certa", "ana:certa", "ana:certa"}));
  EXPECT_EQ(prompt.asked, std::vector<int>{1});
  authenticator.Forget();  // the next run
  RecordingEvents events;
  MemoryFile file;
  client.Get("vendor.test", 80, "/again", file, events, http::Proxy{"127.0.0.1", proxy.port()});
  EXPECT_EQ(prompt.asked, (std::vector<int>{1, 1}));
}

TEST(ProxyAuthentication, ChallengesAndTokensAsProxiesWriteThem) {
  const struct {
    const char* name;
    std::vector<std::string> headers;
    std::vector<std::pair<AuthScheme, std::string>> challenges;  // token "" for none
  } rows[] = {
      {"one scheme a header", {"Negotiate", "NTLM", "Basic realm=\"proxy\""},
       {{AuthScheme::Negotiate, ""}, {AuthScheme::Ntlm, ""}, {AuthScheme::Basic, ""}}},
      {"several in one header, a realm with a comma", {"Basic realm=\"Empresa, Matriz\", NTLM, Digest nonce=\"a,b\""},
       {{AuthScheme::Basic, ""}, {AuthScheme::Ntlm, ""}}},
      {"a token", {"NTLM " + http::Base64Of(std::string("\x01\x02type2", 7))},
       {{AuthScheme::Ntlm, std::string("\x01\x02type2", 7)}}},
      {"names in any case", {"negotiate", "ntlm"}, {{AuthScheme::Negotiate, ""}, {AuthScheme::Ntlm, ""}}},
      {"only schemes not spoken here", {"Digest realm=\"x\"", "Bearer"}, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<http::Challenge> parsed = http::ChallengesOf(row.headers);
    ASSERT_EQ(parsed.size(), row.challenges.size());
    for (std::size_t i = 0; i < parsed.size(); ++i) {
      EXPECT_EQ(parsed[i].scheme, row.challenges[i].first);
      EXPECT_EQ(parsed[i].token.value_or(""), row.challenges[i].second);
    }
  }
  EXPECT_THROW(http::ChallengesOf({"NTLM not*base64"}), Error);
  EXPECT_EQ(http::Preferred(http::ChallengesOf({"Basic realm=\"x\"", "NTLM", "Negotiate"})), AuthScheme::Negotiate);
  for (const std::string& bytes : std::vector<std::string>{"", "a", "ab", "abc", "abcd", std::string("\0\xff\x80", 3)}) {
    EXPECT_EQ(http::FromBase64(http::Base64Of(bytes)), bytes);
  }
  for (const char* bad : {"abc", "ab=c", "a===", "====", "ab!d"}) EXPECT_FALSE(http::FromBase64(bad)) << bad;
  const http::Credentials split = http::CredentialsOf(L"DOMÍNIO\\usuário", L"p");
  EXPECT_EQ(split.domain, L"DOMÍNIO");
  EXPECT_EQ(split.user, L"usuário");
  EXPECT_EQ(http::CredentialsOf(L"ana", L"p").domain, L"");
}

}  // namespace
}  // namespace pravonell::testing
