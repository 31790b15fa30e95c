#include <map>

#include "engine/http/socket.h"

namespace pravonell::http {

std::wstring SocketErrorText(int code) {
  static const std::map<int, const wchar_t*> kDescriptions = {
      {10004, L"Interrupted system call."},
      {10013, L"Access denied."},
      {10022, L"Invalid argument."},
      {10024, L"Too many open files."},
      {10035, L"Operation would block."},
      {10048, L"Address already in use."},
      {10049, L"Cannot assign requested address."},
      {10050, L"Network is down."},
      {10051, L"Network is unreachable."},
      {10052, L"Net dropped connection or reset."},
      {10053, L"Software caused connection abort."},
      {10054, L"Connection reset by peer."},
      {10055, L"No buffer space available."},
      {10057, L"Socket is not connected."},
      {10058, L"Cannot send after socket shutdown."},
      {10060, L"Connection timed out."},
      {10061, L"Connection refused."},
      {10064, L"Host is down."},
      {10065, L"No route to host."},
      {11001, L"Host not found."},
      {11002, L"Non-authoritative response (try again or check DNS setup)."},
      {11003, L"Non-recoverable errors: FORMERR, REFUSED, NOTIMP."},
      {11004, L"Valid name, no data record (check DNS setup)."},
  };
  const auto found = kDescriptions.find(code);
  const std::wstring description =
      found != kDescriptions.end() ? found->second : L"Unknown socket error.";
  return L"Socket Error # " + std::to_wstring(code) + L"\r\n" + description;
}

}  // namespace pravonell::http
