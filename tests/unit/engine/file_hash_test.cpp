// The hash of a download, computed beside it as its bytes are written.
#include "engine/file_hash.h"

#include <gtest/gtest.h>

#include "platform/posix/posix_crypto.h"
#include "tests/fakes/crypto_vectors.h"
#include "tests/fakes/recording_events.h"

namespace pravonell::testing {
namespace {

std::string Bytes(std::size_t size, char seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i * 13 + i / 7);
  return bytes;
}

TEST(HashingFile, HashesWhatIsWrittenWhateverThePieces) {
  posix::OpenSslCrypto crypto;
  const std::string content = Bytes(3 * 1024 * 1024 + 12345, 'x');  // more than three of the helper's blocks
  std::unique_ptr<Sha256> reference = crypto.NewSha256();
  reference->Add(content);
  const std::string expected = HexOf(reference->Finish());
  for (std::size_t piece : {1u, 4096u, 32768u, 1048576u, 5000000u}) {
    SCOPED_TRACE(piece);
    MemoryFile file;
    HashingFile hashing(file, crypto, content.size());
    for (std::size_t at = 0; at < content.size(); at += piece) {
      hashing.Write(std::span(content.data() + at, std::min(piece, content.size() - at)));
    }
    EXPECT_EQ(HexOf(hashing.Finish()), expected);
    EXPECT_EQ(hashing.size(), content.size());
    EXPECT_TRUE(file.bytes == content);
  }
}

TEST(HashingFile, KeptBytesThenTheRestAndAStartOver) {
  posix::OpenSslCrypto crypto;
  const std::string content = Bytes(2500000, 'k');
  std::unique_ptr<Sha256> reference = crypto.NewSha256();
  reference->Add(content);
  const std::string expected = HexOf(reference->Finish());

  // An earlier run left the first 1,000,000 bytes; this one writes the rest.
  MemoryFile kept;
  kept.bytes = content.substr(0, 1000000);
  kept.position = kept.bytes.size();
  HashingFile continued(kept, crypto, content.size());
  continued.AddKept(std::span(content.data(), 1000000));
  continued.Write(std::span(content.data() + 1000000, content.size() - 1000000));
  EXPECT_EQ(HexOf(continued.Finish()), expected);

  // A file that starts over forgets what it had hashed.
  MemoryFile file;
  HashingFile again(file, crypto, content.size());
  const std::string other = Bytes(1500000, 'o');
  again.Write(other);
  again.Restart();
  again.Write(content);
  EXPECT_EQ(HexOf(again.Finish()), expected);
  EXPECT_EQ(again.size(), content.size());
}

TEST(HashingFile, MoreThanTheVendorsFileIsNeverWritten) {
  posix::OpenSslCrypto crypto;
  MemoryFile file;
  HashingFile hashing(file, crypto, 10);
  hashing.Write(std::string("12345678"));
  EXPECT_THROW(hashing.Write(std::string("abc")), NotTheVendorsFile);
  EXPECT_EQ(file.bytes, "12345678");  // nothing of the piece that went past
  EXPECT_THROW(hashing.SetLength(11), NotTheVendorsFile);
  hashing.SetLength(10);  // the announced length of the vendor's own file is fine
  EXPECT_EQ(file.lengths, std::vector<std::uint64_t>{10});
  EXPECT_THROW(hashing.AddKept(std::string("abc")), NotTheVendorsFile);
  // Without a limit, anything goes.
  MemoryFile free;
  HashingFile unlimited(free, crypto, std::nullopt);
  unlimited.Write(std::string(100, 'z'));
  EXPECT_EQ(unlimited.size(), 100u);
}

}  // namespace
}  // namespace pravonell::testing
