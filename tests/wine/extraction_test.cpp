// Extraction through the archiver stand-in, the setups through the setup
// stand-in, and the desktop shortcut, all with the Win32 ports under Wine.
#include <windows.h>
#include <objbase.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <thread>

#include "engine/command_line.h"
#include "engine/extraction.h"
#include "engine/run_control.h"
#include "engine/setups.h"
#include "platform/win32/win_files.h"
#include "platform/win32/win_pauses.h"
#include "platform/win32/win_processes.h"
#include "platform/win32/win_shell.h"
#include "tests/fakes/run_fakes.h"
#include "tests/standins/unix_command.h"
#include "tests/wine/scratch.h"
#include "tests/wine/shortcut_reader.h"
#include "tests/wine/site.h"

namespace pravonell::testing {
namespace {

const std::wstring kArchiver = L"C:\\Program Files\\WinRAR\\Winrar.exe";

std::wstring StandIn(const wchar_t* name) {
  return WindowsPathOf(Env("PRAVONELL_STANDIN_DIR")) + L"\\" + name;
}

std::wstring SiteFile(const wchar_t* relative) {
  return SiteRoot() + L"\\uploads\\download\\file\\" + relative;
}

void Copy(const std::wstring& from, const std::wstring& to) {
  ASSERT_TRUE(CopyWithFolders(from, to)) << "copy failed";
}

// The window side of the engine, without a window.
class NoWindow final : public WindowOps {
 public:
  std::vector<std::wstring> messages;
  int pumps = 0;
  void Repaint() override {}
  void ProcessMessages() override { ++pumps; }
  void ShowMessage(const std::wstring& text) override { messages.push_back(text); }
  void RequestClose() override {}
};

// The real waits, with the fixed pauses recorded instead of waited.
class RecordingPauses final : public Waits {
 public:
  explicit RecordingPauses(Waits& inner) : inner_(inner) {}
  std::vector<unsigned> sleeps;
  bool Until(const std::function<bool(unsigned)>& ready, unsigned limitMs, OnStop onStop) override {
    return inner_.Until(ready, limitMs, onStop);
  }
  void Pause(unsigned ms) override { sleeps.push_back(ms); }

 private:
  Waits& inner_;
};

class Archives : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Env("PRAVONELL_STANDIN_DIR").empty());
    Copy(StandIn(L"archiver-standin.exe"), kArchiver);
    DeleteFileW(L"C:\\standin\\archiver.log");
    DeleteFileW(L"C:\\standin\\archiver.ini");
  }

  void TearDown() override { DeleteFileW(L"C:\\standin\\archiver.ini"); }

  // The nine archives of the plan, downloaded under their ".rar" names.
  void Download(const std::wstring& dir) {
    const std::pair<const wchar_t*, const wchar_t*> archives[] = {
        {L"59\\Kestrimo.7z", L"Kestrimo.rar"},   {L"22\\Polvarin.7z", L"Polvarin.rar"},
        {L"23\\Thandrel.7z", L"Thandrel.rar"},   {L"21\\Wembrisco.7z", L"Wembrisco.rar"},
        {L"66\\DADOS.7z", L"Dados.rar"},         {L"50\\Relatorios.7z", L"Relatorios.rar"},
        {L"75\\DLL.rar", L"DLL.rar"},            {L"61\\Eletronicos.7z", L"Eletronicos.rar"},
        {L"7\\Ferramentas.7z", L"Ferramentas.rar"}};
    for (const auto& [from, to] : archives) Copy(SiteFile(from), dir + to);
  }

  bool Extract(const std::wstring& dir, const wchar_t* base, const wchar_t* mode, bool win64 = true) {
    state.DirSistema = dir;
    return extraction.DescompactarWINRAR(dir + base, dir, mode, win64);
  }

  Scratch scratch;
  ProgramState state;
  win32::Win32FileSystem files;
  win32::Win32Processes processes;
  NoWindow window;
  RunControl pump{window};
  win32::Win32Pauses clock;
  PumpedWaits waits{pump, clock};
  RecordingPauses pauses{waits};
  ArchiverExtraction extraction{state, files, processes, pauses, clock, window, pump};
};

