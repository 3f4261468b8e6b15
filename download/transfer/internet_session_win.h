// The WinINet sessions the transfers share.
#pragma once
#include <windows.h>
#include <wininet.h>

namespace pelmora {

// A session for transfers whose inactivity time-out is `timeoutMs`, with its
// socket time-outs set from it; opened on first use and kept for the
// process's life, so transfers (from any thread) reuse its connections and a
// transfer that was given up on can still use it. Null when none can be
// opened (GetLastError says why). Callers never close it.
HINTERNET InternetSession(DWORD timeoutMs);

}  // namespace pelmora
