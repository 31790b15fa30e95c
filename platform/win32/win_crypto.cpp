#include "platform/win32/win_crypto.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/error.h"
#include "platform/win32/system_library.h"

namespace pravonell::win32 {

namespace {

// bcrypt.dll is not among the KnownDLLs: its functions come from the system
// folder's copy.
struct Bcrypt {
  decltype(&BCryptOpenAlgorithmProvider) open = nullptr;
  decltype(&BCryptCloseAlgorithmProvider) close = nullptr;
  decltype(&BCryptCreateHash) createHash = nullptr;
  decltype(&BCryptHashData) hashData = nullptr;
  decltype(&BCryptFinishHash) finishHash = nullptr;
  decltype(&BCryptDestroyHash) destroyHash = nullptr;
  decltype(&BCryptImportKeyPair) importKeyPair = nullptr;
  decltype(&BCryptVerifySignature) verifySignature = nullptr;
  decltype(&BCryptDestroyKey) destroyKey = nullptr;

  bool Complete() const {
    return open && close && createHash && hashData && finishHash && destroyHash && importKeyPair &&
           verifySignature && destroyKey;
  }
};

const Bcrypt& Functions() {
  static const Bcrypt functions = [] {
    Bcrypt f;
    const wchar_t* dll = L"bcrypt.dll";
    f.open = SystemFunctionAs<decltype(f.open)>(dll, "BCryptOpenAlgorithmProvider");
    f.close = SystemFunctionAs<decltype(f.close)>(dll, "BCryptCloseAlgorithmProvider");
    f.createHash = SystemFunctionAs<decltype(f.createHash)>(dll, "BCryptCreateHash");
    f.hashData = SystemFunctionAs<decltype(f.hashData)>(dll, "BCryptHashData");
    f.finishHash = SystemFunctionAs<decltype(f.finishHash)>(dll, "BCryptFinishHash");
    f.destroyHash = SystemFunctionAs<decltype(f.destroyHash)>(dll, "BCryptDestroyHash");
    f.importKeyPair = SystemFunctionAs<decltype(f.importKeyPair)>(dll, "BCryptImportKeyPair");
    f.verifySignature = SystemFunctionAs<decltype(f.verifySignature)>(dll, "BCryptVerifySignature");
    f.destroyKey = SystemFunctionAs<decltype(f.destroyKey)>(dll, "BCryptDestroyKey");
    return f;
  }();
  return functions;
}

bool Succeeded(NTSTATUS status) { return status >= 0; }

class CngSha256 final : public Sha256 {
 public:
  CngSha256() {
    const Bcrypt& f = Functions();
    if (!f.Complete() || !Succeeded(f.open(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
        !Succeeded(f.createHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0))) {
      Release();
      throw Error(L"SHA-256 is not available on this Windows (CNG).");
    }
  }
  ~CngSha256() override { Release(); }

  void Add(std::span<const char> bytes) override {
    // In pieces a ULONG can count.
    while (!bytes.empty()) {
      const std::size_t piece = std::min<std::size_t>(bytes.size(), 1u << 30);
      if (!Succeeded(Functions().hashData(hash_, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                                          static_cast<ULONG>(piece), 0))) {
        throw Error(L"SHA-256 failed (CNG).");
      }
      bytes = bytes.subspan(piece);
    }
  }

  Digest Finish() override {
    Digest digest{};
    if (!Succeeded(Functions().finishHash(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0))) {
      throw Error(L"SHA-256 failed (CNG).");
    }
    return digest;
  }

 private:
  void Release() {
    if (hash_ != nullptr) Functions().destroyHash(hash_);
    if (algorithm_ != nullptr) Functions().close(algorithm_, 0);
    hash_ = nullptr;
    algorithm_ = nullptr;
  }

  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
};

}  // namespace

std::unique_ptr<Sha256> Win32Crypto::NewSha256() { return std::make_unique<CngSha256>(); }

// Open the algorithm, import the public key, verify, close: nothing else.
bool Win32Crypto::VerifyP256(std::span<const std::uint8_t, 64> publicKey, const Digest& digest,
                             std::span<const std::uint8_t, 64> signature) {
  const Bcrypt& f = Functions();
  if (!f.Complete()) return false;
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!Succeeded(f.open(&algorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) return false;
  std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + publicKey.size());
  BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
  std::memcpy(blob.data(), &header, sizeof header);
  std::memcpy(blob.data() + sizeof header, publicKey.data(), publicKey.size());
  BCRYPT_KEY_HANDLE key = nullptr;
  bool verified = false;
  if (Succeeded(f.importKeyPair(algorithm, nullptr, BCRYPT_ECCPUBLIC_BLOB, &key, blob.data(),
                                static_cast<ULONG>(blob.size()), 0))) {
    verified = Succeeded(f.verifySignature(key, nullptr, const_cast<PUCHAR>(digest.data()),
                                           static_cast<ULONG>(digest.size()), const_cast<PUCHAR>(signature.data()),
                                           static_cast<ULONG>(signature.size()), 0));
    f.destroyKey(key);
  }
  f.close(algorithm, 0);
  return verified;
}

}  // namespace pravonell::win32
