// The package worker on its own thread and the state it shares
// with the window thread. The window thread owns the records and the list;
// the worker gets its jobs at Start and talks back only through the run's
// report queue, a posted wake-up message, and the answer to its question.
#pragma once
#include "download/release/release_check_win.h"
#include "download/transfer/progress_target.h"
#include "download/worker/package_worker.h"
#include "download/transfer/progress_target.h"
#include "download/worker/thread_launcher_win.h"
#include "win/handles_win.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace pelmora {

// One install run, shared by the window thread and the worker (and, through
// the progress target, the worker's transfers). It outlives both: whichever
// lets go last frees it, so nothing the worker touches can go away under it.
class PackageRun final : public ProgressTarget {
  public:
    // Null when its events cannot be made. `window` gets `reportMessage`
    // (wParam: the run's number) when reports are waiting.
    static std::shared_ptr<PackageRun> Make(unsigned number, HWND window, UINT reportMessage);

    unsigned Number() const noexcept { return number_; }

    // Window thread.
    void Cancel() noexcept { ::SetEvent(cancel_.get()); }
    std::vector<WorkerReport> Drain() { return queue_.Drain(); }
    void Answer(bool yes) noexcept;

    // Worker thread.
    bool Cancelled() const noexcept;
    void Report(ReportKind kind, int row, int value);
    // Waits for Answer or Cancel; true only for a Yes.
    bool WaitForAnswer() noexcept;

    // ProgressTarget, called by the worker's transfers: progress becomes a
    // report, and the cancel event stops a transfer at once.
    bool InstallActive() const override { return !Cancelled(); }
    void ShowRowProgress(int row, int percent) override;
    void* CancelEvent() const override { return cancel_.get(); }

  private:
    PackageRun(unsigned number, HWND window, UINT reportMessage) noexcept
        : number_(number), window_(window), reportMessage_(reportMessage) {}

    const unsigned number_;
    const HWND window_;   // borrowed; a post to a window that is gone fails harmlessly
    const UINT reportMessage_;
    win::Handle cancel_;  // manual reset
    win::Handle answered_;  // auto reset
    std::atomic<bool> answer_{false};
    ReportQueue queue_;
};

// Starts the worker on `launcher` for `jobs`, with files below `workFolder`
// and `release` (null without the maker's key). False when no thread was
// started.
bool StartPackageWorker(CThreadLauncher& launcher, std::shared_ptr<PackageRun> run,
                        std::vector<PackageJob> jobs, std::wstring workFolder,
                        std::shared_ptr<ReleaseCheck> release, DWORD previousWaitMs);

}  // namespace pelmora
