// Stand-in for WinRAR in tests: accepts the archiver's command lines
//   Winrar.exe x ARCHIVE [FILE] DESTINATION
// records them in C:\standin\archiver.log, really extracts the archive with
// Debian's bsdtar (7z archives under any name), and exits with its outcome.
#include <windows.h>

#include <string>

#include "tests/standins/unix_command.h"

using pravonell::standin::RunUnixCommand;
using pravonell::standin::ShellQuote;
using pravonell::standin::UnixPathOf;

namespace {

void AppendLine(const std::wstring& path, const std::wstring& line) {
  CreateDirectoryW(L"C:\\standin", nullptr);
  HANDLE h = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  const std::wstring text = line + L"\r\n";
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size() - 1), &written, nullptr);
  CloseHandle(h);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring line;
  for (int i = 1; i < argc; ++i) line += (i > 1 ? L" | " : L"") + std::wstring(argv[i]);
  AppendLine(L"C:\\standin\\archiver.log", line);

  if (argc < 4 || argc > 5 || std::wstring(argv[1]) != L"x") return 7;  // not a command we know
  const std::wstring archive = argv[2];
  const std::wstring destination = argv[argc - 1];
  const std::string unixArchive = UnixPathOf(archive);
  const std::string unixDestination = UnixPathOf(destination);
  if (unixArchive.empty() || unixDestination.empty()) return 2;

  std::string script = "mkdir -p ";
  script += ShellQuote(unixDestination);
  script += " && bsdtar -xf ";
  script += ShellQuote(unixArchive);
  script += " -C ";
  script += ShellQuote(unixDestination);
  if (argc == 5) {
    const std::wstring file = argv[3];
    script += ' ';
    script += ShellQuote(std::string(file.begin(), file.end()));
  }
  const int code = RunUnixCommand(script);
  return code < 0 ? 255 : code;
}
