// Reading, writing and copying files in the Wine tests: the one set of file
// helpers the port, GUI and end-to-end tests share.
#pragma once

#include <windows.h>

#include <string>

namespace pravonell::testing {

inline bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A file's bytes, or "<missing>" when it cannot be opened for reading.
inline std::string ReadBytes(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(h);
  return bytes;
}

// Makes the folders the path needs below its drive.
inline void MakeFoldersFor(const std::wstring& path) {
  for (std::size_t i = 3; i < path.size(); ++i) {
    if (path[i] == L'\\') CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
  }
}

// Writes the file (replacing it), making its folders first.
inline void WriteWithFolders(const std::wstring& path, const std::string& bytes) {
  MakeFoldersFor(path);
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
}

// Copies the file, making the target's folders first; false when it failed.
inline bool CopyWithFolders(const std::wstring& from, const std::wstring& to) {
  MakeFoldersFor(to);
  return CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
}

}  // namespace pravonell::testing
