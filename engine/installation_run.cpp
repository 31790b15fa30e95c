#include "engine/installation_run.h"

#include <string>

#include "engine/error.h"
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
constexpr const wchar_t* kNoRoom = L"Não há espaço suficiente no disco para baixar ";
constexpr const wchar_t* kNoRoomFree = L". Libere ";
constexpr const wchar_t* kNoRoomEnd = L" MB e execute o Pravonell novamente.";
constexpr const wchar_t* kAlreadyFetched = L" · já baixado";

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

bool InstallationRun::Download(const std::wstring& localFile, const std::wstring& label,
                               const std::wstring& urlPath, bool showLabels, const std::wstring& detail) {
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
  } catch (const DiskFull& full) {
    // What was fetched stays, and so does the mark: once there is room, the
    // next run goes on.
    file->Close();
    ShowMessage(kNoRoom + localFile + kNoRoomFree + std::to_wstring(MegabytesFor(full.missingBytes())) +
                kNoRoomEnd);
    return false;
  }
  file->Close();
  // Only a file that reached an end its answer marks is recorded as whole.
  if (recorder.whole()) records_->Completed(localFile);
  if (fetched == Fetched::Kept) Overview(InstallStep::Download, detail + kAlreadyFetched);
  return true;
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
void InstallationRun::MarkUnfinished() {
  // A mark left read-only (by a person, a copy from a CD, a backup tool)
  // would not let itself be written again.
  p_.files.MakeWritable(state_.DirSistema + kUnfinishedMark);
  std::unique_ptr<OutputFile> mark = p_.files.CreateOutputFile(state_.DirSistema + kUnfinishedMark);
  const std::string bytes = MarkBytes();
  mark->Write(bytes);
  mark->Close();
}

// A configuration file in the folder that this installation did not fetch
// (no mark of ours beside it) is the customer's, with the database's path
// in it: it is kept as it was before the download replaces it. This happens
// before the mark is written, so a run cut off in between keeps it still.
void InstallationRun::KeepCustomersConfig() {
  const std::wstring& dir = state_.DirSistema;
  if (p_.files.FileExists(dir + kConfigFile) && !p_.files.FileExists(dir + kUnfinishedMark)) {
    p_.files.CopyReplacing(dir + kConfigFile, dir + kConfigFileKept);
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
    KeepCustomersConfig();
  } else if (!p_.files.ForceDirectories(dir)) {
    ShowMessage(kCannotCreateFolder);
    return;
  }
  // What an earlier run fetched counts only while the installation it
  // belongs to is unfinished (its mark is there).
  const bool unfinished = p_.files.Stamp(dir + kUnfinishedMark).has_value();
  MarkUnfinished();
  records_.emplace(p_.files, dir, dir + kDownloadRecords);
  if (unfinished) records_->Load();
  Overview(InstallStep::Download);

  const bool sysWoW64 = p_.bitness.IsWindows64();
  const PrerequisitePaths paths = ChoosePrerequisitePaths(sysWoW64, dir);

  if (!p_.files.FileExists(paths.PathWinRAR) && CheckURL()) {
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

  p_.config.GravarConfiguracao(dir);
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
