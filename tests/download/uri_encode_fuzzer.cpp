// Every output byte is printable ASCII, and the output walks the input one
// byte at a time: a byte in "!".."z" as itself, any other as "%xx" of it.
#include "download/url/uri_encode.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string out = pelmora::UriEncode().EncodeUrl(input);
    size_t at = 0;
    for (const unsigned char b : input) {
        if (b >= 0x21 && b <= 0x7A) {
            if (at >= out.size() || static_cast<unsigned char>(out[at]) != b) abort();
            ++at;
            continue;
        }
        if (out.compare(at, 3, pelmora::UriEncode::EncodeByte(static_cast<char>(b))) != 0) abort();
        const unsigned value = std::strtoul(out.substr(at + 1, 2).c_str(), nullptr, 16);
        if (value != b) abort();
        at += 3;
    }
    if (at != out.size()) abort();
    for (const unsigned char c : out)
        if (c < 0x21 || c > 0x7A) abort();
    return 0;
}
