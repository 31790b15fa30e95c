// Stand-in for a prerequisite's setup program in tests. It looks itself up
// by file name in C:\standin\setups.ini:
//   [Firebird50-64.exe]
//   exit=0                       the exit code (0 when not given)
//   create1=C:\path\file         files to create, as the real setup would
//   copy1=C:\from|C:\to          files to copy (the WinRAR setup installs
//                                the archiver stand-in this way)
//   delay=1500                   time the "installation" takes, in ms
// and notes its start in C:\standin\setups.log.
#include <windows.h>

#include <string>

namespace {

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
  HANDLE log = CreateFileW(L"C:\\standin\\setups.log", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, 0, nullptr);
  if (log != INVALID_HANDLE_VALUE) {
    std::string line;
    for (wchar_t c : std::wstring(GetCommandLineW())) line += c < 128 ? static_cast<char>(c) : '?';
    line += "\r\n";
    DWORD written = 0;
    WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(log);
  }

  const int delay = _wtoi(Setting(name, L"delay").c_str());
  if (delay > 0) Sleep(static_cast<DWORD>(delay));
  for (int i = 1; i <= 9; ++i) {
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
  return _wtoi(Setting(name, L"exit").c_str());
}
