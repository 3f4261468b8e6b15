#include "download/transfer/proxy_credentials_win.h"

#include "win/diagnostics_win.h"
#include "win/handles_win.h"

#include <atomic>
#include <mutex>

namespace pelmora {
namespace {

std::atomic<bool> proxyAsked{false};
std::atomic<bool> prompted{false};

// What the user entered; the window thread writes it, transfers read it.
struct Credentials {
    std::mutex lock;
    std::wstring user;
    std::wstring password;
};

Credentials& Kept() {
    static Credentials credentials;
    return credentials;
}

std::wstring QueryText(HINTERNET request, DWORD option) {
    wchar_t value[256] = {};
    DWORD size = sizeof value - sizeof value[0];
    if (!::InternetQueryOptionW(request, option, value, &size)) return {};
    return value;
}

bool SetText(HINTERNET request, DWORD option, const std::wstring& text) {
    return ::InternetSetOptionW(request, option, const_cast<wchar_t*>(text.c_str()),
                                static_cast<DWORD>(text.size())) != FALSE;
}

DWORD StatusOf(HINTERNET request) {
    DWORD status = 0;
    DWORD size = sizeof status;
    ::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                     nullptr);
    return status;
}

// The proxy's 407 page, read to its end: the connection is then free to
// carry the request again (WinINet's own advice before a resend).
void DrainAnswer(HINTERNET request) {
    char buffer[4096];
    DWORD got = 0;
    for (int reads = 0; reads < 64; ++reads)  // a proxy's page is small; never read forever
        if (!::InternetReadFile(request, buffer, sizeof buffer, &got) || got == 0) return;
}

// Sends the request again; a connection the proxy closed after its 407 is
// worth one fresh try.
bool SendAgain(HINTERNET request) {
    DrainAnswer(request);
    if (::HttpSendRequestW(request, nullptr, 0, nullptr, 0)) return true;
    const DWORD error = ::GetLastError();
    if (error != ERROR_INTERNET_CONNECTION_ABORTED && error != ERROR_INTERNET_CONNECTION_RESET)
        return false;
    win::Diag(L"[Pelmora]Proxy closed the connection (" + std::to_wstring(error) +
              L"); sending once more\n");
    return ::HttpSendRequestW(request, nullptr, 0, nullptr, 0) != FALSE;
}

void LogRefused(DWORD status, bool hadCredentials) {
    win::Diag(L"[Pelmora]Proxy authentication required (" + std::to_wstring(status) + L"): " +
              (hadCredentials ? L"credentials refused" : L"no credentials") + L"\n");
}

}  // namespace

bool ProxyAsksForCredentials() { return proxyAsked.load(); }

HRESULT AnswerProxy(HINTERNET request, DWORD flags, DWORD& status) {
    if (status != HTTP_STATUS_PROXY_AUTH_REQ) return S_OK;
    proxyAsked = true;
    if (flags & INTERNET_FLAG_NO_AUTH) return S_FALSE;
    std::wstring user, password;
    {
        const std::lock_guard<std::mutex> guard(Kept().lock);
        user = Kept().user;
        password = Kept().password;
    }
    if (user.empty()) {
        LogRefused(status, false);
        return kDownloadProxyAuthRequired;
    }
    if (!SetText(request, INTERNET_OPTION_PROXY_USERNAME, user) ||
        !SetText(request, INTERNET_OPTION_PROXY_PASSWORD, password) || !SendAgain(request)) {
        const DWORD error = ::GetLastError();
        win::Diag(L"[Pelmora]Request to the proxy with credentials failed: " +
                  std::to_wstring(error) + L"\n");
        return error ? HRESULT_FROM_WIN32(error) : kDownloadProxyAuthRequired;
    }
    status = StatusOf(request);
    win::Diag(L"[Pelmora]Sent again with the proxy credentials: answer " +
              std::to_wstring(status) + L"\n");
    if (status != HTTP_STATUS_PROXY_AUTH_REQ) return S_OK;
    LogRefused(status, true);
    return kDownloadProxyAuthRequired;
}

bool AskProxyCredentials(HWND owner, const std::wstring& url, DWORD timeoutMs) {
    if (prompted.exchange(true)) return false;
    const win::InternetHandle session(
        ::InternetOpenW(L"Pelmora", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) return false;
    for (const DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                               INTERNET_OPTION_RECEIVE_TIMEOUT})
        ::InternetSetOptionW(session.get(), option, &timeoutMs, sizeof timeoutMs);
    // Its own request, never redirected, nothing kept: it only carries the prompt.
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                        INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_COOKIES |
                        INTERNET_FLAG_NO_AUTO_REDIRECT;
    const win::InternetHandle request(
        ::InternetOpenUrlW(session.get(), url.c_str(), nullptr, 0, flags, 0));
    if (!request) {
        win::Diag(L"[Pelmora]Proxy prompt: no answer (" + std::to_wstring(::GetLastError()) +
                  L")\n");
        return false;
    }
    if (StatusOf(request.get()) != HTTP_STATUS_PROXY_AUTH_REQ) return true;
    win::Diag(L"[Pelmora]Proxy asks for credentials: prompt shown\n");
    // The filter shows the proxy's prompt for a 407 only; a server's 401 never gets one.
    const DWORD answer = ::InternetErrorDlg(
        owner, request.get(), ERROR_INTERNET_INCORRECT_PASSWORD,
        FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_GENERATE_DATA |
            FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS,
        nullptr);
    if (answer != ERROR_INTERNET_FORCE_RETRY) {
        win::Diag(L"[Pelmora]Proxy prompt cancelled (" + std::to_wstring(answer) + L")\n");
        return false;
    }
    const std::wstring user = QueryText(request.get(), INTERNET_OPTION_PROXY_USERNAME);
    const std::wstring password = QueryText(request.get(), INTERNET_OPTION_PROXY_PASSWORD);
    if (user.empty()) {
        win::Diag(L"[Pelmora]Proxy prompt gave no user name\n");
        return false;
    }
    {
        const std::lock_guard<std::mutex> guard(Kept().lock);
        Kept().user = user;
        Kept().password = password;
    }
    proxyAsked = true;
    win::Diag(L"[Pelmora]Proxy credentials entered for this run\n");
    return true;
}

}  // namespace pelmora
