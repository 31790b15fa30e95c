#include "platform/win32/win_files.h"

#include <windows.h>

#include <algorithm>
#include <optional>

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

bool IsDiskFull(DWORD error) { return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL; }

std::optional<std::uint64_t> FreeBytesOn(const std::wstring& folder) {
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) return std::nullopt;
  return available.QuadPart;
}

class Win32OutputFile final : public OutputFile {
 public:
  Win32OutputFile(HANDLE handle, std::wstring path) : handle_(handle), path_(std::move(path)) {}
  ~Win32OutputFile() override {
    try {
      Close();
    } catch (const Error&) {
      // A file closed on the way out of a failure: that failure is what counts.
    }
  }

  void Write(std::span<const char> bytes) override {
    while (!bytes.empty()) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
      if (!WriteFile(handle_, bytes.data(), chunk, &written, nullptr) || written == 0) Fail(GetLastError());
      bytes = bytes.subspan(written);
    }
  }

  void SetLength(std::uint64_t length) override {
    LARGE_INTEGER zero{}, here{}, target{};
    target.QuadPart = static_cast<LONGLONG>(length);
    if (!SetFilePointerEx(handle_, zero, &here, FILE_CURRENT) ||
        !SetFilePointerEx(handle_, target, nullptr, FILE_BEGIN) || !SetEndOfFile(handle_) ||
        !SetFilePointerEx(handle_, here, nullptr, FILE_BEGIN)) {
      Fail(GetLastError());
    }
  }

  void Flush() override {
    if (!FlushFileBuffers(handle_)) Fail(GetLastError());
  }

  void EnsureRoom(std::uint64_t bytes) override {
    std::wstring folder = ParentOf(path_);
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    const std::optional<std::uint64_t> free = FreeBytesOn(folder);
    if (free && bytes > *free) {
      throw DiskFull(L"Cannot write to file \"" + path_ + L"\". " + SystemMessage(ERROR_DISK_FULL),
                     bytes - *free);
    }
  }

  void Restart() override {
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(handle_, zero, nullptr, FILE_BEGIN) || !SetEndOfFile(handle_)) Fail(GetLastError());
  }

  // A write the system held back can fail only when the file is closed (a
  // network folder reports a delayed-write failure there): that is a failed
  // write, not a whole file.
  void Close() override {
    if (handle_ == INVALID_HANDLE_VALUE) return;
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    if (!CloseHandle(handle)) Fail(GetLastError());
  }

 private:
  [[noreturn]] void Fail(DWORD error) {
    std::wstring message = L"Cannot write to file \"" + path_ + L"\". " + SystemMessage(error);
    if (IsDiskFull(error)) throw DiskFull(std::move(message), 0);
    throw Error(std::move(message));
  }

  HANDLE handle_;
  std::wstring path_;
};

}  // namespace

std::unique_ptr<OutputFile> OutputFileOf(void* handle, const std::wstring& path) {
  return std::make_unique<Win32OutputFile>(static_cast<HANDLE>(handle), path);
}

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

namespace pravonell::win32 {

void Win32FileSystem::MakeWritable(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  }
}

