#include "download/url/base_url_win.h"

#include "download/url/base_url.h"
#include "win/diagnostics_win.h"
#include "win/text_win.h"

#include <windows.h>

namespace pelmora {

std::wstring ReadBaseUrl() {
    wchar_t buffer[2048] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"PELMORA_BASE_URL", buffer, 2048);
    if (n == 0) return PELMORA_DEFAULT_BASE_URL;
    const std::wstring value = n < 2048 ? std::wstring(buffer, n) : std::wstring();
    if (IsBaseUrl(win::ToU16(value))) {
        win::Diag(L"[Pelmora]Base URL from PELMORA_BASE_URL: " + value + L"\n");
        return value;
    }
    win::Diag(L"[Pelmora]PELMORA_BASE_URL ignored "
              L"(not an http or https URL ending in /tools/): " + value + L"\n");
    return PELMORA_DEFAULT_BASE_URL;
}

}  // namespace pelmora
