#include "download/url/base_url_win.h"

#include "download/url/base_url.h"
#include "win/diagnostics_win.h"
#include "win/text_win.h"

#include <windows.h>

namespace pelmora {
namespace {
std::wstring g_baseUrl = PELMORA_DEFAULT_BASE_URL;
}

void InitBaseUrl() {
    wchar_t buffer[2048] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"PELMORA_BASE_URL", buffer, 2048);
    if (n == 0) return;
    const std::wstring value = n < 2048 ? std::wstring(buffer, n) : std::wstring();
    if (IsBaseUrl(win::ToU16(value))) {
        g_baseUrl = value;
        win::Diag(L"[Pelmora]Base URL from PELMORA_BASE_URL: " + g_baseUrl + L"\n");
    } else {
        win::Diag(L"[Pelmora]PELMORA_BASE_URL ignored "
                  L"(not an http or https URL ending in /tools/): " + value + L"\n");
    }
}

const std::wstring& BaseUrl() { return g_baseUrl; }

}  // namespace pelmora
