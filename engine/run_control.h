// Stopping a run that is in progress.
//
// The run yields to the window only where it processes messages; the window
// may then ask it to stop (the person closed the window). RunControl is the
// pump every part of the run uses: it pumps, then unwinds the run with
// RunStopped once a stop was asked. GuardedStatusDisplay drops every write
// after that moment, so a stopping run leaves the window as it was.
#pragma once

#include "engine/ports.h"

namespace pravonell {

class RunControl final : public MessagePump {
 public:
  explicit RunControl(WindowOps& window) : window_(window) {}

  void ProcessMessages() override;
  void ProcessMessagesWithoutStopping() override { window_.ProcessMessages(); }

  void Reset() { stopRequested_ = false; }
  void RequestStop() { stopRequested_ = true; }
  bool StopRequested() const { return stopRequested_; }
  void ThrowIfStopped() const;

 private:
  WindowOps& window_;
  bool stopRequested_ = false;
};

class GuardedStatusDisplay final : public StatusDisplay {
 public:
  GuardedStatusDisplay(StatusDisplay& inner, const RunControl& control)
      : inner_(inner), control_(control) {}

  void SetModuleText(const std::wstring& text) override;
  void SetModuleVisible(bool visible) override;
  void SetStatusText(const std::wstring& text) override;
  std::wstring StatusText() override { return inner_.StatusText(); }
  void SetStatusVisible(bool visible) override;
  void SetProgressMax(std::int32_t max) override;
  std::int32_t ProgressMax() override { return inner_.ProgressMax(); }
  void SetProgressPosition(std::int32_t position) override;
  void SetCaption(const std::wstring& caption) override;

 private:
  bool Open() const { return !control_.StopRequested(); }
  StatusDisplay& inner_;
  const RunControl& control_;
};

}  // namespace pravonell
