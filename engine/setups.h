// The prerequisites' own setup programs, and the desktop shortcut.
#pragma once

#include "engine/install_plan.h"
#include "engine/ports.h"
#include "engine/waiting.h"

namespace pravonell {

class SetupRunner final : public Setups {
 public:
  SetupRunner(FileSystem& files, Processes& processes, Waits& waits, Pauses& clock,
              HeldFileRetry retry = {})
      : files_(files), processes_(processes), waits_(waits), clock_(clock), retry_(retry) {}

  // Runs the setup of "Winrar" (PathInstalar + "Winrar.exe"), "Firebird" or
  // "ACBrNFeMonitor" (PathInstalar itself) and waits for it without limit,
  // serving the window meanwhile. True when it ended with success: exit code
  // 0, or 3010 or 1641 (success, restart needed). A setup that fails or is
  // cancelled gives false. One that needs administrator rights is started
  // through the elevation prompt. A close of the window never ends the
  // setup: RunStopped comes once it has ended.
  // A start that fails for a passing reason (the file held by an antivirus,
  // the system short of memory, a start the system could not finish) is
  // tried again for a while; one that keeps failing leaves its reason in
  // SetupStartFailure.
  bool InstalarAplicativo(const std::wstring& nome, const std::wstring& pathInstalar) override;
  std::wstring SetupStartFailure() const override { return startFailure_; }

 private:
  Started Start(const std::function<Started()>& start, const std::wstring& program);

  FileSystem& files_;
  Processes& processes_;
  Waits& waits_;
  Pauses& clock_;
  HeldFileRetry retry_;
  std::wstring startFailure_;
};

class DesktopShortcuts final : public Shortcuts {
 public:
  DesktopShortcuts(ProgramState& state, Shell& shell) : state_(state), shell_(shell) {}

  // The shortcut "<desktop>\<Sistema>.lnk" to DirSistema + Sistema + ".exe".
  void CriarAtalhos(const std::wstring& sistema) override;

  // Looks up the desktop folder into DirDesktop (once, when the window is made).
  void LookUpDesktop() { state_.DirDesktop = shell_.DesktopFolder(); }

 private:
  ProgramState& state_;
  Shell& shell_;
};

// The name with its extension (after the last dot of its last part) replaced.
std::wstring ChangeFileExt(const std::wstring& name, const std::wstring& extension);

}  // namespace pravonell
