// SHA-256 of a byte stream, for checking installers against the digests the
// catalogue publishes.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelmora {

using Sha256Digest = std::array<uint8_t, 32>;

class Sha256 {
public:
    Sha256() noexcept;
    void Update(const void* data, size_t size) noexcept;
    // The digest of everything given so far; the object is spent afterwards.
    Sha256Digest Finish() noexcept;

private:
    void Block(const uint8_t* block) noexcept;

    std::array<uint32_t, 8> state_;
    std::array<uint8_t, 64> buffer_{};
    size_t buffered_ = 0;
    uint64_t totalBytes_ = 0;
};

Sha256Digest Sha256Of(std::string_view bytes) noexcept;

// Exactly 2 * size hexadecimal digits, either case, into `out`; false for
// anything else (`out` is then partly written).
bool ParseHexBytes(std::u16string_view text, uint8_t* out, size_t size);

// 64 hexadecimal digits, either case; nothing else (no spaces, no prefix).
std::optional<Sha256Digest> ParseSha256Hex(std::u16string_view text);
std::string Sha256Hex(const Sha256Digest& digest);

}  // namespace pelmora
