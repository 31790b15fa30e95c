// Starting programs on Windows, plainly or through the elevation prompt.
#pragma once

#include "engine/ports.h"

namespace pravonell::win32 {

class Win32Processes final : public Processes {
 public:
  Started Start(const std::wstring& commandLine, bool hidden) override;
  Started StartElevated(const std::wstring& program) override;
};

}  // namespace pravonell::win32
