// The shell: the user's desktop folder and shortcut files.
#pragma once

#include "engine/ports.h"

namespace pravonell::win32 {

// Needs COM initialised on the calling thread (the window's start-up does it).
class Win32Shell final : public Shell {
 public:
  std::wstring DesktopFolder() override;
  void SaveShellLink(const ShellLink& link, const std::wstring& file) override;
};

}  // namespace pravonell::win32
