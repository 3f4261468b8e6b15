#include "download/worker/installer_pipeline_win.h"

#include "download/transfer/download_failure_win.h"
#include "download/transfer/server_files_win.h"
#include "download/worker/installer_fetch_win.h"
#include "download/worker/package_files.h"
#include "download/worker/private_installer_copy_win.h"
#include "win/diagnostics_win.h"
#include "win/files_win.h"
#include "win/process_win.h"
#include "win/text_win.h"

#include <functional>

namespace pelmora {
namespace {

constexpr DWORD kElevationRequired = 740;  // ERROR_ELEVATION_REQUIRED
// How long a timed-out installer, once told to end, may take to be gone.
constexpr DWORD kEndInstallerWaitMs = 10000;

// Nobody to ask: no cancel, and a failed attempt is not tried again.
class QuietFetch final : public InstallerFetch {
  public:
    using InstallerFetch::InstallerFetch;

    bool Cancelled() override { return false; }
    bool AskRetry(int) override { return false; }
    void Report(ReportKind kind, int, int value) override {
        if (kind == ReportKind::Downloaded) downloaded_ = true;
        if (kind == ReportKind::FolderNotWritable) folderError_ = static_cast<DWORD>(value);
    }
    int32_t Download(const PackageJob& job, const std::u16string& url,
                     const std::u16string& fileName) override {
        result_ = InstallerFetch::Download(job, url, fileName);
        return result_;
    }

    std::string Reason() const {
        if (!RefusedLink().empty())
            return "a link was planted at " + win::ToUtf8(RefusedLink()) +
                   "; nothing is written through it";
        if (folderError_)
            return "its download folder cannot be written: " +
                   win::ToUtf8(win::SystemErrorText(folderError_));
        return "download failed: " + win::ToUtf8(DownloadFailureText(result_, kInstallerTimeoutMs));
    }

    bool downloaded_ = false;
    DWORD folderError_ = 0;
    HRESULT result_ = E_FAIL;
};

}  // namespace

FetchedInstaller FetchInstallerQuietly(const std::wstring& workFolder,
                                       std::shared_ptr<ReleaseCheck> release, PackageJob job,
                                       const std::wstring& privateRoot) {
    QuietFetch fetch(workFolder, std::move(release), nullptr);
    fetch.Bound(RateFloor{kInstallerMinBytesPerSecond, kInstallerSlowGraceMs,
                          kUnattendedInstallerDeadlineMs});
    FetchedInstaller fetched;
    fetched.digest = job.expectedDigest;
    fetched.privateRoot = privateRoot;
    RunPackageJobs({job}, fetch);
    if (fetch.downloaded_)
        fetched.path = fetch.InstallerPath(job, 0);
    else
        fetched.reason = fetch.Reason();
    return fetched;
}

namespace {

// Starts what `how` makes of the checked private copy's path, hidden, and
// waits for it; the copy stays held until then.
InstallerExit RunCopySilently(const FetchedInstaller& installer, const std::wstring& folderName,
                              DWORD timeoutMs, const Publishers& signers,
                              const std::function<win::ProgramStart(const std::wstring&)>& how) {
    InstallerExit exit;
    const PrivateInstaller copy =
        CopyInstallerPrivately(installer.path, folderName, installer.digest, signers,
                               installer.privateRoot);
    if (!copy.refusal.empty()) {
        exit.reason = "not started: " + copy.refusal;
        return exit;
    }
    if (copy.path.empty()) {
        exit.reason = "no checked private copy: " + win::ToUtf8(win::SystemErrorText(copy.error));
        return exit;
    }
    win::ProgramStart start = how(copy.path);
    win::Handle process, job;
    start.job = &job;
    win::Diag(L"[Pelmora]Running " + start.path + L" " + start.arguments + L"\n");
    if (const DWORD error = win::StartProgram(start, &process)) {
        exit.reason =
            error == kElevationRequired
                ? "the installer needs rights this run does not have"
                : "the installer could not be started: " + win::ToUtf8(win::SystemErrorText(error));
        return exit;
    }
    exit.code = win::WaitForExit(process.get(), timeoutMs);
    if (exit.code) return exit;
    exit.reason = "the installer did not end within " + std::to_string(timeoutMs / 60000) +
                  " minutes: ";
    if (!win::EndProgram(process.get(), job.get(), kEndInstallerWaitMs))
        exit.reason += "it could not be ended and may still run";
    else if (job)
        exit.reason += "it was ended, with every process it started";
    else
        exit.reason += "it was ended; what it started itself may still run (no job of its own "
                       "on this system)";
    return exit;
}

}  // namespace

InstallerExit RunInstallerSilently(const FetchedInstaller& installer,
                                   const std::wstring& folderName, const std::wstring& arguments,
                                   DWORD timeoutMs, const Publishers& signers) {
    return RunCopySilently(installer, folderName, timeoutMs, signers, [&](const std::wstring& copy) {
        return win::ProgramStart{copy, arguments, {}, win::StartHow::Hidden, nullptr};
    });
}

InstallerExit RunMsiSilently(const FetchedInstaller& installer, const std::wstring& folderName,
                             const std::wstring& properties, DWORD timeoutMs,
                             const Publishers& signers) {
    return RunCopySilently(installer, folderName, timeoutMs, signers, [&](const std::wstring& copy) {
        // A needed restart is the run's to report (3010), never done by msiexec.
        std::wstring arguments = L"/i \"" + copy + L"\" /qn /norestart";
        if (!properties.empty()) arguments += L" " + properties;
        return win::ProgramStart{win::SystemProgram(L"msiexec.exe"), arguments, {},
                                 win::StartHow::Hidden, nullptr};
    });
}

}  // namespace pelmora
