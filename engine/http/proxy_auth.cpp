#include "engine/http/proxy_auth.h"

#include <algorithm>

#include "engine/text.h"

namespace pravonell::http {

namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::optional<AuthScheme> SchemeOf(std::string_view name) {
  if (EqualsIgnoringCase(name, "Negotiate")) return AuthScheme::Negotiate;
  if (EqualsIgnoringCase(name, "NTLM")) return AuthScheme::Ntlm;
  if (EqualsIgnoringCase(name, "Basic")) return AuthScheme::Basic;
  return std::nullopt;
}

int Rank(AuthScheme scheme) {
  switch (scheme) {
    case AuthScheme::Negotiate: return 0;
    case AuthScheme::Ntlm: return 1;
    case AuthScheme::Basic: return 2;
  }
  return 3;
}

std::wstring Wide(const std::string& ascii) { return WidenLatin1(ascii); }

void Wipe(std::wstring& text) {
  volatile wchar_t* at = text.data();
  for (std::size_t i = 0; i < text.size(); ++i) at[i] = L'\0';
  text.clear();
}

void Wipe(std::string& text) {
  volatile char* at = text.data();
  for (std::size_t i = 0; i < text.size(); ++i) at[i] = '\0';
  text.clear();
}

}  // namespace

const char* SchemeName(AuthScheme scheme) {
  switch (scheme) {
    case AuthScheme::Negotiate: return "Negotiate";
    case AuthScheme::Ntlm: return "NTLM";
    case AuthScheme::Basic: return "Basic";
  }
  return "";
}

std::string Base64Of(std::string_view bytes) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const auto b = [&](std::size_t k) { return k < bytes.size() ? static_cast<unsigned char>(bytes[k]) : 0u; };
    const unsigned value = (b(i) << 16) | (b(i + 1) << 8) | b(i + 2);
    text += kBase64[(value >> 18) & 63];
    text += kBase64[(value >> 12) & 63];
    text += i + 1 < bytes.size() ? kBase64[(value >> 6) & 63] : '=';
    text += i + 2 < bytes.size() ? kBase64[value & 63] : '=';
  }
  return text;
}

std::optional<std::string> FromBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); i += 4) {
    unsigned value = 0;
    int padding = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const char c = text[i + k];
      unsigned digit = 0;
      if (c == '=') {
        // Padding only at the very end, and never more than two.
        if (i + 4 != text.size() || k < 2) return std::nullopt;
        ++padding;
      } else {
        if (padding > 0) return std::nullopt;
        const char* found = std::find(kBase64, kBase64 + 64, c);
        if (found == kBase64 + 64) return std::nullopt;
        digit = static_cast<unsigned>(found - kBase64);
      }
      value = (value << 6) | digit;
    }
    bytes += static_cast<char>((value >> 16) & 0xFF);
    if (padding < 2) bytes += static_cast<char>((value >> 8) & 0xFF);
    if (padding < 1) bytes += static_cast<char>(value & 0xFF);
  }
  return bytes;
}

// A header's list, split at the commas that are not inside quotes.
std::vector<std::string> Parts(const std::string& header) {
  std::vector<std::string> parts;
  std::string part;
  bool quoted = false;
  for (char c : header) {
    if (c == '"') quoted = !quoted;
    if (c == ',' && !quoted) {
      parts.push_back(TrimBlanks(part));
      part.clear();
    } else {
      part += c;
    }
  }
  parts.push_back(TrimBlanks(part));
  return parts;
}

