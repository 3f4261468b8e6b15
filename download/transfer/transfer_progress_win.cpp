#include "download/transfer/transfer_progress_win.h"

#include "download/transfer/progress_percent.h"

namespace pelmora {

HRESULT TransferProgress::Report(uint64_t received, uint64_t total) {
    if (progressTarget_) {
        const ProgressCounts counts = ScaleProgress(received, total);
        const int percent = ProgressPercent(counts.progress, counts.total);
        // At most one list update per distinct percent, however many notifications.
        if (percent != lastPercent_) {
            lastPercent_ = percent;
            progressTarget_->ShowRowProgress(row_, percent);
        }
    }
    ::SetEvent(progressEvent_);  // restarts the caller's inactivity time-out
    return progressTarget_ && !progressTarget_->InstallActive() ? E_ABORT : S_OK;
}

}  // namespace pelmora
