// Starting a program the run needs: the archiver, a setup.
//
// A start can fail for a reason that passes: the program's file held by
// another program (an antivirus scanning what was just written), the system
// short of memory or of resources for a moment, or a start the system could
// not finish because the new process ended while it was being made (Wine
// answers ERROR_INTERNAL_ERROR so on a loaded machine, once in a few
// thousand starts). Such a start is tried again, with the window served
// meanwhile, for a while; a start that keeps failing, or fails for a reason
// that does not pass, gives the system's reason back.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/ports.h"
#include "engine/waiting.h"

namespace pravonell {

inline constexpr std::uint32_t kErrorNotEnoughMemory = 8;
inline constexpr std::uint32_t kErrorOutOfMemory = 14;
inline constexpr std::uint32_t kErrorInternalError = 1359;
inline constexpr std::uint32_t kErrorNoSystemResources = 1450;
inline constexpr std::uint32_t kErrorCommitmentLimit = 1455;

bool IsPassingStartError(std::uint32_t error);

// Runs start() until it gives a program or an error that does not pass
// (IsPassingStartError, or alsoPassing when given), trying again after
// pumped pauses for at most retry.limitMs in all. The last outcome is
// returned.
Started StartRetrying(Waits& waits, Pauses& clock, const HeldFileRetry& retry, const std::function<Started()>& start,
                      const std::function<bool(std::uint32_t)>& alsoPassing = {});

// The reason a start failed, for a message: the system's text and its code.
std::wstring StartFailureText(const Started& started);

}  // namespace pravonell
