// A download target file for the native tools.
#pragma once

#include <memory>
#include <string>

#include "engine/ports.h"

namespace pravonell::posix {

// Creates or empties the file; raises Error when it cannot.
std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path);

// The files a record of downloads needs (paths: a Linux path's bytes, each
// as one character).
class PosixRecordFiles final : public RecordFiles {
 public:
  std::optional<FileStamp> Stamp(const std::wstring& path) override;
  std::optional<std::string> ReadWhole(const std::wstring& path, std::size_t limit) override;
  void WriteWhole(const std::wstring& path, const std::string& bytes) override;
  std::unique_ptr<OutputFile> OpenKeeping(const std::wstring& path, std::uint64_t keep) override;
};

}  // namespace pravonell::posix
