#include "download/worker/package_worker_win.h"

#include "win/stdio_file_ex_win.h"
#include "download/transfer/download_failure_win.h"
#include "download/transfer/download_to_file_win.h"
#include "trust/installer_digest_win.h"
#include "download/worker/package_files.h"
#include "download/release/release_check_win.h"
#include "download/sync/sync_defaults_win.h"
#include "win/diagnostics_win.h"
#include "win/files_win.h"
#include "win/folder_check_win.h"
#include "win/text_win.h"

#include <utility>

namespace pelmora {
namespace {

// Binds the worker's decisions to the real transfer, files and run.
class WorkerHost final : public PackageWorkerHost {
  public:
    WorkerHost(PackageRun& run, std::wstring localRoot)
        : run_(run), localRoot_(std::move(localRoot)) {}

    bool Cancelled() override { return run_.Cancelled(); }

    uint32_t MakeProgramFolder(const std::u16string& name) override {
        win::EnsureFolder(localRoot_ + win::ToWide(kDownloadedProgramFolder));
        win::EnsureFolder(Folder(name));
        return win::FolderWriteError(Folder(name));
    }

    int32_t Download(const PackageJob& job, const std::u16string& url,
                     const std::u16string& fileName) override {
        const std::wstring folder = Folder(job.name);
        const std::wstring path = folder + L"\\" + win::ToWide(fileName);
        win::Diag(L"[Pelmora]Package " + win::ToWide(url) + L" -> " + path + L"\n");
        DownloadOptions options;
        // One partial body per installer, whatever the retry's file name: a
        // retry continues where the last attempt stopped.
        options.partialPath = PartialDownloadPath(folder + L"\\" + win::ToWide(job.setupFile));
        options.expectedDigest = job.expectedDigest;
        // With the maker's key, an installer is fetched only as the signed release lists it.
        if (const HRESULT refused = ConstrainToRelease(win::ToWide(url), options); refused != S_OK)
            return static_cast<int32_t>(refused);
        const HRESULT result = ExplainReleaseFailure(
            win::ToWide(url),
            DownloadToFile(win::ToWide(url), path, job.row, &run_, kPackageTimeoutMs,
                           ContinueFrom(job, folder), options));
        win::Diag(L"[Pelmora]Package result: " + DownloadFailureText(result, kPackageTimeoutMs) +
                  L"\n");
        return static_cast<int32_t>(result);
    }

    void WriteVersionFile(const std::u16string& name, const std::u16string& version) override {
        const std::wstring path = Folder(name) + L"\\version.txt";
        if (!pelmora::WriteVersionFile(path, win::ToWide(version)))
            win::Diag(L"[Pelmora]Version file not written (the old one stays): " + path + L": " +
                      DownloadFailureText(HRESULT_FROM_WIN32(::GetLastError())) + L"\n");
    }

    void Report(ReportKind kind, int row, int value) override { run_.Report(kind, row, value); }

    bool AskRetry(int row) override {
        run_.Report(ReportKind::AskRetry, row, 0);
        return run_.WaitForAnswer();
    }

  private:
    // A copy from an earlier run may be reused from the cache only while the
    // installer it left still has the catalogue's digest. A cancel stops the
    // hash of a large one at once (the transfer then ends at once too).
    bool ContinueFrom(const PackageJob& job, const std::wstring& folder) const {
        if (!job.versionMatches || !job.expectedDigest) return job.versionMatches;
        const std::optional<Sha256Digest> earlier = FileSha256(
            folder + L"\\" + win::ToWide(job.setupFile), [this] { return !run_.Cancelled(); });
        if (earlier == job.expectedDigest) return true;
        if (run_.Cancelled()) return false;
        win::Diag(L"[Pelmora]Earlier download of " + win::ToWide(job.name) +
                  L" does not match its digest: fetched afresh\n");
        return false;
    }

    std::wstring Folder(const std::u16string& name) const {
        return localRoot_ + win::ToWide(ProgramDownloadFolder(name));
    }

    PackageRun& run_;
    std::wstring localRoot_;
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
                        std::vector<PackageJob> jobs, std::wstring localRoot,
                        DWORD previousWaitMs) {
    if (!run) return false;
    try {
        return launcher.Start(
            [run, jobs = std::move(jobs), localRoot = std::move(localRoot)]() mutable {
                win::Diag(L"[Pelmora]Package worker of run " + std::to_wstring(run->Number()) +
                          L" starts with " + std::to_wstring(jobs.size()) + L" programs\n");
                WorkerHost host(*run, localRoot);
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
