#include "engine/download_line.h"

#include <cmath>

namespace pravonell {

namespace {

constexpr double kKilobyte = 1024.0;
constexpr double kMegabyte = 1024.0 * 1024.0;
constexpr double kGigabyte = 1024.0 * 1024.0 * 1024.0;

// One decimal, with a comma: "12,3".
std::wstring OneDecimal(double value) {
  const auto tenths = static_cast<std::uint64_t>(std::llround(value * 10.0));
  return std::to_wstring(tenths / 10) + L"," + std::to_wstring(tenths % 10);
}

// The received amount and the whole in the unit of the larger.
std::wstring Amounts(std::uint64_t received, std::optional<std::uint64_t> total) {
  const double larger = static_cast<double>(total ? std::max(*total, received) : received);
  const auto [unit, name] = larger >= kGigabyte   ? std::pair{kGigabyte, L" GB"}
                            : larger >= kMegabyte ? std::pair{kMegabyte, L" MB"}
                                                  : std::pair{kKilobyte, L" KB"};
  std::wstring text = OneDecimal(static_cast<double>(received) / unit);
  if (total) text += L" de " + OneDecimal(static_cast<double>(*total) / unit);
  return text + name;
}

std::wstring SpeedText(double bytesPerSecond) {
  if (bytesPerSecond >= kMegabyte) return OneDecimal(bytesPerSecond / kMegabyte) + L" MB/s";
  const auto kilobytes = std::max<long long>(1, std::llround(bytesPerSecond / kKilobyte));
  return std::to_wstring(kilobytes) + L" KB/s";
}

std::wstring TimeLeftText(double seconds) {
  if (seconds >= 90.0) return L"cerca de " + std::to_wstring(std::llround(seconds / 60.0)) + L" min";
  // Under a minute and a half, in steps of five seconds, never "0 s".
  const long long fives = std::max<long long>(1, static_cast<long long>(std::ceil(seconds / 5.0)));
  return L"cerca de " + std::to_wstring(fives * 5) + L" s";
}

}  // namespace

std::wstring DownloadLine::Text(const std::wstring& prefix, std::uint64_t received, std::optional<std::uint64_t> total,
                                std::optional<double> bytesPerSecond, bool waiting) {
  std::wstring text = prefix;
  if (received > 0 || total) text += L" · " + Amounts(received, total);
  if (waiting) return text + L" · aguardando o servidor…";
  if (!bytesPerSecond || *bytesPerSecond <= 0.0) return text;
  text += L" · " + SpeedText(*bytesPerSecond);
  if (total && *total > received) {
    text += L" · " + TimeLeftText(static_cast<double>(*total - received) / *bytesPerSecond);
  }
  return text;
}

void DownloadLine::SetStep(InstallStep step, const std::wstring& detail) {
  active_ = step == InstallStep::Download && !detail.empty();
  prefix_ = detail;
  received_ = 0;
  total_.reset();
  samples_.clear();
  lastDataMs_ = lastShownMs_ = clock_.NowMs();
  lastShown_ = detail;
  heading_.SetStep(step, detail);
}

void DownloadLine::SetStopped() {
  active_ = false;
  heading_.SetStopped();
}

void DownloadLine::Begin(std::int64_t total) {
  if (!active_) return;
  // A body that begins the file again (the server sent it whole) counts anew.
  received_ = 0;
  samples_.clear();
  total_ = total > 0 ? std::optional(static_cast<std::uint64_t>(total)) : std::nullopt;
  lastDataMs_ = clock_.NowMs();
  Show(/*now=*/true);
}

void DownloadLine::Work(std::int64_t count) {
  if (!active_ || count < 0) return;
  const auto bytes = static_cast<std::uint64_t>(count);
  const std::uint64_t now = clock_.NowMs();
  if (bytes > received_) lastDataMs_ = now;
  received_ = bytes;
  if (samples_.empty() || now - samples_.back().first >= kShowEveryMs) samples_.emplace_back(now, bytes);
  while (samples_.size() > 2 && now - samples_[1].first >= kSpeedOverMs) samples_.pop_front();
  Show(/*now=*/false);
}

void DownloadLine::Tick() {
  if (active_) Show(/*now=*/false);
}

std::optional<double> DownloadLine::Speed() const {
  if (samples_.size() < 2) return std::nullopt;
  const auto& [firstMs, firstBytes] = samples_.front();
  const auto& [lastMs, lastBytes] = samples_.back();
  if (lastMs <= firstMs || lastBytes < firstBytes) return std::nullopt;
  return static_cast<double>(lastBytes - firstBytes) * 1000.0 / static_cast<double>(lastMs - firstMs);
}

void DownloadLine::Show(bool now) {
  // A stopping run leaves the window as it was.
  if (control_.StopRequested()) return;
  const std::uint64_t at = clock_.NowMs();
  if (!now && at - lastShownMs_ < kShowEveryMs) return;
  const std::wstring text = Text(prefix_, received_, total_, Speed(), at - lastDataMs_ >= kSilentMs);
  lastShownMs_ = at;
  if (text == lastShown_) return;
  lastShown_ = text;
  heading_.SetStep(InstallStep::Download, text);
}

}  // namespace pravonell
