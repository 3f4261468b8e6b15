#include "download/transfer/proxy_credentials_win.h"

#include "download/transfer/http_response.h"
#include "win/diagnostics_win.h"
#include "win/handles_win.h"
#include "win/text_win.h"

#include <wincrypt.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

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

// Whether this request went through a proxy (its bypass list taken into
// account): a 407 from anywhere else is a server asking for what belongs to
// the proxy.
bool ThroughProxy(HINTERNET request) {
    INTERNET_DIAGNOSTIC_SOCKET_INFO info{};
    DWORD size = sizeof info;
    return ::InternetQueryOptionW(request, INTERNET_OPTION_DIAGNOSTIC_SOCKET_INFO, &info, &size) &&
           (info.Flags & IDSI_FLAG_PROXY);
}

// The proxy's Proxy-Authenticate values.
std::vector<std::u16string> ProxyOffers(HINTERNET request) {
    std::vector<std::u16string> offers;
    std::vector<wchar_t> value(256);
    for (DWORD index = 0; offers.size() < 16;) {
        DWORD size = static_cast<DWORD>((value.size() - 1) * sizeof(wchar_t));
        const DWORD asked = index;
        if (::HttpQueryInfoW(request, HTTP_QUERY_PROXY_AUTHENTICATE, value.data(), &size, &index)) {
            offers.push_back(win::ToU16(std::wstring(value.data())));
        } else if (::GetLastError() == ERROR_INSUFFICIENT_BUFFER &&
                   size / sizeof(wchar_t) + 2 > value.size() && value.size() < 65536) {
            value.assign(size / sizeof(wchar_t) + 2, L'\0');
            index = asked;
        } else {
            return offers;
        }
    }
    return offers;
}

// "Proxy-Authorization: Basic <base64 of user:password in UTF-8>"; empty on failure.
std::wstring BasicHeader(const std::wstring& user, const std::wstring& password) {
    const std::string pair = win::ToUtf8(user + L":" + password);
    const auto* bytes = reinterpret_cast<const BYTE*>(pair.data());
    const DWORD flags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
    DWORD length = 0;
    if (!::CryptBinaryToStringW(bytes, static_cast<DWORD>(pair.size()), flags, nullptr, &length))
        return {};
    std::wstring encoded(length, L'\0');
    if (!::CryptBinaryToStringW(bytes, static_cast<DWORD>(pair.size()), flags, encoded.data(),
                                &length))
        return {};
    encoded.resize(length);
    return L"Proxy-Authorization: Basic " + encoded + L"\r\n";
}

}  // namespace

bool ProxyAsksForCredentials() { return proxyAsked.load(); }

HRESULT AnswerProxy(HINTERNET request, DWORD& flags, bool& integratedTried, DWORD& status) {
    if (status != HTTP_STATUS_PROXY_AUTH_REQ) return S_OK;
    if (!ThroughProxy(request)) {
        win::Diag(L"[Pelmora]A server (no proxy is in use for it) asked for proxy credentials "
                  L"(407): none are given\n");
        return kDownloadProxyAuthRequired;
    }
    proxyAsked = true;
    const ProxyAnswer answer = ChooseProxyAnswer(ProxyOffers(request), integratedTried);
    if (answer == ProxyAnswer::Integrated) {
        win::Diag(L"[Pelmora]Proxy offers Negotiate or NTLM: answered with the logged-on user\n");
        integratedTried = true;
        flags &= ~INTERNET_FLAG_NO_AUTH;  // this request only
        return S_FALSE;
    }
    std::wstring user, password;
    {
        const std::lock_guard<std::mutex> guard(Kept().lock);
        user = Kept().user;
        password = Kept().password;
    }
    if (user.empty() || answer != ProxyAnswer::Basic) {
        LogRefused(status, !user.empty());
        return kDownloadProxyAuthRequired;
    }
    if (!(flags & INTERNET_FLAG_NO_AUTH)) {
        flags |= INTERNET_FLAG_NO_AUTH;  // the logged-on user was refused: Basic, with the flag
        return S_FALSE;
    }
    // Pelmora answers the proxy itself: the request keeps
    // INTERNET_FLAG_NO_AUTH, so WinINet never answers a server's 401.
    const std::wstring header = BasicHeader(user, password);
    if (header.empty() ||
        !::HttpAddRequestHeadersW(request, header.c_str(), static_cast<DWORD>(header.size()),
                                  HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE) ||
        !SendAgain(request)) {
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
                        INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_AUTH;
    const win::InternetHandle request(
        ::InternetOpenUrlW(session.get(), url.c_str(), nullptr, 0, flags, 0));
    if (!request) {
        win::Diag(L"[Pelmora]Proxy prompt: no answer (" + std::to_wstring(::GetLastError()) +
                  L")\n");
        return false;
    }
    if (StatusOf(request.get()) != HTTP_STATUS_PROXY_AUTH_REQ) return true;
    if (!ThroughProxy(request.get())) {
        win::Diag(L"[Pelmora]A server (no proxy is in use for it) asked for proxy credentials "
                  L"(407): no prompt\n");
        return false;
    }
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
