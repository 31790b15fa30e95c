// Published test vectors for SHA-256 (FIPS 180-2 examples) and ECDSA P-256
// with SHA-256 (FIPS 186-4 SigGen, RFC 6979 A.2.5), shared by the tests of
// each platform's cryptography. Every implementation of Crypto must give
// these answers.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/ports.h"

namespace pravonell::testing {

inline std::vector<std::uint8_t> FromHex(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

inline std::string HexOf(const Digest& digest) {
  static const char* const kDigits = "0123456789abcdef";
  std::string hex;
  for (std::uint8_t byte : digest) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

struct HashVector {
  const char* name;
  std::string message;
  const char* sha256;
};

inline std::vector<HashVector> HashVectors() {
  return {
      {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"448 bits", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"a million a", std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
}

struct SignatureVector {
  const char* name;
  const char* publicKey;  // X then Y
  const char* digest;     // SHA-256 of the message
  const char* signature;  // r then s
};

inline std::vector<SignatureVector> SignatureVectors() {
  const char* const rfcKey =
      "60fed4ba255a9d31c961eb74c6356d68c049b8923b61fa6ce669622e60f29fb6"
      "7903fe1008b8bc99a41ae9e95628bc64f2f1b20c2d7e9f5177a3c294d4462299";
  return {
      {"FIPS 186-4 SigGen P-256 SHA-256, first",
       "1ccbe91c075fc7f4f033bfa248db8fccd3565de94bbfb12f3c59ff46c271bf83"
       "ce4014c68811f9a21a1fdb2c0e6113e06db7ca93b7404e78dc7ccd5ca89a4ca9",
       "44acf6b7e36c1342c2c5897204fe09504e1e2efb1a900377dbc4e7a6a133ec56",
       "f3ac8061b514795b8843e3d6629527ed2afd6b1f6a555a7acabb5e6f79c8c2ac"
       "8bf77819ca05a6b2786c76262bf7371cef97b218e96f175a3ccdda2acc058903"},
      {"RFC 6979 A.2.5, \"sample\"", rfcKey, "af2bdbe1aa9b6ec1e2ade1d694f41fc71a831d0268e9891562113d8a62add1bf",
       "efd48b2aacb6a8fd1140dd9cd45e81d69d2c877b56aaf991c34d0ea84eaf3716"
       "f7cb1c942d657c41d436c7a1b6e29f65f3e900dbb9aff4064dc4ab2f843acda8"},
      {"RFC 6979 A.2.5, \"test\"", rfcKey, "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08",
       "f1abb023518351cd71d881567b1ea663ed3efcf6c5132b354f28d3b0b7d38367"
       "019f4113742a2b14bd25926b49c649155f267e60d3814b4c0cc84250e46f0083"},
  };
}

// One check of a signature: whether Crypto says it verifies.
inline bool Verifies(Crypto& crypto, const std::vector<std::uint8_t>& key, const std::vector<std::uint8_t>& digest,
                     const std::vector<std::uint8_t>& signature) {
  Digest d{};
  std::copy(digest.begin(), digest.end(), d.begin());
  return crypto.VerifyP256(std::span<const std::uint8_t, 64>(key.data(), 64), d,
                           std::span<const std::uint8_t, 64>(signature.data(), 64));
}

}  // namespace pravonell::testing
