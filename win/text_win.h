// Conversions between wide strings, 8-bit code pages and the portable
// UTF-16 strings of the Windows-free code.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

namespace win {

std::string ToCodePage(std::wstring_view text, UINT codePage);
std::wstring FromCodePage(std::string_view bytes, UINT codePage);
inline std::string ToUtf8(std::wstring_view text) { return ToCodePage(text, CP_UTF8); }
inline std::wstring FromUtf8(std::string_view bytes) { return FromCodePage(bytes, CP_UTF8); }

// wchar_t is UTF-16 on Windows, so these are plain copies.
inline std::wstring ToWide(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }
inline std::u16string ToU16(std::wstring_view s) { return std::u16string(s.begin(), s.end()); }

// The system's text for a Win32 error, in the user's language, for a message
// box; "Error <n>" when it has none.
std::wstring SystemErrorText(DWORD error);
// The system's English text for an error, for the log (WinINet's come from
// wininet.dll); empty when it has none.
std::wstring EnglishErrorText(DWORD error);
// "error N: <English text>", or "error N" alone.
std::wstring ErrorCodeText(DWORD error);

}  // namespace win
