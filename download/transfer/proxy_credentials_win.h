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
// `flags` (always with INTERNET_FLAG_NO_AUTH first) in `session`. On a 407
// from the session's proxy that offers Basic, Pelmora answers it itself with
// the credentials kept for this run (a Proxy-Authorization header on this
// request, sent again), so WinINet's own authentication, which would also
// answer a server's 401, stays off; S_OK with the new `status`. A proxy that
// offers only NTLM or Negotiate: S_FALSE, the request is opened again
// without INTERNET_FLAG_NO_AUTH for WinINet to answer with the logged-on
// user. A 407 where no proxy is in use gets nothing. Otherwise
// kDownloadProxyAuthRequired or the send's failure; logs why.
HRESULT AnswerProxy(HINTERNET session, HINTERNET request, DWORD flags, DWORD& status);

// Window thread only, never in quiet mode: asks the proxy for `url` itself
// and, when it answers 407, shows the system's credential prompt owned by
// `owner`, keeping what the user enters. Once per run. True when the fetch
// is worth trying again (credentials entered, or the proxy no longer asks);
// false on Cancel, on a second call, or when the proxy cannot be reached.
bool AskProxyCredentials(HWND owner, const std::wstring& url, DWORD timeoutMs);

}  // namespace pelmora
