#include "download/transfer/download_job_win.h"

namespace pelmora {

HRESULT Notify(DownloadJob& job, TransferProgress& progress, uint64_t received,
               std::optional<uint64_t> length) {
    const JobLock guard(job);
    if (job.abandoned) return E_ABORT;
    return progress.Report(received, length.value_or(0));
}

bool SignalWorking(DownloadJob& job) {
    const JobLock guard(job);
    if (job.abandoned || (job.progressTarget && !job.progressTarget->InstallActive())) return false;
    ::SetEvent(job.progressEvent.get());
    return true;
}

}  // namespace pelmora
