#include "engine/extraction.h"

#include "engine/command_line.h"
#include "engine/error.h"

namespace pravonell {

std::wstring ArchiverExtraction::CommandLine(const std::wstring& origem, const std::wstring& destino,
                                             const std::wstring& tipo, bool win64) {
  // Each piece is quoted when it holds a blank, so neither the archiver's own
  // path nor a folder such as "C:\Minha Empresa\" is split into words.
  // -y answers yes to every question: started hidden, the archiver would
  // otherwise wait for ever on an unseen "overwrite?" when a file exists.
  // The database folder's files are the customer's once they are there (a
  // live database, an earlier run's): -o- skips every file that exists, and
  // the archiver takes it before -y.
  std::wstring line = QuoteArgument(WinrarPath(win64)) + L" x " + (tipo == L"DD" ? L"-o- " : L"") +
                      L"-y " + QuoteArgument(origem + L".rar");
  if (tipo == L".exe") {
    const auto cut = origem.find_last_of(L"\\:");
    const std::wstring arquivo = (cut == std::wstring::npos ? origem : origem.substr(cut + 1)) + L".exe";
    line += L" " + QuoteArgument(arquivo) + L" " + QuoteArgument(destino);
  } else if (tipo == L"DD") {
    // The archiver takes its last argument for a folder only when it ends in
    // a backslash; without one it is a file name to look for in the archive.
    line += L" " + QuoteArgument(destino + L"Dados\\");
  } else {
    line += L" " + QuoteArgument(destino);
  }
  return line;
}

bool ArchiverExtraction::DescompactarWINRAR(const std::wstring& origem, const std::wstring& destino,
                                            const std::wstring& tipo, bool win64) {
  if (tipo == L"DD") {
    const std::wstring dados = state_.DirSistema + L"Dados";
    if (!files_.DirectoryExists(dados) && !files_.ForceDirectories(dados)) {
      window_.ShowMessage(L"Não foi possível criar a pasta do Banco de Dados");
      return false;
    }
  }
  std::unique_ptr<Process> archiver =
      processes_.Start(CommandLine(origem, destino, tipo, win64), /*hidden=*/true).process;
  if (!archiver) return false;
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
