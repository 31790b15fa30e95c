#include "engine/extraction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "engine/command_line.h"
#include "tests/fakes/fake_processes.h"
#include "tests/fakes/run_fakes.h"

namespace pravonell::testing {
namespace {

TEST(QuoteArgument, StandardWindowsRules) {
  const struct {
    const wchar_t* in;
    const wchar_t* out;
  } rows[] = {
      {L"C:\\VARNISCA\\", L"C:\\VARNISCA\\"},
      {L"Kestrimo.exe", L"Kestrimo.exe"},
      {L"C:\\Program Files\\WinRAR\\Winrar.exe", L"\"C:\\Program Files\\WinRAR\\Winrar.exe\""},
      {L"C:\\Minha Empresa\\", L"\"C:\\Minha Empresa\\\\\""},  // the final backslash is doubled
      {L"a\\\\b c", L"\"a\\\\b c\""},                          // inner backslashes stay
      {L"say \"hi\"", L"\"say \\\"hi\\\"\""},
      {L"", L"\"\""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Utf8(row.in));
    EXPECT_EQ(QuoteArgument(row.in), row.out);
  }
}

TEST(ArchiverCommandLine, ThreeFormsByMode) {
  const struct {
    const wchar_t* origem;
    const wchar_t* destino;
    const wchar_t* tipo;
    bool win64;
    const char* line;
  } rows[] = {
      {L"C:\\VARNISCA\\Kestrimo", L"C:\\VARNISCA\\", L".exe", true,
       "\"C:\\Program Files\\WinRAR\\Winrar.exe\" x -y C:\\VARNISCA\\Kestrimo.rar Kestrimo.exe C:\\VARNISCA\\"},
      {L"C:\\VARNISCA\\Polvarin", L"C:\\VARNISCA\\", L".exe", false,
       "\"C:\\Program Files (x86)\\WinRAR\\Winrar.exe\" x -y C:\\VARNISCA\\Polvarin.rar Polvarin.exe C:\\VARNISCA\\"},
      {L"C:\\VARNISCA\\Dados", L"C:\\VARNISCA\\", L"DD", true,
       "\"C:\\Program Files\\WinRAR\\Winrar.exe\" x -y C:\\VARNISCA\\Dados.rar C:\\VARNISCA\\Dados.descompactando\\"},
      {L"C:\\VARNISCA\\Relatorios", L"C:\\VARNISCA\\", L"R", true,
       "\"C:\\Program Files\\WinRAR\\Winrar.exe\" x -y C:\\VARNISCA\\Relatorios.rar C:\\VARNISCA\\"},
      {L"C:\\VARNISCA\\Kestrimo", L"C:\\VARNISCA\\", L".EXE", true,  // case-sensitive: last form
       "\"C:\\Program Files\\WinRAR\\Winrar.exe\" x -y C:\\VARNISCA\\Kestrimo.rar C:\\VARNISCA\\"},
      {L"C:\\VARNISCA\\Dados", L"C:\\VARNISCA\\", L"dd", true,
       "\"C:\\Program Files\\WinRAR\\Winrar.exe\" x -y C:\\VARNISCA\\Dados.rar C:\\VARNISCA\\"},
      {L"D:\\Minha Empresa\\ERP\\Kestrimo", L"D:\\Minha Empresa\\ERP\\", L".exe", true,
       "\"C:\\Program Files\\WinRAR\\Winrar.exe\" x -y \"D:\\Minha Empresa\\ERP\\Kestrimo.rar\" "
       "Kestrimo.exe \"D:\\Minha Empresa\\ERP\\\\\""},
      {L"D:\\Minha Empresa\\Dados", L"D:\\Minha Empresa\\", L"DD", true,
       "\"C:\\Program Files\\WinRAR\\Winrar.exe\" x -y \"D:\\Minha Empresa\\Dados.rar\" "
       "\"D:\\Minha Empresa\\Dados.descompactando\\\\\""},  // a final backslash inside quotes is doubled
      {L"X:Kestrimo", L"X:", L".exe", true,  // the file piece follows a colon too
       "\"C:\\Program Files\\WinRAR\\Winrar.exe\" x -y X:Kestrimo.rar Kestrimo.exe X:"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    EXPECT_EQ(Utf8(ArchiverExtraction::CommandLine(row.origem, row.destino, row.tipo, row.win64)),
              row.line);
  }
}

struct ExtractionFixture {
  explicit ExtractionFixture(World world = {}) : fake(std::move(world)) {}
  FakeRunPorts fake;
  FakeProcesses processes{fake.log};
  ProgramState state;
  RunControl pump{fake};
  // Slices of a second, so a pause of the clean-up is one slice in the log.
  PumpedWaits waits{pump, fake, 1000};
  ArchiverExtraction extraction{state, fake, processes, waits, fake, fake, pump};
};

TEST(DescompactarWINRAR, WaitsForTheArchiverWhilePumpingAndReportsItsOutcome) {
  for (std::uint32_t exitCode : {0u, 1u, 3u}) {
    SCOPED_TRACE(exitCode);
    ExtractionFixture f;
    f.state.DirSistema = L"C:\\VARNISCA\\";
    f.processes.waitsBeforeEnd = 2;
    f.processes.exitCode = exitCode;
    EXPECT_EQ(f.extraction.DescompactarWINRAR(L"C:\\VARNISCA\\Relatorios", L"C:\\VARNISCA\\", L"R", true),
              exitCode == 0);
    EXPECT_EQ(Lines(f.fake.log),
              Lines({"start hidden \"C:\\Program Files\\WinRAR\\Winrar.exe\" x "
                     "-y C:\\VARNISCA\\Relatorios.rar C:\\VARNISCA\\",
                     "wait 1000", "ProcessMessages", "wait 1000", "ProcessMessages", "wait 1000",
                     "handles closed"}));
  }
}

// A start that fails for a passing reason (Wine's "internal error" of a
// process that ended while it was being made, the system short of memory, a
// file an antivirus holds) is tried again, serving the window; one that
// fails for good says why, and only after the bound when the reason passes.
TEST(DescompactarWINRAR, ArchiverThatDoesNotStartIsTriedAgainOrSaysWhy) {
  const std::wstring archiver = L"C:\\Program Files (x86)\\WinRAR\\Winrar.exe";
  const struct {
    const char* name;
    bool archiverThere;
    std::vector<std::uint32_t> firstErrors;
    std::uint32_t thenError;
    bool result;
    long starts;
    std::string failure;
  } rows[] = {
      {"a start the system could not finish, once", true, {1359}, 0, true, 2, ""},
      {"short of memory, then fine", true, {8, 1450}, 0, true, 3, ""},
      {"held by an antivirus (Wine: not found, although there)", true, {32, 2}, 0, true, 3, ""},
      {"the archiver is not there", false, {}, 2, false, 1, "código 2"},
      {"not a program", true, {}, 193, false, 1, "código 193"},
      {"an internal error that does not pass", true, {}, 1359, false, -1, "código 1359"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    World world;
    if (row.archiverThere) world.files = {archiver};
    ExtractionFixture f(world);
    f.processes.firstStartErrors = row.firstErrors;
    f.processes.startError = row.thenError;
    EXPECT_EQ(f.extraction.DescompactarWINRAR(L"C:\\V\\DLL", L"C:\\V\\", L"D", false), row.result);
    EXPECT_EQ(Utf8(f.extraction.ArchiverStartFailure()), row.failure);
    const long starts = std::count_if(f.fake.log.begin(), f.fake.log.end(),
                                      [](const std::string& line) { return line.rfind("start hidden", 0) == 0; });
    if (row.starts >= 0) {
      EXPECT_EQ(starts, row.starts);
    } else {
      EXPECT_GE(f.fake.NowMs(), 45000u);  // given up only after the bound
      EXPECT_LT(f.fake.NowMs(), 46000u);
    }
    if (row.result) {
      EXPECT_GE(std::count(f.fake.log.begin(), f.fake.log.end(), "ProcessMessages"), 1);
    }
  }
}

TEST(DescompactarWINRAR, StopWhileWaitingEndsTheArchiver) {
  ExtractionFixture f;
  f.state.DirSistema = L"C:\\V\\";
  f.processes.waitsBeforeEnd = 5;
  f.fake.CloseAtNextPump(f.pump);
  EXPECT_THROW(f.extraction.DescompactarWINRAR(L"C:\\V\\DLL", L"C:\\V\\", L"D", false), RunStopped);
  EXPECT_EQ(Lines(f.fake.log),
            Lines({"start hidden \"C:\\Program Files (x86)\\WinRAR\\Winrar.exe\" x -y C:\\V\\DLL.rar C:\\V\\",
                   "wait 1000", "ProcessMessages", "terminate", "handles closed"}));
}

TEST(DescompactarWINRAR, DadosFolderIsMadeWhenMissing) {
  const struct {
    const char* name;
    bool exists;
    bool creatable;
    bool started;
    std::vector<std::string> first;
  } rows[] = {
      {"folder there", true, true, true, {"DirectoryExists C:\\V\\Dados"}},
      {"folder made", false, true, true,
       {"DirectoryExists C:\\V\\Dados", "ForceDirectories C:\\V\\Dados"}},
      {"folder cannot be made", false, false, false,
       {"DirectoryExists C:\\V\\Dados", "ForceDirectories C:\\V\\Dados",
        "Message: Não foi possível criar a pasta do Banco de Dados"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    World world;
    if (row.exists) world.directories = {L"C:\\V\\Dados"};
    world.forceDirectoriesWorks = row.creatable;
    ExtractionFixture f(world);
    f.state.DirSistema = L"C:\\V\\";
    EXPECT_EQ(f.extraction.DescompactarWINRAR(L"C:\\V\\Dados", L"C:\\V\\", L"DD", true), row.started);
    std::vector<std::string> first(f.fake.log.begin(),
                                   f.fake.log.begin() + std::min(f.fake.log.size(), row.first.size()));
    EXPECT_EQ(first, row.first);
    const bool started = std::any_of(f.fake.log.begin(), f.fake.log.end(),
                                     [](const std::string& line) { return line.rfind("start hidden", 0) == 0; });
    EXPECT_EQ(started, row.started);
  }
}

// The database archive is unpacked into a folder of its own, emptied first
// (an interrupted extraction may have left a half-written file there), and
// only what Dados lacks is moved in: a file there is never replaced. What
// the archiver answers decides nothing about files it skipped, since it
// skips none in an empty folder; any failure leaves Dados as it was.
TEST(DescompactarWINRAR, DatabaseIsUnpackedAsideAndOnlyWhatDadosLacksIsMovedIn) {
  const std::wstring dados = L"C:\\V\\Dados", staging = L"C:\\V\\Dados.descompactando";
  const struct {
    const char* name;
    std::uint32_t exitCode;
    bool result;
  } rows[] = {{"extracted", 0, true}, {"archiver failed", 2, false}, {"nothing extracted", 10, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    World world;
    world.directories = {dados, staging};
    ExtractionFixture f(world);
    f.state.DirSistema = L"C:\\V\\";
    f.fake.Put(dados + L"\\VARNISCA.FDB", "the customer's invoices");
    f.fake.Put(staging + L"\\VARNISCA.FDB", "half-written, zeros after");  // left by a cut extraction
    f.processes.exitCode = row.exitCode;
    f.processes.onStart = [&](const std::wstring&) {
      EXPECT_FALSE(f.fake.HasFile(staging + L"\\VARNISCA.FDB")) << "not emptied first";
      if (row.exitCode == 2) return;
      f.fake.Put(staging + L"\\VARNISCA.FDB", "served database");
      f.fake.Put(staging + L"\\LEIA-ME.txt", "served notes");
      f.fake.PutFolder(staging + L"\\Modelos");
      f.fake.Put(staging + L"\\Modelos\\Vazio.FDB", "served template");
    };
    EXPECT_EQ(f.extraction.DescompactarWINRAR(L"C:\\V\\Dados", L"C:\\V\\", L"DD", true), row.result);
    EXPECT_EQ(f.fake.written[dados + L"\\VARNISCA.FDB"], "the customer's invoices");
    EXPECT_EQ(f.fake.HasFile(dados + L"\\LEIA-ME.txt"), row.result);
    if (row.result) {
      EXPECT_EQ(f.fake.written[dados + L"\\LEIA-ME.txt"], "served notes");
      EXPECT_EQ(f.fake.written[dados + L"\\Modelos\\Vazio.FDB"], "served template");
      EXPECT_FALSE(f.fake.HasFolder(staging));  // removed once emptied into Dados
      EXPECT_FALSE(f.fake.HasFile(staging + L"\\VARNISCA.FDB"));
    }
    const auto start = std::find_if(f.fake.log.begin(), f.fake.log.end(),
                                    [](const std::string& line) { return line.rfind("start hidden", 0) == 0; });
    ASSERT_NE(start, f.fake.log.end());
    EXPECT_EQ(*start, "start hidden \"C:\\Program Files\\WinRAR\\Winrar.exe\" x -y C:\\V\\Dados.rar "
                      "C:\\V\\Dados.descompactando\\");
  }
}

// Nothing else on the PC can turn the database's move against it: a link
// where the staging folder goes (anyone may make one in the installation
// folder) is removed as a link, and the folder it leads to keeps every
// file; a link inside the staging folder is neither followed nor moved into
// Dados; Dados itself, or a folder in it, as a link stops the run before
// anything is written through it; a folder that cannot be listed or
// emptied stops the run with its reason rather than pass for moved.
TEST(DescompactarWINRAR, LinksAndFoldersThatCannotBeReadNeverTurnTheMoveAgainstThePc) {
  const std::wstring dados = L"C:\\V\\Dados", staging = L"C:\\V\\Dados.descompactando";
  const std::wstring elsewhere = L"C:\\Users\\ana\\Documents";
  const struct {
    const char* name;
    std::function<void(World&)> arrange;
    std::string error;  // "" when the extraction goes through
  } rows[] = {
      {"the staging folder is a junction to another folder",
       [&](World& w) { w.links[staging] = elsewhere; }, ""},
      {"a link inside the staging folder",
       [&](World& w) {
         w.directories.insert(staging);
         w.links[staging + L"\\Modelos"] = elsewhere;
       },
       ""},
      {"Dados is a link",
       [&](World& w) {
         w.directories.erase(dados);
         w.links[dados] = elsewhere;
       },
       "A pasta C:\\V\\Dados leva a outro lugar (é um link). Por segurança, o Pravonell não grava através de links "
       "que não criou: troque-o por uma pasta comum e execute o Pravonell novamente."},
      {"a folder in Dados is a link",
       [&](World& w) { w.links[dados + L"\\Modelos"] = elsewhere; },
       "A pasta C:\\V\\Dados\\Modelos leva a outro lugar (é um link). Por segurança, o Pravonell não grava através "
       "de links que não criou: troque-o por uma pasta comum e execute o Pravonell novamente."},
      {"a folder of the archive cannot be listed",
       [&](World& w) { w.unreadableFolders.insert(staging + L"\\Modelos"); },
       "Cannot read the folder \"C:\\V\\Dados.descompactando\\Modelos\"."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    World world;
    world.directories = {dados};
    world.files = {elsewhere + L"\\Contrato.docx"};
    row.arrange(world);
    ExtractionFixture f(world);
    f.state.DirSistema = L"C:\\V\\";
    f.processes.onStart = [&](const std::wstring&) {
      f.fake.Put(staging + L"\\VARNISCA.FDB", "served database");
      f.fake.PutFolder(staging + L"\\Modelos");
      f.fake.Put(staging + L"\\Modelos\\Vazio.FDB", "served template");
    };
    std::string error;
    bool extracted = false;
    try {
      extracted = f.extraction.DescompactarWINRAR(L"C:\\V\\Dados", L"C:\\V\\", L"DD", true);
    } catch (const Error& e) {
      error = Utf8(e.message());
    }
    EXPECT_EQ(error, row.error);
    EXPECT_EQ(extracted, row.error.empty());
    EXPECT_TRUE(f.fake.HasFile(elsewhere + L"\\Contrato.docx")) << "a file where a link led is gone";
    EXPECT_FALSE(f.fake.HasFile(elsewhere + L"\\VARNISCA.FDB")) << "written through a link";
    EXPECT_FALSE(f.fake.HasFile(elsewhere + L"\\Vazio.FDB")) << "written through a link";
    if (row.error.empty()) {
      EXPECT_EQ(f.fake.written[dados + L"\\VARNISCA.FDB"], "served database");
      EXPECT_FALSE(f.fake.IsLink(staging));
      EXPECT_FALSE(f.fake.HasFolder(staging));
    }
  }
  // The staging folder that cannot be emptied once the database is in.
  World world;
  world.directories = {dados};
  ExtractionFixture f(world);
  f.state.DirSistema = L"C:\\V\\";
  f.processes.onStart = [&](const std::wstring&) {
    f.fake.Put(staging + L"\\VARNISCA.FDB", "served database");
    f.fake.world().unremovableFolders.insert(staging);
  };
  EXPECT_THROW(f.extraction.DescompactarWINRAR(L"C:\\V\\Dados", L"C:\\V\\", L"DD", true), Error);
}

TEST(DeletaArquivosRAR, DeletesTheNineInOrderPausingOnlyAfterARemoval) {
  std::vector<std::string> expected;
  for (const char* name : {"Kestrimo.rar", "Polvarin.rar", "Thandrel.rar", "Wembrisco.rar", "Dados.rar",
                           "DLL.rar", "Ferramentas.rar", "Relatorios.rar", "Eletronicos.rar"}) {
    expected.push_back(std::string("RemoveFile C:\\V\\") + name);
    if (std::string(name) != "DLL.rar") {
      expected.push_back("Sleep 900");  // the pause after a removal serves the window too
      expected.push_back("ProcessMessages");
    }
    expected.push_back("ProcessMessages");
  }
  World world;
  for (const wchar_t* name : kArchivesToDelete) {
    if (std::wstring(name) != L"DLL.rar") world.files.insert(std::wstring(L"C:\\V\\") + name);
  }
  ExtractionFixture f(world);
  f.state.DirSistema = L"C:\\V\\";
  f.extraction.DeletaArquivosRAR();
  EXPECT_EQ(Lines(f.fake.log), Lines(expected));
}

// An archive an antivirus is still scanning cannot be removed for a while;
// it is tried again, pumping, and one that stays held is left in place.
TEST(DeletaArquivosRAR, HeldArchiveIsTriedAgainForAWhile) {
  struct HeldFiles final : FakeRunPorts {
    using FakeRunPorts::FakeRunPorts;
    int heldTries = 0;  // removals answered "sharing violation" first; -1 for ever
    std::uint32_t RemoveFile(const std::wstring& path) override {
      if (path.find(L"Kestrimo.rar") != std::wstring::npos && heldTries != 0) {
        if (heldTries > 0) --heldTries;
        Add("RemoveFile held " + Utf8(path));
        return kErrorSharingViolation;
      }
      return FakeRunPorts::RemoveFile(path);
    }
  };
  for (int held : {3, -1}) {
    SCOPED_TRACE(held);
    World world;
    world.files = {L"C:\\V\\Kestrimo.rar"};
    HeldFiles fake(world);
    fake.heldTries = held;
    FakeProcesses processes(fake.log);
    ProgramState state;
    state.DirSistema = L"C:\\V\\";
    RunControl pump(fake);
    PumpedWaits waits(pump, fake, 1000);
    ArchiverExtraction extraction(state, fake, processes, waits, fake, fake, pump);
    extraction.DeletaArquivosRAR();
    const auto tries = std::count(fake.log.begin(), fake.log.end(), "RemoveFile held C:\\V\\Kestrimo.rar");
    if (held > 0) {
      EXPECT_EQ(tries, held);
      EXPECT_FALSE(fake.HasFile(L"C:\\V\\Kestrimo.rar"));
    } else {
      EXPECT_TRUE(fake.HasFile(L"C:\\V\\Kestrimo.rar"));
      EXPECT_GE(fake.NowMs(), 45000u);  // given up only after the bound
      EXPECT_LT(fake.NowMs(), 46000u);
    }
    // The next archives are still removed.
    EXPECT_NE(std::find(fake.log.begin(), fake.log.end(), "RemoveFile C:\\V\\Eletronicos.rar"), fake.log.end());
  }
}

}  // namespace
}  // namespace pravonell::testing