std::vector<Challenge> ChallengesOf(const std::vector<std::string>& headers) {
  // Each challenge is a scheme, then a token (Negotiate, NTLM) or
  // parameters (Basic's realm="..."); a part of the list with '=' in its
  // first word is a parameter of the challenge before it.
  std::vector<Challenge> challenges;
  for (const std::string& header : headers) {
    for (const std::string& part : Parts(header)) {
      if (part.empty()) continue;
      const auto space = part.find(' ');
      const std::string word = part.substr(0, space);
      if (word.find('=') != std::string::npos) continue;  // a parameter
      const std::optional<AuthScheme> scheme = SchemeOf(word);
      if (!scheme) continue;  // a scheme this client does not speak
      Challenge challenge{*scheme, std::nullopt};
      const std::string rest = space == std::string::npos ? "" : TrimBlanks(part.substr(space + 1));
      if (*scheme != AuthScheme::Basic && !rest.empty()) {
        challenge.token = FromBase64(rest);
        if (!challenge.token) throw Error(L"The proxy's authentication token cannot be read.");
      }
      challenges.push_back(std::move(challenge));
    }
  }
  return challenges;
}

std::optional<AuthScheme> Preferred(const std::vector<Challenge>& challenges) {
  std::optional<AuthScheme> best;
  for (const Challenge& challenge : challenges) {
    if (!best || Rank(challenge.scheme) < Rank(*best)) best = challenge.scheme;
  }
  return best;
}

Credentials::~Credentials() { Wipe(password); }

Credentials CredentialsOf(const std::wstring& typedUser, const std::wstring& password) {
  Credentials credentials;
  const auto slash = typedUser.find(L'\\');
  if (slash != std::wstring::npos) {
    credentials.domain = typedUser.substr(0, slash);
    credentials.user = typedUser.substr(slash + 1);
  } else {
    credentials.user = typedUser;
  }
  credentials.password = password;
  return credentials;
}

std::optional<std::string> ProxyAuthenticator::Preemptive() const {
  if (!basicPassed_ || !typed_) return std::nullopt;
  std::string pair = Utf8Of(typed_->Typed() + L":" + typed_->password);
  const std::string value = std::string("Basic ") + Base64Of(pair);
  Wipe(pair);
  return value;
}

void ProxyAuthenticator::Forget() {
  scheme_.reset();
  handshake_.reset();
  legs_ = 0;
  typed_.reset();
  logonRefused_ = false;
  freshConnection_ = false;
  unavailable_.clear();
  unavailableWhy_.clear();
  sentBasic_ = false;
  basicPassed_ = false;
  prompts_ = 0;
}

void ProxyAuthenticator::Passed() {
  if (sentBasic_) basicPassed_ = true;
  sentBasic_ = false;
}

void ProxyAuthenticator::AskThePerson(const std::string& proxyHost) {
  if (prompts_ >= kMostPrompts) {
    throw ProxyAuthError(L"O proxy " + Wide(proxyHost) +
                L" recusou o usuário e a senha informados. Confira-os com o responsável pela rede e execute o "
                L"Pravonell novamente.");
  }
  ++prompts_;
  std::optional<Credentials> answer = prompt_.Ask(proxyHost, prompts_);
  if (!answer) {
    throw ProxyAuthCancelled(L"A autenticação no proxy foi cancelada. O que já foi baixado está guardado: execute "
                             L"o Pravonell novamente para continuar.");
  }
  typed_ = std::move(answer);
}

std::string ProxyAuthenticator::BeginHandshake(const std::string& proxyHost) {
  const std::wstring target = L"HTTP/" + Wide(proxyHost);
  // First the logon session, as a domain's proxy expects; then, once it is
  // refused (or there is none), what the person types. A package that is
  // not on this system raises AuthUnavailable through both.
  if (!typed_ && !logonRefused_) {
    try {
      handshake_ = packages_.Begin(*scheme_, target, nullptr);
      legs_ = 1;
      return std::string(SchemeName(*scheme_)) + " " + Base64Of(handshake_->Next(std::nullopt));
    } catch (const AuthRefused&) {
      handshake_.reset();
      logonRefused_ = true;
    }
  }
  if (!typed_) AskThePerson(proxyHost);
  try {
    handshake_ = packages_.Begin(*scheme_, target, &*typed_);
    legs_ = 1;
    return std::string(SchemeName(*scheme_)) + " " + Base64Of(handshake_->Next(std::nullopt));
  } catch (const AuthRefused& refused) {
    // Nothing went to the proxy yet: the package itself will not take what
    // was typed, and asking again would not change that.
    handshake_.reset();
    throw AuthUnavailable(refused.message());
  }
}

