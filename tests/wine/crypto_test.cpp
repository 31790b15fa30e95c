// Windows' own cryptography (CNG) as the program uses it, against the
// published vectors.
#include "platform/win32/win_crypto.h"

#include "tests/fakes/crypto_checks.h"

namespace pravonell::testing {
namespace {

TEST(Win32Crypto, PublishedSha256Vectors) {
  win32::Win32Crypto crypto;
  ExpectPublishedHashes(crypto);
}

TEST(Win32Crypto, PublishedSignaturesVerifyAndNothingElseDoes) {
  win32::Win32Crypto crypto;
  ExpectSignaturesChecked(crypto);
}

}  // namespace
}  // namespace pravonell::testing
