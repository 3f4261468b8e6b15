#include "trust/installer_publisher.h"

namespace pelmora {

std::optional<Publishers> ParsePublishers(std::string_view text) {
    Publishers publishers;
    while (!text.empty()) {
        const size_t comma = text.find(',');
        const std::string_view one = text.substr(0, comma);
        const std::optional<Sha256Digest> thumbprint =
            ParseSha256Hex(std::u16string(one.begin(), one.end()));
        if (!thumbprint) return std::nullopt;
        publishers.push_back(*thumbprint);
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
        if (text.empty()) return std::nullopt;  // a trailing comma
    }
    return publishers;
}

std::string UnverifiedInstallerRefusal(bool policyAllows, std::u16string_view url,
                                       bool hasDigest) {
    if (!policyAllows)
        return "this Pelmora has neither the maker's key nor a publisher to check installers "
               "against; nothing is installed unattended unless the AllowUnverifiedInstallers "
               "policy is 1";
    std::u16string scheme(url.substr(0, 8));
    for (char16_t& c : scheme)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (scheme != u"https://")
        return "an unverified installer is installed only from an https:// address";
    if (!hasDigest) return "an unverified installer is installed only with the catalogue's digest";
    return {};
}

}  // namespace pelmora
