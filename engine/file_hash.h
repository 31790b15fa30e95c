// A download's SHA-256, computed as its bytes are written.
//
// The download writes into a HashingFile, which passes every byte on to the
// real file and to a hash that works beside the download on a helper thread
// (blocks are handed over as they fill), so hashing does not slow the
// transfer. It refuses a file larger than the vendor's list says the file
// is, before a byte past that is written.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "engine/error.h"
#include "engine/ports.h"

namespace pravonell {

// What arrived is not the file the vendor's list describes.
class NotTheVendorsFile final : public Error {
 public:
  using Error::Error;
};

class HashingFile final : public OutputFile {
 public:
  // limit: the most bytes the file may hold; nothing for no limit. The
  // file written into is given by WriteInto, once the bytes it keeps from
  // an earlier run (AddKept) have been read.
  HashingFile(Crypto& crypto, std::optional<std::uint64_t> limit);
  HashingFile(OutputFile& inner, Crypto& crypto, std::optional<std::uint64_t> limit) : HashingFile(crypto, limit) {
    WriteInto(inner);
  }
  ~HashingFile() override;
  HashingFile(const HashingFile&) = delete;
  HashingFile& operator=(const HashingFile&) = delete;

  void Write(std::span<const char> bytes) override;
  void SetLength(std::uint64_t length) override;
  void Restart() override;
  void Flush() override { inner_->Flush(); }
  void EnsureRoom(std::uint64_t bytes) override { inner_->EnsureRoom(bytes); }
  void Close() override { inner_->Close(); }

  void WriteInto(OutputFile& inner) { inner_ = &inner; }

  // Bytes that were in the file before it was opened (the part an earlier
  // run fetched), in order from its start: hashed, not written again.
  void AddKept(std::span<const char> bytes);
  // The bytes hashed so far: the file's length, from its start.
  std::uint64_t size() const { return position_; }
  // The digest of the file's bytes; waits for the helper to catch up.
  Digest Finish();

 private:
  void Add(std::span<const char> bytes);
  void Hand(bool wait);
  void Drain();
  void Work();

  static constexpr std::size_t kBlock = 1 << 20;
  static constexpr std::size_t kQueued = 8;

  OutputFile* inner_ = nullptr;
  Crypto& crypto_;
  std::optional<std::uint64_t> limit_;
  std::uint64_t position_ = 0;
  std::vector<char> filling_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::vector<char>> queue_;
  std::vector<std::vector<char>> spare_;
  std::unique_ptr<Sha256> hash_;
  bool busy_ = false;
  bool stopping_ = false;
  std::exception_ptr failure_;
  std::thread worker_;
};

// The SHA-256 and length of a file already on disk, read in blocks with
// the window served between them; nothing when it cannot be read.
struct FileDigest {
  std::uint64_t size = 0;
  Digest sha256{};
};
std::optional<FileDigest> DigestOfFile(FileSystem& files, Crypto& crypto, MessagePump& pump,
                                       const std::wstring& path);

// Feeds the first `bytes` of a file to the hashing file, as kept bytes.
// False when the file does not hold that many.
bool HashKeptBytes(FileSystem& files, MessagePump& pump, const std::wstring& path, std::uint64_t bytes,
                   HashingFile& into);

}  // namespace pravonell
