// The one way to fetch a file outside the start-up's Downloader, and the
// rules every installer follows. `release` is the run's release check: with
// the maker's key built in, only what the signed release lists is fetched or
// run; null (no key), files are taken as they come.
#pragma once
#include "download/release/release_check_win.h"
#include "download/transfer/download_to_file_win.h"
#include "download/transfer/progress_target.h"
#include "trust/sha256.h"

#include <windows.h>

#include <optional>
#include <string>

namespace pelmora {

// Where a fetch's progress goes; none by default.
struct FetchProgress {
    int row = 0;
    ProgressTarget* target = nullptr;
};

// Bound to the release's entry for `url` (refused, logged, when it lists
// none), then DownloadToFile; a body that does not match its entry is
// logged with the file and the reason.
HRESULT FetchAsReleased(const ReleaseCheck* release, const std::wstring& url,
                        const std::wstring& localPath, DWORD timeoutMs, DownloadOptions options,
                        FetchProgress progress = {}, bool continueDownload = false);

// What an installer at `url` must match: with the maker's key the release's
// entry (nullopt: not listed, so it must not run), otherwise `keyless`
// (the catalogue's or the self-version file's digest, if it gives one).
std::optional<Sha256Digest> InstallerDigest(const ReleaseCheck* release, const std::wstring& url,
                                            const std::optional<Sha256Digest>& keyless);

// The installer's silent arguments: the accepted release's, and "/S" (the
// NSIS switch) without a key or arguments in the release.
std::wstring InstallerSilentArguments(const ReleaseCheck* release, const std::wstring& url);

// For ServerFiles::release: the entry lookup of `release`; empty without one.
ReleaseEntryLookup EntryLookup(const std::shared_ptr<ReleaseCheck>& release);

}  // namespace pelmora
