#include "engine/download.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "engine/error.h"

namespace pravonell {

HostPort ParseHostPort(const std::wstring& text) {
  // A host is letters, digits, dots and dashes; a port, 1 to 65535 in digits.
  HostPort result;
  const auto colon = text.find(L':');
  const std::wstring host = text.substr(0, colon);
  bool valid = !host.empty();
  for (wchar_t c : host) {
    const bool allowed = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') ||
                         (c >= L'0' && c <= L'9') || c == L'.' || c == L'-';
    valid = valid && allowed;
    result.host += static_cast<char>(c);
  }
  if (colon != std::wstring::npos) {
    const std::wstring port = text.substr(colon + 1);
    unsigned long value = 0;
    valid = valid && !port.empty() && port.size() <= 5;
    for (wchar_t c : port) {
      valid = valid && c >= L'0' && c <= L'9';
      if (valid) value = value * 10 + static_cast<unsigned long>(c - L'0');
    }
    valid = valid && value >= 1 && value <= 65535;
    result.port = static_cast<std::uint16_t>(value);
  }
  if (!valid) throw Error(L"Invalid host setting \"" + text + L"\": expected host or host:port.");
  return result;
}

namespace {

// What the proxy lookup's helper thread and the waiting window share.
struct PendingLookup {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  http::ProxySettings settings;
};

}  // namespace

std::optional<http::Proxy> HttpDownloader::ProxyFor(const std::string& url) {
  if (proxyKnown_) return proxy_;
  proxy_.reset();
  if (proxies_ && waits_ != nullptr) {
    auto pending = std::make_shared<PendingLookup>();
    // A lookup given up on finishes on its own; it holds what it needs.
    std::thread([pending, proxies = proxies_, url] {
      http::ProxySettings settings;
      try {
        settings = proxies->SettingsFor(url);
      } catch (...) {
        // no settings: direct
      }
      std::lock_guard lock(pending->mutex);
      pending->settings = std::move(settings);
      pending->done = true;
      pending->finished.notify_all();
    }).detach();
    const bool answered = waits_->Until(
        [&](unsigned ms) {
          std::unique_lock lock(pending->mutex);
          return pending->finished.wait_for(lock, std::chrono::milliseconds(ms), [&] { return pending->done; });
        },
        proxyLimitMs_);
    if (answered) {
      std::lock_guard lock(pending->mutex);
      proxy_ = http::ChooseProxy(pending->settings, host_.host);
    }
  }
  proxyKnown_ = true;
  return proxy_;
}

void HttpDownloader::BaixarArquivo(const std::wstring& urlPath, OutputFile& file) {
  std::string path;
  for (wchar_t c : urlPath) path += static_cast<char>(c);  // the plan's paths are ASCII
  const std::string hostPort = host_.port == 80 ? host_.host : host_.host + ":" + std::to_string(host_.port);
  client_.Get(host_.host, host_.port, path, file, progress_, ProxyFor("http://" + hostPort + path));
}

std::wstring SiteProbe::AddressFor(const std::wstring& url, int varnisca) const {
  if (varnisca == 1) return L"http://" + siteHost_ + L"/users/sign_in";
  std::wstring lower = url;
  for (wchar_t& c : lower) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return lower.find(L"http://") != std::wstring::npos ? url : L"http://" + url;
}

namespace {

// What the probe's helper thread and the waiting window share.
struct PendingProbe {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  std::wstring status;
};

}  // namespace

bool SiteProbe::CheckURL(const std::wstring& url, int varnisca) {
  auto pending = std::make_shared<PendingProbe>();
  // A probe given up on finishes on its own; it holds what it needs.
  std::thread([pending, probe = probe_, address = AddressFor(url, varnisca)] {
    std::wstring status;
    try {
      status = probe->QueryStatus(address);
    } catch (...) {
      // the probe never raises: no status means no answer
    }
    std::lock_guard lock(pending->mutex);
    pending->status = std::move(status);
    pending->done = true;
    pending->finished.notify_all();
  }).detach();
  const bool answered = waits_.Until(
      [&](unsigned ms) {
        std::unique_lock lock(pending->mutex);
        return pending->finished.wait_for(lock, std::chrono::milliseconds(ms), [&] { return pending->done; });
      },
      limitMs_);
  if (!answered) return false;
  std::lock_guard lock(pending->mutex);
  return pending->status == L"200" || pending->status == L"302";
}

}  // namespace pravonell
