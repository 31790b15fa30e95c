#include "engine/installation_run.h"

#include <string>

#include "engine/error.h"
#include "engine/file_hash.h"
#include "engine/http/proxy_auth.h"
#include "engine/text.h"

namespace pravonell {

namespace {

constexpr const wchar_t* kPreviousInstallation =
    L"Já existe uma instalação anterior do sistema neste computador!";
constexpr const wchar_t* kCannotCreateFolder = L"Não foi possível criar a pasta Varnisca na raiz do C:\\";
constexpr const wchar_t* kWinrarNotInstalled =
    L"Winrar não foi instaldo. Execute novamente o sistema Pravonell.";
constexpr const wchar_t* kCannotExtract = L"Não foi possível descompactar o arquivo ";
constexpr const wchar_t* kArchiverDidNotStart = L"Não foi possível iniciar o WinRAR para descompactar o arquivo ";
constexpr const wchar_t* kSetupDidNotStart = L" O instalador não pôde ser iniciado: ";
constexpr const wchar_t* kWinrarSetupShown = L"Instalador do WinRAR";
constexpr const wchar_t* kNeeds64BitWindows = L"Este sistema requer o Windows de 64 bits.";
constexpr const wchar_t* kWaitingForWinrar = L"Aguardando o instalador do WinRAR...";
constexpr const wchar_t* kDone =
    L"Sistema instalado com sucesso. Atalhos foram criados na área de trabalho.";
constexpr const wchar_t* kMarkStays = L"Não foi possível apagar o arquivo ";
constexpr const wchar_t* kMarkStaysEnd = L". Apague-o antes de executar o Pravonell novamente.";
// Every full disk of the run is said the same way, with what could not be
// done and how much room to make: "... para baixar Dados.rar. Libere 6 MB ...".
constexpr const wchar_t* kNoRoom = L"Não há espaço suficiente no disco para ";
constexpr const wchar_t* kNoRoomFree = L". Libere ";
constexpr const wchar_t* kNoRoomEnd = L" MB e execute o Pravonell novamente.";
constexpr const wchar_t* kAlreadyFetched = L" · já baixado";
constexpr const wchar_t* kCheckingList = L"Conferindo a lista de arquivos do fornecedor";
constexpr const wchar_t* kListDetail = L"Lista de arquivos do fornecedor";
constexpr const wchar_t* kListRefused = L"Não foi possível confirmar a lista de arquivos do fornecedor: ";
constexpr const wchar_t* kListRefusedNetwork =
    L". Por segurança, nada foi baixado nem instalado. Verifique a conexão com a internet (um filtro de "
    L"conteúdo, um portal de acesso ou um proxy podem estar entregando outra coisa no lugar dela) e execute o "
    L"Pravonell novamente.";
constexpr const wchar_t* kListRefusedVendor =
    L". Por segurança, nada foi baixado nem instalado. Execute o Pravonell novamente mais tarde; se o problema "
    L"continuar, entre em contato com o suporte da Varnisca.";
constexpr const wchar_t* kNotTheVendorsFile = L"O arquivo ";
constexpr const wchar_t* kNotTheVendorsFileEnd =
    L" recebido não é o do fornecedor: a rede entregou outro conteúdo no lugar dele (um filtro de conteúdo, um "
    L"portal de acesso ou um proxy). Nada dele foi usado. Verifique a conexão com a internet e execute o "
    L"Pravonell novamente.";
// Where a download waits until its bytes are shown to be the vendor's file:
// under its own name it is always whole and proven.
constexpr const wchar_t* kUnproven = L".baixando";

// The probe's own address is built in; every call asks for the vendor's site.
constexpr int kVendorSite = 1;

}  // namespace

// A prerequisite the run installs only when it is missing and the site answers.
struct OptionalSetup {
  const wchar_t* nome;
  const wchar_t* shownName;  // in the install page's heading
  const wchar_t* installingText;
  const wchar_t* waitingText;
  const wchar_t* doneText;
  const wchar_t* failedMessage;
};

namespace {

constexpr OptionalSetup kFirebird{L"Firebird", L"Firebird 5.0", L"Instalando novo Firebird 5.0",
                                  L"Aguardando o instalador do Firebird...", L"Instalação do Firebird",
                                  L"Firebird não foi instalado."};
constexpr OptionalSetup kAcbr{L"ACBrNFeMonitor", L"ACBrNFeMonitor", L"Instalando ACBrNFeMonitor",
                              L"Aguardando o instalador do ACBrNFeMonitor...",
                              L"Instalação do ACBrNFeMonitor", L"ACBrNFeMonitor não foi instalado."};

// "Arquivo 3 de 11": where the run is among the files of a step.
std::wstring CountText(std::size_t at, std::size_t of) {
  return L"Arquivo " + std::to_wstring(at) + L" de " + std::to_wstring(of);
}

// The mark's text as a Windows text file: UTF-8 with its signature, so
// Notepad shows the accents on every Windows version.
std::string MarkBytes() { return "\xEF\xBB\xBF" + Utf8Of(kUnfinishedMarkText) + "\r\n"; }

// Whole megabytes (as Windows counts them) that cover the bytes; at least 1.
std::uint64_t MegabytesFor(std::uint64_t bytes) {
  constexpr std::uint64_t kMegabyte = 1024 * 1024;
  return bytes == 0 ? 1 : (bytes + kMegabyte - 1) / kMegabyte;
}

// The URL paths of the plan as the list names them.
std::string Ascii(const std::wstring& path) {
  std::string ascii;
  for (wchar_t c : path) ascii += static_cast<char>(c);
  return ascii;
}

// Every file of the plan: the eleven downloads and both WinRAR setups.
std::vector<std::string> PlanPaths() {
  std::vector<std::string> paths;
  for (const ModuleRow& row : kModuleTable) paths.push_back(Ascii(row.urlPath));
  paths.push_back(Ascii(kWinrar64x));
  paths.push_back(Ascii(kWinrar86x));
  return paths;
}

std::wstring LocalNameOf(const std::string& urlPath) {
  for (const ModuleRow& row : kModuleTable) {
    if (Ascii(row.urlPath) == urlPath) return row.localFile;
  }
  return kWinrarSetupFile;
}

std::wstring ListRefusedMessage(const ListCheck& check) {
  std::wstring why;
  bool network = true;
  switch (check.problem) {
    case ListProblem::Unreachable: why = L"o servidor não a entregou (" + WidenLatin1(check.detail) + L")"; break;
    case ListProblem::Cut: why = L"ela chegou incompleta"; break;
    case ListProblem::Unreadable: why = L"ela não está no formato esperado"; break;
    case ListProblem::NotTheVendors: why = L"a assinatura dela não é a do fornecedor"; break;
    case ListProblem::BelowFloor:
      why = L"ela é mais antiga que esta versão do instalador";
      network = false;
      break;
    case ListProblem::OlderThanUsed:
      why = L"ela é mais antiga que a já usada nesta instalação";
      network = false;
      break;
    case ListProblem::LacksFile:
      why = L"falta nela o arquivo " + LocalNameOf(check.detail);
      network = false;
      break;
    case ListProblem::None: break;
  }
  return kListRefused + why + (network ? kListRefusedNetwork : kListRefusedVendor);
}

// The list while it comes: held in memory, and never more than a list.
struct ListTooLarge final : Error {
  ListTooLarge() : Error(L"The list is larger than any list.") {}
};

class ListBuffer final : public OutputFile {
 public:
  std::string bytes;
  void Write(std::span<const char> data) override {
    if (position_ + data.size() > kLargestList) throw ListTooLarge();
    if (bytes.size() < position_ + data.size()) bytes.resize(position_ + data.size());
    bytes.replace(position_, data.size(), data.data(), data.size());
    position_ += data.size();
  }
  void SetLength(std::uint64_t length) override {
    if (length > kLargestList) throw ListTooLarge();
    bytes.resize(static_cast<std::size_t>(length));
  }
  void Restart() override {
    bytes.clear();
    position_ = 0;
  }
  void Flush() override {}
  void EnsureRoom(std::uint64_t) override {}
  void Close() override {}

