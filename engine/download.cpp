#include "engine/download.h"

#include "engine/error.h"

namespace pravonell {

HostPort ParseHostPort(const std::wstring& text) {
  HostPort result;
  std::wstring host = text;
  const auto colon = text.rfind(L':');
  if (colon != std::wstring::npos) {
    host = text.substr(0, colon);
    result.port = static_cast<std::uint16_t>(std::stoi(text.substr(colon + 1)));
  }
  for (wchar_t c : host) result.host += static_cast<char>(c);
  return result;
}

void HttpDownloader::BaixarArquivo(const std::wstring& urlPath, OutputFile& file) {
  std::string path;
  for (wchar_t c : urlPath) path += static_cast<char>(c);  // the plan's paths are ASCII
  client_.Get(host_.host, host_.port, path, file, progress_);
}

std::wstring SiteProbe::AddressFor(const std::wstring& url, int varnisca) const {
  if (varnisca == 1) return L"http://" + siteHost_ + L"/users/sign_in";
  std::wstring lower = url;
  for (wchar_t& c : lower) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return lower.find(L"http://") != std::wstring::npos ? url : L"http://" + url;
}

bool SiteProbe::CheckURL(const std::wstring& url, int varnisca) {
  try {
    const std::wstring status = probe_.QueryStatus(AddressFor(url, varnisca));
    return status == L"200" || status == L"302";
  } catch (...) {
    return false;  // the probe never raises
  }
}

}  // namespace pravonell
