// The maker's signature: a detached file of 64 bytes, r then s of an ECDSA
// P-256 signature over SHA-256 of the signed file's exact bytes. The maker's
// public key is 128 hexadecimal digits, X then Y (the body of a
// BCRYPT_ECCPUBLIC_BLOB). Only the release manifest is signed; it vouches
// for every other file.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace pelmora {

constexpr size_t kSignatureBytes = 64;
using MakerPublicKey = std::array<uint8_t, 64>;

// Exactly 128 hexadecimal digits, either case; surrounding blanks and line
// ends are allowed (a key pasted from its file). nullopt for anything else.
std::optional<MakerPublicKey> ParseMakerPublicKey(std::string_view hex);

}  // namespace pelmora
