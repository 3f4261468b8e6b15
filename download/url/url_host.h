// Which server a URL names, so that fetches can tell one host from another.
#pragma once
#include <string>
#include <string_view>

namespace pelmora {

// The URL's scheme and authority ("https://host:port"), letters in lower
// case; the whole text when it has no path. A backslash ends the authority
// as a slash does, as in HTTP URLs.
std::u16string UrlHost(std::u16string_view url);

// The scheme before "://" in lower case ("http", "https"); empty when the
// URL has none.
std::u16string UrlScheme(std::u16string_view url);

}  // namespace pelmora
