// Time on the window's thread: the clock, and a wait that wakes early when a
// window message arrives.
#pragma once

#include "engine/ports.h"

namespace pravonell::win32 {

class Win32Pauses final : public Pauses {
 public:
  std::uint64_t NowMs() override;
  void Sleep(unsigned milliseconds) override;
};

}  // namespace pravonell::win32
