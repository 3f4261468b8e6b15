// Decisions on an HTTP response that need no network: which status gives a
// file, what a Content-Length value says, and whether a body is whole.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// 0 for 200 OK; for any other status an HRESULT that carries it
// (facility HTTP, as HTTP_E_STATUS_NOT_FOUND 0x80190194 for 404), so that
// an error page is never taken for the file.
int32_t HttpStatusResult(uint32_t status);

// The value of a Content-Length header: decimal digits, blanks around them
// allowed. Anything else, or a value beyond 64 bits, is not a length.
std::optional<uint64_t> ParseContentLength(std::u16string_view value);

// A body is whole when its length was not announced or all of it arrived.
bool BodyComplete(std::optional<uint64_t> announced, uint64_t received);

// 301, 302, 303, 307 and 308: the answer names another place.
bool IsRedirectStatus(uint32_t status);

// Where a redirect may lead: http or https only, and never from https down to
// http. `from` and `to` are absolute URLs.
bool RedirectAllowed(std::u16string_view from, std::u16string_view to);

// The body is the file as it is: no Content-Encoding, or "identity".
bool IdentityEncoding(std::u16string_view contentEncoding);

// The first byte a 206 answer carries, from "bytes START-END/TOTAL" (TOTAL
// may be "*"); nullopt for anything else.
std::optional<uint64_t> ContentRangeStart(std::u16string_view contentRange);

// The whole file's length a 416 answer names, from "bytes */TOTAL"; nullopt
// for anything else.
std::optional<uint64_t> UnsatisfiedRangeLength(std::u16string_view contentRange);

// What an If-Range header may carry for a later resume: a strong ETag, else
// the Last-Modified date; empty when the answer gave neither (a weak ETag
// cannot vouch that the bytes are the same).
std::u16string ResumeValidator(std::u16string_view etag, std::u16string_view lastModified);

// How a proxy's 407 is answered, from its Proxy-Authenticate values.
enum class ProxyAnswer {
    Integrated,  // WinINet answers NTLM or Negotiate with the logged-on user
    Basic,       // Pelmora sends the credentials the user entered
    None,        // nothing this program can answer
};
// Negotiate or NTLM before Basic, which would send the password readable by
// anyone on the way: Basic only when the proxy offers nothing else, or the
// logged-on user was already `integratedRefused` on this request.
ProxyAnswer ChooseProxyAnswer(const std::vector<std::u16string>& offers, bool integratedRefused);

// The WinINet name of an error that means the server's certificate (or the
// TLS channel itself) was refused, such as "ERROR_INTERNET_INVALID_CA" for
// 12045; empty for every other error.
std::string_view CertificateErrorName(uint32_t error);

}  // namespace pelmora
