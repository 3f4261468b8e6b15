#include "download/base_url.h"

namespace pelmora {

bool IsBaseUrl(std::u16string_view url) {
    constexpr std::u16string_view scheme = u"http://";
    constexpr std::u16string_view tail = u"/tools/";
    if (url.size() < scheme.size() + 1 + tail.size()) return false;
    for (size_t i = 0; i < scheme.size(); ++i) {
        char16_t c = url[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != scheme[i]) return false;
    }
    for (char16_t c : url)
        if (c <= 0x20 || c == 0x7F) return false;
    const size_t hostEnd = url.find(u'/', scheme.size());
    if (hostEnd == std::u16string_view::npos || hostEnd == scheme.size()) return false;
    return url.substr(url.size() - tail.size()) == tail && url.size() - tail.size() >= hostEnd;
}

}  // namespace pelmora