TEST_F(Archives, EachModeExtractsIntoItsPlace) {
  // Each extraction outlasts a slice of the wait, however fast the machine,
  // so the window is seen to be pumped meanwhile.
  CreateDirectoryW(L"C:\\standin", nullptr);
  Scratch::WriteAbsolute(L"C:\\standin\\archiver.ini", "[archiver]\r\ndelay=150\r\n");
  for (const wchar_t* folder : {L"VARNISCA\\", L"Minha Empresa\\ERP\\"}) {
    SCOPED_TRACE(Utf8(folder));
    const std::wstring dir = scratch.Path(folder);
    Download(dir);
    const std::pair<const wchar_t*, const wchar_t*> rows[] = {
        {L"Kestrimo", L".exe"}, {L"Polvarin", L".exe"}, {L"Thandrel", L".exe"},
        {L"Wembrisco", L".exe"}, {L"Dados", L"DD"},     {L"Relatorios", L"R"},
        {L"DLL", L"D"},          {L"Eletronicos", L"E"}, {L"Ferramentas", L"F"}};
    for (const auto& [base, mode] : rows) EXPECT_TRUE(Extract(dir, base, mode)) << Utf8(base);

    for (const wchar_t* expected :
         {L"Kestrimo.exe", L"Polvarin.exe", L"Thandrel.exe", L"Wembrisco.exe",
          L"Dados\\VARNISCA.FDB", L"Dados\\LEIA-ME.txt", L"Relatorios\\Vendas.fr3",
          L"DLL\\libeay32.dll", L"Eletronicos\\Schemas\\nfe_v4.00.xsd",
          L"Ferramentas\\Firebird\\Firebird50-64.exe", L"Ferramentas\\ACBRMonitor.exe"}) {
      EXPECT_TRUE(Exists(dir + expected)) << Utf8(expected);
    }
    EXPECT_FALSE(Exists(dir + L"LEIAME.txt"));  // ".exe" takes the one program only
    EXPECT_GT(window.pumps, 0);
  }
}

