#include "engine/program_start.h"

namespace pravonell {

bool IsPassingStartError(std::uint32_t error) {
  switch (error) {
    case kErrorSharingViolation:
    case kErrorLockViolation:
    case kErrorNotEnoughMemory:
    case kErrorOutOfMemory:
    case kErrorInternalError:
    case kErrorNoSystemResources:
    case kErrorCommitmentLimit:
      return true;
    default:
      return false;
  }
}

Started StartRetrying(Waits& waits, Pauses& clock, const HeldFileRetry& retry, const std::function<Started()>& start,
                      const std::function<bool(std::uint32_t)>& alsoPassing) {
  Started started;
  RetryWhileHeld(
      waits, clock, retry,
      [&] {
        started = start();
        if (started.process) return 0u;
        // A start that failed without saying why is no program either.
        if (started.error == 0) started.error = kErrorInternalError;
        return started.error;
      },
      [&](std::uint32_t error) { return IsPassingStartError(error) || (alsoPassing && alsoPassing(error)); });
  return started;
}

std::wstring StartFailureText(const Started& started) {
  const std::wstring code = L"código " + std::to_wstring(started.error);
  return started.reason.empty() ? code : started.reason + L" (" + code + L")";
}

}  // namespace pravonell
