// The self-version file "Pelmora.txt": the version is the text between the
// first and the second lower-case "v" of its first line.
#pragma once
#include "trust/sha256.h"

#include <optional>
#include <string>
#include <string_view>

namespace pelmora {

// From one line of 8-bit text: empty without a "v", up to the line's end
// without a second one. Upper-case "V" is an ordinary character.
std::string SelfVersionFromLine(std::string_view line);

// A version worth comparing: printable ASCII without blanks, with a digit.
// Anything else ("Pelmora 1.3.2 build" has no "v" at all) names no version,
// and an update to no version is never offered.
bool IsReadableVersion(std::string_view version);

// From the file's bytes: its first line as text mode reads it, then the rule above.
std::string SelfVersionFromFile(std::string_view fileBytes);

// The digest of Pelmora's own installer, which the maker writes after the
// second "v" (text version readers ignore) as "sha256:<64 hex digits>" set
// off by blanks or the line's ends. nullopt without one.
std::optional<Sha256Digest> SelfInstallerDigestFromFile(std::string_view fileBytes);

// The digest of Pelmora's MSI, written there as "Pelmora.msi=sha256:<64 hex
// digits>": the release offers an MSI only with it. nullopt without one.
std::optional<Sha256Digest> SelfMsiDigestFromFile(std::string_view fileBytes);

}  // namespace pelmora
