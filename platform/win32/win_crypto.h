// SHA-256 and ECDSA P-256 with Windows' own cryptography (CNG, bcrypt.dll,
// loaded from the system folder).
#pragma once

#include "engine/ports.h"

namespace pravonell::win32 {

class Win32Crypto final : public Crypto {
 public:
  // Raises Error when the system has no SHA-256 (no CNG).
  std::unique_ptr<Sha256> NewSha256() override;
  bool VerifyP256(std::span<const std::uint8_t, 64> publicKey, const Digest& digest,
                  std::span<const std::uint8_t, 64> signature) override;
};

}  // namespace pravonell::win32
