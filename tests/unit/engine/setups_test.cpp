#include "engine/setups.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/fakes/fake_processes.h"
#include "tests/fakes/run_fakes.h"

namespace pravonell::testing {
namespace {

TEST(InstalarAplicativo, ProgramByNameAndOutcomeByExitCode) {
  const struct {
    const char* name;
    const wchar_t* nome;
    const wchar_t* path;
    std::uint32_t exitCode;
    bool result;
    const char* started;  // nullptr when nothing may start
  } rows[] = {
      {"WinRAR", L"Winrar", L"C:\\VARNISCA\\", 0, true, "start C:\\VARNISCA\\Winrar.exe"},
      {"Firebird", L"Firebird", L"C:\\VARNISCA\\Ferramentas\\Firebird\\Firebird50-64.exe", 0, true,
       "start C:\\VARNISCA\\Ferramentas\\Firebird\\Firebird50-64.exe"},
      {"restart needed", L"ACBrNFeMonitor", L"C:\\VARNISCA\\Ferramentas\\ACBRMonitor.exe", 3010, true,
       "start C:\\VARNISCA\\Ferramentas\\ACBRMonitor.exe"},
      {"restart started", L"Firebird", L"C:\\VARNISCA\\Ferramentas\\Firebird\\Firebird50-64.exe", 1641,
       true, "start C:\\VARNISCA\\Ferramentas\\Firebird\\Firebird50-64.exe"},
      {"failed", L"Firebird", L"C:\\VARNISCA\\Ferramentas\\Firebird\\Firebird50-64.exe", 1, false,
       "start C:\\VARNISCA\\Ferramentas\\Firebird\\Firebird50-64.exe"},
      {"cancelled", L"ACBrNFeMonitor", L"C:\\VARNISCA\\Ferramentas\\ACBRMonitor.exe", 1602, false,
       "start C:\\VARNISCA\\Ferramentas\\ACBRMonitor.exe"},
      {"blank in the path is quoted", L"Winrar", L"D:\\Minha Empresa\\", 0, true,
       "start \"D:\\Minha Empresa\\Winrar.exe\""},
      {"name in another case", L"winrar", L"C:\\VARNISCA\\", 0, false, nullptr},
      {"name in capitals", L"FIREBIRD", L"C:\\VARNISCA\\Ferramentas\\Firebird\\Firebird50-64.exe", 0,
       false, nullptr},
      {"missing program", L"Firebird", L"C:\\nowhere.exe", 0, false, nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    World world;
    world.files = {L"C:\\VARNISCA\\Winrar.exe", L"D:\\Minha Empresa\\Winrar.exe",
                   L"C:\\VARNISCA\\Ferramentas\\Firebird\\Firebird50-64.exe",
                   L"C:\\VARNISCA\\Ferramentas\\ACBRMonitor.exe"};
    FakeRunPorts files(world);
    std::vector<std::string> log;
    FakeProcesses processes(log);
    processes.exitCode = row.exitCode;
    processes.waitsBeforeEnd = 2;
    RunControl control(files);
    PumpedWaits waits(control, files);
    SetupRunner setups(files, processes, waits, files);
    EXPECT_EQ(setups.InstalarAplicativo(row.nome, row.path), row.result);
    if (row.started) {
      // Waited for without a limit, the window served between the slices.
      EXPECT_EQ(Lines(log), Lines({row.started, "wait 50", "wait 50", "wait 50", "handles closed"}));
      // Served after each slice, and once more when the setup has ended.
      EXPECT_EQ(std::count(files.log.begin(), files.log.end(), "ProcessMessages"), 3);
    } else {
      EXPECT_TRUE(log.empty());
    }
  }
}

// A setup that asks for administrator rights is refused a plain start (740)
// on a Windows with UAC on; it goes through the elevation prompt, and how it
// ends there decides. Other refusals stay refusals.
TEST(InstalarAplicativo, SetupsThatWindowsRefusesToStart) {
  const struct {
    const char* name;
    std::uint32_t startError;
    std::uint32_t elevatedError;
    std::uint32_t exitCode;
    bool result;
    std::vector<std::string> log;
  } rows[] = {
      {"elevated and installed", 740, 0, 0, true,
       {"start C:\\V\\Winrar.exe", "start elevated C:\\V\\Winrar.exe", "wait 50", "handles closed"}},
      {"elevated, restart needed", 740, 0, 3010, true,
       {"start C:\\V\\Winrar.exe", "start elevated C:\\V\\Winrar.exe", "wait 50", "handles closed"}},
      {"elevated and failed", 740, 0, 1603, false,
       {"start C:\\V\\Winrar.exe", "start elevated C:\\V\\Winrar.exe", "wait 50", "handles closed"}},
      {"elevation declined", 740, 1223, 0, false,
       {"start C:\\V\\Winrar.exe", "start elevated C:\\V\\Winrar.exe"}},
      {"not a program", 193, 0, 0, false, {"start C:\\V\\Winrar.exe"}},
      {"access denied", 5, 0, 0, false, {"start C:\\V\\Winrar.exe"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    World world;
    world.files = {L"C:\\V\\Winrar.exe"};
    FakeRunPorts files(world);
    std::vector<std::string> log;
    FakeProcesses processes(log);
    processes.startError = row.startError;
    processes.elevatedError = row.elevatedError;
    processes.exitCode = row.exitCode;
    RunControl control(files);
    PumpedWaits waits(control, files);
    SetupRunner setups(files, processes, waits, files);
    EXPECT_EQ(setups.InstalarAplicativo(L"Winrar", L"C:\\V\\"), row.result);
    EXPECT_EQ(Lines(log), Lines(row.log));
    // A setup that never ran says why; one that ran, or that the person
    // declined to elevate, leaves that to its own message.
    const std::uint32_t failed = row.elevatedError != 0 ? row.elevatedError : row.startError;
    const bool neverRan = !row.result && failed != 740 && failed != 1223 && row.exitCode == 0;
    EXPECT_EQ(Utf8(setups.SetupStartFailure()), neverRan ? "código " + std::to_string(failed) : "");
  }
}

// A setup file an antivirus is still scanning cannot be started for a while
// (a sharing or lock violation; under Wine, "file not found" for a file that
// is there). The start is tried again, serving the window, for about 45 s.
TEST(InstalarAplicativo, SetupHeldByAnotherProgramIsStartedOnceLetGo) {
  const struct {
    const char* name;
    std::vector<std::uint32_t> firstErrors;
    std::uint32_t thenError;
    bool result;
  } rows[] = {
      {"sharing violation, then free", {32, 32}, 0, true},
      {"lock violation, then free", {33}, 0, true},
      {"file not found although there", {2, 2, 2}, 0, true},
      {"a start the system could not finish", {1359}, 0, true},
      {"short of resources", {1450, 8}, 0, true},
      {"held past the bound", {}, 32, false},
      {"access denied is final", {5}, 0, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    World world;
    world.files = {L"C:\\V\\Ferramentas\\ACBRMonitor.exe"};
    FakeRunPorts files(world);
    std::vector<std::string> log;
    FakeProcesses processes(log);
    processes.firstStartErrors = row.firstErrors;
    processes.startError = row.thenError;
    RunControl control(files);
    PumpedWaits waits(control, files);
    SetupRunner setups(files, processes, waits, files);
    EXPECT_EQ(setups.InstalarAplicativo(L"ACBrNFeMonitor", L"C:\\V\\Ferramentas\\ACBRMonitor.exe"), row.result);
    const auto starts = std::count(log.begin(), log.end(), "start C:\\V\\Ferramentas\\ACBRMonitor.exe");
    if (row.thenError == 0 && row.result) {
      EXPECT_EQ(starts, static_cast<long>(row.firstErrors.size()) + 1);
      EXPECT_GE(std::count(files.log.begin(), files.log.end(), "ProcessMessages"), 1);
    } else if (row.thenError != 0) {
      EXPECT_GE(files.NowMs(), 45000u);  // given up only after the bound
      EXPECT_LT(files.NowMs(), 46000u);
    } else {
      EXPECT_EQ(starts, 1);
    }
  }
}

// A close of the window during a setup does not cut the setup off: the
// run waits for it to end and stops only then.
TEST(InstalarAplicativo, CloseDuringTheSetupWaitsForItsEnd) {
  World world;
  world.files = {L"C:\\V\\Winrar.exe"};
  FakeRunPorts files(world);
  std::vector<std::string> log;
  FakeProcesses processes(log);
  processes.waitsBeforeEnd = 4;
  RunControl control(files);
  files.CloseAtNextPump(control);
  PumpedWaits waits(control, files);
  SetupRunner setups(files, processes, waits, files);
  EXPECT_THROW(setups.InstalarAplicativo(L"Winrar", L"C:\\V\\"), RunStopped);
  EXPECT_EQ(Lines(log), Lines({"start C:\\V\\Winrar.exe", "wait 50", "wait 50", "wait 50", "wait 50", "wait 50",
                               "handles closed"}));
}

TEST(CriarAtalhos, WritesTheShortcutToTheManagementProgram) {
  const struct {
    const wchar_t* dir;
    const wchar_t* sistema;
    const char* link;
  } rows[] = {
      {L"C:\\VARNISCA\\", L"Polvarin",
       "link C:\\Users\\ana\\Desktop\\Polvarin.lnk | Varnisca Polvarin | C:\\VARNISCA\\Polvarin.exe | '' "
       "| C:\\VARNISCA\\"},
      {L"D:\\ERP\\", L"Polvarin.v2",
       "link C:\\Users\\ana\\Desktop\\Polvarin.lnk | Varnisca Polvarin.v2 | D:\\ERP\\Polvarin.v2.exe | '' "
       "| D:\\ERP\\"},
  };
  for (const auto& row : rows) {
    std::vector<std::string> log;
    FakeShell shell(log);
    ProgramState state;
    state.DirSistema = row.dir;
    DesktopShortcuts shortcuts(state, shell);
    shortcuts.LookUpDesktop();
    shortcuts.CriarAtalhos(row.sistema);
    EXPECT_EQ(Lines(log), Lines({row.link}));
  }
}

TEST(CriarAtalhos, NoDesktopFolderMeansNoShortcut) {
  std::vector<std::string> log;
  FakeShell shell(log);
  shell.desktop = L"";
  ProgramState state;
  DesktopShortcuts shortcuts(state, shell);
  shortcuts.LookUpDesktop();
  shortcuts.CriarAtalhos(L"Polvarin");
  EXPECT_TRUE(log.empty());
}

TEST(ChangeFileExt, ReplacesOnlyTheLastPartsExtension) {
  EXPECT_EQ(ChangeFileExt(L"Polvarin", L".lnk"), L"Polvarin.lnk");
  EXPECT_EQ(ChangeFileExt(L"Polvarin.exe", L".lnk"), L"Polvarin.lnk");
  EXPECT_EQ(ChangeFileExt(L"a.b\\Polvarin", L".lnk"), L"a.b\\Polvarin.lnk");
  EXPECT_EQ(ChangeFileExt(L"x.tar.gz", L".lnk"), L"x.tar.lnk");
}

}  // namespace
}  // namespace pravonell::testing
