// The base URL: the build's default, or the PELMORA_BASE_URL environment
// variable when it holds a base URL. Read once, by the session.
#pragma once
#include <string>

namespace pelmora {

std::wstring ReadBaseUrl();

}  // namespace pelmora
