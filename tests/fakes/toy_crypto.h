// A test implementation of the cryptography port: real SHA-256 (the native
// one), and a toy signature that stands for ECDSA, so a test can sign any
// text with any "key" and know exactly which key a signature belongs to.
// A toy signature of a digest with a key is, byte by byte, the digest mixed
// with the key's first half, then the digest mixed with its second half.
// (The real signature check is tested against published vectors.)
#pragma once

#include <array>
#include <string>

#include "engine/ports.h"
#include "engine/vendor_list.h"
#include "platform/posix/posix_crypto.h"

namespace pravonell::testing {

class ToyCrypto final : public Crypto {
 public:
  std::unique_ptr<Sha256> NewSha256() override { return real_.NewSha256(); }
  bool VerifyP256(std::span<const std::uint8_t, 64> publicKey, const Digest& digest,
                  std::span<const std::uint8_t, 64> signature) override {
    ++verified;
    std::array<std::uint8_t, 64> key{};
    std::copy(publicKey.begin(), publicKey.end(), key.begin());
    const auto expected = Sign(key, digest);
    return std::equal(expected.begin(), expected.end(), signature.begin());
  }

  static std::array<std::uint8_t, 64> Sign(const std::array<std::uint8_t, 64>& key, const Digest& digest) {
    std::array<std::uint8_t, 64> signature{};
    for (std::size_t i = 0; i < 32; ++i) {
      signature[i] = static_cast<std::uint8_t>(digest[i] ^ key[i]);
      signature[32 + i] = static_cast<std::uint8_t>(digest[i] ^ key[32 + i] ^ 0x5A);
    }
    return signature;
  }

  Digest Sha256Of(const std::string& bytes) {
    auto hash = NewSha256();
    hash->Add(bytes);
    return hash->Finish();
  }

  // The list's text, signed with the key.
  std::string SignedList(const VendorList& list, const std::array<std::uint8_t, 64>& key) {
    return SignedListText(list, Sign(key, Sha256Of(ListBody(list))));
  }
  // Any body, signed with the key.
  std::string Signed(const std::string& body, const std::array<std::uint8_t, 64>& key) {
    return body + "assinatura " + HexOf(Sign(key, Sha256Of(body))) + "\n";
  }

  int verified = 0;

 private:
  posix::OpenSslCrypto real_;
};

inline std::array<std::uint8_t, 64> ToyKey(std::uint8_t seed) {
  std::array<std::uint8_t, 64> key{};
  for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(seed * 31 + i * 7);
  return key;
}

}  // namespace pravonell::testing
