// The installation run against fakes that record every call in order. Each
// scenario compares the whole recorded run, so a missing, extra or reordered
// step fails it.
#include "engine/installation_run.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/fakes/run_fakes.h"

namespace pravonell::testing {
namespace {

constexpr const char* kDir = "C:\\VARNISCA\\";
constexpr const char* kWinrar64 = "C:\\Program Files\\WinRAR\\Winrar.exe";
constexpr const char* kWinrar32 = "C:\\Program Files (x86)\\WinRAR\\Winrar.exe";
constexpr const char* kFirebird64 = "C:\\Program Files\\Firebird\\Firebird_5_0\\WOW64\\fbclient.dll";
constexpr const char* kAcbr = "C:\\ACBrNFeMonitor\\ACBrNFeMonitor.exe";

struct Row {
  const char* file;
  const char* label;
  const char* url;
};

// The eleven downloads in the order the vendor's files must arrive.
const Row kRows[] = {
    {"Quilmarde.ini", "Baixando Quilmarde.ini", "/uploads/download/file/73/quilmarde.ini"},
    {"Kestrimo.rar", "Baixando Sistema Kestrimo", "/uploads/download/file/59/Kestrimo.7z"},
    {"Polvarin.rar", "Baixando Sistema Polvarin", "/uploads/download/file/22/Polvarin.7z"},
    {"Thandrel.rar", "Baixando Sistema Thandrel", "/uploads/download/file/23/Thandrel.7z"},
    {"Wembrisco.rar", "Baixando Sistema Wembrisco", "/uploads/download/file/21/Wembrisco.7z"},
    {"Dados.rar", "Baixando Banco de Dados", "/uploads/download/file/66/DADOS.7z"},
    {"Relatorios.rar", "Baixando Pasta de Relatórios", "/uploads/download/file/50/Relatorios.7z"},
    {"DLL.rar", "Baixando Pasta de DLL", "/uploads/download/file/75/DLL.rar"},
    {"Eletronicos.rar", "Baixando Pasta de Eletrônicos", "/uploads/download/file/61/Eletronicos.7z"},
    {"Ferramentas.rar", "Baixando Pasta de Ferramentas", "/uploads/download/file/7/Ferramentas.7z"},
    {"fbclient.dll", "Baixando DLL do Firebird", "/uploads/download/file/91/fbclient.dll"},
};

// The nine extractions with their modes.
const std::pair<const char*, const char*> kExtractions[] = {
    {"Kestrimo", ".exe"}, {"Polvarin", ".exe"}, {"Thandrel", ".exe"},
    {"Wembrisco", ".exe"}, {"Dados", "DD"},     {"Relatorios", "R"},
    {"DLL", "D"},         {"Eletronicos", "E"}, {"Ferramentas", "F"}};

Log operator+(Log a, const Log& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::string S(const char* a, const std::string& b) { return std::string(a) + b; }

const std::string kProbe = "CheckURL '' 1";
const Log kShowLabels = {"status: ", "status shown", "module shown"};
const Log kHideLabels = {"status: ", "status hidden", "module hidden"};

constexpr const char* kMark = "INSTALACAO-INCOMPLETA.txt";

// The mark of an unfinished installation, written before anything is fetched.
Log MarkWritten(const std::string& dir = kDir) {
  return {"MakeWritable " + dir + kMark, "Create " + dir + kMark, "Close " + dir + kMark};
}

// A fresh PC: the folder does not exist yet and is created.
Log FreshStart(const std::string& dir = kDir) {
  return Log{"IsWindows32Only", "DirectoryExists " + dir, "ForceDirectories " + dir} + MarkWritten(dir) +
         Log{"IsWindows64"};
}

Log DownloadOf(const Row& row, const std::string& dir = kDir) {
  return {"Create " + dir + row.file, S("module: ", row.label), S("BaixarArquivo ", row.url),
          "Close " + dir + row.file};
}

Log AllDownloads(const std::string& dir = kDir) {
  Log log;
  for (const Row& row : kRows) log = log + DownloadOf(row, dir);
  return log;
}

Log WinrarSetup(const std::string& dir = kDir) {
  return {"Create " + dir + "Winrar.exe",
          "module: Baixando Winrar",
          "status: ",
          "status shown",
          "module shown",
          "BaixarArquivo /uploads/download/file/72/winrar-x64-601br.exe",
          "Close " + dir + "Winrar.exe",
          "status: Aguardando o instalador do WinRAR...",
          "InstalarAplicativo Winrar " + dir};
}

Log Extractions(const std::string& dir = kDir, std::size_t count = 9) {
  Log log = {"Sleep 2000", "module: Descompactando arquivos", "status: aguarde...", "Repaint"};
  for (std::size_t i = 0; i < count; ++i) {
    log.push_back(S("Descompactar ", dir) + kExtractions[i].first + " | " + dir + " | " +
                  kExtractions[i].second + " | 64");
    log.push_back("ProcessMessages");
  }
  return log;
}

const Log kAfterExtraction = {"module: Processo realizado!", "status: Descompactação finalizada.",
                              "Sleep 2000"};

Log FirebirdSetup(const std::string& dir = kDir) {
  return {S("FileExists ", kFirebird64), kProbe, "module: Instalando novo Firebird 5.0",
          "status: Aguardando o instalador do Firebird...",
          "InstalarAplicativo Firebird " + dir + "Ferramentas\\Firebird\\Firebird50-64.exe"};
}
const Log kFirebirdDone = {"module: Instalação do Firebird", "status: concluída com sucesso"};

Log AcbrSetup(const std::string& dir = kDir) {
  return {"Sleep 1000", S("FileExists ", kAcbr), kProbe, "module: Instalando ACBrNFeMonitor",
          "status: Aguardando o instalador do ACBrNFeMonitor...", "InstalarAplicativo ACBrNFeMonitor " + dir + "Ferramentas\\ACBRMonitor.exe"};
}
const Log kAcbrDone = {"module: Instalação do ACBrNFeMonitor", "status: concluída com sucesso"};

Log Finish(const std::string& dir = kDir) {
  return {"module: Criando Atalhos",
          "status: Aguarde...",
          "FileExists " + dir + "Polvarin.exe",
          "CriarAtalhos Polvarin",
          "module: Instalação Concluída.",
          "status: Processo Finalizado",
          "GravarConfiguracao " + dir,
          "DeletaArquivosRAR",
          "RemoveFile " + dir + "INSTALACAO-INCOMPLETA.downloads",
          "MakeWritable " + dir + kMark,
          "RemoveFile " + dir + kMark,
          "Message: Sistema instalado com sucesso. Atalhos foram criados na área de trabalho.",
          "RequestClose"};
}

struct Scenario {
  const char* name;
  World world;
  Log expected;
  std::string error;  // the error that leaves the run, if any
};

World FreshPc(std::vector<bool> probes) {
  World world;
  world.probeAnswers = std::move(probes);
  world.files = {L"C:\\VARNISCA\\Polvarin.exe"};
  return world;
}

std::vector<Scenario> Scenarios() {
  std::vector<Scenario> s;

  {
    World w;
    w.directories = {L"C:\\VARNISCA\\"};
    w.files = {L"C:\\VARNISCA\\Kestrimo.exe"};
    s.push_back({"previous installation closes without probing", w,
                 {"IsWindows32Only", S("DirectoryExists ", kDir), S("FileExists ", kDir) + "Kestrimo.exe",
                  S("FileExists ", kDir) + kMark, "Message: Já existe uma instalação anterior do sistema neste computador!",
                  "RequestClose"}});
  }
  {
    // On 32-bit Windows nothing of the plan would work: nothing is created,
    // probed or fetched.
    World w = FreshPc({true, true});
    w.windows32Only = true;
    s.push_back({"32-bit Windows stops first", w,
                 {"IsWindows32Only", "Message: Este sistema requer o Windows de 64 bits."}});
  }
  {
    World w;
    w.forceDirectoriesWorks = false;
    w.directoryText = L"Q:\\NOWHERE\\";
    s.push_back({"folder that cannot be created", w,
                 {"IsWindows32Only", "DirectoryExists Q:\\NOWHERE\\", "ForceDirectories Q:\\NOWHERE\\",
                  "Message: Não foi possível criar a pasta Varnisca na raiz do C:\\"}});
  }
  {
    // An existing folder without the updater goes on; a typed folder without
    // its final backslash gets one.
    World w = FreshPc({false});
    w.directoryText = L"D:\\ERP";
    w.directories = {L"D:\\ERP\\"};
    w.files.insert(L"C:\\Program Files\\WinRAR\\Winrar.exe");
    s.push_back({"WinRAR present, site down: silent stop after one probe", w,
                 {"IsWindows32Only", "DirectoryExists D:\\ERP\\", "FileExists D:\\ERP\\Kestrimo.exe",
                  "FileExists D:\\ERP\\Quilmarde.ini", "MakeWritable D:\\ERP\\INSTALACAO-INCOMPLETA.txt",
                  "Create D:\\ERP\\INSTALACAO-INCOMPLETA.txt", "Close D:\\ERP\\INSTALACAO-INCOMPLETA.txt",
                  "IsWindows64",
                  S("FileExists ", kWinrar64), kProbe}});
  }
  {
    World w = FreshPc({false, false});
    w.windows64 = false;
    s.push_back({"WinRAR missing, site down: nothing fetched", w,
                 FreshStart() + Log{S("FileExists ", kWinrar32), kProbe, kProbe}});
  }
  {
    World w = FreshPc({true});
    w.setupResults[L"Winrar"] = false;
    s.push_back({"WinRAR setup that fails", w,
                 FreshStart() + Log{S("FileExists ", kWinrar64), kProbe} + WinrarSetup() +
                     kHideLabels +
                     Log{"Message: Winrar não foi instaldo. Execute novamente o sistema Pravonell."}});
  }
  {
    World w = FreshPc({true, true});
    w.failingDownload = L"/uploads/download/file/66/DADOS.7z";
    Log expected = FreshStart() + Log{S("FileExists ", kWinrar64), kProbe} + WinrarSetup() +
                   Log{kProbe} + kShowLabels;
    for (int i = 0; i < 5; ++i) expected = expected + DownloadOf(kRows[i]);
    expected = expected + Log{"Create C:\\VARNISCA\\Dados.rar", "module: Baixando Banco de Dados",
                              "BaixarArquivo /uploads/download/file/66/DADOS.7z",
                              "status: Download Finalizado ...", "Close C:\\VARNISCA\\Dados.rar"};
    s.push_back({"transfer failing on row 6 keeps the file closed and ends the run", w, expected,
                 "HTTP/1.1 500 Internal Server Error"});
  }
  {
    // The disk fills up during the database: what was fetched stays, and the
    // person is told how much room to make.
    World w = FreshPc({true, true});
    w.fullDiskDownload = L"/uploads/download/file/66/DADOS.7z";
    w.fullDiskMissing = 5 * 1024 * 1024 + 1;
    Log expected = FreshStart() + Log{S("FileExists ", kWinrar64), kProbe} + WinrarSetup() +
                   Log{kProbe} + kShowLabels;
    for (int i = 0; i < 5; ++i) expected = expected + DownloadOf(kRows[i]);
    expected = expected + Log{"Create C:\\VARNISCA\\Dados.rar", "module: Baixando Banco de Dados",
                              "BaixarArquivo /uploads/download/file/66/DADOS.7z",
                              "status: Download Finalizado ...", "Close C:\\VARNISCA\\Dados.rar",
                              "Message: Não há espaço suficiente no disco para baixar Dados.rar. "
                              "Libere 6 MB e execute o Pravonell novamente."};
    s.push_back({"disk full during a transfer stops the run with the room it needs", w, expected});
  }
  {
    // A mark another program holds past the bound stays: the person is told
    // to remove it, after the success.
    World w = FreshPc({true});
    w.files.insert({L"C:\\Program Files\\WinRAR\\Winrar.exe",
                    L"C:\\Program Files\\Firebird\\Firebird_5_0\\WOW64\\fbclient.dll",
                    L"C:\\ACBrNFeMonitor\\ACBrNFeMonitor.exe"});
    w.heldFiles = {L"C:\\VARNISCA\\INSTALACAO-INCOMPLETA.txt"};
    Log finish = Finish();
    const auto removal = std::find(finish.begin(), finish.end(), S("RemoveFile ", kDir) + kMark) - finish.begin();
    Log held(finish.begin(), finish.begin() + removal);
    for (int i = 0; i < 45; ++i) held = held + Log{S("RemoveFile ", kDir) + kMark, "Sleep 1000"};
    held = held + Log{S("RemoveFile ", kDir) + kMark,
                      "Message: Sistema instalado com sucesso. Atalhos foram criados na área de trabalho.",
                      "Message: Não foi possível apagar o arquivo C:\\VARNISCA\\INSTALACAO-INCOMPLETA.txt. "
                      "Apague-o antes de executar o Pravonell novamente.",
                      "RequestClose"};
    s.push_back({"mark held past the bound is named after the success", w,
                 FreshStart() + Log{S("FileExists ", kWinrar64), kProbe} + kShowLabels + AllDownloads() +
                     Extractions() + kAfterExtraction +
                     Log{S("FileExists ", kFirebird64), "Sleep 1000", S("FileExists ", kAcbr)} + held});
  }
  {
    World w = FreshPc({true, true});
    w.stoppedDownload = L"/uploads/download/file/22/Polvarin.7z";
    Log expected = FreshStart() + Log{S("FileExists ", kWinrar64), kProbe} + WinrarSetup() +
                   Log{kProbe} + kShowLabels + DownloadOf(kRows[0]) + DownloadOf(kRows[1]) +
                   Log{"Create C:\\VARNISCA\\Polvarin.rar", "module: Baixando Sistema Polvarin",
                       "BaixarArquivo /uploads/download/file/22/Polvarin.7z", "ProcessMessages",
                       "Close C:\\VARNISCA\\Polvarin.rar"};
    s.push_back({"window closed during a transfer: file closed, nothing more written", w, expected});
  }
  {
    World w = FreshPc({true, true});
    w.failingExtraction = L"C:\\VARNISCA\\Dados";
    s.push_back({"archive that does not extract stops the run and deletes nothing", w,
                 FreshStart() + Log{S("FileExists ", kWinrar64), kProbe} + WinrarSetup() +
                     Log{kProbe} + kShowLabels + AllDownloads() + Extractions(kDir, 5) +
                     Log{"Message: Não foi possível descompactar o arquivo Dados.rar."}});
  }
  {
    // A disk full to the last byte: even the mark cannot be written. The run
    // says so the way it says every full disk, and fetches nothing.
    World w = FreshPc({});
    w.fullDiskFiles = {L"C:\\VARNISCA\\INSTALACAO-INCOMPLETA.txt"};
    s.push_back({"disk full for the mark", w,
                 Log{"IsWindows32Only", "DirectoryExists C:\\VARNISCA\\", "ForceDirectories C:\\VARNISCA\\",
                     S("MakeWritable ", kDir) + kMark, S("Create ", kDir) + kMark, S("Close ", kDir) + kMark,
                     "Message: Não há espaço suficiente no disco para gravar INSTALACAO-INCOMPLETA.txt. Libere 1 MB e "
                     "execute o Pravonell novamente."}});
  }
  {
    // The customer's own configuration file cannot be kept: nothing else is done.
    World w = FreshPc({});
    w.directories = {L"C:\\VARNISCA\\"};
    w.files = {L"C:\\VARNISCA\\Quilmarde.ini"};
    w.fullDiskFiles = {L"C:\\VARNISCA\\Quilmarde.ini.anterior"};
    s.push_back({"disk full for the customer's kept configuration", w,
                 Log{"IsWindows32Only", "DirectoryExists C:\\VARNISCA\\", S("FileExists ", kDir) + "Kestrimo.exe",
                     S("FileExists ", kDir) + "Quilmarde.ini", S("FileExists ", kDir) + kMark,
                     "CopyReplacing C:\\VARNISCA\\Quilmarde.ini -> C:\\VARNISCA\\Quilmarde.ini.anterior",
                     "Message: Não há espaço suficiente no disco para gravar Quilmarde.ini.anterior. Libere 1 MB e "
                     "execute o Pravonell novamente."}});
  }
  {
    // The disk fills while the database is unpacked: the archive takes more
    // room than there is free, and the run says how much to make.
    World w = FreshPc({true, true});
    w.failingExtraction = L"C:\\VARNISCA\\Dados";
    w.serverEtag = "\"e\"";  // the files hold their bodies
    w.freeSpace = 0;
    Log expected = FreshStart() + Log{S("FileExists ", kWinrar64), kProbe} + WinrarSetup() + Log{kProbe} + kShowLabels +
                   AllDownloads() + Extractions(kDir, 5);
    s.push_back({"disk full while unpacking", w,
                 expected + Log{"Message: Não há espaço suficiente no disco para descompactar Dados.rar. Libere 1 MB "
                                "e execute o Pravonell novamente."}});
  }
  {
    World w = FreshPc({true, true, true, true});
    w.configDiskFull = true;
    Log expected = FreshStart() + Log{S("FileExists ", kWinrar64), kProbe} + WinrarSetup() + Log{kProbe} + kShowLabels +
                   AllDownloads() + Extractions() + kAfterExtraction + FirebirdSetup() + kFirebirdDone + AcbrSetup() +
                   kAcbrDone;
    const Log finish = Finish();
    expected = expected + Log(finish.begin(), finish.begin() + 7) +
               Log{
                              "Message: Não há espaço suficiente no disco para gravar Quilmarde.ini. Libere 1 MB e "
                              "execute o Pravonell novamente."};
    s.push_back({"disk full for the customer's configuration", w, expected});
  }
  {
    // The archiver never ran (the system could not start it, again and
    // again): the message says why, and does not blame the archive.
    World w = FreshPc({true, true});
    w.failingExtraction = L"C:\\VARNISCA\\Thandrel";
    w.archiverStartFailure = L"Erro interno (código 1359)";
    s.push_back({"archiver that never starts says why", w,
                 FreshStart() + Log{S("FileExists ", kWinrar64), kProbe} + WinrarSetup() +
                     Log{kProbe} + kShowLabels + AllDownloads() + Extractions(kDir, 3) +
                     Log{"Message: Não foi possível iniciar o WinRAR para descompactar o arquivo Thandrel.rar: "
                         "Erro interno (código 1359)."}});
  }
  {
    World w = FreshPc({true});
    w.setupResults[L"Winrar"] = false;
    w.setupStartFailures[L"Winrar"] = L"Acesso negado (código 5)";
    s.push_back({"WinRAR setup that never starts says why", w,
                 FreshStart() + Log{S("FileExists ", kWinrar64), kProbe} + WinrarSetup() + kHideLabels +
                     Log{"Message: Winrar não foi instaldo. Execute novamente o sistema Pravonell. O instalador "
                         "não pôde ser iniciado: Acesso negado (código 5)."}});
  }
  {
    World w = FreshPc({true, true, true});
    w.setupResults[L"Firebird"] = false;
    s.push_back({"Firebird setup that fails ends before ACBrNFeMonitor", w,
                 FreshStart() + Log{S("FileExists ", kWinrar64), kProbe} + WinrarSetup() +
                     Log{kProbe} + kShowLabels + AllDownloads() + Extractions() +
                     kAfterExtraction + FirebirdSetup() + kHideLabels +
                     Log{"Message: Firebird não foi instalado."}});
  }
  {
    World w = FreshPc({true, true, true, true});
    s.push_back({"full success on a PC without WinRAR, Firebird or ACBrNFeMonitor", w,
                 FreshStart() + Log{S("FileExists ", kWinrar64), kProbe} + WinrarSetup() +
                     Log{kProbe} + kShowLabels + AllDownloads() + Extractions() +
                     kAfterExtraction + FirebirdSetup() + kFirebirdDone + AcbrSetup() +
                     kAcbrDone + Finish()});
  }
  {
    // Everything present: the only probe is the gate; a site that stops
    // answering later would skip the setups silently.
    World w = FreshPc({true});
    w.files.insert({L"C:\\Program Files\\WinRAR\\Winrar.exe",
                    L"C:\\Program Files\\Firebird\\Firebird_5_0\\WOW64\\fbclient.dll",
                    L"C:\\ACBrNFeMonitor\\ACBrNFeMonitor.exe"});
    s.push_back({"prerequisites present: one probe", w,
                 FreshStart() + Log{S("FileExists ", kWinrar64), kProbe} + kShowLabels +
                     AllDownloads() + Extractions() + kAfterExtraction +
                     Log{S("FileExists ", kFirebird64), "Sleep 1000", S("FileExists ", kAcbr)} +
                     Finish()});
  }
  {
    World w = FreshPc({true, false, false});
    w.files = {L"C:\\Program Files\\WinRAR\\Winrar.exe"};  // and no Polvarin.exe
    w.configWriteFails = true;
    s.push_back({"site gone after the gate, no program, configuration write fails", w,
                 FreshStart() + Log{S("FileExists ", kWinrar64), kProbe} + kShowLabels +
                     AllDownloads() + Extractions() + kAfterExtraction +
                     Log{S("FileExists ", kFirebird64), kProbe, "Sleep 1000", S("FileExists ", kAcbr),
                         kProbe, "module: Criando Atalhos", "status: Aguarde...",
                         S("FileExists ", kDir) + "Polvarin.exe", "module: Instalação Concluída.",
                         "status: Processo Finalizado", S("GravarConfiguracao ", kDir)},
                 "Unable to write to C:\\VARNISCA\\Quilmarde.ini"});
  }
  return s;
}

struct Outcome {
  Log log;
  Log overview;
  std::string error;
  bool markLeft = false;   // the mark of an unfinished installation is there
  std::string markBytes;   // what was written into it
};

Outcome RunIn(World world, ProgramState& state) {
  FakeRunPorts fake(std::move(world));
  RunControl control(fake);
  GuardedStatusDisplay display(fake, control);
  fake.control = &control;
  fake.pump = &control;
  fake.guardedDisplay = &display;
  InstallationRun run(state, RunPorts{fake, fake, fake, fake, display, fake, control, fake, fake,
                                      fake, fake, fake, fake, fake, fake});
  Outcome outcome;
  try {
    run.InstalarSistema();
  } catch (const Error& e) {
    outcome.error = Utf8(e.message());
  }
  outcome.log = fake.log;
  outcome.overview = fake.overview;
  const std::wstring mark = state.DirSistema + kUnfinishedMark;
  outcome.markLeft = fake.HasFile(mark);
  outcome.markBytes = fake.written[mark];
  return outcome;
}

TEST(InstallationRun, Scenarios) {
  for (const Scenario& scenario : Scenarios()) {
    SCOPED_TRACE(scenario.name);
    ProgramState state;
    Outcome outcome = RunIn(scenario.world, state);
    EXPECT_EQ(Lines(outcome.log), Lines(scenario.expected));
    EXPECT_EQ(outcome.error, scenario.error);
  }
}

// The mark is written before the first request of every run that gets past
// the directory test, stays after every kind of stop, and goes only with
// success, so a stopped run can always be finished by running again.
TEST(InstallationRun, UnfinishedMarkLivesFromTheStartToSuccess) {
  for (const Scenario& scenario : Scenarios()) {
    SCOPED_TRACE(scenario.name);
    ProgramState state;
    const Outcome outcome = RunIn(scenario.world, state);
    const Log& log = outcome.log;
    const auto created = std::find(log.begin(), log.end(), "Create C:\\VARNISCA\\INSTALACAO-INCOMPLETA.txt");
    const auto firstProbe = std::find(log.begin(), log.end(), kProbe);
    const bool succeeded = std::find(log.begin(), log.end(),
                                     "Message: Sistema instalado com sucesso. Atalhos foram criados na área de "
                                     "trabalho.") != log.end();
    const bool markHeld = std::find(log.begin(), log.end(),
                                    "Message: Não foi possível apagar o arquivo C:\\VARNISCA\\INSTALACAO-INCOMPLETA.txt. "
                                    "Apague-o antes de executar o Pravonell novamente.") != log.end();
    if (firstProbe != log.end() && Utf8(state.DirSistema) == kDir) {
      ASSERT_NE(created, log.end());
      EXPECT_LT(created - log.begin(), firstProbe - log.begin());
    }
    if (created != log.end()) {
      EXPECT_EQ(outcome.markLeft, !succeeded || markHeld);
    }
    // A mark the disk had no room for is still a mark, whatever it holds.
    if (created != log.end() && scenario.world.fullDiskFiles.count(L"C:\\VARNISCA\\INSTALACAO-INCOMPLETA.txt") == 0) {
      EXPECT_EQ(outcome.markBytes,
                "\xEF\xBB\xBF" "Esta instala\xC3\xA7\xC3\xA3o do sistema Varnisca n\xC3\xA3o foi conclu\xC3\xAD" "da. "
                "Execute novamente o Pravonell para conclu\xC3\xAD-la.\r\n");
    }
  }
}

// What the install page's heading is told: the steps in order, where the run
// is within each, and how the run ended.
TEST(InstallationRun, OverviewFollowsTheWholeInstallation) {
  const auto scenario = [](const char* name) {
    for (const Scenario& s : Scenarios()) {
      if (std::string(s.name) == name) return s.world;
    }
    ADD_FAILURE() << "no scenario " << name;
    return World{};
  };
  {
    ProgramState state;
    const Outcome outcome = RunIn(scenario("full success on a PC without WinRAR, Firebird or ACBrNFeMonitor"), state);
    Log expected = {"download", "download Instalador do WinRAR"};
    for (int i = 1; i <= 11; ++i) expected.push_back("download Arquivo " + std::to_string(i) + " de 11");
    expected.push_back("extract");
    for (int i = 1; i <= 9; ++i) expected.push_back("extract Arquivo " + std::to_string(i) + " de 9");
    expected = expected + Log{"setups", "setups Firebird 5.0", "setups", "setups ACBrNFeMonitor", "finish", "done"};
    EXPECT_EQ(Lines(outcome.overview), Lines(expected));
  }
  {
    // Prerequisites there: their step is passed through; a stop says so last.
    ProgramState state;
    const Outcome outcome = RunIn(scenario("Firebird setup that fails ends before ACBrNFeMonitor"), state);
    ASSERT_GE(outcome.overview.size(), 3u);
    EXPECT_EQ(Lines({outcome.overview.end() - 3, outcome.overview.end()}),
              Lines({"setups", "setups Firebird 5.0", "stopped"}));
  }
  for (const char* stop : {"32-bit Windows stops first", "transfer failing on row 6 keeps the file closed and ends the run",
                           "site gone after the gate, no program, configuration write fails"}) {
    SCOPED_TRACE(stop);
    ProgramState state;
    const Outcome outcome = RunIn(scenario(stop), state);
    ASSERT_FALSE(outcome.overview.empty());
    EXPECT_EQ(outcome.overview.back(), "stopped");
  }
  {
    // A close during the run leaves the heading as it was.
    ProgramState state;
    const Outcome outcome = RunIn(scenario("window closed during a transfer: file closed, nothing more written"), state);
    ASSERT_FALSE(outcome.overview.empty());
    EXPECT_EQ(outcome.overview.back(), "download Arquivo 3 de 11");  // Polvarin, the third file
  }
}

// What the run does with the folder it was given.
TEST(InstallationRun, DirectoryTestDecidesWhatTheRunDoesNext) {
  const std::wstring dir = L"C:\\VARNISCA\\";
  const std::wstring updater = dir + L"Kestrimo.exe", mark = dir + L"INSTALACAO-INCOMPLETA.txt";
  const struct {
    const char* name;
    bool folder;
    std::vector<std::wstring> files;
    bool goesOn;  // false: the previous-installation stop
  } rows[] = {
      {"folder missing", false, {}, true},
      {"folder present and empty", true, {}, true},
      {"finished installation", true, {updater}, false},
      {"unfinished installation", true, {updater, mark}, true},
      {"mark alone", true, {mark}, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    World w = FreshPc({false});  // WinRAR present, the site down: a silent stop at the gate
    w.files.insert(L"C:\\Program Files\\WinRAR\\Winrar.exe");
    if (row.folder) w.directories = {dir};
    w.files.insert(row.files.begin(), row.files.end());
    ProgramState state;
    const Outcome outcome = RunIn(w, state);
    const Log& log = outcome.log;
    const bool created = std::find(log.begin(), log.end(), "ForceDirectories C:\\VARNISCA\\") != log.end();
    EXPECT_EQ(created, !row.folder);
    if (row.goesOn) {
      EXPECT_EQ(log.back(), kProbe);  // on to the gate
      EXPECT_TRUE(outcome.markLeft);
    } else {
      EXPECT_EQ(Lines(std::vector<std::string>(log.end() - 2, log.end())),
                Lines({"Message: Já existe uma instalação anterior do sistema neste computador!", "RequestClose"}));
      EXPECT_EQ(std::find(log.begin(), log.end(), kProbe), log.end());
      EXPECT_FALSE(outcome.markLeft);  // nothing written
    }
  }
}

TEST(InstallationRun, EmptyDirectoryFieldKeepsTheLastDirectory) {
  ProgramState state;
  World first = FreshPc({false, false});
  first.directoryText = L"E:\\SUITE";
  RunIn(first, state);
  EXPECT_EQ(Utf8(state.DirSistema), "E:\\SUITE\\");

  World second = FreshPc({false, false});
  second.directoryText = L"";
  Outcome outcome = RunIn(second, state);
  ASSERT_FALSE(outcome.log.empty());
  EXPECT_EQ(outcome.log[1], "DirectoryExists E:\\SUITE\\");

  ProgramState fresh;
  RunIn(second, fresh);
  EXPECT_EQ(Utf8(fresh.DirSistema), "C:\\Varnisca\\");
}

TEST(InstallationRun, NewRunAfterAStopStartsAgain) {
  ProgramState state;
  FakeRunPorts fake(FreshPc({true, false}));
  RunControl control(fake);
  GuardedStatusDisplay display(fake, control);
  fake.control = &control;
  fake.pump = &control;
  fake.guardedDisplay = &display;
  InstallationRun run(state, RunPorts{fake, fake, fake, fake, display, fake, control, fake, fake,
                                      fake, fake, fake, fake, fake, fake});
  control.RequestStop();  // a stop asked for an earlier run
  run.InstalarSistema();
  EXPECT_EQ(fake.log.back(), "CheckURL '' 1");  // reached the gate, not cut short
}

// A read-only mark is made writable and removed like any other.
TEST(InstallationRun, ReadOnlyMarkIsRemovedAtTheEnd) {
  World w = FreshPc({true});
  w.files.insert({L"C:\\Program Files\\WinRAR\\Winrar.exe",
                  L"C:\\Program Files\\Firebird\\Firebird_5_0\\WOW64\\fbclient.dll",
                  L"C:\\ACBrNFeMonitor\\ACBrNFeMonitor.exe"});
  w.readOnlyFiles = {L"C:\\VARNISCA\\INSTALACAO-INCOMPLETA.txt"};
  ProgramState state;
  const Outcome outcome = RunIn(w, state);
  EXPECT_FALSE(outcome.markLeft);
  EXPECT_EQ(outcome.log.back(), "RequestClose");
  EXPECT_EQ(outcome.log[outcome.log.size() - 2],
            "Message: Sistema instalado com sucesso. Atalhos foram criados na área de trabalho.");
}

// A configuration file the installation finds in the folder, without its
// mark beside it, is the customer's: a copy is kept before anything is
// fetched (before the mark, so a run cut off in between still keeps it).
// The file of an unfinished installation of ours is simply replaced.
TEST(InstallationRun, CustomersConfigurationFileIsKeptBeforeTheDownload) {
  const std::wstring dir = L"C:\\VARNISCA\\";
  const struct {
    const char* name;
    bool config;
    bool mark;
    bool kept;
  } rows[] = {
      {"the customer's file", true, false, true},
      {"ours, of an unfinished installation", true, true, false},
      {"no file", false, false, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    World w = FreshPc({true});
    w.files.insert(L"C:\\Program Files\\WinRAR\\Winrar.exe");
    w.directories = {dir};
    if (row.config) w.files.insert(dir + L"Quilmarde.ini");
    if (row.mark) w.files.insert(dir + L"INSTALACAO-INCOMPLETA.txt");
    ProgramState state;
    const Outcome outcome = RunIn(w, state);
    const Log& log = outcome.log;
    const auto copy = std::find(log.begin(), log.end(),
                                "CopyReplacing C:\\VARNISCA\\Quilmarde.ini -> C:\\VARNISCA\\Quilmarde.ini.anterior");
    EXPECT_EQ(copy != log.end(), row.kept);
    if (row.kept) {
      const auto mark = std::find(log.begin(), log.end(), "Create C:\\VARNISCA\\INSTALACAO-INCOMPLETA.txt");
      const auto download = std::find(log.begin(), log.end(), "Create C:\\VARNISCA\\Quilmarde.ini");
      EXPECT_LT(copy - log.begin(), mark - log.begin());
      EXPECT_LT(copy - log.begin(), download - log.begin());
    }
  }
}

// A run stopped at the Firebird setup, then a run started again: each file
// the first run fetched is confirmed with the server and kept ("já
// baixado"), the one the server changed meanwhile is fetched anew, and one
// that changed on disk is fetched whole. The record goes with the mark.
TEST(InstallationRun, RunStartedAgainFetchesOnlyWhatIsMissing) {
  World w = FreshPc({true, true, true, true});
  w.files.insert({L"C:\\Program Files\\WinRAR\\Winrar.exe", L"C:\\ACBrNFeMonitor\\ACBrNFeMonitor.exe"});
  w.setupResults[L"Firebird"] = false;
  w.serverEtag = "\"e1\"";
  FakeRunPorts fake(w);
  RunControl control(fake);
  GuardedStatusDisplay display(fake, control);
  fake.control = &control;
  fake.pump = &control;
  fake.guardedDisplay = &display;
  ProgramState state;
  InstallationRun run(state, RunPorts{fake, fake, fake, fake, display, fake, control, fake, fake,
                                      fake, fake, fake, fake, fake, fake});
  run.InstalarSistema();
  ASSERT_EQ(fake.log.back(), "Message: Firebird não foi instalado.");
  const std::wstring records = L"C:\\VARNISCA\\INSTALACAO-INCOMPLETA.downloads";
  ASSERT_TRUE(fake.HasFile(records));

  fake.log.clear();
  fake.overview.clear();
  fake.world().setupResults.clear();
  fake.world().changedOnServer = {L"/uploads/download/file/50/Relatorios.7z"};
  fake.Touch(L"C:\\VARNISCA\\DLL.rar");
  run.InstalarSistema();
  ASSERT_EQ(fake.log.back(), "RequestClose");
  const Log& log = fake.log;
  const auto has = [&](const std::string& line) { return std::find(log.begin(), log.end(), line) != log.end(); };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.file);
    const std::string path = S(kDir, row.file);
    const std::string size = std::to_string(std::string(row.url).size());
    if (std::string(row.file) == "DLL.rar") {
      EXPECT_TRUE(has("Create " + path));
      EXPECT_TRUE(has(S("BaixarArquivo ", row.url)));
    } else {
      EXPECT_TRUE(has("Open " + path + " keeping " + size));
      EXPECT_TRUE(has(S("BaixarArquivo ", row.url) + " (If-None-Match: \"e1\")"));
    }
    EXPECT_EQ(fake.written[WidenLatin1(path)], row.url);  // the server's file, whichever way it came
  }
  const auto shown = [&](const std::string& line) {
    return std::find(fake.overview.begin(), fake.overview.end(), line) != fake.overview.end();
  };
  EXPECT_TRUE(shown("download Arquivo 2 de 11 · já baixado"));   // Kestrimo, kept
  EXPECT_FALSE(shown("download Arquivo 7 de 11 · já baixado"));  // Relatorios, changed on the server
  EXPECT_FALSE(shown("download Arquivo 8 de 11 · já baixado"));  // DLL, changed on disk
  EXPECT_FALSE(fake.HasFile(records));
}

// An archive that the archiver could not unpack is not kept by the next
// run on the strength of a 304: it is fetched whole, while the other files
// are confirmed with the server and kept.
TEST(InstallationRun, ArchiveThatDidNotExtractIsFetchedWholeByTheNextRun) {
  World w = FreshPc({true, true, true, true});
  w.files.insert({L"C:\\Program Files\\WinRAR\\Winrar.exe", L"C:\\ACBrNFeMonitor\\ACBrNFeMonitor.exe"});
  w.failingExtraction = L"C:\\VARNISCA\\Relatorios";
  w.serverEtag = "\"e1\"";
  FakeRunPorts fake(w);
  RunControl control(fake);
  GuardedStatusDisplay display(fake, control);
  fake.control = &control;
  fake.pump = &control;
  fake.guardedDisplay = &display;
  ProgramState state;
  InstallationRun run(state, RunPorts{fake, fake, fake, fake, display, fake, control, fake, fake,
                                      fake, fake, fake, fake, fake, fake});
  run.InstalarSistema();
  ASSERT_EQ(fake.log.back(), "Message: Não foi possível descompactar o arquivo Relatorios.rar.");

  fake.log.clear();
  fake.world().failingExtraction.clear();
  run.InstalarSistema();
  ASSERT_EQ(fake.log.back(), "RequestClose");
  const auto has = [&](const std::string& line) {
    return std::find(fake.log.begin(), fake.log.end(), line) != fake.log.end();
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.file);
    if (std::string(row.file) == "Relatorios.rar") {
      EXPECT_TRUE(has(S("Create ", kDir) + row.file));
      EXPECT_TRUE(has(S("BaixarArquivo ", row.url)));  // asked for whole, with no validator
    } else {
      EXPECT_TRUE(has(S("BaixarArquivo ", row.url) + " (If-None-Match: \"e1\")"));
    }
  }
}

}  // namespace
}  // namespace pravonell::testing
