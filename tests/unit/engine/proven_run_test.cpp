// The installation run with the vendor's key: the signed list is fetched
// right after the first probe that answers, every file is used only once it
// is shown to be the vendor's, and a run started again uses what is already
// in the folder only by its hash.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/installation_run.h"
#include "tests/fakes/run_fakes.h"
#include "tests/fakes/toy_crypto.h"

namespace pravonell::testing {
namespace {

const std::wstring kDir = L"C:\\VARNISCA\\";
const std::wstring kList = L"/uploads/download/pravonell.lista";
const std::wstring kWinrarSetup = L"/uploads/download/file/72/winrar-x64-601br.exe";
const std::wstring kKestrimo = L"/uploads/download/file/59/Kestrimo.7z";
const std::wstring kDados = L"/uploads/download/file/66/DADOS.7z";
const std::wstring kFbclient = L"/uploads/download/file/91/fbclient.dll";
constexpr std::uint64_t kRoom = 1000;  // what each archive takes unpacked

std::vector<std::wstring> PlanPaths() {
  std::vector<std::wstring> paths;
  for (const ModuleRow& row : kModuleTable) paths.push_back(row.urlPath);
  paths.push_back(kWinrar64x);
  paths.push_back(kWinrar86x);
  return paths;
}

bool IsArchive(const std::wstring& path) {
  for (const ModuleRow& row : kModuleTable) {
    if (row.urlPath == path) return row.archiveBase != nullptr;
  }
  return false;
}

// The vendor's files and their list, signed with `key`.
struct Vendor {
  ToyCrypto crypto;
  VendorKey key{ToyKey(1), 10};
  std::map<std::wstring, std::string> files;
  std::uint64_t serial = 12;

  Vendor() {
    for (const std::wstring& path : PlanPaths()) files[path] = "o arquivo " + Utf8(path) + " do fornecedor";
  }
  std::string List(const std::array<std::uint8_t, 64>& signer) {
    VendorList list;
    list.serial = serial;
    list.date = "2026-12-11";
    for (const auto& [path, bytes] : files) {
      list.files.push_back({Utf8(path), bytes.size(), crypto.Sha256Of(bytes),
                            IsArchive(path) ? std::optional<std::uint64_t>(kRoom) : std::nullopt});
    }
    return crypto.SignedList(list, signer);
  }
  // What the server sends: the vendor's files and list, unless changed.
  void Serve(World& world) {
    world.served = files;
    world.served[kList] = List(key.publicKey);
  }
};

World FreshPc(Vendor& vendor, std::vector<bool> probes = {true, true, true, true}) {
  World world;
  world.probeAnswers = std::move(probes);
  vendor.Serve(world);
  return world;
}

struct Installer {
  explicit Installer(World world, Vendor& vendor) : fake(std::move(world)), vendor_(vendor) {
    fake.control = &control;
    fake.pump = &control;
    fake.guardedDisplay = &display;
  }
  // Runs the installation; the error it raised, "" for none.
  std::string Go() {
    fake.log.clear();
    RunPorts ports{fake, fake, fake, fake, display, fake, control, fake, fake, fake, fake, fake, fake, fake, fake};
    ports.vendorKey = &vendor_.key;
    ports.crypto = &vendor_.crypto;
    InstallationRun run(state, ports);
    try {
      run.InstalarSistema();
    } catch (const Error& e) {
      return Utf8(e.message());
    }
    return "";
  }
  bool Logged(const std::string& line) const {
    return std::find(fake.log.begin(), fake.log.end(), line) != fake.log.end();
  }
  std::vector<std::string> Fetches() const {
    std::vector<std::string> fetched;
    for (const std::string& line : fake.log) {
      if (line.rfind("BaixarArquivo ", 0) == 0) fetched.push_back(line.substr(14));
    }
    return fetched;
  }
  std::vector<std::string> Messages() const {
    std::vector<std::string> messages;
    for (const std::string& line : fake.log) {
      if (line.rfind("Message: ", 0) == 0) messages.push_back(line.substr(9));
    }
    return messages;
  }

  FakeRunPorts fake;
  RunControl control{fake};
  GuardedStatusDisplay display{fake, control};
  ProgramState state;

