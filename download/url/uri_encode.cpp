#include "download/url/uri_encode.h"

namespace pelmora {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr std::string_view kAlwaysEscaped = " ";

}  // namespace

std::string UriEncode::EncodeUrl(std::string_view url) const {
    std::string out;
    out.reserve(url.size());
    for (const char b : url) {
        const auto signedByte = static_cast<signed char>(b);
        if (kAlwaysEscaped.find(b) != std::string_view::npos || signedByte < 33 || signedByte > 122)
            out += EncodeByte(b);
        else
            out += b;
    }
    return out;
}

std::string UriEncode::EncodeByte(char b) {
    const auto v = static_cast<unsigned char>(b);
    return {'%', kHexDigits[v / 16], kHexDigits[v % 16]};
}

}  // namespace pelmora
