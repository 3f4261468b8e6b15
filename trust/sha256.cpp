#include "trust/sha256.h"

namespace pelmora {
namespace {

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

}  // namespace

bool ParseHexBytes(std::u16string_view text, uint8_t* out, size_t size) {
    if (text.size() != 2 * size) return false;
    for (size_t i = 0; i < size; ++i) {
        const int high = HexValue(text[2 * i]), low = HexValue(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        out[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return true;
}

std::optional<Sha256Digest> ParseSha256Hex(std::u16string_view text) {
    Sha256Digest digest;
    if (!ParseHexBytes(text, digest.data(), digest.size())) return std::nullopt;
    return digest;
}

std::string Sha256Hex(const Sha256Digest& digest) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t byte : digest) hex += {kDigits[byte >> 4], kDigits[byte & 15]};
    return hex;
}

}  // namespace pelmora
