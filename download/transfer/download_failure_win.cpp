#include "download/transfer/download_failure_win.h"

#include "download/transfer/download_result_win.h"
#include "download/transfer/http_response.h"
#include "win/text_win.h"

#include <cwchar>

namespace pelmora {
namespace {

constexpr uint32_t kHttpFacility = 0x8019;
constexpr uint32_t kWin32Facility = 0x8007;

std::wstring Hex(HRESULT result) {
    wchar_t text[16];
    swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(result));
    return text;
}

// Names for the WinINet errors a user meets most, where the system has no text.
const wchar_t* WinInetName(DWORD error) {
    switch (error) {
    case 12002: return L"the connection timed out";
    case 12007: return L"the server name could not be resolved";
    case 12029: return L"no connection could be made to the server";
    case 12030: return L"the connection was aborted";
    case 12031: return L"the connection was reset";
    case 12152: return L"the server's answer could not be read";
    case 12157: return L"the secure channel failed";
    case 12175: return L"the secure channel failed";
    default: return nullptr;
    }
}

std::wstring ErrorText(DWORD error) {
    std::wstring text = L"error " + std::to_wstring(error);
    if (const std::string_view name = CertificateErrorName(error); !name.empty())
        return text + L" (" + win::FromUtf8(name) + L", the server's certificate was refused)";
    std::wstring words = win::EnglishErrorText(error);
    if (words.empty() && WinInetName(error)) words = WinInetName(error);
    return words.empty() ? text : text + L": " + words;
}

}  // namespace

bool IsLocalWriteFailure(HRESULT result) {
    if (static_cast<uint32_t>(result) >> 16 != kWin32Facility) return false;
    switch (HRESULT_CODE(result)) {
    case ERROR_PATH_NOT_FOUND:
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL:
    case ERROR_ALREADY_EXISTS:
    case ERROR_DIRECTORY:
    case ERROR_CANT_ACCESS_FILE:  // a link below the shared folder
        return true;
    default:
        return false;
    }
}

std::wstring DownloadFailureText(HRESULT result, DWORD timeoutMs, uint64_t maxBytes) {
    const auto code = static_cast<uint32_t>(result);
    switch (result) {
    case S_OK: return L"no failure";
    case kDownloadTimedOut:
        return L"no progress for " + std::to_wstring(timeoutMs) + L" ms (timed out)";
    case E_ABORT: return L"cancelled";
    case kDownloadTooSlow:
        return L"too slow (the average rate stayed below the least allowed after the grace time)";
    case kDownloadPastDeadline: return L"not complete by its deadline (too slow for its size)";
    case E_OUTOFMEMORY: return L"out of memory";
    case kDownloadTooLarge:
        return maxBytes ? L"the body is larger than the cap of " + std::to_wstring(maxBytes) +
                              L" bytes"
                        : L"the body is larger than allowed";
    case kDownloadCutShort: return L"the body was cut short (fewer bytes than announced)";
    case kDownloadDigestMismatch: return L"the file does not have the expected SHA-256 digest";
    case kDownloadEncodedBody: return L"the server sent the body encoded, not as the file";
    case kDownloadBadRedirect:
        return L"a redirect that is not followed (scheme, downgrade or loop)";
    case kSignatureMissing: return L"trust refused it: the release's signature is missing";
    case kSignatureInvalid: return L"trust refused it: the release's signature is not the maker's";
    case kReleaseNotFresh: return L"trust refused it: the release is not fresh (replayed or expired)";
    case kReleaseUnreadable: return L"trust refused it: the release manifest does not read";
    case kNotInRelease: return L"trust refused it: the signed release does not list it";
    case kDownloadProxyAuthRequired:
        return L"the proxy asks for credentials (407) that were not given or not taken";
    case INET_E_DOWNLOAD_FAILURE: return L"the transfer failed without an error code";
    default: break;
    }
    if (code >> 16 == kHttpFacility) return L"HTTP status " + std::to_wstring(code & 0xFFFFu);
    if (code >> 16 == kWin32Facility) return ErrorText(code & 0xFFFFu);
    return L"result " + Hex(result);
}

}  // namespace pelmora
