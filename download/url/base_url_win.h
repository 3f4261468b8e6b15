// The base URL, fixed once at start-up: the build's default, or the
// PELMORA_BASE_URL environment variable when it holds a base URL.
#pragma once
#include <string>

namespace pelmora {

void InitBaseUrl();
const std::wstring& BaseUrl();

}  // namespace pelmora
