// A fresh folder under the temporary folder for one test, removed afterwards.
#pragma once

#include <windows.h>

#include <string>

#include "tests/wine/files.h"

namespace pravonell::testing {

class Scratch {
 public:
  Scratch() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static int counter = 0;
    root_ = std::wstring(temp) + L"pravonell-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter) + L"\\";
    CreateDirectoryW(root_.c_str(), nullptr);
  }
  ~Scratch() { RemoveTree(root_); }

  std::wstring Path(const std::wstring& relative) const { return root_ + relative; }

  void Write(const std::wstring& relative, const std::string& bytes) const {
    WriteAbsolute(Path(relative), bytes);
  }

  static void WriteAbsolute(const std::wstring& path, const std::string& bytes) { WriteWithFolders(path, bytes); }

  static void RemoveTree(const std::wstring& dir) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((dir + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = dir + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          RemoveTree(path + L"\\");
        } else {
          SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
          DeleteFileW(path.c_str());
        }
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
    RemoveDirectoryW(dir.c_str());
  }

 private:
  std::wstring root_;
};

}  // namespace pravonell::testing
