#include "trust/signed_files.h"

#include "trust/sha256.h"

#include <string>

namespace pelmora {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::optional<MakerPublicKey> ParseMakerPublicKey(std::string_view hex) {
    while (!hex.empty() && IsBlank(hex.front())) hex.remove_prefix(1);
    while (!hex.empty() && IsBlank(hex.back())) hex.remove_suffix(1);
    MakerPublicKey key{};
    if (!ParseHexBytes(std::u16string(hex.begin(), hex.end()), key.data(), key.size()))
        return std::nullopt;
    return key;
}

}  // namespace pelmora
