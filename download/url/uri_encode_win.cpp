#include "download/url/uri_encode_win.h"

#include "download/url/uri_encode.h"
#include "win/text_win.h"

namespace pelmora {

std::wstring EncodeWideUrl(std::wstring_view url) {
    const std::string encoded = UriEncode().EncodeUrl(win::ToCodePage(url, CP_THREAD_ACP));
    return std::wstring(encoded.begin(), encoded.end());  // all ASCII
}

}  // namespace pelmora
