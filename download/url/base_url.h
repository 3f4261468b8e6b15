// The update server's base URL: an HTTP or HTTPS URL whose path ends in "/tools/".
#pragma once
#include <string_view>

namespace pelmora {

// "http://" or "https://" (any letter case), a non-empty host, a path ending
// in "/tools/", and no blanks or control characters anywhere.
bool IsBaseUrl(std::u16string_view url);

}  // namespace pelmora
