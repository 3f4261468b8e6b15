// Authenticating to the system's proxy. WinINet answers NTLM/Negotiate with
// the logged-on user by itself; what it cannot answer (Basic, a refused
// silent attempt) the user may answer once per run in the system's own
// prompt, on the window thread. The name and password entered stay in memory
// for the process and go only to the proxy: servers never get credentials.
#pragma once
#include "download/transfer/download_result_win.h"

#include <windows.h>
#include <wininet.h>

#include <string>

namespace pelmora {

// True once a proxy has asked for credentials in this run.
bool ProxyAsksForCredentials();

// For the transfer, after the answer `status` to a request opened with
// `flags` (INTERNET_FLAG_NO_AUTH at first). On a 407 from a proxy this
// request went through, Negotiate or NTLM comes before Basic, which would
// send the password readable on the way: offered, the request is opened again
// without INTERNET_FLAG_NO_AUTH (S_FALSE, `flags` changed,
// `integratedTried` set) for WinINet to answer with the logged-on user. Basic
// (offered alone, or after that was refused) Pelmora answers itself with the
// credentials kept for this run (a Proxy-Authorization header on the request
// with the flag, sent again, so WinINet's own authentication, which would
// also answer a server's 401, stays off); S_OK with the new `status`, or
// S_FALSE with the flag set again first. A 407 that did not come through a
// proxy gets nothing. Otherwise kDownloadProxyAuthRequired or the send's
// failure; logs why.
HRESULT AnswerProxy(HINTERNET request, DWORD& flags, bool& integratedTried, DWORD& status);

// Window thread only, never in quiet mode: asks the proxy for `url` itself
// (without WinINet's authentication) and, when a proxy in use for `url`
// answers 407, shows the system's credential prompt owned by
// `owner`, keeping what the user enters. Once per run. True when the fetch
// is worth trying again (credentials entered, or the proxy no longer asks);
// false on Cancel, on a second call, or when the proxy cannot be reached.
bool AskProxyCredentials(HWND owner, const std::wstring& url, DWORD timeoutMs);

}  // namespace pelmora
