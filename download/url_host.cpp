#include "download/url_host.h"

namespace pelmora {

std::u16string UrlHost(std::u16string_view url) {
    const size_t scheme = url.find(u"://");
    const size_t start = scheme == std::u16string_view::npos ? 0 : scheme + 3;
    const size_t end = url.find_first_of(u"/\\?#", start);
    std::u16string host(url.substr(0, end));
    for (char16_t& c : host)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return host;
}

}  // namespace pelmora
