#include "platform/posix/posix_crypto.h"

#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <memory>
#include <vector>

#include "engine/error.h"

namespace pravonell::posix {

namespace {

class EvpSha256 final : public Sha256 {
 public:
  EvpSha256() : context_(EVP_MD_CTX_new()) {
    if (!context_ || EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) != 1) {
      throw Error(L"SHA-256 is not available (OpenSSL).");
    }
  }
  void Add(std::span<const char> bytes) override {
    if (EVP_DigestUpdate(context_.get(), bytes.data(), bytes.size()) != 1) throw Error(L"SHA-256 failed.");
  }
  Digest Finish() override {
    Digest digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context_.get(), digest.data(), &length) != 1 || length != digest.size()) {
      throw Error(L"SHA-256 failed.");
    }
    return digest;
  }

 private:
  struct Free {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
  };
  std::unique_ptr<EVP_MD_CTX, Free> context_;
};

template <typename T, void (*Release)(T*)>
struct Deleter {
  void operator()(T* object) const { Release(object); }
};
template <typename T, void (*Release)(T*)>
using Owned = std::unique_ptr<T, Deleter<T, Release>>;

void FreeBn(BIGNUM* number) { BN_free(number); }

}  // namespace

std::unique_ptr<Sha256> OpenSslCrypto::NewSha256() { return std::make_unique<EvpSha256>(); }

bool OpenSslCrypto::VerifyP256(std::span<const std::uint8_t, 64> publicKey, const Digest& digest,
                               std::span<const std::uint8_t, 64> signature) {
  // The key from its point, uncompressed (04, X, Y).
  std::vector<unsigned char> point{0x04};
  point.insert(point.end(), publicKey.begin(), publicKey.end());
  Owned<OSSL_PARAM_BLD, OSSL_PARAM_BLD_free> build(OSSL_PARAM_BLD_new());
  if (!build || OSSL_PARAM_BLD_push_utf8_string(build.get(), OSSL_PKEY_PARAM_GROUP_NAME, "prime256v1", 0) != 1 ||
      OSSL_PARAM_BLD_push_octet_string(build.get(), OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size()) != 1) {
    return false;
  }
  Owned<OSSL_PARAM, OSSL_PARAM_free> params(OSSL_PARAM_BLD_to_param(build.get()));
  Owned<EVP_PKEY_CTX, EVP_PKEY_CTX_free> fromData(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
  EVP_PKEY* raw = nullptr;
  if (!params || !fromData || EVP_PKEY_fromdata_init(fromData.get()) != 1 ||
      EVP_PKEY_fromdata(fromData.get(), &raw, EVP_PKEY_PUBLIC_KEY, params.get()) != 1) {
    return false;
  }
  Owned<EVP_PKEY, EVP_PKEY_free> key(raw);
  // The signature as OpenSSL reads it: DER of (r, s).
  Owned<ECDSA_SIG, ECDSA_SIG_free> sig(ECDSA_SIG_new());
  Owned<BIGNUM, FreeBn> r(BN_bin2bn(signature.data(), 32, nullptr)), s(BN_bin2bn(signature.data() + 32, 32, nullptr));
  if (!sig || !r || !s || ECDSA_SIG_set0(sig.get(), r.get(), s.get()) != 1) return false;
  r.release();
  s.release();
  unsigned char* der = nullptr;
  const int derLength = i2d_ECDSA_SIG(sig.get(), &der);
  if (derLength <= 0) return false;
  Owned<EVP_PKEY_CTX, EVP_PKEY_CTX_free> verify(EVP_PKEY_CTX_new(key.get(), nullptr));
  const bool verified = verify && EVP_PKEY_verify_init(verify.get()) == 1 &&
                        EVP_PKEY_verify(verify.get(), der, static_cast<std::size_t>(derLength), digest.data(),
                                        digest.size()) == 1;
  OPENSSL_free(der);
  return verified;
}

}  // namespace pravonell::posix