 private:
  Vendor& vendor_;
};

const char* const kSuccess = "Sistema instalado com sucesso. Atalhos foram criados na área de trabalho.";

std::vector<std::string> PlanInOrder() {
  std::vector<std::string> fetched = {Utf8(kList), Utf8(kWinrarSetup)};
  for (const ModuleRow& row : kModuleTable) fetched.push_back(Utf8(row.urlPath));
  return fetched;
}

TEST(ProvenRun, TheListComesFirstAndEachFileIsMovedInOnlyOnceProven) {
  Vendor vendor;
  Installer run(FreshPc(vendor), vendor);
  EXPECT_EQ(run.Go(), "");
  EXPECT_EQ(run.Messages(), std::vector<std::string>{kSuccess});
  EXPECT_EQ(run.Fetches(), PlanInOrder());
  // The list right after the probe, before the WinRAR setup's first byte.
  const auto at = [&](const std::string& line) {
    return std::find(run.fake.log.begin(), run.fake.log.end(), line) - run.fake.log.begin();
  };
  EXPECT_EQ(at("BaixarArquivo " + Utf8(kList)), at("CheckURL '' 1") + 2);  // after the list's module text
  EXPECT_LT(at("MoveReplacing C:\\VARNISCA\\Winrar.exe.baixando -> C:\\VARNISCA\\Winrar.exe"),
            at("InstalarAplicativo Winrar C:\\VARNISCA\\"));
  for (const ModuleRow& row : kModuleTable) {
    SCOPED_TRACE(Utf8(row.localFile));
    const std::string file = Utf8(kDir + row.localFile);
    EXPECT_TRUE(run.Logged("Create " + file + ".baixando"));
    EXPECT_TRUE(run.Logged("MoveReplacing " + file + ".baixando -> " + file));
  }
  EXPECT_EQ(run.fake.written[kDir + L"fbclient.dll"], vendor.files[kFbclient]);
}

// Another file in place of one (another valid archive, a filter's block
// page, another program): fetched whole once more, never left under its
// name, never run, unpacked or installed; the run says which file, and a
// later run with the vendor's file finishes.
TEST(ProvenRun, FileThatIsNotTheVendorsIsNeverUsed) {
  const struct {
    const char* name;
    std::wstring path;
    std::string served;
    std::string local;
  } rows[] = {
      {"another valid archive in place of the updater's", kKestrimo, "o arquivo /uploads/download/file/22/Polvarin.7z",
       "Kestrimo.rar"},
      {"a block page in place of the Firebird library", kFbclient, "<html>Acesso bloqueado</html>", "fbclient.dll"},
      {"another program in place of the WinRAR setup", kWinrarSetup, "MZ outro programa", "Winrar.exe"},
      {"more bytes than the vendor's file",
       kDados, std::string(5000, 'd'), "Dados.rar"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Vendor vendor;
    World world = FreshPc(vendor);
    world.served[row.path] = row.served;
    Installer run(world, vendor);
    EXPECT_EQ(run.Go(), "");
    const std::string file = Utf8(kDir) + row.local;
    EXPECT_EQ(run.Messages(),
              std::vector<std::string>{"O arquivo " + row.local +
                                       " recebido não é o do fornecedor: a rede entregou outro conteúdo no lugar "
                                       "dele (um filtro de conteúdo, um portal de acesso ou um proxy). Nada dele foi "
                                       "usado. Verifique a conexão com a internet e execute o Pravonell novamente."});
    const std::vector<std::string> fetched = run.Fetches();
    EXPECT_EQ(std::count(fetched.begin(), fetched.end(), Utf8(row.path)), 2);  // once more, whole
    EXPECT_FALSE(run.fake.HasFile(WidenLatin1(file)));
    EXPECT_FALSE(run.fake.HasFile(WidenLatin1(file + ".baixando")));
    // Nothing is unpacked or run from the moment the file came.
    const auto came = std::find(run.fake.log.begin(), run.fake.log.end(), "BaixarArquivo " + Utf8(row.path));
    ASSERT_NE(came, run.fake.log.end());
    for (auto line = came; line != run.fake.log.end(); ++line) {
      EXPECT_NE(line->rfind("Descompactar", 0), 0u) << *line;
      EXPECT_NE(line->rfind("InstalarAplicativo", 0), 0u) << *line;
    }
    EXPECT_TRUE(run.fake.HasFile(kDir + L"INSTALACAO-INCOMPLETA.txt"));

    // The network delivers the vendor's file again: the next run finishes.
    vendor.Serve(run.fake.world());
    run.fake.world().probeAnswers = {true, true, true, true, true, true, true, true};
    EXPECT_EQ(run.Go(), "");
    EXPECT_EQ(run.Messages().back(), kSuccess);
  }
}

TEST(ProvenRun, ListThatCannotBeConfirmedStopsBeforeAnyFile) {
  const std::string network =
      ". Por segurança, nada foi baixado nem instalado. Verifique a conexão com a internet (um filtro de conteúdo, "
      "um portal de acesso ou um proxy podem estar entregando outra coisa no lugar dela) e execute o Pravonell "
      "novamente.";
  const std::string vendorSide =
      ". Por segurança, nada foi baixado nem instalado. Execute o Pravonell novamente mais tarde; se o problema "
      "continuar, entre em contato com o suporte da Varnisca.";
  const std::string start = "Não foi possível confirmar a lista de arquivos do fornecedor: ";
  const struct {
    const char* name;
    std::function<void(Vendor&, World&)> change;
    std::string message;
  } rows[] = {
      {"missing on the server", [](Vendor&, World& w) { w.failingDownload = kList; },
       start + "o servidor não a entregou (HTTP/1.1 500 Internal Server Error)" + network},
      {"cut", [](Vendor&, World& w) { w.served[kList].resize(w.served[kList].size() / 2); },
       start + "ela chegou incompleta" + network},
      {"a portal's page", [](Vendor&, World& w) { w.served[kList] = "<html>Faça login</html>"; },
       start + "ela não está no formato esperado" + network},
      {"signed by another key", [](Vendor& v, World& w) { w.served[kList] = v.List(ToyKey(9)); },
       start + "a assinatura dela não é a do fornecedor" + network},
      {"older than this installer",
       [](Vendor& v, World& w) {
         v.serial = 9;
         v.Serve(w);
       },
       start + "ela é mais antiga que esta versão do instalador" + vendorSide},
      {"lacking a file of the plan",
       [](Vendor& v, World& w) {
         v.files.erase(kDados);
         v.Serve(w);
       },
       start + "falta nela o arquivo Dados.rar" + vendorSide},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Vendor vendor;
    World world = FreshPc(vendor);
    row.change(vendor, world);
    Installer run(world, vendor);
    EXPECT_EQ(run.Go(), "");
    EXPECT_EQ(run.Messages(), std::vector<std::string>{row.message});
    EXPECT_EQ(run.Fetches(), std::vector<std::string>{Utf8(kList)});
  }
}

// The list's serial stays with the unfinished installation: a run started
// again refuses an older list, even one the build's floor allows.
TEST(ProvenRun, OlderListIsRefusedByARunStartedAgain) {
  Vendor vendor;
  vendor.serial = 13;
  World world = FreshPc(vendor);
  world.setupResults[L"Firebird"] = false;
  Installer run(world, vendor);
  run.Go();
  ASSERT_EQ(run.Messages().back(), "Firebird não foi instalado.");

  vendor.serial = 12;  // an older publication, replayed
  vendor.Serve(run.fake.world());
  run.fake.world().probeAnswers = {true, true, true, true};
  run.Go();
  EXPECT_EQ(run.Messages(),
            std::vector<std::string>{"Não foi possível confirmar a lista de arquivos do fornecedor: ela é mais antiga "
                                     "que a já usada nesta instalação. Por segurança, nada foi baixado nem instalado. "
                                     "Execute o Pravonell novamente mais tarde; se o problema continuar, entre em "
                                     "contato com o suporte da Varnisca."});
  EXPECT_EQ(run.Fetches(), std::vector<std::string>{Utf8(kList)});
}

// A run started again over a folder that holds every file: nothing but the
// list is asked for, whatever the record says (it is only a hint), and the
// files are used by their hashes alone. One changed on disk since is
// fetched anew.
TEST(ProvenRun, RunStartedAgainUsesWhatIsThereByItsHashAlone) {
  Vendor vendor;
  World world = FreshPc(vendor);
  world.setupResults[L"Firebird"] = false;
  Installer run(world, vendor);
  run.Go();
  ASSERT_EQ(run.Messages().back(), "Firebird não foi instalado.");

  run.fake.world().setupResults.clear();
  run.fake.world().probeAnswers = {true, true, true, true};
  run.fake.world().files.erase(L"C:\\Program Files\\WinRAR\\Winrar.exe");
  run.fake.Put(L"C:\\Program Files\\WinRAR\\Winrar.exe");
  // Someone changed the reports in place, keeping their size.
  std::string& reports = run.fake.written[kDir + L"Relatorios.rar"];
  reports[0] = reports[0] == 'X' ? 'Y' : 'X';
  run.fake.written.erase(kDir + L"INSTALACAO-INCOMPLETA.downloads");  // no record at all: the hashes decide
  run.fake.world().files.erase(kDir + L"INSTALACAO-INCOMPLETA.downloads");
  EXPECT_EQ(run.Go(), "");
  EXPECT_EQ(run.Messages(), std::vector<std::string>{kSuccess});
  EXPECT_EQ(run.Fetches(), (std::vector<std::string>{Utf8(kList), "/uploads/download/file/50/Relatorios.7z"}));
  EXPECT_EQ(run.fake.written[kDir + L"Relatorios.rar"], vendor.files[L"/uploads/download/file/50/Relatorios.7z"]);
}

// A part an earlier run left in the side file is continued from the bytes
// the record says are there, and the whole is proven by its hash at the
// end; a part whose bytes are not the vendor's makes the whole file come
// once more.
TEST(ProvenRun, PartLeftByAnEarlierRunIsContinuedAndProvenAtTheEnd) {
  for (bool partIsTheVendors : {true, false}) {
    SCOPED_TRACE(partIsTheVendors ? "the vendor's part" : "a part of something else");
    Vendor vendor;
    World world = FreshPc(vendor);
    world.serverEtag = "\"d1\"";
    world.files.insert(L"C:\\Program Files\\WinRAR\\Winrar.exe");
    world.directories.insert(kDir);
    world.files.insert(kDir + L"INSTALACAO-INCOMPLETA.txt");
    Installer run(world, vendor);
    const std::string& dados = vendor.files[kDados];
    const std::size_t half = dados.size() / 2;
    run.fake.Put(kDir + L"Dados.rar.baixando", partIsTheVendors ? dados.substr(0, half) : std::string(half, '?'));
    {
      DownloadRecords earlier(run.fake, kDir, kDir + L"INSTALACAO-INCOMPLETA.downloads");
      earlier.UseList(12);
      earlier.Began(L"Dados.rar.baixando", "\"d1\"", "", dados.size());
      earlier.Written(L"Dados.rar.baixando", half);
    }
    EXPECT_EQ(run.Go(), "");
    EXPECT_EQ(run.Messages(), std::vector<std::string>{kSuccess});
    const std::vector<std::string> fetched = run.Fetches();
    const std::string continued = Utf8(kDados) + " (Range: bytes=" + std::to_string(half) + "-)";
    EXPECT_EQ(std::count(fetched.begin(), fetched.end(), continued), 1);
    EXPECT_EQ(std::count(fetched.begin(), fetched.end(), Utf8(kDados)), partIsTheVendors ? 0 : 1);
    EXPECT_EQ(run.fake.written[kDir + L"Dados.rar"], dados);
  }
}

// The room the whole installation needs (what is still to be fetched, and
// what each archive takes unpacked) is checked before the first byte.
TEST(ProvenRun, DiskWithoutRoomForTheWholeInstallationIsToldBeforeTheFirstByte) {
  Vendor vendor;
  std::uint64_t downloads = 0;
  for (const ModuleRow& row : kModuleTable) downloads += vendor.files[row.urlPath].size();
  downloads += vendor.files[kWinrarSetup].size();
  const std::uint64_t needed = downloads + 9 * kRoom;
  for (std::uint64_t free : {needed - 1, needed - 3 * 1024 * 1024, needed}) {
    SCOPED_TRACE(free);
    World world = FreshPc(vendor);
    world.freeSpace = free;
    Installer run(world, vendor);
    EXPECT_EQ(run.Go(), "");
    if (free >= needed) {
      EXPECT_EQ(run.Messages(), std::vector<std::string>{kSuccess});
      continue;
    }
    const std::string megabytes = free == needed - 1 ? "1" : "3";
    EXPECT_EQ(run.Messages(), std::vector<std::string>{"Não há espaço suficiente no disco para instalar o sistema. "
                                                       "Libere " + megabytes +
                                                       " MB e execute o Pravonell novamente."});
    EXPECT_EQ(run.Fetches(), std::vector<std::string>{Utf8(kList)});
  }
}

}  // namespace
}  // namespace pravonell::testing
