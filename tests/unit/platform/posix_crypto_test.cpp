// The native tools' and tests' cryptography against published vectors.
#include "platform/posix/posix_crypto.h"

#include "tests/fakes/crypto_checks.h"

namespace pravonell::testing {
namespace {

TEST(OpenSslCrypto, PublishedSha256Vectors) {
  posix::OpenSslCrypto crypto;
  ExpectPublishedHashes(crypto);
}

TEST(OpenSslCrypto, PublishedSignaturesVerifyAndNothingElseDoes) {
  posix::OpenSslCrypto crypto;
  ExpectSignaturesChecked(crypto);
}

}  // namespace
}  // namespace pravonell::testing
