// URL encoding of a wide URL through the calling thread's ANSI code page.
#pragma once
#include <string>
#include <string_view>

namespace pelmora {

// Converts with CP_THREAD_ACP (a letter the code page lacks becomes its
// default character first), then escapes as UriEncode does.
std::wstring EncodeWideUrl(std::wstring_view url);

}  // namespace pelmora
