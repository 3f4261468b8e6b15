// Percent-escaping of a whole URL, byte by byte, before it goes to the
// transfer. It knows nothing of URL syntax and never decodes.
#pragma once
#include <string>
#include <string_view>

namespace pelmora {

class UriEncode {
public:
    virtual ~UriEncode() = default;

    // `url` is the URL in the thread's ANSI code page. The space and every byte
    // outside "!" (0x21) to "z" (0x7A) become an escape; "%" passes unchanged,
    // so escapes already in the URL survive. The result is ASCII.
    std::string EncodeUrl(std::string_view url) const;

    // "%" and two lower-case hex digits of the byte's unsigned value.
    static std::string EncodeByte(char b);
};

}  // namespace pelmora