TEST_F(Archives, ArchiverReceivesThePiecesWhole) {
  const std::wstring dir = scratch.Path(L"Minha Empresa\\");
  Download(dir);
  ASSERT_TRUE(Extract(dir, L"Kestrimo", L".exe"));
  ASSERT_TRUE(Extract(dir, L"Dados", L"DD"));
  HANDLE h = CreateFileW(L"C:\\standin\\archiver.log", GENERIC_READ, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char text[4096] = {};
  DWORD got = 0;
  ReadFile(h, text, sizeof text - 1, &got, nullptr);
  CloseHandle(h);
  const std::string expected = "x | -y | " + Utf8(dir) + "Kestrimo.rar | Kestrimo.exe | " + Utf8(dir) +
                               "\r\nx | -y | " + Utf8(dir) + "Dados.rar | " + Utf8(dir) + "Dados.descompactando\\\r\n";
  EXPECT_EQ(std::string(text), expected);
}

TEST_F(Archives, FailuresGiveFalse) {
  const std::wstring dir = scratch.Path(L"V\\");
  Download(dir);
  scratch.Write(L"V\\Broken.rar", "this is not an archive");
  EXPECT_FALSE(Extract(dir, L"Broken", L"R"));      // the archiver fails
  EXPECT_FALSE(Extract(dir, L"Absent", L"R"));      // no such archive
  EXPECT_FALSE(Extract(dir, L"Kestrimo", L".exe", false));  // no archiver at that path
  DeleteFileW(kArchiver.c_str());
  EXPECT_FALSE(Extract(dir, L"Kestrimo", L".exe"));
  EXPECT_TRUE(window.messages.empty());
}

TEST_F(Archives, FilesThatAreThereAlreadyAreReplacedWithoutAQuestion) {
  const std::wstring dir = scratch.Path(L"V\\");
  Download(dir);
  CreateDirectoryW(scratch.Path(L"V\\Relatorios").c_str(), nullptr);
  scratch.Write(L"V\\Relatorios\\Vendas.fr3", "an older report");
  scratch.Write(L"V\\Kestrimo.exe", "an older program");
  EXPECT_TRUE(Extract(dir, L"Relatorios", L"R"));
  EXPECT_TRUE(Extract(dir, L"Kestrimo", L".exe"));
  EXPECT_NE(ReadBytes(scratch.Path(L"V\\Relatorios\\Vendas.fr3")), "an older report");
  EXPECT_NE(ReadBytes(scratch.Path(L"V\\Kestrimo.exe")), "an older program");
}

// A database already in the folder is the customer's: the database archive
// adds what is missing and leaves every file that is there as it was, while
// the other folders are replaced as before.
TEST_F(Archives, DatabaseThatIsThereIsNeverReplaced) {
  const std::wstring dir = scratch.Path(L"V\\");
  Download(dir);
  CreateDirectoryW(scratch.Path(L"V\\Dados").c_str(), nullptr);
  scratch.Write(L"V\\Dados\\VARNISCA.FDB", "the customer's invoices");
  scratch.Write(L"V\\Polvarin.exe", "an older program");
  EXPECT_TRUE(Extract(dir, L"Dados", L"DD"));
  EXPECT_TRUE(Extract(dir, L"Polvarin", L".exe"));
  EXPECT_EQ(ReadBytes(scratch.Path(L"V\\Dados\\VARNISCA.FDB")), "the customer's invoices");
  EXPECT_TRUE(Exists(dir + L"Dados\\LEIA-ME.txt"));  // what was missing is added
  EXPECT_NE(ReadBytes(scratch.Path(L"V\\Polvarin.exe")), "an older program");

  // Everything there already: nothing to add, and still a success (the
  // archiver itself would answer "no files to extract" over such a folder).
  EXPECT_TRUE(Extract(dir, L"Dados", L"DD"));
  EXPECT_EQ(ReadBytes(scratch.Path(L"V\\Dados\\VARNISCA.FDB")), "the customer's invoices");
  EXPECT_FALSE(Exists(dir + L"Dados.descompactando"));
}

// The stand-in counts as the real archiver does: a file skipped because it
// exists does not count, and when nothing counted it ends with code 10.
// Folder entries of the archive count even when the folder exists.
TEST_F(Archives, ArchiverCountsOnlyWhatItWrote) {
  const std::wstring dir = scratch.Path(L"V\\");
  Download(dir);
  const auto run = [&](const std::wstring& archive, const std::wstring& destination, bool skipExisting) {
    const std::wstring line = QuoteArgument(kArchiver) + L" x " + (skipExisting ? L"-o- " : L"") + L"-y " +
                              QuoteArgument(dir + archive) + L" " + QuoteArgument(destination);
    Started archiver = processes.Start(line, /*hidden=*/true);
    EXPECT_NE(archiver.process, nullptr);
    if (archiver.process == nullptr || !archiver.process->Wait(60000)) return 999u;
    return archiver.process->ExitCode();
  };
  EXPECT_EQ(run(L"Dados.rar", dir + L"Dados\\", true), 0u);   // every file new
  EXPECT_EQ(run(L"Dados.rar", dir + L"Dados\\", true), 10u);  // every file there: no files to extract
  EXPECT_EQ(run(L"Dados.rar", dir + L"Dados\\", false), 0u);  // replaced: they count
  scratch.Write(L"V\\Dados\\LEIA-ME.txt", "ours");
  DeleteFileW((dir + L"Dados\\VARNISCA.FDB").c_str());
  EXPECT_EQ(run(L"Dados.rar", dir + L"Dados\\", true), 0u);   // one written, one skipped
  EXPECT_EQ(ReadBytes(dir + L"Dados\\LEIA-ME.txt"), "ours");
  // The reports archive holds its folder as an entry: that counts, so a
  // second extraction that skips every file still ends with 0.
  EXPECT_EQ(run(L"Relatorios.rar", dir, true), 0u);
  EXPECT_EQ(run(L"Relatorios.rar", dir, true), 0u);
}

// A file over 1,000,000 bytes is given its full length before its data is
// written: an archiver ended in the middle leaves a file of the full size
// whose tail is zeros.
TEST_F(Archives, ArchiverPresizesALargeFileBeforeItsData) {
  const std::wstring dir = scratch.Path(L"V\\");
  Download(dir);
  DeleteFileW(L"C:\\standin\\archiver.holding");
  DeleteFileW(L"C:\\standin\\archiver.go");
  Scratch::WriteAbsolute(L"C:\\standin\\archiver.ini", "[archiver]\r\nhold=131072\r\n");
  const std::wstring line = QuoteArgument(kArchiver) + L" x -y " + QuoteArgument(dir + L"Dados.rar") + L" " +
                            QuoteArgument(dir + L"Dados\\");
  Started archiver = processes.Start(line, /*hidden=*/true);
  ASSERT_NE(archiver.process, nullptr);
  const auto holding = [] { return GetFileAttributesW(L"C:\\standin\\archiver.holding") != INVALID_FILE_ATTRIBUTES; };
  for (int i = 0; i < 1200 && !holding(); ++i) Sleep(50);
  ASSERT_TRUE(holding()) << "the archiver never reached the middle of the database";

  // The archiver holds the file open, so its size is read from the folder.
  WIN32_FILE_ATTRIBUTE_DATA partial{};
  ASSERT_TRUE(GetFileAttributesExW((dir + L"Dados\\VARNISCA.FDB").c_str(), GetFileExInfoStandard, &partial));
  EXPECT_EQ(partial.nFileSizeLow, 8u * 1024 * 1024);  // the full size already
  archiver.process->Terminate();  // a close, a power cut
  ASSERT_TRUE(archiver.process->Wait(10000));
  const std::string left = ReadBytes(dir + L"Dados\\VARNISCA.FDB");
  EXPECT_EQ(left.size(), 8u * 1024 * 1024);
  EXPECT_EQ(left.find_first_not_of('\0', 131072), std::string::npos);
  DeleteFileW(L"C:\\standin\\archiver.holding");
}

// An antivirus holds an archive it is scanning; the clean-up tries it again
// and removes it once it is let go.
TEST_F(Archives, HeldArchiveIsRemovedOnceLetGo) {
  const std::wstring dir = scratch.Path(L"V\\");
  Download(dir);
  state.DirSistema = dir;
  const HANDLE held = CreateFileW((dir + L"Kestrimo.rar").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ASSERT_FALSE(DeleteFileW((dir + L"Kestrimo.rar").c_str()));
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  std::thread scanner([held] {
    Sleep(1500);
    CloseHandle(held);
  });
  ArchiverExtraction waiting{state, files, processes, waits, clock, window, pump};
  waiting.DeletaArquivosRAR();
  scanner.join();
  for (const wchar_t* name : kArchivesToDelete) EXPECT_FALSE(Exists(dir + name)) << Utf8(name);
}

// The honest stand-in, as the real archiver: a last argument without its
// backslash is a file mask, and one that matches nothing extracts nothing.
TEST_F(Archives, ArchiverReadsALastArgumentWithoutBackslashAsAMask) {
  const std::wstring dir = scratch.Path(L"V\\");
  Download(dir);
  const std::wstring line = QuoteArgument(kArchiver) + L" x -y " + QuoteArgument(dir + L"Dados.rar") + L" " +
                            QuoteArgument(dir + L"Dados");
  Started archiver = processes.Start(line, /*hidden=*/true);
  ASSERT_NE(archiver.process, nullptr);
  ASSERT_TRUE(archiver.process->Wait(60000));
  EXPECT_EQ(archiver.process->ExitCode(), 10u);  // no files to extract
  EXPECT_FALSE(Exists(dir + L"Dados\\VARNISCA.FDB"));
}

// Without -y it waits on a question nobody sees; a stopped run ends it.
TEST_F(Archives, StoppedRunEndsTheArchiverItWaitsFor) {
  const std::wstring dir = scratch.Path(L"V\\");
  Download(dir);
  CreateDirectoryW(scratch.Path(L"V\\Relatorios").c_str(), nullptr);
  scratch.Write(L"V\\Relatorios\\Vendas.fr3", "an older report");
  const std::wstring line =
      QuoteArgument(kArchiver) + L" x " + QuoteArgument(dir + L"Relatorios.rar") + L" " + QuoteArgument(dir);
  Started archiver = processes.Start(line, /*hidden=*/true);
  ASSERT_NE(archiver.process, nullptr);
  EXPECT_FALSE(archiver.process->Wait(3000));  // still asking
  archiver.process->Terminate();
  EXPECT_TRUE(archiver.process->Wait(0));
  EXPECT_EQ(archiver.process->ExitCode(), 255u);
  EXPECT_EQ(ReadBytes(scratch.Path(L"V\\Relatorios\\Vendas.fr3")), "an older report");
}

TEST_F(Archives, DeletingPausesOnlyForWhatItRemoves) {
  const std::wstring dir = scratch.Path(L"V\\");
  CreateDirectoryW(dir.c_str(), nullptr);
  state.DirSistema = dir;
  extraction.DeletaArquivosRAR();
  EXPECT_TRUE(pauses.sleeps.empty());
  EXPECT_EQ(window.pumps, 9);

  Download(dir);
  scratch.Write(L"V\\Quilmarde.ini", "[GERAL]\r\n");
  extraction.DeletaArquivosRAR();
  EXPECT_EQ(pauses.sleeps, std::vector<unsigned>(9, 900));
  for (const wchar_t* name : kArchivesToDelete) EXPECT_FALSE(Exists(dir + name)) << Utf8(name);
  EXPECT_TRUE(Exists(dir + L"Quilmarde.ini"));
}

TEST(Setups, ExitCodeDecidesAndNamesAreExact) {
  Scratch scratch;
  win32::Win32FileSystem files;
  win32::Win32Processes processes;
  NoWindow window;
  RunControl pump{window};
  win32::Win32Pauses clock;
  PumpedWaits waits{pump, clock};
  SetupRunner setups(files, processes, waits, clock);
  std::string ini;
  for (int code : {0, 3010, 1641, 1, 2, 5}) {
    const std::wstring name = L"exit" + std::to_wstring(code) + L".exe";
    Copy(StandIn(L"setup-standin.exe"), scratch.Path(L"Com Espaço\\" + name));
    ini += "[" + Utf8(name) + "]\r\nexit=" + std::to_string(code) + "\r\n";
  }
  CreateDirectoryW(L"C:\\standin", nullptr);
  Scratch::WriteAbsolute(L"C:\\standin\\setups.ini", ini);
  for (int code : {0, 3010, 1641, 1, 2, 5}) {
    SCOPED_TRACE(code);
    const std::wstring path = scratch.Path(L"Com Espaço\\exit" + std::to_wstring(code) + L".exe");
    EXPECT_EQ(setups.InstalarAplicativo(L"Firebird", path), code == 0 || code == 3010 || code == 1641);
  }
  const std::wstring ok = scratch.Path(L"Com Espaço\\exit0.exe");
  EXPECT_FALSE(setups.InstalarAplicativo(L"FIREBIRD", ok));
  EXPECT_FALSE(setups.InstalarAplicativo(L"winrar", scratch.Path(L"Com Espaço\\")));
  EXPECT_FALSE(setups.InstalarAplicativo(L"Winrar", scratch.Path(L"Com Espaço\\")));  // no Winrar.exe
}

// An antivirus holds the setup it has just seen extracted for a few seconds;
// the start is tried again until it is let go, and the setup counts as
// installed. (Wine answers "file not found" for the held file, where
// Windows says "sharing violation"; both are taken as held.)
TEST(Setups, SetupHeldForAFewSecondsIsStartedOnceLetGo) {
  Scratch scratch;
  win32::Win32FileSystem files;
  win32::Win32Processes processes;
  NoWindow window;
  RunControl pump{window};
  win32::Win32Pauses clock;
  PumpedWaits waits{pump, clock};
  SetupRunner setups(files, processes, waits, clock);
  const std::wstring program = scratch.Path(L"Ferramentas\\ACBRMonitor.exe");
  Copy(StandIn(L"setup-standin.exe"), program);
  CreateDirectoryW(L"C:\\standin", nullptr);
  Scratch::WriteAbsolute(L"C:\\standin\\setups.ini", "[ACBRMonitor.exe]\r\nexit=0\r\n");
  DeleteFileW(L"C:\\standin\\setups.log");
  const HANDLE held = CreateFileW(program.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ASSERT_FALSE(processes.Start(QuoteArgument(program), false).process);  // held: it cannot start
  std::thread scanner([held] {
    Sleep(5000);
    CloseHandle(held);
  });
  EXPECT_TRUE(setups.InstalarAplicativo(L"ACBrNFeMonitor", program));
  scanner.join();
  EXPECT_GT(window.pumps, 0);  // the window was served while the file was held
  EXPECT_NE(ReadBytes(L"C:\\standin\\setups.log").find("ACBRMonitor.exe"), std::string::npos);
}

// The start through the elevation prompt (Wine has no prompt and starts the
// program as it is): waited for, and its exit code read back.
TEST(Setups, ElevatedStartIsWaitedForAndReportsItsExitCode) {
  Scratch scratch;
  win32::Win32Processes processes;
  const std::wstring program = scratch.Path(L"Com Espaço\\elevated.exe");
  Copy(StandIn(L"setup-standin.exe"), program);
  CreateDirectoryW(L"C:\\standin", nullptr);
  Scratch::WriteAbsolute(L"C:\\standin\\setups.ini", "[elevated.exe]\r\ndelay=1500\r\nexit=3010\r\n");
  Started setup = processes.StartElevated(program);
  ASSERT_NE(setup.process, nullptr) << "error " << setup.error;
  EXPECT_FALSE(setup.process->Wait(200));  // it takes its time
  EXPECT_TRUE(setup.process->Wait(Process::kForever));
  EXPECT_EQ(setup.process->ExitCode(), 3010u);

  Started missing = processes.StartElevated(scratch.Path(L"nowhere.exe"));
  EXPECT_EQ(missing.process, nullptr);
  EXPECT_EQ(missing.error, 2u);  // file not found
}

TEST(Shortcut, ReadsBackThroughTheShellAndLnkinfo) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  Scratch scratch;
  win32::Win32Shell shell;
  ProgramState state;
  state.DirSistema = L"C:\\VARNISCA\\";
  DesktopShortcuts shortcuts(state, shell);
  shortcuts.LookUpDesktop();
  ASSERT_FALSE(state.DirDesktop.empty());
  EXPECT_NE(state.DirDesktop.back(), L'\\');
  CreateDirectoryW(L"C:\\VARNISCA", nullptr);
  Scratch::WriteAbsolute(L"C:\\VARNISCA\\Polvarin.exe", "MZ");
  state.DirDesktop = scratch.Path(L"Desk");
  CreateDirectoryW(state.DirDesktop.c_str(), nullptr);
  shortcuts.CriarAtalhos(L"Polvarin");
  const std::wstring lnk = state.DirDesktop + L"\\Polvarin.lnk";
  ASSERT_TRUE(Exists(lnk));

  const ShortcutFields fields = ReadShortcut(lnk);
  ASSERT_TRUE(fields.loaded);
  EXPECT_EQ(fields.target, L"C:\\VARNISCA\\Polvarin.exe");
  EXPECT_EQ(fields.workingDirectory, L"C:\\VARNISCA\\");
  EXPECT_EQ(fields.description, L"Varnisca Polvarin");
  EXPECT_EQ(fields.arguments, L"");

  std::string info;
  ASSERT_EQ(standin::RunUnixCommand("lnkinfo " + standin::ShellQuote(standin::UnixPathOf(lnk)), &info), 0)
      << info;
  EXPECT_NE(info.find("Description\t\t\t: Varnisca Polvarin"), std::string::npos) << info;
  EXPECT_NE(info.find("Working directory\t\t: C:\\VARNISCA\\"), std::string::npos) << info;
  EXPECT_NE(info.find("C:\\VARNISCA\\Polvarin.exe"), std::string::npos) << info;
  // Wine stores the empty argument text; either way there are no arguments.
  const auto arguments = info.find("Command line arguments");
  if (arguments != std::string::npos) {
    EXPECT_EQ(info.substr(arguments, info.find('\n', arguments) - arguments),
              "Command line arguments\t\t: ");
  }
  CoUninitialize();
}

}  // namespace
}  // namespace pravonell::testing
