#include "platform/win32/win_sspi.h"

#include <windows.h>
#define SECURITY_WIN32
#include <security.h>
#include <sspi.h>

#include <cwchar>
#include <vector>

#include "platform/win32/system_library.h"
#include "platform/win32/win_text.h"

namespace pravonell::win32 {

namespace {

// secur32.dll is not among the KnownDLLs: its functions come from the
// system folder's copy.
struct Sspi {
  ACQUIRE_CREDENTIALS_HANDLE_FN_W acquire = nullptr;
  INITIALIZE_SECURITY_CONTEXT_FN_W initialize = nullptr;
  COMPLETE_AUTH_TOKEN_FN complete = nullptr;
  DELETE_SECURITY_CONTEXT_FN deleteContext = nullptr;
  FREE_CREDENTIALS_HANDLE_FN freeCredentials = nullptr;
  FREE_CONTEXT_BUFFER_FN freeBuffer = nullptr;
  bool Complete() const { return acquire && initialize && complete && deleteContext && freeCredentials && freeBuffer; }
};

const Sspi& Functions() {
  static const Sspi functions = [] {
    Sspi f;
    const wchar_t* dll = L"secur32.dll";
    f.acquire = SystemFunctionAs<ACQUIRE_CREDENTIALS_HANDLE_FN_W>(dll, "AcquireCredentialsHandleW");
    f.initialize = SystemFunctionAs<INITIALIZE_SECURITY_CONTEXT_FN_W>(dll, "InitializeSecurityContextW");
    f.complete = SystemFunctionAs<COMPLETE_AUTH_TOKEN_FN>(dll, "CompleteAuthToken");
    f.deleteContext = SystemFunctionAs<DELETE_SECURITY_CONTEXT_FN>(dll, "DeleteSecurityContext");
    f.freeCredentials = SystemFunctionAs<FREE_CREDENTIALS_HANDLE_FN>(dll, "FreeCredentialsHandle");
    f.freeBuffer = SystemFunctionAs<FREE_CONTEXT_BUFFER_FN>(dll, "FreeContextBuffer");
    return f;
  }();
  return functions;
}

// The system's text for a status, and its code (which is all there is for
// the codes a package returns without a text of their own).
std::wstring StatusText(SECURITY_STATUS status) {
  wchar_t code[16];
  swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(status));
  const std::wstring text = SystemMessage(static_cast<unsigned long>(status));
  if (text.rfind(L"System error ", 0) == 0) return std::wstring(L"código ") + code;
  return text + L", código " + code;
}

class Handshake final : public http::AuthHandshake {
 public:
  Handshake(CredHandle credentials, std::wstring package, std::wstring target)
      : credentials_(credentials), package_(std::move(package)), target_(std::move(target)) {}
  ~Handshake() override {
    if (haveContext_) Functions().deleteContext(&context_);
    Functions().freeCredentials(&credentials_);
  }

  std::string Next(const std::optional<std::string>& proxyToken) override {
    const Sspi& f = Functions();
    std::vector<char> in(proxyToken ? proxyToken->begin() : std::string::const_iterator{},
                         proxyToken ? proxyToken->end() : std::string::const_iterator{});
    SecBuffer inBuffer{static_cast<unsigned long>(in.size()), SECBUFFER_TOKEN, in.data()};
    SecBufferDesc inDesc{SECBUFFER_VERSION, 1, &inBuffer};
    SecBuffer outBuffer{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &outBuffer};
    unsigned long attributes = 0;
    TimeStamp expiry{};
    const SECURITY_STATUS status =
        f.initialize(&credentials_, haveContext_ ? &context_ : nullptr, const_cast<wchar_t*>(target_.c_str()),
                     ISC_REQ_CONNECTION | ISC_REQ_ALLOCATE_MEMORY, 0, SECURITY_NATIVE_DREP,
                     proxyToken ? &inDesc : nullptr, 0, &context_, &outDesc, &attributes, &expiry);
    if (status == SEC_I_COMPLETE_NEEDED || status == SEC_I_COMPLETE_AND_CONTINUE) f.complete(&context_, &outDesc);
    const bool going = status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED || status == SEC_I_COMPLETE_NEEDED ||
                       status == SEC_I_COMPLETE_AND_CONTINUE;
    if (going) haveContext_ = true;
    std::string token;
    if (outBuffer.pvBuffer != nullptr) {
      token.assign(static_cast<const char*>(outBuffer.pvBuffer), outBuffer.cbBuffer);
      f.freeBuffer(outBuffer.pvBuffer);
    }
    if (!going) throw http::AuthRefused(L"o pacote de segurança " + package_ + L" não pôde continuar: " + StatusText(status));
    return token;
  }

 private:
  CredHandle credentials_;
  CtxtHandle context_{};
  bool haveContext_ = false;
  std::wstring package_;
  std::wstring target_;
};

}  // namespace

std::unique_ptr<http::AuthHandshake> Win32SecurityPackages::Begin(http::AuthScheme scheme, const std::wstring& target,
                                                                   const http::Credentials* credentials) {
  const Sspi& f = Functions();
  if (!f.Complete()) {
    throw http::AuthUnavailable(L"as funções de segurança do Windows (secur32.dll) não estão disponíveis");
  }
  SEC_WINNT_AUTH_IDENTITY_W identity{};
  std::wstring user, domain, password;
  if (credentials != nullptr) {
    user = credentials->user;
    domain = credentials->domain;
    password = credentials->password;
    identity.User = reinterpret_cast<unsigned short*>(user.data());
    identity.UserLength = static_cast<unsigned long>(user.size());
    identity.Domain = reinterpret_cast<unsigned short*>(domain.data());
    identity.DomainLength = static_cast<unsigned long>(domain.size());
    identity.Password = reinterpret_cast<unsigned short*>(password.data());
    identity.PasswordLength = static_cast<unsigned long>(password.size());
    identity.Flags = SEC_WINNT_AUTH_IDENTITY_UNICODE;
  }
  CredHandle handle{};
  TimeStamp expiry{};
  wchar_t package[16];
  lstrcpynW(package, scheme == http::AuthScheme::Negotiate ? L"Negotiate" : L"NTLM", 16);
  const SECURITY_STATUS status = f.acquire(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr,
                                           credentials != nullptr ? &identity : nullptr, nullptr, nullptr, &handle,
                                           &expiry);
  // The password goes as soon as the package has it.
  SecureZeroMemory(password.data(), password.size() * sizeof(wchar_t));
  if (status == SEC_E_SECPKG_NOT_FOUND) {
    throw http::AuthUnavailable(L"o pacote de segurança " + std::wstring(package) + L" não está instalado: " +
                                StatusText(status));
  }
  if (status != SEC_E_OK) {
    throw http::AuthRefused(L"o pacote de segurança " + std::wstring(package) + L" não tem credenciais para o proxy: " +
                            StatusText(status));
  }
  return std::make_unique<Handshake>(handle, package, target);
}

}  // namespace pravonell::win32
