#include "download/worker/installer_fetch_win.h"

#include "win/stdio_file_ex_win.h"
#include "download/release/fetch_as_released_win.h"
#include "download/transfer/download_failure_win.h"
#include "download/transfer/server_files_win.h"
#include "download/worker/package_files.h"
#include "trust/installer_digest_win.h"
#include "win/diagnostics_win.h"
#include "win/files_win.h"
#include "win/folder_check_win.h"
#include "win/text_win.h"

#include <utility>

namespace pelmora {

InstallerFetch::InstallerFetch(std::wstring workFolder, std::shared_ptr<ReleaseCheck> release,
                               ProgressTarget* progress)
    : workFolder_(std::move(workFolder)), release_(std::move(release)), progress_(progress) {}

std::wstring InstallerFetch::Folder(const std::u16string& name) const {
    return DownloadFolderIn(workFolder_, win::ToWide(name));
}

std::wstring InstallerFetch::InstallerPath(const PackageJob& job, int retry) const {
    return Folder(job.name) + L"\\" + win::ToWide(InstallerFileName(job.setupFile, retry));
}

uint32_t InstallerFetch::MakeProgramFolder(const std::u16string& name) {
    const std::wstring folder = Folder(name);
    win::EnsureFolder(workFolder_ + kDownloadsName);
    win::EnsureFolder(folder);
    // Every user can write below the shared folder: a link planted on the way
    // would carry the download, and what runs from it, elsewhere.
    refusedLink_.clear();
    if (win::RefuseLink(folder)) {  // logged
        refusedLink_ = win::LinkOnPath(folder);
        return win::kLinkRefusedError;
    }
    return win::FolderWriteError(folder);
}

int32_t InstallerFetch::Download(const PackageJob& job, const std::u16string& url,
                                 const std::u16string& fileName) {
    const std::wstring folder = Folder(job.name);
    const std::wstring path = folder + L"\\" + win::ToWide(fileName);
    win::Diag(L"[Pelmora]Package " + win::ToWide(url) + L" -> " + path + L"\n");
    DownloadOptions options;
    // One partial body per installer, whatever the retry's file name: a
    // retry, or the next run, continues where the last attempt stopped.
    options.partialPath = PartialDownloadPath(folder + L"\\" + win::ToWide(job.setupFile));
    options.expectedDigest = job.expectedDigest;
    options.maxBytes = kInstallerMaxBytes;  // with the maker's key, the manifest's size instead
    options.rateFloor = bounds_;
    const HRESULT result =
        FetchAsReleased(release_.get(), win::ToWide(url), path, kInstallerTimeoutMs, options,
                        FetchProgress{job.row, progress_}, ContinueFrom(job, folder));
    win::Diag(L"[Pelmora]Package result: " + DownloadFailureText(result, kInstallerTimeoutMs) +
              L"\n");
    return static_cast<int32_t>(result);
}

void InstallerFetch::WriteVersionFile(const std::u16string& name, const std::u16string& version) {
    const std::wstring path = Folder(name) + L"\\version.txt";
    if (!pelmora::WriteVersionFile(path, win::ToWide(version)))
        win::Diag(L"[Pelmora]Version file not written (the old one stays): " + path + L": " +
                  DownloadFailureText(HRESULT_FROM_WIN32(::GetLastError())) + L"\n");
}

// A copy from an earlier run may be reused from the cache only while the
// installer it left still has the expected digest. A cancel stops the hash of
// a large one at once (the transfer then ends at once too).
bool InstallerFetch::ContinueFrom(const PackageJob& job, const std::wstring& folder) {
    if (!job.versionMatches || !job.expectedDigest) return job.versionMatches;
    const std::optional<Sha256Digest> earlier =
        FileSha256(folder + L"\\" + win::ToWide(job.setupFile), [this] { return !Cancelled(); });
    if (earlier == job.expectedDigest) return true;
    if (Cancelled()) return false;
    win::Diag(L"[Pelmora]Earlier download of " + win::ToWide(job.name) +
              L" does not match its digest: fetched afresh\n");
    return false;
}

}  // namespace pelmora
