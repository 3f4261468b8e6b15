#include "catalogue/model/self_version.h"

#include "win/text_line.h"

namespace pelmora {

std::string SelfVersionFromLine(std::string_view line) {
    const size_t first = line.find('v');
    if (first == std::string_view::npos) return {};
    const size_t start = first + 1;
    const size_t second = line.find('v', start);
    return std::string(
        line.substr(start, second == std::string_view::npos ? second : second - start));
}

bool IsReadableVersion(std::string_view version) {
    bool digit = false;
    for (const char c : version) {
        if (c <= ' ' || c > '~') return false;
        digit = digit || (c >= '0' && c <= '9');
    }
    return digit;
}

std::string SelfVersionFromFile(std::string_view fileBytes) {
    return SelfVersionFromLine(FirstTextLine(fileBytes));
}

namespace {

// The digest in the first word after the second "v" that begins with `prefix`.
std::optional<Sha256Digest> DigestWord(std::string_view fileBytes, std::string_view prefix) {
    const std::string line = FirstTextLine(fileBytes);
    const size_t first = line.find('v');
    const size_t second = first == std::string::npos ? first : line.find('v', first + 1);
    if (second == std::string::npos) return std::nullopt;
    const std::string_view rest = std::string_view(line).substr(second + 1);
    size_t start = 0;
    while (start < rest.size()) {
        size_t end = rest.find_first_of(" \t", start);
        if (end == std::string_view::npos) end = rest.size();
        const std::string_view word = rest.substr(start, end - start);
        if (word.substr(0, prefix.size()) == prefix) {
            const std::string_view hex = word.substr(prefix.size());
            if (auto digest = ParseSha256Hex(std::u16string(hex.begin(), hex.end()))) return digest;
        }
        start = end + 1;
    }
    return std::nullopt;
}

}  // namespace

std::optional<Sha256Digest> SelfInstallerDigestFromFile(std::string_view fileBytes) {
    return DigestWord(fileBytes, "sha256:");
}

std::optional<Sha256Digest> SelfMsiDigestFromFile(std::string_view fileBytes) {
    return DigestWord(fileBytes, "Pelmora.msi=sha256:");
}

}  // namespace pelmora
