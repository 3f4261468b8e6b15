#include "download/worker/package_worker.h"

#include "download/worker/package_files.h"

#include <utility>

namespace pelmora {

bool ReportQueue::Push(const WorkerReport& report) {
    const std::lock_guard<std::mutex> guard(mutex_);
    reports_.push_back(report);
    if (wakeUpPending_) return false;
    wakeUpPending_ = true;
    return true;
}

std::vector<WorkerReport> ReportQueue::Drain() {
    const std::lock_guard<std::mutex> guard(mutex_);
    std::vector<WorkerReport> reports(reports_.begin(), reports_.end());
    reports_.clear();
    wakeUpPending_ = false;
    return reports;
}

void ReportQueue::WakeUpLost() {
    const std::lock_guard<std::mutex> guard(mutex_);
    wakeUpPending_ = false;
}

bool IsDiskFullResult(int32_t result) {
    constexpr uint32_t kHandleDiskFull = 0x80070027u;  // ERROR_HANDLE_DISK_FULL
    constexpr uint32_t kDiskFull = 0x80070070u;        // ERROR_DISK_FULL
    const auto code = static_cast<uint32_t>(result);
    return code == kHandleDiskFull || code == kDiskFull;
}

void RunPackageJobs(std::vector<PackageJob> jobs, PackageWorkerHost& host) {
    for (PackageJob& job : jobs) {
        for (int retry = 0;; ++retry) {
            if (host.Cancelled()) return;
            const std::u16string url = PackageUrl(job.folderUrl, job.setupFile);
            // A folder that cannot be written is not mended by asking again.
            if (const uint32_t error = host.MakeProgramFolder(job.name); error != 0) {
                host.Report(ReportKind::FolderNotWritable, job.row, static_cast<int>(error));
                return;
            }
            host.Report(ReportKind::Downloading, job.row, retry);
            const int32_t result =
                host.Download(job, url, InstallerFileName(job.setupFile, retry));
            // Also after a failure, so that the next attempt at this version
            // may continue from what the cache kept.
            host.WriteVersionFile(job.name, job.serverVersion);
            job.versionMatches = true;
            if (IsDiskFullResult(result)) {
                host.Report(ReportKind::FolderNotWritable, job.row,
                            static_cast<int>(static_cast<uint32_t>(result) & 0xFFFFu));
                return;
            }
            if (result == kTransferOk) {
                host.Report(ReportKind::Downloaded, job.row, retry);
                break;
            }
            if (result == kTransferAborted) {
                if (!host.Cancelled()) host.Report(ReportKind::DownloadFailed, job.row, retry);
                return;
            }
            if (!host.AskRetry(job.row)) return;
        }
    }
    host.Report(ReportKind::AllRowsPassed, -1, 0);
}

}  // namespace pelmora