bool Win32FileSystem::IsLink(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(WithoutTrailingSeparators(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

FolderEntries Win32FileSystem::ListFolder(const std::wstring& folder) {
  FolderEntries entries;
  WIN32_FIND_DATAW found;
  const std::wstring base = folder.empty() || folder.back() == L'\\' ? folder : folder + L"\\";
  HANDLE search = FindFirstFileW((base + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    throw Error(L"Cannot read the folder \"" + folder + L"\". " + SystemMessage(GetLastError()));
  }
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    // A link is listed as a file: it is moved or removed, never followed.
    const bool folderEntry = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                             (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    (folderEntry ? entries.folders : entries.files).push_back(name);
  } while (FindNextFileW(search, &found));
  const DWORD error = GetLastError();
  FindClose(search);
  // A listing cut short is not the folder's content.
  if (error != ERROR_NO_MORE_FILES) {
    throw Error(L"Cannot read the folder \"" + folder + L"\". " + SystemMessage(error));
  }
  return entries;
}

std::uint32_t Win32FileSystem::MoveWithoutReplacing(const std::wstring& from, const std::wstring& to) {
  // Without MOVEFILE_COPY_ALLOWED a move is a rename within the volume; without
  // MOVEFILE_REPLACE_EXISTING it fails on a name that is taken.
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return 0;
  const DWORD error = GetLastError();
  return error != 0 ? error : ERROR_GEN_FAILURE;
}

void Win32FileSystem::RemoveFolderTree(const std::wstring& folder) {
  const std::wstring base = WithoutTrailingSeparators(folder);
  const DWORD attributes = GetFileAttributesW(base.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
    throw Error(L"Cannot remove the folder \"" + base + L"\". " + SystemMessage(error));
  }
  const auto fail = [](const std::wstring& path, DWORD error) {
    throw Error(L"Cannot remove \"" + path + L"\". " + SystemMessage(error != 0 ? error : ERROR_GEN_FAILURE));
  };
  // A link at the top (a junction, a directory link: anyone may make one in
  // the installation folder) goes as a link: emptying it would delete
  // whatever folder it leads to, with the rights of the person installing.
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    if (const std::uint32_t error = RemoveFile(base); error != 0) fail(base, error);
    return;
  }
  const FolderEntries entries = ListFolder(base);
  for (const std::wstring& name : entries.folders) RemoveFolderTree(base + L"\\" + name);
  for (const std::wstring& name : entries.files) {
    const std::wstring path = base + L"\\" + name;
    // A link inside goes as it is, and what it leads to keeps its attributes.
    if (!IsLink(path)) MakeWritable(path);
    if (const std::uint32_t error = RemoveFile(path); error != 0) fail(path, error);
  }
  if (!RemoveDirectoryW(base.c_str())) fail(base, GetLastError());
}

void Win32FileSystem::CopyReplacing(const std::wstring& from, const std::wstring& to) {
  // The copy is written beside its place and then put there in one rename,
  // so a copy cut off half-way never stands under the name.
  const std::wstring partial = to + L".parcial";
  SetFileAttributesW(partial.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!CopyFileW(from.c_str(), partial.c_str(), FALSE)) {
    const DWORD error = GetLastError();
    DeleteFileW(partial.c_str());
    std::wstring message = L"Cannot create file \"" + to + L"\". " + SystemMessage(error);
    if (IsDiskFull(error)) {
      // The copy needs the whole file's room.
      const std::optional<FileStamp> source = Stamp(from);
      const std::optional<std::uint64_t> free = FreeSpace(ParentOf(to));
      const std::uint64_t missing = source && free && source->size > *free ? source->size - *free : 0;
      throw DiskFull(std::move(message), missing);
    }
    throw Error(std::move(message));
  }
  SetFileAttributesW(partial.c_str(), FILE_ATTRIBUTE_NORMAL);
  MakeWritable(to);
  if (!MoveFileExW(partial.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    DeleteFileW(partial.c_str());
    throw Error(L"Cannot create file \"" + to + L"\". " + SystemMessage(error));
  }
}

void Win32FileSystem::MoveReplacing(const std::wstring& from, const std::wstring& to) {
  // A rename within the volume: the file under `to` is the old one or the
  // new one, whole, at any instant.
  MakeWritable(to);
  if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throw Error(L"Cannot create file \"" + to + L"\". " + SystemMessage(GetLastError()));
  }
}

namespace {

class Win32InputFile final : public InputFile {
 public:
  Win32InputFile(HANDLE handle, std::wstring path) : handle_(handle), path_(std::move(path)) {}
  ~Win32InputFile() override { CloseHandle(handle_); }
  std::size_t Read(std::span<char> buffer) override {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), 1u << 30));
    if (!ReadFile(handle_, buffer.data(), want, &got, nullptr)) {
      throw Error(L"Cannot read file \"" + path_ + L"\". " + SystemMessage(GetLastError()));
    }
    return got;
  }

 private:
  HANDLE handle_;
  std::wstring path_;
};

}  // namespace

std::unique_ptr<InputFile> Win32FileSystem::OpenForReading(const std::wstring& path) {
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<Win32InputFile>(handle, path);
}

std::optional<std::uint64_t> Win32FileSystem::FreeSpace(const std::wstring& folder) {
  std::wstring base = folder;
  if (!base.empty() && base.back() != L'\\') base += L'\\';
  return FreeBytesOn(base);
}

}  // namespace pravonell::win32

namespace pravonell::win32 {

std::optional<FileStamp> Win32FileSystem::Stamp(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return std::nullopt;
  }
  return FileStamp{(static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                   (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                       data.ftLastWriteTime.dwLowDateTime};
}

std::optional<std::string> Win32FileSystem::ReadWhole(const std::wstring& path, std::size_t limit) {
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string bytes;
  char block[4096];
  DWORD got = 0;
  bool failed = false;
  while (bytes.size() <= limit) {
    if (!ReadFile(handle, block, sizeof block, &got, nullptr)) {
      failed = true;
      break;
    }
    if (got == 0) break;
    bytes.append(block, got);
  }
  CloseHandle(handle);
  if (failed || bytes.size() > limit) return std::nullopt;
  return bytes;
}

void Win32FileSystem::WriteWhole(const std::wstring& path, const std::string& bytes) {
  // Written beside its place and put there in one rename; a write that
  // fails (a full disk) leaves nothing beside it.
  const std::wstring partial = path + L".parcial";
  try {
    std::unique_ptr<OutputFile> file = CreateOutputFile(partial);
    file->Write(bytes);
    file->Flush();
    file->Close();
  } catch (...) {
    DeleteFileW(partial.c_str());
    throw;
  }
  if (!MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    DeleteFileW(partial.c_str());
    throw Error(L"Cannot create file \"" + path + L"\". " + SystemMessage(error));
  }
}

std::unique_ptr<OutputFile> Win32FileSystem::OpenKeeping(const std::wstring& path, std::uint64_t keep) {
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    throw Error(L"Cannot create file \"" + path + L"\". " + SystemMessage(GetLastError()));
  }
  LARGE_INTEGER size{}, at{};
  at.QuadPart = static_cast<LONGLONG>(keep);
  // A file of exactly that length is not touched, so its write time stays.
  const bool cut = !GetFileSizeEx(handle, &size) || static_cast<std::uint64_t>(size.QuadPart) != keep;
  if (!SetFilePointerEx(handle, at, nullptr, FILE_BEGIN) || (cut && !SetEndOfFile(handle))) {
    const DWORD error = GetLastError();
    CloseHandle(handle);
    throw Error(L"Cannot create file \"" + path + L"\". " + SystemMessage(error));
  }
  return std::make_unique<Win32OutputFile>(handle, path);
}

}  // namespace pravonell::win32
