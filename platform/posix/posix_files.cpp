#include "platform/posix/posix_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/error.h"
#include "engine/text.h"

namespace pravonell::posix {

namespace {

std::wstring Widen(const std::string& text) { return WidenLatin1(text); }

// The tools hand over Linux paths byte for byte, each byte a character.
std::string Narrow(const std::wstring& path) {
  std::string bytes;
  for (wchar_t c : path) bytes += static_cast<char>(c);
  return bytes;
}

class PosixOutputFile final : public OutputFile {
 public:
  PosixOutputFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixOutputFile() override { Close(); }

  void Write(std::span<const char> bytes) override {
    while (!bytes.empty()) {
      const ssize_t written = write(fd_, bytes.data(), bytes.size());
      if (written < 0) {
        if (errno == EINTR) continue;
        Fail();
      }
      bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
  }
  void SetLength(std::uint64_t length) override {
    if (ftruncate(fd_, static_cast<off_t>(length)) != 0) Fail();
  }
  void Restart() override {
    if (ftruncate(fd_, 0) != 0 || lseek(fd_, 0, SEEK_SET) != 0) Fail();
  }
  void Flush() override {
    if (fsync(fd_) != 0) Fail();
  }
  void EnsureRoom(std::uint64_t bytes) override {
    struct statvfs volume {};
    if (fstatvfs(fd_, &volume) != 0) return;
    const std::uint64_t free = static_cast<std::uint64_t>(volume.f_bavail) * volume.f_frsize;
    if (bytes > free) {
      throw DiskFull(L"Cannot write to file \"" + Widen(path_) + L"\". " + Widen(std::strerror(ENOSPC)),
                     bytes - free);
    }
  }
  void Close() override {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  [[noreturn]] void Fail() {
    const int error = errno;
    std::wstring message = L"Cannot write to file \"" + Widen(path_) + L"\". " + Widen(std::strerror(error));
    if (error == ENOSPC) throw DiskFull(std::move(message), 0);
    throw Error(std::move(message));
  }
  int fd_;
  std::string path_;
};

}  // namespace

std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    throw Error(L"Cannot create file \"" + Widen(path) + L"\". " + Widen(std::strerror(errno)));
  }
  return std::make_unique<PosixOutputFile>(fd, path);
}

std::optional<FileStamp> PosixRecordFiles::Stamp(const std::wstring& path) {
  struct stat info {};
  if (stat(Narrow(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return FileStamp{static_cast<std::uint64_t>(info.st_size),
                   static_cast<std::uint64_t>(info.st_mtim.tv_sec) * 1000000000u +
                       static_cast<std::uint64_t>(info.st_mtim.tv_nsec)};
}

std::optional<std::string> PosixRecordFiles::ReadWhole(const std::wstring& path, std::size_t limit) {
  const int fd = open(Narrow(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string bytes;
  char block[4096];
  ssize_t got = 0;
  while (bytes.size() <= limit && (got = read(fd, block, sizeof block)) > 0) {
    bytes.append(block, static_cast<std::size_t>(got));
  }
  close(fd);
  if (got < 0 || bytes.size() > limit) return std::nullopt;
  return bytes;
}

void PosixRecordFiles::WriteWhole(const std::wstring& path, const std::string& bytes) {
  const std::string target = Narrow(path), partial = target + ".parcial";
  try {
    std::unique_ptr<OutputFile> file = CreateOutputFile(partial);
    file->Write(bytes);
    file->Flush();
    file->Close();
  } catch (...) {
    unlink(partial.c_str());
    throw;
  }
  if (rename(partial.c_str(), target.c_str()) != 0) {
    const int error = errno;
    unlink(partial.c_str());
    throw Error(L"Cannot create file \"" + path + L"\". " + Widen(std::strerror(error)));
  }
}

std::unique_ptr<OutputFile> PosixRecordFiles::OpenKeeping(const std::wstring& path, std::uint64_t keep) {
  const std::string name = Narrow(path);
  const int fd = open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  struct stat info {};
  if (fd < 0 || fstat(fd, &info) != 0 ||
      (static_cast<std::uint64_t>(info.st_size) != keep && ftruncate(fd, static_cast<off_t>(keep)) != 0) ||
      lseek(fd, static_cast<off_t>(keep), SEEK_SET) < 0) {
    const int error = errno;
    if (fd >= 0) close(fd);
    throw Error(L"Cannot create file \"" + path + L"\". " + Widen(std::strerror(error)));
  }
  return std::make_unique<PosixOutputFile>(fd, name);
}

}  // namespace pravonell::posix
