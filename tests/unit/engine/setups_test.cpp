#include "engine/setups.h"

#include <gtest/gtest.h>

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
    SetupRunner setups(files, processes);
    EXPECT_EQ(setups.InstalarAplicativo(row.nome, row.path), row.result);
    if (row.started) {
      EXPECT_EQ(Lines(log), Lines({row.started, "wait forever", "handles closed"}));
    } else {
      EXPECT_TRUE(log.empty());
    }
  }
}

TEST(InstalarAplicativo, SetupThatWindowsRefusesGivesFalse) {
  World world;
  world.files = {L"C:\\V\\Winrar.exe"};
  FakeRunPorts files(world);
  std::vector<std::string> log;
  FakeProcesses processes(log);
  processes.startable = false;
  EXPECT_FALSE(SetupRunner(files, processes).InstalarAplicativo(L"Winrar", L"C:\\V\\"));
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
