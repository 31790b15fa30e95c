// SHA-256 and ECDSA P-256 for the native tools and tests, with OpenSSL's
// libcrypto (the program itself uses Windows' own, CNG).
#pragma once

#include "engine/ports.h"

namespace pravonell::posix {

class OpenSslCrypto final : public Crypto {
 public:
  std::unique_ptr<Sha256> NewSha256() override;
  bool VerifyP256(std::span<const std::uint8_t, 64> publicKey, const Digest& digest,
                  std::span<const std::uint8_t, 64> signature) override;
};

}  // namespace pravonell::posix
