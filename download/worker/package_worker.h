// The package worker's decisions, free of Windows: which file each
// attempt fetches, the version file after every attempt, retries while the
// user says Yes, and when the run stops. The worker reads nothing the window
// owns: it gets its jobs at Start and tells the window what changed through
// reports, which the window thread applies to the records and the list.
#pragma once
#include "trust/sha256.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace pelmora {

// DownloadToFile's results as the worker tells them apart (E_ABORT: cancelled).
constexpr int32_t kTransferOk = 0;
constexpr int32_t kTransferAborted = static_cast<int32_t>(0x80004004u);

// One ticked row, as the window thread saw it at Start.
struct PackageJob {
    int row = 0;
    std::u16string name;  // English name: the program's folder (a safe file name)
    std::u16string serverVersion;
    std::u16string folderUrl;  // the catalogue's folder for the current server region
    std::u16string setupFile;
    bool versionMatches = false;  // the downloaded version.txt equals serverVersion
    std::optional<Sha256Digest> expectedDigest;  // the catalogue's, for setupFile
};

enum class ReportKind : std::uint8_t {
    Downloading,     // value: the retry number of this attempt
    Progress,        // value: percent
    Downloaded,      // value: the retry number of the file that arrived
    AskRetry,        // the worker waits for the answer to message 2035
    DownloadFailed,  // message 2033; the worker has stopped
    AllRowsPassed,   // every job was passed: the Cancel button becomes "Back"
    FolderNotWritable,  // value: the Win32 error; message 2051; the worker has stopped
};

struct WorkerReport {
    unsigned run = 0;  // the install run that made it
    ReportKind kind = ReportKind::Progress;
    int row = -1;
    int value = 0;
};

// Reports on their way from the worker to the window thread. Push tells the
// caller when the reader needs a wake-up (the first report since the last
// Drain), so a burst of reports costs one notification.
class ReportQueue {
  public:
    bool Push(const WorkerReport& report);
    std::vector<WorkerReport> Drain();
    // The wake-up could not be delivered: the next Push asks again.
    void WakeUpLost();

  private:
    std::mutex mutex_;
    std::deque<WorkerReport> reports_;
    bool wakeUpPending_ = false;
};

// What the worker needs from its surroundings; the Windows worker binds it to
// DownloadToFile, the local root and the window's report queue.
class PackageWorkerHost {
  public:
    virtual ~PackageWorkerHost() = default;
    virtual bool Cancelled() = 0;
    // Makes the downloaded_program folder and the program's folder in it;
    // ERROR_SUCCESS (0) when files can be made there, else the Win32 error.
    virtual uint32_t MakeProgramFolder(const std::u16string& name) = 0;
    // Fetches `url` into `fileName` in the job's program folder with its row's
    // progress, continuing what an earlier attempt left and checking the
    // job's digest; kTransferOk, kTransferAborted or another failure.
    virtual int32_t Download(const PackageJob& job, const std::u16string& url,
                             const std::u16string& fileName) = 0;
    virtual void WriteVersionFile(const std::u16string& name, const std::u16string& version) = 0;
    virtual void Report(ReportKind kind, int row, int value) = 0;
    // Reports AskRetry and waits for the answer: true for Yes; false for No
    // and when the run is cancelled meanwhile.
    virtual bool AskRetry(int row) = 0;
};

// A failed download whose cause is the local disk being full: no retry helps
// until the user makes room, so it is reported as a local fault.
bool IsDiskFullResult(int32_t result);

// The worker's body: the jobs in order, then AllRowsPassed unless it stopped
// early (cancel, a No, or a cancel-like failure).
void RunPackageJobs(std::vector<PackageJob> jobs, PackageWorkerHost& host);

}  // namespace pelmora
