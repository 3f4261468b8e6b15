#include "download/url/base_url.h"

#include "download/url/url_host.h"

namespace pelmora {

bool IsBaseUrl(std::u16string_view url) {
    constexpr std::u16string_view tail = u"/tools/";
    const std::u16string scheme = UrlScheme(url);
    if (scheme != u"http" && scheme != u"https") return false;
    for (char16_t c : url)
        if (c <= 0x20 || c == 0x7F) return false;
    const size_t hostStart = scheme.size() + 3;
    const size_t hostEnd = url.find(u'/', hostStart);
    if (hostEnd == std::u16string_view::npos || hostEnd == hostStart) return false;
    return url.size() - tail.size() >= hostEnd && url.substr(url.size() - tail.size()) == tail;
}

}  // namespace pelmora
