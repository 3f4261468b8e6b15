#include "trust/signature_win.h"

#include "trust/sha256_win.h"

#include <windows.h>

#include <bcrypt.h>

#include <array>
#include <cstring>
#include <vector>

namespace pelmora {
namespace {

struct AlgorithmProvider {
    BCRYPT_ALG_HANDLE handle = nullptr;
    explicit AlgorithmProvider(const wchar_t* algorithm) {
        if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&handle, algorithm, nullptr, 0)))
            handle = nullptr;
    }
    ~AlgorithmProvider() {
        if (handle) ::BCryptCloseAlgorithmProvider(handle, 0);
    }
    AlgorithmProvider(const AlgorithmProvider&) = delete;
    AlgorithmProvider& operator=(const AlgorithmProvider&) = delete;
};

struct KeyHandle {
    BCRYPT_KEY_HANDLE handle = nullptr;
    ~KeyHandle() {
        if (handle) ::BCryptDestroyKey(handle);
    }
};

}  // namespace

bool VerifyMakerSignature(const MakerPublicKey& key, std::string_view data,
                          std::string_view signature) {
    if (signature.size() != kSignatureBytes) return false;
    std::optional<Sha256Digest> digest = Sha256Of(data);
    if (!digest) return false;

    const AlgorithmProvider ecdsa(BCRYPT_ECDSA_P256_ALGORITHM);
    if (!ecdsa.handle) return false;
    std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + key.size());
    BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    memcpy(blob.data(), &header, sizeof header);
    memcpy(blob.data() + sizeof header, key.data(), key.size());
    KeyHandle publicKey;
    if (!BCRYPT_SUCCESS(::BCryptImportKeyPair(ecdsa.handle, nullptr, BCRYPT_ECCPUBLIC_BLOB,
                                              &publicKey.handle, blob.data(),
                                              static_cast<ULONG>(blob.size()), 0)))
        return false;
    std::array<UCHAR, kSignatureBytes> sig{};
    memcpy(sig.data(), signature.data(), sig.size());
    return BCRYPT_SUCCESS(::BCryptVerifySignature(publicKey.handle, nullptr, digest->data(),
                                                  static_cast<ULONG>(digest->size()), sig.data(),
                                                  static_cast<ULONG>(sig.size()), 0));
}

}  // namespace pelmora
