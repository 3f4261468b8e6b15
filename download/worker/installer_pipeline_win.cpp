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

namespace pelmora {
namespace {

constexpr DWORD kElevationRequired = 740;  // ERROR_ELEVATION_REQUIRED

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

InstallerExit RunInstallerSilently(const FetchedInstaller& installer,
                                   const std::wstring& folderName, const std::wstring& arguments,
                                   DWORD timeoutMs) {
    InstallerExit exit;
    const PrivateInstaller copy =
        CopyInstallerPrivately(installer.path, folderName, installer.digest, installer.privateRoot);
    if (copy.path.empty()) {
        exit.reason = "no checked private copy: " + win::ToUtf8(win::SystemErrorText(copy.error));
        return exit;
    }
    win::Diag(L"[Pelmora]Running " + copy.path + L" " + arguments + L"\n");
    win::Handle process;
    if (const DWORD error = win::StartProgram(
            win::ProgramStart{copy.path, arguments, {}, win::StartHow::Hidden, nullptr},
            &process)) {
        exit.reason =
            error == kElevationRequired
                ? "the installer needs rights this run does not have"
                : "the installer could not be started: " + win::ToUtf8(win::SystemErrorText(error));
        return exit;
    }
    exit.code = win::WaitForExit(process.get(), timeoutMs);
    if (!exit.code)
        exit.reason = "the installer did not end within " + std::to_string(timeoutMs / 60000) +
                      " minutes (left running)";
    return exit;
}

}  // namespace pelmora
