#include "platform/win32/win_proxy.h"

#include <windows.h>
#include <winhttp.h>

#include "platform/win32/system_library.h"

namespace pravonell::win32 {

namespace {

// WinHTTP is not a KnownDLL: it comes from the system folder only.
constexpr const wchar_t* kWinHttp = L"winhttp.dll";

// Host names and proxy lists are ASCII; anything else becomes a character
// no host holds, so such an entry is refused rather than guessed at.
std::string Narrow(const wchar_t* text) {
  std::string narrow;
  for (; text != nullptr && *text != L'\0'; ++text) narrow += *text < 128 ? static_cast<char>(*text) : '?';
  return narrow;
}

// Strings WinHTTP hands over are the caller's to free with GlobalFree.
void Free(LPWSTR text) {
  if (text != nullptr) GlobalFree(text);
}

}  // namespace

http::ProxySettings WinHttpProxyLookup::SettingsFor(const std::string& url) {
  http::ProxySettings settings;
  const auto getIeConfig = SystemFunctionAs<decltype(&WinHttpGetIEProxyConfigForCurrentUser)>(
      kWinHttp, "WinHttpGetIEProxyConfigForCurrentUser");
  const auto open = SystemFunctionAs<decltype(&WinHttpOpen)>(kWinHttp, "WinHttpOpen");
  const auto setTimeouts = SystemFunctionAs<decltype(&WinHttpSetTimeouts)>(kWinHttp, "WinHttpSetTimeouts");
  const auto getProxyForUrl = SystemFunctionAs<decltype(&WinHttpGetProxyForUrl)>(kWinHttp, "WinHttpGetProxyForUrl");
  const auto closeHandle = SystemFunctionAs<decltype(&WinHttpCloseHandle)>(kWinHttp, "WinHttpCloseHandle");
  if (!getIeConfig || !open || !getProxyForUrl || !closeHandle) return settings;

  // Without settings of the user's own, Windows detects a proxy automatically.
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user{};
  if (!getIeConfig(&user)) user.fAutoDetect = TRUE;
  settings.fixedProxy = Narrow(user.lpszProxy);
  settings.fixedBypass = Narrow(user.lpszProxyBypass);

  if (user.fAutoDetect || user.lpszAutoConfigUrl != nullptr) {
    WINHTTP_AUTOPROXY_OPTIONS options{};
    if (user.fAutoDetect) {
      options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
      options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    if (user.lpszAutoConfigUrl != nullptr) {
      options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
      options.lpszAutoConfigUrl = user.lpszAutoConfigUrl;
    }
    options.fAutoLogonIfChallenged = TRUE;
    if (HINTERNET session = open(L"Pravonell", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                 WINHTTP_NO_PROXY_BYPASS, 0)) {
      if (setTimeouts) setTimeouts(session, 5000, 5000, 5000, 5000);
      const std::wstring wideUrl(url.begin(), url.end());
      WINHTTP_PROXY_INFO info{};
      // A failed script or detection leaves the fixed settings to decide, as
      // Windows does.
      if (getProxyForUrl(session, wideUrl.c_str(), &options, &info)) {
        settings.automaticProxy =
            info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY ? Narrow(info.lpszProxy) : std::string();
        settings.automaticBypass = Narrow(info.lpszProxyBypass);
        Free(info.lpszProxy);
        Free(info.lpszProxyBypass);
      }
      closeHandle(session);
    }
  }
  Free(user.lpszAutoConfigUrl);
  Free(user.lpszProxy);
  Free(user.lpszProxyBypass);
  return settings;
}

}  // namespace pravonell::win32
