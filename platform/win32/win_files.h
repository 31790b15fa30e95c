// Files and folders, pauses and the bitness test on Windows.
#pragma once

#include "engine/ports.h"

namespace pravonell::win32 {

class Win32FileSystem final : public FileSystem {
 public:
  bool DirectoryExists(const std::wstring& path) override;
  bool FileExists(const std::wstring& path) override;
  bool ForceDirectories(const std::wstring& path) override;
  std::unique_ptr<OutputFile> CreateOutputFile(const std::wstring& path) override;
  std::uint32_t RemoveFile(const std::wstring& path) override;
};

class Win32Pauses final : public Pauses {
 public:
  std::uint64_t NowMs() override;
  void Sleep(unsigned milliseconds) override;
};

class Win32Bitness final : public Bitness {
 public:
  bool IsWindows64() override;
  bool IsWindows32Only() override;
};

}  // namespace pravonell::win32
