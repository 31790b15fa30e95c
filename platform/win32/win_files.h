// Files and folders on Windows.
#pragma once

#include "engine/ports.h"

namespace pravonell::win32 {

// The output file for a handle already opened for writing (it takes the
// handle over): what CreateOutputFile gives, for a handle made otherwise.
std::unique_ptr<OutputFile> OutputFileOf(void* handle, const std::wstring& path);

class Win32FileSystem final : public FileSystem {
 public:
  bool DirectoryExists(const std::wstring& path) override;
  bool FileExists(const std::wstring& path) override;
  bool ForceDirectories(const std::wstring& path) override;
  std::unique_ptr<OutputFile> CreateOutputFile(const std::wstring& path) override;
  std::uint32_t RemoveFile(const std::wstring& path) override;
  void MakeWritable(const std::wstring& path) override;
  bool IsLink(const std::wstring& path) override;
  FolderEntries ListFolder(const std::wstring& folder) override;
  std::uint32_t MoveWithoutReplacing(const std::wstring& from, const std::wstring& to) override;
  void RemoveFolderTree(const std::wstring& folder) override;
  void CopyReplacing(const std::wstring& from, const std::wstring& to) override;
  void MoveReplacing(const std::wstring& from, const std::wstring& to) override;
  std::unique_ptr<InputFile> OpenForReading(const std::wstring& path) override;
  std::optional<std::uint64_t> FreeSpace(const std::wstring& folder) override;
  std::optional<FileStamp> Stamp(const std::wstring& path) override;
  std::optional<std::string> ReadWhole(const std::wstring& path, std::size_t limit) override;
  void WriteWhole(const std::wstring& path, const std::string& bytes) override;
  std::unique_ptr<OutputFile> OpenKeeping(const std::wstring& path, std::uint64_t keep) override;
};


}  // namespace pravonell::win32
