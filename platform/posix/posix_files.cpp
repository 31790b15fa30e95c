#include "platform/posix/posix_files.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/error.h"
#include "engine/text.h"

namespace pravonell::posix {

namespace {

std::wstring Widen(const std::string& text) { return WidenLatin1(text); }

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

}  // namespace pravonell::posix
