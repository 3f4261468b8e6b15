// Decisions on an HTTP response that need no network: which status gives a
// file, what a Content-Length value says, and whether a body is whole.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

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

}  // namespace pelmora
