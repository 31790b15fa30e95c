// Answering a proxy that asks who you are (407 Proxy Authentication
// Required).
//
// Negotiate and NTLM are answered with the security packages of the system
// (SSPI), first with the logged-on person's own credentials, which offices
// with a domain expect; Basic, or a logon session the proxy refuses, with a
// user and password the person is asked for once in the run (at most three
// times in all, when the proxy refuses them). What is typed stays in
// memory for this run only, is never written anywhere and never shown in a
// message. Negotiate is preferred, then NTLM, then Basic.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/error.h"

namespace pravonell::http {

enum class AuthScheme { Negotiate, Ntlm, Basic };

// The scheme's name as it goes into a header.
const char* SchemeName(AuthScheme scheme);

// One challenge of a 407: its scheme and, in the middle of a handshake, the
// proxy's token (decoded).
struct Challenge {
  AuthScheme scheme;
  std::optional<std::string> token;
};

// The challenges of a 407's Proxy-Authenticate headers that this client
// speaks (others are passed over), in the order they came. A token that is
// not base64 makes its challenge unreadable: Error.
std::vector<Challenge> ChallengesOf(const std::vector<std::string>& headers);

// Negotiate, then NTLM, then Basic: the best of those offered.
std::optional<AuthScheme> Preferred(const std::vector<Challenge>& challenges);

std::string Base64Of(std::string_view bytes);
std::optional<std::string> FromBase64(std::string_view text);

// What the person typed for the proxy: "DOMÍNIO\usuário" (or a user alone,
// or user@domain) and the password. Wiped when it goes.
struct Credentials {
  std::wstring domain;
  std::wstring user;
  std::wstring password;

  Credentials() = default;
  Credentials(const Credentials&) = default;
  Credentials& operator=(const Credentials&) = default;
  ~Credentials();
  // The user as typed, for Basic: "DOMÍNIO\usuário".
  std::wstring Typed() const { return domain.empty() ? user : domain + L"\\" + user; }
};

// "DOMÍNIO\usuário" into its domain and user; a user alone has no domain.
Credentials CredentialsOf(const std::wstring& typedUser, const std::wstring& password);

// The security package refused to go on (no credentials in the logon
// session, a token it could not read, credentials it turned down).
class AuthRefused final : public Error {
 public:
  using Error::Error;
};

// The scheme cannot be answered on this system: its security package is
// not there, or will not take the credentials the person typed.
class AuthUnavailable final : public Error {
 public:
  using Error::Error;
};

// The proxy's authentication did not go through: it refused what was
// typed three times, asks for a scheme this client does not speak, or
// changed its scheme in the middle of a handshake.
class ProxyAuthError : public Error {
 public:
  using Error::Error;
};

// The person cancelled the prompt for the proxy's user and password.
class ProxyAuthCancelled final : public ProxyAuthError {
 public:
  using ProxyAuthError::ProxyAuthError;
};

// One handshake of Negotiate or NTLM on one connection (SSPI's security
// context).
class AuthHandshake {
 public:
  virtual ~AuthHandshake() = default;
  // The token to send, given the proxy's (nothing for the first leg).
  // Raises AuthRefused when the package will not go on.
  virtual std::string Next(const std::optional<std::string>& proxyToken) = 0;
};

// The port: the system's security packages.
class SecurityPackages {
 public:
  virtual ~SecurityPackages() = default;
  // A handshake for Negotiate or NTLM toward the target name
  // ("HTTP/proxy.host"), with the logon session's credentials when none are
  // given. Raises AuthUnavailable when the package is not on this system,
  // AuthRefused when it has no credentials to give.
  virtual std::unique_ptr<AuthHandshake> Begin(AuthScheme scheme, const std::wstring& target,
                                               const Credentials* credentials) = 0;
};

// The port: asking the person (a dialog of the window).
class CredentialsPrompt {
 public:
  virtual ~CredentialsPrompt() = default;
  // attempt: 1 the first time, 2 and 3 after the proxy refused what was
  // typed. Nothing when the person cancels.
  virtual std::optional<Credentials> Ask(const std::string& proxyHost, int attempt) = 0;
};

// What the run knows of the proxy's authentication, from one request to the
// next: the scheme it asks for, and the credentials that passed. The
// HttpClient asks it what to send after each 407.
class ProxyAuthenticator {
 public:
  static constexpr int kMostPrompts = 3;

  ProxyAuthenticator(SecurityPackages& packages, CredentialsPrompt& prompt) : packages_(packages), prompt_(prompt) {}

  // The Proxy-Authorization value to send with a request on a new
  // connection before any 407 (Basic once it passed; nothing else).
  std::optional<std::string> Preemptive() const;
  // A connection was made (or dropped): a handshake in progress is over.
  void NewConnection() {
    handshake_.reset();
    legs_ = 0;
    freshConnection_ = false;
  }
  // The answer to a 407 on this connection: the header value to send with
  // the request again. Raises ProxyAuthCancelled when the person cancels,
  // and Error when the proxy refused three times, asks for nothing this
  // client speaks, or changes its scheme in the middle of a handshake.
  std::string Answer(const std::string& proxyHost, const std::vector<std::string>& proxyAuthenticate);
  // The request went through: what was sent passed.
  void Passed();
  // A handshake is past its first leg: a proxy that closes the connection
  // now has forgotten it, and it starts over.
  bool MidHandshake() const { return handshake_ != nullptr && legs_ > 1; }
  // True once after this client gave up a handshake the proxy is still in
  // the middle of (the package would not take the proxy's challenge): the
  // next leg, a new handshake's first, goes on a new connection, as a proxy
  // takes no new handshake in the middle of one.
  bool NeedsFreshConnection() {
    const bool needs = freshConnection_;
    freshConnection_ = false;
    return needs;
  }
  // Forgets the scheme and what was typed (a new run).
  void Forget();

 private:
  std::string Start(const std::string& proxyHost, const std::vector<Challenge>& challenges);
  std::string BeginHandshake(const std::string& proxyHost);
  void AskThePerson(const std::string& proxyHost);

  SecurityPackages& packages_;
  CredentialsPrompt& prompt_;
  std::optional<AuthScheme> scheme_;
  std::unique_ptr<AuthHandshake> handshake_;  // on the current connection
  std::optional<Credentials> typed_;
  std::vector<AuthScheme> unavailable_;  // schemes this system could not answer, this run
  std::wstring unavailableWhy_;
  bool logonRefused_ = false;
  bool freshConnection_ = false;
  int legs_ = 0;             // tokens the handshake on this connection has sent
  bool sentBasic_ = false;   // the last request carried the typed Basic credentials
  bool basicPassed_ = false;
  int prompts_ = 0;
};

}  // namespace pravonell::http
