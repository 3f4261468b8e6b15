// Opening the request for a file: its flags and headers, the redirects
// followed by hand, and the answer's headers.
#pragma once
#include "win/handles_win.h"

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <optional>
#include <string>

namespace pelmora {

// Lets later downloads from a server pass a request that was given up on.
// Once per process, before the first request.
void AllowConnectionsPerServer();

// What the request asks for, beyond the URL.
struct RequestPlan {
    DWORD flags = 0;
    std::wstring headers;
};

// The file as it is, without dialogs; with `continueDownload` false the
// answer comes from the server, never from a cache.
RequestPlan PlanRequest(bool continueDownload);

// Opens the URL, following at most kMaxRedirects redirects by hand: only to
// http or https, never from https down to http. Cookies are neither sent nor
// kept. Every request and every hop starts with INTERNET_FLAG_NO_AUTH, so a
// server's 401 is never answered; a proxy's 407 is (AnswerProxy).
HRESULT OpenRequest(HINTERNET session, std::wstring url, const std::wstring& headers, DWORD flags,
                    win::InternetHandle& request, DWORD& status);

// A header of the answer as text, whatever its length (size asked first);
// empty when absent.
std::wstring HeaderText(HINTERNET request, DWORD query);

// The answer's Content-Length, when it has a valid one.
std::optional<uint64_t> ContentLength(HINTERNET request);

}  // namespace pelmora
