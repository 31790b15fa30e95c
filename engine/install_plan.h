// The built-in install plan: what a run fetches, where it stores it, how each
// archive is unpacked, and the three outside prerequisites.
//
// Everything here is constant data, read by the run in table order. Paths
// inside the installation directory are relative names appended to it.
#pragma once

#include <array>
#include <string>

namespace pravonell {

// The state that lives as long as the program: the installation directory of
// the last run (always ending in a backslash) and the user's desktop folder.
struct ProgramState {
  std::wstring DirSistema = L"C:\\Varnisca\\";
  std::wstring DirDesktop;
};

struct ModuleRow {
  const wchar_t* constant;
  const wchar_t* localFile;     // name inside the installation directory
  const wchar_t* urlPath;       // path on the download host, case as given
  const wchar_t* label;         // module text while the row is fetched
  const wchar_t* archiveBase;   // nullptr for the two plain files
  const wchar_t* extractionMode;
};

inline constexpr std::array<ModuleRow, 11> kModuleTable{{
    {L"Quilmarde", L"Quilmarde.ini", L"/uploads/download/file/73/quilmarde.ini",
     L"Baixando Quilmarde.ini", nullptr, nullptr},
    {L"Kestrimo", L"Kestrimo.rar", L"/uploads/download/file/59/Kestrimo.7z",
     L"Baixando Sistema Kestrimo", L"Kestrimo", L".exe"},
    {L"Polvarin", L"Polvarin.rar", L"/uploads/download/file/22/Polvarin.7z",
     L"Baixando Sistema Polvarin", L"Polvarin", L".exe"},
    {L"Thandrel", L"Thandrel.rar", L"/uploads/download/file/23/Thandrel.7z",
     L"Baixando Sistema Thandrel", L"Thandrel", L".exe"},
    {L"Wembrisco", L"Wembrisco.rar", L"/uploads/download/file/21/Wembrisco.7z",
     L"Baixando Sistema Wembrisco", L"Wembrisco", L".exe"},
    {L"Dados", L"Dados.rar", L"/uploads/download/file/66/DADOS.7z",
     L"Baixando Banco de Dados", L"Dados", L"DD"},
    {L"Relatorio", L"Relatorios.rar", L"/uploads/download/file/50/Relatorios.7z",
     L"Baixando Pasta de Relatórios", L"Relatorios", L"R"},
    {L"DLL", L"DLL.rar", L"/uploads/download/file/75/DLL.rar",
     L"Baixando Pasta de DLL", L"DLL", L"D"},
    {L"Eletronicos", L"Eletronicos.rar", L"/uploads/download/file/61/Eletronicos.7z",
     L"Baixando Pasta de Eletrônicos", L"Eletronicos", L"E"},
    {L"Ferramentas", L"Ferramentas.rar", L"/uploads/download/file/7/Ferramentas.7z",
     L"Baixando Pasta de Ferramentas", L"Ferramentas", L"F"},
    {L"FBClient5_0_64x", L"fbclient.dll", L"/uploads/download/file/91/fbclient.dll",
     L"Baixando DLL do Firebird", nullptr, nullptr},
}};

// The archives removed at the end of a successful run, in removal order.
inline constexpr std::array<const wchar_t*, 9> kArchivesToDelete{
    L"Kestrimo.rar", L"Polvarin.rar",    L"Thandrel.rar",   L"Wembrisco.rar",  L"Dados.rar",
    L"DLL.rar",      L"Ferramentas.rar", L"Relatorios.rar", L"Eletronicos.rar"};

// The vendor's signed list of the plan's files, on the download host.
inline constexpr const wchar_t* kVendorListPath = L"/uploads/download/pravonell.lista";

// The WinRAR setup, fetched before the module table when WinRAR is missing.
inline constexpr const wchar_t* kWinrar64x = L"/uploads/download/file/72/winrar-x64-601br.exe";
inline constexpr const wchar_t* kWinrar86x = L"/uploads/download/file/71/wrar601br.exe";
inline constexpr const wchar_t* kWinrarSetupFile = L"Winrar.exe";
inline constexpr const wchar_t* kWinrarLabel = L"Baixando Winrar";

// Presence paths and setups of the prerequisites, chosen by the bitness flag.
struct PrerequisitePaths {
  std::wstring PathWinRAR;
  std::wstring PathFireBird5_0;
  std::wstring PathACBRMonitor;
  std::wstring PathFirebirdInstall5_0_64x;
  std::wstring PathACBRInstall;
};

PrerequisitePaths ChoosePrerequisitePaths(bool sysWoW64, const std::wstring& dirSistema);

// The archiver that extraction starts: the same file as WinRAR's presence path.
std::wstring WinrarPath(bool win64);

// Files inside the installation directory with a meaning of their own.
inline constexpr const wchar_t* kUpdaterExe = L"Kestrimo.exe";     // marks a previous installation
inline constexpr const wchar_t* kManagementProgram = L"Polvarin";  // the desktop shortcut's target
inline constexpr const wchar_t* kConfigFile = L"Quilmarde.ini";
// Where the database archive is unpacked before its files are moved into
// Dados; emptied before each extraction and removed after it.
inline constexpr const wchar_t* kDatabaseStaging = L"Dados.descompactando";
// The copy of a configuration file the installation found in the folder and
// did not fetch itself, kept before the download replaces it.
inline constexpr const wchar_t* kConfigFileKept = L"Quilmarde.ini.anterior";
// Written when a run begins and removed when it succeeds: a folder that holds
// it beside the updater is an installation a run stopped in, to be finished.
inline constexpr const wchar_t* kUnfinishedMark = L"INSTALACAO-INCOMPLETA.txt";
// Beside the mark, and gone with it: what the run knows of each file it
// fetched, so that a run started again fetches only what is missing.
inline constexpr const wchar_t* kDownloadRecords = L"INSTALACAO-INCOMPLETA.downloads";
inline constexpr const wchar_t* kUnfinishedMarkText =
    L"Esta instalação do sistema Varnisca não foi concluída. Execute novamente o Pravonell para concluí-la.";

}  // namespace pravonell
