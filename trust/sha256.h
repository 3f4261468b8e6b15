// SHA-256 digests as the server writes them. The hashing itself is the
// system's (trust/sha256_win.h).
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelmora {

using Sha256Digest = std::array<uint8_t, 32>;

// Exactly 2 * size hexadecimal digits, either case, into `out`; false for
// anything else (`out` is then partly written).
bool ParseHexBytes(std::u16string_view text, uint8_t* out, size_t size);

// 64 hexadecimal digits, either case; nothing else (no spaces, no prefix).
std::optional<Sha256Digest> ParseSha256Hex(std::u16string_view text);
std::string Sha256Hex(const Sha256Digest& digest);

}  // namespace pelmora
