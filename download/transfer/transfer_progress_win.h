// Where a transfer reports its progress. Every report restarts the caller's
// inactivity time-out; with a progress target it also shows the percent in a
// list row and carries the user's cancel back to the transfer as E_ABORT.
#pragma once
#include "download/transfer/progress_target.h"

#include <windows.h>

#include <cstdint>

namespace pelmora {

class TransferProgress {
public:
    // `progressEvent` is borrowed from the job; `progressTarget` may be null.
    TransferProgress(HANDLE progressEvent, ProgressTarget* progressTarget, int row) noexcept
        : progressEvent_(progressEvent), progressTarget_(progressTarget), row_(row) {}

    // `received` of `total` bytes (0: unknown). S_OK, or E_ABORT once the
    // install run is no longer active.
    HRESULT Report(uint64_t received, uint64_t total);

private:
    HANDLE progressEvent_;
    ProgressTarget* progressTarget_;  // borrowed: the window that shows the row
    int row_;
    int lastPercent_ = 0;  // the row already shows 0 % when a download starts
};

}  // namespace pelmora
