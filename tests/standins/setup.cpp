// Stand-in for a prerequisite's setup program in tests. It looks itself up
// by file name in C:\standin\setups.ini:
//   [Firebird50-64.exe]
//   exit=0                       the exit code (0 when not given)
//   create1=C:\path\file         files to create, as the real setup would
//                                (only when it succeeds)
//   copy1=C:\from|C:\to          files to copy (the WinRAR setup installs
//                                the archiver stand-in this way)
//   delay=1500                   time the "installation" takes, in ms
//   waitfor=C:\standin\go        runs until that file exists (a person
//                                still clicking through the setup's pages)
// and notes its start in C:\standin\setups.log, and its end, with the exit
// code, in C:\standin\setups-done.log.
#include <windows.h>

#include <string>

namespace {

void AppendTo(const wchar_t* path, const std::string& line) {
  HANDLE log = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0,
                           nullptr);
  if (log == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(log);
}

void MakeFoldersFor(const std::wstring& path) {
  for (std::size_t i = 3; i < path.size(); ++i) {
    if (path[i] == L'\\') CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
  }
}

std::wstring Setting(const std::wstring& section, const std::wstring& key) {
  wchar_t value[1024] = {};
  GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", value, 1024, L"C:\\standin\\setups.ini");
  return value;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring name = self;
  name = name.substr(name.find_last_of(L'\\') + 1);

  CreateDirectoryW(L"C:\\standin", nullptr);
  std::string line;
  for (wchar_t c : std::wstring(GetCommandLineW())) line += c < 128 ? static_cast<char>(c) : '?';
  AppendTo(L"C:\\standin\\setups.log", line + "\r\n");

  const int delay = _wtoi(Setting(name, L"delay").c_str());
  if (delay > 0) Sleep(static_cast<DWORD>(delay));
  const std::wstring waitFor = Setting(name, L"waitfor");
  for (int i = 0; !waitFor.empty() && i < 1200 && GetFileAttributesW(waitFor.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) {
    Sleep(100);
  }
  // Only a setup that succeeds leaves anything installed; one that was
  // declined or failed leaves the PC as it was.
  const int code = _wtoi(Setting(name, L"exit").c_str());
  const bool installed = code == 0 || code == 3010 || code == 1641;
  for (int i = 1; i <= 9 && installed; ++i) {
    const std::wstring create = Setting(name, L"create" + std::to_wstring(i));
    if (!create.empty()) {
      MakeFoldersFor(create);
      HANDLE h = CreateFileW(create.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      CloseHandle(h);
    }
    const std::wstring copy = Setting(name, L"copy" + std::to_wstring(i));
    const auto bar = copy.find(L'|');
    if (bar != std::wstring::npos) {
      MakeFoldersFor(copy.substr(bar + 1));
      CopyFileW(copy.substr(0, bar).c_str(), copy.substr(bar + 1).c_str(), FALSE);
    }
  }
  std::string ascii;
  for (wchar_t c : name) ascii += c < 128 ? static_cast<char>(c) : '?';
  AppendTo(L"C:\\standin\\setups-done.log", ascii + " exit " + std::to_string(code) + "\r\n");
  return code;
}
