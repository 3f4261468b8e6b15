#include "download/url/url_host.h"

namespace pelmora {
namespace {

std::u16string LowerAscii(std::u16string_view text) {
    std::u16string lower(text);
    for (char16_t& c : lower)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return lower;
}

}  // namespace

std::u16string UrlHost(std::u16string_view url) {
    const size_t scheme = url.find(u"://");
    const size_t start = scheme == std::u16string_view::npos ? 0 : scheme + 3;
    return LowerAscii(url.substr(0, url.find_first_of(u"/\\?#", start)));
}

std::u16string UrlScheme(std::u16string_view url) {
    const size_t colon = url.find(u"://");
    if (colon == std::u16string_view::npos) return {};
    return LowerAscii(url.substr(0, colon));
}

}  // namespace pelmora
