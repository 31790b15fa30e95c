#include "engine/setups.h"

#include "engine/command_line.h"
#include "engine/program_start.h"

namespace pravonell {

bool SetupRunner::InstalarAplicativo(const std::wstring& nome, const std::wstring& pathInstalar) {
  startFailure_.clear();
  std::wstring program;
  if (nome == L"Winrar") {
    program = pathInstalar + kWinrarSetupFile;
  } else if (nome == L"Firebird" || nome == L"ACBrNFeMonitor") {
    program = pathInstalar;
  } else {
    return false;
  }
  if (!files_.FileExists(program)) return false;
  // Quoted, so a blank in the path cannot make Windows run another program.
  Started setup = Start([&] { return processes_.Start(QuoteArgument(program), /*hidden=*/false); }, program);
  if (!setup.process && setup.error == kErrorElevationRequired) {
    // A setup that asks for administrator rights is refused a plain start
    // when UAC is on; it goes through the elevation prompt instead. Declined
    // there, it counts as not installed.
    setup = Start([&] { return processes_.StartElevated(program); }, program);
    if (!setup.process && setup.error == kErrorCancelled) return false;
  }
  if (!setup.process) {
    startFailure_ = StartFailureText(setup);
    return false;
  }
  // The person may spend minutes in the setup's pages; the window goes on
  // painting and answering, and a close waits for the setup to end.
  waits_.Until([&](unsigned ms) { return setup.process->Wait(ms); }, Waits::kNoLimit, OnStop::Finish);
  const std::uint32_t code = setup.process->ExitCode();
  return code == 0 || code == 3010 || code == 1641;
}

// A start that fails for a passing reason is tried again for a while. Wine
// answers "file not found" where Windows says "sharing violation" for a
// file another program holds; the file was seen to be there, so that
// answer means the same.
Started SetupRunner::Start(const std::function<Started()>& start, const std::wstring& program) {
  return StartRetrying(waits_, clock_, retry_, start, [&](std::uint32_t error) {
    return error == kErrorFileNotFound && files_.FileExists(program);
  });
}

std::wstring ChangeFileExt(const std::wstring& name, const std::wstring& extension) {
  const auto dot = name.find_last_of(L".\\:");
  if (dot != std::wstring::npos && name[dot] == L'.') return name.substr(0, dot) + extension;
  return name + extension;
}

void DesktopShortcuts::CriarAtalhos(const std::wstring& sistema) {
  // Without a desktop folder there is nowhere sensible to put the shortcut;
  // writing it beside the drive's root would only litter.
  if (state_.DirDesktop.empty()) return;
  const std::wstring target = state_.DirSistema + sistema + L".exe";
  ShellLink link;
  link.description = L"Varnisca " + sistema;
  link.target = target;
  link.arguments = L"";
  link.workingDirectory = target.substr(0, target.find_last_of(L'\\') + 1);
  shell_.SaveShellLink(link, state_.DirDesktop + L"\\" + ChangeFileExt(sistema, L".lnk"));
}

}  // namespace pravonell
