#include "download/worker/package_worker_win.h"

#include "download/worker/installer_fetch_win.h"
#include "win/diagnostics_win.h"
#include "win/text_win.h"

#include <utility>

namespace pelmora {
namespace {

// Start's front-end of the installer fetch: the run's cancel, its report
// queue, and the retry question answered on the window thread.
class WorkerHost final : public InstallerFetch {
  public:
    WorkerHost(PackageRun& run, std::wstring workFolder, std::shared_ptr<ReleaseCheck> release)
        : InstallerFetch(std::move(workFolder), std::move(release), &run), run_(run) {}

    bool Cancelled() override { return run_.Cancelled(); }
    void Report(ReportKind kind, int row, int value) override { run_.Report(kind, row, value); }
    bool AskRetry(int row) override {
        run_.Report(ReportKind::AskRetry, row, 0);
        return run_.WaitForAnswer();
    }

  private:
    PackageRun& run_;
};

}  // namespace

std::shared_ptr<PackageRun> PackageRun::Make(unsigned number, HWND window, UINT reportMessage) {
    std::shared_ptr<PackageRun> run(
        new (std::nothrow) PackageRun(number, window, reportMessage));
    if (!run) return nullptr;
    run->cancel_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    run->answered_.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!run->cancel_ || !run->answered_) return nullptr;
    return run;
}

void PackageRun::Answer(bool yes) noexcept {
    answer_ = yes;
    ::SetEvent(answered_.get());
}

bool PackageRun::Cancelled() const noexcept {
    return ::WaitForSingleObject(cancel_.get(), 0) == WAIT_OBJECT_0;
}

void PackageRun::Report(ReportKind kind, int row, int value) {
    if (!queue_.Push(WorkerReport{number_, kind, row, value})) return;
    // Posted, never sent: the window thread may be busy, and never waits for us.
    if (!::PostMessageW(window_, reportMessage_, number_, 0)) queue_.WakeUpLost();
}

bool PackageRun::WaitForAnswer() noexcept {
    const HANDLE events[] = {cancel_.get(), answered_.get()};
    const DWORD wait = ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
    return wait == WAIT_OBJECT_0 + 1 && answer_ && !Cancelled();
}

void PackageRun::ShowRowProgress(int row, int percent) {
    Report(ReportKind::Progress, row, percent);
}

bool StartPackageWorker(CThreadLauncher& launcher, std::shared_ptr<PackageRun> run,
                        std::vector<PackageJob> jobs, std::wstring workFolder,
                        std::shared_ptr<ReleaseCheck> release, DWORD previousWaitMs) {
    if (!run) return false;
    try {
        return launcher.Start(
            [run, jobs = std::move(jobs), workFolder = std::move(workFolder),
             release = std::move(release)]() mutable {
                win::Diag(L"[Pelmora]Package worker of run " + std::to_wstring(run->Number()) +
                          L" starts with " + std::to_wstring(jobs.size()) + L" programs\n");
                WorkerHost host(*run, workFolder, release);
                RunPackageJobs(std::move(jobs), host);
                win::Diag(L"[Pelmora]Package worker of run " + std::to_wstring(run->Number()) +
                          L" ends\n");
            },
            previousWaitMs);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace pelmora
