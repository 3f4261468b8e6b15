// The server files the maker signs. Each has a detached signature beside it,
// "<file>.sig": 64 bytes, r then s of an ECDSA P-256 signature over SHA-256 of
// the file's exact bytes. The maker's public key is 128 hexadecimal digits,
// X then Y (the body of a BCRYPT_ECCPUBLIC_BLOB).
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

// True for the base URL followed by one of the signed names: the catalogue,
// the self-version file and the two stamp files.
bool IsSignedServerFile(std::u16string_view url, std::u16string_view baseUrl);

// The name below the base URL of a signed file ("program_list.txt"...).
inline std::u16string_view SignedFileName(std::u16string_view url, std::u16string_view baseUrl) {
    return url.substr(baseUrl.size());
}

inline constexpr std::u16string_view kCatalogueFileName = u"program_list.txt";

}  // namespace pelmora
