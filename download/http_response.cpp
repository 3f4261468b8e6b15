#include "download/http_response.h"

namespace pelmora {

int32_t HttpStatusResult(uint32_t status) {
    if (status == 200) return 0;
    constexpr uint32_t kHttpFacilityError = 0x80190000u;
    return static_cast<int32_t>(kHttpFacilityError | (status & 0xFFFFu));
}

std::optional<uint64_t> ParseContentLength(std::u16string_view value) {
    size_t begin = 0;
    size_t end = value.size();
    while (begin < end && (value[begin] == u' ' || value[begin] == u'\t')) ++begin;
    while (end > begin && (value[end - 1] == u' ' || value[end - 1] == u'\t')) --end;
    if (begin == end) return std::nullopt;
    uint64_t length = 0;
    for (size_t i = begin; i < end; ++i) {
        const char16_t c = value[i];
        if (c < u'0' || c > u'9') return std::nullopt;
        const uint64_t digit = static_cast<uint64_t>(c - u'0');
        if (length > (UINT64_MAX - digit) / 10) return std::nullopt;
        length = length * 10 + digit;
    }
    return length;
}

bool BodyComplete(std::optional<uint64_t> announced, uint64_t received) {
    return !announced || *announced == received;
}

}  // namespace pelmora
