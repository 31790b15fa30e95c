#include "engine/setups.h"

#include "engine/command_line.h"

namespace pravonell {

bool SetupRunner::InstalarAplicativo(const std::wstring& nome, const std::wstring& pathInstalar) {
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
  Started setup = processes_.Start(QuoteArgument(program), /*hidden=*/false);
  if (!setup.process && setup.error == kErrorElevationRequired) {
    // A setup that asks for administrator rights is refused a plain start
    // when UAC is on; it goes through the elevation prompt instead. Declined
    // there, it counts as not installed.
    setup = processes_.StartElevated(program);
  }
  if (!setup.process) return false;
  setup.process->Wait(Process::kForever);
  const std::uint32_t code = setup.process->ExitCode();
  return code == 0 || code == 3010 || code == 1641;
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
