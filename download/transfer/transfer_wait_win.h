// The caller's wait for its transfer: it ends on time when the transfer does
// not, and what it gives up on can no longer reach the caller.
#pragma once
#include "download/transfer/download_job_win.h"
#include "download/transfer/rate_floor.h"

#include <windows.h>

#include <optional>

namespace pelmora {

// Waits for the transfer to end, restarting the inactivity time-out at every
// progress notification and waking when the rate floor could be crossed.
// nullopt when it ended (its result is the job's); otherwise why it was given
// up. The user's cancel wakes the wait too: a stalled server sends no
// notification that could carry it.
std::optional<HRESULT> WaitForTransfer(DownloadJob& job, HANDLE cancel, DWORD timeoutMs,
                                       const RateFloor& floor);

}  // namespace pelmora
