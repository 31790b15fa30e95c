// The folder the loopback test server serves, as the test scripts set it up:
// PRAVONELL_SITE_ROOT names it (a Linux path), PRAVONELL_SITE_PORT and
// PRAVONELL_DOWNLOAD_PORT the two ports the server listens on.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>

#include "engine/text.h"

namespace pravonell::testing {

// Wine's Z: drive is the Linux root.
inline std::wstring WindowsPathOf(const std::string& unixPath) {
  std::wstring path = L"Z:" + WidenLatin1(unixPath);
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

inline std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// The program the GUI tests drive: the one this build made, unless
// PRAVONELL_PROGRAM names another (the 32-bit stage drives the i686 build).
inline std::wstring ProgramUnderTest(const char* built) {
  const std::string other = Env("PRAVONELL_PROGRAM");
  return WindowsPathOf(other.empty() ? std::string(built) : other);
}

inline std::wstring SiteRoot() { return WindowsPathOf(Env("PRAVONELL_SITE_ROOT")); }
inline int SitePort() { return std::atoi(Env("PRAVONELL_SITE_PORT").c_str()); }
inline int DownloadPort() { return std::atoi(Env("PRAVONELL_DOWNLOAD_PORT").c_str()); }

// Writes a file under the served folder, making its folders.
inline void WriteSiteFile(const std::wstring& relative, const std::string& bytes) {
  std::wstring path = SiteRoot() + L"\\" + relative;
  for (std::size_t i = 3; i < path.size(); ++i) {
    if (path[i] == L'\\') CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
  }
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
}

}  // namespace pravonell::testing