std::string ProxyAuthenticator::Start(const std::string& proxyHost, const std::vector<Challenge>& challenges) {
  for (;;) {
    std::vector<Challenge> usable;
    for (const Challenge& c : challenges) {
      if (std::find(unavailable_.begin(), unavailable_.end(), c.scheme) == unavailable_.end()) usable.push_back(c);
    }
    const std::optional<AuthScheme> offered = Preferred(usable);
    if (!offered && !unavailable_.empty()) {
      throw ProxyAuthError(L"O proxy " + Wide(proxyHost) + L" pede a autenticação " +
                           Wide(SchemeName(unavailable_.back())) + L", que este computador não conseguiu fazer (" +
                           unavailableWhy_ +
                           L"). Peça ao responsável pela rede que ative no proxy a autenticação Basic ou libere o "
                           L"acesso do Pravonell.");
    }
    if (!offered) {
      throw ProxyAuthError(L"O proxy " + Wide(proxyHost) +
                           L" pede um tipo de autenticação que o Pravonell não conhece.");
    }
    // The scheme the proxy asks for, the best of those offered (kept while
    // the proxy still offers it).
    const bool stillOffered = scheme_ && std::any_of(usable.begin(), usable.end(), [&](const Challenge& c) {
                                return c.scheme == *scheme_;
                              });
    if (!stillOffered) scheme_ = offered;
    if (*scheme_ == AuthScheme::Basic) {
      if (!typed_) AskThePerson(proxyHost);
      sentBasic_ = true;
      std::string pair = Utf8Of(typed_->Typed() + L":" + typed_->password);
      const std::string value = std::string("Basic ") + Base64Of(pair);
      Wipe(pair);
      return value;
    }
    try {
      return BeginHandshake(proxyHost);
    } catch (const AuthUnavailable& unavailable) {
      // The next of the schemes offered, with what was typed, if anything.
      unavailable_.push_back(*scheme_);
      unavailableWhy_ = unavailable.message();
      scheme_.reset();
    }
  }
}

std::string ProxyAuthenticator::Answer(const std::string& proxyHost, const std::vector<std::string>& headers) {
  const std::vector<Challenge> challenges = ChallengesOf(headers);

  if (handshake_) {
    // In the middle of a handshake on this connection.
    const auto ours = std::find_if(challenges.begin(), challenges.end(),
                                   [&](const Challenge& c) { return c.scheme == *scheme_; });
    if (ours == challenges.end()) {
      throw ProxyAuthError(L"O proxy " + Wide(proxyHost) + L" mudou o tipo de autenticação no meio da conversa.");
    }
    if (ours->token) {
      try {
        ++legs_;
        return std::string(SchemeName(*scheme_)) + " " + Base64Of(handshake_->Next(ours->token));
      } catch (const AuthRefused&) {
        // The package will not go on with what the proxy sent: as refused,
        // and the proxy, waiting for the rest, is left on this connection.
        freshConnection_ = true;
      }
    }
    // The proxy refused what the handshake sent: the logon session's
    // credentials, or what was typed.
    handshake_.reset();
    if (typed_) {
      typed_.reset();
    } else {
      logonRefused_ = true;
    }
    return Start(proxyHost, challenges);
  }

  if (sentBasic_) {
    // The user and password typed for Basic were refused.
    sentBasic_ = false;
    basicPassed_ = false;
    typed_.reset();
  }
  return Start(proxyHost, challenges);
}

}  // namespace pravonell::http
