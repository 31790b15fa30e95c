// Whether Windows is 64-bit, as the 32-bit installer and the plan see it.
#pragma once

#include "engine/ports.h"

namespace pravonell::win32 {

class Win32Bitness final : public Bitness {
 public:
  bool IsWindows64() override;
  bool IsWindows32Only() override;
};

}  // namespace pravonell::win32
