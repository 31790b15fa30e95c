#include "engine/waiting.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace pravonell {

bool PumpedWaits::Until(const std::function<bool(unsigned)>& ready, unsigned limitMs, OnStop onStop) {
  const std::uint64_t start = clock_.NowMs();
  for (;;) {
    unsigned slice = sliceMs_;
    if (limitMs != kNoLimit) {
      const std::uint64_t elapsed = clock_.NowMs() - start;
      if (elapsed >= limitMs) return false;
      slice = static_cast<unsigned>(std::min<std::uint64_t>(slice, limitMs - elapsed));
    }
    if (ready(slice)) break;
    if (onStop == OnStop::Unwind) {
      pump_.ProcessMessages();
    } else {
      pump_.ProcessMessagesWithoutStopping();
    }
  }
  // A stop asked while the thing ran to its end takes effect now.
  if (onStop == OnStop::Finish) pump_.ProcessMessages();
  return true;
}

void PumpedWaits::Pause(unsigned milliseconds) {
  Until(
      [&](unsigned slice) {
        clock_.Sleep(slice);
        return false;
      },
      milliseconds);
}

std::uint64_t StandardPauses::NowMs() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

void StandardPauses::Sleep(unsigned milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool IsHeldError(std::uint32_t error) {
  return error == kErrorSharingViolation || error == kErrorLockViolation;
}

std::uint32_t RetryWhileHeld(Waits& waits, Pauses& clock, const HeldFileRetry& retry,
                             const std::function<std::uint32_t()>& attempt,
                             const std::function<bool(std::uint32_t)>& held) {
  const std::uint64_t start = clock.NowMs();
  for (;;) {
    const std::uint32_t error = attempt();
    if (error == 0 || !held(error)) return error;
    const std::uint64_t elapsed = clock.NowMs() - start;
    if (elapsed >= retry.limitMs) return error;
    waits.Pause(static_cast<unsigned>(std::min<std::uint64_t>(retry.intervalMs, retry.limitMs - elapsed)));
  }
}

}  // namespace pravonell
