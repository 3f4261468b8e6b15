// SHA-256 from the system's cryptography (BCrypt), streamed: a body can be
// hashed piece by piece as it is written, on whichever thread writes it.
#pragma once
#include "trust/sha256.h"

#include <windows.h>

#include <bcrypt.h>

#include <optional>
#include <string_view>

namespace pelmora {

class Sha256Stream {
public:
    Sha256Stream() noexcept;
    ~Sha256Stream();
    Sha256Stream(const Sha256Stream&) = delete;
    Sha256Stream& operator=(const Sha256Stream&) = delete;

    // False once the system refused a step; the digest is then nullopt.
    bool Update(const void* data, size_t size) noexcept;
    // The digest of everything given so far; the stream is spent afterwards.
    std::optional<Sha256Digest> Finish() noexcept;

private:
    BCRYPT_HASH_HANDLE hash_ = nullptr;
    bool failed_ = false;
};

// The digest of `bytes`; nullopt only when the system cannot hash.
std::optional<Sha256Digest> Sha256Of(std::string_view bytes) noexcept;

}  // namespace pelmora
