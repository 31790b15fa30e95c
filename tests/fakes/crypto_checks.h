// The checks every implementation of Crypto must pass: the published
// vectors verify, and a signature changed in any way, another key, another
// digest, or values out of the curve's range do not. Shared by the native
// tests (OpenSSL) and the Wine tests (CNG).
#pragma once

#include <gtest/gtest.h>

#include "tests/fakes/crypto_vectors.h"

namespace pravonell::testing {

inline void ExpectPublishedHashes(Crypto& crypto) {
  for (const HashVector& vector : HashVectors()) {
    SCOPED_TRACE(vector.name);
    std::unique_ptr<Sha256> whole = crypto.NewSha256();
    whole->Add(vector.message);
    EXPECT_EQ(HexOf(whole->Finish()), vector.sha256);
    // Fed in uneven pieces, the digest is the same.
    std::unique_ptr<Sha256> pieces = crypto.NewSha256();
    std::size_t at = 0, piece = 1;
    while (at < vector.message.size()) {
      const std::size_t take = std::min(piece, vector.message.size() - at);
      pieces->Add(std::span(vector.message.data() + at, take));
      at += take;
      piece = piece * 3 + 1;
    }
    EXPECT_EQ(HexOf(pieces->Finish()), vector.sha256);
  }
}

inline void ExpectSignaturesChecked(Crypto& crypto) {
  const std::vector<SignatureVector> vectors = SignatureVectors();
  for (const SignatureVector& vector : vectors) {
    SCOPED_TRACE(vector.name);
    const auto key = FromHex(vector.publicKey), digest = FromHex(vector.digest), signature = FromHex(vector.signature);
    EXPECT_TRUE(Verifies(crypto, key, digest, signature));
    for (std::size_t byte : {0u, 31u, 32u, 63u}) {
      SCOPED_TRACE("signature byte " + std::to_string(byte) + " changed");
      auto changed = signature;
      changed[byte] ^= 0x01;
      EXPECT_FALSE(Verifies(crypto, key, digest, changed));
    }
    auto otherDigest = digest;
    otherDigest[5] ^= 0x80;
    EXPECT_FALSE(Verifies(crypto, key, otherDigest, signature));
    // r and s swapped, zero, and the curve's order (out of range).
    std::vector<std::uint8_t> swapped(signature.begin() + 32, signature.end());
    swapped.insert(swapped.end(), signature.begin(), signature.begin() + 32);
    EXPECT_FALSE(Verifies(crypto, key, digest, swapped));
    EXPECT_FALSE(Verifies(crypto, key, digest, std::vector<std::uint8_t>(64, 0)));
    const auto order = FromHex("ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551");
    auto outOfRange = order;
    outOfRange.insert(outOfRange.end(), signature.begin() + 32, signature.end());
    EXPECT_FALSE(Verifies(crypto, key, digest, outOfRange));
  }
  // The first vector's signature with the second vector's key.
  EXPECT_FALSE(Verifies(crypto, FromHex(vectors[1].publicKey), FromHex(vectors[0].digest),
                        FromHex(vectors[0].signature)));
  // A key that is not a point of the curve.
  auto notAPoint = FromHex(vectors[0].publicKey);
  notAPoint[63] ^= 0x01;
  EXPECT_FALSE(Verifies(crypto, notAPoint, FromHex(vectors[0].digest), FromHex(vectors[0].signature)));
}

}  // namespace pravonell::testing
