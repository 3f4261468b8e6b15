#include "download/transfer/http_request_win.h"

#include "download/transfer/download_result_win.h"
#include "download/transfer/http_response.h"
#include "download/transfer/proxy_credentials_win.h"
#include "win/diagnostics_win.h"
#include "win/text_win.h"

#include <mutex>
#include <string_view>

namespace pelmora {
namespace {

// Redirects followed for one fetch; a loop ends here.
constexpr int kMaxRedirects = 5;
// An abandoned request keeps its connection until the server lets go, and
// later downloads from that server must not queue behind it.
constexpr DWORD kConnectionsPerServer = 16;

// A request that could not be opened. A refused certificate is a failure like
// any other, and the log names the check that refused it: that is what the
// server's administrator has to fix.
HRESULT OpenFailed(const std::wstring& url) {
    const DWORD error = ::GetLastError();
    const HRESULT result = LastErrorResult();
    if (const std::string_view name = CertificateErrorName(error); !name.empty())
        win::Diag(L"[Pelmora]Certificate refused (" + win::FromUtf8(name) + L" " +
                  std::to_wstring(error) + L"): " + url + L"\n");
    else
        win::Diag(L"[Pelmora]Request failed (error " + std::to_wstring(error) + L"): " + url +
                  L"\n");
    return result;
}

// Where the redirect of `url` to `location` leads, in `next`; otherwise why
// it is not followed.
const wchar_t* ResolveRedirect(const std::wstring& url, const std::wstring& location,
                               std::wstring& next) {
    if (location.empty()) return L"no location";
    // Checked before combining: Wine's InternetCombineUrlW can return a cut
    // URL instead of failing for lack of room.
    if (location.size() >= INTERNET_MAX_URL_LENGTH) return L"longer than a URL may be";
    // Relative locations are resolved against the URL that answered.
    next.assign(INTERNET_MAX_URL_LENGTH, L'\0');
    DWORD length = INTERNET_MAX_URL_LENGTH;
    if (!::InternetCombineUrlW(url.c_str(), location.c_str(), next.data(), &length,
                               ICU_NO_ENCODE))
        return ::GetLastError() == ERROR_INSUFFICIENT_BUFFER ? L"longer than a URL may be"
                                                             : L"not a URL";
    next.resize(length);
    if (!RedirectAllowed(win::ToU16(url), win::ToU16(next))) return L"scheme or downgrade";
    return nullptr;
}

}  // namespace

void AllowConnectionsPerServer() {
    static std::once_flag once;
    std::call_once(once, [] {
        DWORD connections = kConnectionsPerServer;
        ::InternetSetOptionW(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &connections,
                             sizeof connections);
        ::InternetSetOptionW(nullptr, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &connections,
                             sizeof connections);
    });
}

RequestPlan PlanRequest(bool continueDownload) {
    // No dialogs from a transfer thread: a certificate that WinINet refuses
    // fails the request instead of asking. The checks themselves stay as the
    // system has them; no INTERNET_FLAG_IGNORE_CERT_* flag or
    // SECURITY_FLAG_IGNORE_* option is ever set.
    RequestPlan plan;
    plan.flags = INTERNET_FLAG_NO_UI;
    // A compressed body would be saved as the file: ask for the file as it is.
    plan.headers = L"Accept-Encoding: identity\r\n";
    if (!continueDownload) {
        plan.flags |=
            INTERNET_FLAG_RELOAD | INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_CACHE_WRITE;
        plan.headers += L"Cache-Control: no-cache\r\n";
    }
    return plan;
}

HRESULT OpenRequest(HINTERNET session, std::wstring url, const std::wstring& headers, DWORD flags,
                    win::InternetHandle& request, DWORD& status) {
    flags |= INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTH;
    for (int hop = 0;; ++hop) {
        DWORD hopFlags = flags;
        bool integratedTried = false;
        for (;;) {
            request.reset(::InternetOpenUrlW(session, url.c_str(), headers.c_str(),
                                             static_cast<DWORD>(headers.size()), hopFlags, 0));
            if (!request) return OpenFailed(url);
            DWORD size = sizeof status;
            if (!::HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                                  &status, &size, nullptr))
                return LastErrorResult();
            const HRESULT proxy = AnswerProxy(request.get(), hopFlags, integratedTried, status);
            if (proxy == S_OK) break;
            if (proxy != S_FALSE) return proxy;  // S_FALSE: opened again with hopFlags
        }
        if (!IsRedirectStatus(status)) return S_OK;
        const std::wstring location = HeaderText(request.get(), HTTP_QUERY_LOCATION);
        std::wstring next;
        const wchar_t* refusal =
            hop >= kMaxRedirects ? L"too many" : ResolveRedirect(url, location, next);
        if (refusal) {
            win::Diag(L"[Pelmora]Redirect refused (" + std::wstring(refusal) + L"): " + url +
                      L" -> " + location + L"\n");
            return kDownloadBadRedirect;
        }
        win::Diag(L"[Pelmora]Redirected (" + std::to_wstring(status) + L", " +
                  std::to_wstring(location.size()) + L" characters): " + url + L" -> " + next +
                  L"\n");
        url = std::move(next);
    }
}

std::wstring HeaderText(HINTERNET request, DWORD query) {
    DWORD size = 0;
    if (::HttpQueryInfoW(request, query, nullptr, &size, nullptr) ||
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0)
        return {};
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (!::HttpQueryInfoW(request, query, value.data(), &size, nullptr)) return {};
    value.resize(size / sizeof(wchar_t));
    return value;
}

std::optional<uint64_t> ContentLength(HINTERNET request) {
    wchar_t value[64] = {};
    DWORD size = sizeof value - sizeof value[0];
    if (!::HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, value, &size, nullptr))
        return std::nullopt;
    const std::wstring_view text(value, size / sizeof value[0]);
    return ParseContentLength(std::u16string_view(
        reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

}  // namespace pelmora
