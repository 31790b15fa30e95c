// Where a download stands, for the person watching: the line under the
// current step of the install page's heading gains the amounts, the speed
// and the time left, in Brazilian style:
//   "Arquivo 3 de 11 · 12,3 de 85,0 MB · 2,1 MB/s · cerca de 3 min"
// The time left only when the whole length is known; a transfer that has
// received nothing for 5 s says "aguardando o servidor…" instead of a speed.
//
// It stands between the run and the heading (an InstallOverview that passes
// every step through), hears the transfer's work events from the progress
// display, and is ticked at every pump so that a silent server shows. It
// writes to the heading a few times a second at most.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>

#include "engine/ports.h"
#include "engine/run_control.h"

namespace pravonell {

class DownloadLine final : public InstallOverview {
 public:
  static constexpr std::uint64_t kShowEveryMs = 250;
  static constexpr std::uint64_t kSilentMs = 5000;
  static constexpr std::uint64_t kSpeedOverMs = 3000;

  DownloadLine(InstallOverview& heading, Pauses& clock, const RunControl& control)
      : heading_(heading), clock_(clock), control_(control) {}

  // InstallOverview: a download step starts a file's line; any other step
  // ends it. Both go through to the heading at once.
  void SetStep(InstallStep step, const std::wstring& detail) override;
  void SetStopped() override;

  // The file's body, as the work events tell it.
  void Begin(std::int64_t total);
  void Work(std::int64_t count);
  // At every pump: shows a server that has gone silent.
  void Tick();

  // The line itself. bytesPerSecond: nothing while it is not known yet;
  // waiting: nothing has come for a while.
  static std::wstring Text(const std::wstring& prefix, std::uint64_t received, std::optional<std::uint64_t> total,
                           std::optional<double> bytesPerSecond, bool waiting);

 private:
  void Show(bool now);
  std::optional<double> Speed() const;

  InstallOverview& heading_;
  Pauses& clock_;
  const RunControl& control_;
  bool active_ = false;  // a file's download is the current step
  std::wstring prefix_;
  std::uint64_t received_ = 0;
  std::optional<std::uint64_t> total_;
  std::uint64_t lastDataMs_ = 0;
  std::uint64_t lastShownMs_ = 0;
  std::wstring lastShown_;
  std::deque<std::pair<std::uint64_t, std::uint64_t>> samples_;  // (time, bytes received)
};

// The pump the transfers use: it ticks the line, then serves the window.
class TickingPump final : public MessagePump {
 public:
  TickingPump(MessagePump& inner, DownloadLine& line) : inner_(inner), line_(line) {}
  void ProcessMessages() override {
    line_.Tick();
    inner_.ProcessMessages();
  }
  void ProcessMessagesWithoutStopping() override { inner_.ProcessMessagesWithoutStopping(); }

 private:
  MessagePump& inner_;
  DownloadLine& line_;
};

}  // namespace pravonell
