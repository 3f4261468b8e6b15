#include "download/transfer/http_response.h"

#include "download/url/url_host.h"

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

namespace {

std::u16string_view Trimmed(std::u16string_view text) {
    while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
    return text;
}

// `text` is `lower` (lower case) in any letter case.
bool SameLetters(std::u16string_view text, std::u16string_view lower) {
    if (text.size() != lower.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != lower[i]) return false;
    }
    return true;
}

}  // namespace

bool IsRedirectStatus(uint32_t status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool RedirectAllowed(std::u16string_view from, std::u16string_view to) {
    const std::u16string target = UrlScheme(to);
    if (target != u"http" && target != u"https") return false;
    return !(UrlScheme(from) == u"https" && target == u"http");
}

bool IdentityEncoding(std::u16string_view contentEncoding) {
    const std::u16string_view value = Trimmed(contentEncoding);
    return value.empty() || SameLetters(value, u"identity");
}

std::optional<uint64_t> ContentRangeStart(std::u16string_view contentRange) {
    std::u16string_view value = Trimmed(contentRange);
    constexpr std::u16string_view kUnit = u"bytes ";
    if (value.substr(0, kUnit.size()) != kUnit) return std::nullopt;
    value.remove_prefix(kUnit.size());
    const size_t dash = value.find(u'-');
    const size_t slash = value.find(u'/');
    if (dash == std::u16string_view::npos || slash == std::u16string_view::npos || slash < dash)
        return std::nullopt;
    const std::optional<uint64_t> start = ParseContentLength(value.substr(0, dash));
    const std::optional<uint64_t> end = ParseContentLength(value.substr(dash + 1, slash - dash - 1));
    if (!start || !end || *end < *start) return std::nullopt;
    return start;
}

std::optional<uint64_t> UnsatisfiedRangeLength(std::u16string_view contentRange) {
    std::u16string_view value = Trimmed(contentRange);
    constexpr std::u16string_view kPrefix = u"bytes */";
    if (value.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
    return ParseContentLength(value.substr(kPrefix.size()));
}

std::u16string ResumeValidator(std::u16string_view etag, std::u16string_view lastModified) {
    etag = Trimmed(etag);
    if (etag.size() >= 2 && etag.front() == u'"' && etag.back() == u'"') return std::u16string(etag);
    return std::u16string(Trimmed(lastModified));
}

ProxyAnswer ChooseProxyAnswer(const std::vector<std::u16string>& offers, bool integratedRefused) {
    bool integrated = false, basic = false;
    for (const std::u16string& offer : offers) {
        const std::u16string_view value = Trimmed(offer);
        const std::u16string_view scheme = value.substr(0, value.find(u' '));
        integrated |= SameLetters(scheme, u"negotiate") || SameLetters(scheme, u"ntlm");
        basic |= SameLetters(scheme, u"basic");
    }
    if (integrated && !integratedRefused) return ProxyAnswer::Integrated;
    return basic ? ProxyAnswer::Basic : ProxyAnswer::None;
}

std::string_view CertificateErrorName(uint32_t error) {
    switch (error) {
    case 12037: return "ERROR_INTERNET_SEC_CERT_DATE_INVALID";
    case 12038: return "ERROR_INTERNET_SEC_CERT_CN_INVALID";
    case 12044: return "ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED";
    case 12045: return "ERROR_INTERNET_INVALID_CA";
    case 12055: return "ERROR_INTERNET_SEC_CERT_ERRORS";
    case 12056: return "ERROR_INTERNET_SEC_CERT_NO_REV";
    case 12057: return "ERROR_INTERNET_SEC_CERT_REV_FAILED";
    case 12157: return "ERROR_INTERNET_SECURITY_CHANNEL_ERROR";
    case 12169: return "ERROR_INTERNET_SEC_INVALID_CERT";
    case 12170: return "ERROR_INTERNET_SEC_CERT_REVOKED";
    default: return {};
    }
}

}  // namespace pelmora
