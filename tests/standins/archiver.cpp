// Stand-in for WinRAR in tests. It reads its command line as the real
// archiver does and extracts with Debian's bsdtar (7z archives under any
// name), so whatever the installer relies on behaves as it would for real:
//   Winrar.exe x [-o-] [-y] ARCHIVE [MASK...] [DESTINATION\]
// - the last argument is the destination only when it ends in a backslash;
//   otherwise it is one more file mask, and the files go to the current folder;
// - masks that match nothing in the archive end with code 10;
// - a file to extract that already exists makes the real archiver ask whether
//   to overwrite it. Started hidden, nobody sees the question: without -y
//   (yes to all) this stand-in waits for ever, as the real one would;
// - -o- (skip existing files) answers that question with no, whatever -y
//   says: each file that exists is left as it is, the others are extracted,
//   and the exit code is 0;
// - exit codes: 0 success, 2 fatal error, 6 open error, 7 wrong command
//   line, 10 no files to extract.
// Each command line is recorded in C:\standin\archiver.log. A real
// extraction takes its time; "delay=MS" in section [archiver] of
// C:\standin\archiver.ini makes this one take at least that long.
#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

#include "engine/text.h"
#include "tests/standins/unix_command.h"

using pravonell::standin::RunUnixCommand;
using pravonell::standin::ShellQuote;
using pravonell::standin::UnixPathOf;
using pravonell::standin::Widen;

namespace {

enum ExitCode { kSuccess = 0, kFatal = 2, kOpenError = 6, kUserError = 7, kNoFiles = 10 };

std::string Utf8(const std::wstring& text) { return pravonell::Utf8Of(text); }

void AppendLine(const std::wstring& path, const std::wstring& line) {
  CreateDirectoryW(L"C:\\standin", nullptr);
  HANDLE h = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  const std::string bytes = Utf8(line + L"\r\n");
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
}

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
  return text;
}

// A mask names a file by its path in the archive, or by its name alone.
bool Matches(const std::wstring& entry, std::wstring mask) {
  for (wchar_t& c : mask) {
    if (c == L'\\') c = L'/';
  }
  if (Lower(entry) == Lower(mask)) return true;
  const std::wstring name = entry.substr(entry.find_last_of(L'/') + 1);
  return mask.find(L'/') == std::wstring::npos && Lower(name) == Lower(mask);
}

bool IsFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring line;
  for (int i = 1; i < argc; ++i) line += (i > 1 ? L" | " : L"") + std::wstring(argv[i]);
  AppendLine(L"C:\\standin\\archiver.log", line);

  const UINT delay = GetPrivateProfileIntW(L"archiver", L"delay", 0, L"C:\\standin\\archiver.ini");
  if (delay > 0) Sleep(delay);

  if (argc < 3 || std::wstring(argv[1]) != L"x") return kUserError;
  int at = 2;
  bool yesToAll = false;
  bool skipExisting = false;
  for (; at < argc && argv[at][0] == L'-'; ++at) {
    if (Lower(argv[at]) == L"-y") yesToAll = true;
    else if (Lower(argv[at]) == L"-o-") skipExisting = true;
    else if (Lower(argv[at]) != L"-ibck") return kUserError;  // a switch we do not know
  }
  if (at >= argc) return kUserError;
  const std::wstring archive = argv[at++];
  std::vector<std::wstring> masks(argv + at, argv + argc);
  std::wstring destination;
  if (!masks.empty() && !masks.back().empty() && masks.back().back() == L'\\') {
    destination = masks.back();
    masks.pop_back();
  } else {
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    destination = std::wstring(current) + L"\\";
  }

  if (!IsFile(archive)) return kOpenError;
  const std::string unixArchive = UnixPathOf(archive);
  const std::string unixDestination = UnixPathOf(destination);
  if (unixArchive.empty() || unixDestination.empty()) return kFatal;

  std::string listing;
  std::string list = "bsdtar -tf ";
  list += ShellQuote(unixArchive);
  if (RunUnixCommand(list, &listing) != 0) return kFatal;
  std::vector<std::wstring> selected;
  std::istringstream entries(listing);
  std::string entry;
  while (std::getline(entries, entry)) {
    if (entry.empty() || entry.back() == '/') continue;  // folders come with their files
    const std::wstring wide = Widen(entry);
    bool wanted = masks.empty();
    for (const std::wstring& mask : masks) wanted = wanted || Matches(wide, mask);
    if (wanted) selected.push_back(wide);
  }
  if (selected.empty()) return kNoFiles;

  std::vector<std::wstring> toExtract;
  for (const std::wstring& file : selected) {
    std::wstring path = destination + file;
    for (wchar_t& c : path) {
      if (c == L'/') c = L'\\';
    }
    if (IsFile(path)) {
      if (skipExisting) continue;
      // "Replace the existing file?" on a hidden window: no one will answer.
      if (!yesToAll) Sleep(INFINITE);
    }
    toExtract.push_back(file);
  }
  if (toExtract.empty()) return kSuccess;  // everything was there and skipped

  std::string script = "mkdir -p ";
  script += ShellQuote(unixDestination);
  script += " && bsdtar -xf ";
  script += ShellQuote(unixArchive);
  script += " -C ";
  script += ShellQuote(unixDestination);
  if (!masks.empty() || toExtract.size() != selected.size()) {
    for (const std::wstring& file : toExtract) {
      script += ' ';
      script += ShellQuote(Utf8(file));
    }
  }
  return RunUnixCommand(script) == 0 ? kSuccess : kFatal;
}
