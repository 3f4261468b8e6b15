// Who vouches for an installer in a build without the maker's key: the
// publisher compiled in, as the SHA-256 thumbprints of the certificates
// whose Authenticode signature an installer must carry. A thumbprint pins
// the certificate itself, so a chain to any root, known or not, proves
// nothing by itself.
#pragma once
#include "trust/sha256.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

using Publishers = std::vector<Sha256Digest>;

// Thumbprints of 64 hexadecimal digits, either case, separated by commas (a
// renewed certificate beside the current one); empty text: none. nullopt for
// anything else.
std::optional<Publishers> ParsePublishers(std::string_view text);

// Why a script's run must not start an installer that neither the maker's
// key nor a publisher vouches for; empty when it may: only when a machine
// policy allows unverified installers, and then only fetched over https
// with the catalogue's digest.
std::string UnverifiedInstallerRefusal(bool policyAllows, std::u16string_view url,
                                       bool hasDigest);

}  // namespace pelmora
