#include "engine/extraction.h"

#include "engine/command_line.h"
#include "engine/error.h"
#include "engine/program_start.h"

namespace pravonell {

std::wstring ArchiverExtraction::CommandLine(const std::wstring& origem, const std::wstring& destino,
                                             const std::wstring& tipo, bool win64) {
  // Each piece is quoted when it holds a blank, so neither the archiver's own
  // path nor a folder such as "C:\Minha Empresa\" is split into words.
  // -y answers yes to every question: started hidden, the archiver would
  // otherwise wait for ever on an unseen "overwrite?" when a file exists.
  std::wstring line = QuoteArgument(WinrarPath(win64)) + L" x -y " + QuoteArgument(origem + L".rar");
  if (tipo == L".exe") {
    const auto cut = origem.find_last_of(L"\\:");
    const std::wstring arquivo = (cut == std::wstring::npos ? origem : origem.substr(cut + 1)) + L".exe";
    line += L" " + QuoteArgument(arquivo) + L" " + QuoteArgument(destino);
  } else if (tipo == L"DD") {
    // The database goes into a folder of its own first (see MoveDatabaseIn).
    // The archiver takes its last argument for a folder only when it ends in
    // a backslash; without one it is a file name to look for in the archive.
    line += L" " + QuoteArgument(destino + kDatabaseStaging + L"\\");
  } else {
    line += L" " + QuoteArgument(destino);
  }
  return line;
}

bool ArchiverExtraction::DescompactarWINRAR(const std::wstring& origem, const std::wstring& destino,
                                            const std::wstring& tipo, bool win64) {
  startFailure_.clear();
  if (tipo == L"DD") {
    const std::wstring dados = state_.DirSistema + L"Dados";
    if (!files_.DirectoryExists(dados) && !files_.ForceDirectories(dados)) {
      window_.ShowMessage(L"Não foi possível criar a pasta do Banco de Dados");
      return false;
    }
    // The database's files are never written through a link the run did not
    // make: anyone may make one in the installation folder.
    RefuseLink(dados);
    // Whatever an earlier, interrupted extraction left there goes first (a
    // link there goes as a link, and what it leads to is left alone).
    const std::wstring staging = destino + kDatabaseStaging;
    files_.RemoveFolderTree(staging);
    if (!files_.ForceDirectories(staging)) return false;
    return RunArchiver(CommandLine(origem, destino, tipo, win64), win64) && MoveDatabaseIn(staging, dados);
  }
  return RunArchiver(CommandLine(origem, destino, tipo, win64), win64);
}

bool ArchiverExtraction::RunArchiver(const std::wstring& commandLine, bool win64) {
  // A start that fails for a passing reason is tried again for a while (as
  // for the setups, Wine's "file not found" for an archiver that is there
  // means it is held).
  const std::wstring program = WinrarPath(win64);
  Started started = StartRetrying(
      waits_, clock_, retry_, [&] { return processes_.Start(commandLine, /*hidden=*/true); },
      [&](std::uint32_t error) { return error == kErrorFileNotFound && files_.FileExists(program); });
  if (!started.process) {
    startFailure_ = StartFailureText(started);
    return false;
  }
  std::unique_ptr<Process> archiver = std::move(started.process);
  // The window stays alive while the archiver works; the next step needs
  // what this archive holds, so it is waited for. A run stopped meanwhile
  // ends the archiver too: it is ours, hidden, and nobody would see it.
  try {
    waits_.Until([&](unsigned ms) { return archiver->Wait(ms); }, Waits::kNoLimit);
  } catch (const RunStopped&) {
    archiver->Terminate();
    throw;
  }
  return archiver->ExitCode() == 0;
}

// The database's files are the customer's once they are in Dados: a live
// database, or an earlier run's. The archive is unpacked into a folder of
// its own, and each file is then moved into Dados only where Dados lacks it.
// A move is a rename within the volume, so a file appears in Dados whole or
// not at all: an extraction cut off (a close, a power cut) leaves its
// half-written file in the staging folder, which the next run empties.
bool ArchiverExtraction::MoveDatabaseIn(const std::wstring& staging, const std::wstring& dados) {
  if (!MoveMissing(staging, dados)) return false;
  // What stays there is the archive's own copy of files Dados already has.
  files_.RemoveFolderTree(staging);
  return true;
}

void ArchiverExtraction::RefuseLink(const std::wstring& folder) {
  if (files_.IsLink(folder)) {
    throw Error(L"A pasta " + folder +
                L" leva a outro lugar (é um link). Por segurança, o Pravonell não grava através de links que não "
                L"criou: troque-o por uma pasta comum e execute o Pravonell novamente.");
  }
}

// A folder that cannot be listed stops the run (ListFolder raises with the
// system's reason): taken as empty, it would pass for moved.
bool ArchiverExtraction::MoveMissing(const std::wstring& from, const std::wstring& to) {
  const FolderEntries entries = files_.ListFolder(from);
  for (const std::wstring& name : entries.files) {
    const std::wstring target = to + L"\\" + name;
    // A link in the staging folder is not the archive's: it is not moved in.
    if (files_.IsLink(from + L"\\" + name)) continue;
    if (files_.FileExists(target) || files_.DirectoryExists(target)) continue;
    const std::uint32_t error = files_.MoveWithoutReplacing(from + L"\\" + name, target);
    // A name taken meanwhile is someone else's file, and stays theirs.
    if (error != 0 && error != kErrorAlreadyExists && error != kErrorFileExists) return false;
  }
  for (const std::wstring& name : entries.folders) {
    const std::wstring target = to + L"\\" + name;
    if (files_.FileExists(target)) continue;
    RefuseLink(target);
    if (!files_.DirectoryExists(target) && !files_.ForceDirectories(target)) return false;
    if (!MoveMissing(from + L"\\" + name, target)) return false;
  }
  return true;
}

void ArchiverExtraction::DeletaArquivosRAR() {
  for (const wchar_t* name : kArchivesToDelete) {
    const std::wstring path = state_.DirSistema + name;
    const std::uint32_t error =
        RetryWhileHeld(waits_, clock_, retry_, [&] { return files_.RemoveFile(path); }, IsHeldError);
    if (error == 0) waits_.Pause(900);
    pump_.ProcessMessages();
  }
}

}  // namespace pravonell
