// A failed download's result in words, for the log line that every failure
// leaves: the HTTP status, the Win32 or WinINet error, the size cap, the
// cut-short body, the trust refusal.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

namespace pelmora {

// `timeoutMs` and `maxBytes` are what the caller allowed (0: no cap).
std::wstring DownloadFailureText(HRESULT result, DWORD timeoutMs = 0, uint64_t maxBytes = 0);

}  // namespace pelmora
