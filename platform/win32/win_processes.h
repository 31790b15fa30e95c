// Starting programs and the shell's desktop folder and shortcuts on Windows.
#pragma once

#include "engine/ports.h"

namespace pravonell::win32 {

class Win32Processes final : public Processes {
 public:
  Started Start(const std::wstring& commandLine, bool hidden) override;
  Started StartElevated(const std::wstring& program) override;
};

// Needs COM initialised on the calling thread (the window's start-up does it).
class Win32Shell final : public Shell {
 public:
  std::wstring DesktopFolder() override;
  void SaveShellLink(const ShellLink& link, const std::wstring& file) override;
};

}  // namespace pravonell::win32
