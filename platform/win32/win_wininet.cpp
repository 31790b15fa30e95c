#include "platform/win32/win_wininet.h"

#include <windows.h>
#include <wininet.h>

#include "engine/download.h"
#include "platform/win32/system_library.h"

namespace pravonell::win32 {

std::wstring WinInetProbe::QueryStatus(const std::wstring& address) {
  // WinINet is not a KnownDLL: it comes from the system folder only.
  const wchar_t* const kWinInet = L"wininet.dll";
  const auto internetOpen = SystemFunctionAs<decltype(&InternetOpenW)>(kWinInet, "InternetOpenW");
  const auto internetOpenUrl = SystemFunctionAs<decltype(&InternetOpenUrlW)>(kWinInet, "InternetOpenUrlW");
  const auto httpQueryInfo = SystemFunctionAs<decltype(&HttpQueryInfoW)>(kWinInet, "HttpQueryInfoW");
  const auto internetCloseHandle =
      SystemFunctionAs<decltype(&InternetCloseHandle)>(kWinInet, "InternetCloseHandle");
  const auto internetSetOption = SystemFunctionAs<decltype(&InternetSetOptionW)>(kWinInet, "InternetSetOptionW");
  std::wstring status;
  if (!internetOpen || !internetOpenUrl || !httpQueryInfo || !internetCloseHandle) return status;

  HINTERNET session = internetOpen(L"InetURL:/1.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (session == nullptr) return status;
  // The caller gives up on a probe after its own limit; these make a probe
  // given up on end about then too, instead of after WinINet's minutes.
  if (internetSetOption) {
    DWORD limit = SiteProbe::kLimitMs;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
      internetSetOption(session, option, &limit, sizeof limit);
    }
  }
  HINTERNET request = internetOpenUrl(session, address.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD, 0);
  if (request != nullptr) {
    // Ten bytes: a three-digit code and its terminator in UTF-16.
    wchar_t buffer[5] = {};
    DWORD length = 10;
    DWORD index = 0;
    if (httpQueryInfo(request, HTTP_QUERY_STATUS_CODE, buffer, &length, &index)) {
      status.assign(buffer, wcsnlen(buffer, 5));
    }
    internetCloseHandle(request);
  }
  internetCloseHandle(session);
  return status;
}

}  // namespace pravonell::win32
