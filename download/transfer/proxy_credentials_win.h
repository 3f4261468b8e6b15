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

// True once a proxy has asked for credentials in this run: from then on
// requests let WinINet authenticate to the proxy at once.
bool ProxyAsksForCredentials();

// For the transfer, after the answer `status` to a request opened with
// `flags`. On a 407: S_FALSE when the request refused authentication
// (INTERNET_FLAG_NO_AUTH), so that it is opened again without; otherwise it
// gives the proxy the credentials kept for this run, if any, by sending the
// request again, and updates `status`. S_OK unless the proxy still refuses
// (kDownloadProxyAuthRequired) or the new send fails; logs why.
HRESULT AnswerProxy(HINTERNET request, DWORD flags, DWORD& status);

// Window thread only, never in quiet mode: asks the proxy for `url` itself
// and, when it answers 407, shows the system's credential prompt owned by
// `owner`, keeping what the user enters. Once per run. True when the fetch
// is worth trying again (credentials entered, or the proxy no longer asks);
// false on Cancel, on a second call, or when the proxy cannot be reached.
bool AskProxyCredentials(HWND owner, const std::wstring& url, DWORD timeoutMs);

}  // namespace pelmora
