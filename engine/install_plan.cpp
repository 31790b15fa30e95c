#include "engine/install_plan.h"

namespace pravonell {

std::wstring WinrarPath(bool win64) {
  return win64 ? L"C:\\Program Files\\WinRAR\\Winrar.exe"
               : L"C:\\Program Files (x86)\\WinRAR\\Winrar.exe";
}

PrerequisitePaths ChoosePrerequisitePaths(bool sysWoW64, const std::wstring& dirSistema) {
  PrerequisitePaths paths;
  paths.PathWinRAR = WinrarPath(sysWoW64);
  paths.PathFireBird5_0 =
      sysWoW64 ? L"C:\\Program Files\\Firebird\\Firebird_5_0\\WOW64\\fbclient.dll"
               : L"C:\\Program Files (x86)\\Firebird\\Firebird_5_0\\WOW64\\fbclient.dll";
  paths.PathACBRMonitor = L"C:\\ACBrNFeMonitor\\ACBrNFeMonitor.exe";
  paths.PathFirebirdInstall5_0_64x = dirSistema + L"Ferramentas\\Firebird\\Firebird50-64.exe";
  paths.PathACBRInstall = dirSistema + L"Ferramentas\\ACBRMonitor.exe";
  return paths;
}

}  // namespace pravonell
