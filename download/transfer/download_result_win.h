// Every result a download can end with, for transfer, sync and worker alike.
// 0 is success, 1 the inactivity time-out and E_ABORT cancelled; every other
// value is a failure that DownloadFailureText puts in words for the log.
#pragma once
#include <windows.h>
#include <wininet.h>
#include <wintrust.h>

namespace pelmora {

constexpr HRESULT Win32Failure(DWORD error) {
    return static_cast<HRESULT>(0x80070000u | (error & 0xFFFFu));
}

// The calling thread's last error as a result: never 0, 1 or E_ABORT, which
// mean success, time-out and cancel.
inline HRESULT LastErrorResult() {
    const DWORD error = ::GetLastError();
    return error == ERROR_SUCCESS ? INET_E_DOWNLOAD_FAILURE : HRESULT_FROM_WIN32(error);
}

// No progress came for the whole time-out.
constexpr HRESULT kDownloadTimedOut = 1;
// The body came slower than the caller's least average rate (a trickle).
constexpr HRESULT kDownloadTooSlow = Win32Failure(ERROR_TIMEOUT);
// The body had not arrived whole by the caller's deadline.
constexpr HRESULT kDownloadPastDeadline = Win32Failure(ERROR_SEM_TIMEOUT);
// The body was larger than the caller allows.
constexpr HRESULT kDownloadTooLarge = Win32Failure(ERROR_FILE_TOO_LARGE);
// The complete file does not have the digest the caller expects.
constexpr HRESULT kDownloadDigestMismatch = Win32Failure(323);  // ERROR_DATA_CHECKSUM_ERROR
// The server sent the body compressed (or otherwise encoded), not as the file.
constexpr HRESULT kDownloadEncodedBody = Win32Failure(ERROR_UNSUPPORTED_TYPE);
// Fewer body bytes arrived than the answer announced.
constexpr HRESULT kDownloadCutShort = Win32Failure(ERROR_HANDLE_EOF);
// A redirect to another scheme, from https down to http, or too many of them.
constexpr HRESULT kDownloadBadRedirect = Win32Failure(12156);  // ERROR_HTTP_REDIRECT_FAILED
// The proxy still wants credentials (407).
constexpr HRESULT kDownloadProxyAuthRequired = Win32Failure(ERROR_INTERNET_INCORRECT_PASSWORD);
// A parallel item that was not fetched: its host timed out before, or the
// window is closing.
constexpr HRESULT kFetchSkipped = E_ABORT;

// The release manifest's signature is missing, or not the maker's.
constexpr HRESULT kSignatureMissing = TRUST_E_NOSIGNATURE;
constexpr HRESULT kSignatureInvalid = TRUST_E_BAD_DIGEST;
// A signed manifest older than one accepted before, or past its date.
constexpr HRESULT kReleaseNotFresh = CERT_E_EXPIRED;
// A signed manifest that does not read.
constexpr HRESULT kReleaseUnreadable = Win32Failure(ERROR_INVALID_DATA);
// The URL has no entry in the manifest (or no manifest was accepted): it is
// not requested.
constexpr HRESULT kNotInRelease = TRUST_E_SUBJECT_NOT_TRUSTED;

}  // namespace pelmora
