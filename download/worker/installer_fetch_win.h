// The installer pipeline's fetch, the same for Start's worker, the switch
// lines and Pelmora's own update: the program's folder (never through a
// planted link), the download bound to the release with its resumable body
// and digest, and version.txt after every attempt. What differs between the
// front-ends (cancel, reports, the retry question) is theirs to give.
#pragma once
#include "download/release/release_check_win.h"
#include "download/transfer/progress_target.h"
#include "download/transfer/rate_floor.h"
#include "download/worker/package_worker.h"

#include <windows.h>

#include <memory>
#include <string>

namespace pelmora {

class InstallerFetch : public PackageWorkerHost {
  public:
    // Files below `workFolder`\downloaded_program\ (the run's work folder,
    // ending in a backslash); `release` null without the maker's key;
    // `progress` (borrowed, may be null) gets the rows' percent and cancels.
    InstallerFetch(std::wstring workFolder, std::shared_ptr<ReleaseCheck> release,
                   ProgressTarget* progress);

    uint32_t MakeProgramFolder(const std::u16string& name) override;
    int32_t Download(const PackageJob& job, const std::u16string& url,
                     const std::u16string& fileName) override;
    void WriteVersionFile(const std::u16string& name, const std::u16string& version) override;

    // The program's folder, and where its installer lands after attempt `retry`.
    std::wstring Folder(const std::u16string& name) const;
    std::wstring InstallerPath(const PackageJob& job, int retry) const;
    // The link found on the way to the last folder refused; empty when none was.
    const std::wstring& RefusedLink() const noexcept { return refusedLink_; }
    // Besides the inactivity time-out: a rate floor and a deadline (none by
    // default: the window's user has Cancel).
    void Bound(const RateFloor& bounds) noexcept { bounds_ = bounds; }

  private:
    bool ContinueFrom(const PackageJob& job, const std::wstring& folder);

    const std::wstring workFolder_;
    const std::shared_ptr<ReleaseCheck> release_;
    ProgressTarget* const progress_;
    std::wstring refusedLink_;
    RateFloor bounds_;
};

}  // namespace pelmora
