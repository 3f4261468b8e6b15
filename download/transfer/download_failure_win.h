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

// A download that failed on the local side: its file could not be made,
// written or put in place (access denied, a full disk, a folder in the way).
// Network and server failures never give these results.
bool IsLocalWriteFailure(HRESULT result);

}  // namespace pelmora