 private:
  std::size_t position_ = 0;
};

// A setup's message, with the system's reason when its program never ran.
std::wstring SetupFailedMessage(const std::wstring& message, const std::wstring& why) {
  return why.empty() ? message : message + kSetupDidNotStart + why + L".";
}

}  // namespace

void InstallationRun::InstalarSistema() {
  p_.control.Reset();
  succeeded_ = false;
  try {
    Run();
  } catch (const RunStopped&) {
    // The window asked the run to stop; everything open has been closed on the
    // way out and nothing more is written to the window.
    return;
  } catch (const http::ProxyAuthCancelled& cancelled) {
    // The person's own choice: said plainly, and what was fetched stays.
    p_.overview.SetStopped();
    try {
      ShowMessage(cancelled.message());
    } catch (const RunStopped&) {
    }
    return;
  } catch (...) {
    p_.overview.SetStopped();
    throw;
  }
  if (!succeeded_ && !p_.control.StopRequested()) p_.overview.SetStopped();
}

void InstallationRun::Overview(InstallStep step, const std::wstring& detail) {
  if (!p_.control.StopRequested()) p_.overview.SetStep(step, detail);
}

void InstallationRun::ShowLabels() {
  p_.display.SetStatusText(L"");
  p_.display.SetStatusVisible(true);
  p_.display.SetModuleVisible(true);
}

void InstallationRun::HideLabels() {
  p_.display.SetStatusText(L"");
  p_.display.SetStatusVisible(false);
  p_.display.SetModuleVisible(false);
}

void InstallationRun::ShowMessage(const std::wstring& text) {
  p_.control.ThrowIfStopped();
  p_.window.ShowMessage(text);
  p_.control.ThrowIfStopped();
}

bool InstallationRun::CheckURL() { return p_.probe.CheckURL(L"", kVendorSite); }

// Right after the first probe that answers: the vendor's list, checked,
// and the room the whole installation needs, before the first byte of a
// file is fetched. False when the run stops there (it said why).
bool InstallationRun::ConfirmVendorList(const wchar_t* winrarSetup) {
  if (p_.vendorKey == nullptr || list_) return true;
  p_.display.SetModuleText(kCheckingList);
  Overview(InstallStep::Download, kListDetail);
  ListBuffer buffer;
  ListCheck check;
  try {
    p_.downloader.Fetch(kVendorListPath, buffer, nullptr, nullptr);
    check = CheckVendorList(buffer.bytes, *p_.crypto, *p_.vendorKey, records_->ListSerial(), PlanPaths());
  } catch (const ListTooLarge&) {
    check.problem = ListProblem::Unreadable;
  } catch (const http::ProxyAuthError&) {
    throw;  // the proxy's own answer, said as it is
  } catch (const Error& e) {
    check.problem = ListProblem::Unreachable;
    check.detail = Utf8Of(e.message());
  }
  if (check.problem != ListProblem::None) {
    ShowMessage(ListRefusedMessage(check));
    return false;
  }
  list_ = std::move(check.list);
  records_->UseList(list_->serial);

  // What is still to come, plus what the archives take once unpacked (an
  // archive an earlier run of this installation unpacked needs no more room,
  // but the database, which is always unpacked aside first).
  const std::wstring& dir = state_.DirSistema;
  std::uint64_t needed = 0;
  const auto stillToCome = [&](const std::wstring& localFile, const wchar_t* urlPath) {
    const ListedFile& file = *list_->Find(Ascii(urlPath));
    const std::optional<FileStamp> whole = p_.files.Stamp(dir + localFile);
    const std::optional<FileStamp> part = p_.files.Stamp(dir + localFile + kUnproven);
    std::uint64_t there = 0;
    if (whole && whole->size == file.size) there = file.size;
    else if (part) there = std::min(part->size, file.size);
    needed += file.size - there;
  };
  if (winrarSetup != nullptr) stillToCome(kWinrarSetupFile, winrarSetup);
  for (const ModuleRow& row : kModuleTable) {
    stillToCome(row.localFile, row.urlPath);
    const ListedFile& file = *list_->Find(Ascii(row.urlPath));
    const bool database = row.extractionMode != nullptr && std::wstring(row.extractionMode) == L"DD";
    if (row.archiveBase != nullptr && file.room && (database || !records_->WasExtracted(row.localFile))) {
      needed += *file.room;
    }
  }
  const std::optional<std::uint64_t> free = p_.files.FreeSpace(dir);
  if (free && *free < needed) {
    SayNoRoom(L"instalar o sistema", needed - *free);
    return false;
  }
  return true;
}

bool InstallationRun::Download(const std::wstring& localFile, const std::wstring& label,
                               const std::wstring& urlPath, bool showLabels, const std::wstring& detail) {
  if (list_) return DownloadProven(localFile, label, urlPath, showLabels, detail);
  Overview(InstallStep::Download, detail);
  const std::wstring path = state_.DirSistema + localFile;
  // A file an earlier run of this installation fetched is confirmed with the
  // server or continued; anything else is fetched whole.
  const FetchPlan plan = records_->PlanFor(localFile);
  // The file is closed on every way out: by Close here, or by its destructor
  // when the transfer raises or the run is stopped.
  std::unique_ptr<OutputFile> file =
      plan.keep ? p_.files.OpenKeeping(path, *plan.keep) : p_.files.CreateOutputFile(path);
  p_.display.SetModuleText(label);
  if (showLabels) ShowLabels();
  RecordingTransfer recorder(*records_, localFile, *file);
  Fetched fetched = Fetched::Body;
  try {
    fetched = p_.downloader.Fetch(urlPath, *file, plan.known ? &*plan.known : nullptr, &recorder);
    // A write that failed only when the file was closed (a delayed write
    // on a network folder) is a failed write too.
    file->Close();
  } catch (const DiskFull& full) {
    // What was fetched stays, and so does the mark: once there is room, the
    // next run goes on.
    CloseAfterAFailure(*file);
    SayNoRoom(L"baixar " + localFile, full.missingBytes());
    return false;
  }
  // Only a file that reached an end its answer marks is recorded as whole.
  if (recorder.whole()) records_->Completed(localFile);
  if (fetched == Fetched::Kept) Overview(InstallStep::Download, detail + kAlreadyFetched);
  return true;
}

// With the vendor's list: a file is used only once its size and SHA-256 are
// the list's. One already in the folder that is the vendor's costs no
// request at all. Anything else comes into a side file, hashed as it is
// written (a part an earlier run left there is continued, its kept bytes
// hashed first), and is moved under its name only once proven. A file that
// is not the vendor's is never left under its name: it is fetched whole
// once more, and if that is not the vendor's either the run stops.
bool InstallationRun::DownloadProven(const std::wstring& localFile, const std::wstring& label,
                                     const std::wstring& urlPath, bool showLabels, const std::wstring& detail) {
  Overview(InstallStep::Download, detail);
  p_.display.SetModuleText(label);
  if (showLabels) ShowLabels();
  const ListedFile& listed = *list_->Find(Ascii(urlPath));
  const std::wstring path = state_.DirSistema + localFile;
  const std::wstring sideName = localFile + kUnproven;
  const std::wstring side = state_.DirSistema + sideName;
  const auto isListed = [&](const FileDigest& digest) {
    return digest.size == listed.size && digest.sha256 == listed.sha256;
  };

  if (p_.files.FileExists(path)) {
    const std::optional<FileDigest> there = DigestOfFile(p_.files, *p_.crypto, p_.control, path);
    if (there && isListed(*there)) {
      if (p_.files.FileExists(side)) p_.files.RemoveFile(side);
      records_->Forget(sideName);
      Overview(InstallStep::Download, detail + kAlreadyFetched);
      return true;
    }
  }

  for (int attempt = 1; attempt <= 2; ++attempt) {
    // The first attempt goes on from a part an earlier run left; the second
    // is always the whole file.
    FetchPlan plan = attempt == 1 ? records_->PlanFor(sideName) : FetchPlan{};
    if (plan.known && (plan.known->complete || (plan.keep && *plan.keep > listed.size))) plan = {};
    HashingFile hashing(*p_.crypto, listed.size);
    if (plan.keep && !HashKeptBytes(p_.files, p_.control, side, *plan.keep, hashing)) plan = {};
    std::unique_ptr<OutputFile> file =
        plan.keep ? p_.files.OpenKeeping(side, *plan.keep) : p_.files.CreateOutputFile(side);
    hashing.WriteInto(*file);
    RecordingTransfer recorder(*records_, sideName, hashing);
    bool listedFile = true;
    try {
      try {
        p_.downloader.Fetch(urlPath, hashing, plan.known ? &*plan.known : nullptr, &recorder);
      } catch (const NotTheVendorsFile&) {
        listedFile = false;  // larger than the vendor's: none of it past the list's size was written
      }
      file->Close();
    } catch (const DiskFull& full) {
      CloseAfterAFailure(*file);
      SayNoRoom(L"baixar " + localFile, full.missingBytes());
      return false;
    }
    if (listedFile) {
      const Digest digest = hashing.Finish();
      listedFile = hashing.size() == listed.size && digest == listed.sha256;
    }
    if (listedFile) {
      p_.files.MoveReplacing(side, path);
      records_->Forget(sideName);
      return true;
    }
    file.reset();
    records_->Forget(sideName);
    p_.files.RemoveFile(side);
  }
  ShowMessage(kNotTheVendorsFile + localFile + kNotTheVendorsFileEnd);
  return false;
}

bool InstallationRun::InstallOptional(const OptionalSetup& setup, const std::wstring& presence,
                                      const std::wstring& installer) {
  if (p_.files.FileExists(presence) || !CheckURL()) return true;
  p_.display.SetModuleText(setup.installingText);
  p_.display.SetStatusText(setup.waitingText);
  Overview(InstallStep::Setups, setup.shownName);
  if (!p_.setups.InstalarAplicativo(setup.nome, installer)) {
    HideLabels();
    ShowMessage(SetupFailedMessage(setup.failedMessage, p_.setups.SetupStartFailure()));
    return false;
  }
  p_.display.SetModuleText(setup.doneText);
  p_.display.SetStatusText(L"concluída com sucesso");
  return true;
}

// The mark is written with the same file creation as the downloads, so a
// folder it cannot be written into stops the run with the system's reason.
// False when the disk had no room for it (the run then stops, having said so).
bool InstallationRun::MarkUnfinished() {
  // A mark left read-only (by a person, a copy from a CD, a backup tool)
  // would not let itself be written again.
  p_.files.MakeWritable(state_.DirSistema + kUnfinishedMark);
  std::unique_ptr<OutputFile> mark = p_.files.CreateOutputFile(state_.DirSistema + kUnfinishedMark);
  const std::string bytes = MarkBytes();
  try {
    mark->Write(bytes);
    mark->Close();
  } catch (const DiskFull& full) {
    // A mark written halfway is still a mark: the next run finishes this
    // installation.
    CloseAfterAFailure(*mark);
    SayNoRoom(std::wstring(L"gravar ") + kUnfinishedMark, std::max<std::uint64_t>(full.missingBytes(), bytes.size()));
    return false;
  }
  return true;
}

// A configuration file in the folder that this installation did not fetch
// (no mark of ours beside it) is the customer's, with the database's path
// in it: it is kept as it was before the download replaces it. This happens
// before the mark is written, so a run cut off in between keeps it still.
bool InstallationRun::KeepCustomersConfig() {
  const std::wstring& dir = state_.DirSistema;
  if (p_.files.FileExists(dir + kConfigFile) && !p_.files.FileExists(dir + kUnfinishedMark)) {
    try {
      p_.files.CopyReplacing(dir + kConfigFile, dir + kConfigFileKept);
    } catch (const DiskFull& full) {
      SayNoRoom(std::wstring(L"gravar ") + kConfigFileKept, full.missingBytes());
      return false;
    }
  }
  return true;
}

void InstallationRun::SayNoRoom(const std::wstring& what, std::uint64_t missingBytes) {
  ShowMessage(kNoRoom + what + kNoRoomFree + std::to_wstring(MegabytesFor(missingBytes)) + kNoRoomEnd);
}

// A file whose write failed is still closed; what its close would say
// about the failed write adds nothing.
void InstallationRun::CloseAfterAFailure(OutputFile& file) {
  try {
    file.Close();
  } catch (const Error&) {
  }
}

// True when the mark is gone. A read-only mark is made writable first; one
// held by another program is tried again for a while.
bool InstallationRun::RemoveUnfinishedMark() {
  const std::wstring mark = state_.DirSistema + kUnfinishedMark;
  p_.files.MakeWritable(mark);
  const std::uint32_t error =
      RetryWhileHeld(p_.waits, p_.clock, HeldFileRetry{}, [&] { return p_.files.RemoveFile(mark); }, IsHeldError);
  return error == 0 || error == kErrorFileNotFound;
}

void InstallationRun::Run() {
  // The plan's programs and paths are those of 64-bit Windows; on 32-bit
  // Windows the run would fetch the whole suite and then fail, so it says so
  // before it creates, probes or fetches anything.
  if (p_.bitness.IsWindows32Only()) {
    ShowMessage(kNeeds64BitWindows);
    return;
  }

  // The directory the person typed; a missing final backslash is added, so
  // "D:\ERP" installs into "D:\ERP\" and never beside it.
  std::wstring typed = p_.form.DirectoryText();
  if (!typed.empty()) {
    if (typed.back() != L'\\') typed += L'\\';
    state_.DirSistema = typed;
  }
  const std::wstring& dir = state_.DirSistema;

  if (p_.files.DirectoryExists(dir)) {
    // The updater alone marks a finished installation; beside the mark of
    // an unfinished one, the run goes on and finishes it.
    if (p_.files.FileExists(dir + kUpdaterExe) && !p_.files.FileExists(dir + kUnfinishedMark)) {
      ShowMessage(kPreviousInstallation);
      p_.window.RequestClose();
      return;
    }
    if (!KeepCustomersConfig()) return;
  } else if (!p_.files.ForceDirectories(dir)) {
    ShowMessage(kCannotCreateFolder);
    return;
  }
  // What an earlier run fetched counts only while the installation it
  // belongs to is unfinished (its mark is there).
  const bool unfinished = p_.files.Stamp(dir + kUnfinishedMark).has_value();
  if (!MarkUnfinished()) return;
  records_.emplace(p_.files, dir, dir + kDownloadRecords);
  if (unfinished) records_->Load();
  list_.reset();
  Overview(InstallStep::Download);

  const bool sysWoW64 = p_.bitness.IsWindows64();
  const PrerequisitePaths paths = ChoosePrerequisitePaths(sysWoW64, dir);

  if (!p_.files.FileExists(paths.PathWinRAR) && CheckURL()) {
    if (!ConfirmVendorList(sysWoW64 ? kWinrar64x : kWinrar86x)) return;
    if (!Download(kWinrarSetupFile, kWinrarLabel, sysWoW64 ? kWinrar64x : kWinrar86x,
                  /*showLabels=*/true, kWinrarSetupShown)) {
      return;
    }
    p_.display.SetStatusText(kWaitingForWinrar);
    if (!p_.setups.InstalarAplicativo(L"Winrar", dir)) {
      const std::wstring why = p_.setups.SetupStartFailure();
      // Running again is the cure the message gives: the next run fetches
      // the setup anew rather than trust this one (unless it never ran).
      if (why.empty()) records_->Forget(kWinrarSetupFile);
      HideLabels();
      ShowMessage(SetupFailedMessage(kWinrarNotInstalled, why));
      return;
    }
  }

  if (!CheckURL()) return;
  if (!ConfirmVendorList(nullptr)) return;

  ShowLabels();
  for (std::size_t i = 0; i < kModuleTable.size(); ++i) {
    const ModuleRow& row = kModuleTable[i];
    if (!Download(row.localFile, row.label, row.urlPath, /*showLabels=*/false,
                  CountText(i + 1, kModuleTable.size()))) {
      return;
    }
  }

  p_.waits.Pause(2000);

  p_.display.SetModuleText(L"Descompactando arquivos");
  p_.display.SetStatusText(L"aguarde...");
  p_.window.Repaint();
  Overview(InstallStep::Extract);
  std::size_t extracting = 0;
  for (const ModuleRow& row : kModuleTable) {
    if (row.archiveBase == nullptr) continue;
    Overview(InstallStep::Extract, CountText(++extracting, kArchivesToDelete.size()));
    const bool extracted =
        p_.extraction.DescompactarWINRAR(dir + row.archiveBase, dir, row.extractionMode, sysWoW64);
    p_.control.ProcessMessages();
    if (extracted) records_->Extracted(row.localFile);
    if (!extracted) {
      // Going on would run setups from a half-extracted tools folder and delete
      // the archive the person needs to try again. An archiver that never ran
      // says why; an archive it could not unpack is fetched whole by the next
      // run rather than kept by a 304.
      const std::wstring why = p_.extraction.ArchiverStartFailure();
      if (!why.empty()) {
        ShowMessage(kArchiverDidNotStart + std::wstring(row.localFile) + L": " + why + L".");
        return;
      }
      // A disk that filled while the archive was unpacked: the room it takes
      // (the list's, or at least the archive's own size) against what is free.
      std::uint64_t room = 0;
      if (list_) {
        room = list_->Find(Ascii(row.urlPath))->room.value_or(0);
      } else if (const std::optional<FileStamp> archive = p_.files.Stamp(dir + row.localFile)) {
        room = archive->size;
      }
      const std::optional<std::uint64_t> free = p_.files.FreeSpace(dir);
      if (free && *free < room) {
        SayNoRoom(L"descompactar " + std::wstring(row.localFile), room - *free);
        return;
      }
      records_->Forget(row.localFile);
      ShowMessage(kCannotExtract + std::wstring(row.localFile) + L".");
      return;
    }
  }

  p_.display.SetModuleText(L"Processo realizado!");
  p_.display.SetStatusText(L"Descompactação finalizada.");
  p_.waits.Pause(2000);

  Overview(InstallStep::Setups);
  if (!InstallOptional(kFirebird, paths.PathFireBird5_0, paths.PathFirebirdInstall5_0_64x)) return;
  p_.waits.Pause(1000);
  Overview(InstallStep::Setups);
  if (!InstallOptional(kAcbr, paths.PathACBRMonitor, paths.PathACBRInstall)) return;

  Overview(InstallStep::Finish);
  p_.display.SetModuleText(L"Criando Atalhos");
  p_.display.SetStatusText(L"Aguarde...");
  if (p_.files.FileExists(dir + kManagementProgram + L".exe")) {
    p_.shortcuts.CriarAtalhos(kManagementProgram);
  }

  p_.display.SetModuleText(L"Instalação Concluída.");
  p_.display.SetStatusText(L"Processo Finalizado");

  try {
    p_.config.GravarConfiguracao(dir);
  } catch (const DiskFull& full) {
    SayNoRoom(std::wstring(L"gravar ") + kConfigFile, full.missingBytes());
    return;
  }
  p_.extraction.DeletaArquivosRAR();
  // The record goes before the mark: a record without its mark is never read.
  p_.files.RemoveFile(dir + kDownloadRecords);
  const bool markRemoved = RemoveUnfinishedMark();

  succeeded_ = true;
  Overview(InstallStep::Done);
  ShowMessage(kDone);
  // A mark left behind would make the next start take this finished
  // installation for an unfinished one and run it all again over it.
  if (!markRemoved) ShowMessage(kMarkStays + dir + kUnfinishedMark + kMarkStaysEnd);
  p_.window.RequestClose();
}

}  // namespace pravonell
