// Stand-in for WinRAR in tests. It reads its command line and writes its
// files as the real archiver does, and extracts with Debian's bsdtar (7z
// archives under any name), so whatever the installer relies on behaves as
// it would for real:
//   Winrar.exe x [-o-] [-y] ARCHIVE [MASK...] [DESTINATION\]
// - the last argument is the destination only when it ends in a backslash;
//   otherwise it is one more file mask, and the files go to the current folder;
// - a file to extract that already exists makes the real archiver ask whether
//   to overwrite it. Started hidden, nobody sees the question: without -y
//   (yes to all) this stand-in waits for ever, as the real one would;
// - -o- (skip existing files) answers that question with no, whatever -y
//   says: each file that exists is left as it is;
// - what counts as extracted: a file once its data is written, and a folder
//   entry of the archive (even when the folder exists). A skipped file, or
//   one no mask names, does not count. When nothing counted, the archiver
//   says "No files to extract" and ends with code 10: so -o- over a folder
//   that holds every file of an archive without folder entries ends with 10;
// - a file over 1,000,000 bytes is first given its full length, then its
//   data is written from the start, and it is cut back only once finished:
//   an archiver ended in the middle leaves a file of the full size whose
//   tail is zeros;
// - exit codes: 0 success, 2 fatal error, 5 write error (a full disk, say),
//   6 open error, 7 wrong command line, 9 create error, 10 no files to
//   extract, 255 ended from outside.
// Each command line is recorded in C:\standin\archiver.log. In section
// [archiver] of C:\standin\archiver.ini:
// - "delay=MS": the run takes at least that long, as a real extraction does;
// - "hold=BYTES": in a file over 1,000,000 bytes, after that many bytes of
//   data, it writes C:\standin\archiver.holding and waits until
//   C:\standin\archiver.go exists, so a test can see (or end) an
//   extraction in the middle of a large file.
#include <windows.h>

#include <cstdint>
#include <cwchar>
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

enum ExitCode { kSuccess = 0, kFatal = 2, kWriteError = 5, kOpenError = 6, kUserError = 7, kCreateError = 9,
                kNoFiles = 10 };

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


std::wstring WindowsName(const std::wstring& name) {
  std::wstring path = name;
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

// Every missing folder of a path that ends in a backslash.
void CreateFolders(const std::wstring& folder) {
  for (std::size_t i = 3; i < folder.size(); ++i) {
    if (folder[i] == L'\\') CreateDirectoryW(folder.substr(0, i).c_str(), nullptr);
  }
}

std::wstring TempFolder() {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + L"archiver-standin-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
}

struct Hold {
  std::uint64_t afterBytes = 0;  // 0: never
};

Hold ReadHold() {
  wchar_t text[32] = {};
  GetPrivateProfileStringW(L"archiver", L"hold", L"", text, 32, L"C:\\standin\\archiver.ini");
  return Hold{wcstoull(text, nullptr, 10)};
}

constexpr std::uint64_t kPreallocatedOver = 1000000;

// Writes one file as the archiver does: a file over 1,000,000 bytes is given
// its full length before its data, and cut back to what was written once it
// is finished. A read-only file of the archive is read-only on disk too, and
// one that is replaced loses its read-only attribute first.
// kSuccess, or the archiver's code for what failed.
int WriteLikeTheArchiver(const std::wstring& from, const std::wstring& to, const Hold& hold) {
  HANDLE source = CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (source == INVALID_HANDLE_VALUE) return kFatal;
  LARGE_INTEGER size{};
  GetFileSizeEx(source, &size);
  const bool readOnly = (GetFileAttributesW(from.c_str()) & FILE_ATTRIBUTE_READONLY) != 0;
  SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_NORMAL);
  HANDLE target = CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (target == INVALID_HANDLE_VALUE) {
    CloseHandle(source);
    return kCreateError;
  }
  const bool large = static_cast<std::uint64_t>(size.QuadPart) > kPreallocatedOver;
  bool ok = true;
  if (large) {
    LARGE_INTEGER zero{};
    ok = SetFilePointerEx(target, size, nullptr, FILE_BEGIN) && SetEndOfFile(target) &&
         SetFilePointerEx(target, zero, nullptr, FILE_BEGIN);
  }
  std::vector<char> block(65536);
  std::uint64_t written = 0;
  bool held = false;
  DWORD got = 0;
  while (ok && ReadFile(source, block.data(), static_cast<DWORD>(block.size()), &got, nullptr) && got > 0) {
    DWORD put = 0;
    ok = WriteFile(target, block.data(), got, &put, nullptr) && put == got;
    written += got;
    if (ok && large && !held && hold.afterBytes > 0 && written >= hold.afterBytes) {
      held = true;
      FlushFileBuffers(target);
      CloseHandle(CreateFileW(L"C:\\standin\\archiver.holding", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
      while (GetFileAttributesW(L"C:\\standin\\archiver.go") == INVALID_FILE_ATTRIBUTES) Sleep(50);
    }
  }
  ok = ok && SetEndOfFile(target);  // cut back to what was written
  CloseHandle(target);
  CloseHandle(source);
  if (ok && readOnly) SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_READONLY);
  return ok ? kSuccess : kWriteError;
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
  if (unixArchive.empty() || UnixPathOf(destination).empty()) return kFatal;

  std::string listing;
  if (RunUnixCommand("bsdtar -tf " + ShellQuote(unixArchive), &listing) != 0) return kFatal;
  struct Entry {
    std::wstring name;  // as the archive holds it, with '/'
    bool folder;
  };
  std::vector<Entry> selected;
  std::istringstream entries(listing);
  std::string entry;
  while (std::getline(entries, entry)) {
    if (entry.empty() || entry == "./") continue;
    if (entry.rfind("./", 0) == 0) entry = entry.substr(2);
    const bool folder = entry.back() == '/';
    if (folder) entry.pop_back();
    const std::wstring wide = Widen(entry);
    bool wanted = masks.empty();
    for (const std::wstring& mask : masks) wanted = wanted || Matches(wide, mask);
    if (wanted) selected.push_back({wide, folder});
  }
  if (selected.empty()) return kNoFiles;

  // The archive is unpacked aside first; the files are then written into
  // place by this program, the way the archiver writes them.
  const std::wstring staging = TempFolder();
  const std::string unixStaging = UnixPathOf(staging);
  if (unixStaging.empty() || RunUnixCommand("mkdir -p " + ShellQuote(unixStaging) + " && bsdtar -xf " +
                                            ShellQuote(unixArchive) + " -C " + ShellQuote(unixStaging)) != 0) {
    return kFatal;
  }
  CreateFolders(destination);
  const Hold hold = ReadHold();
  int counted = 0;
  int status = kSuccess;
  for (const Entry& item : selected) {
    const std::wstring target = destination + WindowsName(item.name);
    if (item.folder) {
      CreateFolders(target + L"\\");
      ++counted;
      continue;
    }
    if (IsFile(target)) {
      if (skipExisting) continue;
      // "Replace the existing file?" on a hidden window: no one will answer.
      if (!yesToAll) Sleep(INFINITE);
    }
    CreateFolders(target.substr(0, target.find_last_of(L'\\') + 1));
    if (const int failed = WriteLikeTheArchiver(staging + WindowsName(item.name), target, hold); failed != kSuccess) {
      status = failed;
      continue;
    }
    ++counted;
  }
  RunUnixCommand("rm -rf " + ShellQuote(unixStaging));
  if (status != kSuccess) return status;
  return counted > 0 ? kSuccess : kNoFiles;
}
