// Checking a detached signature with the system's own cryptography (BCrypt).
#pragma once
#include "trust/signed_files.h"

#include <string_view>

namespace pelmora {

// True only when `signature` (64 bytes, r then s) is a valid ECDSA P-256
// signature by `key` over SHA-256 of `data`.
bool VerifyMakerSignature(const MakerPublicKey& key, std::string_view data,
                          std::string_view signature);

}  // namespace pelmora
