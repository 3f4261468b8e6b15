// One download as its caller and its transfer thread share it, and the only
// ways the transfer thread reaches the caller.
#pragma once
#include "download/transfer/progress_target.h"
#include "download/transfer/transfer_progress_win.h"
#include "trust/sha256.h"
#include "win/handles_win.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

namespace pelmora {

// Shared by the caller and the transfer thread. The thread holds its own
// reference, so a transfer the caller has given up on still finishes on valid
// memory and valid handles.
struct DownloadJob {
    bool continueDownload = false;
    win::Handle progressEvent;
    win::Handle doneEvent;
    std::wstring url;
    std::wstring localPath;
    HRESULT result = -1;
    int row = 0;
    ProgressTarget* progressTarget = nullptr;  // borrowed
    uint64_t maxBytes = 0;
    std::wstring partialPath;
    std::optional<Sha256Digest> expectedDigest;
    DWORD timeoutMs = 0;
    // Body bytes this call received so far, for the waiting side's rate floor.
    std::atomic<uint64_t> received{0};
    // Every effect of the transfer thread beyond its own temporary file (the
    // events, the progress target, `result`, the destination) happens under
    // this lock, and only while `abandoned` is clear.
    SRWLOCK lock = SRWLOCK_INIT;
    bool abandoned = false;
    bool finished = false;
};

class JobLock {
public:
    explicit JobLock(DownloadJob& job) noexcept : lock_(&job.lock) { ::AcquireSRWLockExclusive(lock_); }
    ~JobLock() { ::ReleaseSRWLockExclusive(lock_); }
    JobLock(const JobLock&) = delete;
    JobLock& operator=(const JobLock&) = delete;

private:
    SRWLOCK* lock_;
};

// Hands one report to the progress unless the caller has given up.
// Anything but S_OK stops the transfer.
HRESULT Notify(DownloadJob& job, TransferProgress& progress, uint64_t received,
               std::optional<uint64_t> length);

// Tells the waiting caller that work goes on where no network notification
// comes: a long hash is progress, never a stall. False once the caller gave
// up or the user cancelled.
bool SignalWorking(DownloadJob& job);

}  // namespace pelmora
