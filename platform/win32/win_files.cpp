#include "platform/win32/win_files.h"

#include <windows.h>

#include <algorithm>

#include "engine/error.h"
#include "platform/win32/win_text.h"

namespace pravonell::win32 {

namespace {

// Attributes of what the path names, following a symbolic link to its target.
DWORD TargetAttributes(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return attributes;
  }
  HANDLE handle = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return INVALID_FILE_ATTRIBUTES;
  BY_HANDLE_FILE_INFORMATION info{};
  const BOOL ok = GetFileInformationByHandle(handle, &info);
  CloseHandle(handle);
  return ok ? info.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
}

std::wstring WithoutTrailingSeparators(std::wstring path) {
  while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/')) {
    if (path.size() == 3 && path[1] == L':') break;  // "C:\" stays a root
    path.pop_back();
  }
  return path;
}

std::wstring ParentOf(const std::wstring& path) {
  const auto cut = path.find_last_of(L"\\/:");
  if (cut == std::wstring::npos) return {};
  if (path[cut] == L':') return path.substr(0, cut + 1);
  // Keep the separator of a drive root: the parent of "C:\A" is "C:\".
  if (cut == 2 && path[1] == L':') return path.substr(0, 3);
  return path.substr(0, cut);
}

class Win32OutputFile final : public OutputFile {
 public:
  Win32OutputFile(HANDLE handle, std::wstring path) : handle_(handle), path_(std::move(path)) {}
  ~Win32OutputFile() override { Close(); }

  void Write(std::span<const char> bytes) override {
    while (!bytes.empty()) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
      if (!WriteFile(handle_, bytes.data(), chunk, &written, nullptr) || written == 0) {
        throw Error(L"Cannot write to file \"" + path_ + L"\". " + SystemMessage(GetLastError()));
      }
      bytes = bytes.subspan(written);
    }
  }

  void SetLength(std::uint64_t length) override {
    LARGE_INTEGER zero{}, here{}, target{};
    target.QuadPart = static_cast<LONGLONG>(length);
    if (!SetFilePointerEx(handle_, zero, &here, FILE_CURRENT) ||
        !SetFilePointerEx(handle_, target, nullptr, FILE_BEGIN) || !SetEndOfFile(handle_) ||
        !SetFilePointerEx(handle_, here, nullptr, FILE_BEGIN)) {
      throw Error(L"Cannot write to file \"" + path_ + L"\". " + SystemMessage(GetLastError()));
    }
  }

  void Restart() override {
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(handle_, zero, nullptr, FILE_BEGIN) || !SetEndOfFile(handle_)) {
      throw Error(L"Cannot write to file \"" + path_ + L"\". " + SystemMessage(GetLastError()));
    }
  }

  void Close() override {
    if (handle_ != INVALID_HANDLE_VALUE) {
      CloseHandle(handle_);
      handle_ = INVALID_HANDLE_VALUE;
    }
  }

 private:
  HANDLE handle_;
  std::wstring path_;
};

}  // namespace

bool Win32FileSystem::DirectoryExists(const std::wstring& path) {
  const DWORD attributes = TargetAttributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Win32FileSystem::FileExists(const std::wstring& path) {
  const DWORD attributes = TargetAttributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool Win32FileSystem::ForceDirectories(const std::wstring& path) {
  const std::wstring dir = WithoutTrailingSeparators(path);
  if (dir.empty()) return false;
  if (DirectoryExists(dir)) return true;
  const std::wstring parent = ParentOf(dir);
  if (!parent.empty() && parent != dir && !ForceDirectories(parent)) return false;
  if (CreateDirectoryW(dir.c_str(), nullptr)) return true;
  return DirectoryExists(dir);  // made meanwhile by someone else
}

std::unique_ptr<OutputFile> Win32FileSystem::CreateOutputFile(const std::wstring& path) {
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    throw Error(L"Cannot create file \"" + path + L"\". " + SystemMessage(GetLastError()));
  }
  return std::make_unique<Win32OutputFile>(handle, path);
}

std::uint32_t Win32FileSystem::RemoveFile(const std::wstring& path) {
  if (DeleteFileW(path.c_str())) return 0;
  const DWORD error = GetLastError();
  // A symbolic link to a folder is removed as a folder.
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return RemoveDirectoryW(path.c_str()) ? 0 : GetLastError();
  }
  return error != 0 ? error : ERROR_GEN_FAILURE;
}

}  // namespace pravonell::win32
