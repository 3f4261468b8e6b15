#include "download/signed_files.h"

namespace pelmora {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::optional<MakerPublicKey> ParseMakerPublicKey(std::string_view hex) {
    while (!hex.empty() && IsBlank(hex.front())) hex.remove_prefix(1);
    while (!hex.empty() && IsBlank(hex.back())) hex.remove_suffix(1);
    MakerPublicKey key{};
    if (hex.size() != key.size() * 2) return std::nullopt;
    for (size_t i = 0; i < key.size(); ++i) {
        const int high = HexValue(hex[2 * i]), low = HexValue(hex[2 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        key[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return key;
}

bool IsSignedServerFile(std::u16string_view url, std::u16string_view baseUrl) {
    if (baseUrl.empty() || url.size() <= baseUrl.size() || url.substr(0, baseUrl.size()) != baseUrl)
        return false;
    const std::u16string_view name = SignedFileName(url, baseUrl);
    for (const std::u16string_view signedName :
         {kCatalogueFileName, std::u16string_view(u"Pelmora.txt"),
          std::u16string_view(u"db_version.txt"), std::u16string_view(u"image_version.txt")})
        if (name == signedName) return true;
    return false;
}

}  // namespace pelmora
