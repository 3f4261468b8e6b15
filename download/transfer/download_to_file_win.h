// The one network operation: fetch the file at a URL into a local file, on a
// transfer thread, with an inactivity time-out and cancellation.
#pragma once
#include "download/transfer/download_result_win.h"
#include "download/transfer/progress_target.h"
#include "download/transfer/rate_floor.h"
#include "trust/sha256.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace pelmora {

// What a caller may ask beyond a plain fetch.
struct DownloadOptions {
    // A body larger than this fails with kDownloadTooLarge; 0: no limit.
    uint64_t maxBytes = 0;
    // Where the body collects until it is complete. An earlier attempt's
    // partial body there is continued (a Range request guarded by If-Range)
    // rather than fetched again; empty: a fresh temporary file each time.
    std::wstring partialPath;
    // The complete file must have this digest, or it is removed and the
    // result is kDownloadDigestMismatch.
    std::optional<Sha256Digest> expectedDigest;
    // Besides the inactivity time-out: below this average rate, once its
    // grace has passed, the call returns kDownloadTooSlow and the transfer is
    // abandoned as on a time-out. None by default.
    RateFloor rateFloor;
};

// Blocks until the file is complete (S_OK), the transfer failed (its
// HRESULT), the progress target cancelled (E_ABORT), no progress came for
// `timeoutMs` (kDownloadTimedOut), or the body came slower than the options'
// rate floor (kDownloadTooSlow). `url` is URL-encoded first. `localPath`'s
// folder must exist; the file there is replaced only by a complete download,
// and any failure leaves it as it was. With `continueDownload` false the
// response comes from the server, never from a cache. With a progress
// target, `row` shows the percent and a cleared InstallActive() stops the
// transfer at its next notification; when the target's CancelEvent() is set,
// the call returns E_ABORT at once and the transfer, abandoned as on a
// time-out, never calls the target again. Every failure leaves a log line
// naming the URL and the reason.
HRESULT DownloadToFile(std::wstring url, std::wstring localPath, int row,
                       ProgressTarget* progressTarget, DWORD timeoutMs, bool continueDownload);
HRESULT DownloadToFile(std::wstring url, std::wstring localPath, int row,
                       ProgressTarget* progressTarget, DWORD timeoutMs, bool continueDownload,
                       const DownloadOptions& options);

// Where the partial body of `localPath` is kept between attempts.
inline std::wstring PartialDownloadPath(const std::wstring& localPath) {
    return localPath + L".partial";
}
// The file beside a partial body that names the server's version of it.
std::wstring ResumeValidatorPath(const std::wstring& partialPath);

}  // namespace pelmora
