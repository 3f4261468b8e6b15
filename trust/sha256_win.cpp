#include "trust/sha256_win.h"

#include <climits>

namespace pelmora {
namespace {

// One provider for the whole process: opening one is costly, and hash
// objects may be made from it on any thread. (The pseudo-handles that need no
// provider came with Windows 10.) Kept open until the process ends.
BCRYPT_ALG_HANDLE Sha256Provider() noexcept {
    static const BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE handle = nullptr;
        if (!BCRYPT_SUCCESS(
                ::BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
            handle = nullptr;
        return handle;
    }();
    return provider;
}

}  // namespace

Sha256Stream::Sha256Stream() noexcept {
    const BCRYPT_ALG_HANDLE provider = Sha256Provider();
    // Windows 7 and later allocate the hash object themselves.
    failed_ = !provider ||
              !BCRYPT_SUCCESS(::BCryptCreateHash(provider, &hash_, nullptr, 0, nullptr, 0, 0));
    if (failed_) hash_ = nullptr;
}

Sha256Stream::~Sha256Stream() {
    if (hash_) ::BCryptDestroyHash(hash_);
}

bool Sha256Stream::Update(const void* data, size_t size) noexcept {
    auto* bytes = static_cast<UCHAR*>(const_cast<void*>(data));  // BCrypt only reads it
    while (!failed_ && size > 0) {
        const ULONG piece = size > ULONG_MAX ? ULONG_MAX : static_cast<ULONG>(size);
        failed_ = !BCRYPT_SUCCESS(::BCryptHashData(hash_, bytes, piece, 0));
        bytes += piece;
        size -= piece;
    }
    return !failed_;
}

std::optional<Sha256Digest> Sha256Stream::Finish() noexcept {
    if (failed_) return std::nullopt;
    Sha256Digest digest{};
    failed_ = true;  // spent
    if (!BCRYPT_SUCCESS(::BCryptFinishHash(hash_, digest.data(), digest.size(), 0)))
        return std::nullopt;
    return digest;
}

std::optional<Sha256Digest> Sha256Of(std::string_view bytes) noexcept {
    Sha256Stream hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.Finish();
}

}  // namespace pelmora
