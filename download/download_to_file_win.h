// The one network operation: fetch the file at a URL into a local file, on a
// transfer thread, with an inactivity time-out and cancellation.
#pragma once
#include "download/progress_target.h"

#include <windows.h>

#include <string>

namespace pelmora {

// Result of DownloadToFile when no progress came for timeoutMs.
constexpr HRESULT kDownloadTimedOut = 1;

// Blocks until the file is complete (S_OK), the transfer failed (its
// HRESULT), the progress target cancelled (E_ABORT), or no progress came for
// `timeoutMs` (kDownloadTimedOut). `url` is URL-encoded first. `localPath`'s
// folder must exist; the file there is replaced only by a complete download,
// and any failure leaves it as it was. With `continueDownload` false the
// response comes from the server, never from a cache. With a progress
// target, `row` shows the percent and a cleared InstallActive() stops the
// transfer at its next notification; when the target's CancelEvent() is set,
// the call returns E_ABORT at once and the transfer, abandoned as on a
// time-out, never calls the target again.
HRESULT DownloadToFile(std::wstring url, std::wstring localPath, int row,
                       ProgressTarget* progressTarget, DWORD timeoutMs, bool continueDownload);

}  // namespace pelmora
