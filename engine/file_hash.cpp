#include "engine/file_hash.h"

#include <algorithm>

namespace pravonell {

HashingFile::HashingFile(Crypto& crypto, std::optional<std::uint64_t> limit)
    : crypto_(crypto), limit_(limit), hash_(crypto.NewSha256()) {
  filling_.reserve(kBlock);
  worker_ = std::thread([this] { Work(); });
}

HashingFile::~HashingFile() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  worker_.join();
}

void HashingFile::Write(std::span<const char> bytes) {
  // More than the vendor's file holds is never written: the answer is not it.
  if (limit_ && position_ + bytes.size() > *limit_) {
    throw NotTheVendorsFile(L"More bytes came than the vendor's file has.");
  }
  inner_->Write(bytes);
  Add(bytes);
}

void HashingFile::SetLength(std::uint64_t length) {
  if (limit_ && length > *limit_) throw NotTheVendorsFile(L"The answer announced more than the vendor's file has.");
  inner_->SetLength(length);
}

void HashingFile::Restart() {
  inner_->Restart();
  Drain();
  std::lock_guard lock(mutex_);
  filling_.clear();
  position_ = 0;
  hash_ = crypto_.NewSha256();
  failure_ = nullptr;
}

void HashingFile::AddKept(std::span<const char> bytes) {
  if (limit_ && position_ + bytes.size() > *limit_) throw NotTheVendorsFile(L"The file is larger than the vendor's.");
  Add(bytes);
}

void HashingFile::Add(std::span<const char> bytes) {
  position_ += bytes.size();
  while (!bytes.empty()) {
    const std::size_t take = std::min(bytes.size(), kBlock - filling_.size());
    filling_.insert(filling_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
    bytes = bytes.subspan(take);
    if (filling_.size() == kBlock) Hand(/*wait=*/true);
  }
}

// Gives the block being filled to the helper; waits while it is far behind,
// so memory stays bounded.
void HashingFile::Hand(bool wait) {
  std::unique_lock lock(mutex_);
  if (wait) changed_.wait(lock, [&] { return queue_.size() < kQueued; });
  queue_.push_back(std::move(filling_));
  if (!spare_.empty()) {
    filling_ = std::move(spare_.back());
    spare_.pop_back();
  } else {
    filling_ = {};
  }
  filling_.clear();
  filling_.reserve(kBlock);
  changed_.notify_all();
}

void HashingFile::Drain() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return queue_.empty() && !busy_; });
}

Digest HashingFile::Finish() {
  if (!filling_.empty()) Hand(/*wait=*/false);
  Drain();
  std::lock_guard lock(mutex_);
  if (failure_) std::rethrow_exception(failure_);
  return hash_->Finish();
}

void HashingFile::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    std::vector<char> block = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    Sha256* hash = hash_.get();
    lock.unlock();
    try {
      hash->Add(block);
    } catch (...) {
      lock.lock();
      failure_ = std::current_exception();
      lock.unlock();
    }
    lock.lock();
    busy_ = false;
    block.clear();
    spare_.push_back(std::move(block));
    changed_.notify_all();
  }
}

namespace {

constexpr std::size_t kReadBlock = 1 << 20;

}  // namespace

std::optional<FileDigest> DigestOfFile(FileSystem& files, Crypto& crypto, MessagePump& pump,
                                       const std::wstring& path) {
  std::unique_ptr<InputFile> file = files.OpenForReading(path);
  if (!file) return std::nullopt;
  std::unique_ptr<Sha256> hash = crypto.NewSha256();
  std::vector<char> block(kReadBlock);
  FileDigest digest;
  try {
    for (;;) {
      const std::size_t got = file->Read(block);
      if (got == 0) break;
      hash->Add(std::span(block.data(), got));
      digest.size += got;
      pump.ProcessMessages();
    }
  } catch (const Error&) {
    return std::nullopt;
  }
  digest.sha256 = hash->Finish();
  return digest;
}

bool HashKeptBytes(FileSystem& files, MessagePump& pump, const std::wstring& path, std::uint64_t bytes,
                   HashingFile& into) {
  if (bytes == 0) return true;
  std::unique_ptr<InputFile> file = files.OpenForReading(path);
  if (!file) return false;
  std::vector<char> block(kReadBlock);
  std::uint64_t left = bytes;
  try {
    while (left > 0) {
      const std::size_t got = file->Read(std::span(block.data(), std::min<std::uint64_t>(block.size(), left)));
      if (got == 0) return false;
      into.AddKept(std::span(block.data(), got));
      left -= got;
      pump.ProcessMessages();
    }
  } catch (const Error&) {
    return false;
  }
  return true;
}

}  // namespace pravonell
